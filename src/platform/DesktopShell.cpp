#include "platform/DesktopShell.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

namespace {

QStringList configDirs() {
    QStringList dirs;
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.config");
    dirs << home;
    QString others = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (others.isEmpty())
        others = QStringLiteral("/etc/xdg");
    dirs << others.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

QStringList applicationDirs() {
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

// The value of a key in one group of an INI-like desktop file, or empty.
QString groupValue(const QString& filePath, const QString& group, const QString& key) {
    QFile f(filePath);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&f);
    bool inGroup = false;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == header;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

// The first listed desktop file of a "a.desktop;b.desktop;" value that exists.
QString firstExisting(const QString& list) {
    for (const QString& id : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!DesktopShell::findDesktopFile(id.trimmed()).isEmpty())
            return id.trimmed();
    }
    return {};
}

// Starts the program of the command line on its own; false when there is no
// such program to start.
bool startDetached(const QStringList& command) {
    if (command.isEmpty())
        return false;
    const QString& program = command.first();
    const bool found = program.contains(QLatin1Char('/'))
                           ? QFileInfo(program).isExecutable()
                           : !QStandardPaths::findExecutable(program).isEmpty();
    return found && QProcess::startDetached(program, command.mid(1));
}

} // namespace

bool DesktopShell::openPath(const QString& path) {
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return true;
    return startDetached({QStringLiteral("xdg-open"), path});
}

bool DesktopShell::showInFolder(const QString& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // A file manager answers at once; one that must be started first gets a few seconds.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool DesktopShell::openInTextEditor(const QString& path) {
    const QString desktopFile = findDesktopFile(defaultDesktopFile(QStringLiteral("text/plain")));
    if (!desktopFile.isEmpty() && startDetached(execCommand(readExecLine(desktopFile), path)))
        return true;
    return false;
}

void DesktopShell::setClipboardText(const QString& text) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

QString DesktopShell::defaultDesktopFile(const QString& mimeType) {
    QStringList lists;
    const QString desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const QString& dir : configDirs()) {
        for (const QString& desktop : desktops.split(QLatin1Char(':'), Qt::SkipEmptyParts))
            lists << dir + QLatin1Char('/') + desktop.toLower() + QStringLiteral("-mimeapps.list");
        lists << dir + QStringLiteral("/mimeapps.list");
    }
    for (const QString& dir : applicationDirs())
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& list : lists) {
        const QString found =
            firstExisting(groupValue(list, QStringLiteral("Default Applications"), mimeType));
        if (!found.isEmpty())
            return found;
    }
    for (const QString& dir : applicationDirs()) {
        const QString found = firstExisting(groupValue(dir + QStringLiteral("/mimeinfo.cache"),
                                                       QStringLiteral("MIME Cache"), mimeType));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

QString DesktopShell::findDesktopFile(const QString& desktopId) {
    if (desktopId.isEmpty())
        return {};
    for (const QString& dir : applicationDirs()) {
        const QString direct = dir + QLatin1Char('/') + desktopId;
        if (QFileInfo(direct).isFile())
            return direct;
        // "kde-org.kate.desktop" may live at kde/org.kate.desktop.
        QString nested = desktopId;
        nested.replace(QLatin1Char('-'), QLatin1Char('/'));
        if (QFileInfo(dir + QLatin1Char('/') + nested).isFile())
            return dir + QLatin1Char('/') + nested;
    }
    return {};
}

QString DesktopShell::readExecLine(const QString& desktopFilePath) {
    return groupValue(desktopFilePath, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
}

QStringList DesktopShell::execCommand(const QString& execLine, const QString& file) {
    // Split by the desktop-entry quoting rules: double quotes group, a
    // backslash escapes inside them.
    QStringList words;
    QString word;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < execLine.size(); ++i) {
        const QChar c = execLine.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < execLine.size()) {
                word += execLine.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c.isSpace()) {
            if (any || !word.isEmpty())
                words << word;
            word.clear();
            any = false;
        } else {
            word += c;
        }
    }
    if (any || !word.isEmpty())
        words << word;

    QStringList command;
    bool fileGiven = false;
    const QString url = QUrl::fromLocalFile(file).toString();
    for (const QString& w : words) {
        if (w == QLatin1String("%f") || w == QLatin1String("%F")) {
            command << file;
            fileGiven = true;
            continue;
        }
        if (w == QLatin1String("%u") || w == QLatin1String("%U")) {
            command << url;
            fileGiven = true;
            continue;
        }
        if (w.size() == 2 && w.at(0) == QLatin1Char('%'))
            continue; // %i, %c, %k and the deprecated codes: nothing to give
        QString out = w;
        out.replace(QLatin1String("%%"), QLatin1String("%"));
        command << out;
    }
    if (!command.isEmpty() && !fileGiven)
        command << file;
    return command;
}
