// CPU time the program uses while it waits out a 10-second analysis delay.
// The wait must sleep on events between passes, not spin: target < 0.2 s.

#include "platform/Clock.h"
#include "search/Analysis.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <sys/resource.h>

namespace {
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    Clock clock;
    const int delaySeconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;
    const QString delayText = QString::number(delaySeconds);

    const double cpuBefore = cpuSeconds();
    QElapsedTimer real;
    real.start();
    RateLimitDelay(
        clock, [&] { return delayText; }, [] { return false; });
    const double wall = real.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuBefore;

    QTextStream out(stdout);
    out << "analysis delay of " << delaySeconds << " s: wall " << QString::number(wall, 'f', 2)
        << " s, CPU " << QString::number(cpu, 'f', 3) << " s (target < 0.2 s)\n";
    return 0;
}
