// A download run in a process of its own, for the tests that kill it in the
// middle of a body. Arguments: mode, folder, the address of "kept" (saved
// under the overwrite policy over a file that exists) and of "new".

#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 5)
        return 2;
    TestApp context;
    app().DownloadMode = args.at(1).toInt();
    app().MaxFileSizeMB = 10;
    DownloadListModel model;
    Scheduler scheduler(model);
    scheduler.options.duplicatePolicy = QStringLiteral("覆盖");
    scheduler.options.workerCount = 2;
    scheduler.LastFinishTime = app().clock().now() - 10;
    model.AddDownloadItem(args.at(3), QStringLiteral("kept"), QStringLiteral("pdf"), args.at(2),
                          {});
    model.AddDownloadItem(args.at(4), QStringLiteral("new"), QStringLiteral("pdf"), args.at(2), {});
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &scheduler, [&] { scheduler.schedulerTick(); });
    tick.start(50);
    return QApplication::exec();
}
