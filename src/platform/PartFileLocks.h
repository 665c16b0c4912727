#pragma once

#include <QString>

// How part files are made, taken over and removed. PartFile and FileBatch
// write under the same names, so they share these rules.
//
// A part is unlinked or renamed only by the holder of its lock, and only once
// it has checked that the name still names the locked file. Between the
// creation of a part and its lock, another writer may take the new file for
// one left by a killed process, remove it and make a part of its own under
// the name; the check makes the first writer try again instead of renaming
// the other's half-written file onto the target.
namespace PartFileLocks {

enum class Created {
    Ok,     // fd holds the lock of the new part
    Taken,  // something of that name exists
    Lost,   // another writer took the new file before it was locked: try the name again
    Failed, // the folder cannot take it (missing, read-only, ...)
};
// Creates path as a new, empty part and locks it.
Created create(const QString& path, int& fd);

// Opens the part at path for reading and writing and takes its lock, when
// nobody holds it and the name still names the locked file; -1 otherwise.
int lockUnheld(const QString& path);

// Removes the part at path with its resume facts when nobody holds it. With
// keepResumable, a part with resume facts beside it stays. True when removed.
bool removeUnheld(const QString& path, bool keepResumable);

// Removes the part at path and its resume facts; the caller holds its lock
// and still does while this runs.
void removeHeld(const QString& path);

// Whether resume facts stand beside the part at path (whether or not the part
// does).
bool hasResumeFacts(const QString& path);

} // namespace PartFileLocks
