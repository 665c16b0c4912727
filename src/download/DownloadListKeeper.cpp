#include "download/DownloadListKeeper.h"

#include "download/DownloadListModel.h"
#include "download/RecordSources.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

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
                                   {QStringLiteral("intent_inode"), integer}} +
           RecordKeptColumns();
}
} // namespace

DownloadListKeeper::DownloadListKeeper(DownloadListModel& model, KeptDatabase& db, QObject* parent)
    : KeptList(model, db, Table, columns(), parent), m_model(model) {}

int DownloadListKeeper::unfinishedRows(KeptDatabase& db) {
    if (!db.isKeeping())
        return 0;
    QSqlQuery q(db.connection());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1 WHERE state IN (%2, %3)")
                    .arg(Table)
                    .arg(int(ItemState::Waiting))
                    .arg(int(ItemState::Downloading))) ||
        !q.next())
        return 0;
    return q.value(0).toInt();
}

DownloadItem DownloadListKeeper::restoredRow(DownloadItem item) {
    const int state = int(item.state);
    if (state < int(ItemState::Waiting) || state > int(ItemState::Failed))
        item.state = ItemState::Waiting;
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
    } else {
        item.state = ItemState::Waiting;
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
                        qint64(it.intent.inode)} +
           RecordKeptValues(it.record);
}

int DownloadListKeeper::appendKept(const QList<Row>& rows, QList<qint64>& changed) {
    QList<DownloadItem> items;
    items.reserve(rows.size());
    for (const Row& row : rows) {
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
        it.record = RecordFromKept(v, Record);
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
