#pragma once

#include "platform/DocumentSnapshot.h"

#include <QString>

class ArticleListModel;
class Clock;

// What the page walk and the analysis runs need of the search window. The
// window implements it; tests drive the runs through a stand-in.
class SearchRunHost {
public:
    virtual ~SearchRunHost() = default;

    // The window's run flags.
    virtual bool& extractStopped() = 0;
    virtual bool& analyseStopped() = 0;
    virtual bool& pageLoading() = 0;

    virtual Clock& clock() = 0;
    // The delay box's text.
    virtual QString delayText() const = 0;

    // Extracts the page shown into the article list, with the save folder the
    // extraction commands use; returns the number of rows offered.
    virtual int extractShownPage() = 0;
    // The document the browser shows (not present when it holds none).
    virtual DocumentSnapshot shownDocument() = 0;
    // Clicks an element of the shown document by its snapshot index.
    virtual bool clickElement(int index, const QString& expectedTag) = 0;
    virtual bool browserBusy() const = 0;

    // "加入全部到列表" becomes its stop button (red, browser panel disabled)
    // while running, and returns to its normal look afterwards.
    virtual void setExtractAllRunning(bool running) = 0;
    // Fits the list's columns after an extraction command.
    virtual void fitColumns() = 0;

    // The article list, and the analysis of one of its rows (加入下载列表).
    virtual ArticleListModel& articles() = 0;
    virtual void analyseRow(int row) = 0;
    virtual bool rowSelected(int row) const = 0;
    // Whether the automatic analysis timer is on.
    virtual bool autoAnalysisEnabled() const = 0;
    // The progress panel of an analysis run, with its status text.
    virtual void showProgress(const QString& text) = 0;
    virtual void hideProgress() = 0;
    // Shows the save-folder dialog modally; the answer is in
    // app().SaveFolderCancelled afterwards.
    virtual void askSaveFolder() = 0;
    // Error and information messages of the runs.
    virtual void showError(const QString& text) = 0;
};

// The longest the walk waits for a next page to load, in seconds.
inline constexpr double PageLoadLimitSeconds = 90;

// The delay between two result pages of a page walk; ends early on a stop.
void 限速延时_提取信息(SearchRunHost& host);

// Extracts the page shown, clicks the site's next-page control and, once the
// new page has loaded and the delay has passed, extracts it too. False when
// there is no next page, the walk was stopped, or the page did not load in
// time (the page shown is extracted once more then).
bool 下一页(SearchRunHost& host);

// "加入全部到列表": a toggle. Idle, it walks every result page until there is
// no next page or the user stops it; running, a click only asks it to stop.
void RunExtractAll(SearchRunHost& host);

// The rows an analysis run takes.
enum class AnalysisSelection {
    Unanalysed, // "分析未分析项": state empty
    Failed,     // "分析失败项": state contains "失败"
    Selected,   // "分析选中项": the selected rows
    All,        // "分析全部": every row
};

// One analysis run over the rows of the selection, with the progress panel
// shown; refused with a message while another run is active. Ends by showing
// the download window when it is loaded.
void RunAnalysis(SearchRunHost& host, AnalysisSelection selection);

// The message of an analysis asked for while another runs.
inline const QString AnalysisBusyMessage = QStringLiteral("正在分析，  请稍后再试！");
inline const QString AnalysisProgressText = QStringLiteral("正在分析,请稍候...");
