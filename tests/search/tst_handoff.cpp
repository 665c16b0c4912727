#include "TestApp.h"
#include "download/fFileDownload.h"
#include "search/HandOff.h"

#include <QApplication>
#include <QFile>
#include <QTest>

class TestHandOff : public QObject {
    Q_OBJECT
private slots:
    void name_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("original");
        QTest::addColumn<QString>("name");
        QTest::newRow("original file name") << "https://h/pii/S0001234.pdf"
                                            << "A title" << true << "S0001234";
        QTest::newRow("title on one line") << "https://h/x.pdf"
                                           << " Deep\r\nLearning\n " << false << "DeepLearning";
        QTest::newRow("title cleaned") << "https://h/x.pdf"
                                       << "a/b: c?" << false << "ab c";
        QTest::newRow("original name cleaned") << "https://h/get?f=a*b.pdf"
                                               << "t" << true << "getf=ab";
        // A title that cleans to nothing would name the file ".pdf" (hidden).
        QTest::newRow("title of dots: the link's file name") << "https://h/pii/S0001234"
                                                             << "..." << false << "S0001234";
        QTest::newRow("title of dots and spaces: no query, no extension")
            << "https://h/get/S55.html?x=1"
            << " . .. " << false << "S55";
        QTest::newRow("nothing usable anywhere") << "https://h/"
                                                 << "\r\n.." << false << "未命名";
        QTest::newRow("original name of dots") << "https://h/a/..."
                                               << "t" << true << "未命名";
    }
    void name() {
        QFETCH(QString, link);
        QFETCH(QString, title);
        QFETCH(bool, original);
        QFETCH(QString, name);
        QCOMPARE(HandOffName(link, title, original), name);
    }

    void folderAndReferer() {
        QCOMPARE(HandOffFolder(QString(), QStringLiteral("/d/")), QStringLiteral("/d/"));
        QCOMPARE(HandOffFolder(QStringLiteral("/r/"), QStringLiteral("/d/")),
                 QStringLiteral("/r/"));
        QCOMPARE(HandOffReferer(QStringLiteral("SD1"), QStringLiteral("L"), QStringLiteral("P")),
                 QStringLiteral("P"));
        QCOMPARE(HandOffReferer(QStringLiteral("SD2"), QStringLiteral("L"), QStringLiteral("P")),
                 QStringLiteral("L"));
    }

    // With a naming pattern the record names the file and its sub-folders;
    // without one the title or address does, as before.
    void targetByPattern() {
        ArticleRecord record;
        record.authors = {QStringLiteral("Smith, Anna"), QStringLiteral("Jones, B.")};
        record.year = QStringLiteral("2024");
        record.journal = QStringLiteral("Carbon: Letters");
        record.doi = QStringLiteral("10.1016/j.x.1");
        const QString link = QStringLiteral("https://h/pii/S0001234.pdf");
        HandOffPlace place = HandOffTarget(link, QStringLiteral(" A\ntitle "), false, record,
                                           QString(), QString(), QStringLiteral("/d/"));
        QCOMPARE(place.folder, QStringLiteral("/d/"));
        QCOMPARE(place.name, HandOffName(link, QStringLiteral(" A\ntitle "), false));
        // The row's title stands in for a record without one.
        place = HandOffTarget(link, QStringLiteral("Deep\r\nLearning"), false, record,
                              QStringLiteral("期刊/年份/作者 - 标题"), QStringLiteral("/r/"),
                              QStringLiteral("/d/"));
        QCOMPARE(place.folder, QStringLiteral("/r/Carbon Letters/2024/"));
        QCOMPARE(place.name, QStringLiteral("Smith 等 - DeepLearning"));
        // A pattern that leaves nothing keeps the design's name.
        place = HandOffTarget(link, QStringLiteral("..."), true, ArticleRecord(),
                              QStringLiteral("DOI"), QString(), QStringLiteral("/d/"));
        QCOMPARE(place.name, QStringLiteral("S0001234"));
    }

    // The record travels with the row into the download list.
    void recordTravels() {
        TestApp t;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        ArticleRecord record;
        record.title = QStringLiteral("石墨烯");
        record.doi = QStringLiteral("10.1016/j.x.1");
        HandOff(QStringLiteral("http://h/a.pdf"), QStringLiteral("A"), QStringLiteral("pdf"),
                QStringLiteral("/f/"), QStringLiteral("http://h/page"), record);
        auto* window = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(window);
        QCOMPARE(window->list()->item(0).record, record);
        delete window;
    }

    // The hand-off loads the download window without showing it; a second
    // article leading to the same PDF adds nothing.
    void handOffLoadsWithoutShowingAndRefusesDuplicates() {
        TestApp t;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
        HandOff(QStringLiteral("http://h/a.pdf"), QStringLiteral("A"), QStringLiteral("pdf"),
                QStringLiteral("/f/"), QStringLiteral("http://h/page"));
        HandOff(QStringLiteral("http://h/a.pdf"), QStringLiteral("B"), QStringLiteral("pdf"),
                QStringLiteral("/g/"), QStringLiteral("http://h/other"));
        auto* window = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(window);
        QVERIFY(!window->isVisible());
        QCOMPARE(window->list()->count(), 1);
        const DownloadItem& row = window->list()->item(0);
        QCOMPARE(row.key, QStringLiteral("http://h/a.pdf"));
        QCOMPARE(row.name, QStringLiteral("A"));
        QCOMPARE(row.type, QStringLiteral("pdf"));
        QCOMPARE(row.folder, QStringLiteral("/f/"));
        QCOMPARE(row.tag, QStringLiteral("http://h/page"));
        QCOMPARE(row.state, ItemState::Waiting);
        QVERIFY(row.notYetDownloaded());

        // The end of a run shows it; a minimised window stays minimised.
        显示下载窗口(false);
        QVERIFY(window->isVisible());
        window->showMinimized();
        显示下载窗口(false);
        QVERIFY(window->isMinimized());
        显示下载窗口(true);
        QVERIFY(!window->isMinimized());
        delete window;
    }

    // An open download window behind another window comes forward at the
    // end of a run, through the window flow.
    void showDownloadWindowBringsItForward() {
        TestApp t;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        QWidget* window = app().flow().show(WindowNames::FileDownload);
        QVERIFY(window);
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        显示下载窗口(false);
        QTRY_COMPARE(QApplication::activeWindow(), window);
        delete window;
    }

    void showDownloadWindowNeedsItLoaded() {
        TestApp t;
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        显示下载窗口(true);
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
    }

    void exportWritesTitlesOnly() {
        TestApp t;
        const QString path = t.tempPath() + QStringLiteral("/titles.txt");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'x'));
        old.close();
        const QStringList titles = {QStringLiteral("第一篇"), QStringLiteral("Second"),
                                    QStringLiteral("Third")};
        const qint64 size = ExportTitles(titles, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes, QStringLiteral("第一篇\r\nSecond\r\nThird\r\n").toUtf8());
        QCOMPARE(size, bytes.size());
        QCOMPARE(ExportTitles(titles, t.tempPath() + QStringLiteral("/no/such/dir/x.txt")), -1);
        // A full disk: no size message for a file that is not whole.
        if (QFile::exists(QStringLiteral("/dev/full")))
            QCOMPARE(ExportTitles(titles, QStringLiteral("/dev/full")), -1);
    }

    void exportMessage_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("1536 bytes") << qint64(1536) << "保存文件完毕：1.50KB";
        QTest::newRow("empty") << qint64(0) << "保存文件完毕：0.00KB";
        QTest::newRow("grouped") << qint64(5 * 1024 * 1024 + 512) << "保存文件完毕：5,120.50KB";
    }
    void exportMessage() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(ExportDoneMessage(bytes), text);
    }
};

QTEST_MAIN(TestHandOff)
#include "tst_handoff.moc"
