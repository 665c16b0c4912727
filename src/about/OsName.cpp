#include "about/OsName.h"

#include "platform/OsInfo.h"

QString FormatOsName(const OsRelease& release, const QString& kernelRelease) {
    QString name = release.prettyName.trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Linux");
    if (!release.versionId.isEmpty())
        name += QStringLiteral(" 版本:") + release.versionId;
    if (!kernelRelease.isEmpty())
        name += QStringLiteral(" (内部版本:") + kernelRelease + QLatin1Char(')');
    return name;
}

QString ReadOsName() {
    return FormatOsName(OsInfo::osRelease(), OsInfo::kernelRelease());
}

QString OsDisplayNameFor(const QString& osName, const QString& bitness) {
    return osName + QLatin1Char('[') + bitness + QStringLiteral("位]");
}
