// A publisher behind a request limiter: real nginx on the loopback with
// limit_req at 1 request a second, no burst, refusing with 429 and no
// Retry-After, in front of 12 small PDFs. Mode one and mode two (6 workers)
// fetch them in the same run, one after the other, through the scheduler with
// its one-second tick running as in the window. Reported per mode: the total
// time, the files that arrived whole, the pauses the run took (seconds and
// the workers it then gave the site) and the refusals nginx logged.
// Target: mode two no longer than mode one, both within 3 × the limiter's
// own pace (12 files at 1 r/s: 12 s, so 36 s).
//
// Usage: bench_ratelimit [files] [KB per file] [limit per mode, s]   (12 64 120)
// Needs nginx (apt-get install nginx-light); it runs in the foreground on a
// free port with a configuration of the benchmark's own, and is stopped at
// the end. Each mode ends by itself at its limit.
#include "FixtureServer.h"
#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

int freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return -1;
    return probe.serverPort();
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

QByteArray nginxConfig(const QString& root, int port) {
    const QByteArray r = root.toUtf8();
    return "daemon off;\n"
           "master_process off;\n"
           "worker_processes 1;\n"
           "pid " +
           r +
           "/nginx.pid;\n"
           "error_log " +
           r +
           "/error.log;\n"
           "events { worker_connections 256; }\n"
           "http {\n"
           "    log_format pace '$msec $status $request_uri';\n"
           "    access_log " +
           r +
           "/access.log pace;\n"
           "    client_body_temp_path " +
           r +
           "/tmp/body;\n"
           "    proxy_temp_path " +
           r +
           "/tmp/proxy;\n"
           "    fastcgi_temp_path " +
           r +
           "/tmp/fastcgi;\n"
           "    uwsgi_temp_path " +
           r +
           "/tmp/uwsgi;\n"
           "    scgi_temp_path " +
           r +
           "/tmp/scgi;\n"
           "    types { application/pdf pdf; }\n"
           "    limit_req_zone $binary_remote_addr zone=pace:1m rate=1r/s;\n"
           "    limit_req_status 429;\n"
           "    server {\n"
           "        listen 127.0.0.1:" +
           QByteArray::number(port) +
           ";\n"
           "        root " +
           r +
           "/html;\n"
           "        location / { limit_req zone=pace; }\n"
           "    }\n"
           "}\n";
}

bool portAnswers(int port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return socket.waitForConnected(200);
}

// The statuses nginx logged since the given line, for addresses of one mode.
void countStatuses(const QString& log, const QString& mode, int* ok, int* refused) {
    *ok = 0;
    *refused = 0;
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray tag = "mode=" + mode.toUtf8();
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (!line.contains(tag))
            continue;
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue;
        *ok += fields.at(1) == "200";
        *refused += fields.at(1) == "429";
    }
}

struct Outcome {
    double seconds = 0;
    int finished = 0;
    bool timedOut = false;
    QStringList pauses;
    int ok = 0;
    int refused = 0;
};

Outcome runMode(int mode, int workers, int files, int port, const QString& folder,
                const QString& accessLog, double limitSeconds) {
    TestApp t;
    app().DownloadMode = mode;
    DownloadListModel model;
    Scheduler s(model);
    s.options.workerCount = workers;
    const QString modeTag = QString::number(mode);
    for (int k = 0; k < files; ++k)
        model.AddDownloadItem(
            QStringLiteral("http://127.0.0.1:%1/paper%2.pdf?mode=%3").arg(port).arg(k).arg(modeTag),
            QStringLiteral("m%1-paper%2").arg(modeTag).arg(k), QStringLiteral("pdf"), folder,
            QString());
    Outcome out;
    QObject::connect(&s, &Scheduler::sitePauseBegan, &s,
                     [&](const QString&, double seconds, int given) {
                         out.pauses << QStringLiteral("%1 s/%2").arg(seconds).arg(given);
                     });
    // The window's two timers.
    QTimer timerDown;
    timerDown.setInterval(1000);
    QObject::connect(&timerDown, &QTimer::timeout, &s, &Scheduler::schedulerTick);
    s.bindTimerDown(&timerDown);
    QTimer housekeeping;
    housekeeping.setInterval(1000);
    QObject::connect(&housekeeping, &QTimer::timeout, &s, &Scheduler::housekeepingTick);
    housekeeping.start();

    QElapsedTimer wall;
    wall.start();
    s.startDownload();
    const auto ended = [&] {
        return model.countInState(ItemState::Finished) + model.countInState(ItemState::Failed) ==
               model.count();
    };
    Wait::until([&] { return ended() || wall.elapsed() > limitSeconds * 1000; }, 20);
    out.seconds = wall.elapsed() / 1000.0;
    out.timedOut = !ended();
    s.stopDownload();
    housekeeping.stop();
    out.finished = model.countInState(ItemState::Finished);
    for (int k = 0; k < files; ++k) {
        const QString path = folder + QStringLiteral("m%1-paper%2.pdf").arg(modeTag).arg(k);
        if (QFile(path).size() <= 0 && model.item(k).state == ItemState::Finished)
            --out.finished; // finished without its file would be no file
    }
    countStatuses(accessLog, modeTag, &out.ok, &out.refused);
    return out;
}

void print(const char* label, const Outcome& o, int files) {
    std::printf("%-22s %6.1f s  %d/%d files%s  nginx: %d × 200, %d × 429  pauses (%lld): %s\n",
                label, o.seconds, o.finished, files, o.timedOut ? " (stopped at the limit)" : "",
                o.ok, o.refused, static_cast<long long>(o.pauses.size()),
                qPrintable(o.pauses.isEmpty() ? QStringLiteral("none") : o.pauses.join(", ")));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication qapp(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 12;
    const int kb = argc > 2 ? std::max(1, std::atoi(argv[2])) : 64;
    const double limitSeconds = argc > 3 ? std::max(10.0, std::atof(argv[3])) : 120;

    const QString nginx = QStandardPaths::findExecutable(
        QStringLiteral("nginx"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    if (nginx.isEmpty()) {
        std::fprintf(stderr, "nginx not found: apt-get install nginx-light\n");
        return 2;
    }
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("html"));
    QDir(root.path()).mkpath(QStringLiteral("tmp"));
    QDir(root.path()).mkpath(QStringLiteral("files"));
    for (int k = 0; k < files; ++k)
        writeText(root.path() + QStringLiteral("/html/paper%1.pdf").arg(k),
                  FixtureServer::generatedContent(qint64(kb) * 1024 + k));
    const int port = freePort();
    const QString conf = root.path() + QStringLiteral("/nginx.conf");
    if (port <= 0 || !writeText(conf, nginxConfig(root.path(), port))) {
        std::fprintf(stderr, "no port or configuration\n");
        return 2;
    }
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(nginx, {QStringLiteral("-p"), root.path(), QStringLiteral("-c"), conf});
    QElapsedTimer up;
    up.start();
    Wait::until([&] { return portAnswers(port) || up.elapsed() > 10000; }, 50);
    if (!portAnswers(port)) {
        std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", qPrintable(root.path()));
        server.kill();
        server.waitForFinished(5000);
        return 2;
    }
    std::printf("nginx %s on 127.0.0.1:%d, limit_req 1 r/s without burst, 429 without "
                "Retry-After; %d files of %d KB; each mode stops by itself after %.0f s\n",
                qPrintable(nginx), port, files, kb, limitSeconds);

    const QString folder = root.path() + QStringLiteral("/files/");
    const QString accessLog = root.path() + QStringLiteral("/access.log");
    const Outcome one = runMode(1, 1, files, port, folder, accessLog, limitSeconds);
    // The limiter forgets the first mode's last request.
    Wait::forMs(1500);
    const Outcome two = runMode(2, 6, files, port, folder, accessLog, limitSeconds);

    server.terminate();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(5000);
    }

    const double pace = files * 1.0; // the limiter lets one request a second through
    print("mode one", one, files);
    print("mode two, 6 workers", two, files);
    std::printf("target: mode two ≤ mode one (%s), both ≤ 3 × %.0f s = %.0f s (%s)\n",
                two.seconds <= one.seconds ? "met" : "missed", pace, 3 * pace,
                one.seconds <= 3 * pace && two.seconds <= 3 * pace ? "met" : "missed");
    return one.finished == files && two.finished == files ? 0 : 1;
}
