#include "TestApp.h"
#include "platform/Registry.h"
#include "shell/BrowserEmulation.h"

#include <QSettings>
#include <QTest>

class TestBrowserEmulation : public QObject {
    Q_OBJECT
    QString name() const { return BrowserEmulationValueName(); }

private slots:
    void read_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("stored32");
        QTest::addColumn<QString>("stored64");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("mode");
        QTest::newRow("nothing stored") << 64 << ""
                                        << ""
                                        << "IE默认" << 1;
        QTest::newRow("64-bit view only, mode 2") << 64 << ""
                                                  << "11001"
                                                  << "IE11" << 2;
        QTest::newRow("both views: the 32-bit one wins") << 64 << "9000"
                                                         << "11000"
                                                         << "IE9" << 1;
        QTest::newRow("unknown number") << 64 << "12000"
                                        << ""
                                        << "IE默认" << 1;
        QTest::newRow("7000 is mode 1") << 32 << "7000"
                                        << ""
                                        << "IE7" << 1;
        QTest::newRow("32-bit system ignores the 64-bit view") << 32 << ""
                                                               << "10000"
                                                               << "IE默认" << 1;
        QTest::newRow("garbage value") << 64 << "abc"
                                       << "8888"
                                       << "IE8" << 2;
    }
    void read() {
        QFETCH(int, bits);
        QFETCH(QString, stored32);
        QFETCH(QString, stored64);
        QFETCH(QString, version);
        QFETCH(int, mode);
        TestApp t;
        const QString file = t.tempPath() + QStringLiteral("/registry.ini");
        {
            QSettings ini(file, QSettings::IniFormat);
            const QString key =
                QString(BrowserEmulationKey).replace(QLatin1Char('\\'), QLatin1Char('/'));
            if (!stored32.isEmpty())
                ini.setValue(QStringLiteral("32/") + key + QLatin1Char('/') + name(), stored32);
            if (!stored64.isEmpty())
                ini.setValue(QStringLiteral("64/") + key + QLatin1Char('/') + name(), stored64);
        }
        Registry registry(file);
        const BrowserEmulation e = ReadBrowserEmulation(registry, bits);
        QCOMPARE(e.version, version);
        QCOMPARE(e.mode, mode);
    }

    void writeTouchesTheViewsOfTheSystem() {
        TestApp t;
        Registry registry(t.tempPath() + QStringLiteral("/registry.ini"));
        WriteBrowserEmulation(registry, QStringLiteral("IE10"), 1, 64);
        QCOMPARE(registry.readDword(BrowserEmulationKey, name(), QStringLiteral("32")), 10000u);
        QCOMPARE(registry.readDword(BrowserEmulationKey, name(), QStringLiteral("64")), 10000u);

        Registry registry32(t.tempPath() + QStringLiteral("/registry32.ini"));
        WriteBrowserEmulation(registry32, QStringLiteral("ie9"), 2, 32);
        QCOMPARE(registry32.readDword(BrowserEmulationKey, name(), QStringLiteral("32")), 9999u);
        QVERIFY(!registry32.readDword(BrowserEmulationKey, name(), QStringLiteral("64")));

        // "默认" only deletes.
        WriteBrowserEmulation(registry, QString(), 1, 64);
        QVERIFY(!registry.readDword(BrowserEmulationKey, name(), QStringLiteral("32")));
        QVERIFY(!registry.readDword(BrowserEmulationKey, name(), QStringLiteral("64")));
    }

    void exitWritesIe11WhenNothingWasChosen() {
        TestApp t;
        Registry registry(t.tempPath() + QStringLiteral("/registry.ini"));
        app().OsBitness = QStringLiteral("64");
        LoadBrowserEmulationVersion(registry);
        QCOMPARE(app().BrowserEmulationVersion, QStringLiteral("IE默认"));
        ExitBrowserEmulationStep(registry);
        LoadBrowserEmulationVersion(registry);
        QCOMPARE(app().BrowserEmulationVersion, QStringLiteral("IE11"));

        // A chosen version survives the exit step.
        WriteBrowserEmulation(registry, QStringLiteral("IE8"), 1, 64);
        LoadBrowserEmulationVersion(registry);
        ExitBrowserEmulationStep(registry);
        LoadBrowserEmulationVersion(registry);
        QCOMPARE(app().BrowserEmulationVersion, QStringLiteral("IE8"));
    }

    void unwritableFileFailsSilently() {
        TestApp t;
        Registry registry(QStringLiteral("/proc/varnelle-no-such/registry.ini"));
        app().OsBitness = QStringLiteral("64");
        WriteBrowserEmulation(registry, QStringLiteral("IE11"), 1, 64);
        QCOMPARE(ReadBrowserEmulation(registry, 64).version, QStringLiteral("IE默认"));
    }
};

QTEST_MAIN(TestBrowserEmulation)
#include "tst_browseremulation.moc"
