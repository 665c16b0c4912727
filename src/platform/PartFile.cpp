#include "platform/PartFile.h"

#include "platform/ConfinedFiles.h"
#include "platform/PartFileLocks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <optional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int NameLimitBytes = 255;
constexpr int HashLength = 10;
const QString PartSuffix = QStringLiteral(".part");
// Room kept after the hash: a slot mark ("-3") and the longest suffix a part
// or its companion files end with.
constexpr int TailRoom = 2 + 7;
// Written data is handed to the disk in pieces of this size while the body
// streams, so the sync at the end waits only for the last piece.
constexpr qint64 WritebackBytes = 8 * 1024 * 1024;

// The longest prefix of name whose UTF-8 form fits in maxBytes, never cutting
// a character (or a surrogate pair) in two.
QString fitBytes(const QString& name, int maxBytes) {
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        qsizetype len = 1;
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            len = 2;
        const QString piece = name.mid(i, len);
        const int n = int(piece.toUtf8().size());
        if (bytes + n > maxBytes)
            break;
        bytes += n;
        out += piece;
        i += len - 1;
    }
    return out;
}

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

// Tries of one name while other writers keep taking it from under a new part.
constexpr int Attempts = 4;

} // namespace

// The open part: a descriptor that holds the part's lock for as long as it is
// open, written without any buffer in between.
class PartFile::Device : public QIODevice {
public:
    explicit Device(int fd, qint64 already = 0) : m_fd(fd), m_written(already) {
        m_handedOver = already;
        QIODevice::open(QIODevice::WriteOnly | Unbuffered);
    }

    // Empties the file and writes from its start again.
    bool restart() {
        if (m_fd < 0 || ::ftruncate(m_fd, 0) != 0 || ::lseek(m_fd, 0, SEEK_SET) != 0)
            return false;
        m_written = 0;
        m_handedOver = 0;
        return true;
    }
    ~Device() override {
        if (m_fd >= 0)
            ::close(m_fd); // also releases the lock
    }

    bool isSequential() const override { return true; }
    qint64 size() const override { return m_written; }
    bool failed() const { return m_failed; }

    // Makes the written bytes durable and takes no more; false when that, or
    // any write before, failed. The descriptor, and with it the lock, stays
    // until the device goes, so the finished part is not taken for a stale one.
    bool finish() { return syncAndClose(endWrites()); }

    // Takes no more writes and returns a second descriptor of the part for
    // its sync, which syncAndClose() ends; -1 when a write failed or there is
    // none. The second descriptor shares the lock, so a sync that outlives the
    // device keeps the part held until it is done.
    int endWrites() {
        if (m_fd < 0)
            return -1;
        QIODevice::close();
        return m_failed ? -1 : ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    }
    static bool syncAndClose(int fd) {
        if (fd < 0)
            return false;
        const bool ok = ::fsync(fd) == 0;
        ::close(fd);
        return ok;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        if (m_fd < 0 || m_failed)
            return -1;
        qint64 done = 0;
        while (done < length) {
            const ssize_t n = ::write(m_fd, data + done, size_t(length - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_failed = true;
                setErrorString(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC)));
                return -1;
            }
            done += n;
        }
        m_written += length;
        if (m_written - m_handedOver >= WritebackBytes) {
            ::sync_file_range(m_fd, m_handedOver, m_written - m_handedOver, SYNC_FILE_RANGE_WRITE);
            m_handedOver = m_written;
        }
        return length;
    }

private:
    int m_fd = -1;
    qint64 m_written = 0;
    qint64 m_handedOver = 0;
    bool m_failed = false;
};

PartFile::PartFile(QString targetPath) : m_target(std::move(targetPath)) {}

PartFile::~PartFile() {
    if (!m_committed)
        discard();
}

QString PartFile::partPath(const QString& targetPath, int slot) {
    const QFileInfo info(targetPath);
    const QString folder = info.absolutePath();
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash((folder + QLatin1Char('/') + info.fileName()).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(HashLength));
    const int room = NameLimitBytes - 2 - HashLength - TailRoom;
    QString name = QLatin1Char('.') + fitBytes(info.fileName(), room) + QLatin1Char('.') + hash;
    if (slot > 0)
        name += QLatin1Char('-') + QString::number(slot);
    return folder + QLatin1Char('/') + name + PartSuffix;
}

bool PartFile::isHeld(const QString& targetPath) {
    const QByteArray path = local(partPath(targetPath));
    if (::access(path.constData(), F_OK) != 0)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

int PartFile::removeStaleParts(const QString& targetPath) {
    int removed = 0;
    for (int slot = 0; slot < Slots; ++slot) {
        if (PartFileLocks::removeUnheld(partPath(targetPath, slot), false))
            ++removed;
    }
    return removed;
}

QString PartFile::resumePath(const QString& partPath) {
    QString path = partPath;
    if (path.endsWith(PartSuffix))
        path.chop(PartSuffix.size());
    return path + QStringLiteral(".resume");
}

namespace {

// The remembered facts: three lines, address, validator, total.
bool readFacts(const QString& path, PartFile::ResumeFacts* facts) {
    QFile file;
    if (!OpenRegularFile(file, path) || file.size() > 64 * 1024)
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.size() < 3)
        return false;
    facts->address = QString::fromUtf8(lines.at(0));
    facts->validator = lines.at(1);
    facts->total = lines.at(2).trimmed().toLongLong();
    return facts->isValid();
}

} // namespace

qint64 PartFile::peekResume(const QString& targetPath, const QString& address, ResumeFacts* facts) {
    *facts = {};
    const QString path = partPath(targetPath);
    ResumeFacts found;
    if (!readFacts(resumePath(path), &found) || found.address != address)
        return 0;
    const qint64 have = QFileInfo(path).size();
    if (have <= 0 || have >= found.total)
        return 0;
    *facts = found;
    return have;
}

qint64 PartFile::openToResume(const QString& address, ResumeFacts* facts) {
    discard();
    *facts = {};
    const QString path = partPath(m_target);
    const int fd = PartFileLocks::lockUnheld(path);
    if (fd < 0)
        return 0;
    ResumeFacts found;
    const off_t have = ::lseek(fd, 0, SEEK_END);
    if (!readFacts(resumePath(path), &found) || found.address != address || have <= 0 ||
        have >= found.total) {
        ::close(fd);
        return 0;
    }
    m_device = std::make_unique<Device>(fd, have);
    m_path = path;
    m_committed = false;
    m_resumable = true;
    *facts = found;
    return have;
}

bool PartFile::restart() {
    if (!isOpen())
        return false;
    ::unlink(local(resumePath(m_path)).constData());
    m_resumable = false;
    return m_device->restart();
}

bool PartFile::setResumable(const ResumeFacts& facts) {
    if (!isOpen() || !facts.isValid() || facts.address.contains(QLatin1Char('\n')) ||
        facts.validator.contains('\n'))
        return false;
    // Written whole under a temporary name first: a part never remembers half
    // of its facts.
    const QString path = resumePath(m_path);
    QFile file(path + QStringLiteral(".new"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray text = facts.address.toUtf8() + '\n' + facts.validator + '\n' +
                            QByteArray::number(facts.total) + '\n';
    const bool written = file.write(text) == text.size() && file.flush();
    file.close();
    if (!written || ::rename(local(file.fileName()).constData(), local(path).constData()) != 0) {
        file.remove();
        return false;
    }
    m_resumable = true;
    return true;
}

void PartFile::keep() {
    if (!m_resumable || m_path.isEmpty() || m_committed) {
        discard();
        return;
    }
    if (m_device && m_device->isOpen())
        m_device->finish(); // what arrived is made durable; failures only cost a resume
    m_device.reset();       // releases the lock: the next transfer may take it
    m_path.clear();
    m_resumable = false;
}

bool PartFile::open() {
    discard();
    using PartFileLocks::Created;
    for (int slot = 0; slot < Slots; ++slot) {
        const QString path = partPath(m_target, slot);
        for (int attempt = 0; attempt < Attempts; ++attempt) {
            int fd = -1;
            const Created created = PartFileLocks::create(path, fd);
            if (created == Created::Failed)
                return false;
            if (created == Created::Ok) {
                // Facts beside no part belong to no answer this part will hold.
                ::unlink(local(resumePath(path)).constData());
                m_device = std::make_unique<Device>(fd);
                m_path = path;
                m_committed = false;
                return true;
            }
            // A part nobody holds is left over from a killed process, or kept
            // for a resume that this transfer replaces; one a live transfer
            // holds makes the next name the one to try.
            if (created == Created::Taken && !PartFileLocks::removeUnheld(path, false))
                break;
        }
    }
    return false;
}

bool PartFile::isOpen() const {
    return m_device && m_device->isOpen();
}

QIODevice* PartFile::device() {
    return m_device.get();
}

QString PartFile::path() const {
    return m_path;
}

qint64 PartFile::size() const {
    if (m_device && m_device->isOpen())
        return m_device->size();
    return m_path.isEmpty() ? 0 : QFileInfo(m_path).size();
}

bool PartFile::finish() {
    return m_device && m_device->isOpen() && m_device->finish();
}

void PartFile::finishThen(QObject* context, std::function<void(bool)> done) {
    const int fd = m_device && m_device->isOpen() ? m_device->endWrites() : -1;
    if (fd < 0) {
        QMetaObject::invokeMethod(
            context, [done = std::move(done)] { done(false); }, Qt::QueuedConnection);
        return;
    }
    auto ok = std::make_shared<std::atomic_bool>(false);
    QThread* sync = QThread::create([fd, ok] { ok->store(Device::syncAndClose(fd)); });
    sync->setObjectName(QStringLiteral("part file sync"));
    QObject::connect(sync, &QThread::finished, context,
                     [ok, done = std::move(done)] { done(ok->load()); });
    QObject::connect(sync, &QThread::finished, sync, &QObject::deleteLater);
    sync->start();
}

bool PartFile::finishWaiting() {
    QEventLoop loop;
    std::optional<bool> result;
    finishThen(&loop, [&](bool ok) {
        result = ok;
        loop.quit();
    });
    if (!result)
        loop.exec();
    return result.value_or(false);
}

bool PartFile::commitTo(const QString& finalPath) {
    if (m_path.isEmpty() || !m_device || isOpen())
        return false;
    // The facts go before the part leaves its name, so that none stay beside
    // no part (PartFileLocks::removeHeld); a part whose rename fails is no
    // longer resumable.
    ::unlink(local(resumePath(m_path)).constData());
    m_resumable = false;
    if (::rename(local(m_path).constData(), local(finalPath).constData()) != 0)
        return false;
    // The part's bytes were synced before; without the folder's sync a power
    // cut could still take the new name back after the row said "finished".
    SyncFolder(QFileInfo(finalPath).absolutePath());
    m_committed = true;
    m_path.clear();
    m_device.reset();
    return true;
}

void PartFile::discard() {
    // Removed while the lock is still held: once it is released, the name may
    // soon be another writer's part.
    if (m_device && !m_path.isEmpty() && !m_committed)
        PartFileLocks::removeHeld(m_path);
    m_device.reset(); // closes the descriptor and releases the lock
    m_path.clear();
    m_resumable = false;
}
