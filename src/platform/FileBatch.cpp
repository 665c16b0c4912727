#include "platform/FileBatch.h"

#include "platform/ConfinedFiles.h"
#include "platform/PartFile.h"
#include "platform/PartFileLocks.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Named as part files, so either kind of leftover is cleared by the next
// write to its target; the same target in one batch takes the next name.
constexpr int MaxSlots = 100000;
// Tries of one name while other writers keep taking it from under a new file.
constexpr int Attempts = 4;
// Large files are handed to the disk while they are written, so the sync at
// the end of the batch has little left to wait for and dirty memory stays low.
constexpr qint64 WritebackBytes = 8 * 1024 * 1024;

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

// rename() that never replaces: false with EEXIST when the name is taken.
bool renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link fails on a taken name too.
    if (::link(from.constData(), to.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

} // namespace

struct FileBatch::Item {
    class Device : public QIODevice {
    public:
        explicit Device(Item& item) : m_item(item) {
            QIODevice::open(QIODevice::WriteOnly | Unbuffered);
        }
        bool isSequential() const override { return true; }
        qint64 size() const override { return m_item.written; }

    protected:
        qint64 readData(char*, qint64) override { return -1; }
        qint64 writeData(const char* data, qint64 length) override {
            if (m_item.fd < 0 || m_item.failed)
                return -1;
            qint64 done = 0;
            while (done < length) {
                const ssize_t n = ::write(m_item.fd, data + done, size_t(length - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    m_item.failed = true;
                    setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
                    return -1;
                }
                done += n;
            }
            m_item.written += length;
            if (m_item.written - m_item.handedOver >= WritebackBytes) {
                ::sync_file_range(m_item.fd, m_item.handedOver, m_item.written - m_item.handedOver,
                                  SYNC_FILE_RANGE_WRITE);
                m_item.handedOver = m_item.written;
            }
            return length;
        }

    private:
        Item& m_item;
    };

    QString path; // the temporary file; empty once renamed or removed
    int fd = -1;  // held until the file is renamed: it carries the lock
    qint64 written = 0;
    qint64 handedOver = 0;
    bool failed = false;
    bool closed = false;
    bool synced = false;
    std::unique_ptr<Device> device;

    ~Item() { remove(); }
    void release() {
        device.reset();
        if (fd >= 0)
            ::close(fd); // also releases the lock
        fd = -1;
    }
    void remove() {
        // Unlinked while still locked, so no one takes it for a stale file to clear.
        if (!path.isEmpty())
            ::unlink(local(path).constData());
        path.clear();
        release();
    }
};

FileBatch::FileBatch() = default;
FileBatch::~FileBatch() = default;

int FileBatch::add(const QString& targetPath) {
    // The names of the target's part files, tried in turn: one left by a
    // killed process (no lock) is cleared and its name taken, one a live
    // writer holds is passed by. Several files of one batch may be headed for
    // the same name, so the names go on past the few a download uses.
    using PartFileLocks::Created;
    for (int slot = 0; slot < MaxSlots; ++slot) {
        const QString path = PartFile::partPath(targetPath, slot);
        // A download's part kept for resuming (its facts stand beside it) is
        // the next transfer's: never removed, never reused.
        if (PartFileLocks::hasResumeFacts(path))
            continue;
        for (int attempt = 0; attempt < Attempts; ++attempt) {
            int fd = -1;
            const Created created = PartFileLocks::create(path, fd);
            if (created == Created::Failed)
                return -1;
            if (created == Created::Ok) {
                auto item = std::make_unique<Item>();
                item->path = path;
                item->fd = fd;
                item->device = std::make_unique<Item::Device>(*item);
                m_items.push_back(std::move(item));
                return int(m_items.size()) - 1;
            }
            if (created == Created::Taken && !PartFileLocks::removeUnheld(path, true))
                break;
        }
    }
    return -1;
}

QIODevice* FileBatch::device(int i) {
    if (i < 0 || i >= int(m_items.size()) || m_items[i]->closed)
        return nullptr;
    return m_items[i]->device.get();
}

bool FileBatch::close(int i, const QDateTime& modified) {
    if (i < 0 || i >= int(m_items.size()))
        return false;
    Item& item = *m_items[i];
    if (item.fd < 0 || item.closed)
        return false;
    item.closed = true;
    item.device.reset();
    if (item.failed) {
        item.remove();
        return false;
    }
    if (modified.isValid()) {
        const qint64 ms = modified.toMSecsSinceEpoch();
        const timespec times[2] = {{0, UTIME_OMIT}, {ms / 1000, (ms % 1000) * 1000000}};
        ::futimens(item.fd, times);
    }
    return true;
}

void FileBatch::discard(int i) {
    if (i >= 0 && i < int(m_items.size()))
        m_items[i]->remove();
}

qint64 FileBatch::size(int i) const {
    return i >= 0 && i < int(m_items.size()) ? m_items[i]->written : 0;
}

int FileBatch::pending() const {
    int n = 0;
    for (const auto& item : m_items)
        n += item->path.isEmpty() ? 0 : 1;
    return n;
}

qint64 FileBatch::pendingBytes() const {
    qint64 n = 0;
    for (const auto& item : m_items)
        n += item->path.isEmpty() ? 0 : item->written;
    return n;
}

void FileBatch::sync() {
    // One sync of each file system the batch wrote to: it writes back every
    // file of the batch and commits the file system's journal once, where a
    // sync of each file would commit it once per file. Should it report an
    // error, each file is synced on its own to learn which ones are whole.
    std::vector<std::pair<dev_t, bool>> synced; // file system, its sync succeeded
    for (const auto& item : m_items) {
        if (item->path.isEmpty() || !item->closed || item->synced)
            continue;
        struct stat st {};
        if (::fstat(item->fd, &st) != 0) {
            item->remove();
            continue;
        }
        auto it = std::find_if(synced.begin(), synced.end(),
                               [&](const auto& fs) { return fs.first == st.st_dev; });
        if (it == synced.end()) {
            synced.emplace_back(st.st_dev, ::syncfs(item->fd) == 0);
            it = synced.end() - 1;
        }
        if (it->second || ::fsync(item->fd) == 0)
            item->synced = true;
        else
            item->remove();
    }
}

bool FileBatch::isSynced(int i) const {
    return i >= 0 && i < int(m_items.size()) && m_items[i]->synced && !m_items[i]->path.isEmpty();
}

FileBatch::Placed FileBatch::place(int i, const QString& path, bool replace) {
    if (!isSynced(i))
        return Placed::Failed;
    Item& item = *m_items[i];
    const QByteArray from = local(item.path);
    const QByteArray to = local(path);
    const bool renamed =
        replace ? ::rename(from.constData(), to.constData()) == 0 : renameNoReplace(from, to);
    if (!renamed)
        return errno == EEXIST && !replace ? Placed::NameTaken : Placed::Failed;
    item.path.clear();
    item.release();
    const QString folder = QFileInfo(path).absolutePath();
    if (!m_renamedIn.contains(folder))
        m_renamedIn << folder;
    return Placed::Done;
}

void FileBatch::syncFolders() {
    for (const QString& folder : std::as_const(m_renamedIn))
        SyncFolder(folder);
    m_renamedIn.clear();
}
