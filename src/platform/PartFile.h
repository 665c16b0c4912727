#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>
#include <memory>

class QObject;

// A body on its way to a file: it streams into a hidden part file beside the
// target and becomes the target only by one rename once it is whole, so a
// crash, a kill or a full disk never leaves half a file under a final name and
// never costs the file that stood there.
//
// A target's part file has a name made from the target alone
// ("." + file name + "." + a short hash of the target path + ".part"), so one
// look finds it: no transfer lists the folder, however many files it holds.
// Every part file is locked while it is open. A part left behind by a killed
// process holds no lock, so the next transfer to the same target removes it;
// a live one (another transfer, another process) marks the target as taken.
// A part is unlinked or renamed only under its lock and after a check that
// the name still names it (PartFileLocks), so writers of the same name in
// several processes never take each other's files.
class PartFile {
public:
    // What a part that may be resumed remembers of its answer, in a small
    // hidden file beside it (".<part name without .part>.resume").
    struct ResumeFacts {
        QString address;      // the address the bytes came from
        QByteArray validator; // the answer's ETag, else its Last-Modified
        qint64 total = 0;     // the whole file's length
        bool isValid() const { return !address.isEmpty() && !validator.isEmpty() && total > 0; }
    };

    // targetPath: where the body is meant to end up (its folder holds the part).
    explicit PartFile(QString targetPath);
    // Removes the part unless it was committed.
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Removes a stale part of this target, then creates a new empty part,
    // locked. While another transfer holds the target's part, one of a few
    // further names is used. False when the folder cannot take it (missing,
    // read-only).
    bool open();
    // Opens the target's part left by an earlier transfer of address, to go on
    // writing at its end: only a part nobody holds, whose remembered address
    // is this one, and which holds less than the remembered total. Returns the
    // bytes already there (then `facts` are the remembered ones), or 0 when
    // there is nothing to resume (the part is then not open).
    qint64 openToResume(const QString& address, ResumeFacts* facts);
    // What the target's resumable part remembers, without opening it; empty
    // facts and 0 when there is none to resume for address.
    static qint64 peekResume(const QString& targetPath, const QString& address, ResumeFacts* facts);
    // The open part starts over: empty, no longer resumable.
    bool restart();
    // The answer may be resumed: remembered beside the part from now on, so a
    // killed program leaves a part the next transfer can use.
    bool setResumable(const ResumeFacts& facts);
    bool isResumable() const { return m_resumable; }
    // Ends this transfer's hold on a resumable part and leaves it (and what it
    // remembers) on disk for the next transfer of the row (a copy to the same
    // name passes it by); a part that is not resumable is removed, as by
    // discard().
    void keep();
    bool isOpen() const;
    // The open part, for writing. Each write reaches the file system at once,
    // so a full disk shows at the write that hits it; written data is handed
    // to the disk as it comes, so that finish() has little left to wait for.
    QIODevice* device();
    QString path() const;
    QString targetPath() const { return m_target; }
    qint64 size() const;

    // Makes the part durable and takes no more writes; false when any byte may
    // be missing (a full disk can show at the sync, not only at a write). The
    // part stays on disk, still locked, for commitTo().
    bool finish();
    // Like finish(), but the sync runs on a thread of its own and done(ok)
    // follows on context's thread, from its event loop (never if context has
    // gone by then). The part takes no more writes from now on and stays held
    // meanwhile; discarding or keeping it meanwhile is safe.
    void finishThen(QObject* context, std::function<void(bool)> done);
    // Like finish(), while the calling thread waits on events, so a window
    // stays live however long the disk takes; other handlers run meanwhile.
    bool finishWaiting();
    // Renames the finished part to finalPath in one step, replacing what stood
    // there (a symbolic link is replaced, never written through). False when
    // the rename failed: the part is then still there, and removed with this object.
    bool commitTo(const QString& finalPath);
    // Removes the part now.
    void discard();

    // The part file a transfer to targetPath writes into: "." + file name +
    // "." + hash + ".part", the file name cut so that the whole fits the name
    // limit. slot > 0 gives the names used while that one is held.
    static QString partPath(const QString& targetPath, int slot = 0);
    // How many names a target's parts can take.
    static constexpr int Slots = 4;
    // True when a live transfer (of this process or another) holds the
    // target's part: the target name is taken until that transfer ends.
    static bool isHeld(const QString& targetPath);
    // Removes every part of targetPath that no live transfer holds; returns how
    // many were removed. A few look-ups, whatever the folder holds.
    static int removeStaleParts(const QString& targetPath);
    // Where a part remembers what it needs to be resumed.
    static QString resumePath(const QString& partPath);

private:
    class Device;
    QString m_target;
    std::unique_ptr<Device> m_device;
    QString m_path;
    bool m_committed = false;
    bool m_resumable = false;
};
