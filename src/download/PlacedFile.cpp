#include "download/PlacedFile.h"

#include "download/Naming.h"
#include "shell/FileNames.h"

#include <QDir>
#include <QFileInfo>

PlacedFileState JudgePlacedFile(const DownloadItem& row) {
    if (row.state != ItemState::Finished || !row.placed)
        return PlacedFileState::NotJudged;
    const QString path = LocalPath(RowFilePath(row));
    const QFileInfo file(path);
    if (!file.dir().exists())
        return PlacedFileState::NotJudged;
    if (!file.isFile())
        return PlacedFileState::Missing;
    if (row.placedBytes > 0 && file.size() != row.placedBytes)
        return PlacedFileState::Changed;
    return PlacedFileState::Standing;
}

QString PlacedFileGoneText(PlacedFileState state) {
    switch (state) {
    case PlacedFileState::Missing:
        return QStringLiteral("文件已丢失，重新下载");
    case PlacedFileState::Changed:
        return QStringLiteral("文件已改变，重新下载");
    case PlacedFileState::NotJudged:
    case PlacedFileState::Standing:
        break;
    }
    return {};
}

bool RequeueIfPlacedFileGone(DownloadItem& row) {
    const PlacedFileState state = JudgePlacedFile(row);
    if (state != PlacedFileState::Missing && state != PlacedFileState::Changed)
        return false;
    row.state = ItemState::Waiting;
    row.placed = false;
    row.placedBytes = 0;
    row.size.clear();
    row.received.clear();
    row.percent = PlacedFileGoneText(state);
    return true;
}
