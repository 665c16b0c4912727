#include "search/SearchRuns.h"

#include "platform/Clock.h"
#include "platform/Wait.h"
#include "search/Analysis.h"
#include "search/ArticleListModel.h"
#include "search/Extraction.h"
#include "search/HandOff.h"
#include "shell/AppValues.h"

#include <cmath>

namespace {
double since(Clock& clock, double start) {
    return std::fabs(clock.now() - start);
}

bool takesRow(SearchRunHost& host, AnalysisSelection selection, int row) {
    const QString& state = host.articles().at(row).state;
    switch (selection) {
    case AnalysisSelection::Unanalysed:
        return ArticleState::isUnanalysed(state);
    case AnalysisSelection::Failed:
        return ArticleState::isFailure(state);
    case AnalysisSelection::Selected:
        return host.rowSelected(row);
    case AnalysisSelection::All:
        return true;
    }
    return false;
}

bool asksSaveFolder(SearchRunHost& host, AnalysisSelection selection) {
    if (app().PromptSaveFolder == 1)
        return false;
    return selection != AnalysisSelection::Unanalysed || !host.autoAnalysisEnabled();
}
} // namespace

void 限速延时_提取信息(SearchRunHost& host) {
    RateLimitDelay(
        host.clock(), [&] { return host.delayText(); }, [&] { return host.extractStopped(); });
}

bool 下一页(SearchRunHost& host) {
    host.extractShownPage();
    const DocumentSnapshot document = host.shownDocument();
    if (!document.present)
        return false;
    const int next = FindNextPageControl(document);
    if (next < 0)
        return false;

    Clock& clock = host.clock();
    const double clicked = clock.now();
    host.pageLoading() = true;
    // A control that could not be clicked (the page changed under the snapshot)
    // would have the walk extract the same page for ever: the walk ends.
    const bool clickedOk = host.clickElement(next, document.at(next).tag);
    if (!clickedOk)
        host.pageLoading() = false;

    bool loaded = false;
    if (clickedOk)
        Wait::until([&] { return host.extractStopped() || since(clock, clicked) >= 1.0; });
    if (clickedOk && !host.extractStopped()) {
        const double waiting = clock.now();
        Wait::processEventsOnce();
        Wait::until([&] {
            return !(host.browserBusy() && host.pageLoading()) || host.extractStopped() ||
                   since(clock, waiting) >= PageLoadLimitSeconds;
        });
        loaded = !(host.browserBusy() && host.pageLoading()) && !host.extractStopped();
    }
    if (!loaded) {
        host.extractShownPage();
        return false;
    }
    限速延时_提取信息(host);
    host.extractShownPage();
    return true;
}

void RunExtractAll(SearchRunHost& host) {
    if (host.extractStopped()) {
        host.setExtractAllRunning(true);
        host.extractStopped() = false;
        if (app().PromptSaveFolder == 1)
            host.askSaveFolder();
        for (;;) {
            Wait::processEventsOnce();
            if (!下一页(host))
                break;
            Wait::processEventsOnce();
            if (host.extractStopped())
                break;
        }
        host.extractShownPage();
        host.setExtractAllRunning(false);
    }
    host.extractStopped() = true;
    host.fitColumns();
}

void RunAnalysis(SearchRunHost& host, AnalysisSelection selection) {
    if (!host.analyseStopped()) {
        host.showError(AnalysisBusyMessage);
        return;
    }
    host.analyseStopped() = false;
    host.showProgress(AnalysisProgressText);
    Wait::processEventsOnce();

    bool proceed = !host.articles().isEmpty();
    if (proceed && asksSaveFolder(host, selection)) {
        host.askSaveFolder();
        proceed = !app().SaveFolderCancelled;
    }
    if (proceed) {
        const int rows = host.articles().size();
        for (int row = 0; row < rows; ++row) {
            Wait::processEventsOnce();
            if (host.analyseStopped())
                break;
            if (row < host.articles().size() && takesRow(host, selection, row))
                host.analyseRow(row);
        }
    }
    host.hideProgress();
    host.analyseStopped() = true;
    显示下载窗口(false);
}
