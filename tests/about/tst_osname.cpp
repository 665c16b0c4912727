#include "about/OsName.h"
#include "platform/OsInfo.h"

#include <QTest>

class TestOsName : public QObject {
    Q_OBJECT
private slots:
    void format_data() {
        QTest::addColumn<QString>("osRelease");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("expected");
        QTest::newRow("debian")
            << "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian "
               "GNU/Linux\"\nVERSION_ID=\"12\"\n"
            << "6.1.0-18-amd64"
            << "Debian GNU/Linux 12 (bookworm) 版本:12 (内部版本:6.1.0-18-amd64)";
        QTest::newRow("single quotes, comments") << "# distro\nPRETTY_NAME='Arch Linux'\n"
                                                 << "6.6.1"
                                                 << "Arch Linux (内部版本:6.6.1)";
        QTest::newRow("missing file") << ""
                                      << ""
                                      << "Linux";
        QTest::newRow("garbage") << "=\n\x01\x02PRETTY_NAME\n"
                                 << "5.10"
                                 << "Linux (内部版本:5.10)";
    }
    void format() {
        QFETCH(QString, osRelease);
        QFETCH(QString, kernel);
        QFETCH(QString, expected);
        QCOMPARE(FormatOsName(OsInfo::parseOsRelease(osRelease), kernel), expected);
    }

    void displayNameCarriesBitness() {
        QCOMPARE(OsDisplayNameFor(QStringLiteral("Debian"), QStringLiteral("64")),
                 QStringLiteral("Debian[64位]"));
    }

    void bitness_data() {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<bool>("is64");
        QTest::newRow("x86_64") << "x86_64" << true;
        QTest::newRow("aarch64") << "aarch64" << true;
        QTest::newRow("i686") << "i686" << false;
        QTest::newRow("armv7l") << "armv7l" << false;
        QTest::newRow("empty") << "" << false;
    }
    void bitness() {
        QFETCH(QString, machine);
        QFETCH(bool, is64);
        QCOMPARE(OsInfo::machineIs64Bit(machine), is64);
    }
};

QTEST_MAIN(TestOsName)
#include "tst_osname.moc"
