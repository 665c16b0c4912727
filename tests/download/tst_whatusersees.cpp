// What a researcher sees of a run, in both transfer modes: a good file is
// never given up for a new attempt that fails, a row that gets no answer says
// why, the end of a run counts web pages apart from documents, a passed check
// is told at once, and a row restored without its part shows no old progress.

#include "FixtureServer.h"
#include "RawServer.h"
#include "SchedulerFixture.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListKeeper.h"
#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/Scheduler.h"
#include "download/SiteLoginPanel.h"
#include "download/fFileDownload.h"
#include "platform/PartFile.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"

#include <QFileInfo>
#include <QNetworkCookie>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {

QByteArray answer(const QByteArray& statusLine, const QByteArray& contentType,
                  const QByteArray& body) {
    return statusLine + "\r\nConnection: close\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The last text the status bar's panel 2 was given.
QString lastText(const QSignalSpy& activity) {
    return activity.isEmpty() ? QString() : activity.last().first().toString();
}

} // namespace

class TestWhatUserSees : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;
    std::unique_ptr<RawServer> raw;
    int m_tag = 0;

    // Starts the run and waits until row i has ended.
    void runUntilEnded(int i) {
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(
            row(i).state == ItemState::Finished || row(i).state == ItemState::Failed, 20000);
        QTRY_VERIFY(!s->inetExecuting() && s->CountWorkers() == 1);
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
    }
    void init() {
        cleanup();
        raw = std::make_unique<RawServer>();
        setUpRun();
        s->options.workerCount = 1;
        server->clearRequests();
    }
    void cleanup() {
        if (server)
            server->releaseStalls();
        if (raw)
            raw->release();
        tearDownRun();
        raw.reset();
    }

    // "重新下载" of a finished row leaves its file where it is: an error, an
    // error page or a check in answer costs nothing, and only a whole new
    // file takes its place, under the same name, whatever the policy.
    void redownloadKeepsTheFileUntilANewOneArrives_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<QString>("next"); // what the site answers the new attempt
        for (int mode : {1, 2})
            for (const char* policy : {"重命名", "覆盖", "跳过"})
                for (const char* next : {"500", "error page", "check", "new file"})
                    QTest::addRow("mode %d, %s, %s", mode, policy, next) << mode << policy << next;
    }
    void redownloadKeepsTheFileUntilANewOneArrives() {
        QFETCH(int, mode);
        QFETCH(QString, policy);
        QFETCH(QString, next);
        app().DownloadMode = mode;
        s->options.duplicatePolicy = policy;
        const QByteArray v1 = PdfOfSize(30000, '1');
        const QByteArray v2 = PdfOfSize(30000, '2');
        const QByteArray page = "<html><head><title>Sign in</title></head>"
                                "<body><form>user</form></body></html>";
        int asked = 0;
        raw->addResponder("/paper", [&](const QByteArray&) {
            if (++asked == 1)
                return RawServer::Reply{answer("HTTP/1.1 200 OK", "application/pdf", v1)};
            if (next == "500")
                return RawServer::Reply{
                    answer("HTTP/1.1 500 Internal Server Error", "text/plain", "broken")};
            if (next == "error page")
                return RawServer::Reply{answer("HTTP/1.1 404 Not Found", "text/html", page)};
            if (next == "check")
                return RawServer::Reply{
                    answer("HTTP/1.1 403 Forbidden", "text/html",
                           "<html><body><form action=\"/verify\" method=\"post\">"
                           "<input type=\"checkbox\" name=\"human\"><button>Verify</button>"
                           "</form></body></html>")};
            return RawServer::Reply{answer("HTTP/1.1 200 OK", "application/pdf", v2)};
        });
        QVERIFY(model->AddDownloadItem(raw->url("/paper"), "paper", "pdf", folder(), {}));
        const QString target = folder() + "paper.pdf";
        runUntilEnded(0);
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(target), v1);

        s->RequeueRow(0);
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(readAll(target), v1); // nothing is lost before the new attempt
        if (next == "check") {
            s->startDownload();
            QTRY_VERIFY_WITH_TIMEOUT(s->waitingForRobotCheck(), 20000);
            QTRY_VERIFY(!s->inetExecuting() && s->CountWorkers() == 1);
            QCOMPARE(row(0).state, ItemState::Waiting);
            s->stopDownload();
        } else {
            runUntilEnded(0);
        }
        QCOMPARE(asked, 2);
        QTRY_VERIFY(!PartFile::isHeld(target));
        if (next == "new file") {
            QCOMPARE(row(0).state, ItemState::Finished);
            QCOMPARE(row(0).name, QStringLiteral("paper"));
            QCOMPARE(readAll(target), v2);
            QCOMPARE(names(), QStringList{"paper.pdf"});
            return;
        }
        QCOMPARE(readAll(target), v1);
        if (next == "error page") {
            // The page lands beside the document, never over it.
            QCOMPARE(row(0).type, QStringLiteral("htm"));
            QCOMPARE(readAll(folder() + "paper.htm"), page);
            QCOMPARE(names(), (QStringList{"paper.htm", "paper.pdf"}));
        } else {
            QCOMPARE(row(0).type, QStringLiteral("pdf"));
            QCOMPARE(names(), QStringList{"paper.pdf"});
        }
        if (next == "500") {
            QCOMPARE(row(0).state, ItemState::Failed);
            // Put back again, the row still plans its own name.
            s->RequeueRow(0);
            runUntilEnded(0);
            QCOMPARE(readAll(target), v1);
            QCOMPARE(names(), QStringList{"paper.pdf"});
        }
    }

    // A web page the row fetched goes when it is put back, as before: it is
    // no file the user wants kept.
    void redownloadDropsAWebPage() {
        app().DownloadMode = 1;
        QVERIFY(model->AddDownloadItem(server->url("/error.pdf"), "page", "pdf", folder(), {}));
        runUntilEnded(0);
        QCOMPARE(row(0).type, QStringLiteral("htm"));
        QVERIFY(QFileInfo::exists(folder() + "page.htm"));
        s->RequeueRow(0);
        QCOMPARE(row(0).type, QStringLiteral("xxx"));
        QVERIFY(!QFileInfo::exists(folder() + "page.htm"));
    }

    // A certificate the system does not trust: the row says why, in Chinese,
    // in its cells and in the status line.
    void untrustedCertificateSaysWhy_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void untrustedCertificateSaysWhy() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        QSignalSpy activity(s.get(), &Scheduler::activityText);
        QVERIFY(model->AddDownloadItem(server->untrustedUrl("/file.pdf"), "paper", "pdf", folder(),
                                       {}));
        runUntilEnded(0);
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(row(0).size, QStringLiteral("下载失败"));
        QCOMPARE(row(0).percent, QStringLiteral("网站证书不受信任"));
        QCOMPARE(lastText(activity), QStringLiteral("下载失败:paper（网站证书不受信任）"));
        QCOMPARE(names(), QStringList());
    }

    // The notice at the end of a run counts web pages apart from documents,
    // as the list's error count does.
    void endOfRunNoticeCountsWebPages_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void endOfRunNoticeCountsWebPages() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        s->options.workerCount = 2;
        QVERIFY(model->AddDownloadItem(server->url("/gen/2000"), "a", "pdf", folder(), {}));
        QVERIFY(model->AddDownloadItem(server->url("/error.pdf"), "b", "pdf", folder(), {}));
        QVERIFY(model->AddDownloadItem(server->url("/gen/3000"), "c", "pdf", folder(), {}));
        QVERIFY(model->AddDownloadItem(server->url("/missing.pdf"), "d", "pdf", folder(), {}));
        QVERIFY(model->AddDownloadItem(server->url("/status/500"), "e", "pdf", folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(model->检测是否下载列表完毕(), 20000);
        QTRY_VERIFY(!s->inetExecuting() && s->CountWorkers() == 1);
        QCOMPARE(model->CountErrorRows(), 3);
        s->housekeepingTick();
        QCOMPARE(t->notices->notices,
                 QStringList{Scheduler::RunEndedText +
                             QStringLiteral("|总数:5 已完成:2 网页:2 失败:1 等待:0")});
    }

    // A passed check is told at once, also after the run stopped at the
    // check's limit: the run goes on and fetches the row.
    void passedCheckIsToldAtOnce_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("afterLimit");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, while the run waits", mode) << mode << false;
            QTest::addRow("mode %d, after the run stopped at the limit", mode) << mode << true;
        }
    }
    void passedCheckIsToldAtOnce() {
        QFETCH(int, mode);
        QFETCH(bool, afterLimit);
        app().DownloadMode = mode;
        const QString path = QStringLiteral("/check/told%1.pdf").arg(++m_tag);
        QVERIFY(model->AddDownloadItem(server->url(path), "checked", "pdf", folder(), {}));
        QSignalSpy activity(s.get(), &Scheduler::activityText);
        QSignalSpy timedOut(s.get(), &Scheduler::robotCheckTimedOut);
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(s->waitingForRobotCheck(), 20000);
        QTRY_VERIFY(!s->inetExecuting() && s->CountWorkers() == 1);
        if (afterLimit) {
            app().clock().advance(app().RobotCheckWaitMinutes * 60 + 1);
            QTRY_COMPARE(timedOut.size(), 1);
            QVERIFY(!s->timerDownEnabled());
            QCOMPARE(lastText(activity), Scheduler::RobotCheckTimeoutText);
        }
        // Passed in the browser: its cookie reaches the transfers.
        QNetworkCookie passed("passed", "1");
        passed.setPath(QStringLiteral("/"));
        QVERIFY(app().transport().cookieJar().setCookiesFromUrl({passed}, QUrl(server->url("/"))));
        s->robotCheckPassed();
        QCOMPARE(lastText(activity), Scheduler::RobotCheckPassedText);
        QVERIFY(s->timerDownEnabled());
        QVERIFY(!s->stoppedOnRobotCheck());
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(readAll(folder() + "checked.pdf"), FixtureServer::generatedContent(4096));
    }

    // The totals in the status bar follow the rows at once, not at the next
    // housekeeping tick.
    void totalsFollowTheRowsAtOnce() {
        fFileDownload w;
        w.Timer1->stop();
        w.AddDownloadItem(QStringLiteral("http://a/1"), QStringLiteral("a"), QStringLiteral("pdf"),
                          folder(), QString());
        QTRY_COMPARE(w.panelText(4), QStringLiteral("总数:1 正在下载:0 等待:1 已完成:0 失败:0"));
        w.list()->setState(0, ItemState::Failed);
        QTRY_COMPARE(w.panelText(4), QStringLiteral("总数:1 正在下载:0 等待:0 已完成:0 失败:1"));
        QVERIFY(!w.Timer1->isActive());
    }

    // A check page's title leaves status panel 3 when the run ends; a login
    // page's title stays.
    void checkTitleGoesWhenTheRunEnds_data() {
        QTest::addColumn<bool>("check");
        QTest::newRow("check page") << true;
        QTest::newRow("login page") << false;
    }
    void checkTitleGoesWhenTheRunEnds() {
        QFETCH(bool, check);
        fFileDownload w;
        w.Timer1->stop();
        if (check)
            w.PicWebBK->showRobotCheck(server->url("/check/title.pdf"));
        emit w.PicWebBK->titleShown(QStringLiteral("Just a moment..."));
        QCOMPARE(w.panelText(3), QStringLiteral("Just a moment..."));
        w.Timer_Down->start();
        w.HousekeepingTick(); // the list is done: the run ends
        QVERIFY(!w.Timer_Down->isActive());
        QCOMPARE(w.panelText(3), check ? QString() : QStringLiteral("Just a moment..."));
    }

    // A row that was downloading when the program ended comes back waiting;
    // its old progress stays only when its part was kept to go on from.
    void restoredRowShowsNoOldProgressWithoutItsPart() {
        DownloadItem item;
        item.name = QStringLiteral("paper");
        item.type = QStringLiteral("pdf");
        item.folder = folder();
        item.key = QStringLiteral("http://127.0.0.1:9/paper.pdf");
        item.state = ItemState::Downloading;
        item.size = QStringLiteral("116944");
        item.received = QStringLiteral("72505");
        item.percent = QStringLiteral("62%");

        DownloadItem restored = DownloadListKeeper::restoredRow(item);
        QCOMPARE(restored.state, ItemState::Waiting);
        QVERIFY(restored.notYetDownloaded());

        PartFile part(folder() + "paper.pdf");
        QVERIFY(part.open());
        QCOMPARE(part.device()->write(QByteArray(72505, 'x')), qint64(72505));
        PartFile::ResumeFacts facts;
        facts.address = item.key;
        facts.validator = "\"v1\"";
        facts.total = 116944;
        QVERIFY(part.setResumable(facts));
        part.keep();
        restored = DownloadListKeeper::restoredRow(item);
        QCOMPARE(restored.state, ItemState::Waiting);
        QCOMPARE(restored.received, QStringLiteral("72505"));
        QCOMPARE(restored.percent, QStringLiteral("62%"));
    }
};

QTEST_MAIN(TestWhatUserSees)
#include "tst_whatusersees.moc"
