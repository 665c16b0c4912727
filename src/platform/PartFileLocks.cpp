#include "platform/PartFileLocks.h"

#include "platform/PartFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PartFileLocks {

namespace {

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

// Whether path names the regular file open at fd, and that file has no other
// name.
bool namesDescriptor(const QByteArray& path, int fd) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.constData(), &named) == 0 &&
           S_ISREG(held.st_mode) && held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
           held.st_nlink == 1;
}

} // namespace

Created create(const QString& path, int& fd) {
    fd = -1;
    const QByteArray name = local(path);
    const int created =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (created < 0)
        return errno == EEXIST ? Created::Taken : Created::Failed;
    // Whatever went wrong, the name is never unlinked here: the file under it
    // may already be another writer's, and one that holds the lock of this
    // file removes it itself.
    if (::flock(created, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(created);
        return held ? Created::Lost : Created::Failed;
    }
    if (!namesDescriptor(name, created)) {
        ::close(created);
        return Created::Lost;
    }
    fd = created;
    return Created::Ok;
}

int lockUnheld(const QString& path) {
    const QByteArray name = local(path);
    // Not waiting on the open, should anything but a file stand there.
    const int fd = ::open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !namesDescriptor(name, fd)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool removeUnheld(const QString& path, bool keepResumable) {
    const int fd = lockUnheld(path);
    if (fd < 0)
        return false; // none there, or a live writer holds it
    // Looked at under the lock: only the holder of a part writes its facts.
    const bool remove = !(keepResumable && hasResumeFacts(path));
    if (remove)
        removeHeld(path);
    ::close(fd);
    return remove;
}

void removeHeld(const QString& path) {
    // The facts go first. Stopped in between, this leaves a part without
    // facts: a stale part that the next writer of the name clears. The other
    // order could leave facts beside no part, and a part made later under the
    // name would then seem to continue an answer it never held.
    ::unlink(local(PartFile::resumePath(path)).constData());
    ::unlink(local(path).constData());
}

bool hasResumeFacts(const QString& path) {
    struct stat st {};
    return ::lstat(local(PartFile::resumePath(path)).constData(), &st) == 0;
}

} // namespace PartFileLocks
