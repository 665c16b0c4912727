#pragma once

#include "download/ArticleRecord.h"

#include <QString>
#include <QtGlobal>

// The state of a download row; the value is also its state icon's index.
enum class ItemState : int {
    Waiting = 1,
    Downloading = 2,
    Finished = 3,
    Failed = 4,
};

// Where a row's transfer is about to put its file, noted before the rename:
// the final path and the identity (st_dev, st_ino) of the part file that the
// rename will give that name. After a crash the file under that path is the
// row's own exactly when it is still that file.
struct PlacementIntent {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    bool isEmpty() const { return path.isEmpty(); }
};

// One row of the download list. Every cell is text, as the list shows it.
struct DownloadItem {
    QString name;     // "名称": file name without folder and extension
    QString type;     // "类型": extension without its dot; may be empty
    QString size;     // "文件大小": expected size in bytes, or a status text
    QString received; // "已下载数": bytes written so far
    QString percent;  // "百分比": whole percent and "%", or a status text
    QString folder;   // "保存路径": the save folder
    QString baseHref; // "B": "Y" asks for the base-address step of the type check
    QString key;      // the address list: up to three addresses joined by "|"; unique
    QString tag;      // the referring address
    ItemState state = ItemState::Waiting;
    // The file at the row's path is the one this row's transfer renamed into
    // place. Row commands delete only such a file: a file the program did not
    // write (the user's, kept by a failed transfer under "覆盖", or one found
    // under "跳过") is never theirs to delete.
    bool placed = false;
    // The size of that file when it was placed; 0 when not known (a row kept
    // by an earlier program). A placed file of another size is no longer it.
    qint64 placedBytes = 0;
    // The row's identity for as long as it is in the list, also across runs
    // (its key changes when it is put back or its address replaced). Given
    // by the list; 0 until the row is in one.
    qint64 id = 0;
    // Set just before the row's transfer renames its file into place.
    PlacementIntent intent;
    // The article the row's file is; empty for a row added by address alone.
    ArticleRecord record;
    // "检查": what the look inside the arrived file found ("12页", "PDF无法打开",
    // "可能只有首页"), or "已下载过" when the row points at the file an
    // earlier row placed for the same article instead of fetching it again.
    QString check;
    // While the row points at an earlier file: the folder it was to save in,
    // where "仍然下载" fetches it after all.
    QString plannedFolder;
    // The user asked for the file although an earlier copy stands.
    bool fetchAnyway = false;

    // Not yet downloaded: the size, received and percent cells are all empty.
    bool notYetDownloaded() const {
        return size.isEmpty() && received.isEmpty() && percent.isEmpty();
    }
};
