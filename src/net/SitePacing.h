#pragma once

#include <QHash>
#include <QString>
#include <optional>

// How fast the run may ask one site, learnt from the site's own answers. A
// site with a request limiter refuses (429, or 503 asking to wait) what comes
// above its rate; the run then
//   - pauses that site: a short first pause, doubled only over refusals in a
//     row (the request after a pause refused again), up to the hour; a
//     file that arrives after the pause starts the row afresh. A Retry-After is
//     honoured as asked. No request goes to the site while its pause runs.
//   - lets one request go first when the pause ends; the others follow only
//     when it was not refused;
//   - runs fewer transfers at once for that site: each pause halves them (at
//     least one), and a run of answers without refusal gives one back, up to
//     the user's worker count, which is never changed.
// Answers to requests sent before the site's latest pause began neither
// double nor halve anything, nor count as the first request after it.
//
// Plain bookkeeping on the caller's clock (milliseconds on a monotonic
// scale), keyed by host, so tests drive it without timers or windows.
class SitePacing {
public:
    // Identifies one request from its sending to its answer.
    using Ticket = quint64;

    // The first pause after a refusal that gave no Retry-After.
    static constexpr double FirstPauseSeconds = 2;
    // Answers without refusal in a row that give a narrowed site one more
    // transfer at once.
    static constexpr int CalmAnswersToGrow = 4;

    // The key of the site an address belongs to: its host, in lower case.
    static QString siteOf(const QString& address);

    // Whether a request to site may go now. running: the site's requests
    // under way; ceiling: the user's number of workers.
    bool mayStart(const QString& site, int running, int ceiling, qint64 nowMs) const;
    // A request to site goes out now.
    Ticket requestSent(const QString& site);
    // The site answered the request with something other than a refusal.
    // Once the site's pause is over, any such answer starts the refusals in
    // a row afresh, even one to a request sent before the pause: the site
    // lets requests through again.
    void accepted(const QString& site, Ticket ticket, int ceiling, qint64 nowMs);
    // The site refused the request; asked is what its Retry-After said. The
    // seconds of the pause it began, 0 when it began none (an answer to a
    // request sent before the site's latest pause).
    double refused(const QString& site, Ticket ticket, std::optional<double> asked, int ceiling,
                   qint64 nowMs);
    // The request ended without telling either (no answer, a robot check,
    // stopped): it no longer holds the place of the first request after a pause.
    void ended(const QString& site, Ticket ticket);

    // The transfers at once the site is given now.
    int workers(const QString& site, int ceiling) const;
    // The longest pause still running, in ms; 0 when none runs.
    qint64 longestPauseLeftMs(qint64 nowMs) const;
    // When the next running pause ends; 0 when none runs.
    qint64 nextPauseEndMs(qint64 nowMs) const;
    // Every site starts afresh (a new run).
    void clear();
    // No site has refused since the last clear().
    bool isEmpty() const { return m_sites.isEmpty(); }

private:
    struct Site {
        qint64 pauseUntilMs = 0;
        double lastPause = 0;  // the pause of the last refusal in a row; 0: none
        Ticket pausedFrom = 0; // requests from this ticket on were sent after the pause began
        bool firstAfterPause = false; // one request goes first when the pause ends
        Ticket first = 0;             // that request while it runs; 0: none yet
        int narrowed = 0;             // transfers at once; 0: the user's ceiling
        int calmAnswers = 0;
    };
    Site* find(const QString& site);
    const Site* find(const QString& site) const;

    QHash<QString, Site> m_sites;
    Ticket m_next = 1;
};
