// The run as a site with limits sees it: the next row starts as soon as the
// previous one ends (no tick needed), and a site that asks the client to wait
// gets its pause, with nothing saved and nothing counted against the run.

#include "FixtureServer.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "net/SiteAnswer.h"

#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

class TestSiteWaits : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;
    std::unique_ptr<TestApp> t;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<DownloadListModel> model;
    std::unique_ptr<Scheduler> s;
    int m_tag = 0;

    QString folder() const { return dir->path() + QLatin1Char('/'); }
    const DownloadItem& row(int i) const { return model->item(i); }
    // Every test asks its own addresses: the site counts answers per address.
    QString tag() { return QStringLiteral("t=%1").arg(++m_tag); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files | QDir::Hidden); }
    bool paused() const { return s->sitePauseRemaining() > 0; }
    void setMode(int mode) {
        app().DownloadMode = mode;
        s->options.workerCount = 1;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
    }
    void init() {
        cleanup();
        t = std::make_unique<TestApp>();
        app().MaxFileSizeMB = 10;
        dir = std::make_unique<QTemporaryDir>();
        model = std::make_unique<DownloadListModel>();
        s = std::make_unique<Scheduler>(*model);
        server->clearRequests();
    }
    void cleanup() {
        s.reset();
        model.reset();
        dir.reset();
        t.reset();
    }

    // ---------------------------------------------------------- start at once

    // Six files with one worker: "开始下载" starts the first, and each end
    // starts the next, without a single tick.
    void rowsStartOneAfterAnother_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void rowsStartOneAfterAnother() {
        QFETCH(int, mode);
        setMode(mode);
        for (int k = 0; k < 6; ++k)
            QVERIFY(model->AddDownloadItem(server->url(QStringLiteral("/gen/%1").arg(3000 + k)),
                                           QStringLiteral("f%1").arg(k), "pdf", folder(), {}));
        int mostAtOnce = 0;
        connect(model.get(), &DownloadListModel::dataChanged, this, [&] {
            int running = 0;
            for (int i = 0; i < model->count(); ++i)
                running += row(i).state == ItemState::Downloading;
            mostAtOnce = qMax(mostAtOnce, running);
        });
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(5).state == ItemState::Finished, 20000);
        for (int k = 0; k < 6; ++k) {
            QCOMPARE(row(k).state, ItemState::Finished);
            QCOMPARE(readAll(folder() + QStringLiteral("f%1.pdf").arg(k)),
                     FixtureServer::generatedContent(3000 + k));
        }
        QCOMPARE(mostAtOnce, 1);
        // In list order.
        const QList<FixtureRequest> log = server->requests();
        QCOMPARE(log.size(), 6);
        for (int k = 0; k < 6; ++k)
            QCOMPARE(log.at(k).path, QStringLiteral("/gen/%1").arg(3000 + k));
    }

    // The user's pause between two files still holds, on the program clock.
    void startWaitsForThePause() {
        setMode(2);
        s->options.pauseSeconds = 30;
        for (int k = 0; k < 2; ++k)
            QVERIFY(model->AddDownloadItem(server->url(QStringLiteral("/gen/%1").arg(500 + k)),
                                           QStringLiteral("p%1").arg(k), "pdf", folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(row(1).state, ItemState::Waiting);
        app().clock().advance(29);
        QCOMPARE(s->CountWorkers(), 1);
        QCOMPARE(row(1).state, ItemState::Waiting);
        app().clock().advance(2);
        QTRY_VERIFY_WITH_TIMEOUT(row(1).state == ItemState::Finished, 20000);
    }

    // ---------------------------------------------------------- the site asks to wait

    void pleaseWait_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("retryAfter"); // "date:<s>" a date s seconds ahead
        QTest::addColumn<QString>("body");
        QTest::addColumn<double>("pause");
        for (int mode : {1, 2}) {
            QTest::addRow("mode %d, 429, seconds, text", mode) << mode << 429 << "30"
                                                               << "text" << 30.0;
            QTest::addRow("mode %d, 429, seconds, html", mode) << mode << 429 << "30"
                                                               << "html" << 30.0;
            QTest::addRow("mode %d, 429, date, html", mode) << mode << 429 << "date:40"
                                                            << "html" << 40.0;
            QTest::addRow("mode %d, 429, none", mode) << mode << 429 << ""
                                                      << "text" << 60.0;
            QTest::addRow("mode %d, 503, seconds, html", mode) << mode << 503 << "20"
                                                               << "html" << 20.0;
            QTest::addRow("mode %d, 503, none, text", mode) << mode << 503 << ""
                                                            << "text" << 60.0;
        }
    }
    void pleaseWait() {
        QFETCH(int, mode);
        QFETCH(int, status);
        QFETCH(QString, retryAfter);
        QFETCH(QString, body);
        QFETCH(double, pause);
        setMode(mode);
        if (retryAfter.startsWith("date:")) {
            // An HTTP date has no fraction of a second: moved to the start of a
            // second, the clock loses none to it, and the countdown below
            // shows whole seconds from the time asked.
            app().clock().advance((1000 - HttpNow(app().clock()).time().msec()) / 1000.0);
            const QDateTime when =
                HttpNow(app().clock()).addSecs(retryAfter.mid(5).toInt()).toUTC();
            retryAfter = QLocale::c().toString(when, "ddd, dd MMM yyyy HH:mm:ss 'GMT'");
        }
        const QString path = QStringLiteral("/busy/%1/1").arg(status);
        QString query = tag() + "&body=" + body;
        if (!retryAfter.isEmpty())
            query += "&ra=" + QString::fromLatin1(QUrl::toPercentEncoding(retryAfter));
        QVERIFY(
            model->AddDownloadItem(server->url(path + "?" + query), "paper", "pdf", folder(), {}));
        QSignalSpy activity(s.get(), &Scheduler::activityText);

        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(model->CountErrorRows(), 0);
        QCOMPARE(server->requestsFor(path).size(), 1);
        // A date counts from the moment it was made: at most a second is gone.
        QVERIFY2(s->sitePauseRemaining() <= pause && s->sitePauseRemaining() > pause - 2,
                 qPrintable(QString::number(s->sitePauseRemaining())));
        QTRY_VERIFY(files().isEmpty());
        bool counted = false;
        for (const QList<QVariant>& a : activity)
            counted = counted || a.first().toString().startsWith(QStringLiteral("站点要求暂停："));
        QVERIFY(counted);

        // Not before the time asked, however often the tick comes.
        app().clock().advance(pause - 3);
        s->schedulerTick();
        QCOMPARE(row(0).state, ItemState::Waiting);
        QCOMPARE(s->CountWorkers(), 1);
        QCOMPARE(server->requestsFor(path).size(), 1);
        QCOMPARE(activity.last().first().toString(), QStringLiteral("站点要求暂停：3秒"));

        app().clock().advance(4);
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(row(0).type, QStringLiteral("pdf"));
        QCOMPARE(readAll(folder() + "paper.pdf"), FixtureServer::generatedContent(4096));
        QCOMPARE(files(), QStringList{"paper.pdf"});
        QCOMPARE(server->requestsFor(path).size(), 2);
        QCOMPARE(model->CountErrorRows(), 0);
    }

    // "停止下载" ends the pause; the row waits for the next run.
    void stopDuringThePause_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void stopDuringThePause() {
        QFETCH(int, mode);
        setMode(mode);
        const QString path = QStringLiteral("/busy/429/1");
        QVERIFY(model->AddDownloadItem(server->url(path + "?ra=600&" + tag()), "paper", "pdf",
                                       folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        s->stopDownload();
        QVERIFY(!paused());
        QVERIFY(!s->timerDownEnabled());
        QCOMPARE(row(0).state, ItemState::Waiting);
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(server->requestsFor(path).size(), 2);
    }

    // Asked again within the run, the pause doubles.
    void repeatedRequestDoubles_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }
    void repeatedRequestDoubles() {
        QFETCH(int, mode);
        setMode(mode);
        const QString path = QStringLiteral("/busy/429/2");
        QVERIFY(model->AddDownloadItem(server->url(path + "?ra=10&" + tag()), "paper", "pdf",
                                       folder(), {}));
        s->startDownload();
        QTRY_VERIFY_WITH_TIMEOUT(paused(), 20000);
        QVERIFY(s->sitePauseRemaining() <= 10);
        app().clock().advance(11);
        QTRY_VERIFY_WITH_TIMEOUT(server->requestsFor(path).size() == 2 && paused(), 20000);
        QVERIFY(s->sitePauseRemaining() > 18 && s->sitePauseRemaining() <= 20);
        app().clock().advance(18);
        s->schedulerTick();
        QCOMPARE(server->requestsFor(path).size(), 2);
        app().clock().advance(3);
        QTRY_VERIFY_WITH_TIMEOUT(row(0).state == ItemState::Finished, 20000);
        QCOMPARE(model->CountErrorRows(), 0);
    }
};

QTEST_MAIN(TestSiteWaits)
#include "tst_sitewaits.moc"
