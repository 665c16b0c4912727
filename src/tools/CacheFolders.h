#pragma once

#include <QString>
#include <QStringList>

// The cache viewer's rules for addresses, folders and what it may delete.

// The extension of the file an address or path names: the host part and the
// scheme are dropped, the last path part is cut at "#", control characters,
// characters no file name holds, "=" and "?"; the text after its last "." when
// shorter than 7 characters, else empty. name receives the last path part
// (cut at "#" and the forbidden characters, not at "?" or "=").
QString ExtensionFromUrl(const QString& address, QString& name);

// The name under which a cached document is copied out: the last part of its
// address without query, made fit for a file name; the host when the address
// ends in "/"; fallback when nothing is left.
QString CachedDocumentName(const QString& address, const QString& fallback);

// Appends the folders directly in folder (and, when recursive, every folder
// below them, each folder's sub-folders listed before descending) to list.
// Links are never followed. folder must be absolute; it gets a trailing "/".
void ListSubfolders(QString& folder, QStringList& list, bool recursive);

// Appends the paths of the regular files in folder (and below it, when
// recursive) to list. Links, to files or folders, are left out: a cache folder
// holds none, and one that points elsewhere must never be followed; so are
// FIFOs, sockets and devices.
void ListFiles(QString& folder, QStringList& list, bool recursive);

// The all-users view looks in every folder beside home (ProfilesRoot, with a
// trailing "/") for the path that the current user's cache folder has below
// home (RelativeCachePath; empty when the cache folder is not below home).
QString ProfilesRoot(const QString& home);
QString RelativeCachePath(const QString& home, const QString& cacheFolder);

// The cache folders a view listed, resolved, and the deletions inside them.
// A path belongs to a folder by its text (no "." or ".." parts), and a
// deletion follows no link on its way, so nothing outside is ever touched.
class CacheRoots {
public:
    void clear() { m_roots.clear(); }
    // folder is resolved already (no link in it); "/" is never a root.
    void add(const QString& resolvedFolder);
    // The root path lies below; empty when none.
    QString rootOf(const QString& path) const;
    bool contains(const QString& path) const { return !rootOf(path).isEmpty(); }
    // Removes the regular file at path; false when it is not a file below a root.
    bool removeFile(const QString& path) const;
    // Removes the folder when it is below a root and empty.
    bool removeEmptyFolder(const QString& folder) const;
    bool isEmpty() const { return m_roots.isEmpty(); }

private:
    QStringList m_roots; // resolved, without trailing "/"
};
