#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <functional>

class Clock;
class Transport;

// A text of count characters drawn uniformly from digits and ASCII letters;
// empty when count is zero or less.
QString RandomString(int count);

// The date-time part of the cache-busting value: the local short date and long
// time with "-", ":", "/" and " " removed (other characters of the format stay).
QString CacheBustingDateTime(const QDateTime& when);

// Adds "llll=" + date-time + RandomString(5) to the address, after "&" when it
// already has a query part, else after "?".
QString AddCacheBuster(const QString& url, const QDateTime& when);

// Fetches an address with a GET on the program's transport and returns the
// body decoded in charset ("GB2312" when it is empty), or the empty text when
// no complete answer came within 60 seconds of the program clock, or when the
// body is larger than HttpGetTextMaxBytes (it is never held whole). The status
// is not examined: an error page's body comes back like any other.
//
// url and referer are in-out: an empty referer becomes UrlRoot(url), and
// unless noCacheBuster is true the url gets the cache-busting parameter. The
// wait runs a local event loop, so other handlers run meanwhile. When
// abandon() returns true (checked as the wait wakes, at least every tenth of a
// second) the request is aborted and the text is empty: a window that closes
// does not wait out the limit.
// What the site said besides the body: its status and, when it asks the
// client to wait, its Retry-After value.
struct HttpTextAnswer {
    int status = 0;
    QString retryAfter;
};
QString HttpGetText(Transport& transport, QString& url, const QString& charset, QString& referer,
                    bool noCacheBuster, const std::function<bool()>& abandon = {},
                    HttpTextAnswer* answer = nullptr);

// How long HttpGetText waits for the whole answer, in seconds.
inline constexpr double HttpGetTextTimeoutSeconds = 60;
// The largest body HttpGetText accepts: far above any result or intermediate
// page, far below what would strain memory.
inline constexpr qint64 HttpGetTextMaxBytes = 16 * 1024 * 1024;
