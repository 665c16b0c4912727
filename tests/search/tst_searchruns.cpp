#include "TestApp.h"
#include "search/ArticleListModel.h"
#include "search/SearchRuns.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

namespace {
// A page of results: its next control (a button or a link), or none.
struct FakePage {
    QString url;
    enum Next { None, Button, Link } next = None;
};

DocumentSnapshot snapshotOf(const FakePage& page) {
    SnapshotBuilder b(page.url);
    b.open({QStringLiteral("HTML")});
    b.open({QStringLiteral("BODY")});
    SnapshotElement input{QStringLiteral("INPUT")};
    input.value = QStringLiteral("search");
    b.add(input);
    if (page.next == FakePage::Button) {
        SnapshotElement next{QStringLiteral("INPUT")};
        next.value = QStringLiteral(" Next >> ");
        b.add(next);
    } else if (page.next == FakePage::Link) {
        SnapshotElement next{QStringLiteral("A")};
        next.text = QStringLiteral("next");
        next.href = page.url + QStringLiteral("?OFFSET=25");
        b.add(next);
    }
    b.close();
    b.close();
    DocumentSnapshot s = b.take();
    s.present = true;
    return s;
}

// The search window as the runs see it: a list of pages the "browser" walks
// through, each load taking loadMs of real time (or never finishing).
class FakeHost : public SearchRunHost {
public:
    bool extractFlag = true;
    bool analyseFlag = true;
    bool loadingFlag = false;
    QString delay = QStringLiteral("0");
    QVector<FakePage> pages;
    int current = 0;
    bool busy = false;
    int loadMs = 10;
    bool neverLoads = false;
    QStringList extracted;    // url of each extraction
    QList<bool> runningLooks; // setExtractAllRunning calls
    int fits = 0;
    ArticleListModel list;
    QSet<int> selected;
    QList<int> analysed;
    std::function<void(int)> onAnalyse;
    bool timerOn = false;
    QStringList progress; // "show:<text>" / "hide"
    int folderQuestions = 0;
    bool cancelFolder = false;
    QStringList errors;
    bool documentPresent = true;
    QObject timers; // page loads still pending end with the host

    bool& extractStopped() override { return extractFlag; }
    bool& analyseStopped() override { return analyseFlag; }
    bool& pageLoading() override { return loadingFlag; }
    Clock& clock() override { return app().clock(); }
    QString delayText() const override { return delay; }
    int extractShownPage() override {
        extracted << pages.value(current).url;
        return 1;
    }
    DocumentSnapshot shownDocument() override {
        if (!documentPresent)
            return {};
        return snapshotOf(pages.value(current));
    }
    bool clickFails = false;
    bool clickElement(int, const QString&) override {
        if (clickFails)
            return false;
        busy = true;
        if (neverLoads)
            return true;
        QTimer::singleShot(loadMs, &timers, [this] {
            ++current;
            busy = false;
            loadingFlag = false;
        });
        return true;
    }
    bool browserBusy() const override { return busy; }
    void setExtractAllRunning(bool running) override { runningLooks << running; }
    void fitColumns() override { ++fits; }
    ArticleListModel& articles() override { return list; }
    void analyseRow(int row) override {
        analysed << row;
        list.setState(row, QStringLiteral("分析完成"));
        if (onAnalyse)
            onAnalyse(row);
    }
    bool rowSelected(int row) const override { return selected.contains(row); }
    bool autoAnalysisEnabled() const override { return timerOn; }
    void showProgress(const QString& text) override { progress << QStringLiteral("show:") + text; }
    void hideProgress() override { progress << QStringLiteral("hide"); }
    void askSaveFolder() override {
        ++folderQuestions;
        app().SaveFolderCancelled = cancelFolder;
    }
    void showError(const QString& text) override { errors << text; }

    void addRows(const QStringList& states) {
        for (int i = 0; i < states.size(); ++i) {
            list.add(QStringLiteral("T%1").arg(i), QStringLiteral("http://h/%1").arg(i),
                     QStringLiteral("http://h/p"), QStringLiteral("pdf"), QString(),
                     QStringLiteral("SD1"));
            list.setState(i, states.at(i));
        }
    }
};
} // namespace

class TestSearchRuns : public QObject {
    Q_OBJECT
private slots:
    // Page 1 has a button, page 2 a link with offset=, page 3 nothing: the
    // first page is extracted once, the middle twice, the last three times.
    void extractAllWalksEveryPage() {
        TestApp t;
        app().PromptSaveFolder = 1;
        FakeHost host;
        host.pages = {{QStringLiteral("p1"), FakePage::Button},
                      {QStringLiteral("p2"), FakePage::Link},
                      {QStringLiteral("p3"), FakePage::None}};
        RunExtractAll(host);
        QCOMPARE(host.extracted, QStringList({"p1", "p2", "p2", "p3", "p3", "p3"}));
        QCOMPARE(host.runningLooks, QList<bool>({true, false}));
        QCOMPARE(host.folderQuestions, 1);
        QVERIFY(host.extractFlag);
        QCOMPARE(host.fits, 1);
    }

    void extractAllWithoutPromptAsksNothing() {
        TestApp t;
        app().PromptSaveFolder = 0;
        FakeHost host;
        host.pages = {{QStringLiteral("last"), FakePage::None}};
        RunExtractAll(host);
        QCOMPARE(host.extracted, QStringList({"last", "last"}));
        QCOMPARE(host.folderQuestions, 0);
    }

    void nextPageWithoutDocument() {
        TestApp t;
        FakeHost host;
        host.documentPresent = false;
        host.pages = {{QStringLiteral("p1"), FakePage::Button}};
        QVERIFY(!下一页(host));
        QCOMPARE(host.extracted.size(), 1);
    }

    // A next control that cannot be clicked ends the walk instead of
    // extracting the same page again and again.
    void unclickableNextEndsWalk() {
        TestApp t;
        app().PromptSaveFolder = 0;
        FakeHost host;
        host.clickFails = true;
        host.pages = {{QStringLiteral("p1"), FakePage::Button}, {QStringLiteral("p2")}};
        RunExtractAll(host);
        QCOMPARE(host.extracted, QStringList({"p1", "p1", "p1"}));
        QVERIFY(!host.loadingFlag);
    }

    // A click while running only asks the run to stop; the walk ends within
    // the page wait, after one more extraction of the page shown.
    void stopWhilePageLoads() {
        TestApp t;
        app().PromptSaveFolder = 0;
        FakeHost host;
        host.neverLoads = true;
        host.pages = {{QStringLiteral("p1"), FakePage::Button}, {QStringLiteral("p2")}};
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(300, &timers, [&] {
            QVERIFY(!host.extractFlag);
            RunExtractAll(host); // the second click
        });
        QElapsedTimer real;
        real.start();
        RunExtractAll(host);
        QVERIFY(real.elapsed() < 5000);
        QCOMPARE(host.extracted, QStringList({"p1", "p1", "p1"}));
        QCOMPARE(host.runningLooks, QList<bool>({true, false}));
        QVERIFY(host.extractFlag);
        QCOMPARE(host.fits, 2);
    }

    // A page that never finishes loading ends the walk after 90 seconds of
    // the program clock, not before.
    void pageWaitEndsAfterNinetySeconds() {
        TestApp t;
        FakeHost host;
        host.extractFlag = false;
        host.neverLoads = true;
        host.pages = {{QStringLiteral("p1"), FakePage::Button}, {QStringLiteral("p2")}};
        bool early = false;
        // The click's one-second wait first, then the page wait.
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(100, &timers, [&] { app().clock().advance(1.5); });
        QTimer::singleShot(300, &timers, [&] { app().clock().advance(80); });
        QTimer::singleShot(500, &timers, [&] { early = host.extracted.size() > 1; });
        QTimer::singleShot(700, &timers, [&] { app().clock().advance(11); });
        QElapsedTimer real;
        real.start();
        QVERIFY(!下一页(host));
        QVERIFY(!early);
        QVERIFY(real.elapsed() < 5000);
        QCOMPARE(host.extracted, QStringList({"p1", "p1"}));
    }

    // The delay between pages is the box's delay, read on the program clock.
    void nextPageWaitsTheDelay() {
        TestApp t;
        FakeHost host;
        host.extractFlag = false;
        host.delay = QStringLiteral("30");
        host.pages = {{QStringLiteral("p1"), FakePage::Button}, {QStringLiteral("p2")}};
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(1500, &timers, [&] { app().clock().advance(31); });
        QElapsedTimer real;
        real.start();
        QVERIFY(下一页(host));
        QVERIFY(real.elapsed() >= 1400);
        QCOMPARE(host.extracted, QStringList({"p1", "p2"}));
    }

    void analysisSelections_data() {
        QTest::addColumn<int>("selection");
        QTest::addColumn<QList<int>>("rows");
        QTest::newRow("unanalysed") << int(AnalysisSelection::Unanalysed) << QList<int>{0, 3};
        QTest::newRow("failed") << int(AnalysisSelection::Failed) << QList<int>{1, 4};
        QTest::newRow("selected") << int(AnalysisSelection::Selected) << QList<int>{2, 4};
        QTest::newRow("all") << int(AnalysisSelection::All) << QList<int>{0, 1, 2, 3, 4};
    }
    void analysisSelections() {
        QFETCH(int, selection);
        QFETCH(QList<int>, rows);
        TestApp t;
        app().PromptSaveFolder = 1;
        FakeHost host;
        host.addRows({QString(), QStringLiteral("分析失败"), QStringLiteral("分析完成"), QString(),
                      QStringLiteral("下载失败")});
        host.selected = {2, 4};
        RunAnalysis(host, AnalysisSelection(selection));
        QCOMPARE(host.analysed, rows);
        QCOMPARE(host.progress,
                 QStringList({QStringLiteral("show:正在分析,请稍候..."), QStringLiteral("hide")}));
        QVERIFY(host.analyseFlag);
        QCOMPARE(host.folderQuestions, 0);
    }

    void saveFolderQuestion_data() {
        QTest::addColumn<int>("selection");
        QTest::addColumn<int>("prompt");
        QTest::addColumn<bool>("timer");
        QTest::addColumn<int>("questions");
        QTest::newRow("unanalysed, prompt on")
            << int(AnalysisSelection::Unanalysed) << 1 << false << 0;
        QTest::newRow("unanalysed, timer on")
            << int(AnalysisSelection::Unanalysed) << 0 << true << 0;
        QTest::newRow("unanalysed, by hand")
            << int(AnalysisSelection::Unanalysed) << 0 << false << 1;
        QTest::newRow("failed, prompt off") << int(AnalysisSelection::Failed) << 0 << true << 1;
        QTest::newRow("all, prompt on") << int(AnalysisSelection::All) << 1 << false << 0;
    }
    void saveFolderQuestion() {
        QFETCH(int, selection);
        QFETCH(int, prompt);
        QFETCH(bool, timer);
        QFETCH(int, questions);
        TestApp t;
        app().PromptSaveFolder = prompt;
        FakeHost host;
        host.timerOn = timer;
        host.addRows({QString(), QStringLiteral("分析失败")});
        RunAnalysis(host, AnalysisSelection(selection));
        QCOMPARE(host.folderQuestions, questions);
    }

    // Cancelling the save-folder question analyses nothing, but the panel
    // still goes and the run ends.
    void cancelledFolderAnalysesNothing() {
        TestApp t;
        app().PromptSaveFolder = 0;
        FakeHost host;
        host.cancelFolder = true;
        host.addRows({QStringLiteral("分析失败")});
        RunAnalysis(host, AnalysisSelection::Failed);
        QVERIFY(host.analysed.isEmpty());
        QCOMPARE(host.progress.last(), QStringLiteral("hide"));
        QVERIFY(host.analyseFlag);
    }

    void emptyListAsksNothing() {
        TestApp t;
        app().PromptSaveFolder = 0;
        FakeHost host;
        RunAnalysis(host, AnalysisSelection::All);
        QCOMPARE(host.folderQuestions, 0);
        QCOMPARE(host.progress.size(), 2);
    }

    // A second run while one is active is refused with a message; a stop ends
    // the run before its next row.
    void secondRunRefusedAndStopEndsRun() {
        TestApp t;
        app().PromptSaveFolder = 1;
        FakeHost host;
        host.addRows({QString(), QString(), QString(), QString()});
        host.onAnalyse = [&](int row) {
            if (row == 0)
                RunAnalysis(host, AnalysisSelection::All);
            if (row == 1)
                host.analyseFlag = true; // "停止"
        };
        RunAnalysis(host, AnalysisSelection::Unanalysed);
        QCOMPARE(host.errors, QStringList({QStringLiteral("正在分析，  请稍后再试！")}));
        QCOMPARE(host.analysed, QList<int>({0, 1}));
        QVERIFY(host.analyseFlag);
    }
};

QTEST_MAIN(TestSearchRuns)
#include "tst_searchruns.moc"
