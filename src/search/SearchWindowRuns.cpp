#include "search/SearchWindowRuns.h"

#include "platform/Browser.h"
#include "search/ArticleListModel.h"
#include "search/HandOff.h"
#include "search/fWebSearch.h"
#include "shell/AppValues.h"
#include "shell/WindowRoutines.h"
#include "shell/fSeleFileSavePath.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeView>

SearchWindowRuns::SearchWindowRuns(fWebSearch* window)
    : QObject(window), m_window(window),
      // The hooks are read after waits; a window that went meanwhile reads as
      // "stopped" with no delay, so the row ends at once.
      m_analyser(*window->articles(), app().transport(),
                 {[w = QPointer<fWebSearch>(window)] { return w && w->Check4->isChecked(); },
                  [w = QPointer<fWebSearch>(window)] {
                      return w ? w->Combo2->currentText() : QStringLiteral("0");
                  },
                  [w = QPointer<fWebSearch>(window)] { return !w || w->AnalyseStopped; },
                  [w = QPointer<fWebSearch>(window)] { return !w || w->closeRequested(); }}) {
    setObjectName(QStringLiteral("SearchWindowRuns"));
    fWebSearch* w = m_window;
    connect(w->Command4, &QPushButton::clicked, this, [this] {
        // While a walk is still on the stack, stopped or not, the button is its
        // stop button: a click never starts a second walk inside the first.
        if (m_extractRuns > 0) {
            extractStopped() = true;
            fitColumns();
            return;
        }
        ++m_extractRuns;
        asRun([this] { RunExtractAll(*this); });
        --m_extractRuns;
    });
    connect(w->Command2, &QPushButton::clicked, this, &SearchWindowRuns::analyseDownload);
    connect(w->Command7, &QPushButton::clicked, this, &SearchWindowRuns::exportTitles);
    connect(w->Check3, &QCheckBox::toggled, this, &SearchWindowRuns::autoAnalysisToggled);
    const auto analysis = [this](AnalysisSelection selection) {
        return [this, selection] {
            // A stopped run still finishing its row is still a run.
            if (m_analysisRuns > 0) {
                showError(AnalysisBusyMessage);
                return;
            }
            ++m_analysisRuns;
            asRun([this, selection] { RunAnalysis(*this, selection); });
            --m_analysisRuns;
        };
    };
    connect(w->Timer1, &QTimer::timeout, this, analysis(AnalysisSelection::Unanalysed));
    connect(w->menu分析未分析项, &QAction::triggered, this,
            analysis(AnalysisSelection::Unanalysed));
    connect(w->menu加入分析失败项, &QAction::triggered, this, analysis(AnalysisSelection::Failed));
    connect(w->menu选中加入, &QAction::triggered, this, analysis(AnalysisSelection::Selected));
    connect(w->menu全部加入, &QAction::triggered, this, analysis(AnalysisSelection::All));
}

void SearchWindowRuns::asRun(const std::function<void()>& run) {
    // A stopped run still finishes the step it is in (a page request, a page
    // load) before its loop returns; until then the window, its list and its
    // controls must stay, so a close asked for meanwhile waits for the loop.
    const fWebSearch::WaitScope running(m_window);
    run();
}

void SearchWindowRuns::analyseDownload() {
    QPointer<QPushButton> button = m_window->Command2;
    button->setEnabled(false);
    if (m_window->articles()->isEmpty())
        app().dialogs().information(m_window, EmptyListMessage);
    else
        m_window->menu加入->exec(QCursor::pos());
    if (button)
        button->setEnabled(true);
}

void SearchWindowRuns::autoAnalysisToggled(bool on) {
    QTimer* timer = m_window->Timer1;
    if (!on) {
        timer->stop();
        return;
    }
    if (app().PromptSaveFolder != 1) {
        askSaveFolder();
        if (app().SaveFolderCancelled) {
            timer->stop();
            const QSignalBlocker quiet(m_window->Check3);
            m_window->Check3->setChecked(false);
            return;
        }
    }
    timer->start();
}

void SearchWindowRuns::exportTitles() {
    const ArticleListModel& list = *m_window->articles();
    if (list.isEmpty())
        return;
    // The dialog adds ".txt" itself, so its question about replacing a file
    // covers the file written here.
    const QString path = app().dialogs().saveFile(
        m_window, QString(), QString(), QStringLiteral("*.txt (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    QStringList titles;
    titles.reserve(list.size());
    for (const ArticleEntry& row : list.rows())
        titles << row.title;
    const qint64 size = ExportTitles(titles, path);
    if (size >= 0)
        app().dialogs().information(m_window, ExportDoneMessage(size));
}

bool& SearchWindowRuns::extractStopped() {
    return m_window->ExtractStopped;
}

bool& SearchWindowRuns::analyseStopped() {
    return m_window->AnalyseStopped;
}

bool& SearchWindowRuns::pageLoading() {
    return m_window->PageLoading;
}

Clock& SearchWindowRuns::clock() {
    return app().clock();
}

QString SearchWindowRuns::delayText() const {
    return m_window->Combo2->currentText();
}

int SearchWindowRuns::extractShownPage() {
    return m_window->ExtractResultPage(m_window->extractionSaveFolder());
}

DocumentSnapshot SearchWindowRuns::shownDocument() {
    return m_window->WebBrowser1->snapshot();
}

bool SearchWindowRuns::clickElement(int index, const QString& expectedTag) {
    return m_window->WebBrowser1->click(index, expectedTag);
}

bool SearchWindowRuns::browserBusy() const {
    return m_window->WebBrowser1->busy();
}

void SearchWindowRuns::setExtractAllRunning(bool running) {
    QPushButton* button = m_window->Command4;
    button->setText(running ? StopExtractAllCaption : ExtractAllCaption);
    // Red while the walk runs; the window's own colour afterwards.
    button->setStyleSheet(running ? QStringLiteral("background-color: rgb(255, 0, 0);")
                                  : QString());
    m_window->PicPanWeb->setEnabled(!running);
}

void SearchWindowRuns::fitColumns() {
    AutoSizeColumns(m_window->ListView1, -2);
}

ArticleListModel& SearchWindowRuns::articles() {
    return *m_window->articles();
}

void SearchWindowRuns::analyseRow(int row) {
    m_analyser.加入下载列表(row);
}

bool SearchWindowRuns::rowSelected(int row) const {
    const QItemSelectionModel* selection = m_window->ListView1->selectionModel();
    return selection && selection->isRowSelected(row, QModelIndex());
}

bool SearchWindowRuns::autoAnalysisEnabled() const {
    return m_window->Timer1->isActive();
}

void SearchWindowRuns::showProgress(const QString& text) {
    m_window->Label11->setText(text);
    m_window->PicPanPrograss->show();
    m_window->PicPanPrograss->raise();
}

void SearchWindowRuns::hideProgress() {
    m_window->PicPanPrograss->hide();
}

void SearchWindowRuns::askSaveFolder() {
    fSeleFileSavePath::ask(m_window);
}

void SearchWindowRuns::showError(const QString& text) {
    app().dialogs().error(m_window, text);
}
