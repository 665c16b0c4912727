// A throttled publisher on the loopback: 12 files of 4 MB, each connection
// served at 2 MB/s, 100 ms before the first byte of every answer. Each
// transfer mode through the scheduler (its one-second tick running, as in the
// window) next to the tool it is measured against, in the same run:
//   mode two, 6 workers   vs  aria2c -j6 -x1 on the 12 addresses;
//   mode one              vs  curl fetching them one after another.
// The time that counts is how soon the next file starts after one ends.
//
// Usage: bench_publisher [rounds] [files] [MB per file] [MB/s per connection]   (3 12 4 2)
// Needs aria2c and curl on the path (apt-get install aria2 curl).
#include "FixtureServer.h"
#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <httplib.h>
#include <thread>
#include <vector>

namespace {

void removeAll(const QString& folder) {
    QDir d(folder);
    for (const QString& f : d.entryList(QDir::Files | QDir::Hidden))
        d.remove(f);
}

// Runs a tool to its end; elapsed ms, or -1 when it failed.
qint64 runTool(const QString& program, const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return t.elapsed();
}

bool allThere(const QString& folder, const QStringList& names, qint64 bytes) {
    for (const QString& n : names)
        if (QFileInfo(folder + n).size() != bytes)
            return false;
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 3;
    const int files = argc > 2 ? QByteArray(argv[2]).toInt() : 12;
    const qint64 bytes = (argc > 3 ? QByteArray(argv[3]).toLongLong() : 4) * 1024 * 1024;
    const double rate = (argc > 4 ? QByteArray(argv[4]).toDouble() : 2) * 1024 * 1024;
    QTextStream out(stdout);

    FixtureServer server;
    // The throttled publisher: 100 ms to the headers, then the body paced at
    // `rate` bytes per second on each connection.
    const auto content = std::make_shared<const QByteArray>(FixtureServer::generatedContent(bytes));
    server.addRoute(QStringLiteral("/slow/(\\d+)"), [rate, content](const httplib::Request& req,
                                                                    httplib::Response& res) {
        const size_t n = std::min<size_t>(std::stoull(req.matches[1]), size_t(content->size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto start = std::make_shared<std::chrono::steady_clock::time_point>(
            std::chrono::steady_clock::now());
        res.set_content_provider(
            n, "application/pdf",
            [rate, start, content](size_t offset, size_t length, httplib::DataSink& sink) {
                const size_t piece = std::min<size_t>(length, 32 * 1024);
                const auto due = *start + std::chrono::microseconds(
                                              static_cast<qint64>((offset + piece) / rate * 1e6));
                std::this_thread::sleep_until(due);
                return sink.write(content->constData() + offset, piece);
            });
    });
    TestApp testApp;
    app().MaxFileSizeMB = 100000;
    QTemporaryDir dir;
    const QString folder = dir.path() + QLatin1Char('/');

    QStringList urls, names;
    for (int k = 1; k <= files; ++k) {
        urls << server.url(QStringLiteral("/slow/%1?f=%2").arg(bytes).arg(k));
        names << QStringLiteral("f%1.pdf").arg(k);
    }
    // The address list stands apart: both download folders are emptied after each run.
    QTemporaryDir listDir;
    QFile list(listDir.path() + QStringLiteral("/urls.txt"));
    if (!list.open(QIODevice::WriteOnly))
        return 1;
    for (int k = 0; k < files; ++k)
        list.write((urls.at(k) + QStringLiteral("\n  out=") + names.at(k) + QStringLiteral("\n"))
                       .toUtf8());
    list.close();
    QTemporaryDir toolDir;
    const QString toolFolder = toolDir.path() + QLatin1Char('/');

    // Our run: "开始下载", the tick every second as in the window, until no
    // row waits or downloads.
    auto ours = [&](int mode) -> qint64 {
        DownloadListModel model;
        Scheduler scheduler(model);
        app().DownloadMode = mode;
        scheduler.options.workerCount = mode == 2 ? 6 : 1;
        for (int k = 0; k < files; ++k)
            model.AddDownloadItem(urls.at(k), QStringLiteral("f%1").arg(k + 1),
                                  QStringLiteral("pdf"), folder, {});
        QTimer tick;
        tick.setInterval(1000);
        QObject::connect(&tick, &QTimer::timeout, &scheduler, [&] { scheduler.schedulerTick(); });
        QElapsedTimer t;
        t.start();
        tick.start();
        scheduler.startDownload();
        Wait::until([&] { return model.countInState(ItemState::Finished) == files; }, 5);
        const qint64 ms = t.elapsed();
        tick.stop();
        scheduler.stopDownload();
        Wait::forMs(100); // let the unloaded workers go
        const bool ok = allThere(folder, names, bytes);
        removeAll(folder);
        return ok ? ms : -1;
    };
    auto tool = [&](const QString& program, const QStringList& args) -> qint64 {
        const qint64 ms = runTool(program, args);
        const bool ok = allThere(toolFolder, names, bytes);
        removeAll(toolFolder);
        return ok ? ms : -1;
    };
    QStringList curlArgs{QStringLiteral("-s"), QStringLiteral("--fail")};
    for (int k = 0; k < files; ++k)
        curlArgs << QStringLiteral("-o") << toolFolder + names.at(k) << urls.at(k);
    const QStringList ariaArgs{QStringLiteral("-q"),
                               QStringLiteral("-j6"),
                               QStringLiteral("-x1"),
                               QStringLiteral("--allow-overwrite=true"),
                               QStringLiteral("--auto-file-renaming=false"),
                               QStringLiteral("-d"),
                               toolDir.path(),
                               QStringLiteral("-i"),
                               list.fileName()};

    out << files << " files of " << bytes / 1048576 << " MB, " << rate / 1048576
        << " MB/s per connection, 100 ms to the first byte; " << rounds << " rounds" << Qt::endl;
    std::vector<double> two, aria, one, curl;
    for (int r = 0; r < rounds; ++r) {
        const qint64 a = tool(QStringLiteral("aria2c"), ariaArgs);
        const qint64 m2 = ours(2);
        const qint64 c = tool(QStringLiteral("curl"), curlArgs);
        const qint64 m1 = ours(1);
        out << "round " << r + 1 << ": mode two " << m2 << " ms, aria2c -j6 " << a
            << " ms; mode one " << m1 << " ms, curl one after another " << c << " ms" << Qt::endl;
        if (a > 0 && m2 > 0) {
            two.push_back(m2);
            aria.push_back(a);
        }
        if (c > 0 && m1 > 0) {
            one.push_back(m1);
            curl.push_back(c);
        }
    }
    const double ratioTwo = median(aria) > 0 ? median(two) / median(aria) : 0;
    const double ratioOne = median(curl) > 0 ? median(one) / median(curl) : 0;
    out << "--- medians" << Qt::endl;
    out << "mode two " << median(two) << " ms, aria2c -j6 -x1 " << median(aria) << " ms: ratio "
        << ratioTwo << " (target <= 1.05)" << Qt::endl;
    out << "mode one " << median(one) << " ms, curl " << median(curl) << " ms: ratio " << ratioOne
        << " (target <= 1.05)" << Qt::endl;
    return 0;
}
