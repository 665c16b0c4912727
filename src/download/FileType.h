#pragma once

#include "download/DownloadItem.h"

#include <QList>
#include <QString>
#include <functional>

class QWidget;

// What a downloaded file really is, judged from its bytes, and the correction of
// a row whose extension says otherwise (a "PDF" that is an HTML error page
// becomes name.htm).

// The type of the file at `path` as a lower-case extension without dot ("pdf",
// "htm", "docx", ...), or "" when the file is missing, unreadable or unknown.
// Looks at the first 10241 bytes (a shorter file with one zero byte appended),
// the last 128 bytes for an MP3 tag, and, for small files, their text. A
// signature that would need bytes past the first buffer ends the judgement
// with "" at once, so files under 16 bytes are rarely known.
QString 打开文件判断文件类型(const QString& path);

// When the row's file is of another type than its type column says (case is
// ignored), moves it to name.<real type> in the same folder (or to the first
// free name[0001].<type>, ...) and sets the row's type and name. True when the
// file was moved; a missing file, an unknown type or a failed move leave the
// row alone and give false. Nothing is ever overwritten.
bool CorrectFileType(DownloadItem& row);

// The extension for a media type ("application/pdf" gives "pdf", "text/plain"
// "txt"); the caller strips the ";" parameters. Only a leading run of at most
// five letters is kept; anything else, or an unknown type, gives "".
QString MimeTypeToExtension(const QString& mediaType);

// The command "检查并纠正磁盘文件类型" on the rows of the download list.
// `downloadRunning`: the scheduler timer is on, the single transfer is busy or a
// worker besides the template one is loaded; then only
// "停止下载以后，才能执行此操作！" is shown and -1 returned. An empty list shows
// nothing and gives 0. Otherwise every row is corrected, `rowChanged` is called
// with the index of each row that changed (so the model can repaint it), the
// message "纠正文件类型：N个." is shown, and N returned. Wiring:
//   检查并纠正磁盘文件类型(rowPointers, isDownloading(), [&](qsizetype i) {...}, this);
int 检查并纠正磁盘文件类型(const QList<DownloadItem*>& rows, bool downloadRunning,
                           const std::function<void(qsizetype)>& rowChanged = {},
                           QWidget* parent = nullptr);

// The command "打开文件判断类型": asks for any file, judges it and shows
// "文件类型为：" and the type (or "目前还无法判断。"). Returns the type; "" when the
// user cancelled or the type is unknown. The list is not touched.
QString 打开文件判断类型(QWidget* parent = nullptr);
