#pragma once

// A mode-two run for the benchmarks: small files from the loopback fixture
// server through the scheduler, rows started as soon as a worker is free,
// measured in CPU time of the process (user + system, getrusage) per ended
// row, for the whole run and for its first and last thousand rows.

#include "download/DownloadListModel.h"
#include "download/Scheduler.h"

#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Wait.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace bench {

inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunFigures {
    double wall = 0;
    double perRowMs = 0;
    double firstMs = 0;
    double lastMs = 0;
    int finished = 0;
};

// Appends rows files of bytes each from the server's generator, saved in dir
// (which ends with a slash).
inline void addGeneratedRows(DownloadListModel& model, FixtureServer& server, int rows,
                             qint64 bytes, const QString& dir) {
    for (int k = 0; k < rows; ++k)
        model.AddDownloadItem(server.url(QStringLiteral("/gen/%1?row=%2").arg(bytes).arg(k)),
                              QStringLiteral("paper %1").arg(k), QStringLiteral("pdf"), dir,
                              QString());
}

// Runs every row of the model until each has ended. settle runs after the
// last row, inside the measured time (work the run leaves behind).
inline RunFigures runToEnd(DownloadListModel& model, Scheduler& scheduler,
                           const std::function<void()>& settle = {}) {
    const int rows = model.count();
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
    const QMetaObject::Connection watching =
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
    if (settle)
        settle();
    const double cpuEnd = cpuSeconds();
    QObject::disconnect(watching);

    RunFigures f;
    f.wall = wall.elapsed() / 1000.0;
    f.perRowMs = (cpuEnd - cpuStart) * 1000.0 / rows;
    const int first = qMin(1000, rows);
    f.firstMs = (atThousand - cpuStart) * 1000.0 / first;
    f.lastMs = (cpuEnd - lastStart) * 1000.0 / (rows - lastFrom);
    f.finished = model.countInState(ItemState::Finished);
    return f;
}

inline void printRun(const char* label, int labelWidth, const RunFigures& f, int rows) {
    std::printf("%-*s %d/%d finished, %.1f s, CPU per ended row %.3f ms "
                "(first 1000: %.3f ms, last 1000: %.3f ms)\n",
                labelWidth, label, f.finished, rows, f.wall, f.perRowMs, f.firstMs, f.lastMs);
}

} // namespace bench
