#include "TestApp.h"
#include "platform/Registry.h"
#include "shell/BrowserEmulation.h"

#include <QFile>
#include <QTest>

namespace {
const QString CurrentVersion =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
}

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void readString_data() {
        QTest::addColumn<QString>("stored"); // written as it stands; "<none>": nothing
        QTest::addColumn<QString>("read");
        QTest::newRow("plain") << "Debian 12"
                               << "Debian 12";
        QTest::newRow("spaces trimmed") << "  Debian 12  "
                                        << "Debian 12";
        QTest::newRow("cut before NUL")
            << QStringLiteral("Debian") + QChar(0) + QStringLiteral("junk") << "Debian";
        QTest::newRow("comma kept") << "a, b"
                                    << "a, b";
        QTest::newRow("missing") << "<none>"
                                 << "Error";
    }
    void readString() {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        TestApp t;
        app().OsBitness = QStringLiteral("64");
        Registry& r = app().registry();
        if (stored != QLatin1String("<none>"))
            QVERIFY(r.setString(CurrentVersion, QStringLiteral("ProductName"), stored,
                                QStringLiteral("64")));
        QCOMPARE(RegistryReadString(r, CurrentVersion, QStringLiteral("ProductName"), QString()),
                 read);
        // The other view holds nothing.
        QCOMPARE(RegistryReadString(r, CurrentVersion, QStringLiteral("ProductName"),
                                    QStringLiteral("32")),
                 QStringLiteral("Error"));
    }

    void handEditedCommaValueReadsWhole() {
        TestApp t;
        const QString file = app().registry().fileName();
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[64]\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows%20NT\\CurrentVersion\\"
                    "BuildLab=one,two\n");
        }
        // QSettings reads an unquoted comma as a list; the value still reads whole.
        QCOMPARE(RegistryReadString(app().registry(), CurrentVersion, QStringLiteral("BuildLab"),
                                    QStringLiteral("64")),
                 QStringLiteral("one,two"));
    }

    void keyPaths_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("valid");
        QTest::newRow("machine root") << CurrentVersion << true;
        QTest::newRow("root in lower case") << "hkey_current_user\\Software\\x" << true;
        QTest::newRow("every root") << "HKEY_DYN_DATA\\x" << true;
        QTest::newRow("trailing backslash") << CurrentVersion + QLatin1Char('\\') << false;
        QTest::newRow("short root name") << "HKLM\\SOFTWARE" << false;
        QTest::newRow("unknown root") << "HKEY_ELSEWHERE\\x" << false;
        QTest::newRow("empty") << "" << false;
    }
    void keyPaths() {
        QFETCH(QString, path);
        QFETCH(bool, valid);
        TestApp t;
        app().OsBitness = QStringLiteral("32");
        Registry& r = app().registry();
        QCOMPARE(RegistryKeyPathValid(path), valid);
        QCOMPARE(RegistrySetDword(r, path, QStringLiteral("v"), 5, QString()), valid);
        QCOMPARE(RegistryReadDword(r, path, QStringLiteral("v"), QString()),
                 valid ? QStringLiteral("5") : QStringLiteral("Error"));
        QCOMPARE(RegistryReadString(r, path, QStringLiteral("v"), QString()),
                 valid ? QStringLiteral("5") : QStringLiteral("Error"));
        QCOMPARE(RegistryDeleteValue(r, path, QStringLiteral("v"), QString()), valid);
    }

    // An empty view means the system's own, detected when not known yet.
    void emptyViewFollowsTheBitness() {
        TestApp t;
        Registry& r = app().registry();
        app().OsBitness = QStringLiteral("32");
        RegistrySetDword(r, CurrentVersion, QStringLiteral("UBR"), 3570, QString());
        QCOMPARE(r.readDword(CurrentVersion, QStringLiteral("UBR"), QStringLiteral("32")), 3570u);
        QVERIFY(!r.readDword(CurrentVersion, QStringLiteral("UBR"), QStringLiteral("64")));

        app().OsBitness.clear();
        QCOMPARE(RegistryReadDword(r, CurrentVersion, QStringLiteral("none"), QString()),
                 QStringLiteral("Error"));
        QVERIFY(app().OsBitness == QLatin1String("32") || app().OsBitness == QLatin1String("64"));
    }
};

QTEST_MAIN(TestRegistry)
#include "tst_registry.moc"
