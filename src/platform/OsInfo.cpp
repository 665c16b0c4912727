#include "platform/OsInfo.h"

#include <QFile>
#include <QStringList>
#include <sys/utsname.h>

namespace OsInfo {

OsRelease parseOsRelease(const QString& text) {
    OsRelease r;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.startsWith(QLatin1Char('#')) || eq <= 0)
            continue;
        const QString key = line.left(eq);
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 &&
            (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        if (key == QLatin1String("PRETTY_NAME"))
            r.prettyName = value;
        else if (key == QLatin1String("VERSION_ID"))
            r.versionId = value;
    }
    return r;
}

OsRelease osRelease() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly))
            return parseOsRelease(QString::fromUtf8(f.readAll()));
    }
    return {};
}

static utsname readUname() {
    utsname u{};
    if (uname(&u) != 0)
        return utsname{};
    return u;
}

QString kernelRelease() {
    return QString::fromLocal8Bit(readUname().release);
}

QString machine() {
    return QString::fromLocal8Bit(readUname().machine);
}

bool machineIs64Bit(const QString& m) {
    static const char* const wide[] = {"x86_64", "amd64",       "aarch64", "arm64",
                                       "ppc64",  "ppc64le",     "s390x",   "riscv64",
                                       "mips64", "loongarch64", "sparc64"};
    for (const char* w : wide)
        if (m.compare(QLatin1String(w), Qt::CaseInsensitive) == 0)
            return true;
    return m.contains(QLatin1String("64"));
}

} // namespace OsInfo
