#include "download/Downloader.h"

#include "FixtureServer.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "platform/PartFile.h"
#include "platform/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

// Waits on events until done() or timeoutMs of real time passed.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer elapsed;
    elapsed.start();
    Wait::until([&] { return done() || elapsed.elapsed() >= timeoutMs; }, 10);
    return done();
}

// Every entry of a folder, hidden ones (part files) included.
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// A worker and what it reported.
struct Run {
    explicit Run(int index = 1)
        : worker(new Downloader(index)), progress(worker, &Downloader::DownloadProgress),
          complete(worker, &Downloader::DownloadComplete),
          error(worker, &Downloader::DownloadError) {}
    ~Run() { delete worker.data(); }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    bool ended() const { return complete.count() + error.count() > 0; }
    bool waitEnded(int timeoutMs = 15000) const {
        return waitFor([this] { return ended(); }, timeoutMs);
    }
    QString missCode() const { return error.isEmpty() ? QString() : error.last().at(2).toString(); }

    QPointer<Downloader> worker;
    QSignalSpy progress;
    QSignalSpy complete;
    QSignalSpy error;
};

} // namespace

class tst_Downloader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void completesWithExactContent_data();
    void completesWithExactContent();
    void errorPagesAreContent_data();
    void errorPagesAreContent();
    void streamsToDiskBehindHeldName();
    void watchdog_data();
    void watchdog();
    void noResponseWithin30Seconds();
    void endsWithoutContent_data();
    void endsWithoutContent();
    void shortReadDropsPartialBody();
    void sizeLimit_data();
    void sizeLimit();
    void handlerMayUnloadFromItsOwnSignal_data();
    void handlerMayUnloadFromItsOwnSignal();
    void destroyingAbandonsTransfer();
    void existingFileReplacedOnlyOnSuccess();
    void neverRemovesAnotherWorkersContent();
    void unwritableFolderFailsFromEventLoop();
    void requestThroughProxyWithReferer();

private:
    QString savePath(const QString& name) const { return m_dir->path() + QLatin1Char('/') + name; }
    QString address(const QString& scheme, const QString& path) const {
        return scheme == QLatin1String("https") ? m_server->httpsUrl(path) : m_server->url(path);
    }

    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<TestApp> m_app;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_Downloader::initTestCase() {
    m_server = std::make_unique<FixtureServer>();
    QVERIFY(m_server->isRunning());
}

void tst_Downloader::init() {
    m_app = std::make_unique<TestApp>();
    m_app->values->transport().addCaCertificates(FixtureServer::caCertificates());
    m_app->values->MaxFileSizeMB = 10;
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_server->clearRequests();
}

void tst_Downloader::cleanup() {
    m_server->releaseStalls();
    // Requests handed to the event loop for deletion go before the transport does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_dir.reset();
    m_app.reset();
}

void tst_Downloader::completesWithExactContent_data() {
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("progress"); // 1: notices seen, 0: none, -1: either

    for (const char* scheme : {"http", "https"}) {
        const QByteArray s(scheme);
        QTest::newRow(s + " known length") << scheme << "/gen/300000" << qint64(300000) << 1;
        QTest::newRow(s + " no length") << scheme << "/nolength/300000" << qint64(300000) << 0;
        QTest::newRow(s + " chunked") << scheme << "/chunked/300000" << qint64(300000) << 0;
        QTest::newRow(s + " 302 to a file") << scheme << "/redirect" << qint64(4096) << -1;
        QTest::newRow(s + " redirect chain") << scheme << "/redirect/3" << qint64(4096) << -1;
    }
}

void tst_Downloader::completesWithExactContent() {
    QFETCH(QString, scheme);
    QFETCH(QString, path);
    QFETCH(qint64, size);
    QFETCH(int, progress);

    Run run(3);
    const QString target = savePath(QStringLiteral("article.pdf"));
    run.worker->BeginDownload(address(scheme, path), target, QString());
    QVERIFY(run.worker->isRunning());
    QVERIFY(run.waitEnded());

    QCOMPARE(run.error.count(), 0);
    QCOMPARE(run.complete.count(), 1);
    const QList<QVariant> args = run.complete.first();
    QCOMPARE(args.at(0).toInt(), 3);
    QCOMPARE(args.at(1).toLongLong(), size);
    QCOMPARE(args.at(2).toLongLong(), size); // unannounced: its length, so it shows as 100%
    QCOMPARE(args.at(3).toString(), target);
    QCOMPARE(readAll(target), FixtureServer::generatedContent(size));
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("article.pdf")});
    QVERIFY(!run.worker->isRunning());
    // Progress only for an announced total, and it carries that total.
    if (progress == 1)
        QVERIFY(!run.progress.isEmpty());
    else if (progress == 0)
        QCOMPARE(run.progress.count(), 0);
    for (const auto& notice : run.progress) {
        QCOMPARE(notice.at(0).toInt(), 3);
        QCOMPARE(notice.at(2).toLongLong(), size);
        QVERIFY(notice.at(1).toLongLong() <= size);
    }
}

void tst_Downloader::errorPagesAreContent_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("login page under a .pdf address") << "/error.pdf";
    QTest::newRow("404 with a page") << "/missing.pdf";
}

// A page instead of the file is what arrived: it is saved as a web page
// beside the planned name, so the window can log in and retry, and the
// planned name never holds it.
void tst_Downloader::errorPagesAreContent() {
    QFETCH(QString, path);
    Run run;
    const QString target = savePath(QStringLiteral("paper.pdf"));
    run.worker->BeginDownload(m_server->url(path), target, QString());
    QVERIFY(run.waitEnded());
    QCOMPARE(run.complete.count(), 1);
    QCOMPARE(run.complete.first().at(3).toString(), savePath(QStringLiteral("paper.htm")));
    QVERIFY(!QFileInfo::exists(target));
    const QByteArray content = readAll(savePath(QStringLiteral("paper.htm")));
    QVERIFY(content.toLower().contains("<html"));
    QCOMPARE(run.complete.first().at(1).toLongLong(), qint64(content.size()));
    QCOMPARE(run.complete.first().at(2).toLongLong(), qint64(content.size()));
}

void tst_Downloader::streamsToDiskBehindHeldName() {
    Run run;
    const QString target = savePath(QStringLiteral("stalled.pdf"));
    const qint64 before = 700000, total = 900000;
    run.worker->BeginDownload(m_server->url(QStringLiteral("/stall/%1/%2").arg(before).arg(total)),
                              target, QString());
    // Nothing stands under the name before the whole body is there; the
    // worker's locked part file holds the name meanwhile.
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(PartFile::isHeld(target));
    QVERIFY(waitFor([&] { return run.worker->bytesRead() == before; }));
    QCOMPARE(run.worker->bytesExpected(), total);

    // The bytes received so far are already on disk in the part file beside the
    // target, while the target name is still free of any file: the body is not
    // collected in memory.
    const QString part = run.worker->partFile();
    QVERIFY(!part.isEmpty());
    QCOMPARE(QFileInfo(part).absolutePath(), QFileInfo(target).absolutePath());
    // (Less at most the file's small write buffer.)
    const qint64 onDisk = QFileInfo(part).size();
    QVERIFY2(onDisk >= before - 64 * 1024, QByteArray::number(onDisk));
    QCOMPARE(readAll(part), FixtureServer::generatedContent(total).left(onDisk));
    QVERIFY(!QFileInfo::exists(target));
    QVERIFY(m_app->values->transport().readBufferSize() <= 4 * 1024 * 1024);
    QVERIFY(!run.progress.isEmpty());

    m_server->releaseStalls();
    QVERIFY(run.waitEnded());
    QCOMPARE(run.complete.count(), 1);
    QCOMPARE(run.complete.first().at(1).toLongLong(), total);
    QCOMPARE(readAll(target), FixtureServer::generatedContent(total));
    QVERIFY(!QFileInfo::exists(part));
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("stalled.pdf")});
    QVERIFY(QFileInfo(target).permissions() & QFileDevice::ReadOther);
}

void tst_Downloader::watchdog_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("before");
    QTest::addColumn<bool>("timesOut");

    QTest::newRow("stall after some bytes") << "/stall/5000/9000" << qint64(5000) << true;
    QTest::newRow("stall just short, then grows") << "/stall/5000/9000" << qint64(5000) << false;
}

// No answer (or a header block that never ends) is given up after 30 s, not
// after the 300 s of the watchdog.
void tst_Downloader::noResponseWithin30Seconds() {
    Run run(5);
    const QString target = savePath(QStringLiteral("silent.pdf"));
    run.worker->BeginDownload(m_server->url(QStringLiteral("/hang")), target, QString());
    QVERIFY(m_server->waitForRequests(QStringLiteral("/hang")));
    m_app->values->clock().advance(Downloader::ResponseWaitSeconds - 1);
    QVERIFY(run.worker->isRunning());
    m_app->values->clock().advance(1);
    QVERIFY(run.waitEnded(5000));
    QCOMPARE(run.missCode(), QStringLiteral("超时"));
    QCOMPARE(entries(m_dir->path()), QStringList());
}

void tst_Downloader::watchdog() {
    QFETCH(QString, path);
    QFETCH(qint64, before);
    QFETCH(bool, timesOut);

    Run run(5);
    const QString target = savePath(QStringLiteral("slow.pdf"));
    run.worker->BeginDownload(m_server->url(path), target, QString());
    QVERIFY(m_server->waitForRequests(path));
    QVERIFY(waitFor([&] { return run.worker->bytesRead() == before; }));
    // A watchdog tick sees the last growth; then the body stalls on the
    // program clock to just short of the limit, and the next tick lets it be.
    QVERIFY(fireTimer(run.worker, "Timer1"));
    m_app->values->clock().advance(Downloader::WatchdogSeconds - 5);
    QVERIFY(fireTimer(run.worker, "Timer1"));
    QVERIFY(!run.ended());
    QVERIFY(run.worker->isRunning());

    if (timesOut) {
        m_app->values->clock().advance(5);
        QVERIFY(fireTimer(run.worker, "Timer1"));
        QVERIFY(run.ended());
        QCOMPARE(run.error.count(), 1);
        QCOMPARE(run.error.first().at(0).toInt(), 5);
        QCOMPARE(run.error.first().at(1).toString(), target);
        QCOMPARE(run.missCode(), QStringLiteral("超时"));
        QCOMPARE(run.complete.count(), 0);
        QVERIFY(!run.worker->isRunning());
        // Nothing left under the article's name, no part file.
        QCOMPARE(entries(m_dir->path()), QStringList());
        m_server->releaseStalls();
        Wait::forMs(200);
        QCOMPARE(run.complete.count() + run.error.count(), 1);
    } else {
        m_server->releaseStalls();
        QVERIFY(run.waitEnded());
        QCOMPARE(run.complete.count(), 1);
        QCOMPARE(readAll(target), FixtureServer::generatedContent(9000));
    }
}

void tst_Downloader::endsWithoutContent_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("loggedPath");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("missCode");

    // An empty answer is an answer: asking again would get the same.
    QTest::newRow("empty 404") << QStringLiteral("http:/status/404") << "/status/404" << 1
                               << "下载失败";
    QTest::newRow("empty 200") << QStringLiteral("http:/status/200") << "/status/200" << 1
                               << "下载失败";
    // No answer at all: the worker tries the address once more, then gives up.
    QTest::newRow("untrusted certificate")
        << QStringLiteral("untrusted:/file.pdf") << "/file.pdf" << 0 << "无法下载";
    QTest::newRow("connection refused")
        << QStringLiteral("refused:") << QString() << 0 << "无法下载";
    QTest::newRow("not an address")
        << QStringLiteral("ftp://127.0.0.1/x.pdf") << QString() << 0 << "无法下载";
}

void tst_Downloader::endsWithoutContent() {
    QFETCH(QString, url);
    QFETCH(QString, loggedPath);
    QFETCH(int, requests);
    QFETCH(QString, missCode);

    QString address = url;
    if (url.startsWith(QLatin1String("http:/")))
        address = m_server->url(url.mid(5));
    else if (url.startsWith(QLatin1String("untrusted:/")))
        address = m_server->untrustedUrl(url.mid(10));
    else if (url == QLatin1String("refused:")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        address = QStringLiteral("http://127.0.0.1:%1/a.pdf").arg(probe.serverPort());
        probe.close();
    }

    Run run;
    const QString target = savePath(QStringLiteral("missing.pdf"));
    run.worker->BeginDownload(address, target, QString());
    QVERIFY(run.waitEnded());
    QCOMPARE(run.complete.count(), 0);
    QCOMPARE(run.error.count(), 1);
    QCOMPARE(run.missCode(), missCode);
    QCOMPARE(entries(m_dir->path()), QStringList());
    if (!loggedPath.isEmpty())
        QCOMPARE(m_server->requestsFor(loggedPath).count(), requests);
}

void tst_Downloader::shortReadDropsPartialBody() {
    Run run;
    const QString target = savePath(QStringLiteral("cut.pdf"));
    run.worker->BeginDownload(m_server->url(QStringLiteral("/early/3000/8000")), target, QString());
    QVERIFY(run.waitEnded());
    // Reported as a completion short of the announced total, which the window
    // marks failed; the partial body is not left under the article's name.
    QCOMPARE(run.error.count(), 0);
    QCOMPARE(run.complete.count(), 1);
    QCOMPARE(run.complete.first().at(1).toLongLong(), qint64(3000));
    QCOMPARE(run.complete.first().at(2).toLongLong(), qint64(8000));
    QCOMPARE(entries(m_dir->path()), QStringList());
}

void tst_Downloader::sizeLimit_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("announced");

    const qint64 over = 1024 * 1024 + 1;
    QTest::newRow("announced") << QStringLiteral("/gen/%1").arg(over) << true;
    QTest::newRow("no length") << QStringLiteral("/nolength/%1").arg(3 * over) << false;
    QTest::newRow("chunked") << QStringLiteral("/chunked/%1").arg(3 * over) << false;
}

void tst_Downloader::sizeLimit() {
    QFETCH(QString, path);
    QFETCH(bool, announced);

    m_app->values->MaxFileSizeMB = 1;
    Run run;
    const QString target = savePath(QStringLiteral("big.pdf"));
    run.worker->BeginDownload(m_server->url(path), target, QString());
    QVERIFY(run.waitEnded());
    QCOMPARE(run.complete.count(), 0);
    QCOMPARE(run.error.count(), 1);
    QCOMPARE(run.missCode(), QStringLiteral("大文件，跳过"));
    if (announced) {
        // The window learns the size from the first notice, before the end.
        QCOMPARE(run.progress.count(), 1);
        QCOMPARE(run.progress.first().at(2).toLongLong(), qint64(1024 * 1024 + 1));
    } else {
        QCOMPARE(run.progress.count(), 0);
    }
    QCOMPARE(entries(m_dir->path()), QStringList());

    // Exactly at the limit is not over it.
    Run atLimit;
    atLimit.worker->BeginDownload(m_server->url(QStringLiteral("/nolength/%1").arg(1024 * 1024)),
                                  target, QString());
    QVERIFY(atLimit.waitEnded());
    QCOMPARE(atLimit.complete.count(), 1);
    QCOMPARE(QFileInfo(target).size(), qint64(1024 * 1024));
}

void tst_Downloader::handlerMayUnloadFromItsOwnSignal_data() {
    QTest::addColumn<QString>("signal");
    QTest::addColumn<bool>("direct"); // delete at once rather than unload()

    for (const bool direct : {false, true}) {
        const QByteArray how = direct ? " delete" : " unload";
        QTest::newRow("progress" + how) << "progress" << direct;
        QTest::newRow("complete" + how) << "complete" << direct;
        QTest::newRow("error" + how) << "error" << direct;
    }
}

void tst_Downloader::handlerMayUnloadFromItsOwnSignal() {
    QFETCH(QString, signal);
    QFETCH(bool, direct);

    auto* worker = new Downloader(2);
    QPointer<Downloader> guard(worker);
    int notices = 0;
    auto end = [&] {
        ++notices;
        if (direct)
            delete worker;
        else
            worker->unload();
    };
    if (signal == QLatin1String("progress"))
        connect(worker, &Downloader::DownloadProgress, this, end);
    else
        connect(worker, &Downloader::DownloadProgress, this, [] {});
    if (signal == QLatin1String("complete"))
        connect(worker, &Downloader::DownloadComplete, this, end);
    else
        connect(worker, &Downloader::DownloadComplete, this, [&] { ++notices; });
    if (signal == QLatin1String("error"))
        connect(worker, &Downloader::DownloadError, this, end);
    else
        connect(worker, &Downloader::DownloadError, this, [&] { ++notices; });

    const QString target = savePath(QStringLiteral("x.pdf"));
    const QString url = signal == QLatin1String("error")
                            ? m_server->url(QStringLiteral("/status/500"))
                            : m_server->url(QStringLiteral("/gen/2000000"));
    worker->BeginDownload(url, target, QString());
    QVERIFY(waitFor([&] { return !guard; }));
    Wait::forMs(200);
    QCOMPARE(notices, 1);
    if (signal == QLatin1String("complete"))
        QCOMPARE(QFileInfo(target).size(), qint64(2000000));
    else
        QCOMPARE(entries(m_dir->path()), QStringList());
}

void tst_Downloader::destroyingAbandonsTransfer() {
    auto run = std::make_unique<Run>();
    const QString target = savePath(QStringLiteral("gone.pdf"));
    run->worker->BeginDownload(m_server->url(QStringLiteral("/stall/4000/8000")), target,
                               QString());
    QVERIFY(waitFor([&] { return run->worker->bytesRead() == 4000; }));
    QVERIFY(QFileInfo::exists(run->worker->partFile()));
    QCOMPARE(entries(m_dir->path()).count(), 1); // the part file, nothing under the name

    QSignalSpy complete(run->worker.data(), &Downloader::DownloadComplete);
    QSignalSpy error(run->worker.data(), &Downloader::DownloadError);
    delete run->worker.data();
    // Cleaned up at once, not when the event loop runs.
    QCOMPARE(entries(m_dir->path()), QStringList());
    m_server->releaseStalls();
    Wait::forMs(300);
    QCOMPARE(complete.count() + error.count(), 0);

    // Cancelling leaves the worker loaded but idle, with the same clean-up.
    Run cancelled;
    cancelled.worker->BeginDownload(m_server->url(QStringLiteral("/stall/4000/8000")), target,
                                    QString());
    QVERIFY(waitFor([&] { return cancelled.worker->bytesRead() == 4000; }));
    cancelled.worker->CancelAsyncRead();
    QVERIFY(!cancelled.worker->isRunning());
    QCOMPARE(entries(m_dir->path()), QStringList());
    m_app->values->clock().advance(400);
    m_server->releaseStalls();
    // A watchdog tick past the limit finds nothing to end.
    QVERIFY(fireTimer(cancelled.worker, "Timer1"));
    Wait::processEventsOnce();
    QVERIFY(!cancelled.ended());
}

void tst_Downloader::existingFileReplacedOnlyOnSuccess() {
    const QString target = savePath(QStringLiteral("mine.pdf"));
    const QByteArray userContent("the user's own file");
    QVERIFY(writeFile(target, userContent));

    // The overwrite policy hands the worker an existing path: a failed read
    // leaves the file alone, also while the transfer runs.
    {
        Run run;
        run.worker->BeginDownload(m_server->url(QStringLiteral("/early/100/500")), target,
                                  QString());
        QCOMPARE(readAll(target), userContent);
        QVERIFY(run.waitEnded());
        QCOMPARE(readAll(target), userContent);
    }
    {
        Run run;
        run.worker->BeginDownload(m_server->url(QStringLiteral("/status/404")), target, QString());
        QVERIFY(run.waitEnded());
        QCOMPARE(run.missCode(), QStringLiteral("下载失败"));
        QCOMPARE(readAll(target), userContent);
    }
    {
        Run run;
        run.worker->BeginDownload(m_server->url(QStringLiteral("/gen/777")), target, QString());
        QVERIFY(run.waitEnded());
        QCOMPARE(run.complete.count(), 1);
        QCOMPARE(readAll(target), FixtureServer::generatedContent(777));
    }
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("mine.pdf")});
}

void tst_Downloader::neverRemovesAnotherWorkersContent() {
    // Two workers of one target (the scheduler never starts them, another
    // process may): the first holds the name, the second completes into it
    // through a part of its own, then the first is cancelled.
    const QString target = savePath(QStringLiteral("shared.pdf"));
    Run first(1);
    first.worker->BeginDownload(m_server->url(QStringLiteral("/stall/100/200")), target, QString());
    QVERIFY(waitFor([&] { return first.worker->bytesRead() == 100; }));
    Run second(2);
    second.worker->BeginDownload(m_server->url(QStringLiteral("/gen/5000")), target, QString());
    QVERIFY(second.waitEnded());
    QCOMPARE(readAll(target), FixtureServer::generatedContent(5000));

    first.worker->CancelAsyncRead();
    QCOMPARE(readAll(target), FixtureServer::generatedContent(5000));
    QCOMPARE(entries(m_dir->path()), QStringList{QStringLiteral("shared.pdf")});
}

void tst_Downloader::unwritableFolderFailsFromEventLoop() {
    Run run(4);
    const QString target = savePath(QStringLiteral("no/such/folder/a.pdf"));
    run.worker->BeginDownload(m_server->url(QStringLiteral("/file.pdf")), target, QString());
    // Not from inside BeginDownload: the caller is still setting up its row.
    QCOMPARE(run.error.count(), 0);
    QVERIFY(run.waitEnded());
    QCOMPARE(run.missCode(), QStringLiteral("无法下载"));
    QCOMPARE(run.error.first().at(0).toInt(), 4);
    QCOMPARE(entries(m_dir->path()), QStringList());
}

void tst_Downloader::requestThroughProxyWithReferer() {
    m_app->values->setProxy(1, FixtureServer::host(), QString::number(m_server->proxyPort()));
    Run run;
    const QString target = savePath(QStringLiteral("echo.pdf"));
    const QString referer = QStringLiteral("http://example.org/article?id=7");
    run.worker->BeginDownload(QStringLiteral("  ") +
                                  m_server->url(QStringLiteral("/echo?a=1&AMP;b=2")) +
                                  QStringLiteral(" "),
                              target, referer);
    QCOMPARE(run.worker->target(), m_server->url(QStringLiteral("/echo?a=1&b=2")));
    QVERIFY(run.waitEnded());
    QCOMPARE(run.complete.count(), 1);
    QVERIFY(!m_server->requestsFor(QStringLiteral("/echo"), QStringLiteral("proxy")).isEmpty());
    const QList<FixtureRequest> served = m_server->requestsFor(QStringLiteral("/echo"));
    QVERIFY(!served.isEmpty());
    QCOMPARE(served.last().header("Referer"), referer.toUtf8());
    QVERIFY(readAll(target).contains(referer.toUtf8()));
}

QTEST_MAIN(tst_Downloader)
#include "tst_downloader.moc"
