// The download list with 10,000 rows, shown in its window (offscreen):
// adding the rows, one housekeeping tick, one UpdateStatusCounts, and the
// other list operations that touch every row. Prints the figures.
#include "TestApp.h"
#include "download/fFileDownload.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>

namespace {
constexpr int Rows = 10000;

double msSince(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

void report(const char* what, double ms, const char* target = "") {
    std::printf("%-52s %10.3f ms %s\n", what, ms, target);
}
} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TestApp t;

    auto* w = new fFileDownload;
    w->setWindowState(Qt::WindowNoState);
    w->resize(1400, 900);
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        std::printf("window not exposed; figures are without painting\n");
    w->Timer1->stop(); // ticks are timed by hand below

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Rows; ++i) {
        w->AddDownloadItem(
            QStringLiteral("https://www.example.org/science/article/pii/S%1/pdfft")
                .arg(i, 12, 10, QLatin1Char('0')),
            QStringLiteral("A study of 第%1 things in a rather long article title").arg(i),
            QStringLiteral("pdf"), QStringLiteral("/home/user/Downloads/Varnelle/"),
            QStringLiteral("https://www.example.org/search?qs=x&page=%1").arg(i / 25));
    }
    report("add 10,000 rows (AddDownloadItem, view attached)", msSince(timer),
           "(target < 1000 ms)");

    timer.restart();
    QCoreApplication::processEvents();
    report("then process events (view layout and paint)", msSince(timer));

    timer.restart();
    for (int i = 0; i < Rows; ++i)
        w->AddDownloadItem(QStringLiteral("https://www.example.org/science/article/pii/S%1/pdfft")
                               .arg(i, 12, 10, QLatin1Char('0')),
                           QStringLiteral("dup"), QString(), QString(), QString());
    report("10,000 duplicate adds (refused)", msSince(timer));

    // A realistic mix of states for the counts.
    DownloadListModel* list = w->list();
    for (int i = 0; i < Rows; ++i) {
        if (i % 7 == 0)
            list->setState(i, ItemState::Failed);
        else if (i % 3 == 0)
            list->setState(i, ItemState::Finished);
        else if (i % 500 == 1)
            list->setState(i, ItemState::Downloading);
        if (i % 11 == 0)
            list->setType(i, QStringLiteral("html"));
    }
    QCoreApplication::processEvents();

    timer.restart();
    w->HousekeepingTick();
    report("first housekeeping tick", msSince(timer), "(target < 5 ms)");
    timer.restart();
    for (int i = 0; i < 100; ++i)
        w->HousekeepingTick();
    report("housekeeping tick, mean of 100", msSince(timer) / 100, "(target < 5 ms)");
    timer.restart();
    for (int i = 0; i < 100; ++i)
        w->UpdateStatusCounts();
    report("UpdateStatusCounts, mean of 100", msSince(timer) / 100);
    std::printf("  panel 4: %s\n", qPrintable(w->panelText(4)));

    timer.restart();
    int sink = 0;
    for (int i = 0; i < 100; ++i)
        sink += w->统计未下载项数目() + w->CountErrorRows() + (w->检测是否下载列表完毕() ? 1 : 0);
    report("derived facts (all three), mean of 100", msSince(timer) / 100);

    timer.restart();
    for (int i = 0; i < 10000; ++i) {
        const QString received = QString::number(i * 1024);
        list->setProgress(1, QStringLiteral("10240000"), received,
                          QString::number(i / 100) + QLatin1Char('%'));
    }
    report("10,000 progress updates of one row", msSince(timer));
    timer.restart();
    QCoreApplication::processEvents();
    report("then process events", msSince(timer));

    timer.restart();
    for (int i = 0; i < Rows; ++i)
        sink += list->findKey(list->item(Rows - 1 - i).key) >= 0 ? 1 : 0;
    report("10,000 key lookups", msSince(timer));

    QList<int> order;
    for (int i = 0; i < Rows; ++i)
        order << i;
    std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
    timer.restart();
    list->reorder(order);
    report("reorder all rows (shuffle)", msSince(timer));
    timer.restart();
    QCoreApplication::processEvents();
    report("then process events", msSince(timer));

    timer.restart();
    const int removed =
        list->removeRowsIf([](const DownloadItem& r, int) { return r.state == ItemState::Failed; });
    const double removeMs = msSince(timer);
    timer.restart();
    sink += list->findKey(list->item(0).key);
    report("remove the Failed rows (scattered)", removeMs);
    report("  first key lookup after it", msSince(timer));
    std::printf("  removed %d rows, %d left\n", removed, list->count());

    timer.restart();
    w->StopDownload();
    report("stop command over the list", msSince(timer));

    std::printf("(checksum %d)\n", sink);
    delete w;
    return 0;
}
