#pragma once

#include <QString>

struct OsRelease;

// The operating system's name, version and build as one text, e.g.
// "Debian GNU/Linux 12 (bookworm) 版本:12 (内部版本:6.1.0-18-amd64)".
QString ReadOsName();
QString FormatOsName(const OsRelease& release, const QString& kernelRelease);

// The program-wide display name: ReadOsName() + "[" + bitness + "位]".
QString OsDisplayNameFor(const QString& osName, const QString& bitness);
