// How fast the run may ask a site that limits its rate: pauses that double
// only over refusals in a row, one request first after a pause, fewer
// workers while the site refuses and one more after a run of calm answers.

#include "net/SitePacing.h"

#include <QMap>
#include <QRegularExpression>
#include <QTest>

class TestSitePacing : public QObject {
    Q_OBJECT
private slots:
    // Each step of a script, on the site "a" unless it says "b":
    //   s<n> / S<n>          request n goes to a / to b
    //   r<n>[:<ra>][=<ms>]   a refuses request n (Retry-After ra seconds);
    //                        =ms: the pause it began, in ms (0: none)
    //   a<n>  e<n>           a accepted request n / it ended without telling
    //   +<ms>                the clock moves on
    //   may<k>=<0|1>         whether a request to a may go with k of its running
    //   mayb=<0|1>           the same for b with none running
    //   left=<ms>            the longest pause still running
    //   w=<n>                the workers a is given now
    void script_data() {
        QTest::addColumn<int>("ceiling");
        QTest::addColumn<QString>("steps");
        QTest::newRow("nothing refused: the user's workers") << 6 << "may0=1 may5=1 may6=0 w=6";
        QTest::newRow("a refusal pauses a short time, at least a second")
            << 6 << "s1 r1=2000 left=2000 may0=0 +1999 may0=0 +1 may0=1";
        QTest::newRow("refusals in a row double")
            << 6 << "s1 r1=2000 +2000 s2 r2=4000 +4000 s3 r3=8000 +8000 s4 a4 s5 r5=2000";
        QTest::newRow("an answer after the pause starts the row afresh")
            << 6 << "s1 r1=2000 +2000 s2 a2 s3 r3=2000 +2000 s4 r4=4000";
        QTest::newRow("Retry-After as asked") << 6 << "s1 r1:30=30000 left=30000 +29999 may0=0";
        QTest::newRow("Retry-After 0: a second, then two")
            << 6 << "s1 r1:0=1000 +1000 s2 r2:0=2000";
        QTest::newRow("up to the hour") << 6 << "s1 r1:3000=3000000 +3000000 s2 r2=3600000";
        QTest::newRow("refusals of requests sent before the pause neither double nor halve")
            << 6 << "s1 s2 s3 s4 r1=2000 r2=0 r3=0 r4=0 left=2000 w=3";
        QTest::newRow("one sent before the pause lengthens it as far as it asks")
            << 6 << "s1 s2 r1=2000 +500 r2:30=0 left=30000 w=3";
        QTest::newRow("one request first after a pause, the others when it was let through")
            << 6 << "s1 r1 +2000 may0=1 s2 may0=0 may1=0 a2 may1=1 may2=1 may3=0";
        QTest::newRow("the first one refused again: longer pause, one worker")
            << 6 << "s1 r1 +2000 s2 may0=0 r2=4000 w=1 may0=0 +4000 may0=1";
        QTest::newRow("the first one ended without an answer: another may go")
            << 6 << "s1 r1 +2000 s2 may0=0 e2 may0=1";
        QTest::newRow("the first one goes while older transfers still run")
            << 6 << "s1 s2 s3 a1 r2 +2000 may2=1 s4 a4 may1=1 may3=0 a3 w=3";
        QTest::newRow("refusing some, accepting others: halved, at least one")
            << 6 << "s1 s2 a1 r2 w=3 +2000 s3 a3 s4 s5 a4 r5 w=1 +2000 s6 a6 s7 r7 w=1";
        QTest::newRow("grows back by one after a run of calm answers")
            << 6
            << "s1 r1 w=3 +2000 s2 a2 s3 a3 s4 a4 w=3 s5 a5 w=4 s6 a6 s7 a7 s8 a8 w=4 s9 a9 "
               "w=5 s10 a10 s11 a11 s12 a12 s13 a13 w=6 may5=1";
        QTest::newRow("a refusal within the calm run starts it again")
            << 6 << "s1 r1 +2000 s2 a2 s3 a3 s4 a4 s5 r5 w=1 +2000 s6 a6 s7 a7 s8 a8 s9 a9 w=2";
        QTest::newRow("an answer during the pause to a request older than it says nothing")
            << 6 << "s1 s2 r1 +1000 a2 +1000 w=3 may0=1 s3 r3=4000";
        QTest::newRow("a file after the pause starts the row afresh, even an older request's")
            << 6 << "s1 s2 r1 +2000 a2 w=3 may0=1 s3 r3=2000";
        QTest::newRow("the user's setting is the ceiling")
            << 2 << "w=2 may1=1 may2=0 s1 r1 w=1 +2000 s2 a2 s3 a3 s4 a4 s5 a5 w=2 may2=0";
        QTest::newRow("one worker stays one") << 1 << "s1 r1 w=1 +2000 may0=1 may1=0";
        QTest::newRow("another site goes on meanwhile")
            << 6 << "s1 r1 may0=0 mayb=1 S2 may0=0 left=2000";
    }
    void script() {
        QFETCH(int, ceiling);
        QFETCH(QString, steps);
        SitePacing pacing;
        const QString a = QStringLiteral("a.example");
        const QString b = QStringLiteral("b.example");
        qint64 now = 100000;
        QMap<int, SitePacing::Ticket> tickets;
        static const QRegularExpression refusal(
            QStringLiteral("^r(\\d+)(?::(\\d+))?(?:=(\\d+))?$"));
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString value = step.section(QLatin1Char('='), 1);
            const auto n = [&](int from) { return step.mid(from).toInt(); };
            if (step.startsWith(QLatin1Char('s'))) {
                tickets[n(1)] = pacing.requestSent(a);
            } else if (step.startsWith(QLatin1Char('S'))) {
                tickets[n(1)] = pacing.requestSent(b);
            } else if (const auto m = refusal.match(step); m.hasMatch()) {
                const std::optional<double> asked =
                    m.captured(2).isEmpty() ? std::nullopt
                                            : std::optional<double>(m.captured(2).toDouble());
                const double pause =
                    pacing.refused(a, tickets.value(m.captured(1).toInt()), asked, ceiling, now);
                if (!m.captured(3).isEmpty())
                    QVERIFY2(qint64(pause * 1000) == m.captured(3).toLongLong(), qPrintable(step));
            } else if (step.startsWith(QLatin1Char('a'))) {
                pacing.accepted(a, tickets.value(n(1)), ceiling, now);
            } else if (step.startsWith(QLatin1Char('e'))) {
                pacing.ended(a, tickets.value(n(1)));
            } else if (step.startsWith(QLatin1Char('+'))) {
                now += n(1);
            } else if (step.startsWith(QLatin1String("mayb="))) {
                QVERIFY2(pacing.mayStart(b, 0, ceiling, now) == (value == QLatin1String("1")),
                         qPrintable(step));
            } else if (step.startsWith(QLatin1String("may"))) {
                const int running = step.mid(3).section(QLatin1Char('='), 0, 0).toInt();
                QVERIFY2(pacing.mayStart(a, running, ceiling, now) == (value == QLatin1String("1")),
                         qPrintable(step));
            } else if (step.startsWith(QLatin1String("left="))) {
                QVERIFY2(pacing.longestPauseLeftMs(now) == value.toLongLong(),
                         qPrintable(step + QStringLiteral(" was ") +
                                    QString::number(pacing.longestPauseLeftMs(now))));
            } else if (step.startsWith(QLatin1String("w="))) {
                QVERIFY2(pacing.workers(a, ceiling) == value.toInt(),
                         qPrintable(step + QStringLiteral(" was ") +
                                    QString::number(pacing.workers(a, ceiling))));
            } else {
                QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
            }
        }
    }

    // The next pause to end is the one the scheduler's timer waits for; a
    // new run forgets every site.
    void pausesOfSeveralSites() {
        SitePacing pacing;
        QVERIFY(pacing.isEmpty());
        QCOMPARE(pacing.nextPauseEndMs(0), qint64(0));
        pacing.refused(QStringLiteral("a"), pacing.requestSent(QStringLiteral("a")), 30.0, 6, 0);
        pacing.refused(QStringLiteral("b"), pacing.requestSent(QStringLiteral("b")), 10.0, 6, 0);
        QCOMPARE(pacing.nextPauseEndMs(0), qint64(10000));
        QCOMPARE(pacing.longestPauseLeftMs(0), qint64(30000));
        QCOMPARE(pacing.nextPauseEndMs(10000), qint64(30000));
        QCOMPARE(pacing.nextPauseEndMs(30000), qint64(0));
        pacing.clear();
        QVERIFY(pacing.isEmpty());
        QVERIFY(pacing.mayStart(QStringLiteral("a"), 0, 6, 0));
    }

    void siteOf_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("site");
        QTest::newRow("host") << "https://www.Example.com/a.pdf"
                              << "www.example.com";
        QTest::newRow("port does not matter") << "http://127.0.0.1:8080/x"
                                              << "127.0.0.1";
        QTest::newRow("blanks") << "  http://a.org/x  "
                                << "a.org";
        QTest::newRow("no address") << ""
                                    << "";
    }
    void siteOf() {
        QFETCH(QString, address);
        QFETCH(QString, site);
        QCOMPARE(SitePacing::siteOf(address), site);
    }
};

QTEST_GUILESS_MAIN(TestSitePacing)
#include "tst_sitepacing.moc"
