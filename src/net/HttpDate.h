#pragma once

#include <QDateTime>
#include <QString>

// An HTTP date, in the preferred form or in one of the two obsolete forms a
// recipient must still read:
//
//   IMF-fixdate  "Sun, 06 Nov 1994 08:49:37 GMT"
//   RFC 850      "Sunday, 06-Nov-94 08:49:37 GMT"
//   asctime      "Sun Nov  6 08:49:37 1994"
//
// Read to the letter of the grammar: names in their own letter case, single
// spaces, every number with its digits; only blanks around the whole value are
// passed over. The weekday must be a weekday's name but is not checked against
// the date. A second of 60 (a leap second) is the first second of the next
// minute. A two-digit year is the latest year with those digits that is not
// more than 50 years after nowUtc. Returns the moment in UTC; invalid when the
// text is none of the three forms or names no real date.
QDateTime ParseHttpDate(const QString& text,
                        const QDateTime& nowUtc = QDateTime::currentDateTimeUtc());
