#include "platform/TransportCookieJar.h"

#include <QDateTime>

TransportCookieJar::TransportCookieJar(QObject* parent) : QNetworkCookieJar(parent) {}

bool TransportCookieJar::normalise(QNetworkCookie& cookie, const QUrl& origin) {
    if (cookie.name().isEmpty())
        return false;
    if (cookie.domain().isEmpty()) {
        const QString host = origin.host();
        if (host.isEmpty())
            return false;
        // A domain without a leading dot matches only that host, which is what a
        // cookie set without a Domain attribute means.
        cookie.setDomain(host);
    }
    if (cookie.path().isEmpty())
        cookie.setPath(QStringLiteral("/"));
    return true;
}

bool TransportCookieJar::setCookie(const QNetworkCookie& cookie, const QUrl& origin) {
    QNetworkCookie c = cookie;
    if (!normalise(c, origin))
        return false;
    if (!c.isSessionCookie() && c.expirationDate() < QDateTime::currentDateTimeUtc()) {
        QNetworkCookieJar::deleteCookie(c);
        return true;
    }
    // Replaces a cookie of the same name, domain and path, or adds it.
    QNetworkCookieJar::deleteCookie(c);
    return insertCookie(c);
}

bool TransportCookieJar::deleteCookie(const QNetworkCookie& cookie, const QUrl& origin) {
    QNetworkCookie c = cookie;
    if (!normalise(c, origin))
        return false;
    return QNetworkCookieJar::deleteCookie(c);
}

void TransportCookieJar::clear() {
    setAllCookies({});
}
