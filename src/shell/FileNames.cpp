#include "shell/FileNames.h"

#include "net/Codecs.h"
#include "platform/AppPaths.h"
#include "shell/AppValues.h"

#include <QDir>
#include <QFileInfo>

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
    for (const QString& part : p.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString clean = CleanFileName(part);
        if (clean.isEmpty()) {
            app().dialogs().error(nullptr, FolderError);
            failed = true;
            break;
        }
        result = (result.isEmpty() && !absolute) ? clean : result + QLatin1Char('/') + clean;
        if (!FolderExists(result))
            QDir().mkdir(result); // a failure shows in the final test
    }
    if (absolute && result.isEmpty() && !failed)
        return QStringLiteral("/");
    if (!result.isEmpty() && FolderExists(result))
        return result;
    return {};
}
