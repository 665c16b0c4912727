#include "platform/ConfinedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A descriptor closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset(int fd) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

QStringList partsOf(const QString& path) {
    return path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool plainParts(const QStringList& parts) {
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

// Opens the folder that holds root/relative, walking every part without
// following links; name receives the last part. -1 when any step fails.
int openParent(const QString& resolvedRoot, const QString& relative, QByteArray& name) {
    if (!resolvedRoot.startsWith(QLatin1Char('/')) || !IsPlainRelativePath(relative))
        return -1;
    const QStringList rootParts = partsOf(resolvedRoot);
    QStringList parts = partsOf(relative);
    if (!plainParts(rootParts) || parts.isEmpty())
        return -1;
    name = QFile::encodeName(parts.takeLast());
    Fd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (const QString& part : rootParts + parts) {
        if (folder.get() < 0)
            return -1;
        folder.reset(::openat(folder.get(), QFile::encodeName(part).constData(),
                              O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    return folder.release();
}

} // namespace

bool OpenRegularFile(QFile& file, const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

QString ResolvedInside(const QString& folder, const QString& home) {
    const QString resolvedHome = QFileInfo(home).canonicalFilePath();
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    if (resolvedHome.isEmpty() || resolved.isEmpty() || !QFileInfo(resolved).isDir())
        return {};
    if (resolved == resolvedHome ||
        (resolvedHome == QLatin1String("/") ? resolved.startsWith(resolvedHome)
                                            : resolved.startsWith(resolvedHome + QLatin1Char('/'))))
        return resolved;
    return {};
}

bool IsPlainRelativePath(const QString& relative) {
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')))
        return false;
    return plainParts(relative.split(QLatin1Char('/')));
}

namespace {

// Removes the entry named by relative below resolvedRoot when it is of the
// given type, reached without following any link.
bool removeBelow(const QString& resolvedRoot, const QString& relative, mode_t type, int flags) {
    QByteArray name;
    const Fd parent(openParent(resolvedRoot, relative, name));
    if (parent.get() < 0)
        return false;
    struct stat st {};
    if (::fstatat(parent.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        (st.st_mode & S_IFMT) != type)
        return false;
    return ::unlinkat(parent.get(), name.constData(), flags) == 0;
}

} // namespace

bool RemoveFileBelow(const QString& resolvedRoot, const QString& relative) {
    return removeBelow(resolvedRoot, relative, S_IFREG, 0);
}

bool RemoveEmptyFolderBelow(const QString& resolvedRoot, const QString& relative) {
    // Fails, as it should, for a folder that still holds anything.
    return removeBelow(resolvedRoot, relative, S_IFDIR, AT_REMOVEDIR);
}

void SyncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
