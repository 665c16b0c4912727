#pragma once

#include <QString>

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
