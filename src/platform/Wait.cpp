#include "platform/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace Wait {

void processEventsOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void until(const std::function<bool()>& done, int pollMs) {
    if (done())
        return;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(qMax(1, pollMs));
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    tick.start();
    loop.exec(QEventLoop::AllEvents);
}

void forMs(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    until([&] { return elapsed.elapsed() >= ms; }, qMin(ms, 20));
}

} // namespace Wait
