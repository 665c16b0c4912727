#include "platform/KeptList.h"

#include <QAbstractItemModel>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
// Text cells are never NULL in the file: an empty cell is an empty text.
QVariant notNull(const QVariant& value) {
    if (value.metaType().id() == QMetaType::QString &&
        static_cast<const QString*>(value.constData())->isNull())
        return QString(QLatin1String(""));
    return value;
}
} // namespace

KeptList::KeptList(QAbstractItemModel& model, KeptDatabase& db, const QString& table,
                   const QList<Column>& columns, QObject* parent)
    : QObject(parent), m_model(model), m_db(&db), m_table(table), m_columnCount(columns.size()) {
    QStringList names{QStringLiteral("id"), QStringLiteral("position")};
    QStringList declared{QStringLiteral("id INTEGER PRIMARY KEY"),
                         QStringLiteral("position INTEGER NOT NULL")};
    QStringList updates;
    for (const Column& c : columns) {
        names << c.name;
        declared << c.name + QLatin1Char(' ') + c.type + QStringLiteral(" NOT NULL");
        updates << QStringLiteral("%1 = excluded.%1").arg(c.name);
    }
    m_columns = names.join(QStringLiteral(", "));
    QStringList marks;
    marks.fill(QStringLiteral("?"), names.size());
    // A row kept already keeps its place: only a reorder moves it.
    m_upsert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT(id) DO UPDATE SET %4")
                   .arg(m_table, m_columns, marks.join(QStringLiteral(", ")),
                        updates.join(QStringLiteral(", ")));
    const QString schema = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                               .arg(m_table, declared.join(QStringLiteral(", ")));
    m_active = db.isKeeping() && db.execute({schema}) && addMissingColumns(db, columns);
    if (m_active)
        db.attach(this);
    connect(&db, &KeptDatabase::closing, this, [this] { m_placing.reset(); });
}

bool KeptList::addMissingColumns(KeptDatabase& db, const QList<Column>& columns) {
    // A table written by an earlier program lacks the columns added since; they
    // are added with the empty value, so its rows still come back.
    QSet<QString> present;
    {
        QSqlQuery q(db.connection());
        if (!q.exec(QStringLiteral("PRAGMA table_info(%1)").arg(m_table)))
            return false;
        while (q.next())
            present.insert(q.value(1).toString());
    }
    QStringList statements;
    for (const Column& c : columns)
        if (!present.contains(c.name))
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3 NOT NULL DEFAULT %4")
                              .arg(m_table, c.name, c.type,
                                   c.type == QLatin1String("INTEGER") ? QStringLiteral("0")
                                                                      : QStringLiteral("''"));
    return statements.isEmpty() || db.execute(statements);
}

KeptList::~KeptList() {
    m_placing.reset();
    // Only what is already noted is written: the model may be gone by now.
    if (m_active && m_db) {
        m_db->writeNow();
        m_db->detach(this);
    }
}

bool KeptList::isRow(int row) const {
    return row >= 0 && row < m_model.rowCount();
}

int KeptList::restore() {
    if (!m_active || !m_db) {
        follow();
        return 0;
    }
    QList<Row> rows;
    {
        QSqlQuery q(m_db->connection());
        q.setForwardOnly(true);
        if (q.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY position, id")
                       .arg(m_columns, m_table))) {
            while (q.next()) {
                Row row;
                row.id = q.value(0).toLongLong();
                m_nextPosition = qMax(m_nextPosition, q.value(1).toLongLong() + 1);
                row.values.reserve(m_columnCount);
                for (qsizetype c = 0; c < m_columnCount; ++c)
                    row.values.append(q.value(int(2 + c)));
                rows.append(std::move(row));
            }
        }
    }
    const int before = m_model.rowCount();
    QList<qint64> changed;
    const int added = appendKept(rows, changed);
    if (added != rows.size()) {
        // Rows the list refused (a key twice) would come back every time.
        QSet<qint64> in;
        for (int r = before; r < m_model.rowCount(); ++r)
            in.insert(idAt(r));
        for (const Row& row : std::as_const(rows))
            if (!in.contains(row.id))
                m_dropped.insert(row.id);
    }
    follow();
    if (!changed.isEmpty()) {
        const QSet<qint64> wanted(changed.cbegin(), changed.cend());
        for (int r = before; r < m_model.rowCount(); ++r)
            if (wanted.contains(idAt(r)))
                touch(r);
    }
    if (!m_dropped.isEmpty()) {
        m_structural = true;
        m_db->changed();
    }
    return added;
}

void KeptList::follow() {
    if (!m_active || m_following)
        return;
    m_following = true;
    connect(&m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { inserted(first, last); });
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int r = from.row(); r <= to.row(); ++r)
                    touch(r);
            });
    followModel();
}

void KeptList::finish() {
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

void KeptList::inserted(int first, int last) {
    for (int r = first; r <= last && isRow(r); ++r)
        m_pending.insert(idAt(r), {valuesAt(r), m_nextPosition++});
    if (m_reordered)
        for (int r = first; r <= last && isRow(r); ++r)
            m_order.append(idAt(r));
    m_structural = true;
    if (m_db)
        m_db->changed();
}

void KeptList::touch(int row) {
    if (!isRow(row))
        return;
    const qint64 id = idAt(row);
    auto p = m_pending.find(id);
    if (p == m_pending.end())
        m_pending.insert(id, {valuesAt(row), -1});
    else
        p->values = valuesAt(row);
    if (m_db)
        m_db->changed();
}

void KeptList::dropped(const QList<qint64>& ids) {
    for (qint64 id : ids) {
        m_pending.remove(id);
        m_dropped.insert(id);
    }
    m_structural = true;
    if (m_db)
        m_db->changed();
}

void KeptList::cleared() {
    m_pending.clear();
    m_dropped.clear();
    m_order.clear();
    m_reordered = false;
    m_cleared = true;
    m_structural = true;
    m_nextPosition = 0;
    if (m_db)
        m_db->changed();
}

void KeptList::reordered() {
    const int count = m_model.rowCount();
    m_order.clear();
    m_order.reserve(count);
    for (int r = 0; r < count; ++r)
        m_order.append(idAt(r));
    m_reordered = true;
    m_structural = true;
    m_nextPosition = count;
    if (m_db)
        m_db->changed();
}

void KeptList::placing(int row) {
    touch(row);
    if (!m_db || !isRow(row))
        return;
    // The row alone, on the disk before the caller renames; the batch writes
    // it again with whatever else changed.
    const qint64 id = idAt(row);
    // Rows added, removed or moved since the last batch go with it, so that
    // the kept list is always one the user had.
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
        return upsert(*m_placing, id, m_pending.value(id));
    });
}

bool KeptList::writePending(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (m_cleared && !q.exec(QStringLiteral("DELETE FROM %1").arg(m_table)))
        return false;
    if (!m_dropped.isEmpty()) {
        if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(m_table)))
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
            if (!upsert(q, p.key(), *p))
                return false;
    }
    if (m_reordered) {
        if (!q.prepare(QStringLiteral("UPDATE %1 SET position = ? WHERE id = ?").arg(m_table)))
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

bool KeptList::prepareUpsert(QSqlQuery& q) const {
    return q.prepare(m_upsert);
}

bool KeptList::upsert(QSqlQuery& q, qint64 id, const Pending& p) const {
    if (p.values.size() != m_columnCount)
        return false;
    q.bindValue(0, id);
    // A row noted as kept that the file lacks goes to the end.
    q.bindValue(1, p.position >= 0 ? p.position : m_nextPosition);
    for (qsizetype c = 0; c < m_columnCount; ++c)
        q.bindValue(int(2 + c), notNull(p.values.at(c)));
    return q.exec();
}

void KeptList::pendingWritten() {
    m_structural = false;
    m_pending.clear();
    m_dropped.clear();
    m_cleared = false;
    m_order.clear();
    m_reordered = false;
}
