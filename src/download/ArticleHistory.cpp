#include "download/ArticleHistory.h"

#include "download/DownloadItem.h"
#include "platform/PdfReader.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

const QString EarlierCopyText = QStringLiteral("已下载过");

namespace {
const QString Table = QStringLiteral("article_files");

bool sameArticle(const ArticleHistory::Entry& e, const QString& doi, const QString& pii) {
    return (!doi.isEmpty() && e.doi == doi) || (!pii.isEmpty() && e.pii == pii);
}
} // namespace

ArticleHistory::ArticleHistory(KeptDatabase& db, QObject* parent) : QObject(parent), m_db(&db) {
    if (!db.isKeeping())
        return;
    m_keeping = db.execute({
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (id INTEGER PRIMARY KEY, "
                       "doi TEXT NOT NULL DEFAULT '', pii TEXT NOT NULL DEFAULT '', "
                       "path TEXT NOT NULL, size INTEGER NOT NULL, "
                       "modified_ns INTEGER NOT NULL, sha256 TEXT NOT NULL, "
                       "placed_at INTEGER NOT NULL DEFAULT 0)")
            .arg(Table),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1_doi ON %1 (doi)").arg(Table),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1_pii ON %1 (pii)").arg(Table),
        QStringLiteral("CREATE INDEX IF NOT EXISTS %1_path ON %1 (path)").arg(Table),
    });
    if (m_keeping)
        db.attach(this);
}

ArticleHistory::~ArticleHistory() {
    if (m_keeping && m_db) {
        m_db->writeNow();
        m_db->detach(this);
    }
}

QString ArticleHistory::normalDoi(const QString& doi) {
    return doi.trimmed().toLower();
}

QString ArticleHistory::normalPii(const QString& pii) {
    static const QRegularExpression notAlnum(QStringLiteral("[^0-9A-Za-z]"));
    return QString(pii).remove(notAlnum).toUpper();
}

void ArticleHistory::remember(Entry entry) {
    entry.doi = normalDoi(entry.doi);
    entry.pii = normalPii(entry.pii);
    if ((entry.doi.isEmpty() && entry.pii.isEmpty()) || entry.path.isEmpty() ||
        entry.sha256.isEmpty())
        return;
    m_pending.append(std::move(entry));
    if (m_keeping && m_db)
        m_db->changed();
}

QList<ArticleHistory::Entry> ArticleHistory::placedFiles(const QString& doiIn,
                                                         const QString& piiIn) const {
    const QString doi = normalDoi(doiIn);
    const QString pii = normalPii(piiIn);
    QList<Entry> found;
    if (doi.isEmpty() && pii.isEmpty())
        return found;
    for (auto e = m_pending.crbegin(); e != m_pending.crend(); ++e)
        if (sameArticle(*e, doi, pii))
            found.append(*e);
    if (!m_keeping || !m_db || !m_db->isKeeping())
        return found;

    // Each term alone is answered by its index; both by the union of the two.
    QStringList terms;
    if (!doi.isEmpty())
        terms << QStringLiteral("doi = ?");
    if (!pii.isEmpty())
        terms << QStringLiteral("pii = ?");
    QSqlQuery q(m_db->connection());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT doi, pii, path, size, modified_ns, sha256 FROM %1 "
                                  "WHERE %2 ORDER BY id DESC")
                       .arg(Table, terms.join(QStringLiteral(" OR ")))))
        return found;
    if (!doi.isEmpty())
        q.addBindValue(doi);
    if (!pii.isEmpty())
        q.addBindValue(pii);
    if (!q.exec())
        return found;
    while (q.next()) {
        Entry e{q.value(0).toString(),   q.value(1).toString(),   q.value(2).toString(),
                q.value(3).toLongLong(), q.value(4).toLongLong(), q.value(5).toByteArray()};
        // A path written again since (a pending entry) says what stands there now.
        const bool superseded = std::any_of(m_pending.cbegin(), m_pending.cend(),
                                            [&](const Entry& p) { return p.path == e.path; });
        if (!superseded)
            found.append(std::move(e));
    }
    return found;
}

bool ArticleHistory::standsUnchanged(const Entry& e, bool* hashed) {
    if (hashed)
        *hashed = false;
    qint64 size = -1;
    qint64 modified = 0;
    if (!FileStamp(e.path, size, modified) || size != e.size || QFileInfo(e.path).isSymLink())
        return false;
    if (modified == e.modifiedNs)
        return true;
    // Only the time moved (a copy put back, a touch): the bytes decide.
    if (hashed)
        *hashed = true;
    qint64 read = -1;
    return FileSha256(e.path, &read) == e.sha256 && read == e.size;
}

std::optional<ArticleHistory::Entry> ArticleHistory::standingCopy(const QString& doi,
                                                                  const QString& pii) {
    for (Entry& e : placedFiles(doi, pii)) {
        bool hashed = false;
        if (!standsUnchanged(e, &hashed))
            continue;
        if (hashed) {
            // The same bytes under a new time: the next look is the cheap one.
            qint64 size = -1;
            FileStamp(e.path, size, e.modifiedNs);
            remember(e);
        }
        return e;
    }
    return std::nullopt;
}

bool ArticleHistory::writePending(QSqlDatabase& db) {
    m_writing = m_pending.size();
    if (m_writing == 0)
        return true;
    QSqlQuery drop(db);
    QSqlQuery add(db);
    if (!drop.prepare(QStringLiteral("DELETE FROM %1 WHERE path = ?").arg(Table)) ||
        !add.prepare(QStringLiteral("INSERT INTO %1 (doi, pii, path, size, modified_ns, sha256, "
                                    "placed_at) VALUES (?, ?, ?, ?, ?, ?, ?)")
                         .arg(Table)))
        return false;
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    for (qsizetype i = 0; i < m_writing; ++i) {
        const Entry& e = m_pending.at(i);
        drop.addBindValue(e.path);
        if (!drop.exec())
            return false;
        // A null text would be bound as NULL.
        add.addBindValue(e.doi.isNull() ? QStringLiteral("") : e.doi);
        add.addBindValue(e.pii.isNull() ? QStringLiteral("") : e.pii);
        add.addBindValue(e.path);
        add.addBindValue(e.size);
        add.addBindValue(e.modifiedNs);
        add.addBindValue(QString::fromLatin1(e.sha256));
        add.addBindValue(now);
        if (!add.exec())
            return false;
    }
    return true;
}

void ArticleHistory::pendingWritten() {
    m_pending.remove(0, qMin(m_writing, m_pending.size()));
    m_writing = 0;
}

bool MarkEarlierCopy(DownloadItem& row, ArticleHistory& history) {
    if (row.fetchAnyway || (row.record.doi.isEmpty() && row.record.pii.isEmpty()))
        return false;
    const std::optional<ArticleHistory::Entry> copy =
        history.standingCopy(row.record.doi, row.record.pii);
    if (!copy)
        return false;
    const QFileInfo file(copy->path);
    if (row.plannedFolder.isEmpty())
        row.plannedFolder = row.folder;
    row.folder = file.absolutePath() + QLatin1Char('/');
    row.name = file.suffix().isEmpty() ? file.fileName() : file.completeBaseName();
    row.type = file.suffix();
    const QString bytes = QString::number(copy->size);
    row.size = bytes;
    row.received = bytes;
    row.percent = EarlierCopyText;
    row.check = EarlierCopyText;
    row.state = ItemState::Finished;
    row.placed = false; // the earlier row's file: no command of this row deletes it
    return true;
}

bool FetchAnyway(DownloadItem& row) {
    if (row.check != EarlierCopyText)
        return false;
    if (!row.plannedFolder.isEmpty())
        row.folder = row.plannedFolder;
    row.plannedFolder.clear();
    row.fetchAnyway = true;
    row.check.clear();
    row.size.clear();
    row.received.clear();
    row.percent.clear();
    row.placed = false;
    row.state = ItemState::Waiting;
    return true;
}
