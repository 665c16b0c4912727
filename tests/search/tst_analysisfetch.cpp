#include "FixtureServer.h"
#include "TestApp.h"
#include "download/fFileDownload.h"
#include "platform/Transport.h"
#include "search/Analysis.h"
#include "search/ArticleAnalyser.h"
#include "search/ArticleListModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

namespace {
QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString redirectPage(const QString& address) {
    return QStringLiteral("<html><script>window.location = '%1';</script></html>").arg(address);
}
} // namespace

class TestAnalysisFetch : public QObject {
    Q_OBJECT
private slots:
    void directFetchOutcomes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("with length") << "/gen/5000" << qint64(5000);
        QTest::newRow("without length") << "/nolength/3000" << qint64(3000);
        QTest::newRow("chunked") << "/chunked/4097" << qint64(4097);
        QTest::newRow("cut before the announced length") << "/early/3000/10000" << qint64(0);
        QTest::newRow("not 200") << "/missing.pdf" << qint64(0);
        QTest::newRow("status 500") << "/status/500" << qint64(0);
        QTest::newRow("empty html page") << "/empty.html" << qint64(0);
    }
    void directFetchOutcomes() {
        QFETCH(QString, path);
        QFETCH(qint64, bytes);
        TestApp t;
        FixtureServer server;
        server.addPage(QStringLiteral("/empty.html"), QByteArray(), "text/html");
        const QString folder = t.tempPath() + QStringLiteral("/out/sub");
        const DirectFetchResult r =
            Inet下载文件(app().transport(), server.url(path), QString(), QStringLiteral("a:b.pdf"),
                         folder, 0, [] { return false; });
        QCOMPARE(qint64(r.bytes), bytes);
        const QString expectedPath = folder + QStringLiteral("/ab.pdf");
        if (bytes > 0) {
            QCOMPARE(r.path, expectedPath);
            QCOMPARE(r.fileName, QStringLiteral("ab.pdf"));
            QCOMPARE(r.folder, folder);
            QCOMPARE(readFile(expectedPath), FixtureServer::generatedContent(bytes));
        } else {
            // Nothing half-written stays behind.
            QVERIFY(!QFile::exists(expectedPath));
        }
        // The referer defaults to the address's scheme and host.
        const FixtureRequest req = server.requestsFor(path.section('?', 0, 0)).value(0);
        QCOMPARE(req.header("Referer"),
                 QStringLiteral("http://127.0.0.1:%1").arg(server.httpPort()).toUtf8());
    }

    // A folder that cannot be made saves nothing, anywhere.
    void folderThatCannotBeMade() {
        TestApp t;
        FixtureServer server;
        QFile blocker(t.tempPath() + QStringLiteral("/plain"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const DirectFetchResult r = Inet下载文件(
            app().transport(), server.url(QStringLiteral("/gen/100")), QString(),
            QStringLiteral("n.pdf"), t.tempPath() + QStringLiteral("/plain/sub"), 0, {});
        QCOMPARE(r.bytes, 0.0);
        QVERIFY(!QFile::exists(QStringLiteral("n.pdf")));
    }

    void replacesExistingFileAndSendsReferer() {
        TestApp t;
        FixtureServer server;
        const QString path = t.tempPath() + QStringLiteral("/paper.pdf");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(9000, 'o'));
        old.close();
        const DirectFetchResult r =
            Inet下载文件(app().transport(), server.url(QStringLiteral("/gen/100")),
                         QStringLiteral("http://site/article"), QStringLiteral("paper.pdf"),
                         t.tempPath(), 0, {});
        QCOMPARE(r.bytes, 100.0);
        QCOMPARE(readFile(path), FixtureServer::generatedContent(100));
        QCOMPARE(QDir(t.tempPath()).entryList(QDir::Files), QStringList({"paper.pdf"}));
        QCOMPARE(server.requestsFor(QStringLiteral("/gen/100")).value(0).header("Referer"),
                 QByteArray("http://site/article"));
    }

    // A symbolic link at the target is replaced by the new file; the file it
    // pointed to is not written through.
    void symbolicLinkAtTheTarget() {
        TestApp t;
        FixtureServer server;
        const QString elsewhere = t.tempPath() + QStringLiteral("/elsewhere.pdf");
        QFile other(elsewhere);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("the user's other file");
        other.close();
        const QString folder = t.tempPath() + QStringLiteral("/row");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(elsewhere, folder + QStringLiteral("/paper.pdf")));
        const DirectFetchResult r =
            Inet下载文件(app().transport(), server.url(QStringLiteral("/gen/300")), QString(),
                         QStringLiteral("paper.pdf"), folder, 0, {});
        QCOMPARE(r.bytes, 300.0);
        QVERIFY(!QFileInfo(folder + QStringLiteral("/paper.pdf")).isSymLink());
        QCOMPARE(readFile(folder + QStringLiteral("/paper.pdf")),
                 FixtureServer::generatedContent(300));
        QCOMPARE(readFile(elsewhere), QByteArray("the user's other file"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{"paper.pdf"});
    }

    // A fetch stopped while the body arrives, or stalled past the limit,
    // fails and leaves no partial file; a file the user had under that name
    // is still there, whole.
    void stoppedOrStalledFetchFails_data() {
        QTest::addColumn<bool>("stop");
        QTest::addColumn<bool>("userFile");
        QTest::newRow("stop") << true << false;
        QTest::newRow("stall") << false << false;
        QTest::newRow("stop, file kept") << true << true;
        QTest::newRow("stall, file kept") << false << true;
    }
    void stoppedOrStalledFetchFails() {
        QFETCH(bool, stop);
        QFETCH(bool, userFile);
        TestApp t;
        FixtureServer server;
        const QString target = t.tempPath() + QStringLiteral("/x.pdf");
        if (userFile) {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(5000, 'u'));
        }
        bool stopped = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(500, &timers, [&] {
            if (stop)
                stopped = true;
            else
                app().clock().advance(61);
        });
        QElapsedTimer real;
        real.start();
        const DirectFetchResult r = Inet下载文件(
            app().transport(), server.url(QStringLiteral("/stall/3000/10000")), QString(),
            QStringLiteral("x.pdf"), t.tempPath(), 0, [&] { return stopped; });
        QCOMPARE(r.bytes, 0.0);
        QVERIFY(real.elapsed() < 10000);
        QCOMPARE(readFile(target), userFile ? QByteArray(5000, 'u') : QByteArray());
        QCOMPARE(QDir(t.tempPath()).entryList(QDir::Files | QDir::Hidden).size(), userFile ? 1 : 0);
        server.releaseStalls();
    }

    // No answer within the time-out: nothing is saved.
    void unansweredFetchTimesOut() {
        TestApp t;
        FixtureServer server;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(300, &timers, [&] { app().clock().advance(61); });
        const DirectFetchResult r =
            Inet下载文件(app().transport(), server.url(QStringLiteral("/hang")), QString(),
                         QStringLiteral("h.pdf"), t.tempPath(), 0, {});
        QCOMPARE(r.bytes, 0.0);
        QVERIFY(!QFile::exists(t.tempPath() + QStringLiteral("/h.pdf")));
        server.releaseStalls();
    }

    // 加入下载列表 row by row: SD1 rows need no request; SD2 rows fetch their
    // page with the result page as referer, and hand over the found address
    // with the link as referer; a page without redirect fails.
    void analysisOfRows() {
        TestApp t;
        FixtureServer server;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        app().CurrentSaveFolder = t.tempPath() + QStringLiteral("/default/");
        server.addPage(QStringLiteral("/art/1"),
                       redirectPage(server.url(QStringLiteral("/pdf/1.pdf?a=1&amp;b=2"))).toUtf8());
        server.addPage(QStringLiteral("/art/2"), QByteArray("<html>no redirect</html>"));
        ArticleListModel list;
        list.add(QStringLiteral("First\r\nPaper"), QStringLiteral("http://h/pdf/S1.pdf"),
                 QStringLiteral("http://h/results"), QStringLiteral("pdf"), QString(),
                 QStringLiteral("SD1"));
        list.add(QStringLiteral("Second: Paper"), server.url(QStringLiteral("/art/1")),
                 QStringLiteral("http://h/results2"), QStringLiteral("pdf"), QStringLiteral("/x/"),
                 QStringLiteral("SD2"));
        list.add(QStringLiteral("Third"), server.url(QStringLiteral("/art/2")),
                 QStringLiteral("http://h/results2"), QStringLiteral("pdf"), QString(),
                 QStringLiteral("SD2"));
        bool stopped = false;
        ArticleAnalyser analyser(
            list, app().transport(),
            {[] { return false; }, [] { return QStringLiteral("0"); }, [&] { return stopped; }});
        for (int row = 0; row < 3; ++row)
            analyser.加入下载列表(row);

        QCOMPARE(list.at(0).state, QStringLiteral("分析完成"));
        QCOMPARE(list.at(1).state, QStringLiteral("分析完成"));
        QCOMPARE(list.at(2).state, QStringLiteral("分析失败"));
        auto* window = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(window);
        QCOMPARE(window->list()->count(), 2);
        const DownloadItem& sd1 = window->list()->item(0);
        QCOMPARE(sd1.key, QStringLiteral("http://h/pdf/S1.pdf"));
        QCOMPARE(sd1.name, QStringLiteral("FirstPaper"));
        QCOMPARE(sd1.folder, app().CurrentSaveFolder);
        QCOMPARE(sd1.tag, QStringLiteral("http://h/results"));
        const DownloadItem& sd2 = window->list()->item(1);
        QCOMPARE(sd2.key, server.url(QStringLiteral("/pdf/1.pdf?a=1&b=2")));
        QCOMPARE(sd2.name, QStringLiteral("Second Paper"));
        QCOMPARE(sd2.folder, QStringLiteral("/x/"));
        QCOMPARE(sd2.tag, server.url(QStringLiteral("/art/1")));
        // SD1 made no request; the SD2 page was asked with the result page as referer.
        QCOMPARE(server.requestsFor(QStringLiteral("/pdf/S1.pdf")).size(), 0);
        const FixtureRequest page = server.requestsFor(QStringLiteral("/art/1")).value(0);
        QCOMPARE(page.target, QByteArray("/art/1"));
        QCOMPARE(page.header("Referer"), QByteArray("http://h/results2"));
        delete window;
    }

    // The intermediate page's citation tags fill what the row's record lacks;
    // the record travels to the download row, and a naming pattern names the
    // file and its sub-folder from it.
    void pageFillsTheRecord() {
        TestApp t;
        FixtureServer server;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        app().FileNamePattern = QStringLiteral("期刊/作者 - 年份");
        const QString head = QStringLiteral(
            "<html><head><meta name=\"citation_title\" content=\"Page title\">"
            "<meta name=\"citation_author\" content=\"张, 伟\">"
            "<meta name=\"citation_journal_title\" content=\"新型炭材料\">"
            "<meta name=\"citation_publication_date\" content=\"2011/05/02\">"
            "<meta name=\"citation_doi\" content=\"10.1016/S1872-5805(11)60001-1\"></head>"
            "<body><script>window.location = '%1';</script></body></html>");
        server.addPage(QStringLiteral("/art/r"),
                       head.arg(server.url(QStringLiteral("/pdf/r.pdf"))).toUtf8());
        ArticleRecord fromBlock;
        fromBlock.title = QStringLiteral("Block title");
        fromBlock.year = QStringLiteral("2011");
        ArticleListModel list;
        list.add(QStringLiteral("Block title"), server.url(QStringLiteral("/art/r")),
                 QStringLiteral("http://h/results"), QStringLiteral("pdf"), QStringLiteral("/x/"),
                 QStringLiteral("SD2"), fromBlock);
        ArticleAnalyser analyser(
            list, app().transport(),
            {[] { return false; }, [] { return QStringLiteral("0"); }, [] { return false; }});
        analyser.加入下载列表(0);
        QCOMPARE(list.at(0).state, QStringLiteral("分析完成"));
        const ArticleRecord& r = list.at(0).record;
        QCOMPARE(r.title, QStringLiteral("Block title"));
        QCOMPARE(r.authors, QStringList{QStringLiteral("张, 伟")});
        QCOMPARE(r.journal, QStringLiteral("新型炭材料"));
        QCOMPARE(r.date, QStringLiteral("2011-05-02"));
        QCOMPARE(r.doi, QStringLiteral("10.1016/s1872-5805(11)60001-1"));
        auto* window = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(window);
        QCOMPARE(window->list()->count(), 1);
        const DownloadItem& row = window->list()->item(0);
        QCOMPARE(row.record, r);
        QCOMPARE(row.folder, QStringLiteral("/x/新型炭材料/"));
        QCOMPARE(row.name, QStringLiteral("张 - 2011"));
        delete window;
    }

    // With "分析后直接下载" the file goes straight into the row's folder under
    // the title; nothing is handed to the download list.
    void directDownloadOfAnSd2Row() {
        TestApp t;
        FixtureServer server;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        server.addPage(QStringLiteral("/art/ok"),
                       redirectPage(server.url(QStringLiteral("/gen/2048"))).toUtf8());
        server.addPage(QStringLiteral("/art/bad"),
                       redirectPage(server.url(QStringLiteral("/missing.pdf"))).toUtf8());
        const QString folder = t.tempPath() + QStringLiteral("/row");
        ArticleListModel list;
        list.add(QStringLiteral("Good"), server.url(QStringLiteral("/art/ok")),
                 QStringLiteral("http://h/r"), QStringLiteral("pdf"), folder,
                 QStringLiteral("SD2"));
        list.add(QStringLiteral("Bad"), server.url(QStringLiteral("/art/bad")),
                 QStringLiteral("http://h/r"), QStringLiteral("pdf"), folder,
                 QStringLiteral("SD2"));
        ArticleAnalyser analyser(
            list, app().transport(),
            {[] { return true; }, [] { return QStringLiteral("0"); }, [] { return false; }});
        analyser.加入下载列表(0);
        analyser.加入下载列表(1);
        QCOMPARE(list.at(0).state, QStringLiteral("下载成功"));
        QCOMPARE(list.at(1).state, QStringLiteral("下载失败"));
        QCOMPARE(readFile(folder + QStringLiteral("/Good.pdf")),
                 FixtureServer::generatedContent(2048));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/Bad.pdf")));
        QCOMPARE(server.requestsFor(QStringLiteral("/gen/2048")).value(0).header("Referer"),
                 server.url(QStringLiteral("/art/ok")).toUtf8());
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
    }

    // The file of a direct download keeps its extension however long the
    // title; a title that leaves nothing takes the link's file name.
    void directDownloadFileName_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("linkPath");
        QTest::addColumn<QString>("file");
        QTest::newRow("short title") << "Graphene"
                                     << "/art/a"
                                     << "Graphene.pdf";
        // 70 characters of three UTF-8 bytes each: the name is cut, never ".pdf".
        QTest::newRow("long title")
            << QString(70, QChar(0x6d4b)) << "/art/a" << QString(66, QChar(0x6d4b)) + ".pdf";
        QTest::newRow("title of dots") << "..."
                                       << "/art/S0042"
                                       << "S0042.pdf";
        QTest::newRow("title of dots and spaces, link without file name") << " . .. "
                                                                          << "/art/"
                                                                          << "未命名.pdf";
    }
    void directDownloadFileName() {
        QFETCH(QString, title);
        QFETCH(QString, linkPath);
        QFETCH(QString, file);
        TestApp t;
        FixtureServer server;
        server.addPage(linkPath, redirectPage(server.url(QStringLiteral("/gen/700"))).toUtf8());
        const QString folder = t.tempPath() + QStringLiteral("/row");
        ArticleListModel list;
        list.add(title, server.url(linkPath), QStringLiteral("http://h/r"), QStringLiteral("pdf"),
                 folder, QStringLiteral("SD2"));
        ArticleAnalyser analyser(
            list, app().transport(),
            {[] { return true; }, [] { return QStringLiteral("0"); }, [] { return false; }});
        analyser.加入下载列表(0);
        QCOMPARE(list.at(0).state, QStringLiteral("下载成功"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{file});
        QCOMPARE(readFile(folder + QLatin1Char('/') + file), FixtureServer::generatedContent(700));
    }

    // An SD2 row waits the delay after its request, whatever the outcome; an
    // SD1 row does not.
    void delayFollowsSd2RowsOnly() {
        TestApp t;
        FixtureServer server;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        ArticleListModel list;
        list.add(QStringLiteral("One"), QStringLiteral("http://h/1.pdf"), QStringLiteral("p"),
                 QStringLiteral("pdf"), t.tempPath(), QStringLiteral("SD1"));
        list.add(QStringLiteral("Two"), server.url(QStringLiteral("/status/404")),
                 QStringLiteral("p"), QStringLiteral("pdf"), t.tempPath(), QStringLiteral("SD2"));
        int delayReads = 0;
        ArticleAnalyser analyser(list, app().transport(),
                                 {[] { return false; },
                                  [&] {
                                      ++delayReads;
                                      return QStringLiteral("0");
                                  },
                                  [] { return false; }});
        analyser.加入下载列表(0);
        QCOMPARE(delayReads, 0);
        analyser.加入下载列表(1);
        QVERIFY(delayReads > 0);
        QCOMPARE(list.at(1).state, QStringLiteral("分析失败"));
        delete app().flow().find(WindowNames::FileDownload);
    }

    // An intermediate page the site answered with a request to wait makes the
    // delay after it last at least the time asked, whatever the delay box says.
    void siteAskingToWaitLengthensTheDelay_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<double>("atLeast");
        QTest::newRow("429, seconds") << "/busy/429/1?ra=30&body=html" << 30.0;
        QTest::newRow("503, none given") << "/busy/503/1?body=text" << 60.0;
        QTest::newRow("ordinary page") << "/status/404" << 0.0;
    }
    void siteAskingToWaitLengthensTheDelay() {
        QFETCH(QString, path);
        QFETCH(double, atLeast);
        TestApp t;
        FixtureServer server;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        ArticleListModel list;
        list.add(QStringLiteral("Two"), server.url(path), QStringLiteral("p"),
                 QStringLiteral("pdf"), t.tempPath(), QStringLiteral("SD2"));
        ArticleAnalyser analyser(
            list, app().transport(),
            {[] { return false; }, [] { return QStringLiteral("0"); }, [] { return false; }});
        // The program clock runs a second per 50 ms once the page was asked for.
        double moved = 0;
        QTimer driver;
        driver.setInterval(50);
        connect(&driver, &QTimer::timeout, &driver, [&] {
            if (server.requests().isEmpty())
                return;
            moved += 1;
            app().clock().advance(1);
        });
        QElapsedTimer real;
        real.start();
        driver.start();
        analyser.加入下载列表(0);
        driver.stop();
        // The program clock went on by what was moved and what really passed.
        const double waited = moved + real.elapsed() / 1000.0;
        QVERIFY2(waited >= atLeast, qPrintable(QString::number(waited)));
        if (atLeast == 0)
            QVERIFY2(moved < 10, qPrintable(QString::number(moved)));
        QCOMPARE(list.at(0).state, QStringLiteral("分析失败"));
        delete app().flow().find(WindowNames::FileDownload);
    }
};

QTEST_MAIN(TestAnalysisFetch)
#include "tst_analysisfetch.moc"
