#include "FixtureServer.h"
#include "TestApp.h"
#include "net/uXMLHTTP.h"
#include "platform/Charset.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
// Everything a host sees of one control, in order.
struct Recorder {
    QStringList events;
    QStringList descriptions;
    explicit Recorder(uXMLHTTP& x) {
        QObject::connect(&x, &uXMLHTTP::OnReadyStateChange, &x,
                         [this] { events << QStringLiteral("state"); });
        QObject::connect(&x, &uXMLHTTP::OnDateArrived, &x,
                         [this] { events << QStringLiteral("arrived"); });
        QObject::connect(&x, &uXMLHTTP::OnDateErr, &x, [this](const QString& d) {
            events << QStringLiteral("err");
            descriptions << d;
        });
    }
    int count(const QString& kind) const { return int(events.count(kind)); }
    int completions() const {
        return count(QStringLiteral("arrived")) + count(QStringLiteral("err"));
    }
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
} // namespace

class TestUXmlHttp : public QObject {
    Q_OBJECT
    FixtureServer server;

private slots:
    void initTestCase() {
        QVERIFY(server.isRunning());
        server.addPage(QStringLiteral("/version.txt"), "3.1.5\r\n", "text/plain");
        server.addPage(QStringLiteral("/empty"), QByteArray(), "text/plain");
        server.addPage(QStringLiteral("/gbk"), Charset::toGbk(QStringLiteral("版本三")),
                       "text/plain; charset=GBK");
    }

    void okAnswers_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("withSavePath");
        QTest::addColumn<QByteArray>("fileAfter"); // "<missing>" when no file is there
        QTest::newRow("body, no save path") << "/version.txt" << false << QByteArray("<missing>");
        QTest::newRow("body replaces the file at the save path")
            << "/version.txt" << true << QByteArray("3.1.5\r\n");
        QTest::newRow("empty body writes nothing") << "/empty" << true << QByteArray("old content");
    }
    void okAnswers() {
        QFETCH(QString, path);
        QFETCH(bool, withSavePath);
        QFETCH(QByteArray, fileAfter);
        TestApp t;
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("answer.txt"));
        if (withSavePath)
            writeFile(target, "old content");

        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(
            x.Open_(QStringLiteral("get"), server.url(path), withSavePath ? target : QString()));
        QVERIFY(!x.DownOK());
        x.Send_();
        QVERIFY(x.tmrReader->isActive());
        QTRY_COMPARE(r.completions(), 1);

        QCOMPARE(r.count(QStringLiteral("arrived")), 1);
        // Each tick reports first, so a state notice comes before the completion.
        QCOMPARE(r.events.first(), QStringLiteral("state"));
        QCOMPARE(r.events.last(), QStringLiteral("arrived"));
        QVERIFY(!x.tmrReader->isActive());
        QVERIFY(x.DownOK());
        QCOMPARE(x.ReadyState(), 4);
        QCOMPARE(x.Status(), 200);
        QCOMPARE(x.StatusText(), QStringLiteral("OK"));
        QCOMPARE(x.ResponseBody(),
                 path == QLatin1String("/empty") ? QByteArray() : QByteArray("3.1.5\r\n"));
        QCOMPARE(readFile(target), fileAfter);
        // No temporary file is left beside the target.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                 withSavePath ? 1 : 0);
        const QList<FixtureRequest> requests = server.requestsFor(path);
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.last().method, QByteArray("GET"));
    }

    void errorStatuses_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("description");
        QTest::newRow("404 with a body") << "/missing.pdf" << 404 << "没有发现文件?查询或URl";
        QTest::newRow("202 keeps its question mark")
            << "/status/202" << 202 << "接受和处理?但处理未完成";
        QTest::newRow("503") << "/status/503" << 503 << "服务器过载或暂停维修";
        QTest::newRow("a code the table lacks") << "/status/299" << 299 << "";
        QTest::newRow("a 4xx the table lacks") << "/status/451" << 451 << "";
        // A body cut short is no answer: nothing is saved, the status reads 0.
        QTest::newRow("body cut short") << "/early/100/5000" << 0 << "";
    }
    void errorStatuses() {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QString, description);
        TestApp t;
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("paper.pdf"));
        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(path), target));
        x.Send_();
        QTRY_COMPARE(r.completions(), 1);
        QCOMPARE(r.count(QStringLiteral("err")), 1);
        QCOMPARE(r.descriptions, QStringList{description});
        QCOMPARE(x.Status(), status);
        QVERIFY(x.DownOK());
        QVERIFY(!QFile::exists(target));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void descriptionTable() {
        QCOMPARE(HttpStatusDescription(200), QStringLiteral("交易成功"));
        QCOMPARE(HttpStatusDescription(416),
                 QStringLiteral("请求中包含Range请求头字段，在当前请求资源范围内没有range指示值，"
                                "请求也不包含If-Range请求头字段"));
        QCOMPARE(HttpStatusDescription(0), QString());
        QCOMPARE(HttpStatusDescription(600), QString());
        QCOMPARE(HttpStatusDescription(-1), QString());
        QCOMPARE(HttpStatusDescription(99999), QString());
    }

    void downOkAcrossTwoRequests() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/status/500"))));
        x.Send_();
        QTRY_VERIFY(x.DownOK());
        QCOMPARE(r.descriptions, QStringList{QStringLiteral("服务器产生内部错误")});

        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/version.txt"))));
        QVERIFY(!x.DownOK());
        QCOMPARE(x.ReadyState(), 1);
        QCOMPARE(x.Status(), 0);
        QVERIFY(x.ResponseText().isEmpty());
        x.Send_();
        QTRY_VERIFY(x.DownOK());
        QCOMPARE(r.completions(), 2);
        QCOMPARE(x.Status(), 200);
        QCOMPARE(x.ResponseText(), QStringLiteral("3.1.5\r\n"));
    }

    void abortRaisesNothing() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        const int hangsBefore = int(server.requestsFor(QStringLiteral("/hang")).size());
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/hang"))));
        x.Send_();
        QVERIFY(server.waitForRequests(QStringLiteral("/hang"), hangsBefore + 1));
        // While the answer is pending the host hears about every 10 ms.
        QTRY_VERIFY(r.count(QStringLiteral("state")) >= 5);
        QVERIFY(x.ReadyState() >= 1 && x.ReadyState() < 4);
        x.Abort_();
        QVERIFY(!x.tmrReader->isActive());
        const int ticks = r.count(QStringLiteral("state"));
        server.releaseStalls();

        // The control serves the next request; only that one reports.
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/version.txt"))));
        x.Send_();
        QTRY_COMPARE(r.completions(), 1);
        QCOMPARE(r.count(QStringLiteral("arrived")), 1);
        QVERIFY(r.count(QStringLiteral("state")) > ticks);
        QCOMPARE(x.ResponseText(), QStringLiteral("3.1.5\r\n"));
    }

    void refusedConnection() {
        TestApp t;
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("x.txt"));
        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(x.Open_(QStringLiteral("GET"), QStringLiteral("http://127.0.0.1:%1/").arg(port),
                        target));
        x.Send_();
        QTRY_COMPARE(r.completions(), 1);
        QCOMPARE(r.descriptions, QStringList{QString()});
        QCOMPARE(x.Status(), 0);
        QVERIFY(x.DownOK());
        QVERIFY(!QFile::exists(target));
    }

    void silentPeerGivesUpOnTheProgramClock() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        const int hangsBefore = int(server.requestsFor(QStringLiteral("/hang")).size());
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/hang"))));
        x.Send_();
        QVERIFY(server.waitForRequests(QStringLiteral("/hang"), hangsBefore + 1));
        QCOMPARE(r.completions(), 0);
        app().clock().advance(uXMLHTTP::StallSeconds + 1);
        QTRY_COMPARE(r.completions(), 1);
        QCOMPARE(r.descriptions, QStringList{QString()});
        server.releaseStalls();
    }

    void sendWithoutOpenDoesNothing() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        x.Send_();
        QVERIFY(!x.tmrReader->isActive());
        QCOMPARE(x.ReadyState(), 0);
        // An address that is not http(s) does not open.
        QVERIFY(!x.Open_(QStringLiteral("GET"), QStringLiteral("ftp://127.0.0.1/x")));
        QVERIFY(!x.Open_(QString(), server.url(QStringLiteral("/version.txt"))));
        x.Send_();
        QVERIFY(!x.tmrReader->isActive());
        QVERIFY(r.events.isEmpty());
    }

    void headersBothWays() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/echo"))));
        x.SetRequestHeader(QStringLiteral("X-Varnelle"), QStringLiteral("one"));
        x.SetRequestHeader(QStringLiteral("User-Agent"), QStringLiteral("VersionCheck"));
        x.Send_();
        QTRY_COMPARE(r.completions(), 1);
        const QString echoed = x.ResponseText();
        QVERIFY2(echoed.contains(QStringLiteral("X-Varnelle: one")), qPrintable(echoed));
        QVERIFY2(echoed.contains(QStringLiteral("User-Agent: VersionCheck")), qPrintable(echoed));
        QVERIFY(x.GetResponseHeader(QStringLiteral("content-type"))
                    .startsWith(QStringLiteral("text/plain")));
        QVERIFY(x.GetAllResponseHeaders().contains(QStringLiteral("Content-Type: text/plain")));
        QVERIFY(x.GetAllResponseHeaders().endsWith(QStringLiteral("\r\n")));
    }

    void textInTheAnnouncedCharset() {
        TestApp t;
        uXMLHTTP x(app().transport());
        Recorder r(x);
        QVERIFY(x.Open_(QStringLiteral("GET"), server.url(QStringLiteral("/gbk"))));
        x.Send_();
        QTRY_COMPARE(r.completions(), 1);
        QCOMPARE(x.ResponseText(), QStringLiteral("版本三"));
    }

    void hostMayDeleteTheControlInItsHandler() {
        TestApp t;
        auto* x = new uXMLHTTP(app().transport());
        QPointer<uXMLHTTP> guard(x);
        connect(x, &uXMLHTTP::OnDateArrived, x, [x] { delete x; });
        QVERIFY(x->Open_(QStringLiteral("GET"), server.url(QStringLiteral("/version.txt"))));
        x->Send_();
        QTRY_VERIFY(guard.isNull());
    }
};

QTEST_MAIN(TestUXmlHttp)
#include "tst_uxmlhttp.moc"
