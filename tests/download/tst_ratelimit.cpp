// A publisher whose request limiter refuses (429, no Retry-After) whatever
// comes faster than one request a second, met by the run in both modes: the
// files arrive, each pause is the short first one because a file came after
// the last, nothing starts while a pause runs, and mode two narrows its
// workers for the site and grows them back once the site lets requests
// through. No refusal leaves Qt's warning of an error reported twice.

#include "FixtureServer.h"
#include "RateLimiter.h"
#include "SchedulerFixture.h"
#include "TestFiles.h"
#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/Scheduler.h"
#include "net/SitePacing.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <memory>

class TestRateLimit : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;
    std::unique_ptr<RateLimiter> limiter;
    // What the run did at each start: the workers then running (the started
    // one among them), the workers the site was given, the pause still running.
    struct Start {
        int running = 0;
        int allowed = 0;
        double pauseLeft = 0;
    };
    QList<Start> starts;
    int m_run = 0;

    QString address(int k) const {
        return server->url(
            QStringLiteral("/limited/%1?run=%2&row=%3").arg(2000 + k).arg(m_run).arg(k));
    }
    void addRows(int rows) {
        for (int k = 0; k < rows; ++k)
            QVERIFY(model->AddDownloadItem(address(k), QStringLiteral("paper%1").arg(k), "pdf",
                                           folder(), {}));
    }
    int downloading() const { return model->countInState(ItemState::Downloading); }
    bool allEnded() const {
        return model->countInState(ItemState::Finished) + model->countInState(ItemState::Failed) ==
               model->count();
    }
    // The program clock and the limiter's move on together.
    void advance(double seconds) {
        limiter->advance(static_cast<qint64>(seconds * 1000));
        app().clock().advance(seconds);
    }
    // Runs until every row has ended, moving time past each pause once the
    // answers to requests sent before it are in (the limiter would otherwise
    // let a late one through once time moved, and refuse the request that
    // goes first after the pause); onPause is told each pause first.
    bool runThrough(const std::function<void()>& onPause = {}) {
        for (int guard = 0; guard < 200; ++guard) {
            if (!QTest::qWaitFor([&] { return allEnded() || s->sitePauseRemaining() > 0; }, 20000))
                return false;
            if (allEnded())
                return true;
            if (!QTest::qWaitFor([&] { return downloading() == 0; }, 20000))
                return false;
            if (onPause)
                onPause();
            advance(s->sitePauseRemaining() + 0.01);
        }
        return false;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
        limiter = std::make_unique<RateLimiter>(*server, QStringLiteral("/limited"), 1000);
    }
    void init() {
        // A refusal cancelled at its headers once made Qt report the reply's
        // error twice ("this method must only be called once").
        QTest::failOnWarning(QRegularExpression(QStringLiteral("must only be called once")));
        cleanup();
        setUpRun();
        limiter->setInterval(1000);
        // The limiter lets the first request of each test through.
        advance(2);
        ++m_run;
        starts.clear();
        connect(s.get(), &Scheduler::transferStarted, this, [this](int i) {
            starts.append(
                {downloading(), s->siteWorkers(选择url(row(i).key)), s->sitePauseRemaining()});
        });
    }
    void cleanup() { tearDownRun(); }

    void filesArriveAtTheSitesPace_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("workers");
        QTest::newRow("mode one") << 1 << 1;
        QTest::newRow("mode two, 6 workers") << 2 << 6;
    }
    void filesArriveAtTheSitesPace() {
        QFETCH(int, mode);
        QFETCH(int, workers);
        app().DownloadMode = mode;
        s->options.workerCount = workers;
        const int rows = 8;
        addRows(rows);
        QSignalSpy pauses(s.get(), &Scheduler::sitePauseBegan);
        const int logBefore = limiter->log().size();

        s->startDownload();
        QVERIFY(runThrough());
        for (int k = 0; k < rows; ++k) {
            QCOMPARE(row(k).state, ItemState::Finished);
            QCOMPARE(readAll(folder() + QStringLiteral("paper%1.pdf").arg(k)),
                     FixtureServer::generatedContent(2000 + k));
        }
        QCOMPARE(model->CountErrorRows(), 0);
        QCOMPARE(names().size(), rows);
        // Refused at least once, and each pause the short first one: a file
        // came after every pause, so none doubled.
        QVERIFY(!pauses.isEmpty());
        for (const QList<QVariant>& p : pauses)
            QCOMPARE(p.at(1).toDouble(), SitePacing::FirstPauseSeconds);
        // No row started while the site's pause ran.
        for (const Start& start : std::as_const(starts))
            QCOMPARE(start.pauseLeft, 0.0);
        // Every file came once, and the site was not stormed with requests
        // it refused: at most one refusal per file after the first, besides
        // the first burst of mode two and the halved one after its pause.
        const QList<RateLimiter::Entry> log = limiter->log().mid(logBefore);
        int accepted = 0;
        for (const RateLimiter::Entry& e : log)
            accepted += e.accepted;
        QCOMPARE(accepted, rows);
        QVERIFY2(log.size() - accepted <= (rows - 1) + (workers - 1) + workers / 2,
                 qPrintable(QString::number(log.size() - accepted)));
        // One request at a time in mode one.
        if (mode == 1)
            for (const Start& start : std::as_const(starts))
                QCOMPARE(start.running, 1);
    }

    // The site refuses five of the first six at once: the run halves its
    // workers for the site; after the pause one request goes first, alone;
    // once the site lets everything through, a run of answers without
    // refusal gives the workers back one at a time, up to the user's six.
    void workersNarrowAndGrowBack() {
        app().DownloadMode = 2;
        s->options.workerCount = 6;
        const int rows = 30;
        addRows(rows);
        QList<int> allowedAtPause;
        int pausesSeen = 0;
        int startsBeforeOpen = -1;

        s->startDownload();
        QVERIFY(runThrough([&] {
            ++pausesSeen;
            allowedAtPause << s->siteWorkers(address(0));
            if (startsBeforeOpen < 0) {
                // From now on the site lets every request through.
                limiter->setInterval(0);
                startsBeforeOpen = starts.size();
            }
        }));
        QCOMPARE(model->countInState(ItemState::Finished), rows);
        QCOMPARE(model->CountErrorRows(), 0);
        QCOMPARE(pausesSeen, 1);
        QCOMPARE(allowedAtPause, QList<int>{3});
        // The first burst used all six workers.
        QVERIFY(startsBeforeOpen >= 6);
        for (int k = 0; k < 6; ++k)
            QCOMPARE(starts.at(k).allowed, 6);
        QCOMPARE(starts.at(5).running, 6);
        // After the pause, one request first, alone.
        QVERIFY(starts.size() > startsBeforeOpen);
        QCOMPARE(starts.at(startsBeforeOpen).running, 1);
        // Never more at once than the site was given; what it was given grew
        // back by one at a time to the user's six, which stayed six.
        int last = 3;
        for (qsizetype k = startsBeforeOpen; k < starts.size(); ++k) {
            const Start& start = starts.at(k);
            QVERIFY2(start.running <= start.allowed,
                     qPrintable(QStringLiteral("start %1: %2 running, %3 allowed")
                                    .arg(k)
                                    .arg(start.running)
                                    .arg(start.allowed)));
            QVERIFY(start.allowed == last || start.allowed == last + 1);
            last = start.allowed;
        }
        QCOMPARE(last, 6);
        QCOMPARE(s->options.workerCount, 6);
    }
};

QTEST_MAIN(TestRateLimit)
#include "tst_ratelimit.moc"
