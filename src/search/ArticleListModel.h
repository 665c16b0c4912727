#pragma once

#include "download/ArticleRecord.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QVector>

// One row of the article list.
struct ArticleEntry {
    QString title;        // as extracted, trimmed
    QString type;         // always "pdf"
    QString state;        // analysis state, empty until analysed (see ArticleState)
    QString saveFolder;   // may be empty: the analysis then uses CurrentSaveFolder
    QString layout;       // "SD1" or "SD2"
    QString link;         // the row's key: the PDF address (SD1) or the page leading to it (SD2)
    QString pageAddress;  // the result page the row was taken from
    QString pdfAddress;   // what the analysis found; empty until found
    ArticleRecord record; // what the pages said of the article so far
    // The row's identity in the list, also across runs; given by the list.
    qint64 id = 0;
};

// The analysis states a row passes through.
namespace ArticleState {
inline const QString Analysing = QStringLiteral("正在分析");
inline const QString Downloading = QStringLiteral("正在下载");
inline const QString DownloadSucceeded = QStringLiteral("下载成功");
inline const QString DownloadFailed = QStringLiteral("下载失败");
inline const QString Analysed = QStringLiteral("分析完成");
inline const QString AnalysisFailed = QStringLiteral("分析失败");

// Selections made on the state texts.
inline bool isUnanalysed(const QString& state) {
    return state.isEmpty();
}
inline bool isFailure(const QString& state) {
    return state.contains(QStringLiteral("失败"), Qt::CaseInsensitive);
}
inline bool isSuccess(const QString& state) {
    return state.contains(QStringLiteral("成功"), Qt::CaseInsensitive);
}
} // namespace ArticleState

// The rows of the search window's article list, in the order they were added.
// The link is the key: a second row with the same link is refused. Cells are
// read-only for the view; only the program changes them.
class ArticleListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        TitleColumn,
        TypeColumn,
        StateColumn,
        FolderColumn,
        LayoutColumn,
        // What the pages said of the article; the whole record is the tooltip
        // of every cell.
        AuthorsColumn,
        JournalColumn,
        YearColumn,
        DoiColumn,
        ColumnCount
    };

    explicit ArticleListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends a row; false (nothing changed) when a row with this link exists.
    bool add(const ArticleEntry& entry);
    bool add(const QString& title, const QString& link, const QString& pageAddress,
             const QString& type, const QString& saveFolder, const QString& layout,
             const ArticleRecord& record = {});

    int size() const { return static_cast<int>(m_rows.size()); }
    bool isEmpty() const { return m_rows.isEmpty(); }
    const ArticleEntry& at(int row) const { return m_rows.at(row); }
    const QVector<ArticleEntry>& rows() const { return m_rows; }
    // The row with this link, or -1.
    int indexOfLink(const QString& link) const;
    bool containsLink(const QString& link) const { return m_index.contains(link); }

    // Writes a row's analysis state; out-of-range rows are ignored.
    void setState(int row, const QString& state);
    // Notes the PDF address the analysis found for a row (shown in no column).
    void setPdfAddress(int row, const QString& address);
    // Adds what a later source says of a row's article to what it has
    // (ArticleRecord::fillFrom); out-of-range rows are ignored.
    void fillRecord(int row, const ArticleRecord& later);
    // Appends kept rows as they were, ids included, in one insertion; rows
    // whose link or id is taken (or whose id is 0) are left out.
    int restoreRows(QVector<ArticleEntry> rows);

    // Removes the given rows (any order, duplicates and bad rows ignored).
    int removeRowList(QList<int> rows);
    void clear();

    // Column widths at start, in twips.
    static int initialWidthTwips(int column);

signals:
    // Which rows went (by id), and that the list was emptied; a fact no
    // column shows changed.
    void rowsDropped(const QList<qint64>& ids);
    void listCleared();
    void rowFactsChanged(int row);

private:
    void rebuildIndex();

    qint64 m_nextId = 1;
    QVector<ArticleEntry> m_rows;
    QHash<QString, int> m_index; // link -> row
};
