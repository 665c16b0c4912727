// One writer of the test of several processes writing the same name at once.
// Arguments: how it writes ("part": PartFile, "batch": FileBatch), the target,
// its number and how many rounds. It starts when a line arrives on its
// standard input, so that every writer starts together. After each round it
// reads the target: anything but some writer's whole content under that name
// ends it with a message and exit code 1.

#include "WriterContent.h"
#include "platform/FileBatch.h"
#include "platform/PartFile.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

// The lock of a file this process has just created (the only files it opens
// write-only) is taken a moment late, as by a writer preempted between the
// two calls: the moment in which another writer may take the new file for one
// left by a killed process.
extern "C" int flock(int fd, int operation) noexcept {
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY) {
        const timespec pause{0, 100 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    return int(::syscall(SYS_flock, fd, operation));
}

namespace {

constexpr qint64 Piece = 4096;

bool writeInPieces(QIODevice* out, const QByteArray& data) {
    for (qint64 at = 0; at < data.size(); at += Piece) {
        const QByteArray piece = data.mid(at, Piece);
        if (!out || out->write(piece) != piece.size())
            return false;
    }
    return true;
}

int fail(const char* what, int round) {
    std::fprintf(stderr, "writer round %d: %s\n", round, what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 5)
        return 2;
    const bool batch = args.at(1) == QLatin1String("batch");
    const QString target = args.at(2);
    const int writer = args.at(3).toInt();
    const int rounds = args.at(4).toInt();
    std::string go;
    std::getline(std::cin, go);

    for (int round = 0; round < rounds; ++round) {
        const QByteArray content = WriterContent(writer, round);
        if (batch) {
            FileBatch files;
            const int i = files.add(target);
            if (i < 0)
                return fail("no temporary file", round);
            if (!writeInPieces(files.device(i), content) || !files.close(i, {}))
                return fail("write failed", round);
            files.sync();
            if (files.place(i, target, true) != FileBatch::Placed::Done)
                return fail("rename failed", round);
            files.syncFolders();
        } else {
            // With every lock this late, writers keep taking each other's new
            // parts for stale ones, and an open may find no name it can keep:
            // that costs a try, never a file.
            PartFile part(target);
            for (int tries = 1; !part.open(); ++tries) {
                if (tries == 1000)
                    return fail("no part file", round);
            }
            PartFile::ResumeFacts facts;
            facts.address = QStringLiteral("http://127.0.0.1/paper.pdf");
            facts.validator = "\"v" + QByteArray::number(writer) + "\"";
            facts.total = content.size();
            if (!part.setResumable(facts))
                return fail("resume facts not written", round);
            if (!writeInPieces(part.device(), content) || !part.finish())
                return fail("write failed", round);
            if (!part.commitTo(target))
                return fail("rename failed", round);
        }
        QFile placed(target);
        if (!placed.open(QIODevice::ReadOnly) || !IsWholeWriterContent(placed.readAll()))
            return fail("the target is not one writer's whole file", round);
    }
    return 0;
}
