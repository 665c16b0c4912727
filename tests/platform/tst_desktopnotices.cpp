// Desktop notices reach the freedesktop notification service over a session
// bus of the test's own (a private dbus-daemon), and a bus without the
// service costs nothing.

#include "platform/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QVariantMap>
#include <memory>

// Stands in for the desktop's notification server.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        QString appName;
        quint32 replacesId = 0;
        QString summary;
        QString body;
        QStringList actions;
        qint32 expire = 0;
    };
    QList<Notice> received;

public slots:
    Q_SCRIPTABLE quint32 Notify(const QString& appName, quint32 replacesId, const QString&,
                                const QString& summary, const QString& body,
                                const QStringList& actions, const QVariantMap&, qint32 expire) {
        received.append({appName, replacesId, summary, body, actions, expire});
        return quint32(received.size());
    }
};

class TestDesktopNotices : public QObject {
    Q_OBJECT
    std::unique_ptr<QProcess> m_daemon;
    QString m_address;

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        QVERIFY2(!daemon.isEmpty(), "dbus-daemon is installed by scripts/common.sh");
        m_daemon = std::make_unique<QProcess>();
        m_daemon->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        QVERIFY(m_daemon->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            m_daemon->canReadLine() || m_daemon->state() == QProcess::NotRunning, 30000);
        m_address = QString::fromUtf8(m_daemon->readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        // Before the program's first use of the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }
    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
        if (m_daemon) {
            m_daemon->kill();
            m_daemon->waitForFinished();
        }
    }

    void noticeReachesTheService() {
        // Nobody serves notices yet: the call returns at once and nothing follows.
        DesktopNotices notices;
        QElapsedTimer spent;
        spent.start();
        notices.notify(QStringLiteral("需要在网页中完成验证"), QStringLiteral("paper"));
        QVERIFY(spent.elapsed() < 5000);

        QDBusConnection serverBus =
            QDBusConnection::connectToBus(m_address, QStringLiteral("server"));
        QVERIFY(serverBus.isConnected());
        NotificationServer server;
        QVERIFY(serverBus.registerObject(DesktopNotices::Path, &server,
                                         QDBusConnection::ExportScriptableSlots));
        QVERIFY(serverBus.registerService(DesktopNotices::Service));
        QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(
            DesktopNotices::Service));

        notices.notify(QStringLiteral("下载完成"), QStringLiteral("总数:3"));
        QTRY_COMPARE_WITH_TIMEOUT(server.received.size(), 1, 30000);
        const NotificationServer::Notice& n = server.received.first();
        QCOMPARE(n.appName, QStringLiteral("Varnelle"));
        QCOMPARE(n.replacesId, 0u);
        QCOMPARE(n.summary, QStringLiteral("下载完成"));
        QCOMPARE(n.body, QStringLiteral("总数:3"));
        QVERIFY(n.actions.isEmpty());
        QCOMPARE(n.expire, -1);
    }
};

QTEST_MAIN(TestDesktopNotices)
#include "tst_desktopnotices.moc"
