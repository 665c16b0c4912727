// Where the program keeps its own files: beside a program built or unpacked
// into a folder of the user's, never beside an installed one.

#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestAppPaths : public QObject {
    Q_OBJECT
private slots:
    void programFolder_data() {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("beside");
        QTest::newRow("built or unpacked, writable") << false << true << true;
        QTest::newRow("installed, writable (root, a prefix of the user's)")
            << true << true << false;
        QTest::newRow("not writable") << false << false << false;
    }
    void programFolder() {
        QFETCH(bool, installed);
        QFETCH(bool, writable);
        QFETCH(bool, beside);
        QTemporaryDir prefix;
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        const QString bin = prefix.path() + QStringLiteral("/bin");
        QVERIFY(QDir().mkpath(bin));
        if (installed) {
            const QString entries = prefix.path() + QStringLiteral("/share/applications");
            QVERIFY(QDir().mkpath(entries));
            QFile entry(entries + QLatin1Char('/') + QLatin1String(AppPaths::DesktopEntryName));
            QVERIFY(entry.open(QIODevice::WriteOnly));
        }
        if (!writable)
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        if (!writable && QFileInfo(bin).isWritable())
            QSKIP("root writes into any folder");
        const QString folder = AppPaths::programFolderFor(bin);
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(folder, beside ? bin : home.path() + QStringLiteral("/.local/share/Varnelle"));
        QVERIFY(QFileInfo(folder).isDir());
    }
};

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
