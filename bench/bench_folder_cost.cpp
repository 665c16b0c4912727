// What a mode-two run costs per row, and whether that cost follows the save
// folder or the list: N small files from the loopback fixture server through
// the scheduler with W workers, once into an empty folder and once into a
// folder that already holds F other files. Prints the CPU time of the process
// (user + system, getrusage) per ended row for the whole run and for the first
// and the last thousand rows.
//
//   bench_folder_cost [rows=2000] [workers=6] [others=20000] [bytes=2000]

#include "download/DownloadListModel.h"
#include "download/Scheduler.h"

#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    double wall = 0;
    double perRowMs = 0;
    double firstMs = 0;
    double lastMs = 0;
    int finished = 0;
};

Figures run(FixtureServer& server, int rows, int workers, int others, qint64 bytes) {
    QTemporaryDir folder;
    for (int k = 0; k < others; ++k) {
        QFile f(folder.filePath(QStringLiteral("other article %1.pdf").arg(k)));
        f.open(QIODevice::WriteOnly);
        f.write("%PDF-1.4\n%%EOF\n");
    }
    DownloadListModel model;
    Scheduler scheduler(model);
    scheduler.options.workerCount = workers;
    const QString dir = folder.path() + QLatin1Char('/');
    for (int k = 0; k < rows; ++k)
        model.AddDownloadItem(server.url(QStringLiteral("/gen/%1?row=%2").arg(bytes).arg(k)),
                              QStringLiteral("paper %1").arg(k), QStringLiteral("pdf"), dir,
                              QString());

    // Rows start as soon as a worker is free: the window's 1-s tick would hide
    // the per-row cost behind idle time.
    int ended = 0;
    bool tickQueued = false;
    auto tickSoon = [&] {
        if (tickQueued)
            return;
        tickQueued = true;
        QMetaObject::invokeMethod(
            &scheduler,
            [&] {
                tickQueued = false;
                // Past the pause after a finished row, which is 0 s here.
                app().clock().advance(0.001);
                scheduler.schedulerTick();
            },
            Qt::QueuedConnection);
    };
    double atThousand = 0;
    double lastStart = 0;
    const int lastFrom = qMax(0, rows - 1000);
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model, [&] {
        const int now =
            model.countInState(ItemState::Finished) + model.countInState(ItemState::Failed);
        if (now == ended)
            return;
        ended = now;
        if (ended == qMin(1000, rows))
            atThousand = cpuSeconds();
        if (ended == lastFrom)
            lastStart = cpuSeconds();
        tickSoon();
    });

    app().clock().advance(1);
    const double cpuStart = cpuSeconds();
    if (lastFrom == 0)
        lastStart = cpuStart;
    QElapsedTimer wall;
    wall.start();
    scheduler.startDownload();
    scheduler.schedulerTick();
    Wait::until([&] { return ended >= rows; }, 50);
    const double cpuEnd = cpuSeconds();

    Figures f;
    f.wall = wall.elapsed() / 1000.0;
    f.perRowMs = (cpuEnd - cpuStart) * 1000.0 / rows;
    const int first = qMin(1000, rows);
    f.firstMs = (atThousand - cpuStart) * 1000.0 / first;
    f.lastMs = (cpuEnd - lastStart) * 1000.0 / (rows - lastFrom);
    f.finished = model.countInState(ItemState::Finished);
    return f;
}

void print(const char* label, const Figures& f, int rows) {
    std::printf("%-28s %d/%d finished, %.1f s, CPU per ended row %.3f ms "
                "(first 1000: %.3f ms, last 1000: %.3f ms)\n",
                label, f.finished, rows, f.wall, f.perRowMs, f.firstMs, f.lastMs);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const int rows = args.size() > 1 ? qMax(1, args.at(1).toInt()) : 2000;
    const int workers = args.size() > 2 ? qBound(1, args.at(2).toInt(), 6) : 6;
    const int others = args.size() > 3 ? qMax(0, args.at(3).toInt()) : 20000;
    const qint64 bytes = args.size() > 4 ? qMax(1, args.at(4).toInt()) : 2000;

    TestApp context;
    app().DownloadMode = 2;
    FixtureServer server;

    const Figures empty = run(server, rows, workers, 0, bytes);
    print("empty folder:", empty, rows);
    const Figures full = run(server, rows, workers, others, bytes);
    const QByteArray label = QByteArray::number(others) + " other files:";
    print(label.constData(), full, rows);
    std::printf("ratio full/empty %.2f; last/first 1000: empty %.2f, full %.2f\n",
                full.perRowMs / empty.perRowMs, empty.lastMs / empty.firstMs,
                full.lastMs / full.firstMs);
    return empty.finished == rows && full.finished == rows ? 0 : 1;
}
