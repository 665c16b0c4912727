#include "tools/CacheFolders.h"

#include "platform/ConfinedFiles.h"
#include "shell/FileNames.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

QString cutBefore(const QString& text, QChar c) {
    const int at = text.indexOf(c);
    return at < 0 ? text : text.left(at);
}

// Names the walk never lists.
bool skipped(const QString& name) {
    return name.compare(QLatin1String("pagefile.sys"), Qt::CaseInsensitive) == 0;
}

QFileInfoList entriesOf(const QString& folder) {
    return QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
}

void walk(const QString& folder, QStringList* folders, QStringList* files, bool recursive) {
    QStringList below;
    for (const QFileInfo& info : entriesOf(folder)) {
        if (skipped(info.fileName()) || info.isSymLink())
            continue;
        const QString path = folder + info.fileName();
        if (info.isDir()) {
            below << path + QLatin1Char('/');
            if (folders)
                folders->append(path);
        } else if (files && info.isFile()) {
            // A FIFO, socket or device is no cache file; it is neither listed
            // nor ever opened.
            files->append(path);
        }
    }
    if (recursive) {
        for (const QString& sub : std::as_const(below))
            walk(sub, folders, files, true);
    }
}

} // namespace

QString ExtensionFromUrl(const QString& address, QString& name) {
    QString text = address;
    bool nested = false;
    const int scheme = text.indexOf(QLatin1String("://"), 0, Qt::CaseInsensitive);
    if (scheme >= 0) {
        text = text.mid(scheme + 3);
        const int second = text.indexOf(QLatin1String("://"), 0, Qt::CaseInsensitive);
        if (second >= 0) {
            text = text.left(second);
            nested = true;
        }
    }
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    text = text.mid(text.lastIndexOf(QLatin1Char('\\')) + 1);
    text = cutBefore(text, QLatin1Char('#'));
    for (const QChar c : {QChar(8), QChar(9), QChar(10), QChar(13)})
        text = cutBefore(text, c);
    for (const char c : {':', '*', '<', '>', '|', '"', '\''})
        text = cutBefore(text, QLatin1Char(c));
    name = nested ? address.mid(qMax(0, int(address.indexOf(text)))) : text;
    text = cutBefore(text, QLatin1Char('='));
    text = cutBefore(text, QLatin1Char('?'));
    const int dot = text.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    const QString extension = text.mid(dot + 1).trimmed();
    return extension.size() < 7 ? extension : QString();
}

QString CachedDocumentName(const QString& address, const QString& fallback) {
    QString name;
    ExtensionFromUrl(address, name);
    QString cleaned = CleanFileName(cutBefore(cutBefore(name, QLatin1Char('?')), QLatin1Char('=')));
    if (cleaned.isEmpty())
        cleaned = CleanFileName(QUrl(address).host());
    if (cleaned.isEmpty())
        cleaned = CleanFileName(fallback);
    return cleaned;
}

void ListSubfolders(QString& folder, QStringList& list, bool recursive) {
    if (!folder.startsWith(QLatin1Char('/')))
        return;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    walk(folder, &list, nullptr, recursive);
}

void ListFiles(QString& folder, QStringList& list, bool recursive) {
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!folder.startsWith(QLatin1Char('/')))
        return;
    walk(folder, nullptr, &list, recursive);
}

QString ProfilesRoot(const QString& home) {
    const QString clean = QDir::cleanPath(home);
    const int slash = clean.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : clean.left(slash + 1);
}

QString RelativeCachePath(const QString& home, const QString& cacheFolder) {
    const QString h = QDir::cleanPath(home);
    const QString c = QDir::cleanPath(cacheFolder);
    if (h.isEmpty() || h == QLatin1String("/") || !c.startsWith(h + QLatin1Char('/')))
        return {};
    return c.mid(h.size() + 1);
}

void CacheRoots::add(const QString& resolvedFolder) {
    const QString folder = QDir::cleanPath(resolvedFolder);
    if (folder.startsWith(QLatin1Char('/')) && folder != QLatin1String("/") &&
        !m_roots.contains(folder))
        m_roots << folder;
}

QString CacheRoots::rootOf(const QString& path) const {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    for (const QString& root : m_roots) {
        if (p.startsWith(root + QLatin1Char('/')) && IsPlainRelativePath(p.mid(root.size() + 1)))
            return root;
    }
    return {};
}

bool CacheRoots::removeFile(const QString& path) const {
    const QString root = rootOf(path);
    return !root.isEmpty() && RemoveFileBelow(root, path.mid(root.size() + 1));
}

bool CacheRoots::removeEmptyFolder(const QString& folder) const {
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    const QString root = rootOf(f);
    return !root.isEmpty() && RemoveEmptyFolderBelow(root, f.mid(root.size() + 1));
}
