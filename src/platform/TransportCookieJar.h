#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

// The transfers' cookie jar. The embedded browsers keep their own cookie store;
// the browser layer mirrors every cookie added or removed there into this jar,
// so a login done in a browser also serves the downloads.
class TransportCookieJar : public QNetworkCookieJar {
    Q_OBJECT
public:
    explicit TransportCookieJar(QObject* parent = nullptr);

    // Inserts or replaces a cookie. A cookie without a domain is bound to the
    // host of origin (host-only); one without a path gets "/". An expired cookie
    // removes the stored one instead. Returns false when the cookie cannot be
    // placed (no domain and no usable origin).
    bool setCookie(const QNetworkCookie& cookie, const QUrl& origin = {});
    // Removes the cookie with the same name, domain and path (normalised as in
    // setCookie). Returns true when one was removed.
    bool deleteCookie(const QNetworkCookie& cookie, const QUrl& origin = {});
    void clear();

    QList<QNetworkCookie> cookies() const { return allCookies(); }

private:
    static bool normalise(QNetworkCookie& cookie, const QUrl& origin);
};
