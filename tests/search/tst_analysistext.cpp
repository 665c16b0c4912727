#include "TestApp.h"
#include "search/Analysis.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class TestAnalysisText : public QObject {
    Q_OBJECT
private slots:
    void pdfAddressOfIntermediatePage_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("address");
        QTest::newRow("single quotes, spaces around =")
            << "<script>window.location = 'https://h/a.pdf';</script>"
            << "https://h/a.pdf";
        QTest::newRow("double quotes") << "<script>window.location=\"https://h/b.pdf\"</script>"
                                       << "https://h/b.pdf";
        QTest::newRow("letter case of the marker") << "WINDOW.Location='http://h/c.pdf';</script>"
                                                   << "http://h/c.pdf";
        QTest::newRow("spaces inside the address are dropped")
            << "window.location='http://h/a b.pdf';</script>"
            << "http://h/ab.pdf";
        QTest::newRow("&amp; kept whole, any case")
            << "window.location='http://h/x.pdf?a=1&amp;b=2&AMP;c=3';</script>"
            << "http://h/x.pdf?a=1&b=2&c=3";
        QTest::newRow("unquoted address followed by a semicolon")
            << "window.location=http://h/d.pdf;more"
            << "http://h/d.pdf";
        QTest::newRow("first of two redirects")
            << "window.location='http://h/1.pdf';window.location='http://h/2.pdf';"
            << "http://h/1.pdf";
        QTest::newRow("quoted address with nothing after it") << "window.location='http://h/g.pdf';"
                                                              << "";
        QTest::newRow("address as the very last text") << "window.location=http://h/e.pdf"
                                                       << "";
        QTest::newRow("no redirect") << "<html><body>no pdf here</body></html>"
                                     << "";
        QTest::newRow("empty page") << ""
                                    << "";
        QTest::newRow("location without window.") << "location.href='http://h/f.pdf';"
                                                  << "";
    }
    void pdfAddressOfIntermediatePage() {
        QFETCH(QString, page);
        QFETCH(QString, address);
        QCOMPARE(提取SD2的pdf网址(page), address);
    }

    void removeLineBreaks_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF") << "Deep\r\nLearning"
                               << "DeepLearning";
        QTest::newRow("lone CR and LF") << "a\rb\nc"
                                        << "abc";
        QTest::newRow("NUL") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                             << "ab";
        QTest::newRow("LF CR stays two removals") << "a\n\rb"
                                                  << "ab";
        QTest::newRow("other white space stays") << " a\tb "
                                                 << " a\tb ";
    }
    void removeLineBreaks() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(RemoveLineBreaks(text), expected);
    }

    void fileNameFromPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("withoutExtension");
        QTest::addColumn<QString>("expected");
        QTest::newRow("address, no extension")
            << "https://h/pii/S0001234.pdf" << true << "S0001234";
        QTest::newRow("address, with extension")
            << "https://h/pii/S0001234.pdf" << false << "S0001234.pdf";
        QTest::newRow("backslashes") << "c:\\a\\b.txt" << true << "b";
        QTest::newRow("last dot only") << "/x/a.b.pdf" << true << "a.b";
        QTest::newRow("no separator") << " name.pdf " << false << "name.pdf";
        QTest::newRow("no dot") << "/x/README" << true << "README";
        QTest::newRow("trailing slash") << "http://h/dir/" << true << "";
        QTest::newRow("query kept") << "http://h/a.pdf?x=1" << false << "a.pdf?x=1";
    }
    void fileNameFromPath() {
        QFETCH(QString, path);
        QFETCH(bool, withoutExtension);
        QFETCH(QString, expected);
        QCOMPARE(FileNameFromPath(path, withoutExtension), expected);
    }

    void delayText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("seconds");
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("sixty") << "60" << 60;
        QTest::newRow("fraction") << "2.9" << 2;
        QTest::newRow("leading number") << "5 秒" << 5;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("not a number") << "abc" << 0;
    }
    void delayText() {
        QFETCH(QString, text);
        QFETCH(int, seconds);
        QCOMPARE(DelaySecondsFromText(text), seconds);
    }

    // A zero delay still lets pending events run once, and returns at once.
    void zeroDelayProcessesEventsOnce() {
        TestApp t;
        bool ran = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(0, &timers, [&] { ran = true; });
        QElapsedTimer real;
        real.start();
        RateLimitDelay(
            app().clock(), [] { return QStringLiteral("0"); }, [] { return false; });
        QVERIFY(ran);
        QVERIFY(real.elapsed() < 1000);
    }

    // The wait ends when the program clock has moved on by the delay, and the
    // box is read on every pass: shortening it during the wait takes effect.
    void delayFollowsClockAndBox() {
        TestApp t;
        QString delay = QStringLiteral("30");
        int passes = 0;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(100, &timers, [&] { app().clock().advance(10); });
        QTimer::singleShot(300, &timers, [&] { delay = QStringLiteral("10"); });
        QElapsedTimer real;
        real.start();
        RateLimitDelay(
            app().clock(),
            [&] {
                ++passes;
                return delay;
            },
            [] { return false; });
        QVERIFY(real.elapsed() >= 250);
        QVERIFY(real.elapsed() < 5000);
        QVERIFY(passes > 2);
    }

    void delayEndsOnStop() {
        TestApp t;
        bool stopped = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(100, &timers, [&] { stopped = true; });
        QElapsedTimer real;
        real.start();
        RateLimitDelay(
            app().clock(), [] { return QStringLiteral("60"); }, [&] { return stopped; });
        QVERIFY(real.elapsed() < 5000);
    }

    // Crossing midnight makes the difference of the two readings jump: the wait ends.
    void delayCrossingMidnightEnds() {
        TestApp t;
        const double toMidnight = 86400.0 - app().clock().now();
        app().clock().advance(toMidnight - 1.0);
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(50, &timers, [&] { app().clock().advance(2.0); });
        QElapsedTimer real;
        real.start();
        RateLimitDelay(
            app().clock(), [] { return QStringLiteral("60"); }, [] { return false; });
        QVERIFY(real.elapsed() < 5000);
    }
};

QTEST_MAIN(TestAnalysisText)
#include "tst_analysistext.moc"
