#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"
#include "platform/Wait.h"

#include <QFile>
#include <QNetworkCookie>
#include <QPointer>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
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
    // keepOpen: the connection stays open after the answer.
    explicit RawServer(QByteArray answer, bool keepOpen = false) : m_answer(std::move(answer)) {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, keepOpen] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, keepOpen] {
                    socket->readAll();
                    socket->write(m_answer);
                    if (!keepOpen)
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

// A server that keeps connections alive and handles each request it reads
// (in order of arrival over all connections) as its script says: "serve"
// answers "hello" with a length and keeps the connection; "reset" resets the
// connection without answering, as a server does that closes an idle
// connection just as a request arrives; any other text is sent as the start
// of an answer before the reset. Requests past the script are served.
// A listener on 127.0.0.1: plain, or TLS with the fixture server's certificate.
QTcpServer* listenOnLoopback(bool tls, QObject* parent) {
    QTcpServer* server = nullptr;
    if (tls) {
        auto* tlsServer = new QSslServer(parent);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        QFile key(FixtureServer::certsDir() + QStringLiteral("/server.key"));
        if (key.open(QIODevice::ReadOnly))
            config.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa));
        config.setLocalCertificateChain(
            QSslCertificate::fromPath(FixtureServer::certsDir() + QStringLiteral("/server.pem")));
        tlsServer->setSslConfiguration(config);
        server = tlsServer;
    } else {
        server = new QTcpServer(parent);
    }
    server->listen(QHostAddress::LocalHost);
    return server;
}

QString loopbackUrl(const QTcpServer* server, const QString& path) {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(qobject_cast<const QSslServer*>(server) ? QStringLiteral("https")
                                                     : QStringLiteral("http"))
        .arg(server->serverPort())
        .arg(path);
}

class KeepAliveServer : public QObject {
public:
    explicit KeepAliveServer(QStringList script, bool tls = false)
        : m_server(listenOnLoopback(tls, this)), m_script(std::move(script)) {
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                const int connection = ++connections;
                auto pending = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket,
                        [this, socket, pending, connection] {
                            *pending += socket->readAll();
                            while (pending->contains("\r\n\r\n")) {
                                const qsizetype end = pending->indexOf("\r\n\r\n") + 4;
                                const QByteArray head = pending->left(end);
                                pending->remove(0, end);
                                if (!handle(socket, head, connection))
                                    return;
                            }
                        });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString& path) const { return loopbackUrl(m_server, path); }

    int connections = 0;
    // Each request read: its path and the connection it came on.
    QList<std::pair<QByteArray, int>> arrivals;
    // The paths of the requests answered.
    QList<QByteArray> served;

private:
    bool handle(QTcpSocket* socket, const QByteArray& head, int connection) {
        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        arrivals.append({requestLine.value(1), connection});
        const QString action = m_script.value(arrivals.size() - 1, QStringLiteral("serve"));
        if (action == QLatin1String("serve")) {
            served.append(requestLine.value(1));
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                          "Content-Length: 5\r\n\r\nhello");
            return true;
        }
        if (action == QLatin1String("close")) {
            socket->disconnectFromHost();
            return false;
        }
        if (action != QLatin1String("reset")) {
            socket->write(action.toLatin1());
            socket->flush();
        }
        socket->abort();
        return false;
    }

    QTcpServer* m_server;
    QStringList m_script;
};

// Serves a header block that never ends, as fast as the client takes it:
// one endless header line, or endless short header lines.
class EndlessHeaderServer : public QObject {
public:
    EndlessHeaderServer(bool tls, bool oneLine)
        : m_server(listenOnLoopback(tls, this)), m_oneLine(oneLine) {
        if (oneLine)
            m_block = QByteArray(64 * 1024, 'a');
        else
            for (int i = 0; i < 4000; ++i)
                m_block += "X-Field-" + QByteArray::number(i) + ": v\r\n";
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                m_socket = socket;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    socket->readAll();
                    if (m_started)
                        return;
                    m_started = true;
                    socket->write(m_oneLine ? "HTTP/1.1 200 OK\r\nX-Endless: "
                                            : "HTTP/1.1 200 OK\r\n");
                    pump();
                });
                connect(socket, &QTcpSocket::bytesWritten, socket, [this] { pump(); });
                if (auto* tlsSocket = qobject_cast<QSslSocket*>(socket))
                    connect(tlsSocket, &QSslSocket::encryptedBytesWritten, socket,
                            [this] { pump(); });
                connect(socket, &QTcpSocket::disconnected, this, [this] { disconnected = true; });
            }
        });
    }
    QString url(const QString& path) const { return loopbackUrl(m_server, path); }

    // Header bytes handed to the connection so far.
    qint64 pushed = 0;
    bool disconnected = false;

private:
    // Keeps about 1 MB queued, so the pace is the client's.
    void pump() {
        if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
            return;
        auto queued = [this] {
            auto* tlsSocket = qobject_cast<QSslSocket*>(m_socket.data());
            return m_socket->bytesToWrite() + (tlsSocket ? tlsSocket->encryptedBytesToWrite() : 0);
        };
        while (queued() < 1024 * 1024) {
            m_socket->write(m_block);
            pushed += m_block.size();
        }
    }

    QTcpServer* m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_block;
    bool m_oneLine = false;
    bool m_started = false;
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

    // A request whose whole body has arrived but was never read is over once
    // cancelled: a transfer that gives up on a body (too big) must not look
    // busy for ever, or the next row would be refused.
    void cancelAfterTheBodyArrivedEndsTheRequest() {
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(server->url(QStringLiteral("/gen/100000")));
        QVERIFY(finished.wait(20000));
        QVERIFY(request.bufferedBytes() > 0);
        QVERIFY(request.isActive());
        request.cancel();
        QVERIFY(!request.isActive());
        QVERIFY(request.bodyEnded());
        QVERIFY(request.readChunk(4096).isEmpty());
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
        QCOMPARE(file.read(100000), FixtureServer::generatedContent(n).left(100000));
        file.seek(n - 1);
        QCOMPARE(file.read(1).at(0), FixtureServer::generatedByte(n - 1, n));
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

    // Qt takes at most 100 header fields of at most 100 KB each; past that
    // it drops every header and hands on the status line alone. Such an
    // answer fails at once, even while the connection stays open.
    void oversizedHeaderBlockFails_data() {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<bool>("keepOpen");
        QTest::addColumn<bool>("accepted");
        const auto fieldLines = [](int count) {
            QByteArray lines;
            for (int i = 0; i < count; ++i)
                lines += "X-Field-" + QByteArray::number(i) + ": v\r\n";
            return lines;
        };
        const auto field = [](int bytes) { return "X-Big: " + QByteArray(bytes, 'a') + "\r\n"; };
        QTest::newRow("90 fields") << fieldLines(90) << false << true;
        QTest::newRow("150 fields") << fieldLines(150) << false << false;
        QTest::newRow("150 fields, connection kept open") << fieldLines(150) << true << false;
        QTest::newRow("field of 90 KB") << field(90 * 1024) << false << true;
        QTest::newRow("field of 120 KB") << field(120 * 1024) << false << false;
        QTest::newRow("field of 120 KB, connection kept open")
            << field(120 * 1024) << true << false;
    }
    void oversizedHeaderBlockFails() {
        QFETCH(QByteArray, fields);
        QFETCH(bool, keepOpen);
        QFETCH(bool, accepted);
        RawServer raw("HTTP/1.1 200 OK\r\n" + fields +
                          "Content-Type: application/pdf\r\nContent-Length: 5\r\n\r\nhello",
                      keepOpen);
        TransferRequest request(transport());
        QSignalSpy finished(&request, &TransferRequest::finished);
        request.execute(raw.url("/block"));
        const bool headers = request.waitForHeaders(clockLimit(30));
        if (accepted) {
            QVERIFY(headers);
            QCOMPARE(request.contentLength(), qint64(5));
            QCOMPARE(readAll(request, 2048, clockLimit(30)), QByteArray("hello"));
            QVERIFY(request.bodyComplete());
            return;
        }
        QVERIFY(!headers);
        QVERIFY(request.isFinished()); // without waiting for the connection to end
        QCOMPARE(request.error(), QNetworkReply::ProtocolFailure);
        QVERIFY(request.headerBlock().isEmpty());
        QVERIFY(request.readChunk(2048).isEmpty());
        QVERIFY(!request.bodyComplete());
        QCOMPARE(request.state(), TransferRequest::Failed);
        QTRY_COMPARE(finished.count(), 1);
    }

    // A header block that never ends gives the request no headers, so the
    // caller's limit on the response ends it. Over plain HTTP Qt stops
    // reading such a block after about 128 KB, so what the server can push
    // stays within the socket buffers; over HTTPS it buffers what arrives
    // until the request is dropped, which closes the connection.
    void endlessHeaderBlockEndsAtTheCallersLimit_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<bool>("oneLine");
        QTest::newRow("http, one endless line") << false << true;
        QTest::newRow("http, endless lines") << false << false;
        QTest::newRow("https, one endless line") << true << true;
        QTest::newRow("https, endless lines") << true << false;
    }
    void endlessHeaderBlockEndsAtTheCallersLimit() {
        QFETCH(bool, tls);
        QFETCH(bool, oneLine);
        EndlessHeaderServer endless(tls, oneLine);
        TransferRequest request(transport());
        request.execute(endless.url("/endless"));
        // Far past any real header block before the limit strikes.
        QTRY_VERIFY_WITH_TIMEOUT(endless.pushed >= 2 * 1024 * 1024, 30000);
        bool advanced = false;
        QTimer::singleShot(0, this, [&] {
            advanced = true;
            app().clock().advance(31);
        });
        QVERIFY(!request.waitForHeaders(clockLimit(30)));
        // Over HTTPS Qt's TLS layer may give the connection up by itself once
        // it holds some megabytes (sooner or later, as the machine is busy);
        // then the wait ends on that, not on the limit. Either way it ends.
        if (tls)
            QVERIFY(advanced || request.isFinished());
        else
            QVERIFY(advanced);
        QVERIFY(request.headerBlock().isEmpty());
        request.cancel();
        QVERIFY(request.isFinished());
        QVERIFY(!request.bodyComplete());
        if (tls) {
            // Qt's TLS layer holds what arrived until the connection goes.
            QTRY_VERIFY_WITH_TIMEOUT(endless.disconnected, 10000);
        } else {
            // Qt 6.4 leaves a plain connection stuck in a header block open
            // after the request is dropped, but reads no more of it.
            QVERIFY2(endless.pushed < 32 * 1024 * 1024,
                     qPrintable(QString::number(endless.pushed)));
        }
    }

    // A kept-alive connection that the server closes or resets as the next
    // request arrives, before any byte of an answer (as a server does that
    // ends idle connections): the request goes out once more on a new
    // connection (Qt does this itself) and is answered, served once. Once an
    // answer has begun nothing is sent again.
    void droppedKeptAliveConnection_data() {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("drop");
        QTest::addColumn<bool>("complete");
        for (const bool tls : {false, true}) {
            const char* scheme = tls ? "https" : "http";
            QTest::addRow("%s: closed before any answer", scheme) << tls << "close" << true;
            QTest::addRow("%s: reset before any answer", scheme) << tls << "reset" << true;
            QTest::addRow("%s: reset after the header block", scheme)
                << tls << "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nab" << false;
        }
    }
    void droppedKeptAliveConnection() {
        QFETCH(bool, tls);
        QFETCH(QString, drop);
        QFETCH(bool, complete);
        KeepAliveServer raw({"serve", drop}, tls);
        TransferRequest first(transport());
        first.execute(raw.url("/first"));
        QCOMPARE(readAll(first, 2048, clockLimit(30)), QByteArray("hello"));
        QVERIFY(first.bodyComplete());

        TransferRequest second(transport());
        second.execute(raw.url("/second"));
        const QByteArray body = readAll(second, 2048, clockLimit(30));
        QVERIFY(second.isFinished());
        QCOMPARE(second.bodyComplete(), complete);
        // The second went out on the first's kept-alive connection.
        QVERIFY(raw.arrivals.size() >= 2);
        QCOMPARE(raw.arrivals.value(1), std::make_pair(QByteArray("/second"), 1));
        if (complete) {
            QCOMPARE(body, QByteArray("hello"));
            QCOMPARE(second.error(), QNetworkReply::NoError);
            // Sent once more, on a connection of its own, and served once.
            QCOMPARE(raw.arrivals.size(), 3);
            QCOMPARE(raw.arrivals.value(2).first, QByteArray("/second"));
            QVERIFY(raw.arrivals.value(2).second != 1);
            QCOMPARE(raw.served, (QList<QByteArray>{"/first", "/second"}));
        } else {
            QVERIFY(second.endedEarly());
            QCOMPARE(raw.arrivals.size(), 2);
        }
    }

    // Right after an answer that the server cut off, the next request is
    // answered, and every request reaches the server's handlers exactly once.
    void nextRequestAfterACutAnswer_data() {
        QTest::addColumn<bool>("tls");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }
    void nextRequestAfterACutAnswer() {
        QFETCH(bool, tls);
        const auto address = [&](const QString& path) {
            return tls ? server->httpsUrl(path) : server->url(path);
        };
        for (int round = 0; round < 10; ++round) {
            // A kept-alive answer first, so connections are pooled.
            QVERIFY(!transport()
                         .fetchWhole(address(QStringLiteral("/gen/%1").arg(1000 + round)))
                         .isEmpty());
            TransferRequest cut(transport());
            cut.execute(address(QStringLiteral("/early/%1/50000").arg(1000 + round)));
            readAll(cut, 65536, clockLimit(30));
            QVERIFY(cut.endedEarly());
            TransferRequest next(transport());
            const QString path = QStringLiteral("/gen/%1").arg(2000 + round);
            next.execute(address(path));
            QCOMPARE(readAll(next, 65536, clockLimit(30)),
                     FixtureServer::generatedContent(2000 + round));
            QVERIFY(next.bodyComplete());
            QCOMPARE(server->requestsFor(path).size(), 1);
            QCOMPARE(
                server->requestsFor(QStringLiteral("/early/%1/50000").arg(1000 + round)).size(), 1);
        }
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
