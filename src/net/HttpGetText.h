#pragma once

#include <QDateTime>
#include <QString>

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
