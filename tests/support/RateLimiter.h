#pragma once

#include "FixtureServer.h"

#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <mutex>

// A publisher's request limiter in front of its files, as nginx's limit_req
// without a burst: a request is let through when the last one let through is
// at least the interval ago; every other is refused with 429 and no
// Retry-After (a refusal does not count as let through). Its files are
// <prefix>/<n>: generatedContent(n) as application/pdf.
//
// Time is the limiter's own: real time plus what the test moved on with
// advance(), so a test that moves the program clock by the same amount skips
// a pause without the limiter counting the time as unspent. Every request is
// logged with its time on that scale.
class RateLimiter {
public:
    struct Entry {
        QString path;
        qint64 atMs = 0;
        bool accepted = false;
    };

    RateLimiter(FixtureServer& server, const QString& prefix, qint64 intervalMs)
        : m_interval(intervalMs) {
        server.addRoute(
            prefix + QStringLiteral("/(\\d+)"),
            [this](const httplib::Request& req, httplib::Response& res) { answer(req, res); });
    }

    // The limit changes from the next request on; 0 lets every request through.
    void setInterval(qint64 ms) { m_interval = ms; }
    void advance(qint64 ms) { m_movedMs += ms; }
    qint64 nowMs() const {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() +
               m_movedMs;
    }

    QList<Entry> log() const {
        std::lock_guard lock(m_mutex);
        return m_log;
    }
    int count(bool accepted) const {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const Entry& e : m_log)
            n += e.accepted == accepted;
        return n;
    }

private:
    void answer(const httplib::Request& req, httplib::Response& res) {
        bool let = false;
        {
            std::lock_guard lock(m_mutex);
            const qint64 now = nowMs();
            let = m_lastLet < 0 || now - m_lastLet >= m_interval;
            if (let)
                m_lastLet = now;
            m_log.append({QString::fromStdString(req.path), now, let});
        }
        if (!let) {
            res.status = 429;
            res.set_content("<html><body><h1>429 Too Many Requests</h1></body></html>",
                            "text/html");
            return;
        }
        const QByteArray body = FixtureServer::generatedContent(std::stoll(req.matches[1].str()));
        res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
    }

    std::atomic<qint64> m_interval;
    std::atomic<qint64> m_movedMs{0};
    mutable std::mutex m_mutex;
    qint64 m_lastLet = -1;
    QList<Entry> m_log;
};
