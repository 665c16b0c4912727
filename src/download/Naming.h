#pragma once

#include "download/DownloadItem.h"
#include "shell/FileNames.h"

#include <QString>
#include <QStringList>

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

// The path of a row's file: folder, name and, when the type is not empty, "."
// and the type. A row without type names a file without extension (not
// "name."), so that the type check finds it and gives it the right one.
QString RowFilePath(const DownloadItem& row);

// The two bytes earlier versions wrote at a target while its transfer ran.
// Nothing writes them any more; one left behind by a killed process is no file.
QByteArray ReservationBytes();
// A file that holds nothing but such a reservation.
bool IsReservationFile(const QString& path);

// Names are reserved without writing under them: a name is held while this
// program's transfers are on their way to it (liveReservations, the targets the
// scheduler's transfers hold) or while a live locked part file of it exists
// (PartFile::isHeld; another process). Only a complete file ever stands under
// a final name.

// Whether the row still needs downloading. Under the skip policy an existing
// target file makes the row Finished with both size cells holding the file's
// length and the percent cell "已存在，跳过", and the answer is false.
// Under "跳过" and "覆盖" a row whose file is held by a transfer is not
// judged yet (false, the row left as it is) but waits for that transfer.
bool 确定是需要下载(DownloadItem& row, SameNamePolicy policy,
                    const QStringList& liveReservations = {});

// The full path to write a row's file to, and its name (without folder and
// extension) in `newName`. Under "覆盖", or when nothing is at folder/name.type
// (folder/name for an empty type), that path; otherwise the first free numbered name:
// name[001].type, ... (a trailing "[n]" of the name sets where counting starts; other brackets
// become 『』). Names that would pass the 255-byte limit are shortened.
// A held name (see above) is taken; a leftover reservation is free.
QString 重命名保存路径(const QString& folder, const QString& name, const QString& type,
                       SameNamePolicy policy, QString& newName,
                       const QStringList& liveReservations = {});

// A path at which nothing exists: the path itself when free, otherwise
// base[0001].ext, base[0002].ext, ... (a trailing "[n]" of the base is dropped
// first; the base is cut to 100 characters and to the 255-byte limit).
QString FreeFilePath(const QString& path);
