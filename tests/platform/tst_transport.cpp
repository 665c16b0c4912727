#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"
#include "platform/Wait.h"

#include <QFile>
#include <QNetworkCookie>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// A one-answer server for responses the fixture server cannot produce (a
// status line without a reason phrase): it sends the given bytes to every
// connection and closes it.
class RawServer : public QTcpServer {
public:
    explicit RawServer(QByteArray answer) : m_answer(std::move(answer)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    socket->write(m_answer);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path);
    }

private:
    QByteArray m_answer;
};

// Reads the body chunk by chunk as a transfer does; every chunk must respect the limit.
QByteArray readAll(TransferRequest& request, qint64 chunkSize = 2048,
                   const std::function<bool()>& giveUp = {}) {
    QByteArray body;
    while (true) {
        const QByteArray chunk = request.readChunk(chunkSize, giveUp);
        if (chunk.size() > chunkSize) {
            qWarning("chunk of %lld bytes", static_cast<long long>(chunk.size()));
            return {};
        }
        if (chunk.isEmpty())
            return body;
        body += chunk;
    }
}

} // namespace

class TestTransport : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FixtureServer> server;
    std::unique_ptr<TestApp> testApp;

    Transport& transport() { return testApp->values->transport(); }

    // A limit on the program clock, as the transfers apply it.
    std::function<bool()> clockLimit(double seconds) {
        const double start = app().clock().monotonicMs() / 1000.0;
        return [start, seconds] { return app().clock().monotonicMs() / 1000.0 - start > seconds; };
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
        QVERIFY(!FixtureServer::caCertificates().isEmpty());
    }
    void init() {
        testApp = std::make_unique<TestApp>();
        transport().addCaCertificates(FixtureServer::caCertificates());
        server->clearRequests();
    }
    void cleanup() {
        testApp.reset();
        server->releaseStalls();
    }
    void cleanupTestCase() { server.reset(); }

    void headerBlockStartsWithStatusLine_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("statusLine");
        QTest::addColumn<QString>("headerLine");
        QTest::newRow("known length") << "/gen/5000"
                                      << "HTTP/1.1 200 OK"
                                      << "Content-Length: 5000";
        QTest::newRow("not found") << "/missing.pdf"
                                   << "HTTP/1.1 404 Not Found"
                                   << "Content-Type: text/html";
        QTest::newRow("charset") << "/charset"
                                 << "HTTP/1.1 200 OK"
                                 << "Content-Type: text/html; charset=utf-8";
        QTest::newRow("disposition") << "/cd/star"
                                     << "HTTP/1.1 200 OK"
                                     << "Content-Disposition: attachment; "
                                        "filename*=UTF-8''%E6%B5%8B%E8%AF%95.pdf";
    }
    void headerBlockStartsWithStatusLine() {
        QFETCH(QString, path);
        QFETCH(QString, statusLine);
        QFETCH(QString, headerLine);
        TransferRequest request(transport());
        QSignalSpy headers(&request, &TransferRequest::headersArrived);
        request.execute(server->url(path));
        QVERIFY(request.stillExecuting());
        QVERIFY(request.headerBlock().isEmpty());
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QVERIFY(!request.stillExecuting());
        QCOMPARE(headers.count(), 1);

        const QStringList lines = request.headerBlock().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), statusLine);
        QVERIFY2(lines.contains(headerLine), qPrintable(request.headerBlock()));
        QVERIFY(!request.headerBlock().contains(QStringLiteral("\r\n\r\n")));
        const qsizetype colon = headerLine.indexOf(QLatin1Char(':'));
        QCOMPARE(request.header(headerLine.left(colon).toLower().toLatin1()),
                 headerLine.mid(colon + 2));
        QCOMPARE(request.header("X-Not-There"), QString());
    }

    // A length far beyond any limit is announced without the server holding
    // the body; the caller decides from the headers alone.
    void hugeAnnouncedLength() {
        const qint64 huge = Q_INT64_C(20) * 1024 * 1024 * 1024;
        TransferRequest request(transport());
        request.execute(server->url(QStringLiteral("/gen/%1").arg(huge)));
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QCOMPARE(request.contentLength(), huge);
        QVERIFY(request.headerBlock().contains(QStringLiteral("Content-Length: %1").arg(huge)));
        request.cancel();
        QVERIFY(request.wasCancelled());
    }

    void missingReasonPhraseIsFilledIn() {
        RawServer raw("HTTP/1.1 200\r\nContent-Length: 3\r\nX-Test: yes\r\n\r\nabc");
        TransferRequest request(transport());
        request.execute(raw.url(QStringLiteral("/x")));
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QCOMPARE(request.headerBlock(), QStringLiteral("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n"
                                                       "X-Test: yes"));
        QCOMPARE(readAll(request), QByteArray("abc"));
        QVERIFY(request.bodyComplete());
    }

    void readsBodyInChunksToTheEnd_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("length");
        QTest::addColumn<qint64>("contentLength");
        const int n = 300000;
        QTest::newRow("known length") << server->url("/gen/300000") << n << qint64(n);
        QTest::newRow("close-delimited") << server->url("/nolength/300000") << n << qint64(-1);
        QTest::newRow("chunked") << server->url("/chunked/300000") << n << qint64(-1);
        QTest::newRow("redirect chain") << server->url("/redirect/3") << 4096 << qint64(4096);
        QTest::newRow("https") << server->httpsUrl("/gen/300000") << n << qint64(n);
        QTest::newRow("https chunked") << server->httpsUrl("/chunked/300000") << n << qint64(-1);
        QTest::newRow("empty") << server->url("/gen/0") << 0 << qint64(0);
    }
    void readsBodyInChunksToTheEnd() {
        QFETCH(QString, url);
        QFETCH(int, length);
        QFETCH(qint64, contentLength);
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(url);
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QCOMPARE(request.statusCode(), 200);
        QVERIFY2(request.contentLength() == contentLength, qPrintable(request.headerBlock()));
        const bool chunked = request.header("Transfer-Encoding") == QLatin1String("chunked");
        QCOMPARE(chunked, url.contains("chunked"));
        if (contentLength < 0 && !chunked) // close-delimited
            QVERIFY2(request.header("Connection") == QStringLiteral("close"),
                     qPrintable(request.headerBlock()));

        const QByteArray body = readAll(request);
        QCOMPARE(body.size(), length);
        QVERIFY(body == FixtureServer::generatedContent(length));
        // An empty chunk came only because the body had ended.
        QVERIFY(request.bodyEnded());
        QVERIFY(request.bodyComplete());
        QVERIFY(!request.endedEarly());
        QVERIFY(!request.isActive());
        QCOMPARE(request.error(), QNetworkReply::NoError);
        QCOMPARE(request.state(), TransferRequest::ResponseCompleted);
        QCOMPARE(finished.count(), 1);
        QVERIFY(request.finalUrl().path().endsWith(url.contains("redirect") ? "/file.pdf"
                                                                            : QUrl(url).path()));
    }

    void connectionClosedEarlyIsDetected() {
        TransferRequest request(transport());
        request.execute(server->url("/early/3000/10000"));
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QCOMPARE(request.contentLength(), qint64(10000));
        const QByteArray body = readAll(request, 2048, clockLimit(120));
        QVERIFY(body.size() <= 3000);
        QVERIFY(request.bodyEnded());
        QVERIFY(!request.bodyComplete());
        QVERIFY(request.endedEarly());
        QVERIFY(request.error() != QNetworkReply::NoError);
        QCOMPARE(request.state(), TransferRequest::Failed);

        const FetchResult whole = transport().fetch(server->url("/early/3000/10000"));
        QVERIFY(!whole.complete);
        QVERIFY(whole.body.isEmpty());
    }

    // A stalled body must hand control back so the caller's limit on the
    // program clock can end it; the test moves the clock instead of waiting.
    void stalledBodyReturnsToTheCallersLimit() {
        TransferRequest request(transport());
        request.execute(server->url("/stall/1000/5000"));
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        QByteArray body;
        while (body.size() < 1000) {
            const QByteArray chunk = request.readChunk(2048, clockLimit(5));
            QVERIFY(!chunk.isEmpty());
            body += chunk;
        }
        bool advanced = false;
        QTimer::singleShot(200, this, [&] {
            advanced = true;
            app().clock().advance(121);
        });
        const QByteArray chunk = request.readChunk(2048, clockLimit(120));
        QVERIFY(chunk.isEmpty());
        QVERIFY(advanced); // it waited for the limit, not less
        QVERIFY(!request.bodyEnded());
        QVERIFY(request.isActive());
        request.cancel();
        QVERIFY(request.bodyEnded());
    }

    void responseWaitReturnsToTheCallersLimit() {
        TransferRequest request(transport());
        request.execute(server->url("/hang"));
        QTimer::singleShot(100, this, [] { app().clock().advance(31); });
        QVERIFY(!request.waitForHeaders(clockLimit(30)));
        QVERIFY(request.stillExecuting());
        QVERIFY(request.headerBlock().isEmpty());
        request.cancel();
        QVERIFY(!request.stillExecuting());
        QVERIFY(request.wasCancelled());
    }

    void redirects_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("followed");
        QTest::newRow("302 to a file") << server->url("/redirect") << true;
        QTest::newRow("ten redirects") << server->url("/redirect/10") << true;
        QTest::newRow("eleven redirects") << server->url("/redirect/11") << false;
        QTest::newRow("http to http") << server->url("/to-http") << true;
        QTest::newRow("https to http") << server->httpsUrl("/to-http") << false;
    }
    void redirects() {
        QFETCH(QString, url);
        QFETCH(bool, followed);
        const FetchResult result = transport().fetch(url);
        QCOMPARE(result.complete, followed);
        if (followed) {
            QCOMPARE(result.statusCode, 200);
            QVERIFY(result.body == FixtureServer::generatedContent(4096));
        } else {
            QVERIFY(result.error == QNetworkReply::TooManyRedirectsError ||
                    result.error == QNetworkReply::InsecureRedirectError);
            QVERIFY(server->requestsFor("/file.pdf").isEmpty());
        }
    }

    void certificatesAreVerified_data() {
        QTest::addColumn<bool>("untrustedServer");
        QTest::addColumn<bool>("trustTestCa");
        QTest::addColumn<bool>("works");
        QTest::newRow("test CA trusted") << false << true << true;
        QTest::newRow("test CA not trusted") << false << false << false;
        QTest::newRow("self-signed") << true << true << false;
    }
    void certificatesAreVerified() {
        QFETCH(bool, untrustedServer);
        QFETCH(bool, trustTestCa);
        QFETCH(bool, works);
        Transport own(app().clock());
        if (trustTestCa)
            own.addCaCertificates(FixtureServer::caCertificates());
        const QString url =
            untrustedServer ? server->untrustedUrl("/gen/1000") : server->httpsUrl("/gen/1000");
        TransferRequest request(own);
        request.execute(url);
        request.waitForHeaders(clockLimit(30));
        const QByteArray body = readAll(request);
        QCOMPARE(request.bodyComplete(), works);
        if (works) {
            QCOMPARE(body, FixtureServer::generatedContent(1000));
        } else {
            QVERIFY(body.isEmpty());
            QVERIFY(request.headerBlock().isEmpty());
            QCOMPARE(request.error(), QNetworkReply::SslHandshakeFailedError);
            QCOMPARE(request.state(), TransferRequest::Failed);
        }
    }

    void proxyIsUsedPerRequest() {
        RequestOptions viaProxy;
        viaProxy.proxy = ProxySettings::fromOptions(1, FixtureServer::host(),
                                                    QString::number(server->proxyPort()));
        // Both requests are open at once: the proxy belongs to each request.
        TransferRequest proxied(transport());
        TransferRequest direct(transport());
        proxied.execute(server->url("/gen/7000"), viaProxy);
        direct.execute(server->url("/gen/7001"));
        QCOMPARE(readAll(proxied, 2048, clockLimit(30)), FixtureServer::generatedContent(7000));
        QCOMPARE(readAll(direct, 2048, clockLimit(30)), FixtureServer::generatedContent(7001));

        const QList<FixtureRequest> throughProxy = server->requestsFor("/gen/7000", "proxy");
        QCOMPARE(throughProxy.size(), 1);
        QCOMPARE(throughProxy.first().target, server->url("/gen/7000").toLatin1());
        QVERIFY(server->requestsFor("/gen/7000", "http").isEmpty());
        QCOMPARE(server->requestsFor("/gen/7001", "http").size(), 1);
        QVERIFY(server->requestsFor("/gen/7001", "proxy").isEmpty());
    }

    void unusableProxyFailsTheRequest_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::newRow("no address") << ""
                                    << "8080";
        QTest::newRow("port not a number") << "127.0.0.1"
                                           << "80a";
        QTest::newRow("port out of range") << "127.0.0.1"
                                           << "70000";
    }
    void unusableProxyFailsTheRequest() {
        QFETCH(QString, address);
        QFETCH(QString, port);
        RequestOptions options;
        options.proxy = ProxySettings::fromOptions(1, address, port);
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(server->url("/gen/10"), options);
        QVERIFY(!request.stillExecuting());
        QVERIFY(finished.wait(2000));
        QCOMPARE(request.error(), QNetworkReply::ProxyNotFoundError);
        QVERIFY(request.bodyEnded());
        QVERIFY(!request.bodyComplete());
        QVERIFY(server->requests().isEmpty());
        // Switched off, the same values are not used at all.
        options.proxy.enabled = false;
        QCOMPARE(transport().fetchWhole(server->url("/gen/10"), options),
                 FixtureServer::generatedContent(10));
    }

    void cancelEndsTheTransfer() {
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(server->url("/stall/1000/5000"));
        QVERIFY(!request.readChunk(2048, clockLimit(30)).isEmpty());
        request.cancel();
        QCOMPARE(finished.count(), 1);
        QVERIFY(request.wasCancelled());
        QVERIFY(request.bodyEnded());
        QVERIFY(!request.bodyComplete());
        QVERIFY(!request.endedEarly());
        QVERIFY(!request.isActive());
        QVERIFY(request.readChunk(2048).isEmpty()); // returns at once
        request.cancel();                           // harmless twice
        QCOMPARE(finished.count(), 1);
    }

    void cancelFromAHandlerEndsTheWait() {
        TransferRequest request(transport());
        request.execute(server->url("/hang"));
        QTimer::singleShot(100, &request, &TransferRequest::cancel);
        QVERIFY(!request.waitForHeaders());
        QVERIFY(request.wasCancelled());
        QVERIFY(request.readChunk(2048).isEmpty());
    }

    void requestDestroyedDuringItsWait() {
        QPointer<TransferRequest> request = new TransferRequest(transport());
        request->execute(server->url("/stall/100/5000"));
        qint64 got = 0;
        while (got < 100) {
            const qint64 n = request->readChunk(2048, clockLimit(30)).size();
            QVERIFY(n > 0);
            got += n;
        }
        QTimer::singleShot(100, request.data(), [&] { delete request.data(); });
        const QByteArray chunk = request->readChunk(2048);
        QVERIFY(chunk.isEmpty());
        QVERIFY(request.isNull());
    }

    void readBufferIsBounded() {
        transport().setReadBufferSize(64 * 1024);
        TransferRequest request(transport());
        request.execute(server->url("/gen/104857600")); // 100 MB, never read here
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        Wait::forMs(500);
        QVERIFY2(request.bufferedBytes() <= 2 * 64 * 1024,
                 qPrintable(QString::number(request.bufferedBytes())));
        QVERIFY2(request.bytesReceived() < 8 * 1024 * 1024,
                 qPrintable(QString::number(request.bytesReceived())));
        // Reading makes room, and the transfer goes on.
        const qint64 before = request.bytesReceived();
        for (int i = 0; i < 200; ++i)
            QVERIFY(!request.readChunk(2048, clockLimit(30)).isEmpty());
        Wait::until([&] { return request.bytesReceived() > before; });
        QVERIFY(request.bytesReceived() > before);
        request.cancel();
    }

    void streamsIntoADevice() {
        transport().setReadBufferSize(64 * 1024);
        QTemporaryDir dir;
        QFile file(dir.filePath("body.pdf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const qint64 n = 20 * 1024 * 1024 + 17;
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        QSignalSpy progress(&request, &TransferRequest::progress);
        request.executeToDevice(server->url(QStringLiteral("/gen/%1").arg(n)), &file);
        QVERIFY(finished.wait(60000));
        file.close();
        QVERIFY(request.bodyComplete());
        QCOMPARE(request.bytesWritten(), n);
        QVERIFY(progress.count() > 0);
        QCOMPARE(progress.last().at(1).toLongLong(), n);
        QCOMPARE(progress.last().at(0).toLongLong(), n);
        QCOMPARE(QFileInfo(file.fileName()).size(), n);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(100000), FixtureServer::generatedContent(100000));
        file.seek(n - 1);
        QCOMPARE(file.read(1).at(0), FixtureServer::generatedByte(n - 1));
    }

    void failedWriteEndsTheTransfer() {
        // A device that takes 10000 bytes and then refuses, as a full disk does.
        class FullDevice : public QIODevice {
        public:
            qint64 taken = 0;
            qint64 readData(char*, qint64) override { return -1; }
            qint64 writeData(const char*, qint64 n) override {
                if (taken + n > 10000)
                    return -1;
                taken += n;
                return n;
            }
        } device;
        device.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.executeToDevice(server->url("/gen/1000000"), &device);
        QVERIFY(finished.wait(30000));
        QVERIFY(!request.bodyComplete());
        QVERIFY(request.error() != QNetworkReply::NoError);
        QVERIFY(!request.errorString().isEmpty());
        QCOMPARE(request.state(), TransferRequest::Failed);
        QCOMPARE(request.bytesWritten(), device.taken);
    }

    void fetchWholeLimits() {
        QCOMPARE(transport().fetchWhole(server->url("/chunked/50000")),
                 FixtureServer::generatedContent(50000));
        const FetchResult tooBig = transport().fetch(server->url("/nolength/50000"), {}, {}, 40000);
        QVERIFY(!tooBig.complete);
        QVERIFY(tooBig.body.isEmpty());
        // An error page is a body like any other; the status tells.
        const FetchResult page = transport().fetch(server->url("/missing.pdf"));
        QVERIFY(page.complete);
        QCOMPARE(page.statusCode, 404);
        QVERIFY(page.body.contains("Not Found"));
        QVERIFY(transport().fetchWhole(QStringLiteral("not an address")).isEmpty());
    }

    void fetchWholeGivesUpOnTheProgramClock() {
        QTimer::singleShot(100, this,
                           [] { app().clock().advance(Transport::DefaultFetchStallSeconds + 1); });
        const FetchResult result = transport().fetch(server->url("/stall/100/1000"));
        QVERIFY(!result.complete);
        QCOMPARE(result.error, QNetworkReply::TimeoutError);
        QVERIFY(result.body.isEmpty());
    }

    void requestHeadersAreSent() {
        RequestOptions options;
        options.addHeaderText(QStringLiteral("Referer: http://example.org/list?a=1\r\n"));
        QVERIFY(!transport().fetchWhole(server->url("/echo"), options).isEmpty());
        FixtureRequest seen = server->requestsFor("/echo").value(0);
        QCOMPARE(seen.header("referer"), QByteArray("http://example.org/list?a=1"));
        QCOMPARE(seen.header("User-Agent"), Transport::defaultUserAgent().toLatin1());
        QCOMPARE(seen.header("Accept-Encoding"), QByteArray("identity"));

        // The headers go with every request of a redirect chain.
        server->clearRequests();
        QVERIFY(!transport().fetchWhole(server->url("/redirect/2"), options).isEmpty());
        QCOMPARE(server->requestsFor("/file.pdf").value(0).header("Referer"),
                 QByteArray("http://example.org/list?a=1"));

        server->clearRequests();
        transport().setUserAgent(QStringLiteral("Browser/1.0"));
        QVERIFY(!transport().fetchWhole(server->url("/echo")).isEmpty());
        QCOMPARE(server->requestsFor("/echo").value(0).header("User-Agent"),
                 QByteArray("Browser/1.0"));

        // A caller's own User-Agent replaces the transport's.
        server->clearRequests();
        RequestOptions own;
        own.headers.append({QByteArray("User-Agent"),
                            QByteArray("Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.1)")});
        QVERIFY(!transport().fetchWhole(server->url("/echo"), own).isEmpty());
        QCOMPARE(server->requestsFor("/echo").value(0).header("User-Agent"),
                 QByteArray("Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.1)"));
    }

    void cookiesInTheJarAreSent() {
        TransportCookieJar& jar = transport().cookieJar();
        const QUrl origin(server->url("/"));
        QVERIFY(jar.setCookie(QNetworkCookie("session", "abc123"), origin));
        QNetworkCookie scoped("scoped", "yes");
        scoped.setDomain(FixtureServer::host());
        scoped.setPath("/private");
        QVERIFY(jar.setCookie(scoped));
        QVERIFY(!jar.setCookie(QNetworkCookie("orphan", "x"))); // no domain, no origin

        QVERIFY(!transport().fetchWhole(server->url("/echo")).isEmpty());
        QCOMPARE(server->requestsFor("/echo").value(0).header("Cookie"),
                 QByteArray("session=abc123"));

        // Replacing and deleting work on name, domain and path.
        QVERIFY(jar.setCookie(QNetworkCookie("session", "def456"), origin));
        QVERIFY(jar.deleteCookie(scoped));
        QCOMPARE(jar.cookies().size(), 1);
        server->clearRequests();
        QVERIFY(!transport().fetchWhole(server->url("/echo")).isEmpty());
        QCOMPARE(server->requestsFor("/echo").value(0).header("Cookie"),
                 QByteArray("session=def456"));
        QVERIFY(jar.deleteCookie(QNetworkCookie("session"), origin));
        server->clearRequests();
        QVERIFY(!transport().fetchWhole(server->url("/echo")).isEmpty());
        QVERIFY(server->requestsFor("/echo").value(0).header("Cookie").isEmpty());

        // Cookies the server sets land in the same jar.
        QVERIFY(!transport().fetchWhole(server->url("/set-cookie?token=t1")).isEmpty());
        QCOMPARE(jar.cookiesForUrl(origin).value(0).value(), QByteArray("t1"));
    }

    void badAddressFailsWithoutARequest() {
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(QStringLiteral("ftp://127.0.0.1/file"));
        QVERIFY(!request.stillExecuting());
        QCOMPARE(finished.count(), 0); // reported from the event loop
        QVERIFY(finished.wait(2000));
        QCOMPARE(request.error(), QNetworkReply::ProtocolUnknownError);
        QVERIFY(request.headerBlock().isEmpty());
        QVERIFY(request.readChunk(2048).isEmpty());
    }

    void reuseForTheNextRequest() {
        TransferRequest request(transport());
        request.execute(server->url("/stall/100/5000"));
        QVERIFY(request.waitForHeaders(clockLimit(30)));
        // A new request on the same object drops the old one.
        request.execute(server->url("/gen/3000"));
        QCOMPARE(readAll(request, 2048, clockLimit(30)), FixtureServer::generatedContent(3000));
        QVERIFY(request.bodyComplete());
    }
};

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"
