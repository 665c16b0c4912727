#pragma once

#include <QString>

class QFile;

// Opens the regular file at path for reading, following no link at its last
// step. The open never waits: a FIFO or a device under the name (anyone who
// may write in the folder can put one there) would hold a blocking open until
// someone writes to it. The type is checked on the opened descriptor, so a
// file swapped in after any earlier look is judged as it is. False for
// anything but a regular file; file then stays closed. (Its fileName() stays
// empty.)
bool OpenRegularFile(QFile& file, const QString& path);

// Makes the names in folder durable (fsync of the folder): a rename into it
// then survives a power cut as the file's own sync made its bytes survive.
// A folder that cannot be opened is left as it is.
void SyncFolder(const QString& folder);

// Deletions that stay inside a folder. The folder is given resolved (no link
// anywhere in it); every step from "/" down to the file is opened without
// following links, so a link met on the way, whether it stood there when the
// folder was listed or was put there since, stops the deletion.

// The resolved path of folder when it lies inside the resolved home (or is
// it); empty when it does not exist, or resolves to somewhere else.
QString ResolvedInside(const QString& folder, const QString& home);

// Whether relative is a plain relative path: no empty, "." or ".." parts.
bool IsPlainRelativePath(const QString& relative);

// Removes the regular file root/relative. A link or folder of that name stays.
bool RemoveFileBelow(const QString& resolvedRoot, const QString& relative);

// Removes the folder root/relative when it is empty.
bool RemoveEmptyFolderBelow(const QString& resolvedRoot, const QString& relative);
