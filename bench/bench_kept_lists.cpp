// What keeping the lists costs.
//
// 1. A kept download list of R rows (default 20,000): the time to write it in
//    one batch, the size of the database file, and the time to bring it back
//    into the download window with the window shown (the window's load, the
//    restore and the events until the list has painted), against the same
//    window loading without a kept list.
// 2. A mode-two run of N small files (default 2,000) from the loopback fixture
//    server with W workers through the scheduler, with keeping off and on: the
//    CPU time of the process (user + system, getrusage) per ended row, for the
//    whole run and for the first and the last thousand.
//
//   bench_kept_lists [rows=20000] [files=2000] [workers=6] [bytes=2000] [rounds=3]

#include "ModeTwoRun.h"
#include "download/DownloadListKeeper.h"
#include "download/fFileDownload.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>

namespace {

using namespace bench;

qint64 sizeOf(const QString& path) {
    return QFileInfo::exists(path) ? QFileInfo(path).size() : 0;
}

// Shows the download window (loading the kept list when keeping) and waits
// until it has painted; milliseconds.
double showWindow(int* rows) {
    QElapsedTimer e;
    e.start();
    auto* w = qobject_cast<fFileDownload*>(app().flow().show(WindowNames::FileDownload));
    w->ListView3->repaint();
    Wait::processEventsOnce();
    const double ms = double(e.nsecsElapsed()) / 1e6;
    *rows = w->list()->count();
    w->close(); // the recording dialogs answer its question

    Wait::until([] { return !app().flow().IsFormLoaded(WindowNames::FileDownload); }, 50);
    return ms;
}

void restoring(int rows) {
    TestApp context;
    app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
    int shown = 0;
    showWindow(&shown); // the first window pays for the browser engine's start
    const double bare = showWindow(&shown);
    std::printf("download window, nothing kept:      %8.1f ms\n", bare);

    context.keepLists();
    KeptDatabase& db = app().keptLists();
    {
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        keeper.restore();
        const QString folder = QDir::homePath() + QStringLiteral("/Downloads/Varnelle/");
        for (int k = 0; k < rows; ++k) {
            model.AddDownloadItem(
                QStringLiteral("https://www.sciencedirect.com/science/article/pii/S0%1/pdfft"
                               "?md5=0123456789abcdef0123456789abcdef&pid=1-s2.0-S0%1-main.pdf")
                    .arg(100000000 + k),
                QStringLiteral("A study of the kept lists of a long download run, part %1").arg(k),
                QStringLiteral("pdf"), folder,
                QStringLiteral("https://www.sciencedirect.com/science/article/pii/S0%1")
                    .arg(100000000 + k));
            if (k % 3 == 0) {
                model.setProgress(k, QStringLiteral("1234567"), QStringLiteral("1234567"),
                                  QStringLiteral("100%"));
                model.setState(k, ItemState::Finished);
                model.setPlaced(k, true);
            }
        }
        QElapsedTimer e;
        e.start();
        db.writeNow();
        std::printf("writing %d new rows in one batch:  %8.1f ms\n", rows,
                    double(e.nsecsElapsed()) / 1e6);
        e.restart();
        for (int k = 0; k < 100; ++k)
            model.setProgress(k * (rows / 100), QStringLiteral("2000"), QString::number(k),
                              QStringLiteral("1%"));
        db.writeNow();
        std::printf("a batch of 100 changed rows:       %8.1f ms\n",
                    double(e.nsecsElapsed()) / 1e6);
    }
    const QString file = db.filePath();
    std::printf("database for %d rows: %.2f MB (journal %.2f MB)\n", rows,
                double(sizeOf(file)) / 1048576.0, double(sizeOf(file + "-wal")) / 1048576.0);
    db.close();
    std::printf("database after closing: %.2f MB\n", double(sizeOf(file)) / 1048576.0);
    context.keepLists();
    {
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        QElapsedTimer e;
        e.start();
        const int n = keeper.restore();
        std::printf("restoring %d rows into a list:     %8.1f ms\n", n,
                    double(e.nsecsElapsed()) / 1e6);
    }
    const double kept = showWindow(&shown);
    std::printf("download window restoring %d rows: %8.1f ms\n", shown, kept);
}

RunFigures run(FixtureServer& server, int rows, int workers, qint64 bytes, bool keep) {
    TestApp context;
    app().DownloadMode = 2;
    if (keep)
        context.keepLists();
    QTemporaryDir folder;
    DownloadListModel model;
    DownloadListKeeper keeper(model, app().keptLists());
    keeper.restore();
    Scheduler scheduler(model);
    scheduler.options.workerCount = workers;
    addGeneratedRows(model, server, rows, bytes, folder.path() + QLatin1Char('/'));
    app().keptLists().writeNow();
    return runToEnd(model, scheduler, [] { app().keptLists().writeNow(); });
}

void print(const char* label, const RunFigures& f, int rows) {
    printRun(label, 14, f, rows);
}

// Each figure's median over the rounds, on its own.
RunFigures median(QList<RunFigures> all) {
    const auto mid = [&](auto field) {
        QList<double> v;
        for (const RunFigures& f : all)
            v << f.*field;
        std::sort(v.begin(), v.end());
        return v.at(v.size() / 2);
    };
    RunFigures m;
    m.perRowMs = mid(&RunFigures::perRowMs);
    m.firstMs = mid(&RunFigures::firstMs);
    m.lastMs = mid(&RunFigures::lastMs);
    m.wall = mid(&RunFigures::wall);
    m.finished = all.first().finished;
    for (const RunFigures& f : all)
        m.finished = qMin(m.finished, f.finished);
    return m;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    const int rows = args.size() > 1 ? qMax(1, args.at(1).toInt()) : 20000;
    const int files = args.size() > 2 ? qMax(1, args.at(2).toInt()) : 2000;
    const int workers = args.size() > 3 ? qBound(1, args.at(3).toInt(), 6) : 6;
    const qint64 bytes = args.size() > 4 ? qMax(1, args.at(4).toInt()) : 2000;
    const int rounds = args.size() > 5 ? qMax(1, args.at(5).toInt()) : 3;

    restoring(rows);

    // Interleaved rounds and medians: the machine's other work hits both alike.
    FixtureServer server;
    QList<RunFigures> offs;
    QList<RunFigures> ons;
    for (int round = 0; round < rounds; ++round) {
        offs << run(server, files, workers, bytes, false);
        print("keeping off:", offs.last(), files);
        ons << run(server, files, workers, bytes, true);
        print("keeping on:", ons.last(), files);
    }
    const RunFigures off = median(offs);
    const RunFigures on = median(ons);
    std::printf("medians of %d rounds:\n", rounds);
    print("keeping off:", off, files);
    print("keeping on:", on, files);
    std::printf("ratio on/off %.2f; last/first 1000: off %.2f, on %.2f\n",
                on.perRowMs / off.perRowMs, off.lastMs / off.firstMs, on.lastMs / on.firstMs);
    return off.finished == files && on.finished == files ? 0 : 1;
}
