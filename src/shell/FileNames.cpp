#include "shell/FileNames.h"

#include "net/Codecs.h"
#include "platform/AppPaths.h"
#include "shell/AppValues.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {
const QString FolderError = QStringLiteral("文件夹名称有误！不能创建文件夹！");
} // namespace

QString CleanFileName(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f)
            continue; // line breaks, NUL and the other controls no disk accepts
        switch (u) {
        case u'\\':
        case u'/':
        case u':':
        case u'*':
        case u'?':
        case u'"':
        case u'<':
        case u'>':
        case u'|':
            continue;
        default:
            s.append(c);
        }
    }
    // Leading dots would hide the file (and "." or ".." would name a folder);
    // trailing dots and spaces are dropped by other systems' file systems, so a
    // name ending in them would not survive a copy or SplitFileName's trimming.
    const auto trimEnds = [](QString& t) {
        qsizetype from = 0;
        while (from < t.size() && t.at(from) == QLatin1Char('.'))
            ++from;
        qsizetype to = t.size();
        while (to > from && (t.at(to - 1) == QLatin1Char('.') || t.at(to - 1) == QLatin1Char(' ')))
            --to;
        t = t.mid(from, to - from);
    };
    trimEnds(s);
    s = LeftBytes(s, CleanNameBytes);
    trimEnds(s);
    return s;
}

QString FileNameFor(const QString& title, const QString& address) {
    const QString name = CleanFileName(title);
    if (!name.isEmpty())
        return name;
    // The path of the address only: its query is no part of a file name.
    QString file = QUrl(address.trimmed()).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        file.truncate(dot);
    const QString fromAddress = CleanFileName(file);
    return fromAddress.isEmpty() ? UnnamedFileName : fromAddress;
}

QString JoinNameAndExtension(const QString& name, const QString& extension) {
    QString base = CleanFileName(name);
    if (base.isEmpty())
        base = UnnamedFileName;
    const QString ext = CleanFileName(extension);
    if (ext.isEmpty())
        return base;
    // An extension is a few letters; one that is not cannot crowd out the name.
    const QString tail = QLatin1Char('.') + LeftBytes(ext, MaxFileNameBytes - CleanNameBytes - 1);
    const int room = MaxFileNameBytes - static_cast<int>(tail.toUtf8().size());
    QString fitted = LeftBytes(base, room);
    // Shortening may leave a dot or space at the end ("a. b" -> "a."): trim again.
    while (fitted.endsWith(QLatin1Char('.')) || fitted.endsWith(QLatin1Char(' ')))
        fitted.chop(1);
    return (fitted.isEmpty() ? UnnamedFileName : fitted) + tail;
}

QString JoinFolder(const QString& folder, const QString& name) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString LocalPath(const QString& path) {
    QString p = path.trimmed();
    if (p.startsWith(QLatin1String("file:///"), Qt::CaseInsensitive))
        p = p.mid(7); // keep the root "/"
    return AppPaths::expandHome(p);
}

bool FileExists(const QString& path) {
    const QString p = LocalPath(path);
    return !p.isEmpty() && QFileInfo(p).isFile();
}

bool FolderExists(const QString& path) {
    if (path.trimmed().isEmpty())
        return false;
    return QFileInfo(AppPaths::expandHome(path)).isDir();
}

QString SplitFileName(const QString& path, QString& name) {
    const QString p = path.trimmed();
    const QString file = p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && file.size() - dot - 1 < 7) {
        name = file.left(dot).trimmed();
        return file.mid(dot + 1).trimmed();
    }
    name = file.trimmed();
    return {};
}

QString EnsureFolder(const QString& path) {
    const QString p = AppPaths::expandHome(path);
    const bool absolute = p.startsWith(QLatin1Char('/'));
    QString result;
    bool failed = false;
    // Empty parts ("a//b", a trailing "/", a leading "//") mean nothing on Linux.
    const auto join = [&](const QString& name) {
        return (result.isEmpty() && !absolute) ? name : result + QLatin1Char('/') + name;
    };
    for (const QString& part : p.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        // A folder that exists is the user's, whatever its name: cleaning it
        // (".papers" -> "papers") would put the files into a new folder.
        // "." and ".." name no folder of their own and stay refused.
        if (part != QLatin1String(".") && part != QLatin1String("..") && FolderExists(join(part))) {
            result = join(part);
            continue;
        }
        const QString clean = CleanFileName(part);
        if (clean.isEmpty()) {
            app().dialogs().error(nullptr, FolderError);
            failed = true;
            break;
        }
        result = join(clean);
        if (!FolderExists(result))
            QDir().mkdir(result); // a failure shows in the final test
    }
    if (absolute && result.isEmpty() && !failed)
        return QStringLiteral("/");
    if (!result.isEmpty() && FolderExists(result))
        return result;
    return {};
}
