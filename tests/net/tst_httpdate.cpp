// The HTTP dates a server's answer may carry (Retry-After, Last-Modified,
// Date): the three forms read to the letter, and the year a two-digit year
// stands for.

#include "net/HttpDate.h"

#include <QTest>

class TestHttpDate : public QObject {
    Q_OBJECT
private:
    static QDateTime utc(int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
    }
    // The moment every two-digit year is read against.
    static QDateTime now() { return utc(2026, 3, 1, 12, 0, 0); }

private slots:
    void parse_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: no HTTP date

        const QDateTime nov6 = utc(1994, 11, 6, 8, 49, 37);
        QTest::newRow("IMF-fixdate") << "Sun, 06 Nov 1994 08:49:37 GMT" << nov6;
        QTest::newRow("RFC 850") << "Sunday, 06-Nov-94 08:49:37 GMT" << nov6;
        QTest::newRow("asctime, day after two spaces") << "Sun Nov  6 08:49:37 1994" << nov6;
        QTest::newRow("asctime, day with its 0") << "Sun Nov 06 08:49:37 1994" << nov6;
        QTest::newRow("asctime, two-digit day")
            << "Wed Dec 16 23:05:00 2026" << utc(2026, 12, 16, 23, 5, 0);
        QTest::newRow("blanks around the value") << " \tSun, 06 Nov 1994 08:49:37 GMT  " << nov6;
        QTest::newRow("leap second") << "Sat, 31 Dec 2016 23:59:60 GMT" << utc(2017, 1, 1, 0, 0, 0);
        QTest::newRow("29 February of a leap year")
            << "Thu, 29 Feb 2024 00:00:00 GMT" << utc(2024, 2, 29, 0, 0, 0);

        // Two-digit years: the latest with those digits not more than 50 years ahead.
        QTest::newRow("two-digit year: this year")
            << "Sunday, 01-Mar-26 12:00:45 GMT" << utc(2026, 3, 1, 12, 0, 45);
        QTest::newRow("two-digit year: 44 years ahead")
            << "Thursday, 01-Jan-70 00:00:00 GMT" << utc(2070, 1, 1, 0, 0, 0);
        QTest::newRow("two-digit year: 50 years ahead to the second")
            << "Sunday, 01-Mar-76 12:00:00 GMT" << utc(2076, 3, 1, 12, 0, 0);
        QTest::newRow("two-digit year: a second more than 50 years ahead")
            << "Monday, 01-Mar-76 12:00:01 GMT" << utc(1976, 3, 1, 12, 0, 1);
        QTest::newRow("two-digit year: last century")
            << "Friday, 31-Dec-99 23:59:59 GMT" << utc(1999, 12, 31, 23, 59, 59);
        QTest::newRow("two-digit year: 00")
            << "Saturday, 01-Jan-00 00:00:00 GMT" << utc(2000, 1, 1, 0, 0, 0);
        QTest::newRow("two-digit year: 29 February of the year it stands for")
            << "Tuesday, 29-Feb-00 10:00:00 GMT" << utc(2000, 2, 29, 10, 0, 0);

        const QDateTime none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("words") << "yesterday" << none;
        QTest::newRow("ISO 8601") << "1994-11-06T08:49:37Z" << none;
        QTest::newRow("names in lower case") << "sun, 06 nov 1994 08:49:37 gmt" << none;
        QTest::newRow("GMT in lower case") << "Sun, 06 Nov 1994 08:49:37 gmt" << none;
        QTest::newRow("another zone") << "Sun, 06 Nov 1994 08:49:37 +0000" << none;
        QTest::newRow("no zone") << "Sun, 06 Nov 1994 08:49:37" << none;
        QTest::newRow("one-digit day") << "Sun, 6 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("two spaces") << "Sun,  06 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("two-digit year in IMF-fixdate") << "Sun, 06 Nov 94 08:49:37 GMT" << none;
        QTest::newRow("long weekday in IMF-fixdate") << "Sunday, 06 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("short weekday in RFC 850") << "Sun, 06-Nov-94 08:49:37 GMT" << none;
        QTest::newRow("four-digit year in RFC 850") << "Sunday, 06-Nov-1994 08:49:37 GMT" << none;
        QTest::newRow("no weekday") << "06 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("no such weekday") << "Sux, 06 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("asctime, day after one space") << "Sun Nov 6 08:49:37 1994" << none;
        QTest::newRow("text after the date") << "Sun, 06 Nov 1994 08:49:37 GMT x" << none;
        QTest::newRow("hour 24") << "Sun, 06 Nov 1994 24:00:00 GMT" << none;
        QTest::newRow("minute 60") << "Sun, 06 Nov 1994 08:60:00 GMT" << none;
        QTest::newRow("second 61") << "Sun, 06 Nov 1994 08:49:61 GMT" << none;
        QTest::newRow("31 November") << "Wed, 31 Nov 1994 08:49:37 GMT" << none;
        QTest::newRow("29 February of another year") << "Sat, 29 Feb 2025 00:00:00 GMT" << none;
        QTest::newRow("digits of another script")
            << "Sun, \uFF10\uFF16 Nov 1994 08:49:37 GMT" << none;
    }
    void parse() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const QDateTime when = ParseHttpDate(text, now());
        QCOMPARE(when.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(when, expected);
            QCOMPARE(when.timeSpec(), Qt::UTC);
        }
    }

    // Without a moment of its own, a two-digit year is read against the real one.
    void twoDigitYearAgainstToday() {
        const int year = QDateTime::currentDateTimeUtc().date().year();
        const QDateTime when = ParseHttpDate(QStringLiteral("Monday, 01-Jan-%1 00:00:00 GMT")
                                                 .arg(year % 100, 2, 10, QLatin1Char('0')));
        QVERIFY(when.isValid());
        QCOMPARE(when.date().year(), year);
    }
};

QTEST_GUILESS_MAIN(TestHttpDate)
#include "tst_httpdate.moc"
