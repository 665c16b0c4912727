#pragma once

#include <QString>

// Facts about the operating system, read from /etc/os-release and uname.
struct OsRelease {
    QString prettyName; // PRETTY_NAME, e.g. "Debian GNU/Linux 12 (bookworm)"
    QString versionId;  // VERSION_ID, e.g. "12"
};

namespace OsInfo {

// Parses os-release text (KEY=value lines, values optionally quoted).
OsRelease parseOsRelease(const QString& text);
// Reads /etc/os-release, falling back to /usr/lib/os-release.
OsRelease osRelease();

// uname's release and machine fields, e.g. "6.1.0-18-amd64", "x86_64".
QString kernelRelease();
QString machine();

// True when the machine is 64-bit, also for a 32-bit build on a 64-bit kernel.
bool machineIs64Bit(const QString& machine);

} // namespace OsInfo
