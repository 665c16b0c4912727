// A program run in a process of its own, for the tests of the kept lists that
// need a second process or one that dies:
//
//   kept_child hold <data>          keeps its lists in <data>, prints "holding",
//                                   and runs until its input closes
//   kept_child open <data> <uid>    opens the kept lists as user <uid> (-1:
//                                   as it is), prints what came of it
//   kept_child fill <data> <bytes> before|after|resume
//                                   keeps its lists in <data> with files
//                                   limited to <bytes> from before or after
//                                   the open, adds rows until the writes
//                                   fail, prints the notices; "resume" then
//                                   lifts the limit, adds rows once more and
//                                   prints how many rows the list has
//   kept_child run <mode> <data> <folder> <kill> <address>...
//                                   a download run of the kept list (one row
//                                   per address the first time) with keeping
//                                   on; <kill>: "none", "placing:N" (killed
//                                   when the Nth file is about to take its
//                                   name) or "placed:N" (killed right after
//                                   the Nth row finished). Ends when no row
//                                   waits, printing "row <name> <state>".

#include "TestApp.h"
#include "download/DownloadListKeeper.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "platform/KeptDatabase.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {
void print(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stdout);
    std::fflush(stdout);
}

QString describe(const KeptDatabase& db) {
    return QStringLiteral("state=%1 reason=%2").arg(int(db.state())).arg(int(db.reason()));
}

int hold(const QString& data) {
    KeptDatabase db;
    db.open(data);
    print(db.isKeeping() ? QStringLiteral("holding") : describe(db));
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (::read(STDIN_FILENO, &c, 1) <= 0)
            QCoreApplication::quit();
    });
    return QApplication::exec();
}

int open(const QString& data, int uid) {
    if (uid >= 0 && (::setgid(gid_t(uid)) != 0 || ::setuid(uid_t(uid)) != 0))
        return 3;
    KeptDatabase db;
    QStringList notices;
    db.setNotifier([&](const QString& text) { notices << text; });
    db.open(data);
    // Notices come from the event loop.
    QTimer::singleShot(50, [&] { QCoreApplication::quit(); });
    QApplication::exec();
    print(describe(db));
    for (const QString& n : notices)
        print(QStringLiteral("notice ") + n);
    return 0;
}

int fill(const QString& data, qint64 bytes, bool before, bool resume) {
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead
    TestApp context;
    QStringList notices;
    app().keptLists().setNotifier([&](const QString& text) { notices << text; });
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit unlimited = limit;
    limit.rlim_cur = rlim_t(bytes);
    // The disk gets room again only when the hard limit stays where it was.
    if (!resume)
        limit.rlim_max = rlim_t(bytes);
    if (before)
        ::setrlimit(RLIMIT_FSIZE, &limit);
    if (!app().keptLists().open(data)) {
        QTimer::singleShot(50, [&] { QCoreApplication::quit(); });
        QApplication::exec();
        print(describe(app().keptLists()));
        for (const QString& n : notices)
            print(QStringLiteral("notice ") + n);
        return 0;
    }
    ::setrlimit(RLIMIT_FSIZE, &limit);
    DownloadListModel model;
    DownloadListKeeper keeper(model, app().keptLists());
    keeper.restore();
    int failures = 0;
    for (int batch = 0; batch < 40 && failures < 3; ++batch) {
        for (int i = 0; i < 200; ++i)
            model.AddDownloadItem(QStringLiteral("http://127.0.0.1/%1/%2").arg(batch).arg(i),
                                  QString(200, QLatin1Char('n')), QStringLiteral("pdf"),
                                  QStringLiteral("/tmp/"), {});
        if (!app().keptLists().writeNow())
            ++failures;
    }
    if (resume) {
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        model.AddDownloadItem(QStringLiteral("http://127.0.0.1/room"), QStringLiteral("room"),
                              QStringLiteral("pdf"), QStringLiteral("/tmp/"), {});
        if (!app().keptLists().writeNow())
            ++failures;
        // Another batch after that one: the resumption is said once.
        model.setPercent(0, QStringLiteral("1%"));
        if (!app().keptLists().writeNow())
            ++failures;
        print(QStringLiteral("rows=%1").arg(model.count()));
    }
    QTimer::singleShot(50, [&] { QCoreApplication::quit(); });
    QApplication::exec();
    print(QStringLiteral("failures=%1").arg(failures));
    for (const QString& n : notices)
        print(QStringLiteral("notice ") + n);
    return 0;
}

int run(const QStringList& args) {
    // mode, data, folder, kill, addresses
    TestApp context;
    app().DownloadMode = args.at(0).toInt();
    app().MaxFileSizeMB = 10;
    if (!app().keptLists().open(args.at(1)))
        return 4;
    const QString folder = args.at(2);
    const QString kill = args.at(3);
    const int killAt = kill.section(QLatin1Char(':'), 1).toInt();
    DownloadListModel model;
    DownloadListKeeper keeper(model, app().keptLists());
    if (keeper.restore() == 0) {
        for (int k = 4; k < args.size(); ++k)
            model.AddDownloadItem(args.at(k), QStringLiteral("f%1").arg(k - 4),
                                  QStringLiteral("pdf"), folder, {});
    }
    // Connected after the keeper, so these run once it has done its part.
    int placing = 0;
    QObject::connect(&model, &DownloadListModel::placingFile, [&] {
        if (kill.startsWith(QLatin1String("placing:")) && ++placing == killAt)
            ::raise(SIGKILL);
    });
    int finished = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&](const QModelIndex& from) {
        if (kill.startsWith(QLatin1String("placed:")) &&
            model.item(from.row()).state == ItemState::Finished && ++finished == killAt)
            ::raise(SIGKILL);
    });
    Scheduler scheduler(model);
    scheduler.options.duplicatePolicy = QStringLiteral("重命名");
    scheduler.options.workerCount = 2;
    scheduler.LastFinishTime = app().clock().now() - 10;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &scheduler, [&] {
        if (model.检测是否下载列表完毕()) {
            tick.stop();
            app().keptLists().writeNow();
            for (const DownloadItem& it : model.items())
                print(QStringLiteral("row %1.%2 %3").arg(it.name, it.type).arg(int(it.state)));
            QCoreApplication::quit();
            return;
        }
        scheduler.schedulerTick();
    });
    tick.start(50);
    return QApplication::exec();
}
} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    const QString what = args.value(0);
    if (what == QLatin1String("hold") && args.size() == 2)
        return hold(args.at(1));
    if (what == QLatin1String("open") && args.size() == 3)
        return open(args.at(1), args.at(2).toInt());
    if (what == QLatin1String("fill") && args.size() == 4)
        return fill(args.at(1), args.at(2).toLongLong(), args.at(3) == QLatin1String("before"),
                    args.at(3) == QLatin1String("resume"));
    if (what == QLatin1String("run") && args.size() >= 6)
        return run(args.mid(1));
    return 2;
}
