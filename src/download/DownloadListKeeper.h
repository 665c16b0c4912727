#pragma once

#include "download/DownloadItem.h"
#include "platform/KeptList.h"

class DownloadListModel;

// What the download list keeps across runs, and how it comes back.
//
// Every row is kept whole (cells, state, address list, referer, placed mark,
// the intent of a placement under way) under its id, with a place in the
// list (see KeptList). A row about to place its file is written at once,
// before the rename.
//
// Restoring: a row that was downloading waits again, unless the file under
// the path its transfer was about to rename to is still the part file it
// named (same device and inode): then the rename happened before the program
// ended, and the row is finished and placed, its cells filled from the file.
// A finished row that placed its file waits again when that file is gone or
// of another size than when it was placed (see RequeueIfPlacedFileGone).
class DownloadListKeeper : public KeptList {
    Q_OBJECT
public:
    // Follows model from now on when db keeps; does nothing otherwise.
    DownloadListKeeper(DownloadListModel& model, KeptDatabase& db, QObject* parent = nullptr);

    // Rows of the kept list that will wait once restored (as restoredRow
    // makes them); 0 when nothing is kept.
    static int unfinishedRows(KeptDatabase& db);
    // What a kept row that was downloading becomes at restore (see above).
    static DownloadItem restoredRow(DownloadItem item);

protected:
    qint64 idAt(int row) const override;
    QVariantList valuesAt(int row) const override;
    int appendKept(const QList<Row>& rows, QList<qint64>& changed) override;
    void followModel() override;

private:
    DownloadListModel& m_model;
};
