#pragma once

#include "search/ArticleAnalyser.h"
#include "search/SearchRuns.h"

#include <QObject>
#include <QPointer>
#include <functional>

class fWebSearch;

// The page walk, the analysis runs, automatic analysis and the export of the
// search window: connects its buttons, popup menu, timer and check boxes to
// the runs, and gives the runs what they need of the window.
class SearchWindowRuns : public QObject, public SearchRunHost {
    Q_OBJECT
public:
    explicit SearchWindowRuns(fWebSearch* window);

    ArticleAnalyser& analyser() { return m_analyser; }

    // "分析下载": the popup of the four runs, or a message for an empty list.
    void analyseDownload();
    // "自动分析未分析项" ticked or unticked.
    void autoAnalysisToggled(bool on);
    // "导出数据...".
    void exportTitles();

    // --- SearchRunHost ---
    bool& extractStopped() override;
    bool& analyseStopped() override;
    bool& pageLoading() override;
    Clock& clock() override;
    QString delayText() const override;
    int extractShownPage() override;
    DocumentSnapshot shownDocument() override;
    bool clickElement(int index, const QString& expectedTag) override;
    bool browserBusy() const override;
    void setExtractAllRunning(bool running) override;
    void fitColumns() override;
    ArticleListModel& articles() override;
    void analyseRow(int row) override;
    bool rowSelected(int row) const override;
    bool autoAnalysisEnabled() const override;
    void showProgress(const QString& text) override;
    void hideProgress() override;
    void askSaveFolder() override;
    void showError(const QString& text) override;

    static inline const QString ExtractAllCaption = QStringLiteral("加入全部到列表");
    static inline const QString StopExtractAllCaption = QStringLiteral("停止加入全部");
    static inline const QString EmptyListMessage = QStringLiteral("列表没有数据哦！");

private:
    // Runs a page walk or an analysis run; the window cannot go before it returns.
    void asRun(const std::function<void()>& run);

    fWebSearch* m_window;
    ArticleAnalyser m_analyser;
    // Runs whose loop has not returned yet, stopped or not.
    int m_extractRuns = 0;
    int m_analysisRuns = 0;
};
