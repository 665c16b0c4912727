#pragma once

#include "platform/KeptDatabase.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

struct DownloadItem;

// Every article whose file the program placed: its DOI and the site's article
// id (PII), the file's path, size, modification time and SHA-256. Kept in the
// kept database across runs, days and save folders, so that an article added
// again is not fetched while its file still stands unchanged.
//
// A look-up is one indexed query (indexes on doi, pii and path). A file stands
// unchanged when it is still a regular file of the remembered size and either
// its modification time is the remembered one (the cheap check) or, when only
// the time moved, its SHA-256 is still the remembered one.
class ArticleHistory : public QObject, public KeptWriter {
    Q_OBJECT
public:
    struct Entry {
        QString doi; // lower case
        QString pii; // upper-case letters and digits
        QString path;
        qint64 size = -1;
        qint64 modifiedNs = 0;
        QByteArray sha256; // lower-case hex
    };

    // Remembers in db when it keeps; for this run only otherwise.
    explicit ArticleHistory(KeptDatabase& db, QObject* parent = nullptr);
    ~ArticleHistory() override;

    static QString normalDoi(const QString& doi);
    static QString normalPii(const QString& pii);

    // entry.path now holds the article's file; what was remembered of that
    // path goes. An entry without a DOI and a PII, or without a hash, is not kept.
    void remember(Entry entry);
    // The files placed for the article (same DOI or same PII), newest first.
    QList<Entry> placedFiles(const QString& doi, const QString& pii) const;
    // The newest of them that still stands unchanged.
    std::optional<Entry> standingCopy(const QString& doi, const QString& pii);
    static bool standsUnchanged(const Entry& entry, bool* hashed = nullptr);

    // --- KeptWriter ---
    bool writePending(QSqlDatabase& db) override;
    void pendingWritten() override;

private:
    QList<Entry> m_pending; // oldest first; lookups see them before the batch writes them
    qsizetype m_writing = 0;
    QPointer<KeptDatabase> m_db;
    bool m_keeping = false;
};

// The row's article was placed before and its file stands unchanged: the row
// is not fetched, but ends finished as "已下载过", pointing at that file (its
// folder, name and type become the file's; the folder it was to save in is
// kept for "仍然下载"). A row the user asked for anyway, or one that names no
// article, is left alone. True when the row was marked.
bool MarkEarlierCopy(DownloadItem& row, ArticleHistory& history);

// "仍然下载": a row marked "已下载过" waits again, to be fetched into the
// folder it was to save in although the earlier copy stands. False for any
// other row.
bool FetchAnyway(DownloadItem& row);

extern const QString EarlierCopyText; // "已下载过"
