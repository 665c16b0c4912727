// A row is Finished with a document only when a complete, successful answer
// stands whole under its name: hostile and broken answers in both transfer
// modes, a user's file under the overwrite policy, links and disks that fail.

#include "FixtureServer.h"
#include "RawServer.h"
#include "SchedulerFixture.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListModel.h"
#include "download/ListCommands.h"
#include "download/Naming.h"
#include "download/Scheduler.h"
#include "platform/PartFile.h"
#include "platform/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>

namespace {

const QByteArray UserFile = "the user's own file, kept whatever arrives";

QByteArray answer(const QByteArray& statusLine, const QByteArray& headers, const QByteArray& body) {
    return statusLine + "\r\n" + headers + "\r\n" + body;
}

QByteArray lengthHeader(qsizetype n) {
    return "Content-Length: " + QByteArray::number(n) + "\r\n";
}

} // namespace

class TestIntegrity : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;
    std::unique_ptr<RawServer> raw;

    void add(const QString& address, const QString& name, const QString& type = "pdf") {
        QVERIFY(model->AddDownloadItem(address, name, type, folder(), {}));
    }
    // Runs the transfer of the first waiting row to its end in either mode.
    bool runRow(int i) {
        s->schedulerTick();
        QElapsedTimer e;
        e.start();
        Wait::until([&] { return row(i).state != ItemState::Downloading || e.elapsed() > 20000; });
        return row(i).state != ItemState::Downloading;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
        raw = std::make_unique<RawServer>();
        const QByteArray pdfType = "Content-Type: application/pdf\r\n";
        const QByteArray close = "Connection: close\r\n";
        const QByteArray part = PdfOfSize(20000).left(3000);
        const QByteArray page =
            "<html><head><title>Sign in</title></head><body><form>user</form></body></html>";
        QByteArray bigPage = "<div class=\"login\">";
        while (bigPage.size() < 300 * 1024)
            bigPage += "<p>please sign in to read this article</p>\n";
        QByteArray pageAsPdf = "<!DOCTYPE html>\n";
        while (pageAsPdf.size() < 250 * 1024)
            pageAsPdf += "<p>access denied</p>\n";
        const QByteArray gz("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03%PDF-ish compressed", 30);
        using End = RawServer::End;
        raw->add("/reset-nolength", answer("HTTP/1.1 200 OK", pdfType + close, part), End::Reset);
        raw->add("/reset-length", answer("HTTP/1.1 200 OK", pdfType + lengthHeader(20000), part),
                 End::Reset);
        raw->add("/closed-nolength-noeof", answer("HTTP/1.1 200 OK", pdfType + close, part));
        raw->add("/closed-short", answer("HTTP/1.1 200 OK", pdfType + lengthHeader(20000), part));
        raw->add("/chunked-invalid",
                 answer("HTTP/1.1 200 OK", pdfType + "Transfer-Encoding: chunked\r\n",
                        "zz\r\n%PDF-1.4\r\n0\r\n\r\n"));
        raw->add("/chunked-overrun",
                 answer("HTTP/1.1 200 OK", pdfType + "Transfer-Encoding: chunked\r\n",
                        "9\r\n%PDF-1.4\n and then far more than the chunk said\r\n0\r\n\r\n"));
        raw->add("/chunked-cut",
                 answer("HTTP/1.1 200 OK", pdfType + "Transfer-Encoding: chunked\r\n",
                        "bb8\r\n" + part));
        raw->add("/404-json", answer("HTTP/1.1 404 Not Found",
                                     "Content-Type: application/json\r\n" + lengthHeader(17),
                                     "{\"error\":\"none\"}\n"));
        raw->add("/500-text", answer("HTTP/1.1 500 Internal Server Error",
                                     "Content-Type: text/plain\r\n" + lengthHeader(6), "broken"));
        raw->add("/503-pdf-nolength",
                 answer("HTTP/1.1 503 Service Unavailable", pdfType + close, PdfOfSize(5000)));
        raw->add("/401-empty", answer("HTTP/1.1 401 Unauthorized", lengthHeader(0), ""));
        raw->add("/403-page",
                 answer("HTTP/1.1 403 Forbidden",
                        "Content-Type: text/html; charset=utf-8\r\n" + lengthHeader(page.size()),
                        page));
        raw->add("/big-page",
                 answer("HTTP/1.1 200 OK",
                        "Content-Type: text/html\r\n" + lengthHeader(bigPage.size()), bigPage));
        raw->add("/page-as-pdf",
                 answer("HTTP/1.1 200 OK", pdfType + lengthHeader(pageAsPdf.size()), pageAsPdf));
        raw->add("/gzip",
                 answer("HTTP/1.1 200 OK",
                        pdfType + "Content-Encoding: gzip\r\n" + lengthHeader(gz.size()), gz));
        raw->add("/empty", answer("HTTP/1.1 200 OK", pdfType + lengthHeader(0), ""));
        raw->add("/empty-nolength", answer("HTTP/1.1 200 OK", pdfType + close, ""));
        raw->add("/whole",
                 answer("HTTP/1.1 200 OK", pdfType + lengthHeader(20000), PdfOfSize(20000)));
        raw->add("/whole-nolength", answer("HTTP/1.1 200 OK", pdfType + close, PdfOfSize(20000)));
    }
    void init() {
        cleanup();
        setUpRun();
        app().DownloadMode = 1;
        s->LastFinishTime = app().clock().now() - 10;
        s->options.duplicatePolicy = QStringLiteral("覆盖");
        s->options.workerCount = 1;
        server->clearRequests();
    }
    void cleanup() {
        if (server)
            server->releaseStalls();
        if (raw)
            raw->release();
        tearDownRun();
    }

    // Each answer once in each mode, with the user's a.pdf under the overwrite
    // policy: only a whole document replaces it, a web page lands beside it as
    // htm, and anything else leaves the folder as it was. A 503 is the site
    // asking to come back later: the row waits again, the folder as it was.
    void faultMatrix_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("outcome"); // "fail", "wait", "htm" or "pdf"
        const char* routes[][2] = {
            {"/reset-nolength", "fail"},
            {"/reset-length", "fail"},
            {"/closed-nolength-noeof", "fail"},
            {"/closed-short", "fail"},
            {"/chunked-invalid", "fail"},
            {"/chunked-overrun", "fail"},
            {"/chunked-cut", "fail"},
            {"/404-json", "fail"},
            {"/500-text", "fail"},
            {"/503-pdf-nolength", "wait"},
            {"/401-empty", "fail"},
            {"/403-page", "htm"},
            {"/big-page", "htm"},
            {"/page-as-pdf", "htm"},
            {"/gzip", "fail"},
            {"/empty", "fail"},
            {"/empty-nolength", "fail"},
            {"/whole", "pdf"},
            {"/whole-nolength", "pdf"},
        };
        for (int mode : {1, 2})
            for (const auto& r : routes)
                QTest::addRow("mode %d %s", mode, r[0]) << mode << r[0] << r[1];
    }
    void faultMatrix() {
        QFETCH(int, mode);
        QFETCH(QString, route);
        QFETCH(QString, outcome);
        app().DownloadMode = mode;
        QVERIFY(writeFile(folder() + "a.pdf", UserFile));
        add(raw->url(route.toLatin1()), "a");
        QVERIFY(runRow(0));
        const DownloadItem& r = row(0);
        if (outcome == "fail") {
            QCOMPARE(r.state, ItemState::Failed);
            QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
            QCOMPARE(names(), QStringList{"a.pdf"});
            // A cut body of announced length shows how far it came in mode
            // two; every other failure says so.
            if (!(mode == 2 && (route == "/reset-length" || route == "/closed-short")))
                QCOMPARE(r.size, QStringLiteral("下载失败"));
        } else if (outcome == "wait") {
            QCOMPARE(r.state, ItemState::Waiting);
            QVERIFY(s->sitePauseRemaining() > 0);
            QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
            QCOMPARE(names(), QStringList{"a.pdf"});
        } else if (outcome == "htm") {
            QCOMPARE(r.state, ItemState::Finished);
            QCOMPARE(r.type, QStringLiteral("htm"));
            QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
            QCOMPARE(names(), (QStringList{"a.htm", "a.pdf"}));
        } else {
            QCOMPARE(r.state, ItemState::Finished);
            QCOMPARE(r.type, QStringLiteral("pdf"));
            QCOMPARE(readAll(folder() + "a.pdf"), PdfOfSize(20000));
            QCOMPARE(names(), QStringList{"a.pdf"});
        }
        QTRY_VERIFY(!s->downloadRunning() || s->timerDownEnabled());
    }

    // A link standing at the target is replaced, never written through.
    void linkAtTargetIsReplaced_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void linkAtTargetIsReplaced() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        QTemporaryDir outside;
        const QString secret = outside.path() + "/secret.pdf";
        QVERIFY(writeFile(secret, UserFile));
        QVERIFY(QFile::link(secret, folder() + "a.pdf"));
        add(raw->url("/whole"), "a");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(secret), UserFile);
        QVERIFY(!QFileInfo(folder() + "a.pdf").isSymLink());
        QCOMPARE(readAll(folder() + "a.pdf"), PdfOfSize(20000));
    }

    // Under "大文件，跳过" without a length nothing of the body stays, and the
    // user's file keeps its place.
    void tooBigWithoutLengthKeepsUserFile_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void tooBigWithoutLengthKeepsUserFile() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        app().MaxFileSizeMB = 1;
        QVERIFY(writeFile(folder() + "a.pdf", UserFile));
        add(server->url("/nolength/3000000"), "a");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(row(0).percent, QStringLiteral("大文件，跳过"));
        QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
        QTRY_COMPARE(names(), QStringList{"a.pdf"});
    }

    // The folder goes away while the body streams: the row fails, nothing is
    // left anywhere.
    void folderVanishes_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void folderVanishes() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        const QString sub = folder() + "sub/";
        QVERIFY(QDir().mkpath(sub));
        QVERIFY(model->AddDownloadItem(server->url("/stall/3000/9000"), "v", "pdf", sub, {}));
        bool removed = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (removed || row(0).received != "3000")
                return;
            removed = true;
            QVERIFY(QDir(sub).removeRecursively());
            server->releaseStalls();
        });
        poll.start(5);
        QVERIFY(runRow(0));
        QVERIFY(removed);
        QCOMPARE(row(0).state, ItemState::Failed);
        QVERIFY(!QFileInfo::exists(sub));
    }

    // A disk that fills up: the write, the flush or the close fails, and the
    // row fails without leaving an empty or partial file.
    void fullDisk_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void fullDisk() {
        QFETCH(int, mode);
        const QString mountPoint = folder() + "small";
        QVERIFY(QDir().mkpath(mountPoint));
        if (::mount("tmpfs", mountPoint.toLocal8Bit().constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("no small file system can be made here (needs root and tmpfs)");
        const auto unmount = qScopeGuard([&] { ::umount(mountPoint.toLocal8Bit().constData()); });
        app().DownloadMode = mode;
        QVERIFY(writeFile(mountPoint + "/a.pdf", UserFile));
        QVERIFY(
            model->AddDownloadItem(server->url("/gen/600000"), "a", "pdf", mountPoint + "/", {}));
        s->options.duplicatePolicy = QStringLiteral("覆盖");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Failed);
        QCOMPARE(readAll(mountPoint + "/a.pdf"), UserFile);
        QTRY_COMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{"a.pdf"});
    }

    // A stale reservation (two bytes left by a killed worker) and a stale part
    // file are no file: under "跳过" the row still downloads, and the stale
    // part is cleared.
    void staleLeftoversDoNotCount_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void staleLeftoversDoNotCount() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        s->options.duplicatePolicy = QStringLiteral("跳过");
        QVERIFY(writeFile(folder() + "a.pdf", ReservationBytes()));
        const QString stalePart = PartFile::partPath(folder() + "a.pdf");
        QVERIFY(writeFile(stalePart, "half a body"));
        add(server->url("/gen/9000"), "a");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(folder() + "a.pdf"), FixtureServer::generatedContent(9000));
        QTRY_COMPARE(names(), QStringList{"a.pdf"});
    }

    // Two rows of one name on two workers under "跳过": the second waits for
    // the first and is judged on what it left.
    void skipWaitsForWorkerOfSameName_data() {
        QTest::addColumn<QString>("firstRoute");
        QTest::addColumn<int>("secondState");
        QTest::addColumn<QString>("secondPercent");
        QTest::newRow("first fails") << "/status/404" << int(ItemState::Finished) << "100%";
        QTest::newRow("first succeeds")
            << "/stall/3000/9000" << int(ItemState::Finished) << "已存在，跳过";
    }
    void skipWaitsForWorkerOfSameName() {
        QFETCH(QString, firstRoute);
        QFETCH(int, secondState);
        QFETCH(QString, secondPercent);
        app().DownloadMode = 2;
        s->options.workerCount = 2;
        s->options.duplicatePolicy = QStringLiteral("跳过");
        add(server->url(firstRoute), "same");
        add(server->url("/gen/5000?second"), "same");
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Downloading);
        QCOMPARE(row(1).state, ItemState::Waiting);
        if (firstRoute.startsWith("/stall")) {
            // Released once its first bytes are in: the second row is still held.
            QTRY_COMPARE(row(0).received, QStringLiteral("3000"));
            s->schedulerTick();
            QCOMPARE(row(1).state, ItemState::Waiting);
            server->releaseStalls();
        }
        QTRY_VERIFY(row(0).state != ItemState::Downloading);
        app().clock().advance(1); // past the pause after a finished row
        s->schedulerTick();
        QTRY_VERIFY(row(1).state != ItemState::Downloading && row(1).state != ItemState::Waiting);
        QCOMPARE(int(row(1).state), secondState);
        QCOMPARE(row(1).percent, secondPercent);
        QVERIFY(QFileInfo(folder() + "same.pdf").size() > 2);
    }

    // A process killed in the middle of a body leaves no final name holding
    // an incomplete file, keeps the user's file, and a second run under "跳过"
    // downloads the articles.
    void killedMidBody_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void killedMidBody() {
        QFETCH(int, mode);
        QVERIFY(writeFile(folder() + "kept.pdf", UserFile));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QStringLiteral(TRANSFER_CHILD),
                    {QString::number(mode), folder(), server->url("/stall/3000/90000"),
                     server->url("/stall/3000/100000")});
        QVERIFY(child.waitForStarted());
        // The bodies have begun (one in mode one, both in mode two): their
        // first bytes are in part files.
        QTRY_VERIFY_WITH_TIMEOUT(server->requestsFor("/stall/3000/90000").size() == 1, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                int parts = 0;
                for (const QString& n : names())
                    if (n.endsWith(".part") && QFileInfo(folder() + n).size() == 3000)
                        ++parts;
                return parts >= (mode == 1 ? 1 : 2);
            }(),
            30000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        // Nothing but the user's file stands under a final name: the names the
        // transfers were on their way to were held without writing there.
        QStringList left;
        for (const QString& n : names())
            if (!n.startsWith('.')) // part files are hidden and never final
                left << n;
        QCOMPARE(left, QStringList{"kept.pdf"});
        QCOMPARE(readAll(folder() + "kept.pdf"), UserFile);

        // Again, in this process, under the skip policy.
        server->releaseStalls();
        app().DownloadMode = mode;
        s->options.duplicatePolicy = QStringLiteral("跳过");
        s->options.workerCount = 2;
        add(server->url("/gen/100000"), "new");
        add(server->url("/gen/90000"), "kept");
        while (model->统计未下载项数目() > 0) {
            app().clock().advance(1); // past the pause after a finished row
            s->schedulerTick();
            QTRY_VERIFY(model->item(0).state != ItemState::Downloading &&
                        model->item(1).state != ItemState::Downloading);
        }
        QCOMPARE(readAll(folder() + "new.pdf"), FixtureServer::generatedContent(100000));
        QCOMPARE(row(1).percent, QStringLiteral("已存在，跳过"));
        QCOMPARE(readAll(folder() + "kept.pdf"), UserFile);
        QStringList visible;
        for (const QString& n : names())
            if (!n.startsWith('.'))
                visible << n;
        QCOMPARE(visible, (QStringList{"kept.pdf", "new.pdf"}));
        // The part of "new" was cleared by its next transfer, that of "kept"
        // when the row found the user's file and ended.
        for (const QString& n : names())
            QVERIFY2(!n.endsWith(".part"), qPrintable(n));
    }

    // A target's part file is found by its name alone, in a folder of many
    // files: a stale one is removed, a live one is never touched (and holds
    // the name), and a part of another name that merely starts the same is
    // someone else's.
    void partFilesOfATarget() {
        for (int k = 0; k < 3000; ++k)
            QVERIFY(writeFile(folder() + QStringLiteral("other %1.pdf").arg(k), "x"));
        const QString target = folder() + "a.pdf";
        const QString stale = PartFile::partPath(target);
        QVERIFY(QFileInfo(stale).fileName().startsWith(".a.pdf."));
        const QString longer = PartFile::partPath(folder() + "a.pdf.old");
        const QString cousin = folder() + ".a.pdf.0123456789.part.x";
        QVERIFY(writeFile(stale, "left by a killed process"));
        QVERIFY(writeFile(longer, "another target's part"));
        QVERIFY(writeFile(cousin, "not a part of a.pdf"));
        QVERIFY(!PartFile::isHeld(target));
        QCOMPARE(PartFile::removeStaleParts(target), 1);
        QVERIFY(!QFileInfo::exists(stale));
        QVERIFY(QFileInfo::exists(longer));
        QVERIFY(QFileInfo::exists(cousin));

        PartFile live(target);
        QVERIFY(live.open());
        QCOMPARE(live.path(), stale);
        QVERIFY(live.device()->write("streaming") == 9);
        QVERIFY(PartFile::isHeld(target));
        QCOMPARE(PartFile::removeStaleParts(target), 0);
        QCOMPARE(readAll(live.path()), QByteArray("streaming"));
        // The held name counts as taken for a new row of the same name.
        QString newName;
        QCOMPARE(重命名保存路径(folder(), "a", "pdf", SameNamePolicy::Rename, newName),
                 folder() + "a[001].pdf");
        // A second transfer to the same target (another process) gets a part
        // of its own beside it.
        PartFile second(target);
        QVERIFY(second.open());
        QVERIFY(second.path() != live.path());
        QCOMPARE(QFileInfo(second.path()).absolutePath(), QFileInfo(target).absolutePath());
        second.discard();
        live.discard();
        QVERIFY(!PartFile::isHeld(target));
        QCOMPARE(重命名保存路径(folder(), "a", "pdf", SameNamePolicy::Rename, newName),
                 folder() + "a.pdf");
        QVERIFY(QFileInfo::exists(longer));
        QVERIFY(QFileInfo::exists(cousin));
    }

    // Each row command on a failed row under "覆盖" leaves the user's file
    // that the failed transfer kept; a file the row itself put in place is
    // still the row's to delete.
    void rowCommandsKeepTheUsersFile_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("command");
        for (int mode : {1, 2}) {
            for (const char* c : {"重新下载>出错项", "自动重新下载", "删除文件>出错项", "双击"}) {
                const QByteArray tag = QByteArray("mode ") + QByteArray::number(mode) + ", " + c;
                QTest::newRow(tag.constData()) << mode << QString::fromUtf8(c);
            }
        }
    }
    void rowCommandsKeepTheUsersFile() {
        QFETCH(int, mode);
        QFETCH(QString, command);
        app().DownloadMode = mode;
        QVERIFY(writeFile(folder() + "a.pdf", UserFile));
        add(server->url("/status/500"), "a");
        add(server->url("/gen/7000"), "b");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Failed);
        app().clock().advance(1);
        QVERIFY(runRow(1));
        QCOMPARE(row(1).state, ItemState::Finished);
        QVERIFY(row(1).placed);
        QCOMPARE(readAll(folder() + "a.pdf"), UserFile);

        const auto apply = [&](int i) {
            if (command == "重新下载>出错项") {
                s->redownloadFailed();
            } else if (command == "自动重新下载") {
                s->options.autoRedownload = true;
                s->options.autoRedownloadChoice = 0;
                s->setTimerDownEnabled(false); // the run has ended
                s->housekeepingTick();
            } else if (command == "删除文件>出错项") {
                s->DeleteRowFile(i);
            } else { // what a double-click on a failed row does
                s->RequeueRow(i);
            }
        };
        apply(0);
        QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
        // The finished row's own file, failed by hand, is the row's to delete;
        // put back for another attempt, the row keeps it until a new one
        // takes its place.
        model->setState(1, ItemState::Failed);
        apply(1);
        if (command == "删除文件>出错项") {
            QVERIFY(!QFileInfo::exists(folder() + "b.pdf"));
        } else {
            QCOMPARE(readAll(folder() + "b.pdf"), FixtureServer::generatedContent(7000));
            QVERIFY(row(1).placed);
        }
        QCOMPARE(readAll(folder() + "a.pdf"), UserFile);
    }

    // A transfer cut half-way keeps its part when the server can resume it;
    // the row's next attempt asks for the rest and gets the whole file byte
    // for byte: appended to a server that sends ranges, started over from
    // one that ignores them or whose file changed in between.
    void resumeCutTransfer_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("server");
        QTest::addColumn<bool>("appended");
        for (int mode : {1, 2}) {
            const QByteArray m = "mode " + QByteArray::number(mode);
            QTest::newRow(m + ", sends ranges") << mode << "ranges" << true;
            QTest::newRow(m + ", ignores ranges") << mode << "ignores" << false;
            QTest::newRow(m + ", file changed") << mode << "changes" << false;
        }
    }
    void resumeCutTransfer() {
        QFETCH(int, mode);
        QFETCH(QString, server);
        QFETCH(bool, appended);
        app().DownloadMode = mode;
        const QByteArray body = PdfOfSize(300000);
        const qsizetype total = body.size();
        const QByteArray path = "/resume-" + server.toLatin1() + "-" + QByteArray::number(mode);
        qint64 sent = 0;
        qint64 lastSent = 0;
        raw->addResponder(path, [&](const QByteArray& head) {
            qsizetype from = -1;
            const qsizetype at = head.indexOf("\r\nRange: bytes=");
            if (at >= 0)
                from = head.mid(at + 15).split('-').value(0).toLongLong();
            // The file changes between the first answer and the next request.
            const QByteArray etag = server == "changes" && from >= 0 ? "\"v2\"" : "\"v1\"";
            const QByteArray common = "Content-Type: application/pdf\r\nAccept-Ranges: bytes\r\n"
                                      "ETag: " +
                                      etag + "\r\n";
            const bool sameFile = head.contains("\r\nIf-Range: " + etag);
            if (server == "ranges" && from > 0 && sameFile) {
                sent += total - from;
                lastSent = total - from;
                return RawServer::Reply{
                    answer("HTTP/1.1 206 Partial Content",
                           common + "Content-Range: bytes " + QByteArray::number(from) + "-" +
                               QByteArray::number(total - 1) + "/" + QByteArray::number(total) +
                               "\r\n" + lengthHeader(total - from),
                           body.mid(from)),
                    RawServer::End::Close};
            }
            // A request without a range is cut after a third of the body.
            const QByteArray bodySent = from < 0 ? body.left(total / 3) : body;
            sent += bodySent.size();
            lastSent = bodySent.size();
            return RawServer::Reply{
                answer("HTTP/1.1 200 OK", common + lengthHeader(total), bodySent),
                from < 0 ? RawServer::End::Reset : RawServer::End::Close};
        });
        add(raw->url(path), "cut");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Failed);
        QVERIFY(!QFileInfo::exists(folder() + "cut.pdf"));
        const QString part = PartFile::partPath(folder() + "cut.pdf");
        QTRY_VERIFY(QFileInfo::exists(part));
        QVERIFY(QFileInfo(part).size() > 0);

        s->redownloadFailed();
        app().clock().advance(1);
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(readAll(folder() + "cut.pdf"), body);
        QCOMPARE(row(0).received, QString::number(total));
        QCOMPARE(row(0).percent, QStringLiteral("100%"));
        // (The network layer may send the first request again by itself when
        // its answer is reset.)
        const QList<QByteArray> heads = raw->heads(path);
        QVERIFY2(heads.size() >= 2, heads.join("\n----\n").constData());
        for (qsizetype k = 0; k + 1 < heads.size(); ++k)
            QVERIFY(!heads.at(k).contains("Range:"));
        const QByteArray last = heads.last();
        QVERIFY2(last.contains("\r\nRange: bytes=" + QByteArray::number(total / 3) + "-\r\n"),
                 last.constData());
        QVERIFY(last.contains("\r\nIf-Range: \"v1\""));
        // Appended: the last answer carried only the rest, and well under twice
        // the file went over the wire in all.
        QCOMPARE(lastSent, appended ? total - total / 3 : total);
        if (appended)
            QVERIFY2(sent < total * 2, QByteArray::number(sent).constData());
        QTRY_COMPARE(names(), QStringList{"cut.pdf"});
    }

    // A site that asks to wait in answer to the ranged request of a resume
    // answers nothing about the file: the kept part stays as it was, and the
    // attempt after the pause asks for the same rest.
    void resumeAfterSitePause_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void resumeAfterSitePause() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        s->options.workerCount = 1;
        const QByteArray body = PdfOfSize(300000);
        const qsizetype total = body.size();
        const qsizetype cut = total / 3;
        const QByteArray path = "/resume-pause-" + QByteArray::number(mode);
        int ranged = 0;
        raw->addResponder(path, [&](const QByteArray& head) {
            const QByteArray common = "Content-Type: application/pdf\r\nAccept-Ranges: bytes\r\n"
                                      "ETag: \"v1\"\r\n";
            const qsizetype at = head.indexOf("\r\nRange: bytes=");
            if (at < 0)
                return RawServer::Reply{
                    answer("HTTP/1.1 200 OK", common + lengthHeader(total), body.left(cut)),
                    RawServer::End::Reset};
            if (++ranged == 1)
                return RawServer::Reply{
                    answer("HTTP/1.1 429 Too Many Requests",
                           "Content-Type: text/plain\r\nRetry-After: 5\r\n" + lengthHeader(9),
                           "slow down")};
            const qsizetype from = head.mid(at + 15).split('-').value(0).toLongLong();
            return RawServer::Reply{
                answer("HTTP/1.1 206 Partial Content",
                       common + "Content-Range: bytes " + QByteArray::number(from) + "-" +
                           QByteArray::number(total - 1) + "/" + QByteArray::number(total) +
                           "\r\n" + lengthHeader(total - from),
                       body.mid(from))};
        });
        add(raw->url(path), "paused");
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Failed);
        const QString part = PartFile::partPath(folder() + "paused.pdf");
        QTRY_VERIFY(QFileInfo::exists(part) && !PartFile::isHeld(folder() + "paused.pdf"));
        QCOMPARE(readAll(part), body.left(cut));

        s->redownloadFailed();
        app().clock().advance(1);
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(s->sitePauseRemaining() > 0, 20000);
        QCOMPARE(ranged, 1);
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(model->CountErrorRows(), 0);
        // The answer to wait left the part and what it remembers alone.
        QTRY_VERIFY(!PartFile::isHeld(folder() + "paused.pdf"));
        QCOMPARE(readAll(part), body.left(cut));
        PartFile::ResumeFacts facts;
        QCOMPARE(PartFile::peekResume(folder() + "paused.pdf", raw->url(path), &facts),
                 qint64(cut));
        QCOMPARE(facts.validator, QByteArray("\"v1\""));

        app().clock().advance(6);
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(ranged, 2);
        QCOMPARE(readAll(folder() + "paused.pdf"), body);
        QCOMPARE(row(0).type, QStringLiteral("pdf"));
        QCOMPARE(model->CountErrorRows(), 0);
        const QList<QByteArray> heads = raw->heads(path);
        QVERIFY2(heads.size() >= 3, heads.join("\n----\n").constData());
        const QByteArray range = "\r\nRange: bytes=" + QByteArray::number(cut) + "-\r\n";
        QVERIFY2(heads.at(heads.size() - 2).contains(range), heads.join("\n----\n").constData());
        QVERIFY2(heads.last().contains(range), heads.last().constData());
        QVERIFY(heads.last().contains("\r\nIf-Range: \"v1\""));
        QTRY_COMPARE(names(), QStringList{"paused.pdf"});
    }

    // "停止下载" in the middle of a resumable body keeps the part and what it
    // remembers (here a date the server's clock puts an hour back); the row's
    // progress shows what is there; once the row leaves the list, its part goes.
    void stopKeepsPartUntilRowGoes_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void stopKeepsPartUntilRowGoes() {
        QFETCH(int, mode);
        app().DownloadMode = mode;
        const QByteArray body = PdfOfSize(90000);
        const QByteArray path = "/resume-stop-" + QByteArray::number(mode);
        raw->add(path,
                 answer("HTTP/1.1 200 OK",
                        "Content-Type: application/pdf\r\nAccept-Ranges: bytes\r\n"
                        "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n"
                        "Date: Tue, 01 Dec 2026 11:00:00 GMT\r\n" +
                            lengthHeader(body.size()),
                        body.left(30000)),
                 RawServer::End::Hold);
        add(raw->url(path), "held");
        // Mode one waits inside the tick: the stop comes from the event loop,
        // as the user's click does, once the first third is shown.
        QString shownPercent;
        QObject::connect(model.get(), &QAbstractItemModel::dataChanged, s.get(), [&] {
            if (shownPercent.isEmpty() && row(0).received == QStringLiteral("30000")) {
                shownPercent = row(0).percent;
                QMetaObject::invokeMethod(s.get(), &Scheduler::stopDownload, Qt::QueuedConnection);
            }
        });
        QTimer::singleShot(0, s.get(), [&] { s->schedulerTick(); });
        QTRY_VERIFY(row(0).state == ItemState::Failed && !s->inetExecuting());
        QCOMPARE(shownPercent, QStringLiteral("33%"));
        const QString part = PartFile::partPath(folder() + "held.pdf");
        QTRY_VERIFY(!PartFile::isHeld(folder() + "held.pdf"));
        QCOMPARE(readAll(part), body.left(30000));
        QVERIFY(QFileInfo::exists(PartFile::resumePath(part)));
        PartFile::ResumeFacts facts;
        QCOMPARE(PartFile::peekResume(folder() + "held.pdf", raw->url(path), &facts), 30000);
        QCOMPARE(facts.total, qint64(body.size()));
        QCOMPARE(facts.validator, QByteArray("Tue, 01 Dec 2026 10:00:00 GMT"));

        ForgetRowPart(row(0));
        QCOMPARE(names(), QStringList());
        raw->release();
    }

    // A name that cleans to nothing never gives the hidden file ".pdf": the
    // address's file name stands in, else "未命名".
    void namesThatCleanToNothing_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("expected");
        for (int mode : {1, 2}) {
            const QByteArray m = "mode " + QByteArray::number(mode);
            QTest::newRow(m + ", ...") << mode << "..."
                                       << "/gen/900"
                                       << "900.pdf";
            QTest::newRow(m + ", ..") << mode << ".."
                                      << "/gen/901"
                                      << "901.pdf";
            QTest::newRow(m + ", spaces") << mode << "   "
                                          << "/gen/902"
                                          << "902.pdf";
            QTest::newRow(m + ", empty") << mode << ""
                                         << "/gen/903"
                                         << "903.pdf";
            QTest::newRow(m + ", no file name") << mode << "."
                                                << "/noname/"
                                                << "未命名.pdf";
        }
    }
    void namesThatCleanToNothing() {
        QFETCH(int, mode);
        QFETCH(QString, name);
        QFETCH(QString, route);
        QFETCH(QString, expected);
        app().DownloadMode = mode;
        s->options.duplicatePolicy = QStringLiteral("重命名");
        add(server->url(route), name);
        QVERIFY(runRow(0));
        QCOMPARE(row(0).state, ItemState::Finished);
        QCOMPARE(RowFilePath(row(0)), folder() + expected);
        QTRY_COMPARE(names(), QStringList{expected});
    }
};

QTEST_MAIN(TestIntegrity)
#include "tst_integrity.moc"
