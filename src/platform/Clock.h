#pragma once

#include <QObject>

// The program's one time of day, in seconds since midnight. Every time limit
// (response waits, stall limits, watchdogs, pauses between files) reads this
// clock instead of the system time, so tests move time forward with
// setOffset()/advance() instead of waiting out real minutes.
class Clock : public QObject {
    Q_OBJECT
public:
    explicit Clock(QObject* parent = nullptr);

    // Seconds since midnight, as a double; wraps at midnight like the time of day.
    double now() const;
    // Milliseconds on a monotonic scale that includes the test offset; use for
    // intervals that must not break at midnight.
    qint64 monotonicMs() const;

    void advance(double seconds);
    double offset() const { return m_offsetSeconds; }

signals:
    void adjusted();

private:
    double m_offsetSeconds = 0;
};
