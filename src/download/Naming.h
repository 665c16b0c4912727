#pragma once

#include "download/DownloadItem.h"

#include <QString>

// How a saved file is named, what happens when its name is taken, and the small
// file-system tests the download code shares. Paths use "/"; a folder value
// ends with "/". No routine here shows a message except EnsureFolder.
//
// Every name these routines make, a counter and an extension included, fits the
// 255-byte (UTF-8) name limit of Linux file systems, and no name can leave its
// folder: "/" never survives CleanFileName, and names made of dots are emptied.

// The choice under "同名文件：" for a target file that exists already.
enum class SameNamePolicy {
    Skip,      // "跳过"
    Overwrite, // "覆盖"
    Rename,    // "重命名" (the default)
};

// The policy an option caption stands for; anything unknown is "重命名".
SameNamePolicy sameNamePolicyFromCaption(const QString& caption);
QString sameNamePolicyCaption(SameNamePolicy policy);

// Longest file name the program creates, in UTF-8 bytes.
inline constexpr int MaxFileNameBytes = 255;
// Longest name CleanFileName leaves, in UTF-8 bytes; the rest of the 255 is
// room for a counter and an extension.
inline constexpr int CleanNameBytes = 200;

// The text made fit for a file name on any disk: the characters \ / : * ? " < > |
// and control characters removed, dots and spaces stripped from both ends, and
// cut to CleanNameBytes UTF-8 bytes without cutting a character in two.
QString CleanFileName(const QString& text);

// The first address of an address list ("a|b|c" gives "a").
QString 选择url(const QString& list);
// The list rotated so that a re-download tries the next address: a|b gives b|a,
// a|b|c gives c|a|b; other lists come back unchanged.
QString 对调url(const QString& list);

// The value of the first "Content-Disposition:" line of a header block, or "".
QString 从网络文件Header获取ContentDisposition(const QString& headers);
// The file name (without extension) in a Content-Disposition value, percent-
// decoded; the extension (letters only, at most 5) goes to `extension`. Both are
// empty without "filename=". The name may hold any character: pass it through
// CleanFileName before it touches the disk.
QString 从下载头信息ContentDisposition获取文件名(const QString& value, QString& extension);

// folder + name, with "/" between them when the folder does not end with one.
// An empty folder adds nothing: a missing folder must not turn into the root.
QString JoinFolder(const QString& folder, const QString& name);

// The path of a row's file: folder, name and, when the type is not empty, "."
// and the type. A row without type names a file without extension (not
// "name."), so that the type check finds it and gives it the right one.
QString RowFilePath(const DownloadItem& row);

// Whether the row still needs downloading. Under the skip policy an existing
// target file makes the row Finished with both size cells holding the file's
// length and the percent cell "已存在，跳过", and the answer is false.
bool 确定是需要下载(DownloadItem& row, SameNamePolicy policy);

// The full path to write a row's file to, and its name (without folder and
// extension) in `newName`. Under "覆盖", or when nothing is at folder/name.type
// (folder/name for an empty type), that path; otherwise the first free numbered name:
// name[001].type, ... (a trailing "[n]" of the name sets where counting starts; other brackets
// become 『』). Names that would pass the 255-byte limit are shortened.
QString 重命名保存路径(const QString& folder, const QString& name, const QString& type,
                       SameNamePolicy policy, QString& newName);

// A path at which nothing exists: the path itself when free, otherwise
// base[0001].ext, base[0002].ext, ... (a trailing "[n]" of the base is dropped
// first; the base is cut to 100 characters and to the 255-byte limit).
QString FreeFilePath(const QString& path);

// The path as the file system wants it: spaces around it and a "file://"
// prefix dropped, a leading "~/" made the home folder.
QString LocalPath(const QString& path);

// Whether a file (not a folder) exists at the path. Spaces around the path and a
// "file://" prefix are ignored; a leading "~/" is the home folder.
bool FileExists(const QString& path);
// Whether a folder exists at the path; a leading "~/" is the home folder.
bool FolderExists(const QString& path);

// The extension of the file a path names (the text after its last ".", when
// shorter than 7 characters), with the name without folder and extension in
// `name`; both trimmed.
QString SplitFileName(const QString& path, QString& name);

// Creates the folder and its missing parents, each part made fit for a name by
// CleanFileName, and returns the folder without its trailing "/" (the path
// actually made, which may differ from the one given), or "" when it does not
// exist afterwards. A part that cleans to nothing (such as "..") shows
// "文件夹名称有误！不能创建文件夹！" and ends the walk. A leading "~/" is the home
// folder; leading "//" is the root, as Linux has no network paths.
QString EnsureFolder(const QString& path);
