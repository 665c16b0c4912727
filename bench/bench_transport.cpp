// Transport throughput and memory on the loopback fixture server, next to curl
// on the same address. Usage: bench_transport [megabytes] (default 200).
//
// Prints MB/s for: chunked reads of 2048 bytes appended to a file (the
// single-connection transfer's loop), streaming into a file, and curl; and
// the process's peak resident memory.
#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Transport.h"
#include "platform/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

qint64 peakRssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double mbPerSecond(qint64 bytes, qint64 ms) {
    return ms > 0 ? bytes / 1048576.0 / (ms / 1000.0) : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const qint64 mb = argc > 1 ? QByteArray(argv[1]).toLongLong() : 200;
    const qint64 bytes = mb * 1024 * 1024;
    QTextStream out(stdout);

    FixtureServer server;
    TestApp testApp;
    Transport& transport = testApp.values->transport();
    QTemporaryDir dir;
    const QString url = server.url(QStringLiteral("/gen/%1").arg(bytes));

    {
        QFile file(dir.filePath(QStringLiteral("chunks.bin")));
        file.open(QIODevice::WriteOnly);
        TransferRequest request(transport);
        QElapsedTimer timer;
        timer.start();
        request.execute(url);
        request.waitForHeaders();
        while (true) {
            const QByteArray chunk = request.readChunk(2048);
            if (chunk.isEmpty())
                break;
            file.write(chunk);
            Wait::processEventsOnce();
        }
        file.close();
        out << "chunked reads (2048 B): " << file.size() << " bytes, "
            << mbPerSecond(file.size(), timer.elapsed()) << " MB/s, complete "
            << request.bodyComplete() << "\n";
        file.remove();
    }
    {
        QFile file(dir.filePath(QStringLiteral("stream.bin")));
        file.open(QIODevice::WriteOnly);
        TransferRequest request(transport);
        QElapsedTimer timer;
        timer.start();
        request.executeToDevice(url, &file);
        Wait::until([&] { return request.isFinished(); }, 50);
        file.close();
        out << "streamed to a file:     " << file.size() << " bytes, "
            << mbPerSecond(file.size(), timer.elapsed()) << " MB/s, complete "
            << request.bodyComplete() << "\n";
        file.remove();
    }
    out << "peak memory: " << peakRssKb() / 1024 << " MB\n";
    out.flush();
    {
        // curl runs in its own process; the server stays in this one, so the
        // wait below keeps nothing but the server's threads busy.
        QProcess curl;
        QElapsedTimer timer;
        timer.start();
        curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                            dir.filePath(QStringLiteral("curl.bin")), url});
        Wait::until([&] { return curl.state() == QProcess::NotRunning; }, 50);
        const qint64 size = QFileInfo(dir.filePath(QStringLiteral("curl.bin"))).size();
        out << "curl:                   " << size << " bytes, "
            << mbPerSecond(size, timer.elapsed()) << " MB/s\n";
    }
    return 0;
}
