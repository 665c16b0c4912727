#include "search/ArticleListModel.h"

#include "download/RecordSources.h"

#include <QSet>
#include <algorithm>

namespace {
// Above this many separate runs of rows a removal rebuilds the list in one go.
const int ScatteredRemovalLimit = 32;
} // namespace

ArticleListModel::ArticleListModel(QObject* parent) : QAbstractTableModel(parent) {}

int ArticleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : size();
}

int ArticleListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ArticleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const ArticleEntry& e = m_rows.at(index.row());
    if (role == Qt::ToolTipRole && !e.record.isEmpty())
        return RecordDetails(e.record);
    switch (index.column()) {
    case TitleColumn:
        return e.title;
    case TypeColumn:
        return e.type;
    case StateColumn:
        return e.state;
    case FolderColumn:
        return e.saveFolder;
    case LayoutColumn:
        return e.layout;
    case AuthorsColumn:
        return ShortAuthorsLine(e.record);
    case JournalColumn:
        return e.record.journal;
    case YearColumn:
        return e.record.year;
    case DoiColumn:
        return e.record.doi;
    default:
        return {};
    }
}

QVariant ArticleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TitleColumn:
        return QStringLiteral("标题");
    case TypeColumn:
        return QStringLiteral("类型");
    case StateColumn:
        return QStringLiteral("分析状态");
    case FolderColumn:
        return QStringLiteral("保存路径");
    case LayoutColumn:
        return QStringLiteral("TYPE");
    case AuthorsColumn:
        return QStringLiteral("作者");
    case JournalColumn:
        return QStringLiteral("期刊");
    case YearColumn:
        return QStringLiteral("年份");
    case DoiColumn:
        return QStringLiteral("DOI");
    default:
        return {};
    }
}

Qt::ItemFlags ArticleListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Never editable: titles are what the page said.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool ArticleListModel::add(const ArticleEntry& entry) {
    if (m_index.contains(entry.link))
        return false;
    const int row = size();
    beginInsertRows({}, row, row);
    m_rows.append(entry);
    m_rows.last().id = m_nextId++;
    m_index.insert(entry.link, row);
    endInsertRows();
    return true;
}

bool ArticleListModel::add(const QString& title, const QString& link, const QString& pageAddress,
                           const QString& type, const QString& saveFolder, const QString& layout,
                           const ArticleRecord& record) {
    ArticleEntry e;
    e.record = record;
    e.title = title;
    e.link = link;
    e.pageAddress = pageAddress;
    e.type = type;
    e.saveFolder = saveFolder;
    e.layout = layout;
    return add(e);
}

int ArticleListModel::indexOfLink(const QString& link) const {
    return m_index.value(link, -1);
}

void ArticleListModel::setState(int row, const QString& state) {
    if (row < 0 || row >= size() || m_rows[row].state == state)
        return;
    m_rows[row].state = state;
    const QModelIndex cell = index(row, StateColumn);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
}

void ArticleListModel::setPdfAddress(int row, const QString& address) {
    if (row < 0 || row >= size() || m_rows[row].pdfAddress == address)
        return;
    m_rows[row].pdfAddress = address;
    emit rowFactsChanged(row);
}

void ArticleListModel::fillRecord(int row, const ArticleRecord& later) {
    if (row < 0 || row >= size())
        return;
    ArticleRecord& record = m_rows[row].record;
    const ArticleRecord was = record;
    record.fillFrom(later);
    if (record == was)
        return;
    emit dataChanged(index(row, AuthorsColumn), index(row, DoiColumn), {Qt::DisplayRole});
    emit rowFactsChanged(row);
}

int ArticleListModel::restoreRows(QVector<ArticleEntry> rows) {
    QSet<qint64> ids;
    for (const ArticleEntry& e : std::as_const(m_rows))
        ids.insert(e.id);
    QVector<ArticleEntry> taken;
    taken.reserve(rows.size());
    QSet<QString> links;
    for (ArticleEntry& e : rows) {
        if (e.id <= 0 || ids.contains(e.id) || m_index.contains(e.link) || links.contains(e.link))
            continue;
        ids.insert(e.id);
        links.insert(e.link);
        taken.append(std::move(e));
    }
    if (taken.isEmpty())
        return 0;
    const int first = size();
    beginInsertRows({}, first, first + int(taken.size()) - 1);
    for (ArticleEntry& e : taken) {
        m_nextId = qMax(m_nextId, e.id + 1);
        m_index.insert(e.link, size());
        m_rows.append(std::move(e));
    }
    endInsertRows();
    return int(taken.size());
}

int ArticleListModel::removeRowList(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(
        std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= size(); }),
        rows.end());
    if (rows.isEmpty())
        return 0;
    QList<qint64> ids;
    ids.reserve(rows.size());
    for (int r : std::as_const(rows))
        ids.append(m_rows.at(r).id);
    int runs = 1;
    for (int i = 1; i < rows.size(); ++i)
        runs += rows.at(i) != rows.at(i - 1) + 1 ? 1 : 0;
    if (runs > ScatteredRemovalLimit) {
        // Many scattered rows: one pass over the list instead of one shift per run.
        beginResetModel();
        QVector<ArticleEntry> kept;
        kept.reserve(size() - rows.size());
        int next = 0;
        for (int r = 0; r < size(); ++r) {
            if (next < rows.size() && rows.at(next) == r)
                ++next;
            else
                kept.append(std::move(m_rows[r]));
        }
        m_rows = std::move(kept);
        rebuildIndex();
        endResetModel();
        emit rowsDropped(ids);
        return static_cast<int>(rows.size());
    }
    // Remove contiguous runs from the end so earlier row numbers stay valid.
    int i = static_cast<int>(rows.size()) - 1;
    while (i >= 0) {
        const int last = rows.at(i);
        int first = last;
        while (i > 0 && rows.at(i - 1) == first - 1) {
            --i;
            first = rows.at(i);
        }
        beginRemoveRows({}, first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        --i;
    }
    rebuildIndex();
    emit rowsDropped(ids);
    return static_cast<int>(rows.size());
}

void ArticleListModel::clear() {
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    endResetModel();
    emit listCleared();
}

int ArticleListModel::initialWidthTwips(int column) {
    switch (column) {
    case TitleColumn:
        return 14111;
    case TypeColumn:
        return 2540;
    case StateColumn:
        return 3528;
    case FolderColumn:
        return 5292;
    case LayoutColumn:
        return 2540;
    case AuthorsColumn:
        return 4500;
    case JournalColumn:
        return 3600;
    case YearColumn:
        return 900;
    case DoiColumn:
        return 3600;
    default:
        return 1500;
    }
}

void ArticleListModel::rebuildIndex() {
    m_index.clear();
    m_index.reserve(size());
    for (int r = 0; r < size(); ++r)
        m_index.insert(m_rows.at(r).link, r);
}
