#pragma once

#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Files written under hidden temporary names beside their targets and put in
// place as a batch: every file is written whole, then the batch is made
// durable in one pass, then each file is renamed onto its name, then the
// folders are synced. This keeps the promise of a file synced on its own (a
// name only ever receives a complete, durable file; the file it replaces
// stays whole until that moment) at the cost of one sync per batch instead of
// one per file.
//
// The temporary files are named and locked like part files (PartFile), so one
// left behind by a killed process is cleared by the next write to its target.
// A download's part kept for resuming (its resume facts beside it) is never
// removed or reused: the file takes the next name.
class FileBatch {
public:
    FileBatch();
    // Removes every temporary file not yet renamed into place.
    ~FileBatch();
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // A new temporary file beside targetPath, open for writing; its index,
    // or -1 when the folder cannot take it or no name is left.
    int add(const QString& targetPath);
    // The open file, for writing. Each write reaches the file system at once,
    // so a full disk shows at the write that hits it.
    QIODevice* device(int i);
    // Ends the writing: the file gets its modification time. False when any write failed; the file
    // is then removed.
    bool close(int i, const QDateTime& modified);
    // Removes file i now.
    void discard(int i);
    qint64 size(int i) const;

    // The files added and not yet renamed or removed, and their bytes.
    int pending() const;
    qint64 pendingBytes() const;

    // Makes every closed file durable: one sync of each file system the
    // files are on. A file that cannot be made so is removed; isSynced()
    // then says false.
    void sync();
    bool isSynced(int i) const;

    enum class Placed { Done, NameTaken, Failed };
    // Renames the synced file i onto path. With replace false an existing
    // name is never replaced (NameTaken); with replace true whatever stands
    // there is replaced in one step (a link itself, never written through).
    Placed place(int i, const QString& path, bool replace);
    // Makes the renames so far durable.
    void syncFolders();

private:
    struct Item;
    std::vector<std::unique_ptr<Item>> m_items;
    QList<QString> m_renamedIn; // folders with renames not yet synced
};
