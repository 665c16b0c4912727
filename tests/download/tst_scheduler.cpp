// The scheduler and the single-connection transfer, end to end against the
// fixture server: rows in, files on disk out.

#include "FixtureServer.h"
#include "SchedulerFixture.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListModel.h"
#include "download/Downloader.h"
#include "download/Scheduler.h"
#include "platform/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

class TestScheduler : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;

    QString address(const QString& listener, const QString& path) const {
        return listener == QLatin1String("https") ? server->httpsUrl(path) : server->url(path);
    }
    void add(const QString& address, const QString& name, const QString& type = "pdf",
             const QString& referer = {}) {
        QVERIFY(model->AddDownloadItem(address, name, type, folder(), referer));
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
    }
    void init() {
        cleanup();
        setUpRun();
        app().transport().addCaCertificates(FixtureServer::caCertificates());
        app().DownloadMode = 1;
        s->LastFinishTime = app().clock().now() - 10;
        server->clearRequests();
    }
    void cleanup() {
        if (server)
            server->releaseStalls();
        tearDownRun();
    }

    // ---------------------------------------------------------- mode one

    void modeOneFetchesFile_data() {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<QString>("sizeCell");
        for (const char* l : {"http", "https"}) {
            QTest::addRow("%s known length", l) << l << "/gen/300000" << qint64(300000) << "300000";
            QTest::addRow("%s no length", l) << l << "/nolength/70000" << qint64(70000) << "70000";
            QTest::addRow("%s chunked", l) << l << "/chunked/90000" << qint64(90000) << "90000";
            QTest::addRow("%s redirected", l) << l << "/redirect/3" << qint64(4096) << "4096";
        }
    }
    void modeOneFetchesFile() {
        QFETCH(QString, listener);
        QFETCH(QString, path);
        QFETCH(qint64, length);
        QFETCH(QString, sizeCell);
        add(address(listener, path), "paper");
        QSignalSpy activity(s.get(), &Scheduler::activityText);
        QSignalSpy states(s.get(), &Scheduler::connectionText);
        const double before = s->LastFinishTime;

        s->startDownload();
        s->schedulerTick();

        const QString file = folder() + "paper.pdf";
        const DownloadItem& r = row(0);
        QCOMPARE(r.state, ItemState::Finished);
        QCOMPARE(r.size, sizeCell);
        QCOMPARE(r.received, QString::number(length));
        if (length > 0) {
            QCOMPARE(r.percent, QStringLiteral("100%"));
            QCOMPARE(readAll(file), FixtureServer::generatedContent(length));
        }
        QVERIFY(!s->Busy);
        QVERIFY(s->LastFinishTime > before);
        QCOMPARE(activity.first().first().toString(), QStringLiteral("正在下载:paper"));
        QCOMPARE(activity.last().first().toString(), QStringLiteral("完成下载:paper"));
        QVERIFY(!states.isEmpty());
        QVERIFY(!s->inetExecuting());
        QCOMPARE(s->WorkerRow[1], 1);
    }

    void modeOneSendsReferer_data() {
        QTest::addColumn<QString>("referer");
        QTest::addColumn<QString>("expected"); // "" = the address's root
        QTest::newRow("row referer") << "https://example.org/article/1"
                                     << "https://example.org/article/1";
        QTest::newRow("root of the address") << ""
                                             << "";
    }
    void modeOneSendsReferer() {
        QFETCH(QString, referer);
        QFETCH(QString, expected);
        add(server->url("/file.pdf"), "a", "pdf", referer);
        s->schedulerTick();
        const auto log = server->requestsFor("/file.pdf");
        QCOMPARE(log.size(), 1);
        if (expected.isEmpty())
            expected = server->url("/file.pdf").section('/', 0, 2);
        QCOMPARE(QString::fromLatin1(log.first().header("Referer")), expected);
        QCOMPARE(row(0).state, ItemState::Finished);
    }

    void modeOneThroughProxy() {
        app().ProxyEnabled = 1;
        app().ProxyAddress = FixtureServer::host();
        app().ProxyPort = QString::number(server->proxyPort());
        add(server->url("/gen/5000"), "p");
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(server->requestsFor("/gen/5000", "proxy").size(), 1);
        QCOMPARE(server->requestsFor("/gen/5000", "http").size(), 0);
    }

    // The type comes from the answer; the content check corrects it, and a web
    // page counts toward auto stop.
    void modeOneTypes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("rowType");
        QTest::addColumn<QString>("type");
        QTest::newRow("html page under .pdf") << "/error.pdf"
                                              << "pdf"
                                              << "htm";
        QTest::newRow("pdf bytes, type from the media type") << "/gen/2000"
                                                             << "xxx"
                                                             << "pdf";
        QTest::newRow("charset without a known type") << "/octet-charset"
                                                      << "pdf"
                                                      << "htm";
        QTest::newRow("disposition extension") << "/cd/quoted"
                                               << ""
                                               << "pdf";
    }
    void modeOneTypes() {
        QFETCH(QString, path);
        QFETCH(QString, rowType);
        QFETCH(QString, type);
        add(server->url(path), "doc", rowType);
        s->schedulerTick();
        QCOMPARE(row(0).type, type);
        QCOMPARE(row(0).state, ItemState::Finished);
        QVERIFY(QFileInfo::exists(folder() + "doc." + type));
        if (type != rowType && !rowType.isEmpty())
            QVERIFY(!QFileInfo::exists(folder() + "doc." + rowType));
    }

    void modeOneFailures_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<double>("advance"); // clock moved while the transfer waits
        QTest::addColumn<QString>("sizeCell");
        QTest::addColumn<QString>("receivedCell");
        QTest::addColumn<QString>("percentCell");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("fileLeft");
        const int failed = int(ItemState::Failed);
        const int finished = int(ItemState::Finished);
        QTest::newRow("no answer within 30 s") << "/hang" << 31.0 << ""
                                               << ""
                                               << "" << failed << false;
        QTest::newRow("no growth for 120 s") << "/stall/3000/100000" << 121.0 << "下载失败"
                                             << "3000"
                                             << "3%" << failed << false;
        QTest::newRow("connection closed before the length")
            << "/early/3000/100000" << 0.0 << "下载失败"
            << "3000"
            << "3%" << failed << false;
        QTest::newRow("announced length over the limit") << "/gen/1049000" << 0.0 << ""
                                                         << ""
                                                         << "大文件，跳过" << finished << false;
        // Nothing of a body too big is kept.
        QTest::newRow("unknown length grows past the limit") << "/nolength/3000000" << 0.0 << "未知"
                                                             << "any"
                                                             << "大文件，跳过" << finished << false;
        QTest::newRow("no length, no success, empty body") << "/status/404" << 0.0 << "下载失败"
                                                           << "0"
                                                           << "" << failed << false;
        QTest::newRow("untrusted certificate") << "untrusted:/file.pdf" << 0.0 << "下载失败"
                                               << ""
                                               << "网站证书不受信任" << failed << false;
        QTest::newRow("redirect from https to http") << "https:/to-http" << 0.0 << "下载失败"
                                                     << "0"
                                                     << "" << failed << false;
    }
    void modeOneFailures() {
        QFETCH(QString, address);
        QFETCH(double, advance);
        QFETCH(QString, sizeCell);
        QFETCH(QString, receivedCell);
        QFETCH(QString, percentCell);
        QFETCH(int, state);
        QFETCH(bool, fileLeft);
        app().MaxFileSizeMB = 1;
        QString url;
        if (address.startsWith("untrusted:"))
            url = server->untrustedUrl(address.mid(10));
        else if (address.startsWith("https:"))
            url = server->httpsUrl(address.mid(6));
        else
            url = server->url(address);
        add(url, "f");
        std::unique_ptr<When> later;
        if (advance > 0) {
            // Move the clock once the request waits: for the headers (no
            // received cell yet) or for more of the body.
            const bool body = !receivedCell.isEmpty() && receivedCell != "any";
            later = std::make_unique<When>(
                [&] {
                    return body ? row(0).received == receivedCell
                                : !server->requestsFor(address).isEmpty();
                },
                [&] { app().clock().advance(advance); });
        }
        s->schedulerTick();
        if (later)
            QVERIFY(later->done());
        const DownloadItem& r = row(0);
        QCOMPARE(int(r.state), state);
        QCOMPARE(r.size, sizeCell);
        if (!fileLeft && receivedCell != "any")
            QCOMPARE(r.received, receivedCell);
        QCOMPARE(r.percent, percentCell);
        QCOMPARE(QFileInfo::exists(folder() + "f.pdf"), fileLeft);
        QVERIFY(!s->Busy);
        // A cancelled reply reports its end through the event loop.
        QTRY_VERIFY(!s->inetExecuting());
    }

    // A stall shorter than the limit goes on once bytes come again.
    void modeOneStallJustUnderLimit() {
        QObject timers; // single shots still pending end with the test
        add(server->url("/stall/3000/9000"), "s");
        When later([&] { return row(0).received == "3000"; },
                   [&] {
                       app().clock().advance(119);
                       QTimer::singleShot(200, &timers, [&] { server->releaseStalls(); });
                   });
        s->schedulerTick();
        QVERIFY(later.done());
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(folder() + "s.pdf"), FixtureServer::generatedContent(9000));
    }

    void modeOneStopDuringTransfer_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("known length") << "/stall/3000/100000";
        QTest::newRow("body of a slow page") << "/hang";
    }
    void modeOneStopDuringTransfer() {
        QFETCH(QString, path);
        add(server->url(path), "x");
        add(server->url("/file.pdf"), "y");
        // A known length is stopped once its body streams (a stop while the
        // headers are awaited ends the row without cells, as no answer does).
        const bool streams = path.startsWith("/stall");
        When stop(
            [&] {
                return !server->requestsFor(path).isEmpty() && s->inetExecuting() &&
                       (!streams || row(0).received == QStringLiteral("3000"));
            },
            [&] { s->stopDownload(); });
        s->options.autoStart = true;
        s->startDownload();
        s->schedulerTick();
        QVERIFY(stop.done());
        QCOMPARE(row(0).state, ItemState::Failed);
        if (path.startsWith("/stall"))
            QCOMPARE(row(0).size, QStringLiteral("下载取消"));
        QVERIFY(!QFileInfo::exists(folder() + "x.pdf"));
        QCOMPARE(row(1).state, ItemState::Waiting);
        QVERIFY(!s->timerDownEnabled());
        QVERIFY(!s->options.autoStart);
        QVERIFY(!s->Busy);
    }

    void duplicatePolicies_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("percent");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d skip", mode) << mode << "跳过"
                                                << "same"
                                                << "已存在，跳过";
            QTest::addRow("mode %d overwrite", mode) << mode << "覆盖"
                                                     << "same"
                                                     << "100%";
            QTest::addRow("mode %d rename", mode) << mode << "重命名"
                                                  << "same[001]"
                                                  << "100%";
        }
    }
    void duplicatePolicies() {
        QFETCH(int, mode);
        QFETCH(QString, policy);
        QFETCH(QString, name);
        QFETCH(QString, percent);
        app().DownloadMode = mode;
        s->options.duplicatePolicy = policy;
        QVERIFY(writeFile(folder() + "same.pdf", "old"));
        add(server->url("/gen/5000"), "same");
        s->schedulerTick();
        QVERIFY(waitForRow(0));
        QCOMPARE(row(0).name, name);
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(row(0).percent, percent);
        const QByteArray expected = FixtureServer::generatedContent(5000);
        if (policy == "跳过") {
            QCOMPARE(readAll(folder() + "same.pdf"), QByteArray("old"));
            QCOMPARE(row(0).size, QStringLiteral("3"));
            QVERIFY(server->requestsFor("/gen/5000").isEmpty());
        } else if (policy == "覆盖") {
            QCOMPARE(readAll(folder() + "same.pdf"), expected);
        } else {
            QCOMPARE(readAll(folder() + "same.pdf"), QByteArray("old"));
            QCOMPARE(readAll(folder() + "same[001].pdf"), expected);
        }
    }

    // An overwrite that does not bring a new file keeps the user's file: a
    // failed transfer, and a web page instead of the document (saved as
    // same.htm), both leave the old same.pdf in place.
    void failedOverwriteKeepsTheFile_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("path");
        QTest::addColumn<ItemState>("state");
        QTest::addColumn<QString>("beside");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, connection closed early", mode)
                << mode << "/early/100/5000" << ItemState::Failed << "";
            QTest::addRow("mode %d, login page instead", mode)
                << mode << "/error.pdf" << ItemState::Finished << "same.htm";
        }
    }
    void failedOverwriteKeepsTheFile() {
        QFETCH(int, mode);
        QFETCH(QString, path);
        QFETCH(ItemState, state);
        QFETCH(QString, beside);
        app().DownloadMode = mode;
        s->options.duplicatePolicy = "覆盖";
        QVERIFY(writeFile(folder() + "same.pdf", "old"));
        add(server->url(path), "same");
        s->schedulerTick();
        QVERIFY(waitForRow(0));
        QCOMPARE(row(0).state, state);
        QCOMPARE(readAll(folder() + "same.pdf"), QByteArray("old"));
        QStringList expected{QStringLiteral("same.pdf")};
        if (!beside.isEmpty())
            expected << beside;
        expected.sort();
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), expected);
    }

    // Three existing files under skip: one tick marks them all, starts nothing,
    // and the next housekeeping tick ends the run.
    void skipAllEndsRun() {
        s->options.duplicatePolicy = "跳过";
        for (const char* n : {"a", "b", "c"}) {
            QVERIFY(writeFile(folder() + n + ".pdf", "x"));
            add(server->url(QString("/gen/10?") + n), n);
        }
        s->options.sound = true;
        QSignalSpy sounds(s.get(), &Scheduler::playSound);
        s->startDownload();
        s->schedulerTick();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(row(i).state, ItemState::Finished);
            QCOMPARE(row(i).percent, QStringLiteral("已存在，跳过"));
        }
        QVERIFY(server->requests().isEmpty());
        QVERIFY(s->timerDownEnabled());
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(sounds.size(), 1);
        QCOMPARE(sounds.first().first().toInt(), 102);
    }

    void busyPutsRowBack() {
        add(server->url("/file.pdf"), "b");
        s->Busy = true;
        QVERIFY(!s->Inet下载当前文件(0));
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(row(0).size, QStringLiteral("等待重新下载"));
        QVERIFY(server->requests().isEmpty());
    }

    void pauseBetweenFiles() {
        add(server->url("/gen/100?1"), "one");
        add(server->url("/gen/100?2"), "two");
        s->options.pauseSeconds = 5;
        s->startDownload();
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Finished);
        s->schedulerTick();
        app().clock().advance(4.5);
        s->schedulerTick();
        QCOMPARE(row(1).state, ItemState::Waiting);
        app().clock().advance(1);
        s->schedulerTick();
        QCOMPARE(row(1).state, ItemState::Finished);
    }

    void soundsAndAutoLogin() {
        add(server->url("/error.pdf"), "page");
        add(server->url("/early/10/100"), "broken");
        s->options.sound = true;
        s->options.autoLogin = true;
        int logins = 0;
        s->siteLoginHook = [&](bool showMessages) {
            QVERIFY(!showMessages);
            ++logins;
        };
        QSignalSpy sounds(s.get(), &Scheduler::playSound);
        s->schedulerTick();
        QCOMPARE(sounds.size(), 1);
        QCOMPARE(sounds.at(0).first().toInt(), 101);
        QCOMPARE(logins, 1);
        app().clock().advance(1);
        s->schedulerTick();
        QCOMPARE(sounds.size(), 2);
        QCOMPARE(sounds.at(1).first().toInt(), 103);
        QCOMPARE(logins, 1);
    }

    // ---------------------------------------------------------- mode two

    void modeTwoStartsOneRowPerFreeWorker_data() {
        QTest::addColumn<QString>("listener");
        QTest::newRow("http") << "http";
        QTest::newRow("https") << "https";
    }
    void modeTwoStartsOneRowPerFreeWorker() {
        QFETCH(QString, listener);
        app().DownloadMode = 2;
        s->options.workerCount = 3;
        for (int i = 0; i < 4; ++i)
            add(address(listener, QString("/gen/%1").arg(20000 + i)), QString("w%1").arg(i));
        s->startDownload();
        s->schedulerTick();
        for (int j = 1; j <= 3; ++j) {
            QVERIFY(s->ControlExists(j));
            QCOMPARE(s->WorkerRow[j], j);
            QCOMPARE(row(j - 1).state, ItemState::Downloading);
        }
        QVERIFY(!s->ControlExists(4));
        QCOMPARE(s->CountWorkers(), 4);
        QCOMPARE(row(3).state, ItemState::Waiting);
        QVERIFY(s->downloadRunning());
        s->housekeepingTick();
        QVERIFY(s->Busy);
        for (int i = 0; i < 3; ++i)
            QVERIFY(waitForRow(i));
        // The first worker freed takes the fourth row at once, without a tick.
        QTRY_VERIFY(row(3).state != ItemState::Waiting);
        QVERIFY(s->WorkerRow[1] == 4 || s->WorkerRow[2] == 4 || s->WorkerRow[3] == 4);
        QVERIFY(waitForRow(3));
        for (int i = 0; i < 4; ++i) {
            const qint64 n = 20000 + i;
            QCOMPARE(row(i).state, ItemState::Finished);
            QCOMPARE(row(i).size, QString::number(n));
            QCOMPARE(row(i).received, QString::number(n));
            QCOMPARE(row(i).percent, QStringLiteral("100%"));
            QCOMPARE(readAll(folder() + QString("w%1.pdf").arg(i)),
                     FixtureServer::generatedContent(n));
        }
    }

    // A row without a folder never writes into the root folder.
    void rowWithoutFolderFails_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void rowWithoutFolderFails() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        QVERIFY(model->AddDownloadItem(server->url("/gen/100"), "nofolder", "pdf", "", {}));
        s->schedulerTick();
        QVERIFY(waitForRow(0));
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(row(0).size, QStringLiteral("下载失败"));
        QVERIFY(!QFileInfo::exists("/nofolder.pdf"));
        QCOMPARE(s->CountWorkers(), 1);
    }

    void modeTwoRenamesRowsOfOneName() {
        app().DownloadMode = 2;
        s->options.workerCount = 2;
        add(server->url("/gen/3000"), "twin");
        add(server->url("/gen/4000"), "twin");
        s->schedulerTick();
        QCOMPARE(row(0).name, QStringLiteral("twin"));
        QCOMPARE(row(1).name, QStringLiteral("twin[001]"));
        QVERIFY(waitForRow(0));
        QVERIFY(waitForRow(1));
        QCOMPARE(readAll(folder() + "twin.pdf"), FixtureServer::generatedContent(3000));
        QCOMPARE(readAll(folder() + "twin[001].pdf"), FixtureServer::generatedContent(4000));
    }

    void modeTwoEndStates_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("advance"); // clock moved once the transfer runs
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("fileType"); // "" = no file under the row's name
        QTest::addColumn<int>("sound");        // 0 = none
        const int finished = int(ItemState::Finished);
        const int failed = int(ItemState::Failed);
        QTest::newRow("announced length over the limit")
            << "/gen/1049000" << 0.0 << finished << "大文件，跳过"
            << "" << 0;
        QTest::newRow("unknown length over the limit")
            << "/chunked/1100000" << 0.0 << finished << "大文件，跳过"
            << "" << 0;
        QTest::newRow("html answer") << "/error.pdf" << 0.0 << finished << "100%"
                                     << "htm" << 101;
        QTest::newRow("no growth for 300 s") << "/stall/3000/100000" << 301.0 << failed << ""
                                             << "" << 0;
        QTest::newRow("connection closed early") << "/early/3000/100000" << 0.0 << failed << "3%"
                                                 << "" << 103;
        QTest::newRow("untrusted certificate") << "untrusted" << 0.0 << failed << "网站证书不受信任"
                                               << "" << 0;
    }
    void modeTwoEndStates() {
        QFETCH(QString, path);
        QFETCH(double, advance);
        QFETCH(int, state);
        QFETCH(QString, percent);
        QFETCH(QString, fileType);
        QFETCH(int, sound);
        app().DownloadMode = 2;
        app().MaxFileSizeMB = 1;
        s->options.sound = true;
        QSignalSpy sounds(s.get(), &Scheduler::playSound);
        add(path == "untrusted" ? server->untrustedUrl("/file.pdf") : server->url(path), "m");
        s->schedulerTick();
        if (advance > 0) {
            QVERIFY(server->waitForRequests(path));
            // The watchdog is stepped by hand: once it has seen the first
            // bytes grow, a stall just under the limit is let be, and the
            // limit itself ends the row.
            QTRY_VERIFY(s->worker(1) && s->worker(1)->bytesRead() > 0);
            QVERIFY(fireTimer(s->worker(1), "Timer1"));
            app().clock().advance(advance - 6);
            QVERIFY(fireTimer(s->worker(1), "Timer1"));
            QCOMPARE(row(0).state, ItemState::Downloading);
            app().clock().advance(6);
            QVERIFY(fireTimer(s->worker(1), "Timer1"));
        }
        QVERIFY(waitForRow(0));
        QCOMPARE(int(row(0).state), state);
        if (!percent.isEmpty())
            QCOMPARE(row(0).percent, percent);
        Wait::until([&] { return s->CountWorkers() == 1; });
        QVERIFY(!s->ControlExists(1));
        if (fileType.isEmpty()) {
            QVERIFY(!QFileInfo::exists(folder() + "m.pdf"));
        } else {
            QCOMPARE(row(0).type, fileType);
            QVERIFY(QFileInfo::exists(folder() + "m." + fileType));
        }
        QCOMPARE(sounds.size(), sound ? 1 : 0);
        if (sound)
            QCOMPARE(sounds.first().first().toInt(), sound);
    }

    void modeTwoStop() {
        app().DownloadMode = 2;
        s->options.workerCount = 2;
        add(server->url("/stall/3000/100000"), "a");
        add(server->url("/stall/3000/100000?b"), "b");
        add(server->url("/gen/100"), "c");
        s->startDownload();
        s->schedulerTick();
        QElapsedTimer e;
        e.start();
        Wait::until([&] {
            return (row(0).received == "3000" && row(1).received == "3000") || e.elapsed() > 10000;
        });
        s->stopDownload();
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(row(1).state, ItemState::Failed);
        QCOMPARE(row(2).state, ItemState::Waiting);
        QCOMPARE(s->CountWorkers(), 1);
        QVERIFY(!s->timerDownEnabled());
        // The unloaded workers clean up at once, not from the event loop.
        QVERIFY(!QFileInfo::exists(folder() + "a.pdf"));
        QVERIFY(!QFileInfo::exists(folder() + "b.pdf"));
        s->housekeepingTick();
        QVERIFY(!s->Busy);
    }

    void templateEventsChangeNothing() {
        add("http://x/1", "t");
        model->setState(0, ItemState::Downloading);
        s->WorkerRow[0] = 1;
        s->onDownloadProgress(0, 5, 10, folder() + "t.pdf");
        s->onDownloadComplete(0, 10, 10, folder() + "t.pdf");
        s->onDownloadError(0, folder() + "t.pdf", "超时");
        QCOMPARE(row(0).state, ItemState::Downloading);
        QVERIFY(row(0).notYetDownloaded());
    }

    // ---------------------------------------------------------- housekeeping

    void housekeepingOnEmptyList() {
        s->startDownload();
        QSignalSpy indicator(s.get(), &Scheduler::indicatorChanged);
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        QVERIFY(!s->indicatorVisible());
        QVERIFY(s->startCommandEnabled());
        s->startDownload();
        s->schedulerTick(); // no rows: the scheduler stops itself
        QVERIFY(!s->timerDownEnabled());
    }

    void autoStop_data() {
        QTest::addColumn<int>("failedRows");
        QTest::addColumn<QString>("fifthType");
        QTest::addColumn<int>("fifthState");
        QTest::addColumn<bool>("stops");
        const int finished = int(ItemState::Finished);
        const int failed = int(ItemState::Failed);
        QTest::newRow("4 failed and HTML in capitals") << 4 << "HTML" << finished << true;
        QTest::newRow("4 failed and xml") << 4 << "xml" << finished << false;
        QTest::newRow("3 failed and a failed htm") << 3 << "htm" << failed << false;
        QTest::newRow("4 failed and a failed htm") << 4 << "htm" << failed << true;
    }
    void autoStop() {
        QFETCH(int, failedRows);
        QFETCH(QString, fifthType);
        QFETCH(int, fifthState);
        QFETCH(bool, stops);
        for (int i = 0; i < 4; ++i) {
            add(QString("http://x/%1").arg(i), QString::number(i));
            model->setState(i, i < failedRows ? ItemState::Failed : ItemState::Finished);
        }
        add("http://x/5", "5", fifthType);
        model->setState(4, ItemState(fifthState));
        add("http://x/w", "w"); // keeps the run going
        s->options.autoStop = true;
        s->options.sound = true;
        QSignalSpy sounds(s.get(), &Scheduler::playSound);
        s->startDownload();
        s->housekeepingTick();
        QCOMPARE(s->timerDownEnabled(), !stops);
        QCOMPARE(sounds.size(), stops ? 1 : 0);
    }

    void autoStartWhenRowsWait() {
        s->options.autoStart = true;
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        add("http://x/1", "1");
        s->housekeepingTick();
        QVERIFY(s->timerDownEnabled());
        s->housekeepingTick();
        QVERIFY(s->indicatorVisible());
        QVERIFY(!s->startCommandEnabled());
    }

    void requeueRow() {
        add("http://a/1|http://b/1|http://c/1", "r", "html");
        QVERIFY(writeFile(folder() + "r.html", "<html>"));
        QVERIFY(writeFile(folder() + "r.xxx", "old"));
        model->setProgress(0, "6", "6", "100%");
        model->setState(0, ItemState::Failed);
        model->setPlaced(0, true); // r.html is the file its transfer put there
        s->redownloadFailed();
        const DownloadItem& r = row(0);
        QCOMPARE(r.state, ItemState::Waiting);
        QCOMPARE(r.type, QStringLiteral("xxx"));
        QCOMPARE(r.key, QStringLiteral("http://c/1|http://a/1|http://b/1"));
        QVERIFY(r.notYetDownloaded());
        QVERIFY(!QFileInfo::exists(folder() + "r.html"));
        QVERIFY(!r.placed);
        // A file the row did not write is not the row's to delete.
        QCOMPARE(readAll(folder() + "r.xxx"), QByteArray("old"));
    }

    void redownloadWebPages() {
        add("http://a/1", "x", "xml");
        add("http://a/2", "f", "xml");
        add("http://a/3", "h", "HTM");
        add("http://a/4", "w", "htm");
        model->setState(0, ItemState::Finished);
        model->setState(1, ItemState::Failed);
        model->setState(2, ItemState::Finished);
        s->redownloadWebPages();
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(row(i).state, ItemState::Waiting);
            QCOMPARE(row(i).type, QStringLiteral("xxx"));
        }
        QCOMPARE(row(3).type, QStringLiteral("htm")); // still waiting: not selected
        // "出错项" keeps the type of a failed xml row
        model->setState(1, ItemState::Failed);
        model->setType(1, "xml");
        s->redownloadFailed();
        QCOMPARE(row(1).type, QStringLiteral("xml"));
    }

    // A failed row comes back by itself with its next address and succeeds.
    void autoRedownloadRotatesAddresses() {
        add(server->url("/early/100/1000") + "|" + server->url("/gen/1000"), "rot");
        s->options.autoRedownload = true;
        s->options.autoRedownloadChoice = 0;
        s->startDownload();
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Failed);
        // The run is over and stops; the stopped scheduler then puts the
        // failed row back and starts again, in the same tick.
        s->housekeepingTick();
        QCOMPARE(row(0).state, ItemState::Waiting);
        QVERIFY(row(0).key.startsWith(server->url("/gen/1000")));
        QVERIFY(s->timerDownEnabled());
        app().clock().advance(2);
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(folder() + "rot.pdf"), FixtureServer::generatedContent(1000));
    }

    // Mode two, automatic re-download and login: a web page starts the login,
    // which waits on events; the ticks that run meanwhile neither put the page
    // row back nor start rows before the login has ended.
    void autoRedownloadWaitsForLogin() {
        app().DownloadMode = 2;
        s->options.workerCount = 2;
        add(server->url("/error.pdf"), "page");
        add(server->url("/gen/300"), "later");
        s->options.autoLogin = true;
        s->options.autoRedownload = true;
        s->options.autoRedownloadChoice = 1;
        int logins = 0;
        bool loginEnded = false;
        s->siteLoginHook = [&](bool) {
            ++logins;
            QVERIFY(s->siteLoginRunning());
            // While the login waits, the run is stopped and a row waits.
            model->setState(1, ItemState::Waiting);
            s->setTimerDownEnabled(false);
            for (int k = 0; k < 3; ++k) {
                s->housekeepingTick();
                app().clock().advance(1.1);
                s->schedulerTick();
                Wait::processEventsOnce();
            }
            QCOMPARE(row(0).type, QStringLiteral("htm"));
            QCOMPARE(row(0).state, ItemState::Finished);
            QCOMPARE(s->CountWorkers(), 1);
            QCOMPARE(row(1).state, ItemState::Waiting);
            loginEnded = true;
        };
        model->setState(1, ItemState::Failed); // only the page row starts
        s->schedulerTick();
        QCOMPARE(s->CountWorkers(), 2);
        QVERIFY(waitForRow(0));
        QTRY_VERIFY(loginEnded);
        QCOMPARE(logins, 1);
        QVERIFY(!s->siteLoginRunning());
        s->housekeepingTick();
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(row(0).type, QStringLiteral("xxx"));
        QVERIFY(s->timerDownEnabled());
    }

    // Web pages counted by auto stop, then fetched again by the web-page rule.
    void htmlAnswerCountedAndRetried() {
        for (int i = 0; i < 5; ++i)
            add(server->url(QString("/error.pdf?%1").arg(i)), QString("e%1").arg(i));
        add(server->url("/gen/100"), "last");
        s->options.autoStop = true;
        s->startDownload();
        for (int i = 0; i < 5; ++i) {
            s->schedulerTick();
            QCOMPARE(row(i).type, QStringLiteral("htm"));
            app().clock().advance(1.1);
        }
        s->housekeepingTick();
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(row(5).state, ItemState::Waiting);

        s->options.autoStop = false;
        s->options.autoRedownload = true;
        s->options.autoRedownloadChoice = 1;
        s->housekeepingTick();
        QVERIFY(s->timerDownEnabled());
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(row(i).state, ItemState::Waiting);
            QCOMPARE(row(i).type, QStringLiteral("xxx"));
            QVERIFY(!QFileInfo::exists(folder() + QString("e%1.htm").arg(i)));
        }
    }

    // ---------------------------------------------------------- commands

    void stopFailsDownloadingRows() {
        add("http://x/1", "1");
        add("http://x/2", "2");
        model->setState(0, ItemState::Downloading);
        s->options.autoStart = true;
        s->options.autoRedownload = true;
        QSignalSpy unticked(s.get(), &Scheduler::checksUnticked);
        s->startDownload();
        s->Busy = true;
        s->stopDownload();
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(row(1).state, ItemState::Waiting);
        QVERIFY(!s->options.autoStart);
        QVERIFY(!s->options.autoRedownload);
        QCOMPARE(unticked.size(), 1);
        QVERIFY(!s->Busy);
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(s->CountWorkers(), 1);
    }

    void withdrawRows() {
        add("http://x/1", "1");
        add("http://x/2", "2");
        add("http://x/3", "3");
        model->setState(2, ItemState::Finished);
        s->Busy = true;
        s->withdrawRows({0, 2});
        QCOMPARE(t->dialogs->errors, QStringList{"停止下载后方可设置！"});
        QCOMPARE(row(0).state, ItemState::Waiting);
        s->Busy = false;
        s->withdrawRows({0, 2});
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(row(1).state, ItemState::Waiting);
        QCOMPARE(row(2).state, ItemState::Finished);
    }

    void switchMode() {
        app().DownloadMode = 2;
        s->options.workerCount = 4;
        QSignalSpy changed(s.get(), &Scheduler::modeChanged);
        s->switchMode();
        QCOMPARE(app().DownloadMode, 1);
        QCOMPARE(s->options.workerCount, 1);
        s->switchMode();
        QCOMPARE(app().DownloadMode, 2);
        QCOMPARE(changed.size(), 2);
    }

    void connectionStateTexts() {
        QCOMPARE(Scheduler::connectionStateText(3), QStringLiteral("3 正在与主机连接..."));
        QCOMPARE(Scheduler::connectionStateText(12),
                 QStringLiteral("12 该请求已经完成，并且所有数据均已接收到。"));
        QCOMPARE(Scheduler::connectionStateText(11, 5, "x"),
                 QStringLiteral("11 与主机通讯时出现了错误:5:x"));
        QCOMPARE(Scheduler::connectionStateText(42, 1, "y"), QStringLiteral("1:y"));
    }

    void typeCommands() {
        add("http://x/1", "a", "pdf");
        add("http://x/2", "b", "pdf");
        QVERIFY(writeFile(folder() + "a.pdf",
                          "<html><head><title>login</title></head><body>x</body></html>"));
        QVERIFY(writeFile(folder() + "b.pdf", FixtureServer::generatedContent(100)));
        s->startDownload();
        QCOMPARE(s->checkAndCorrectFileTypes(nullptr), -1);
        QCOMPARE(t->dialogs->informations.last(), QStringLiteral("停止下载以后，才能执行此操作！"));
        s->stopDownload();
        QCOMPARE(s->checkAndCorrectFileTypes(nullptr), 1);
        QCOMPARE(t->dialogs->informations.last(), QStringLiteral("纠正文件类型：1个."));
        QCOMPARE(row(0).type, QStringLiteral("htm"));
        QVERIFY(QFileInfo::exists(folder() + "a.htm"));

        t->dialogs->fileAnswers.push_back(folder() + "b.pdf");
        QCOMPARE(s->judgeFileType(nullptr), QStringLiteral("pdf"));
        QCOMPARE(t->dialogs->informations.last(), QStringLiteral("文件类型为：pdf"));
    }
};

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
