#pragma once

#include "download/DownloadItem.h"
#include "platform/KeptDatabase.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSqlQuery>
#include <memory>

class DownloadListModel;

// What the download list keeps across runs, and how it comes back.
//
// Every row is kept whole (cells, state, address list, referer, placed mark,
// the intent of a placement under way) under its id, with a place in the
// list: appended rows take the next place, removals leave the others alone,
// and only a new order of the whole list (sorting, shuffling) rewrites them.
// The keeper follows the model's notices and notes which rows changed; the
// database's batch writes only those, so a change costs the same however long
// the list is. A row about to place its file is written at once, before the
// rename.
//
// Restoring: a row that was downloading waits again, unless the file under
// the path its transfer was about to rename to is still the part file it
// named (same device and inode): then the rename happened before the program
// ended, and the row is finished and placed, its cells filled from the file.
class DownloadListKeeper : public QObject, public KeptWriter {
    Q_OBJECT
public:
    // Follows model from now on when db keeps; does nothing otherwise.
    DownloadListKeeper(DownloadListModel& model, KeptDatabase& db, QObject* parent = nullptr);
    ~DownloadListKeeper() override;

    bool isKeeping() const { return m_active; }
    // Appends the kept rows to the model (empty until now); returns how many.
    int restore();
    // Writes what is pending and stops following the model: what the window
    // does to its rows while it closes (failing the rows under way) is not
    // kept, so the next run finds them as a crash would have left them.
    void finish();

    // Rows of the kept list that wait or were downloading; 0 when nothing is kept.
    static int unfinishedRows(KeptDatabase& db);
    // What a kept row that was downloading becomes at restore (see above).
    static DownloadItem restoredRow(DownloadItem item);

    // --- KeptWriter ---
    bool writePending(QSqlDatabase& db) override;
    void pendingWritten() override;

private:
    struct Pending {
        DownloadItem item;
        qint64 position = -1; // the place of a row not yet kept; -1 for one that is
    };
    void follow();
    void touch(int row);
    bool prepareUpsert(QSqlQuery& q) const;
    bool upsert(QSqlQuery& q, const Pending& p) const;
    void inserted(int first, int last);
    // The rows took a new order: every place is written again with the next batch.
    void rewriteOrderLater();

    DownloadListModel& m_model;
    QPointer<KeptDatabase> m_db;
    bool m_active = false;
    bool m_following = false;
    QHash<qint64, Pending> m_pending;
    QSet<qint64> m_dropped;
    bool m_cleared = false;
    QList<qint64> m_order; // the ids in their new order after a reorder; empty otherwise
    bool m_reordered = false;
    bool m_structural = false; // rows came, went or moved since the last batch
    qint64 m_nextPosition = 0;
    std::unique_ptr<QSqlQuery> m_placing; // the statement of the write before a rename
};
