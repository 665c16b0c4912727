#pragma once

#include "download/DownloadItem.h"

#include <QList>
#include <QString>
#include <optional>
#include <random>

class DownloadListModel;

// The rules behind the download list's commands, apart from the window so
// that they can be used and checked without one. Rows are 0-based positions.

// --- re-download ---

enum class RedownloadRule {
    Selected,           // "选中项": selected rows that are Finished or Failed
    Failed,             // "出错项"
    WebPages,           // "网页类型文件(HTM/HTML/xml)项"
    FailedOrWebPages,   // "重新下载出错项和网页类型文件项"
    CompleteAndSmaller, // "文件大小小于指定数字的项"
    CheckMarked         // "需检查的PDF项": finished rows whose PDF check found something amiss
};

// Whether the rule puts the row back for download. `selected` is read by the
// Selected rule only, `limit` (bytes) by CompleteAndSmaller only.
bool RedownloadSelects(RedownloadRule rule, const DownloadItem& row, bool selected = false,
                       float limit = 0);
// The web-page command turns the type of every row it takes into "xxx" (xml
// too); the others only htm and html.
bool RedownloadForcesPlaceholderType(RedownloadRule rule);
// The rows the rule selects, in list order; `selected` holds one mark per row
// (missing marks count as unselected).
QList<int> RowsToRedownload(const QList<DownloadItem>& rows, RedownloadRule rule,
                            const QList<bool>& selected = {}, float limit = 0);

// The answer to "请输入数字：" as a size limit: trimmed, thousands commas
// ignored; no value for an empty answer, a cancel or anything not a number.
std::optional<float> ParseSizeLimit(const std::optional<QString>& answer);

// A cell as a number the way the list's commands read it: spaces around it and
// the given characters ignored; no value for text and empty cells.
std::optional<double> CellNumber(const QString& cell, const QString& ignored = QString());

// --- removing rows and their files ---

enum class ClearRule {
    Selected, // "清除" > "选中项"
    Failed,   // "清除" > "全部出错项"
    Finished, // "清除" > "完成项"
    All       // "清空"
};
bool ClearSelects(ClearRule rule, const DownloadItem& row, bool selected = false);

enum class DeleteFileRule {
    WebPages, // "删除文件" > "网页类型文件(HTM/HTML/xml)项": Finished or Failed rows
    Failed    // "删除文件" > "出错项"
};
bool DeleteFileSelects(DeleteFileRule rule, const DownloadItem& row);

// "htm", "html" or "xml" in any letter case.
bool IsWebPageOrXmlType(const QString& type);

// --- order ---

// The order of a header click: new position i holds the row at result[i].
// "文件大小" and "已下载数" order by value, "百分比" by value without its "%";
// there empty cells come first and status texts ("未知", "大文件，跳过") after
// the numbers. Other columns order by text, ignoring letter case. Rows that
// compare equal keep their order.
QList<int> SortedOrder(const QList<DownloadItem>& rows, int column, Qt::SortOrder order);

// The order every header click alternates, one for all columns: each click
// flips it. It starts so that the first click sorts ascending.
class HeaderSortOrder {
public:
    Qt::SortOrder next() {
        m_order = m_order == Qt::DescendingOrder ? Qt::AscendingOrder : Qt::DescendingOrder;
        return m_order;
    }
    Qt::SortOrder current() const { return m_order; }

private:
    Qt::SortOrder m_order = Qt::DescendingOrder;
};

// Random orders of the list: every order of the rows equally likely. The
// generator is seeded once, from the system's entropy source and the time.
class ListShuffler {
public:
    ListShuffler();
    explicit ListShuffler(std::mt19937::result_type seed) : m_random(seed) {}
    // A uniformly random permutation of 0..n-1.
    QList<int> order(int n);

private:
    std::mt19937 m_random;
};

// --- names ---

// One line per row, in list order: the row's name and CR LF (the last line
// too). unfinishedOnly leaves out the Finished rows; the text is empty when
// no row is left.
QString ExportNamesText(const QList<DownloadItem>& rows, bool unfinishedOnly);
// Writes the text as UTF-8 into the file, replacing it only once the whole
// text is written. Returns the reason of a failure, empty on success.
QString WriteTextFile(const QString& path, const QString& text);

// --- files ---

// Largest file the text-editor command opens: 2 MB.
inline constexpr qint64 TextEditorMaxBytes = 2048 * 1024;

// "检查文件是否存在": the percent cell of every row whose file is missing
// becomes "不存在". Returns how many rows were marked.
int MarkMissingFiles(DownloadListModel& list);

// What a double-click does to a row in this state.
enum class DoubleClickAction { Nothing, OpenFile, Requeue };
DoubleClickAction DoubleClickActionFor(ItemState state);

// --- address replacement ---

// Every occurrence of `find` (letter case ignored), left to right, without
// rescanning the inserted text, replaced by `replacement` as given.
QString ReplaceIgnoringCase(const QString& text, const QString& find, const QString& replacement);

struct AddressReplaceResult {
    int changed = 0; // rows whose address list or referer changed
    int kept = 0;    // rows that kept their old values: their new address list
                     // was blank or another row's
};
// Replaces the text in the address list and referer of every row. A row whose
// new address list would be blank or equal to another row's address list
// after the replacement keeps its address list and referer, so keys stay
// unique; every other row is changed.
AddressReplaceResult ReplaceInAddresses(DownloadListModel& list, const QString& find,
                                        const QString& replacement);

// Removes the part a cut transfer of the row kept for a resume (never one a
// live transfer holds): for rows that leave the list or change address.
void ForgetRowPart(const DownloadItem& row);
