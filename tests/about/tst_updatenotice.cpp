#include "FixtureServer.h"
#include "TestApp.h"
#include "about/UpdateNotice.h"
#include "net/uXMLHTTP.h"
#include "shell/fCover.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

#include "VarnelleVersion.h"

class TestUpdateNotice : public QObject {
    Q_OBJECT
    FixtureServer server;

private slots:
    void initTestCase() { QVERIFY(server.isRunning()); }

    void comparison_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("newer");
        QTest::newRow("revision up") << "3.1.6" << true;
        QTest::newRow("minor up") << "3.2.0" << true;
        QTest::newRow("major up") << "4.0.0" << true;
        QTest::newRow("equal") << "3.1.5" << false;
        QTest::newRow("older") << "3.1.4" << false;
        QTest::newRow("older major, larger rest") << "2.99.99" << false;
        // A large revision never spills into the minor number.
        QTest::newRow("revision past 9999") << "3.0.10000" << false;
        QTest::newRow("blanks around") << " 3.1.6\r\n" << true;
        QTest::newRow("two parts") << "3.2" << false;
        QTest::newRow("four parts") << "3.1.5.1" << false;
        QTest::newRow("letters") << "v3.1.6" << false;
        QTest::newRow("sign") << "3.+2.0" << false;
        QTest::newRow("empty part") << "3..6" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("over 20 characters") << "3.1.000000000000000006" << false;
        QTest::newRow("html page") << "<html>3.1.6</html>" << false;
    }
    void comparison() {
        QFETCH(QString, answer);
        QFETCH(bool, newer);
        QCOMPARE(UpdateAnswerIsNewer(answer, 3, 1, 5), newer);
    }

    void answers_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<bool>("failed");
        QTest::newRow("newer") << QByteArray("99.0.0\r\n") << 200 << true << false;
        QTest::newRow("equal") << QByteArray(VARNELLE_VERSION_TEXT) << 200 << false << false;
        QTest::newRow("older") << QByteArray("0.0.0") << 200 << false << false;
        QTest::newRow("over-long") << QByteArray("99.0.0               x") << 200 << false << false;
        QTest::newRow("malformed") << QByteArray("99.0") << 200 << false << false;
        QTest::newRow("error status") << QByteArray("99.0.0") << 500 << false << true;
    }
    void answers() {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(bool, announced);
        QFETCH(bool, failed);
        TestApp t;
        const QString path =
            QStringLiteral("/version/") + QString::fromLatin1(QTest::currentDataTag())
                                              .replace(QLatin1Char(' '), QLatin1Char('-'));
        server.addPage(path, body, "text/plain", status);
        fCover cover;
        UpdateNotice notice(&cover, server.url(path), QStringLiteral("http://127.0.0.1/get"));
        QList<QUrl> opened;
        notice.openPage = [&opened](const QUrl& url) { opened << url; };

        notice.start();
        QTRY_VERIFY(cover.uXMLHTTP2->DownOK());
        QCOMPARE(server.requestsFor(path).size(), 1);
        QCOMPARE(cover.Label3->isVisibleTo(&cover), announced);
        if (announced) {
            QCOMPARE(cover.Label3->text(), QStringLiteral("有最新版本：V99.0.0可以下载升级。"));
            QCOMPARE(t.dialogs->informations,
                     QStringList{QStringLiteral("有新版本发布，请下载安装升级！")});
            QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1/get"))});
        } else {
            QCOMPARE(cover.Label3->text(), QStringLiteral("最新版本："));
            QVERIFY(t.dialogs->informations.isEmpty());
            QVERIFY(opened.isEmpty());
        }
        QCOMPARE(t.dialogs->errors,
                 failed ? QStringList{QStringLiteral("请保持网络畅通！")} : QStringList());
    }

    void failureIsToldOncePerRun() {
        TestApp t;
        const QString path = QStringLiteral("/version/down");
        server.addPage(path, "", "text/plain", 503);
        fCover cover;
        UpdateNotice notice(&cover, server.url(path));
        for (int run = 1; run <= 3; ++run) {
            notice.start();
            QTRY_VERIFY(cover.uXMLHTTP2->DownOK());
            QCOMPARE(server.requestsFor(path).size(), run);
        }
        QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral("请保持网络畅通！")});
    }

    void runsFromTheStartUpTimer() {
        TestApp t;
        const QString path = QStringLiteral("/version/timer");
        server.addPage(path, "0.0.1", "text/plain");
        fCover cover;
        UpdateNotice notice(&cover, server.url(path));
        fCover::Hooks hooks;
        hooks.updateNotice = [&notice] { notice.start(); };
        cover.setHooks(hooks);
        cover.load();
        QVERIFY(server.waitForRequests(path, 1));
        QTRY_VERIFY(cover.uXMLHTTP2->DownOK());
        QVERIFY(!cover.Timer1->isActive());
        QVERIFY(t.dialogs->all().isEmpty());
    }

    void noAddressNoRequest() {
        TestApp t;
        fCover cover;
        cover.Timer1->start();
        UpdateNotice notice(&cover, QStringLiteral("  "));
        notice.start();
        QVERIFY(!cover.Timer1->isActive());
        QVERIFY(!cover.uXMLHTTP2->tmrReader->isActive());
        QCOMPARE(cover.uXMLHTTP2->ReadyState(), 0);
    }
};

QTEST_MAIN(TestUpdateNotice)
#include "tst_updatenotice.moc"
