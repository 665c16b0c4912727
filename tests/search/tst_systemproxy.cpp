// Requests made without the options' proxy follow the system's proxy
// configuration (here the http_proxy variable, pointing at the fixture
// server's proxy listener); the options' proxy, when on, is used instead.
// The article host below cannot be resolved: only a proxy can serve it.

#include "FixtureServer.h"
#include "TestApp.h"
#include "net/HttpGetText.h"
#include "platform/Transport.h"
#include "search/Analysis.h"

#include <QFile>
#include <QTest>
#include <memory>

namespace {
const QString ArticleHost = QStringLiteral("http://articles.varnelle.invalid");

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestSystemProxy : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
        server->addPage("/art/7", "<html>window.location='/gen/900';</html>");
        qputenv("http_proxy",
                QStringLiteral("http://127.0.0.1:%1/").arg(server->proxyPort()).toUtf8());
        qunsetenv("HTTP_PROXY");
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
        qunsetenv("all_proxy");
        qunsetenv("ALL_PROXY");
    }
    void init() { server->clearRequests(); }
    void cleanupTestCase() {
        qunsetenv("http_proxy");
        server.reset();
    }

    void requestsWithoutTheOptionsProxy_data() {
        QTest::addColumn<QString>("routine");
        QTest::newRow("analysis page request") << "page";
        QTest::newRow("direct download") << "direct";
        QTest::newRow("whole-body fetch") << "whole";
    }
    void requestsWithoutTheOptionsProxy() {
        QFETCH(QString, routine);
        TestApp t;
        app().ProxyEnabled = 0;
        Transport& transport = app().transport();
        if (routine == QLatin1String("page")) {
            QString url = ArticleHost + "/art/7";
            QString referer;
            const QString page = HttpGetText(transport, url, "utf-8", referer, true);
            QVERIFY(page.contains("window.location='/gen/900'"));
            QCOMPARE(server->requestsFor("/art/7", "proxy").size(), 1);
        } else if (routine == QLatin1String("direct")) {
            const DirectFetchResult r =
                Inet下载文件(transport, ArticleHost + "/gen/900", QString(), "paper.pdf",
                             t.tempPath(), 0, [] { return false; });
            QCOMPARE(r.bytes, 900.0);
            QCOMPARE(readFile(t.tempPath() + "/paper.pdf"), FixtureServer::generatedContent(900));
            QCOMPARE(server->requestsFor("/gen/900", "proxy").size(), 1);
        } else {
            RequestOptions options;
            options.proxy = ProxySettings::fromOptions(0, QString(), QString());
            QCOMPARE(transport.fetchWhole(ArticleHost + "/gen/900", options),
                     FixtureServer::generatedContent(900));
            QCOMPARE(server->requestsFor("/gen/900", "proxy").size(), 1);
        }
        // Nothing reached the server any other way.
        QCOMPARE(server->requests().size(), 1);
    }

    // The options' proxy, when on, is the one used: a dead one fails the
    // request rather than falling back to the system's.
    void optionsProxyWins_data() {
        QTest::addColumn<QString>("port"); // "" = the fixture's proxy
        QTest::addColumn<bool>("served");
        QTest::newRow("options proxy") << "" << true;
        QTest::newRow("dead options proxy") << "1" << false;
    }
    void optionsProxyWins() {
        QFETCH(QString, port);
        QFETCH(bool, served);
        TestApp t;
        RequestOptions options;
        options.proxy = ProxySettings::fromOptions(
            1, FixtureServer::host(), port.isEmpty() ? QString::number(server->proxyPort()) : port);
        const QByteArray body = app().transport().fetchWhole(ArticleHost + "/gen/300", options);
        QCOMPARE(body.isEmpty(), !served);
        QCOMPARE(server->requestsFor("/gen/300", "proxy").size(), served ? 1 : 0);
    }

    // The machine's own addresses are never sent through the system's proxy.
    void loopbackGoesDirect() {
        TestApp t;
        const QByteArray body = app().transport().fetchWhole(server->url("/gen/200"));
        QCOMPARE(body, FixtureServer::generatedContent(200));
        QCOMPARE(server->requestsFor("/gen/200", "http").size(), 1);
        QVERIFY(server->requestsFor("/gen/200", "proxy").isEmpty());
    }
};

QTEST_MAIN(TestSystemProxy)
#include "tst_systemproxy.moc"
