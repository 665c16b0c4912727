// Closing the search window while a stopped run still waits: the run's loop
// has not returned, so the window (its list, delay box and flags) must still
// be there when the wait ends; the close happens once the run is over.

#include "FixtureServer.h"
#include "RawServer.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "net/HttpGetText.h"
#include "platform/Browser.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {
constexpr int LoadTimeoutMs = 30000;

void registerWindows() {
    WindowFlow& flow = app().flow();
    flow.registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
    for (const QString& name : {WindowNames::Cover, WindowNames::FileDownload}) {
        flow.registerWindow(name, [name] {
            auto* w = new QWidget;
            w->setObjectName(name);
            return w;
        });
    }
}

bool showsPage(const fWebSearch& w, const QString& url) {
    return w.WebBrowser1->address() == url && !w.WebBrowser1->busy();
}

void closeCover() {
    if (QWidget* cover = app().flow().find(WindowNames::Cover))
        cover->close();
    QTest::qWait(0);
}
} // namespace

class TestSearchClose : public QObject {
    Q_OBJECT
private slots:
    // "停止" during an analysis whose intermediate-page request still waits,
    // then the window is closed: the request's answer and the delay after it
    // still find the window; it closes when the run has returned.
    void closeAfterStoppingAnAnalysis() {
        QObject timers; // single shots still pending end with the test
        FixtureServer server;
        TestApp t;
        registerWindows();
        t.values->PromptSaveFolder = 1;
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        w->加入LV1("Waiting article", server.url("/hang"), server.url("/results"), "pdf",
                   t.tempPath(), "SD2");
        w->加入LV1("Next article", server.url("/art/2"), server.url("/results"), "pdf",
                   t.tempPath(), "SD2");
        w->Combo2->setCurrentIndex(3); // the delay box is read after the request

        bool runReturned = false;
        bool goneDuringRun = false;
        connect(w, &QObject::destroyed, this, [&] { goneDuringRun = !runReturned; });
        When stopAndClose([&] { return !server.requestsFor("/hang").isEmpty(); },
                          [&] {
                              QTest::mouseClick(w->Command5, Qt::LeftButton);
                              w->close();
                              // The page answers only after the close was handled.
                              QTimer::singleShot(100, &timers, [&] { server.releaseStalls(); });
                          });
        w->menu全部加入->trigger();
        runReturned = true;
        QVERIFY(stopAndClose.done());
        QVERIFY(!goneDuringRun);
        QVERIFY(w);
        // The stopped run ended without taking the next row; nobody was told
        // to stop first (the run had been stopped already).
        QCOMPARE(w->articles()->at(0).state, QStringLiteral("分析失败"));
        QCOMPARE(w->articles()->at(1).state, QString());
        QVERIFY(server.requestsFor("/art/2").isEmpty());
        QVERIFY(t.dialogs->errors.isEmpty());
        // Then the close asked for goes through.
        QTRY_VERIFY(w.isNull());
        closeCover();
    }

    // "停止" while the intermediate-page request of a row gets no answer at
    // all, then the window is closed: closing aborts the request, so the
    // window goes at once instead of when the request's 60 seconds run out.
    // The program clock never moves here, so the limit cannot have ended it.
    void closeAbortsTheWaitingPageRequest() {
        RawServer raw;
        raw.add("/never", QByteArray(), RawServer::End::Hold);
        TestApp t;
        registerWindows();
        t.values->PromptSaveFolder = 1;
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        w->加入LV1("Silent article", raw.url("/never"), raw.url("/results"), "pdf", t.tempPath(),
                   "SD2");
        w->加入LV1("Next article", raw.url("/art/2"), raw.url("/results"), "pdf", t.tempPath(),
                   "SD2");
        w->Combo2->setCurrentIndex(30); // a stopped run does not wait the delay either
        QVERIFY(app().clock().offset() == 0);

        bool runReturned = false;
        bool goneDuringRun = false;
        connect(w, &QObject::destroyed, this, [&] { goneDuringRun = !runReturned; });
        bool closeAccepted = true;
        When stopAndClose([&] { return raw.heldOpen() == 1; },
                          [&] {
                              QTest::mouseClick(w->Command5, Qt::LeftButton);
                              closeAccepted = w->close();
                          });
        const qint64 before = app().clock().monotonicMs();
        w->menu全部加入->trigger();
        runReturned = true;
        // The run returned before the request's limit could have ended it.
        QVERIFY(app().clock().monotonicMs() - before < qint64(1000 * HttpGetTextTimeoutSeconds));
        QVERIFY(stopAndClose.done());
        // Put off while the run was on the stack, then carried out.
        QVERIFY(!closeAccepted);
        QVERIFY(!goneDuringRun);
        QVERIFY(w);
        QCOMPARE(w->articles()->at(0).state, QStringLiteral("分析失败"));
        QTRY_VERIFY(w.isNull());
        // The request was aborted, not answered or timed out.
        QTRY_COMPARE(raw.heldOpen(), 0);
        QCOMPARE(raw.requests("/never"), 1);
        QCOMPARE(raw.requests("/art/2"), 0);
        QVERIFY(app().clock().offset() == 0);
        QVERIFY(t.dialogs->errors.isEmpty());
        raw.release();
        closeCover();
    }

    // "停止加入全部" while the next result page is still loading, then the
    // window is closed: the walk extracts the page shown once more with the
    // window still there, and the window closes afterwards.
    void closeAfterStoppingAPageWalk() {
        FixtureServer server;
        server.addPage("/results/1",
                       "<html><body><div class=\"result-item-content\"><h2><a href=\"/art/1\">"
                       "Alpha</a></h2><a class=\"download-link\" href=\"/art/1\">PDF</a>"
                       "</div><a href=\"/hang?offset=25\">next</a></body></html>");
        TestApp t;
        registerWindows();
        // The walk asks for no save folder.
        t.settings().write(SettingsKeys::SectionSettings, SettingsKeys::PromptSaveFolder, 0);
        t.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::Web1Url,
                           server.url("/results/1"));
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(*w, server.url("/results/1")), LoadTimeoutMs);
        w->Combo2->setCurrentIndex(0);

        bool runReturned = false;
        bool goneDuringRun = false;
        connect(w, &QObject::destroyed, this, [&] { goneDuringRun = !runReturned; });
        When stopAndClose([&] { return !server.requestsFor("/hang").isEmpty(); },
                          [&] {
                              QCOMPARE(w->Command4->text(), QStringLiteral("停止加入全部"));
                              QTest::mouseClick(w->Command4, Qt::LeftButton);
                              w->close();
                          });
        QTest::mouseClick(w->Command4, Qt::LeftButton);
        runReturned = true;
        QVERIFY(stopAndClose.done());
        QVERIFY(!goneDuringRun);
        QVERIFY(w);
        QVERIFY(w->ExtractStopped);
        QCOMPARE(w->Command4->text(), QStringLiteral("加入全部到列表"));
        QCOMPARE(w->articles()->size(), 1);
        QVERIFY(t.dialogs->errors.isEmpty());
        QTRY_VERIFY(w.isNull());
        server.releaseStalls();
        closeCover();
    }

    // After "停止" the run still finishes its row: until its loop returns, a
    // second analysis is refused and nothing more is requested.
    void secondAnalysisRefusedUntilTheStoppedOneReturns() {
        FixtureServer server;
        TestApp t;
        registerWindows();
        t.values->PromptSaveFolder = 1;
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        w->加入LV1("Waiting article", server.url("/hang"), server.url("/results"), "pdf",
                   t.tempPath(), "SD2");
        w->加入LV1("Next article", server.url("/art/2"), server.url("/results"), "pdf",
                   t.tempPath(), "SD2");
        w->Combo2->setCurrentIndex(0);
        When stopAndRestart([&] { return !server.requestsFor("/hang").isEmpty(); },
                            [&] {
                                QTest::mouseClick(w->Command5, Qt::LeftButton);
                                w->menu分析未分析项->trigger();
                                server.releaseStalls();
                            });
        w->menu全部加入->trigger();
        QVERIFY(stopAndRestart.done());
        QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral("正在分析，  请稍后再试！")});
        QCOMPARE(server.requestsFor("/hang").size(), 1);
        QVERIFY(server.requestsFor("/art/2").isEmpty());
        QCOMPARE(w->articles()->at(1).state, QString());
        QVERIFY(w->AnalyseStopped);
        QVERIFY(w->close());
        QTRY_VERIFY(w.isNull());
        closeCover();
    }

    // A close while the run is still going (not stopped) is refused as before.
    void closeRefusedWhileTheRunGoesOn() {
        FixtureServer server;
        TestApp t;
        registerWindows();
        t.values->PromptSaveFolder = 1;
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        w->加入LV1("Waiting article", server.url("/hang"), server.url("/results"), "pdf",
                   t.tempPath(), "SD2");
        w->Combo2->setCurrentIndex(0);
        bool closed = true;
        When tryClose([&] { return !server.requestsFor("/hang").isEmpty(); },
                      [&] {
                          closed = w->close();
                          server.releaseStalls();
                      });
        w->menu全部加入->trigger();
        QVERIFY(tryClose.done());
        QVERIFY(!closed);
        QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral("正在工作，停止以后才能退出！")});
        QTest::qWait(50);
        QVERIFY(w);
        QVERIFY(w->close());
        QTRY_VERIFY(w.isNull());
        closeCover();
    }
};

QTEST_MAIN(TestSearchClose)
#include "tst_searchclose.moc"
