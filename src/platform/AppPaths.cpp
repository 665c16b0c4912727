#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace AppPaths {

QString programFolder() {
    return programFolderFor(QCoreApplication::applicationDirPath());
}

QString programFolderFor(const QString& exeDir) {
    const bool installed =
        !exeDir.isEmpty() && QFileInfo::exists(exeDir + QStringLiteral("/../share/applications/") +
                                               QLatin1String(DesktopEntryName));
    if (!exeDir.isEmpty() && !installed && QFileInfo(exeDir).isWritable())
        return exeDir;
    const QString fallback = QDir::homePath() + QStringLiteral("/.local/share/Varnelle");
    QDir().mkpath(fallback);
    return fallback;
}

QString defaultSaveFolder() {
    QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty())
        downloads = QDir::homePath();
    return QDir::cleanPath(downloads) + QStringLiteral("/Varnelle/");
}

QString settingsFolder() {
    const QSettings probe(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Varnelle"),
                          QStringLiteral("Varnelle"));
    return QFileInfo(probe.fileName()).absolutePath();
}

QString expandHome(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

} // namespace AppPaths
