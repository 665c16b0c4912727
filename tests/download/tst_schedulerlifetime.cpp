// The mode-one whole-body read waits on events for an answer that gives
// neither a length nor a success status; the window (with its scheduler and
// list) may go, or the row may be removed, while it does. Nothing may be
// touched or kept for a row or a scheduler that is gone.

#include "FixtureServer.h"
#include "platform/Wait.h"

#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include <httplib.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

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
        // A sign-in page without a length that comes slowly: the first bytes,
        // then nothing until the test lets it end.
        auto release = std::make_shared<std::atomic<bool>>(false);
        server.addRoute("/slow-page", [release](const httplib::Request&, httplib::Response& res) {
            res.status = 403;
            res.set_chunked_content_provider(
                "text/html", [release](size_t offset, httplib::DataSink& sink) {
                    if (offset == 0)
                        return sink.write("<html><body>sign in", 19);
                    for (int k = 0; k < 1000 && !*release; ++k)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    sink.done();
                    return true;
                });
        });
        TestApp t;
        QTemporaryDir dir;
        auto window = std::make_unique<WindowValues>();
        Scheduler* scheduler = window->scheduler.get();
        QVERIFY(window->model.AddDownloadItem(server.url("/slow-page"), "paper", "pdf",
                                              dir.path() + "/", QString()));

        // Runs while the body is awaited.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window || window->model.count() == 0 ||
                window->model.item(0).received != QStringLiteral("19"))
                return;
            if (windowGoes)
                window.reset();
            else
                window->model.removeRows(0, 1);
        });
        poll.start(5);
        QVERIFY(!scheduler->Inet下载当前文件(0));
        *release = true;
        QCOMPARE(server.requestsFor("/slow-page").size(), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }
};

QTEST_MAIN(TestSchedulerLifetime)
#include "tst_schedulerlifetime.moc"
