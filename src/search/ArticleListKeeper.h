#pragma once

#include "platform/KeptDatabase.h"
#include "search/ArticleListModel.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>

// What the search window's article list keeps across runs: each article's
// title, link and the other cells, and what the analysis found (nothing yet,
// the PDF address, or that it failed), under the row's id in list order. The
// keeper follows the model and writes only the rows that changed, in the
// database's batches. An article whose analysis was cut off (the program
// ended while it was "正在分析" or "正在下载") comes back not analysed, so
// "分析未分析项" takes it up again.
class ArticleListKeeper : public QObject, public KeptWriter {
    Q_OBJECT
public:
    ArticleListKeeper(ArticleListModel& model, KeptDatabase& db, QObject* parent = nullptr);
    ~ArticleListKeeper() override;

    bool isKeeping() const { return m_active; }
    // Appends the kept rows to the model; returns how many.
    int restore();
    // The state a kept row comes back with.
    static QString restoredState(const QString& state);

    bool writePending(QSqlDatabase& db) override;
    void pendingWritten() override;

private:
    struct Pending {
        ArticleEntry entry;
        qint64 position = -1; // the place of a row not yet kept; -1 for one that is
    };
    void follow();
    void touch(int row);

    ArticleListModel& m_model;
    QPointer<KeptDatabase> m_db;
    bool m_active = false;
    bool m_following = false;
    QHash<qint64, Pending> m_pending;
    QSet<qint64> m_dropped;
    bool m_cleared = false;
    qint64 m_nextPosition = 0;
};
