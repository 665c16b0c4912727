// The mode-one whole-body fetch yields to events before it asks the server;
// the window (with its scheduler and list) may go, or the row may be removed,
// while it does. Nothing may be fetched for a row or a scheduler that is gone.

#include "FixtureServer.h"
#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
// What the download window keeps for its scheduler; goes with it.
struct WindowValues {
    Scheduler::Values values;
    DownloadListModel model;
    std::unique_ptr<Scheduler> scheduler;
    WindowValues() {
        Scheduler::Values& v = values;
        scheduler = std::make_unique<Scheduler>(model, v.Busy, v.LastFinishTime, v.WorkerRow,
                                                v.Downloader1);
    }
};
} // namespace

class TestSchedulerLifetime : public QObject {
    Q_OBJECT
private slots:
    void wholeFetchAfterItsOwnerWent_data() {
        QTest::addColumn<bool>("windowGoes");
        QTest::newRow("the window and its scheduler go") << true;
        QTest::newRow("the row is removed") << false;
    }
    void wholeFetchAfterItsOwnerWent() {
        QFETCH(bool, windowGoes);
        FixtureServer server;
        QVERIFY(server.isRunning());
        TestApp t;
        QTemporaryDir dir;
        auto window = std::make_unique<WindowValues>();
        Scheduler* scheduler = window->scheduler.get();
        QVERIFY(window->model.AddDownloadItem(server.url("/file.pdf"), "paper", "pdf",
                                              dir.path() + "/", QString()));
        window->values.Busy = true;

        // Runs inside the first yield of the fetch.
        QTimer::singleShot(0, [&] {
            if (windowGoes)
                window.reset();
            else
                window->model.removeRows(0, 1);
        });
        QVERIFY(!scheduler->FetchWholeFile(0, dir.path() + "/paper.pdf"));
        QVERIFY(server.requestsFor("/file.pdf").isEmpty());
        QVERIFY(!QFile::exists(dir.path() + "/paper.pdf"));
    }
};

QTEST_MAIN(TestSchedulerLifetime)
#include "tst_schedulerlifetime.moc"
