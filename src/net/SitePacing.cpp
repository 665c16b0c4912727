#include "net/SitePacing.h"

#include "net/SiteAnswer.h"

#include <QUrl>
#include <algorithm>

QString SitePacing::siteOf(const QString& address) {
    return QUrl(address.trimmed(), QUrl::TolerantMode).host().toLower();
}

SitePacing::Site* SitePacing::find(const QString& site) {
    const auto it = m_sites.find(site);
    return it == m_sites.end() ? nullptr : &it.value();
}

const SitePacing::Site* SitePacing::find(const QString& site) const {
    const auto it = m_sites.constFind(site);
    return it == m_sites.constEnd() ? nullptr : &it.value();
}

int SitePacing::workers(const QString& site, int ceiling) const {
    ceiling = std::max(1, ceiling);
    const Site* s = find(site);
    return s && s->narrowed > 0 ? std::min(s->narrowed, ceiling) : ceiling;
}

bool SitePacing::mayStart(const QString& site, int running, int ceiling, qint64 nowMs) const {
    const Site* s = find(site);
    if (s && s->pauseUntilMs > nowMs)
        return false;
    // The first request after a pause goes alone, whatever else still runs
    // from before the pause.
    if (s && s->firstAfterPause)
        return s->first == 0 && running < std::max(1, ceiling);
    return running < workers(site, ceiling);
}

SitePacing::Ticket SitePacing::requestSent(const QString& site) {
    const Ticket ticket = m_next++;
    if (Site* s = find(site); s && s->firstAfterPause && s->first == 0)
        s->first = ticket;
    return ticket;
}

void SitePacing::accepted(const QString& site, Ticket ticket, int ceiling, qint64 nowMs) {
    Site* s = find(site);
    if (!s)
        return;
    if (s->first == ticket)
        s->first = 0;
    if (s->pauseUntilMs <= nowMs)
        s->lastPause = 0;
    if (ticket < s->pausedFrom)
        return;
    s->firstAfterPause = false;
    s->lastPause = 0;
    if (s->narrowed > 0 && ++s->calmAnswers >= CalmAnswersToGrow) {
        s->calmAnswers = 0;
        if (++s->narrowed >= std::max(1, ceiling))
            s->narrowed = 0;
    }
}

double SitePacing::refused(const QString& site, Ticket ticket, std::optional<double> asked,
                           int ceiling, qint64 nowMs) {
    Site& s = m_sites[site];
    if (s.first == ticket)
        s.first = 0;
    if (ticket < s.pausedFrom) {
        // Sent before the pause began: it only makes the pause last as long
        // as it asks.
        if (asked) {
            const double wait = std::clamp(*asked, SitePauseMinSeconds, SitePauseMaxSeconds);
            s.pauseUntilMs = std::max(s.pauseUntilMs, nowMs + static_cast<qint64>(wait * 1000));
        }
        return 0;
    }
    const double pause = SitePauseSeconds(asked.value_or(FirstPauseSeconds), s.lastPause);
    s.lastPause = pause;
    s.pauseUntilMs = nowMs + static_cast<qint64>(pause * 1000);
    s.pausedFrom = m_next;
    s.firstAfterPause = true;
    s.first = 0;
    s.narrowed = std::max(1, workers(site, ceiling) / 2);
    s.calmAnswers = 0;
    return pause;
}

void SitePacing::ended(const QString& site, Ticket ticket) {
    if (Site* s = find(site); s && s->first == ticket)
        s->first = 0;
}

qint64 SitePacing::longestPauseLeftMs(qint64 nowMs) const {
    qint64 left = 0;
    for (const Site& s : m_sites)
        left = std::max(left, s.pauseUntilMs - nowMs);
    return left;
}

qint64 SitePacing::nextPauseEndMs(qint64 nowMs) const {
    qint64 next = 0;
    for (const Site& s : m_sites)
        if (s.pauseUntilMs > nowMs && (next == 0 || s.pauseUntilMs < next))
            next = s.pauseUntilMs;
    return next;
}

void SitePacing::clear() {
    m_sites.clear();
}
