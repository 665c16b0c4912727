#include "TestApp.h"
#include "about/frmAbout.h"
#include "shell/fCover.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "VarnelleFullVersion.h"
#include "VarnelleVersion.h"

namespace {
// PATH set to one folder for the life of a test.
class PathOverride {
public:
    explicit PathOverride(const QString& folder) : m_old(qgetenv("PATH")) {
        qputenv("PATH", folder.toLocal8Bit());
    }
    ~PathOverride() { qputenv("PATH", m_old); }

private:
    QByteArray m_old;
};

void writeScript(const QString& path, const QByteArray& body) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n" + body);
    f.close();
    QVERIFY(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void captionsAndSystemLine() {
        TestApp t;
        app().OsDisplayName =
            QStringLiteral("Debian GNU/Linux 12 (bookworm) 版本:12 (内部版本:6.1.0)[64位]");
        frmAbout about;
        QCOMPARE(about.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(about.windowTitle(), QStringLiteral("关于『Varnelle』 "));
        QCOMPARE(about.lsoftname->text(), QStringLiteral("Varnelle"));
        // The full version --version prints: the release, then the build's
        // place after it when it was built from a git checkout.
        QCOMPARE(about.lblVersion->text(), QStringLiteral("版本 " VARNELLE_FULL_VERSION));
        const QString full = QStringLiteral(VARNELLE_FULL_VERSION);
        QVERIFY2(full == QStringLiteral(VARNELLE_VERSION_TEXT) ||
                     QRegularExpression(
                         QStringLiteral("^") +
                         QRegularExpression::escape(QStringLiteral(VARNELLE_VERSION_TEXT)) +
                         QStringLiteral("\\+git[0-9]+\\.[0-9a-f]+$"))
                         .match(full)
                         .hasMatch(),
                 qPrintable(full));
        QCOMPARE(
            about.Text1->toPlainText(),
            QStringLiteral("OP:Debian GNU/Linux 12 (bookworm) 版本:12 (内部版本:6.1.0)[64位]"));
        QCOMPARE(about.Command1->text(), QStringLiteral("复制信息"));
        QCOMPARE(about.cmdOK->text(), QStringLiteral("确定"));
        QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("系统信息(&S)..."));
    }

    void copiesTheSystemLine() {
        TestApp t;
        app().OsDisplayName = QStringLiteral("Linux[32位]");
        QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
        frmAbout about;
        QTest::mouseClick(about.Command1, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("OP:Linux[32位]"));
    }

    void noSystemInformationProgram() {
        TestApp t;
        QTemporaryDir empty;
        PathOverride path(empty.path());
        QVERIFY(FindSysInfoProgram().isEmpty());
        frmAbout about;
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QCOMPARE(t.dialogs->messages, QStringList{QStringLiteral("此时系统信息不可用")});
        QVERIFY(t.dialogs->errors.isEmpty());
    }

    void startsTheFirstProgramFound() {
        TestApp t;
        QTemporaryDir bin;
        const QString mark = bin.filePath(QStringLiteral("started"));
        writeScript(bin.filePath(QStringLiteral("kinfocenter")),
                    "echo kinfocenter > '" + mark.toLocal8Bit() + "'\n");
        writeScript(bin.filePath(QStringLiteral("gnome-system-monitor")),
                    "echo gnome > '" + mark.toLocal8Bit() + "'\n");
        PathOverride path(bin.path());
        QCOMPARE(FindSysInfoProgram(), bin.filePath(QStringLiteral("kinfocenter")));
        frmAbout about;
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(mark) && QFile(mark).size() > 0);
        QFile f(mark);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().trimmed(), QByteArray("kinfocenter"));
        QVERIFY(t.dialogs->all().isEmpty());
    }

    void closingRearmsTheUpdateCheck_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("确定") << true;
        QTest::newRow("close box") << false;
    }
    void closingRearmsTheUpdateCheck() {
        QFETCH(bool, byButton);
        TestApp t;
        fCover cover;
        QVERIFY(!cover.Timer1->isActive());
        frmAbout about;
        about.show();
        if (byButton)
            QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        else
            about.close();
        QVERIFY(!about.isVisible());
        QVERIFY(cover.Timer1->isActive());
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
