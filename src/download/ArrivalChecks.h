#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThreadPool>

class ArticleHistory;
class DownloadListModel;
struct PdfFacts;

// Looks inside every file a row placed, once it is finished, on a thread of
// its own: the user-interface thread never waits for a file to be read.
//
// A PDF is opened with the PDF library: its page count, or the mark of a file
// that cannot be opened or has far fewer pages than the article, goes into
// the row's "检查" cell (PdfCheckText), and its document information and the
// DOI on its first page fill what the row's record lacks. Every placed file
// (PDF or not) is hashed, and the article's DOI and PII with the file's path,
// size, time and SHA-256 go into the history, so the article is not fetched
// again. Web pages are neither checked nor remembered.
//
// A row put back for another attempt loses its mark; a row that pointed at an
// earlier copy goes back to the folder it was to save in.
class ArrivalChecks : public QObject {
    Q_OBJECT
public:
    // history may be null: then nothing is remembered.
    ArrivalChecks(DownloadListModel& model, ArticleHistory* history, QObject* parent = nullptr);
    // Waits for the look under way (it only reads); looks not begun are dropped.
    ~ArrivalChecks() override;

    // Looks asked for or under way.
    int pending() const { return int(m_running.size() + m_dirty.size()); }
    // Finished rows whose check found something amiss; rows pointing at an earlier copy.
    int markedRows() const;
    int earlierCopyRows() const;
    // The end-of-run notice's count of those rows; empty when there are none.
    QString summaryText() const;

signals:
    // The row (by id) has its check; emitted on the user-interface thread.
    void rowChecked(qint64 id);
    // No look is asked for or under way any more.
    void allChecked();

private:
    void note(int first, int last);
    void sweep();
    void start(qint64 id, const QString& path);
    void arrived(qint64 id, const QString& path, const PdfFacts& facts);

    DownloadListModel& m_model;
    QPointer<ArticleHistory> m_history;
    QThreadPool m_pool;
    QSet<qint64> m_dirty;
    bool m_sweepQueued = false;
    QHash<qint64, QString> m_running; // id -> the path being read
    QHash<qint64, QString> m_done;    // id -> the path last read
};
