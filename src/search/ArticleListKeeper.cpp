#include "search/ArticleListKeeper.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {
const QString Schema = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS articles ("
    " id INTEGER PRIMARY KEY, position INTEGER NOT NULL,"
    " title TEXT NOT NULL, type TEXT NOT NULL, state TEXT NOT NULL, save_folder TEXT NOT NULL,"
    " layout TEXT NOT NULL, link TEXT NOT NULL, page_address TEXT NOT NULL,"
    " pdf_address TEXT NOT NULL)");

const QString Columns = QStringLiteral(
    "id, position, title, type, state, save_folder, layout, link, page_address, pdf_address");

QVariant text(const QString& s) {
    return s.isNull() ? QString(QLatin1String("")) : s;
}
} // namespace

ArticleListKeeper::ArticleListKeeper(ArticleListModel& model, KeptDatabase& db, QObject* parent)
    : QObject(parent), m_model(model), m_db(&db) {
    m_active = db.isKeeping() && db.execute({Schema});
    if (m_active)
        db.attach(this);
}

ArticleListKeeper::~ArticleListKeeper() {
    if (m_active && m_db) {
        m_db->writeNow();
        m_db->detach(this);
    }
}

QString ArticleListKeeper::restoredState(const QString& state) {
    if (state == ArticleState::Analysing || state == ArticleState::Downloading)
        return {};
    return state;
}

int ArticleListKeeper::restore() {
    if (!m_active || !m_db) {
        follow();
        return 0;
    }
    QVector<ArticleEntry> rows;
    QList<qint64> changed;
    {
        QSqlQuery q(m_db->connection());
        q.setForwardOnly(true);
        if (q.exec(QStringLiteral("SELECT %1 FROM articles ORDER BY position, id").arg(Columns))) {
            while (q.next()) {
                ArticleEntry e;
                e.id = q.value(0).toLongLong();
                m_nextPosition = qMax(m_nextPosition, q.value(1).toLongLong() + 1);
                e.title = q.value(2).toString();
                e.type = q.value(3).toString();
                e.state = q.value(4).toString();
                e.saveFolder = q.value(5).toString();
                e.layout = q.value(6).toString();
                e.link = q.value(7).toString();
                e.pageAddress = q.value(8).toString();
                e.pdfAddress = q.value(9).toString();
                const QString state = restoredState(e.state);
                if (state != e.state) {
                    e.state = state;
                    changed.append(e.id);
                }
                rows.append(std::move(e));
            }
        }
    }
    const int before = m_model.size();
    const int added = m_model.restoreRows(rows);
    if (added != rows.size()) {
        QSet<qint64> in;
        for (int r = before; r < m_model.size(); ++r)
            in.insert(m_model.at(r).id);
        for (const ArticleEntry& e : std::as_const(rows))
            if (!in.contains(e.id))
                m_dropped.insert(e.id);
    }
    follow();
    if (!changed.isEmpty()) {
        const QSet<qint64> wanted(changed.cbegin(), changed.cend());
        for (int r = before; r < m_model.size(); ++r)
            if (wanted.contains(m_model.at(r).id))
                touch(r);
    }
    if (!m_dropped.isEmpty())
        m_db->changed();
    return added;
}

void ArticleListKeeper::follow() {
    if (!m_active || m_following)
        return;
    m_following = true;
    ArticleListModel* model = &m_model;
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                for (int r = first; r <= last && r < m_model.size(); ++r)
                    m_pending.insert(m_model.at(r).id, {m_model.at(r), m_nextPosition++});
                if (m_db)
                    m_db->changed();
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                for (int r = from.row(); r <= to.row(); ++r)
                    touch(r);
            });
    connect(model, &ArticleListModel::rowFactsChanged, this, [this](int row) { touch(row); });
    connect(model, &ArticleListModel::rowsDropped, this, [this](const QList<qint64>& ids) {
        for (qint64 id : ids) {
            m_pending.remove(id);
            m_dropped.insert(id);
        }
        if (m_db)
            m_db->changed();
    });
    connect(model, &ArticleListModel::listCleared, this, [this] {
        m_pending.clear();
        m_dropped.clear();
        m_cleared = true;
        m_nextPosition = 0;
        if (m_db)
            m_db->changed();
    });
}

void ArticleListKeeper::touch(int row) {
    if (row < 0 || row >= m_model.size())
        return;
    const ArticleEntry& e = m_model.at(row);
    auto p = m_pending.find(e.id);
    if (p == m_pending.end())
        m_pending.insert(e.id, {e, -1});
    else
        p->entry = e;
    if (m_db)
        m_db->changed();
}

bool ArticleListKeeper::writePending(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (m_cleared && !q.exec(QStringLiteral("DELETE FROM articles")))
        return false;
    if (!m_dropped.isEmpty()) {
        if (!q.prepare(QStringLiteral("DELETE FROM articles WHERE id = ?")))
            return false;
        for (qint64 id : std::as_const(m_dropped)) {
            q.bindValue(0, id);
            if (!q.exec())
                return false;
        }
    }
    if (m_pending.isEmpty())
        return true;
    if (!q.prepare(QStringLiteral("INSERT INTO articles (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
                                  " ON CONFLICT(id) DO UPDATE SET"
                                  " title = excluded.title, type = excluded.type,"
                                  " state = excluded.state, save_folder = excluded.save_folder,"
                                  " layout = excluded.layout, link = excluded.link,"
                                  " page_address = excluded.page_address,"
                                  " pdf_address = excluded.pdf_address")
                       .arg(Columns)))
        return false;
    for (auto p = m_pending.cbegin(); p != m_pending.cend(); ++p) {
        const ArticleEntry& e = p->entry;
        q.bindValue(0, e.id);
        q.bindValue(1, p->position >= 0 ? p->position : m_nextPosition);
        q.bindValue(2, text(e.title));
        q.bindValue(3, text(e.type));
        q.bindValue(4, text(e.state));
        q.bindValue(5, text(e.saveFolder));
        q.bindValue(6, text(e.layout));
        q.bindValue(7, text(e.link));
        q.bindValue(8, text(e.pageAddress));
        q.bindValue(9, text(e.pdfAddress));
        if (!q.exec())
            return false;
    }
    return true;
}

void ArticleListKeeper::pendingWritten() {
    m_pending.clear();
    m_dropped.clear();
    m_cleared = false;
}
