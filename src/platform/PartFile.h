#pragma once

#include <QFile>
#include <QString>
#include <memory>

// A body on its way to a file: it streams into a hidden part file beside the
// target and becomes the target only by one rename once it is whole, so a
// crash, a kill or a full disk never leaves half a file under a final name and
// never costs the file that stood there.
//
// Every part file is locked while it is open. A part left behind by a killed
// process holds no lock, so the next transfer to the same target removes it.
class PartFile {
public:
    // targetPath: where the body is meant to end up (its folder holds the part).
    explicit PartFile(QString targetPath);
    // Removes the part unless it was committed.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Removes stale parts of this target, then creates a new empty part, locked.
    // False when the folder cannot take it (missing, read-only).
    bool open();
    bool isOpen() const;
    // The open part, for writing. Writes are unbuffered, so a full disk shows
    // at the write that hits it.
    QFile* device();
    QString path() const;
    QString targetPath() const { return m_target; }
    qint64 size() const;

    // Flushes the part to the disk and closes it; false when any byte may be
    // missing (a full disk shows at the flush or the close, not always at the
    // write). The part stays on disk for commitTo().
    bool finish();
    // Renames the finished part to finalPath in one step, replacing what stood
    // there (a symbolic link is replaced, never written through). False when
    // the rename failed: the part is then still there, and removed with this object.
    bool commitTo(const QString& finalPath);
    // Removes the part now.
    void discard();

    // The part files a target's transfer writes into are named after it:
    // "." + file name + "." + random + ".part", cut to the name limit.
    static QString partPrefix(const QString& targetPath);
    // Removes every part of targetPath that no live transfer holds; returns how
    // many were removed.
    static int removeStaleParts(const QString& targetPath);

private:
    QString m_target;
    std::unique_ptr<QFile> m_file;
    int m_lockFd = -1;
    QString m_path;
    bool m_committed = false;
    void releaseLock();
};
