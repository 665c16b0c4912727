// The run as a site with limits sees it: the next row starts as soon as the
// previous one ends (no tick needed), and a site that asks the client to wait
// gets its pause, with nothing saved and nothing counted against the run.

#include "FixtureServer.h"
#include "SchedulerFixture.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "net/SiteAnswer.h"
#include "net/SitePacing.h"

#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace {
// A publisher's refusal for an article the reader has no access to: analytics
// code, no form. It is an ordinary web page, not a check for a person.
const QByteArray AccessDenied =
    "<!DOCTYPE html><html><head><title>Access Denied</title>"
    "<script async src=\"/gtag/js?id=G-TEST\"></script>"
    "<script>window.dataLayer = window.dataLayer || []; dataLayer.push({page: 'denied'});"
    "</script></head><body><h1>Access Denied</h1>"
    "<p>You don't have permission to access this article on this server.</p></body></html>";
} // namespace

class TestSiteWaits : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;
    int m_tag = 0;

    // Every test asks its own addresses: the site counts answers per address.
    QString tag() { return QStringLiteral("t=%1").arg(++m_tag); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }
    bool paused() const { return s->sitePauseRemaining() > 0; }
    void setMode(int mode) {
        app().DownloadMode = mode;
        s->options.workerCount = 1;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
        FixturePage denied;
        denied.status = 403;
        denied.body = AccessDenied;
        server->addPage(QStringLiteral("/denied/paper.pdf"), denied);
    }
    void init() {
        cleanup();
        setUpRun();
        server->clearRequests();
    }
    void cleanup() {
        if (server)
            server->releaseStalls();
        tearDownRun();
    }
    // Every text the status bar's panel 2 was given, in order.
    static QStringList texts(const QSignalSpy& spy, qsizetype from = 0) {
        QStringList out;
        for (qsizetype k = from; k < spy.size(); ++k)
            out << spy.at(k).first().toString();
        return out;
    }

    // ---------------------------------------------------------- start at once

    // Six files with one worker: "开始下载" starts the first, and each end
    // starts the next, without a single tick.
    void rowsStartOneAfterAnother_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void rowsStartOneAfterAnother() {
        QFETCH(int, mode);
        setMode(mode);
        for (int k = 0; k < 6; ++k)
            QVERIFY(model->AddDownloadItem(server->url(QStringLiteral("/gen/%1").arg(3000 + k)),
                                           QStringLiteral("f%1").arg(k), "pdf", folder(), {}));
        int mostAtOnce = 0;
        connect(model.get(), &DownloadListModel::dataChanged, this, [&] {
            int running = 0;
            for (int i = 0; i < model->count(); ++i)
                running += row(i).state == ItemState::Downloading;
            mostAtOnce = qMax(mostAtOnce, running);
        });
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(5).state == ItemState::Finished, 20000);
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(row(k).state, ItemState::Finished);
            QCOMPARE(readAll(folder() + QStringLiteral("f%1.pdf").arg(k)),
                     FixtureServer::generatedContent(3000 + k));
        }
        QCOMPARE(mostAtOnce, 1);
        // In list order.
        const QList<FixtureRequest> log = server->requests();
        QCOMPARE(log.size(), 6);
        for (int k = 0; k < 6; ++k)
            QCOMPARE(log.at(k).path, QStringLiteral("/gen/%1").arg(3000 + k));
    }

    // The user's pause between two files still holds, on the program clock.
    void startWaitsForThePause() {
        setMode(2);
        s->options.pauseSeconds = 30;
        for (int k = 0; k < 2; ++k)
            QVERIFY(model->AddDownloadItem(server->url(QStringLiteral("/gen/%1").arg(500 + k)),
                                           QStringLiteral("p%1").arg(k), "pdf", folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(row(1).state, ItemState::Waiting);
        app().clock().advance(29);
        QCOMPARE(s->CountWorkers(), 1);
        QCOMPARE(row(1).state, ItemState::Waiting);
        app().clock().advance(2);
        QTRY_VERIFY_WITH_TIMEOUT(row(1).state == ItemState::Finished, 20000);
    }

    // ---------------------------------------------------------- the site asks to wait

    void pleaseWait_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("retryAfter"); // "date:<s>" a date s seconds ahead
        QTest::addColumn<QString>("body");
        QTest::addColumn<double>("pause");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, 429, seconds, text", mode) << mode << 429 << "30"
                                                               << "text" << 30.0;
            QTest::addRow("mode %d, 429, seconds, html", mode) << mode << 429 << "30"
                                                               << "html" << 30.0;
            QTest::addRow("mode %d, 429, date, html", mode) << mode << 429 << "date:40"
                                                            << "html" << 40.0;
            QTest::addRow("mode %d, 429, none", mode) << mode << 429 << ""
                                                      << "text" << SitePacing::FirstPauseSeconds;
            QTest::addRow("mode %d, 503, seconds, html", mode) << mode << 503 << "20"
                                                               << "html" << 20.0;
            QTest::addRow("mode %d, 503, none, text", mode)
                << mode << 503 << ""
                << "text" << SitePacing::FirstPauseSeconds;
        }
    }
    void pleaseWait() {
        QFETCH(int, mode);
        QFETCH(int, status);
        QFETCH(QString, retryAfter);
        QFETCH(QString, body);
        QFETCH(double, pause);
        setMode(mode);
        if (retryAfter.startsWith("date:")) {
            // An HTTP date has no fraction of a second: moved to the start of a
            // second, the clock loses none to it, and the countdown below
            // shows whole seconds from the time asked.
            app().clock().advance((1000 - HttpNow(app().clock()).time().msec()) / 1000.0);
            const QDateTime when =
                HttpNow(app().clock()).addSecs(retryAfter.mid(5).toInt()).toUTC();
            retryAfter = QLocale::c().toString(when, "ddd, dd MMM yyyy HH:mm:ss 'GMT'");
        }
        const QString path = QStringLiteral("/busy/%1/1").arg(status);
        QString query = tag() + "&body=" + body;
        if (!retryAfter.isEmpty())
            query += "&ra=" + QString::fromLatin1(QUrl::toPercentEncoding(retryAfter));
        QVERIFY(
            model->AddDownloadItem(server->url(path + "?" + query), "paper", "pdf", folder(), {}));
        QSignalSpy activity(s.get(), &Scheduler::activityText);

        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        // Not before the time asked, however often the tick comes (a short
        // pause is checked at once, while most of it is still to run).
        const double early = pause > 3 ? pause - 3 : pause / 4;
        app().clock().advance(early);
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(s->CountWorkers(), 1);
        QCOMPARE(server->requestsFor(path).size(), 1);
        if (pause > 3)
            QCOMPARE(activity.last().first().toString(), QStringLiteral("站点要求暂停：3秒"));
        QCOMPARE(model->CountErrorRows(), 0);
        // A date counts from the moment it was made: at most a second is gone.
        QVERIFY2(s->sitePauseRemaining() <= pause - early &&
                     s->sitePauseRemaining() > pause - early - 2,
                 qPrintable(QString::number(s->sitePauseRemaining())));
        QTRY_VERIFY(files().isEmpty());
        bool counted = false;
        for (const QList<QVariant>& a : activity)
            counted = counted || a.first().toString().startsWith(QStringLiteral("站点要求暂停："));
        QVERIFY(counted);

        app().clock().advance(pause - early + 1);
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(row(0).type, QStringLiteral("pdf"));
        QCOMPARE(readAll(folder() + "paper.pdf"), FixtureServer::generatedContent(4096));
        QCOMPARE(files(), QStringList{"paper.pdf"});
        QCOMPARE(server->requestsFor(path).size(), 2);
        QCOMPARE(model->CountErrorRows(), 0);
    }

    // "停止下载" ends the pause; the row waits for the next run.
    void stopDuringThePause_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void stopDuringThePause() {
        QFETCH(int, mode);
        setMode(mode);
        const QString path = QStringLiteral("/busy/429/1");
        QVERIFY(model->AddDownloadItem(server->url(path + "?ra=600&" + tag()), "paper", "pdf",
                                       folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        s->stopDownload();
        QVERIFY(!paused());
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(row(0).state, ItemState::Waiting);
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(server->requestsFor(path).size(), 2);
    }

    // Asked again within the run, the pause doubles.
    void repeatedRequestDoubles_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void repeatedRequestDoubles() {
        QFETCH(int, mode);
        setMode(mode);
        const QString path = QStringLiteral("/busy/429/2");
        QVERIFY(model->AddDownloadItem(server->url(path + "?ra=10&" + tag()), "paper", "pdf",
                                       folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        QVERIFY(s->sitePauseRemaining() <= 10);
        app().clock().advance(11);
        QTRY_VERIFY_WITH_TIMEOUT(server->requestsFor(path).size() == 2 && paused(), 20000);
        QVERIFY(s->sitePauseRemaining() > 18 && s->sitePauseRemaining() <= 20);
        app().clock().advance(18);
        s->schedulerTick();
        QCOMPARE(server->requestsFor(path).size(), 2);
        app().clock().advance(3);
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(model->CountErrorRows(), 0);
    }

    // "Retry-After: 0" (or a date gone by) on every answer: the run does not
    // ask again at once, again and again; it waits a second, then two, then four.
    void zeroRetryAfterDoubles_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("retryAfter");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, 0", mode) << mode << "0";
            QTest::addRow("mode %d, a date gone by", mode)
                << mode << "Sun, 01 Mar 2020 12:00:00 GMT";
        }
    }
    void zeroRetryAfterDoubles() {
        QFETCH(int, mode);
        QFETCH(QString, retryAfter);
        setMode(mode);
        const QString path = QStringLiteral("/busy/503/3");
        QVERIFY(model->AddDownloadItem(
            server->url(path + "?ra=" + QString::fromLatin1(QUrl::toPercentEncoding(retryAfter)) +
                        "&" + tag()),
            "paper", "pdf", folder(), {}));
        s->startDownload();
        for (int k = 1; k <= 3; ++k) {
            const double pause = double(1 << (k - 1)); // 1, 2, 4
            QTRY_VERIFY_WITH_TIMEOUT(server->requestsFor(path).size() == k && paused(), 20000);
            QVERIFY2(s->sitePauseRemaining() > pause - 1 && s->sitePauseRemaining() <= pause,
                     qPrintable(QString::number(s->sitePauseRemaining())));
            // Not a request more before the pause is over, tick as it may.
            s->schedulerTick();
            QCOMPARE(server->requestsFor(path).size(), k);
            QCOMPARE(row(0).state, ItemState::Waiting);
            app().clock().advance(pause);
        }
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(server->requestsFor(path).size(), 4);
        QCOMPARE(readAll(folder() + "paper.pdf"), FixtureServer::generatedContent(4096));
        QCOMPARE(model->CountErrorRows(), 0);
    }

    // The pause ends on the time asked, not at the next tick of its countdown.
    void pauseEndsOnTheTime_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void pauseEndsOnTheTime() {
        QFETCH(int, mode);
        setMode(mode);
        const QString path = QStringLiteral("/busy/429/1");
        QVERIFY(model->AddDownloadItem(server->url(path + "?ra=30&" + tag()), "paper", "pdf",
                                       folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        auto* end = s->findChild<QTimer*>(QStringLiteral("sitePauseEnd"));
        QVERIFY(end);
        QVERIFY(end->isActive() && end->isSingleShot());
        QVERIFY(end->remainingTime() <= 30000);
        // A fraction of a second before the end: the timer waits out that
        // fraction, not the countdown's next second.
        app().clock().advance(29.75);
        QVERIFY(end->isActive());
        QVERIFY2(end->remainingTime() <= 250, qPrintable(QString::number(end->remainingTime())));
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(server->requestsFor(path).size(), 2);
        QVERIFY(!end->isActive());
    }

    // ---------------------------------------------------------- a run nobody watches

    // An "Access denied" page among PDFs holds nothing: the PDFs arrive, the
    // page is an ordinary web page that counts toward the auto stop's five.
    void accessDeniedAmongPdfs_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("workers");
        QTest::newRow("mode one") << 1 << 1;
        QTest::newRow("mode two, one worker") << 2 << 1;
        QTest::newRow("mode two, three workers") << 2 << 3;
    }
    void accessDeniedAmongPdfs() {
        QFETCH(int, mode);
        QFETCH(int, workers);
        setMode(mode);
        s->options.workerCount = workers;
        s->options.autoStop = true;
        QVERIFY(model->AddDownloadItem(server->url("/gen/1500?" + tag()), "first", "pdf", folder(),
                                       {}));
        QVERIFY(model->AddDownloadItem(server->url("/denied/paper.pdf"), "denied", "pdf", folder(),
                                       {}));
        for (int k = 0; k < 3; ++k)
            QVERIFY(model->AddDownloadItem(server->url(QStringLiteral("/gen/%1").arg(1600 + k)),
                                           QStringLiteral("after%1").arg(k), "pdf", folder(), {}));
        QSignalSpy shown(s.get(), &Scheduler::robotCheckShown);
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(model->检测是否下载列表完毕(), 20000);
        QCOMPARE(shown.size(), 0);
        QVERIFY(!s->waitingForRobotCheck());
        QVERIFY(!paused());
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(folder() + "first.pdf"), FixtureServer::generatedContent(1500));
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(row(2 + k).state, ItemState::Finished);
            QCOMPARE(readAll(folder() + QStringLiteral("after%1.pdf").arg(k)),
                     FixtureServer::generatedContent(1600 + k));
        }
        QCOMPARE(row(1).type, QStringLiteral("htm"));
        QCOMPARE(readAll(folder() + "denied.htm"), AccessDenied);
        QCOMPARE(model->CountErrorRows(), 1);
        QVERIFY(t->notices->notices.isEmpty());
        // The run's end is told on the desktop.
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(t->notices->summaries(), QStringList{Scheduler::RunEndedText});
        // The automatic re-download turns the timer on over the finished list
        // each tick; with nothing fetched, that is no news.
        s->options.autoRedownload = true;
        for (int k = 0; k < 4; ++k)
            s->housekeepingTick();
        QCOMPARE(t->notices->notices.size(), 1);
    }

    // A real check nobody passes: the run stops at the limit on the program
    // clock, the way the auto stop stops it: rows still waiting, nothing
    // counted, the reason in the status bar and on the desktop. A check page
    // that changes by itself (each change lets the row try again) does not
    // start the limit afresh.
    void checkLeftAloneStopsTheRun_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("minutes"); // the setting; 0: the default
        QTest::addColumn<bool>("pageChanges");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, default limit", mode) << mode << 0 << false;
            QTest::addRow("mode %d, 3 minutes", mode) << mode << 3 << false;
            QTest::addRow("mode %d, the check page changes", mode) << mode << 0 << true;
        }
    }
    void checkLeftAloneStopsTheRun() {
        QFETCH(int, mode);
        QFETCH(int, minutes);
        QFETCH(bool, pageChanges);
        setMode(mode);
        if (minutes > 0)
            app().RobotCheckWaitMinutes = minutes;
        const int limit = minutes > 0 ? minutes : 10;
        QCOMPARE(app().RobotCheckWaitMinutes, limit);
        s->options.autoStart = true;
        s->options.autoRedownload = true;
        s->options.sound = true;
        const QString checkPath = QStringLiteral("/check/left%1-%2.pdf").arg(mode).arg(++m_tag);
        QVERIFY(model->AddDownloadItem(server->url("/gen/1200?" + tag()), "first", "pdf", folder(),
                                       {}));
        QVERIFY(model->AddDownloadItem(server->url(checkPath), "checked", "pdf", folder(), {}));
        QVERIFY(
            model->AddDownloadItem(server->url("/gen/1300?" + tag()), "last", "pdf", folder(), {}));
        QSignalSpy activity(s.get(), &Scheduler::activityText);
        QSignalSpy timedOut(s.get(), &Scheduler::robotCheckTimedOut);
        QSignalSpy sounds(s.get(), &Scheduler::playSound);
        QSignalSpy attention(s.get(), &Scheduler::attentionWanted);

        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(s->waitingForRobotCheck(), 20000);
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(t->notices->notices,
                 QStringList{Scheduler::RobotCheckText + QStringLiteral("|checked")});
        QCOMPARE(attention.size(), 1);
        QCOMPARE(texts(activity).last(), Scheduler::RobotCheckText);

        if (pageChanges) {
            // Each change lets the row try again, and it meets the check again.
            for (int k = 0; k < 3; ++k) {
                app().clock().advance(limit * 60 / 4.0);
                const qsizetype before = server->requestsFor(checkPath).size();
                s->robotCheckPassed();
                QTRY_VERIFY_WITH_TIMEOUT(server->requestsFor(checkPath).size() == before + 1 &&
                                             s->waitingForRobotCheck(),
                                         20000);
            }
            // Told once for the whole series.
            QCOMPARE(t->notices->notices.size(), 1);
            app().clock().advance(limit * 60 / 4.0 - 1);
        } else {
            app().clock().advance(limit * 60 - 1);
        }
        // A second before the limit: still waiting, nothing else has started.
        s->housekeepingTick();
        s->schedulerTick();
        QVERIFY(s->waitingForRobotCheck());
        QVERIFY(s->timerDownEnabled());
        QCOMPARE(row(2).state, ItemState::Waiting);
        QCOMPARE(timedOut.size(), 0);

        app().clock().advance(2);
        QTRY_COMPARE(timedOut.size(), 1);
        QVERIFY(!s->timerDownEnabled());
        QVERIFY(!s->waitingForRobotCheck());
        QVERIFY(s->stoppedOnRobotCheck());
        QCOMPARE(row(1).state, ItemState::Waiting);
        QCOMPARE(row(2).state, ItemState::Waiting);
        QCOMPARE(model->CountErrorRows(), 0);
        QCOMPARE(texts(activity).last(), Scheduler::RobotCheckTimeoutText);
        QCOMPARE(t->notices->summaries().last(), Scheduler::RobotCheckTimeoutText);
        QCOMPARE(attention.size(), 2);
        bool ended = false;
        for (const QList<QVariant>& a : sounds)
            ended = ended || a.first().toInt() == 102;
        QVERIFY(ended);
        QVERIFY(!QFile::exists(folder() + "checked.pdf"));
        QVERIFY(!QFile::exists(folder() + "last.pdf"));

        // Neither auto start nor the automatic re-download brings the check back.
        const qsizetype asked = server->requestsFor(checkPath).size();
        s->housekeepingTick();
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(server->requestsFor(checkPath).size(), asked);
        QCOMPARE(row(2).state, ItemState::Waiting);

        // The user's own start is a new run with a new limit.
        s->startDownload();
        QVERIFY(!s->stoppedOnRobotCheck());
        QTRY_VERIFY_WITH_TIMEOUT(
            server->requestsFor(checkPath).size() == asked + 1 && s->waitingForRobotCheck(), 20000);
        app().clock().advance(limit * 60 - 5);
        QVERIFY(s->waitingForRobotCheck());
        s->stopDownload();
        QVERIFY(!s->waitingForRobotCheck());
    }

    // In mode two the other workers finish while the run is held: the status
    // bar keeps saying why it holds instead of "完成下载:…".
    void reasonStaysWhileOthersFinish_data() {
        QTest::addColumn<QString>("held"); // "check" or "pause"
        QTest::newRow("robot check") << "check";
        QTest::newRow("site's pause") << "pause";
    }
    void reasonStaysWhileOthersFinish() {
        QFETCH(QString, held);
        setMode(2);
        s->options.workerCount = 3;
        for (int k = 0; k < 2; ++k)
            QVERIFY(model->AddDownloadItem(
                server->url(QStringLiteral("/stall/1000/%1?").arg(5000 + k) + tag()),
                QStringLiteral("slow%1").arg(k), "pdf", folder(), {}));
        const QString path = held == "check" ? QStringLiteral("/check/held%1.pdf").arg(++m_tag)
                                             : QStringLiteral("/busy/429/1");
        const QString query = held == "check" ? QString() : "?ra=30&" + tag();
        QVERIFY(model->AddDownloadItem(server->url(path + query), "held", "pdf", folder(), {}));
        QSignalSpy activity(s.get(), &Scheduler::activityText);

        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(s->waitingForRobotCheck() || paused(), 20000);
        QCOMPARE(row(0).state, ItemState::Downloading);
        QCOMPARE(row(1).state, ItemState::Downloading);
        const QString reason = s->holdReason();
        QVERIFY(held == "check" ? reason == Scheduler::RobotCheckText
                                : reason.startsWith(QStringLiteral("站点要求暂停：")));
        const qsizetype heldAt = activity.size();

        server->releaseStalls();
        QTRY_VERIFY_WITH_TIMEOUT(
            row(0).state == ItemState::Finished && row(1).state == ItemState::Finished, 20000);
        QCOMPARE(readAll(folder() + "slow1.pdf"), FixtureServer::generatedContent(5001));
        const QStringList since = texts(activity, heldAt);
        QVERIFY(!since.isEmpty());
        for (const QString& text : since)
            QVERIFY2(!text.startsWith(QStringLiteral("完成下载:")), qPrintable(text));
        // The countdown may have ticked since; its text is the pause's still.
        QVERIFY(held == "check" ? since.last() == reason
                                : since.last().startsWith(QStringLiteral("站点要求暂停：")));

        if (held == "pause") {
            // Once the pause is over, the run speaks again.
            app().clock().advance(31);
            QTRY_VERIFY_WITH_TIMEOUT(row(2).state == ItemState::Finished, 20000);
            QCOMPARE(texts(activity).last(), QStringLiteral("完成下载:held"));
        }
    }
};

QTEST_MAIN(TestSiteWaits)
#include "tst_sitewaits.moc"
