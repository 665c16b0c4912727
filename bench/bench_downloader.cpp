// Workers on their own, without the download window: N workers fetch N
// generated files of S MB each from the loopback fixture server at once.
// Prints the throughput and the peak memory of the process.
//
//   bench_downloader [workers=6] [megabytes=200] [http|https]

#include "download/Downloader.h"

#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <vector>

namespace {

double peakMemoryMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const int workers = args.size() > 1 ? qBound(1, args.at(1).toInt(), 6) : 6;
    const qint64 megabytes = args.size() > 2 ? qMax(1, args.at(2).toInt()) : 200;
    const bool https = args.size() > 3 && args.at(3) == QLatin1String("https");
    const qint64 size = megabytes * 1024 * 1024;

    TestApp context;
    context.values->transport().addCaCertificates(FixtureServer::caCertificates());
    context.values->MaxFileSizeMB = double(megabytes) + 1;
    FixtureServer server;
    QTemporaryDir folder;
    const double baseMB = peakMemoryMB();

    int ended = 0;
    int completed = 0;
    std::vector<std::unique_ptr<Downloader>> pool;
    QElapsedTimer elapsed;
    elapsed.start();
    for (int j = 1; j <= workers; ++j) {
        auto worker = std::make_unique<Downloader>(j);
        QObject::connect(worker.get(), &Downloader::DownloadComplete,
                         [&](int, qint64 cur, qint64 max, const QString&) {
                             ++ended;
                             completed += cur == max && cur == size;
                         });
        QObject::connect(worker.get(), &Downloader::DownloadError,
                         [&](int index, const QString&, const QString& code) {
                             ++ended;
                             std::printf("worker %d failed: %s\n", index, qPrintable(code));
                         });
        const QString path = QStringLiteral("/gen/%1").arg(size);
        worker->BeginDownload(https ? server.httpsUrl(path) : server.url(path),
                              folder.filePath(QStringLiteral("file%1.pdf").arg(j)), QString());
        pool.push_back(std::move(worker));
    }
    Wait::until([&] { return ended == workers; }, 50);
    const double seconds = elapsed.elapsed() / 1000.0;

    qint64 onDisk = 0;
    for (int j = 1; j <= workers; ++j)
        onDisk += QFileInfo(folder.filePath(QStringLiteral("file%1.pdf").arg(j))).size();
    std::printf("workers %d x %lld MB over %s: %d complete, %.1f s, %.1f MB/s, "
                "peak memory %.1f MB (%.1f MB before the transfers), %lld bytes on disk\n",
                workers, static_cast<long long>(megabytes), https ? "https" : "http", completed,
                seconds, workers * double(megabytes) / seconds, peakMemoryMB(), baseMB,
                static_cast<long long>(onDisk));
    return completed == workers ? 0 : 1;
}
