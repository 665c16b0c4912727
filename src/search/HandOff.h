#pragma once

#include "download/ArticleRecord.h"

#include <QString>
#include <QStringList>

// What a download row receives from an analysed article row.

// The file name: the last part of the link without its extension when the
// user chose the original file names, else the title on one line; cleaned
// for use as a file name either way (FileNameFor: never empty).
QString HandOffName(const QString& link, const QString& title, bool useOriginalFileName);

// Where an analysed article goes and under what name: HandOffName and
// HandOffFolder, and with a naming pattern (FileNamePattern) the name made
// from the record, its sub-folders added to the folder.
struct HandOffPlace {
    QString folder;
    QString name;
};
HandOffPlace HandOffTarget(const QString& link, const QString& title, bool useOriginalFileName,
                           const ArticleRecord& record, const QString& pattern,
                           const QString& rowFolder, const QString& currentSaveFolder);

// The row's save folder, or the current save folder when the row has none.
QString HandOffFolder(const QString& rowFolder, const QString& currentSaveFolder);

// The referring address: the result page for an "SD1" row, the row's link
// (the page the PDF address was read from) for an "SD2" row.
QString HandOffReferer(const QString& layout, const QString& link, const QString& pageAddress);

// Appends a waiting row to the download list, loading the download window
// (without showing it) when needed. A duplicate address is refused silently.
void HandOff(const QString& address, const QString& name, const QString& type,
             const QString& folder, const QString& referer, const ArticleRecord& record = {});

// Brings up a loaded download window after a run: repaints its list, shows it
// when hidden, with restore also un-minimises it, and puts it in front of the
// other windows unless it stays minimised. Does nothing when the download
// window is not loaded.
void 显示下载窗口(bool restore);

// Writes one title per line, each ended by CR LF, in UTF-8, replacing the file.
// Returns the file's size in bytes, or -1 when it could not be written whole
// (what was written stays).
qint64 ExportTitles(const QStringList& titles, const QString& path);

// "保存文件完毕：" and the size in kilobytes as #,##0.00 followed by "KB".
QString ExportDoneMessage(qint64 bytes);
