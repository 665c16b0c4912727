#pragma once

#include <QString>

// File names and folders as every window needs them: names made fit for any
// disk, the file and folder tests, and the folder-making routine. Paths use
// "/"; a folder value ends with "/"; a leading "~/" is the home folder.

// Longest file name the program creates, in UTF-8 bytes.
inline constexpr int MaxFileNameBytes = 255;
// Longest name CleanFileName leaves, in UTF-8 bytes; the rest of the 255 is
// room for a counter and an extension.
inline constexpr int CleanNameBytes = 200;

// The text made fit for a file name on any disk: the characters \ / : * ? " < > |
// and control characters removed, dots and spaces stripped from both ends, and
// cut to CleanNameBytes UTF-8 bytes without cutting a character in two.
QString CleanFileName(const QString& text);

// The name given to a file whose title leaves nothing usable.
inline const QString UnnamedFileName = QStringLiteral("未命名");

// The title as a file name (CleanFileName); when nothing of it is left (only
// dots, spaces, forbidden characters), the file name of the address without
// its extension, cleaned the same way; failing that, UnnamedFileName. Never
// empty, so a file is never named after its extension alone (".pdf").
QString FileNameFor(const QString& title, const QString& address);

// name + "." + extension as one file name. The name is made fit by
// CleanFileName (UnnamedFileName when nothing is left) and shortened when
// needed; the extension is never cut, so a long title cannot turn "x.pdf"
// into "x.p". An empty extension adds no dot.
QString JoinNameAndExtension(const QString& name, const QString& extension);

// folder + name, with "/" between them when the folder does not end with one.
// An empty folder adds nothing: a missing folder must not turn into the root.
QString JoinFolder(const QString& folder, const QString& name);

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

// Creates the folder and its missing parents, each part it creates made fit
// for a name by CleanFileName (parts that exist as folders stay as they are,
// such as ".papers" or "space "), and returns the folder without its trailing "/" (the path
// actually made, which may differ from the one given), or "" when it does not
// exist afterwards. A part that cleans to nothing (such as "..") shows
// "文件夹名称有误！不能创建文件夹！" and ends the walk. A leading "~/" is the home
// folder; leading "//" is the root, as Linux has no network paths.
QString EnsureFolder(const QString& path);
