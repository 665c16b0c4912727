#include "download/DownloadListKeeper.h"

#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/PlacedFile.h"
#include "download/RecordSources.h"
#include "platform/PartFile.h"
#include "shell/FileNames.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {
const QString Table = QStringLiteral("download_rows");

// The columns, in the order of Columns.
enum Cell : int {
    Name,
    Type,
    Size,
    Received,
    Percent,
    Folder,
    BaseHref,
    Addresses,
    Referer,
    State,
    Placed,
    IntentPath,
    IntentDevice,
    IntentInode,
    PlacedSize,
    Check,
    PlannedFolder,
    FetchAnyway,
    Record,
};

QList<KeptList::Column> columns() {
    const QString text = QStringLiteral("TEXT");
    const QString integer = QStringLiteral("INTEGER");
    return QList<KeptList::Column>{{QStringLiteral("name"), text},
                                   {QStringLiteral("type"), text},
                                   {QStringLiteral("size"), text},
                                   {QStringLiteral("received"), text},
                                   {QStringLiteral("percent"), text},
                                   {QStringLiteral("folder"), text},
                                   {QStringLiteral("base_href"), text},
                                   {QStringLiteral("addresses"), text},
                                   {QStringLiteral("referer"), text},
                                   {QStringLiteral("state"), integer},
                                   {QStringLiteral("placed"), integer},
                                   {QStringLiteral("intent_path"), text},
                                   {QStringLiteral("intent_device"), integer},
                                   {QStringLiteral("intent_inode"), integer},
                                   {QStringLiteral("placed_size"), integer},
                                   {QStringLiteral("check_text"), text},
                                   {QStringLiteral("planned_folder"), text},
                                   {QStringLiteral("fetch_anyway"), integer}} +
           RecordKeptColumns();
}

// A kept row as the list holds it, before the restore rules.
DownloadItem itemFrom(const KeptList::Row& row) {
    const QVariantList& v = row.values;
    DownloadItem it;
    it.id = row.id;
    it.name = v.at(Name).toString();
    it.type = v.at(Type).toString();
    it.size = v.at(Size).toString();
    it.received = v.at(Received).toString();
    it.percent = v.at(Percent).toString();
    it.folder = v.at(Folder).toString();
    it.baseHref = v.at(BaseHref).toString();
    it.key = v.at(Addresses).toString();
    it.tag = v.at(Referer).toString();
    it.state = static_cast<ItemState>(v.at(State).toInt());
    it.placed = v.at(Placed).toInt() != 0;
    it.intent.path = v.at(IntentPath).toString();
    it.intent.device = quint64(v.at(IntentDevice).toLongLong());
    it.intent.inode = quint64(v.at(IntentInode).toLongLong());
    it.placedBytes = v.at(PlacedSize).toLongLong();
    it.check = v.at(Check).toString();
    it.plannedFolder = v.at(PlannedFolder).toString();
    it.fetchAnyway = v.at(FetchAnyway).toInt() != 0;
    it.record = RecordFromKept(v, Record);
    return it;
}
} // namespace

DownloadListKeeper::DownloadListKeeper(DownloadListModel& model, KeptDatabase& db, QObject* parent)
    : KeptList(model, db, Table, columns(), parent), m_model(model) {}

int DownloadListKeeper::unfinishedRows(KeptDatabase& db) {
    if (!db.isKeeping())
        return 0;
    // Counted as restore will show them: a row that placed its file before
    // the program ended is finished, a finished row whose file is gone waits.
    // The table may still lack columns added since (the keeper adds them
    // later), so columns are found by name and a missing one reads empty.
    QSqlQuery q(db.connection());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY position, id").arg(Table)))
        return 0;
    const QSqlRecord record = q.record();
    const QList<KeptList::Column> kept = columns();
    QList<int> at;
    for (const KeptList::Column& c : kept)
        at.append(record.indexOf(c.name));
    const int idColumn = record.indexOf(QStringLiteral("id"));
    QSet<qint64> ids;
    QSet<QString> keys;
    int unfinished = 0;
    while (q.next()) {
        KeptList::Row row;
        row.id = idColumn >= 0 ? q.value(idColumn).toLongLong() : 0;
        for (qsizetype c = 0; c < kept.size(); ++c) {
            const bool text = kept.at(c).type == QLatin1String("TEXT");
            row.values.append(at.at(c) >= 0 ? q.value(at.at(c))
                                            : (text ? QVariant(QString()) : QVariant(0)));
        }
        const DownloadItem it = restoredRow(itemFrom(row));
        // Rows the list refuses at restore (a key twice) do not come back.
        if (it.key.trimmed().isEmpty() || it.id <= 0 || ids.contains(it.id) ||
            keys.contains(it.key))
            continue;
        ids.insert(it.id);
        keys.insert(it.key);
        if (it.state == ItemState::Waiting || it.state == ItemState::Downloading)
            ++unfinished;
    }
    return unfinished;
}

DownloadItem DownloadListKeeper::restoredRow(DownloadItem item) {
    const int state = int(item.state);
    if (state < int(ItemState::Waiting) || state > int(ItemState::Failed))
        item.state = ItemState::Waiting;
    if (item.state == ItemState::Finished) {
        RequeueIfPlacedFileGone(item);
        return item;
    }
    if (item.state != ItemState::Downloading)
        return item;
    const FileIdentity standing = FileIdentity::of(item.intent.path);
    if (!item.intent.isEmpty() && !standing.isNull() && standing.device == item.intent.device &&
        standing.inode == item.intent.inode) {
        // The rename happened: the file under that name is the row's own.
        const QFileInfo file(item.intent.path);
        item.name = file.completeBaseName();
        item.type = file.suffix();
        const QString bytes = QString::number(file.size());
        item.size = bytes;
        item.received = bytes;
        item.percent = QStringLiteral("100%");
        item.state = ItemState::Finished;
        item.placed = true;
        item.placedBytes = file.size();
    } else {
        item.state = ItemState::Waiting;
        // The progress of the cut transfer goes on only from a part kept for
        // it; without one the next attempt starts from nothing, and so do
        // the cells.
        PartFile::ResumeFacts facts;
        if (PartFile::peekResume(LocalPath(RowFilePath(item)), 选择url(item.key), &facts) <= 0) {
            item.size.clear();
            item.received.clear();
            item.percent.clear();
        }
    }
    return item;
}

qint64 DownloadListKeeper::idAt(int row) const {
    return m_model.item(row).id;
}

QVariantList DownloadListKeeper::valuesAt(int row) const {
    const DownloadItem& it = m_model.item(row);
    return QVariantList{it.name,
                        it.type,
                        it.size,
                        it.received,
                        it.percent,
                        it.folder,
                        it.baseHref,
                        it.key,
                        it.tag,
                        int(it.state),
                        it.placed ? 1 : 0,
                        it.intent.path,
                        qint64(it.intent.device),
                        qint64(it.intent.inode),
                        it.placedBytes,
                        it.check,
                        it.plannedFolder,
                        it.fetchAnyway ? 1 : 0} +
           RecordKeptValues(it.record);
}

int DownloadListKeeper::appendKept(const QList<Row>& rows, QList<qint64>& changed) {
    QList<DownloadItem> items;
    items.reserve(rows.size());
    for (const Row& row : rows) {
        DownloadItem it = itemFrom(row);
        const ItemState was = it.state;
        it = restoredRow(std::move(it));
        if (it.state != was)
            changed.append(it.id);
        items.append(std::move(it));
    }
    return m_model.restoreRows(std::move(items));
}

void DownloadListKeeper::followModel() {
    DownloadListModel* model = &m_model;
    connect(model, &DownloadListModel::rowFactsChanged, this, &DownloadListKeeper::touch);
    connect(model, &DownloadListModel::placingFile, this, &DownloadListKeeper::placing);
    connect(model, &DownloadListModel::rowsDropped, this, &DownloadListKeeper::dropped);
    connect(model, &DownloadListModel::listCleared, this, &DownloadListKeeper::cleared);
    connect(model, &DownloadListModel::rowsReordered, this, &DownloadListKeeper::reordered);
}
