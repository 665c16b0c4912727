#pragma once

#include "download/DownloadItem.h"

#include <QString>

// Whether the file a finished row placed still stands where the row says it
// is, as it was placed. The user may have deleted, moved or replaced it while
// the program was closed; a list that still calls such a row finished claims
// a file that is not there.
enum class PlacedFileState {
    NotJudged, // not a finished row that placed its file, or its folder is gone
    Standing,  // the file is there, of the size it was placed with
    Missing,   // no file under the row's name
    Changed,   // a file of another size stands there
};

// Only rows that placed their file are judged: a row finished on the user's
// own file ("已存在，跳过") or skipped as too big keeps its meaning. A row
// whose folder is gone is not judged either: the folder may be on a drive
// that is not attached now, and a run would otherwise create it anew.
PlacedFileState JudgePlacedFile(const DownloadItem& row);

// The "百分比" text of a row whose placed file is gone or changed.
QString PlacedFileGoneText(PlacedFileState state);

// A finished row whose placed file is missing or changed waits again, so that
// a run fetches it anew: the file under its name is not the row's (never
// deleted by a row command), and its cells say why. True when it changed.
bool RequeueIfPlacedFileGone(DownloadItem& row);
