#pragma once

#include "download/DownloadItem.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <limits>

// The download list: the rows of ListView3, in list order. A flat model (no
// children) shown by a QTreeView in report style.
//
// Rows are addressed by 0-based position; a row's key (its address list) is
// unique and found in constant time. The counts the window shows every second
// (rows per state, rows not yet downloaded, error rows) are kept up to date as
// rows change, so none of them walks the list.
//
// Every change goes through the setters below; each tells the views only about
// the cells that really changed, because transfers update their row many times
// a second.
class DownloadListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column : int {
        ColName = 0, // "名称"
        ColType,     // "类型"
        ColSize,     // "文件大小"
        ColReceived, // "已下载数"
        ColPercent,  // "百分比"
        ColFolder,   // "保存路径"
        ColBaseHref, // "B"
        ColCheck,    // "检查"
        // What the pages said of the article (read-only; the whole record is
        // every cell's tooltip).
        ColAuthors, // "作者"
        ColJournal, // "期刊"
        ColYear,    // "年份"
        ColDoi,     // "DOI"
        ColumnCount
    };
    // The cells a row's setters write: 0 .. TextColumnCount-1.
    static constexpr int TextColumnCount = ColAuthors;
    enum Role : int {
        KeyRole = Qt::UserRole + 1, // the address list
        TagRole,                    // the referring address
        StateRole,                  // ItemState as int
    };

    explicit DownloadListModel(QObject* parent = nullptr);

    // --- QAbstractItemModel ---
    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

    // --- rows ---
    int count() const { return static_cast<int>(m_rows.size()); }
    bool isValidRow(int row) const { return row >= 0 && row < count(); }
    // The row at a 0-based position; the position must be valid.
    const DownloadItem& item(int row) const { return m_rows.at(row); }
    const QList<DownloadItem>& items() const { return m_rows; }
    // Position of the row with this key, or -1.
    int findKey(const QString& key) const;
    bool containsKey(const QString& key) const { return m_keyRow.contains(key); }

    // Appends a row in state Waiting (key = address, tag = referer); the size,
    // received, percent and "B" cells stay empty. Nothing happens when a row
    // with this key exists already or the address is blank. True when added.
    bool AddDownloadItem(const QString& address, const QString& name, const QString& type,
                         const QString& folder, const QString& referer,
                         const ArticleRecord& record = {});
    // Appends a whole row (for commands that rebuild rows) under a new id.
    // Refused, returning false, when its key is blank or taken.
    bool appendItem(const DownloadItem& item);
    // Appends kept rows as they were, ids included, in one insertion; rows
    // whose key is blank or taken, or whose id is 0 or taken, are left out.
    // Returns how many were added.
    int restoreRows(QList<DownloadItem> rows);

    // Removes every row for which the predicate is true, in one pass; returns how
    // many went. Removing rows never touches their files.
    int removeRowsIf(const std::function<bool(const DownloadItem& item, int row)>& remove);
    void clear();

    // Puts the rows in a new order: new position i holds the row that was at
    // order[i]. order must be a permutation of 0..count()-1, else nothing happens
    // and false is returned. Selections in attached views follow their rows.
    bool reorder(const QList<int>& order);

    // --- cells; each returns true when the row changed ---
    bool setCell(int row, int column, const QString& text); // text columns 0..7
    bool setName(int row, const QString& text) { return setCell(row, ColName, text); }
    bool setType(int row, const QString& text) { return setCell(row, ColType, text); }
    bool setSize(int row, const QString& text) { return setCell(row, ColSize, text); }
    bool setReceived(int row, const QString& text) { return setCell(row, ColReceived, text); }
    bool setPercent(int row, const QString& text) { return setCell(row, ColPercent, text); }
    bool setFolder(int row, const QString& text) { return setCell(row, ColFolder, text); }
    bool setBaseHref(int row, const QString& text) { return setCell(row, ColBaseHref, text); }
    // Size, received and percent at once (one notice for the three cells).
    bool setProgress(int row, const QString& size, const QString& received, const QString& percent);
    // Empties size, received and percent: the row counts as not yet downloaded.
    bool clearProgress(int row) { return setProgress(row, QString(), QString(), QString()); }
    // A new address list. Refused (false) when blank or when another row has it.
    bool setKey(int row, const QString& key);
    // New address lists for several rows at once (row -> key), so that rows can
    // trade keys. Refused as a whole (false) when a row is out of range, a key
    // is blank, or the keys would no longer be unique.
    bool setKeys(const QHash<int, QString>& keys);
    bool setTag(int row, const QString& referer);
    bool setState(int row, ItemState state);
    // Whether the file at the row's path is the one its transfer put there,
    // and its size then (0: not known; a row not placed keeps none).
    bool setPlaced(int row, bool placed, qint64 bytes = 0);
    // Finished rows whose placed file is gone or changed wait again, their
    // cells saying why (see RequeueIfPlacedFileGone). Returns how many.
    int requeueGoneFiles();
    bool setCheck(int row, const QString& text) { return setCell(row, ColCheck, text); }
    // Takes what a later source knows of the row's article (ArticleRecord::fillFrom).
    bool fillRecord(int row, const ArticleRecord& later);
    // Where the row saves when it no longer points at an earlier copy, and
    // whether it is fetched although one stands.
    bool setEarlierCopyFacts(int row, const QString& plannedFolder, bool fetchAnyway);
    // Position of the row with this id, or -1.
    int findId(qint64 id) const;
    // The row's transfer is about to rename the part file at partPath to
    // finalPath. Noted on the row and announced (placingFile) before the
    // caller renames, so that what keeps the list can make it durable first.
    void notePlacing(int row, const QString& finalPath, const QString& partPath);

    // --- derived facts ---
    // Rows whose size, received and percent cells are all empty.
    int 统计未下载项数目() const { return m_notYetDownloaded; }
    // No row is Waiting or Downloading; an empty list is finished.
    bool 检测是否下载列表完毕() const {
        return countInState(ItemState::Waiting) == 0 && countInState(ItemState::Downloading) == 0;
    }
    // Rows of type "html"/"htm" (any letter case) plus the other Failed rows;
    // each row counts once. "xml" does not count.
    int CountErrorRows() const { return m_errorRows; }
    int countInState(ItemState state) const;
    // The first Waiting row at or after from, or -1. Asked again and again from
    // 0 while rows start, it costs about one step per start, not a walk of the
    // rows that ended before.
    int nextWaitingRow(int from = 0) const;
    // "总数:12 正在下载:1 等待:8 已完成:2 失败:1"
    QString totalsText() const;
    // What arrived, for the notice at the end of a run, counted as
    // CountErrorRows counts: web pages (an error or sign-in page kept as htm)
    // apart from documents. "总数:12 已完成:8 网页:2 失败:1 等待:1": 已完成 are
    // the Finished rows that are no web page, 失败 the Failed ones.
    QString arrivalsText() const;

    static bool isWebPageType(const QString& type); // "htm" or "html", any letter case
    static bool isErrorRow(const DownloadItem& item);
    static QString columnTitle(int column);
    // The text a row shows in a column.
    static QString cellText(const DownloadItem& item, int column);
    // The small icon of a state: four pictures told apart by colour and shape.
    QIcon stateIcon(ItemState state) const;

signals:
    // What views are not told precisely: which rows went (by id), that the
    // list was emptied, that the rows took a new order, that a fact no cell
    // shows changed (placed), and that a row is about to place its file.
    void rowsDropped(const QList<qint64>& ids);
    void listCleared();
    void rowsReordered();
    void rowFactsChanged(int row);
    void placingFile(int row);

private:
    // Adds (sign = 1) or takes away (sign = -1) a row's share of the counts.
    void tally(const DownloadItem& item, int sign);
    // Marks key positions from this row on as out of date.
    void reindexFrom(int row);
    void refreshPositions() const;
    static QString& cellRef(DownloadItem& item, int column);
    static const QString& cellRef(const DownloadItem& item, int column);

    QList<DownloadItem> m_rows;
    // key -> position; positions from m_staleFrom on are refreshed lazily.
    mutable QHash<QString, int> m_keyRow;
    mutable int m_staleFrom = std::numeric_limits<int>::max();
    // No row before this position is Waiting.
    mutable int m_waitingFrom = 0;
    // Index 0 counts rows whose state is outside 1..4 (never made by the program).
    std::array<int, 5> m_stateCounts{};
    int m_notYetDownloaded = 0;
    int m_errorRows = 0;
    mutable std::array<QIcon, 5> m_icons;
    qint64 m_nextId = 1;
};
