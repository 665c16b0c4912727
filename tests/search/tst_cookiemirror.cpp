#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A login done in the embedded browser must serve the downloads: the transport
// sends the browser's cookies and presents the browser's user agent.
class TestCookieMirror : public QObject {
    Q_OBJECT
    QTemporaryDir m_storage;
    std::unique_ptr<FixtureServer> m_server;

private slots:
    void initTestCase() {
        BrowserProfile::setStorageRoot(m_storage.path());
        m_server = std::make_unique<FixtureServer>();
        QVERIFY(m_server->isRunning());
    }
    void cleanupTestCase() { m_server.reset(); }

    void browserCookiesReachTransfers() {
        TestApp t;
        Browser browser;
        app().useBrowserProfile();
        QCOMPARE(app().transport().userAgent(), BrowserProfile::shared().userAgent());

        QSignalSpy loaded(&browser, &Browser::documentComplete);
        browser.navigate(m_server->url(QStringLiteral("/set-cookie?session=s3cr3t")));
        QVERIFY(loaded.wait(20000));
        // The cookie store reports the new cookie asynchronously.
        QTRY_VERIFY_WITH_TIMEOUT(!app().transport().cookieJar().cookies().isEmpty(), 10000);

        m_server->clearRequests();
        const FetchResult r = app().transport().fetch(m_server->url(QStringLiteral("/echo")));
        QVERIFY(r.complete);
        const auto log = m_server->requestsFor(QStringLiteral("/echo"));
        QCOMPARE(log.size(), 1);
        QVERIFY(log.first().header("Cookie").contains("session=s3cr3t"));
        QCOMPARE(QString::fromUtf8(log.first().header("User-Agent")),
                 BrowserProfile::shared().userAgent());
    }
};

QTEST_MAIN(TestCookieMirror)
#include "tst_cookiemirror.moc"
