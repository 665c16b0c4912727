// What a mode-two run costs per row, and whether that cost follows the save
// folder or the list: N small files from the loopback fixture server through
// the scheduler with W workers, once into an empty folder and once into a
// folder that already holds F other files. Prints the CPU time of the process
// (user + system, getrusage) per ended row for the whole run and for the first
// and the last thousand rows.
//
//   bench_folder_cost [rows=2000] [workers=6] [others=20000] [bytes=2000]

#include "ModeTwoRun.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

using namespace bench;

RunFigures run(FixtureServer& server, int rows, int workers, int others, qint64 bytes) {
    QTemporaryDir folder;
    for (int k = 0; k < others; ++k) {
        QFile f(folder.filePath(QStringLiteral("other article %1.pdf").arg(k)));
        f.open(QIODevice::WriteOnly);
        f.write("%PDF-1.4\n%%EOF\n");
    }
    DownloadListModel model;
    Scheduler scheduler(model);
    scheduler.options.workerCount = workers;
    addGeneratedRows(model, server, rows, bytes, folder.path() + QLatin1Char('/'));
    return runToEnd(model, scheduler);
}

void print(const char* label, const RunFigures& f, int rows) {
    printRun(label, 28, f, rows);
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

    const RunFigures empty = run(server, rows, workers, 0, bytes);
    print("empty folder:", empty, rows);
    const RunFigures full = run(server, rows, workers, others, bytes);
    const QByteArray label = QByteArray::number(others) + " other files:";
    print(label.constData(), full, rows);
    std::printf("ratio full/empty %.2f; last/first 1000: empty %.2f, full %.2f\n",
                full.perRowMs / empty.perRowMs, empty.lastMs / empty.firstMs,
                full.lastMs / full.firstMs);
    return empty.finished == rows && full.finished == rows ? 0 : 1;
}
