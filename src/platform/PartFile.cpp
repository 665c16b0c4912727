#include "platform/PartFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

constexpr int NameLimitBytes = 255;
const QString PartSuffix = QStringLiteral(".part");

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

// Opens path and takes its lock without waiting; -1 when another holder has it
// (or the file cannot be opened).
int lockExisting(const QString& path) {
    const int fd = ::open(local(path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

PartFile::PartFile(QString targetPath) : m_target(std::move(targetPath)) {}

PartFile::~PartFile() {
    if (!m_committed)
        discard();
    releaseLock();
}

QString PartFile::partPrefix(const QString& targetPath) {
    const QFileInfo info(targetPath);
    // Room for ".", "." + 8 random characters and ".part".
    const int room = NameLimitBytes - 1 - 9 - int(PartSuffix.size());
    return info.absolutePath() + QLatin1Char('/') + QLatin1Char('.') +
           fitBytes(info.fileName(), room) + QLatin1Char('.');
}

int PartFile::removeStaleParts(const QString& targetPath) {
    const QString prefix = partPrefix(targetPath);
    const QFileInfo prefixInfo(prefix);
    QDir folder(prefixInfo.absolutePath());
    const QString namePrefix = prefix.mid(prefix.lastIndexOf(QLatin1Char('/')) + 1);
    int removed = 0;
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (!name.startsWith(namePrefix) || !name.endsWith(PartSuffix))
            continue;
        // Exactly the random part between prefix and suffix: a longer target
        // name that merely starts the same is someone else's.
        const qsizetype middle = name.size() - namePrefix.size() - PartSuffix.size();
        if (middle != 8)
            continue;
        const QString path = folder.filePath(name);
        const int fd = lockExisting(path);
        if (fd < 0)
            continue; // a live transfer holds it
        if (::unlink(local(path).constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

bool PartFile::open() {
    discard();
    removeStaleParts(m_target);
    const QString prefix = partPrefix(m_target);
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 50; ++attempt) {
        QString random;
        for (int k = 0; k < 8; ++k)
            random += QLatin1Char(alphabet[QRandomGenerator::global()->bounded(36)]);
        const QString path = prefix + random + PartSuffix;
        const int fd = ::open(local(path).constData(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            ::unlink(local(path).constData());
            return false;
        }
        auto file = std::make_unique<QFile>();
        // The lock lives on its own descriptor; the QFile writes through a duplicate.
        const int writeFd = ::dup(fd);
        if (writeFd < 0 || !file->open(writeFd, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                       QFileDevice::AutoCloseHandle)) {
            if (writeFd >= 0)
                ::close(writeFd);
            ::close(fd);
            ::unlink(local(path).constData());
            return false;
        }
        m_lockFd = fd;
        m_path = path;
        m_file = std::move(file);
        m_committed = false;
        return true;
    }
    return false;
}

bool PartFile::isOpen() const {
    return m_file && m_file->isOpen();
}

QFile* PartFile::device() {
    return m_file.get();
}

QString PartFile::path() const {
    return m_path;
}

qint64 PartFile::size() const {
    if (m_file && m_file->isOpen())
        return m_file->size();
    return m_path.isEmpty() ? 0 : QFileInfo(m_path).size();
}

bool PartFile::finish() {
    if (!m_file || !m_file->isOpen())
        return false;
    bool ok = m_file->error() == QFileDevice::NoError && m_file->flush();
    ok = ::fsync(int(m_file->handle())) == 0 && ok;
    // An error of the close itself shows in error() afterwards.
    m_file->close();
    return ok && m_file->error() == QFileDevice::NoError;
}

bool PartFile::commitTo(const QString& finalPath) {
    if (m_path.isEmpty() || (m_file && m_file->isOpen()))
        return false;
    if (::rename(local(m_path).constData(), local(finalPath).constData()) != 0)
        return false;
    m_committed = true;
    m_path.clear();
    m_file.reset();
    releaseLock();
    return true;
}

void PartFile::discard() {
    if (m_file) {
        if (m_file->isOpen())
            m_file->close();
        m_file.reset();
    }
    if (!m_path.isEmpty() && !m_committed)
        ::unlink(local(m_path).constData());
    m_path.clear();
    releaseLock();
}

void PartFile::releaseLock() {
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}
