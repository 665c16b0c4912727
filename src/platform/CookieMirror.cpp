#include "platform/CookieMirror.h"

#include "platform/BrowserProfile.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"

CookieMirror::CookieMirror(BrowserProfile& profile, Transport& transport) : QObject(&transport) {
    TransportCookieJar* jar = &transport.cookieJar();
    transport.setUserAgent(profile.userAgent());
    for (const QNetworkCookie& cookie : profile.cookies())
        jar->setCookie(cookie);
    connect(&profile, &BrowserProfile::cookieAdded, this,
            [jar](const QNetworkCookie& cookie) { jar->setCookie(cookie); });
    connect(&profile, &BrowserProfile::cookieRemoved, this,
            [jar](const QNetworkCookie& cookie) { jar->deleteCookie(cookie); });
}
