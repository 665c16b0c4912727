#include "platform/DesktopShell.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {
void writeText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}
} // namespace

class TestDesktopShell : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString config() const { return m_dir.path() + "/config"; }
    QString data() const { return m_dir.path() + "/data"; }
    QString system() const { return m_dir.path() + "/system"; }

    // A text editor that writes the arguments it was started with into a file.
    QString installRecordingEditor(const QString& id, const QString& execArgs) {
        const QString script = m_dir.path() + "/editor-" + id + ".sh";
        const QString out = m_dir.path() + "/args-" + id + ".txt";
        writeText(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" + out.toUtf8() +
                              ".part\" && mv \"" + out.toUtf8() + ".part\" \"" + out.toUtf8() +
                              "\"\n");
        QFile(script).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        writeText(data() + "/applications/" + id,
                  "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + script.toUtf8() +
                      " " + execArgs.toUtf8() + "\n[Desktop Action new]\nExec=wrong\n");
        return out;
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", config().toUtf8());
        qputenv("XDG_CONFIG_DIRS", (m_dir.path() + "/etc").toUtf8());
        qputenv("XDG_DATA_HOME", data().toUtf8());
        qputenv("XDG_DATA_DIRS", system().toUtf8());
        qunsetenv("XDG_CURRENT_DESKTOP");
    }

    void execCommand_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("command");
        const QString f = "/tmp/a b.txt";
        const QString u = QUrl::fromLocalFile(f).toString();
        QTest::newRow("%F") << "gedit %F" << QStringList{"gedit", f};
        QTest::newRow("%U") << "gnome-text-editor --new-window %U"
                            << QStringList{"gnome-text-editor", "--new-window", u};
        QTest::newRow("no field code") << "mousepad" << QStringList{"mousepad", f};
        QTest::newRow("quoted program, dropped codes")
            << "\"/opt/my editor/ed\" -i %i %c %k %f" << QStringList{"/opt/my editor/ed", "-i", f};
        QTest::newRow("escaped percent and quote")
            << "ed --label=\"say \\\"hi\\\"\" 100%% %f"
            << QStringList{"ed", "--label=say \"hi\"", "100%", f};
        QTest::newRow("empty") << "" << QStringList();
    }
    void execCommand() {
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        QCOMPARE(DesktopShell::execCommand(exec, "/tmp/a b.txt"), command);
    }

    void textEditorFromMimeapps() {
        const QString out = installRecordingEditor("rec-editor.desktop", "--flag %F");
        installRecordingEditor("other.desktop", "%f");
        writeText(config() + "/mimeapps.list",
                  "[Added Associations]\ntext/plain=other.desktop;\n"
                  "[Default Applications]\ntext/plain=missing.desktop;rec-editor.desktop;\n");
        QCOMPARE(DesktopShell::defaultDesktopFile("text/plain"),
                 QStringLiteral("rec-editor.desktop"));
        const QString file = m_dir.path() + "/notes 1.txt";
        writeText(file, "x");
        DesktopShell shell;
        QVERIFY(shell.openInTextEditor(file));
        QTRY_VERIFY(QFile::exists(out));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), "--flag\n" + file + "\n");
        QFile::remove(config() + "/mimeapps.list");
    }

    void textEditorFromMimeCache() {
        installRecordingEditor("cached.desktop", "%f");
        writeText(data() + "/applications/mimeinfo.cache",
                  "[MIME Cache]\ntext/plain=gone.desktop;cached.desktop;\n");
        QCOMPARE(DesktopShell::defaultDesktopFile("text/plain"), QStringLiteral("cached.desktop"));
        QFile::remove(data() + "/applications/mimeinfo.cache");
    }

    void noTextEditor() {
        QCOMPARE(DesktopShell::defaultDesktopFile("text/x-nothing"), QString());
        writeText(config() + "/mimeapps.list",
                  "[Default Applications]\ntext/plain=missing.desktop;\n");
        DesktopShell shell;
        QVERIFY(!shell.openInTextEditor(m_dir.path() + "/x.txt"));
        QFile::remove(config() + "/mimeapps.list");
    }

    void clipboard() {
        DesktopShell shell;
        shell.setClipboardText(QStringLiteral("名称 1"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("名称 1"));
    }
};

QTEST_MAIN(TestDesktopShell)
#include "tst_desktopshell.moc"
