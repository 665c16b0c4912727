#include "download/DownloadListKeeper.h"

#include "download/DownloadListModel.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {
const QString Schema = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS download_rows ("
    " id INTEGER PRIMARY KEY, position INTEGER NOT NULL,"
    " name TEXT NOT NULL, type TEXT NOT NULL, size TEXT NOT NULL, received TEXT NOT NULL,"
    " percent TEXT NOT NULL, folder TEXT NOT NULL, base_href TEXT NOT NULL,"
    " addresses TEXT NOT NULL, referer TEXT NOT NULL, state INTEGER NOT NULL,"
    " placed INTEGER NOT NULL, intent_path TEXT NOT NULL,"
    " intent_device INTEGER NOT NULL, intent_inode INTEGER NOT NULL)");

const QString Columns = QStringLiteral(
    "id, position, name, type, size, received, percent, folder, base_href, addresses, referer,"
    " state, placed, intent_path, intent_device, intent_inode");

// Text cells are never NULL in the file: an empty cell is an empty text.
QVariant text(const QString& s) {
    return s.isNull() ? QString(QLatin1String("")) : s;
}
} // namespace

DownloadListKeeper::DownloadListKeeper(DownloadListModel& model, KeptDatabase& db, QObject* parent)
    : QObject(parent), m_model(model), m_db(&db) {
    m_active = db.isKeeping() && db.execute({Schema});
    if (m_active)
        db.attach(this);
    connect(&db, &KeptDatabase::closing, this, [this] { m_placing.reset(); });
}

DownloadListKeeper::~DownloadListKeeper() {
    m_placing.reset();
    // Only what is already noted is written: the model may be gone by now.
    if (m_active && m_db) {
        m_db->writeNow();
        m_db->detach(this);
    }
}

int DownloadListKeeper::unfinishedRows(KeptDatabase& db) {
    if (!db.isKeeping())
        return 0;
    QSqlQuery q(db.connection());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM download_rows WHERE state IN (%1, %2)")
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

int DownloadListKeeper::restore() {
    if (!m_active || !m_db) {
        follow();
        return 0;
    }
    QList<DownloadItem> rows;
    QList<qint64> changed;
    {
        QSqlQuery q(m_db->connection());
        q.setForwardOnly(true);
        if (q.exec(QStringLiteral("SELECT %1 FROM download_rows ORDER BY position, id")
                       .arg(Columns))) {
            while (q.next()) {
                DownloadItem it;
                it.id = q.value(0).toLongLong();
                m_nextPosition = qMax(m_nextPosition, q.value(1).toLongLong() + 1);
                it.name = q.value(2).toString();
                it.type = q.value(3).toString();
                it.size = q.value(4).toString();
                it.received = q.value(5).toString();
                it.percent = q.value(6).toString();
                it.folder = q.value(7).toString();
                it.baseHref = q.value(8).toString();
                it.key = q.value(9).toString();
                it.tag = q.value(10).toString();
                it.state = static_cast<ItemState>(q.value(11).toInt());
                it.placed = q.value(12).toInt() != 0;
                it.intent.path = q.value(13).toString();
                it.intent.device = quint64(q.value(14).toLongLong());
                it.intent.inode = quint64(q.value(15).toLongLong());
                const ItemState was = it.state;
                it = restoredRow(std::move(it));
                if (it.state != was)
                    changed.append(it.id);
                rows.append(std::move(it));
            }
        }
    }
    const int before = m_model.count();
    const int added = m_model.restoreRows(rows);
    if (added != rows.size()) {
        // Rows the list refused (a key twice) would come back every time.
        QSet<qint64> in;
        for (int r = before; r < m_model.count(); ++r)
            in.insert(m_model.item(r).id);
        for (const DownloadItem& it : std::as_const(rows))
            if (!in.contains(it.id))
                m_dropped.insert(it.id);
    }
    follow();
    if (!changed.isEmpty()) {
        QSet<qint64> wanted(changed.cbegin(), changed.cend());
        for (int r = before; r < m_model.count(); ++r)
            if (wanted.contains(m_model.item(r).id))
                touch(r);
    }
    if (!m_dropped.isEmpty()) {
        m_structural = true;
        m_db->changed();
    }
    return added;
}

void DownloadListKeeper::follow() {
    if (!m_active || m_following)
        return;
    m_following = true;
    DownloadListModel* model = &m_model;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { inserted(first, last); });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int r = from.row(); r <= to.row(); ++r)
                    touch(r);
            });
    connect(model, &DownloadListModel::rowFactsChanged, this, [this](int row) { touch(row); });
    connect(model, &DownloadListModel::placingFile, this, [this](int row) {
        touch(row);
        // The row alone, on the disk before the caller renames; the batch
        // writes it again with whatever else changed.
        const qint64 id = m_model.item(row).id;
        if (!m_db)
            return;
        // Rows added, removed or moved since the last batch go with it, so
        // that the kept list is always one the user had.
        if (m_structural) {
            m_db->writeNow();
            return;
        }
        m_db->writeAtOnce([&](QSqlDatabase& db) {
            // One file after another: the statement is made once.
            if (!m_placing) {
                m_placing = std::make_unique<QSqlQuery>(db);
                if (!prepareUpsert(*m_placing)) {
                    m_placing.reset();
                    return false;
                }
            }
            return upsert(*m_placing, m_pending.value(id));
        });
    });
    connect(model, &DownloadListModel::rowsDropped, this, [this](const QList<qint64>& ids) {
        for (qint64 id : ids) {
            m_pending.remove(id);
            m_dropped.insert(id);
        }
        m_structural = true;
        if (m_db)
            m_db->changed();
    });
    connect(model, &DownloadListModel::listCleared, this, [this] {
        m_pending.clear();
        m_dropped.clear();
        m_order.clear();
        m_reordered = false;
        m_cleared = true;
        m_structural = true;
        m_nextPosition = 0;
        if (m_db)
            m_db->changed();
    });
    connect(model, &DownloadListModel::rowsReordered, this, [this] { rewriteOrderLater(); });
}

void DownloadListKeeper::rewriteOrderLater() {
    m_order.clear();
    m_order.reserve(m_model.count());
    for (const DownloadItem& it : m_model.items())
        m_order.append(it.id);
    m_reordered = true;
    m_structural = true;
    m_nextPosition = m_model.count();
    if (m_db)
        m_db->changed();
}

void DownloadListKeeper::inserted(int first, int last) {
    for (int r = first; r <= last && m_model.isValidRow(r); ++r) {
        const DownloadItem& it = m_model.item(r);
        m_pending.insert(it.id, {it, m_nextPosition++});
    }
    if (m_reordered)
        for (int r = first; r <= last && m_model.isValidRow(r); ++r)
            m_order.append(m_model.item(r).id);
    m_structural = true;
    if (m_db)
        m_db->changed();
}

void DownloadListKeeper::touch(int row) {
    if (!m_model.isValidRow(row))
        return;
    const DownloadItem& it = m_model.item(row);
    auto p = m_pending.find(it.id);
    if (p == m_pending.end())
        m_pending.insert(it.id, {it, -1});
    else
        p->item = it;
    if (m_db)
        m_db->changed();
}

void DownloadListKeeper::finish() {
    m_placing.reset();
    if (!m_active)
        return;
    if (m_db)
        m_db->writeNow();
    disconnect(&m_model, nullptr, this, nullptr);
    m_following = false;
    if (m_db)
        m_db->detach(this);
    m_active = false;
}

bool DownloadListKeeper::writePending(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (m_cleared && !q.exec(QStringLiteral("DELETE FROM download_rows")))
        return false;
    if (!m_dropped.isEmpty()) {
        if (!q.prepare(QStringLiteral("DELETE FROM download_rows WHERE id = ?")))
            return false;
        for (qint64 id : std::as_const(m_dropped)) {
            q.bindValue(0, id);
            if (!q.exec())
                return false;
        }
    }
    if (!m_pending.isEmpty()) {
        if (!prepareUpsert(q))
            return false;
        for (auto p = m_pending.cbegin(); p != m_pending.cend(); ++p)
            if (!upsert(q, *p))
                return false;
    }
    if (m_reordered) {
        if (!q.prepare(QStringLiteral("UPDATE download_rows SET position = ? WHERE id = ?")))
            return false;
        for (int i = 0; i < m_order.size(); ++i) {
            q.bindValue(0, i);
            q.bindValue(1, m_order.at(i));
            if (!q.exec())
                return false;
        }
    }
    return true;
}

bool DownloadListKeeper::prepareUpsert(QSqlQuery& q) const {
    return q.prepare(QStringLiteral("INSERT INTO download_rows (%1) VALUES "
                                    "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                    " ON CONFLICT(id) DO UPDATE SET"
                                    " name = excluded.name, type = excluded.type,"
                                    " size = excluded.size, received = excluded.received,"
                                    " percent = excluded.percent, folder = excluded.folder,"
                                    " base_href = excluded.base_href,"
                                    " addresses = excluded.addresses,"
                                    " referer = excluded.referer, state = excluded.state,"
                                    " placed = excluded.placed,"
                                    " intent_path = excluded.intent_path,"
                                    " intent_device = excluded.intent_device,"
                                    " intent_inode = excluded.intent_inode")
                         .arg(Columns));
}

bool DownloadListKeeper::upsert(QSqlQuery& q, const Pending& p) const {
    const DownloadItem& it = p.item;
    // A row noted as kept that the file lacks goes to the end.
    const qint64 position = p.position >= 0 ? p.position : m_nextPosition;
    q.bindValue(0, it.id);
    q.bindValue(1, position);
    q.bindValue(2, text(it.name));
    q.bindValue(3, text(it.type));
    q.bindValue(4, text(it.size));
    q.bindValue(5, text(it.received));
    q.bindValue(6, text(it.percent));
    q.bindValue(7, text(it.folder));
    q.bindValue(8, text(it.baseHref));
    q.bindValue(9, text(it.key));
    q.bindValue(10, text(it.tag));
    q.bindValue(11, int(it.state));
    q.bindValue(12, it.placed ? 1 : 0);
    q.bindValue(13, text(it.intent.path));
    q.bindValue(14, qint64(it.intent.device));
    q.bindValue(15, qint64(it.intent.inode));
    return q.exec();
}

void DownloadListKeeper::pendingWritten() {
    m_structural = false;
    m_pending.clear();
    m_dropped.clear();
    m_cleared = false;
    m_order.clear();
    m_reordered = false;
}
