#include "platform/Clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <cmath>

namespace {
constexpr double SecondsPerDay = 86400.0;

qint64 processMonotonicMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
} // namespace

Clock::Clock(QObject* parent) : QObject(parent) {}

double Clock::now() const {
    const QTime t = QTime::currentTime();
    const double real = t.msecsSinceStartOfDay() / 1000.0;
    return std::fmod(real + m_offsetSeconds + SecondsPerDay * 4, SecondsPerDay);
}

qint64 Clock::monotonicMs() const {
    return processMonotonicMs() + static_cast<qint64>(m_offsetSeconds * 1000.0);
}

void Clock::advance(double seconds) {
    m_offsetSeconds += seconds;
    emit adjusted();
}
