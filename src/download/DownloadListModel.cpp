#include "download/DownloadListModel.h"

#include "download/PlacedFile.h"
#include "download/RecordSources.h"

#include "platform/KeptDatabase.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSet>
#include <limits>

namespace {
int stateSlot(ItemState state) {
    const int s = static_cast<int>(state);
    return (s >= 1 && s <= 4) ? s : 0;
}

QPixmap drawStateIcon(ItemState state) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (state) {
    case ItemState::Waiting: { // grey clock face
        p.setPen(QPen(QColor(110, 110, 110), 1.5));
        p.setBrush(QColor(235, 235, 235));
        p.drawEllipse(QRectF(2, 2, 12, 12));
        p.drawLine(QPointF(8, 8), QPointF(8, 4.5));
        p.drawLine(QPointF(8, 8), QPointF(10.5, 9.5));
        break;
    }
    case ItemState::Downloading: { // blue arrow pointing down
        QPainterPath arrow;
        arrow.moveTo(6, 2);
        arrow.lineTo(10, 2);
        arrow.lineTo(10, 8);
        arrow.lineTo(13.5, 8);
        arrow.lineTo(8, 14);
        arrow.lineTo(2.5, 8);
        arrow.lineTo(6, 8);
        arrow.closeSubpath();
        p.setPen(QPen(QColor(20, 70, 160), 1));
        p.setBrush(QColor(50, 120, 220));
        p.drawPath(arrow);
        break;
    }
    case ItemState::Finished: { // green tick
        p.setPen(QPen(QColor(30, 150, 50), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
        break;
    }
    case ItemState::Failed: { // red cross
        p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    }
    }
    return pm;
}
} // namespace

DownloadListModel::DownloadListModel(QObject* parent) : QAbstractItemModel(parent) {}

// --- QAbstractItemModel ---

QModelIndex DownloadListModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || !isValidRow(row) || column < 0 || column >= ColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex DownloadListModel::parent(const QModelIndex&) const {
    return {};
}

int DownloadListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int DownloadListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DownloadListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !isValidRow(index.row()))
        return {};
    const DownloadItem& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return cellText(row, index.column());
    case Qt::ToolTipRole:
        return row.record.isEmpty() ? QVariant() : QVariant(RecordDetails(row.record));
    case Qt::DecorationRole:
        if (index.column() == ColName)
            return stateIcon(row.state);
        return {};
    case KeyRole:
        return row.key;
    case TagRole:
        return row.tag;
    case StateRole:
        return static_cast<int>(row.state);
    default:
        return {};
    }
}

QVariant DownloadListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return columnTitle(section);
    return {};
}

Qt::ItemFlags DownloadListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Names are never edited in the list.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool DownloadListModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || count <= 0 || row < 0 || row + count > this->count())
        return false;
    QList<qint64> ids;
    ids.reserve(count);
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    for (int i = row; i < row + count; ++i) {
        tally(m_rows.at(i), -1);
        m_keyRow.remove(m_rows.at(i).key);
        ids.append(m_rows.at(i).id);
    }
    m_rows.remove(row, count);
    reindexFrom(row);
    endRemoveRows();
    emit rowsDropped(ids);
    return true;
}

// --- rows ---

bool DownloadListModel::AddDownloadItem(const QString& address, const QString& name,
                                        const QString& type, const QString& folder,
                                        const QString& referer, const ArticleRecord& record) {
    DownloadItem row;
    row.record = record;
    row.key = address;
    row.name = name;
    row.type = type;
    row.folder = folder;
    row.tag = referer;
    row.state = ItemState::Waiting;
    return appendItem(row);
}

bool DownloadListModel::appendItem(const DownloadItem& item) {
    // A blank address can never be fetched; such a row would only sit in the list.
    if (item.key.trimmed().isEmpty() || m_keyRow.contains(item.key))
        return false;
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append(item);
    m_rows.last().id = m_nextId++;
    m_keyRow.insert(item.key, row);
    if (item.state == ItemState::Waiting)
        m_waitingFrom = qMin(m_waitingFrom, row);
    tally(item, 1);
    endInsertRows();
    return true;
}

int DownloadListModel::restoreRows(QList<DownloadItem> rows) {
    QSet<qint64> ids;
    ids.reserve(count() + rows.size());
    for (const DownloadItem& it : std::as_const(m_rows))
        ids.insert(it.id);
    QList<DownloadItem> taken;
    taken.reserve(rows.size());
    QSet<QString> keys;
    for (DownloadItem& it : rows) {
        if (it.key.trimmed().isEmpty() || it.id <= 0 || ids.contains(it.id) ||
            m_keyRow.contains(it.key) || keys.contains(it.key))
            continue;
        ids.insert(it.id);
        keys.insert(it.key);
        taken.append(std::move(it));
    }
    if (taken.isEmpty())
        return 0;
    const int first = count();
    beginInsertRows(QModelIndex(), first, first + int(taken.size()) - 1);
    for (DownloadItem& it : taken) {
        const int row = count();
        m_nextId = qMax(m_nextId, it.id + 1);
        m_keyRow.insert(it.key, row);
        if (it.state == ItemState::Waiting)
            m_waitingFrom = qMin(m_waitingFrom, row);
        tally(it, 1);
        m_rows.append(std::move(it));
    }
    endInsertRows();
    return int(taken.size());
}

int DownloadListModel::removeRowsIf(
    const std::function<bool(const DownloadItem& item, int row)>& remove) {
    // The rule sees the list as it was, each row once.
    const int n = count();
    QList<bool> doomed(n);
    int removed = 0;
    int runs = 0;
    for (int i = 0; i < n; ++i) {
        doomed[i] = remove(m_rows.at(i), i);
        if (doomed.at(i)) {
            ++removed;
            if (i == 0 || !doomed.at(i - 1))
                ++runs;
        }
    }
    if (removed == 0)
        return 0;
    if (runs <= 8) {
        // A few runs of neighbouring rows: one ordinary removal each, bottom up.
        int last = n - 1;
        while (last >= 0) {
            if (!doomed.at(last)) {
                --last;
                continue;
            }
            int first = last;
            while (first > 0 && doomed.at(first - 1))
                --first;
            QList<qint64> ids;
            beginRemoveRows(QModelIndex(), first, last);
            for (int r = first; r <= last; ++r) {
                tally(m_rows.at(r), -1);
                m_keyRow.remove(m_rows.at(r).key);
                ids.append(m_rows.at(r).id);
            }
            m_rows.remove(first, last - first + 1);
            reindexFrom(first);
            endRemoveRows();
            emit rowsDropped(ids);
            last = first - 1;
        }
        return removed;
    }
    // Rows scattered over the list (every failed row, say): one compaction and
    // one layout change instead of a view update per run, which costs a walk of
    // the whole view each. Indexes of surviving rows follow them; those of
    // removed rows become invalid.
    emit layoutAboutToBeChanged();
    QList<int> newPosition(n, -1);
    QList<DownloadItem> kept;
    kept.reserve(n - removed);
    QList<qint64> ids;
    ids.reserve(removed);
    int firstRemoved = n;
    for (int i = 0; i < n; ++i) {
        if (doomed.at(i)) {
            tally(m_rows.at(i), -1);
            m_keyRow.remove(m_rows.at(i).key);
            ids.append(m_rows.at(i).id);
            firstRemoved = qMin(firstRemoved, i);
        } else {
            newPosition[i] = static_cast<int>(kept.size());
            kept.append(std::move(m_rows[i]));
        }
    }
    m_rows = std::move(kept);
    reindexFrom(firstRemoved);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before) {
        const int to = newPosition.at(idx.row());
        after << (to < 0 ? QModelIndex() : createIndex(to, idx.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
    emit rowsDropped(ids);
    return removed;
}

void DownloadListModel::clear() {
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    m_keyRow.clear();
    m_waitingFrom = 0;
    m_stateCounts.fill(0);
    m_notYetDownloaded = 0;
    m_errorRows = 0;
    endResetModel();
    emit listCleared();
}

bool DownloadListModel::reorder(const QList<int>& order) {
    const int n = count();
    if (order.size() != n)
        return false;
    QList<bool> seen(n, false);
    for (int from : order) {
        if (from < 0 || from >= n || seen.at(from))
            return false;
        seen[from] = true;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> newPosition(n);
    for (int to = 0; to < n; ++to)
        newPosition[order.at(to)] = to;
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before)
        after << createIndex(newPosition.at(idx.row()), idx.column());
    QList<DownloadItem> rows;
    rows.reserve(n);
    for (int from : order)
        rows.append(std::move(m_rows[from]));
    m_rows = std::move(rows);
    reindexFrom(0);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit rowsReordered();
    return true;
}

// --- cells ---

bool DownloadListModel::setCell(int row, int column, const QString& text) {
    if (!isValidRow(row) || column < 0 || column >= TextColumnCount)
        return false;
    DownloadItem& it = m_rows[row];
    QString& cell = cellRef(it, column);
    if (cell == text)
        return false;
    tally(it, -1);
    cell = text;
    tally(it, 1);
    const QModelIndex idx = createIndex(row, column);
    emit dataChanged(idx, idx, {Qt::DisplayRole});
    return true;
}

bool DownloadListModel::fillRecord(int row, const ArticleRecord& later) {
    if (!isValidRow(row))
        return false;
    ArticleRecord& record = m_rows[row].record;
    const ArticleRecord was = record;
    record.fillFrom(later);
    if (record == was)
        return false;
    emit dataChanged(createIndex(row, ColAuthors), createIndex(row, ColDoi), {Qt::DisplayRole});
    emit rowFactsChanged(row);
    return true;
}

bool DownloadListModel::setProgress(int row, const QString& size, const QString& received,
                                    const QString& percent) {
    if (!isValidRow(row))
        return false;
    DownloadItem& it = m_rows[row];
    int first = ColumnCount;
    int last = -1;
    const auto note = [&](int column, QString& cell, const QString& text) {
        if (cell == text)
            return;
        cell = text;
        first = qMin(first, column);
        last = qMax(last, column);
    };
    tally(it, -1);
    note(ColSize, it.size, size);
    note(ColReceived, it.received, received);
    note(ColPercent, it.percent, percent);
    tally(it, 1);
    if (last < 0)
        return false;
    emit dataChanged(createIndex(row, first), createIndex(row, last), {Qt::DisplayRole});
    return true;
}

bool DownloadListModel::setKey(int row, const QString& key) {
    if (!isValidRow(row) || key.trimmed().isEmpty())
        return false;
    DownloadItem& it = m_rows[row];
    if (it.key == key)
        return false;
    if (m_keyRow.contains(key))
        return false;
    m_keyRow.remove(it.key);
    it.key = key;
    m_keyRow.insert(key, row);
    const QModelIndex idx = createIndex(row, ColName);
    emit dataChanged(idx, idx, {KeyRole});
    return true;
}

bool DownloadListModel::setKeys(const QHash<int, QString>& keys) {
    QSet<QString> leaving;
    QSet<QString> arriving;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (!isValidRow(it.key()) || it.value().trimmed().isEmpty())
            return false;
        if (arriving.contains(it.value()))
            return false;
        arriving.insert(it.value());
        leaving.insert(m_rows.at(it.key()).key);
    }
    // A new key may only be one that no row keeps.
    for (const QString& key : arriving)
        if (m_keyRow.contains(key) && !leaving.contains(key))
            return false;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        m_keyRow.remove(m_rows.at(it.key()).key);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        m_rows[it.key()].key = it.value();
        m_keyRow.insert(it.value(), it.key());
    }
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        const QModelIndex idx = createIndex(it.key(), ColName);
        emit dataChanged(idx, idx, {KeyRole});
    }
    return true;
}

bool DownloadListModel::setTag(int row, const QString& referer) {
    if (!isValidRow(row) || m_rows.at(row).tag == referer)
        return false;
    m_rows[row].tag = referer;
    const QModelIndex idx = createIndex(row, ColName);
    emit dataChanged(idx, idx, {TagRole});
    return true;
}

bool DownloadListModel::setPlaced(int row, bool placed, qint64 bytes) {
    if (!placed)
        bytes = 0;
    if (!isValidRow(row) ||
        (m_rows.at(row).placed == placed && m_rows.at(row).placedBytes == bytes))
        return false;
    m_rows[row].placed = placed; // not shown in any cell
    m_rows[row].placedBytes = bytes;
    emit rowFactsChanged(row);
    return true;
}

int DownloadListModel::requeueGoneFiles() {
    int requeued = 0;
    for (int row = 0; row < count(); ++row) {
        if (m_rows.at(row).state != ItemState::Finished || !m_rows.at(row).placed)
            continue;
        DownloadItem it = m_rows.at(row);
        if (!RequeueIfPlacedFileGone(it))
            continue;
        setPlaced(row, false);
        setProgress(row, it.size, it.received, it.percent);
        setState(row, it.state);
        ++requeued;
    }
    return requeued;
}

bool DownloadListModel::setEarlierCopyFacts(int row, const QString& plannedFolder,
                                            bool fetchAnyway) {
    if (!isValidRow(row))
        return false;
    DownloadItem& it = m_rows[row];
    if (it.plannedFolder == plannedFolder && it.fetchAnyway == fetchAnyway)
        return false;
    it.plannedFolder = plannedFolder;
    it.fetchAnyway = fetchAnyway;
    emit rowFactsChanged(row);
    return true;
}

int DownloadListModel::findId(qint64 id) const {
    for (int i = 0; i < count(); ++i)
        if (m_rows.at(i).id == id)
            return i;
    return -1;
}

void DownloadListModel::notePlacing(int row, const QString& finalPath, const QString& partPath) {
    if (!isValidRow(row))
        return;
    const FileIdentity part = FileIdentity::of(partPath);
    m_rows[row].intent = {finalPath, part.device, part.inode};
    emit placingFile(row);
}

bool DownloadListModel::setState(int row, ItemState state) {
    if (!isValidRow(row) || m_rows.at(row).state == state)
        return false;
    DownloadItem& it = m_rows[row];
    tally(it, -1);
    it.state = state;
    tally(it, 1);
    // A new attempt: what an earlier one was about to place is no longer this row's.
    if (state == ItemState::Downloading)
        it.intent = {};
    if (state == ItemState::Waiting)
        m_waitingFrom = qMin(m_waitingFrom, row);
    const QModelIndex idx = createIndex(row, ColName);
    emit dataChanged(idx, idx, {Qt::DecorationRole, StateRole});
    return true;
}

// --- derived facts ---

int DownloadListModel::countInState(ItemState state) const {
    const int slot = stateSlot(state);
    return slot == 0 ? 0 : m_stateCounts.at(slot);
}

QString DownloadListModel::totalsText() const {
    return QStringLiteral("总数:%1 正在下载:%2 等待:%3 已完成:%4 失败:%5")
        .arg(count())
        .arg(countInState(ItemState::Downloading))
        .arg(countInState(ItemState::Waiting))
        .arg(countInState(ItemState::Finished))
        .arg(countInState(ItemState::Failed));
}

QString DownloadListModel::arrivalsText() const {
    int documents = 0;
    int webPages = 0;
    int failed = 0;
    for (const DownloadItem& it : m_rows) {
        const bool ended = it.state == ItemState::Finished || it.state == ItemState::Failed;
        if (ended && isWebPageType(it.type))
            ++webPages;
        else if (it.state == ItemState::Finished)
            ++documents;
        else if (it.state == ItemState::Failed)
            ++failed;
    }
    return QStringLiteral("总数:%1 已完成:%2 网页:%3 失败:%4 等待:%5")
        .arg(count())
        .arg(documents)
        .arg(webPages)
        .arg(failed)
        .arg(countInState(ItemState::Waiting) + countInState(ItemState::Downloading));
}

bool DownloadListModel::isWebPageType(const QString& type) {
    const QString lower = type.toLower();
    return lower == QLatin1String("html") || lower == QLatin1String("htm");
}

bool DownloadListModel::isErrorRow(const DownloadItem& item) {
    return isWebPageType(item.type) || item.state == ItemState::Failed;
}

QString DownloadListModel::columnTitle(int column) {
    switch (column) {
    case ColName:
        return QStringLiteral("名称");
    case ColType:
        return QStringLiteral("类型");
    case ColSize:
        return QStringLiteral("文件大小");
    case ColReceived:
        return QStringLiteral("已下载数");
    case ColPercent:
        return QStringLiteral("百分比");
    case ColFolder:
        return QStringLiteral("保存路径");
    case ColBaseHref:
        return QStringLiteral("B");
    case ColCheck:
        return QStringLiteral("检查");
    case ColAuthors:
        return QStringLiteral("作者");
    case ColJournal:
        return QStringLiteral("期刊");
    case ColYear:
        return QStringLiteral("年份");
    case ColDoi:
        return QStringLiteral("DOI");
    default:
        return {};
    }
}

QString DownloadListModel::cellText(const DownloadItem& item, int column) {
    switch (column) {
    case ColAuthors:
        return ShortAuthorsLine(item.record);
    case ColJournal:
        return item.record.journal;
    case ColYear:
        return item.record.year;
    case ColDoi:
        return item.record.doi;
    default:
        return cellRef(item, column);
    }
}

QIcon DownloadListModel::stateIcon(ItemState state) const {
    const int slot = stateSlot(state);
    if (slot == 0)
        return {};
    QIcon& icon = m_icons[slot];
    if (icon.isNull())
        icon = QIcon(drawStateIcon(state));
    return icon;
}

// --- private ---

void DownloadListModel::tally(const DownloadItem& item, int sign) {
    m_stateCounts[stateSlot(item.state)] += sign;
    if (item.notYetDownloaded())
        m_notYetDownloaded += sign;
    if (isErrorRow(item))
        m_errorRows += sign;
}

void DownloadListModel::reindexFrom(int row) {
    // Positions are refreshed when next asked for, so a burst of removals costs
    // one walk of the list, not one per removal.
    m_staleFrom = qMin(m_staleFrom, qMax(0, row));
    m_waitingFrom = qMin(m_waitingFrom, qMax(0, row));
}

int DownloadListModel::nextWaitingRow(int from) const {
    if (countInState(ItemState::Waiting) == 0)
        return -1;
    // Rows before the mark are known not to wait; a scan from the start skips
    // them and moves the mark on, so starting row after row of a long list
    // does not walk the rows that ended before.
    const bool fromStart = from <= m_waitingFrom;
    int i = fromStart ? m_waitingFrom : from;
    const int n = count();
    while (i < n && m_rows.at(i).state != ItemState::Waiting)
        ++i;
    if (fromStart)
        m_waitingFrom = i;
    return i < n ? i : -1;
}

void DownloadListModel::refreshPositions() const {
    if (m_staleFrom >= count()) {
        m_staleFrom = std::numeric_limits<int>::max();
        return;
    }
    for (int i = m_staleFrom; i < count(); ++i)
        m_keyRow[m_rows.at(i).key] = i;
    m_staleFrom = std::numeric_limits<int>::max();
}

int DownloadListModel::findKey(const QString& key) const {
    refreshPositions();
    return m_keyRow.value(key, -1);
}

QString& DownloadListModel::cellRef(DownloadItem& item, int column) {
    switch (column) {
    case ColName:
        return item.name;
    case ColType:
        return item.type;
    case ColSize:
        return item.size;
    case ColReceived:
        return item.received;
    case ColPercent:
        return item.percent;
    case ColFolder:
        return item.folder;
    case ColCheck:
        return item.check;
    default:
        return item.baseHref;
    }
}

const QString& DownloadListModel::cellRef(const DownloadItem& item, int column) {
    return cellRef(const_cast<DownloadItem&>(item), column);
}
