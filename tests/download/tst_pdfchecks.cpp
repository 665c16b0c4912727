// Every arrived PDF is looked at: real PDFs made here (known page counts, a
// DOI on the first page), a damaged one and a one-page preview of a longer
// article. Every placed article is remembered, so an article added again is
// not fetched while its file stands, across runs, restarts and folders. The
// first page is drawn for the preview off the user-interface thread.

#include "FixtureServer.h"
#include "SchedulerFixture.h"
#include "TestFiles.h"
#include "download/ArrivalChecks.h"
#include "download/ArticleHistory.h"
#include "download/DownloadListKeeper.h"
#include "download/ListCommands.h"
#include "download/Naming.h"
#include "download/PdfCheck.h"
#include "download/PdfPreview.h"
#include "download/fFileDownload.h"
#include "platform/KeptDatabase.h"
#include "platform/PdfReader.h"
#include "platform/Wait.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <memory>
#include <utime.h>

namespace {
const QString Doi = QStringLiteral("10.1016/j.jcat.2024.115321");

// A real PDF of pages pages; the first page carries doi as an address, as
// publishers print it.
void makePdf(const QString& path, int pages, const QString& doi = Doi,
             const QString& title = QStringLiteral("A study of catalysts")) {
    QPdfWriter writer(path);
    writer.setTitle(title);
    writer.setResolution(72);
    QPainter p(&writer);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        p.drawText(QPointF(72, 72), QStringLiteral("Page %1 of the article").arg(page));
        if (page == 1 && !doi.isEmpty())
            p.drawText(QPointF(72, 100), QStringLiteral("https://doi.org/") + doi);
    }
}

// Passes every byte check of an arrival (header and end marker) but is no PDF.
void makeDamagedPdf(const QString& path) {
    QByteArray body = "%PDF-1.7\n";
    for (int i = 0; i < 4000; ++i)
        body += char('A' + (i * 7) % 26);
    writeFile(path, body + "\n%%EOF\n");
}

bool hasDarkPixel(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            if (qGray(grey.pixel(x, y)) < 128)
                return true;
    return false;
}

ArticleRecord pages(const QString& first, const QString& last) {
    ArticleRecord r;
    r.firstPage = first;
    r.lastPage = last;
    return r;
}

// Sets a file's modification time a second later, its bytes untouched.
void touchLater(const QString& path, int seconds = 5) {
    qint64 size = 0;
    qint64 ns = 0;
    QVERIFY(FileStamp(path, size, ns));
    struct utimbuf times {};
    times.actime = time_t(ns / 1000000000LL) + seconds;
    times.modtime = time_t(ns / 1000000000LL) + seconds;
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}
} // namespace

class TestPdfChecks : public SchedulerFixture {
    Q_OBJECT
private:
    std::unique_ptr<FixtureServer> server;

    int addRow(const QString& address, const QString& rowFolder, const QString& doi,
               const QString& pii = {}) {
        if (!model->AddDownloadItem(address, QStringLiteral("paper"), QStringLiteral("pdf"),
                                    rowFolder, {}))
            return -1;
        ArticleRecord r;
        r.doi = doi;
        r.pii = pii;
        r.firstPage = QStringLiteral("1");
        r.lastPage = QStringLiteral("12");
        model->fillRecord(model->count() - 1, r);
        return model->count() - 1;
    }
    // A finished row that placed path, as a transfer leaves it.
    int placedRow(const QString& path, const ArticleRecord& record) {
        const QFileInfo f(path);
        const QString address = QStringLiteral("http://127.0.0.1:9/") + f.fileName();
        if (!model->AddDownloadItem(address, f.completeBaseName(), f.suffix(),
                                    f.absolutePath() + QLatin1Char('/'), {}))
            return -1;
        const int i = model->count() - 1;
        model->fillRecord(i, record);
        const QString bytes = QString::number(f.size());
        model->setProgress(i, bytes, bytes, QStringLiteral("100%"));
        model->setPlaced(i, true);
        model->setState(i, ItemState::Finished);
        return i;
    }

private slots:
    void initTestCase() {
        server = std::make_unique<FixtureServer>();
        QVERIFY(server->isRunning());
    }
    void init() {
        setUpRun();
        app().DownloadMode = 2;
        s->options.workerCount = 1;
        s->LastFinishTime = app().clock().now() - 10;
        server->clearRequests();
    }
    void cleanup() { tearDownRun(); }

    // What the look inside one file finds, and what the row's cell says.
    void checkText_data() {
        QTest::addColumn<int>("pageCount"); // 0: a damaged file
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole article") << 12 << "1"
                                       << "12"
                                       << "12页";
        QTest::newRow("one-page preview of twelve") << 1 << "1"
                                                    << "12"
                                                    << "可能只有首页";
        QTest::newRow("three of twelve") << 3 << "101"
                                         << "112"
                                         << "页数不全（3/12页）";
        QTest::newRow("cover page added") << 13 << "1"
                                          << "12"
                                          << "13页";
        QTest::newRow("blank last page left out") << 11 << "1"
                                                  << "12"
                                                  << "11页";
        QTest::newRow("no page range") << 1 << ""
                                       << ""
                                       << "1页";
        QTest::newRow("pages no number") << 1 << "e1"
                                         << "e12"
                                         << "1页";
        QTest::newRow("two-page letter") << 1 << "5"
                                         << "6"
                                         << "1页";
        QTest::newRow("damaged") << 0 << "1"
                                 << "12"
                                 << "PDF无法打开";
    }
    void checkText() {
        QFETCH(int, pageCount);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, expected);
        const QString path = folder() + "article.pdf";
        if (pageCount > 0)
            makePdf(path, pageCount);
        else
            makeDamagedPdf(path);
        const QByteArray before = readAll(path);

        const PdfFacts facts = ReadPdfFacts(path);
        QVERIFY(facts.fileRead);
        QCOMPARE(facts.opened, pageCount > 0);
        QCOMPARE(facts.pageCount, pageCount);
        QCOMPARE(facts.size, before.size());
        QCOMPARE(facts.sha256,
                 QCryptographicHash::hash(before, QCryptographicHash::Sha256).toHex());
        QCOMPARE(PdfCheckText(facts, pages(first, last)), expected);
        QCOMPARE(IsCheckMark(expected), expected.startsWith("PDF") || expected.startsWith("可能") ||
                                            expected.startsWith("页数不全"));
        const ArticleRecord fromPdf = RecordFromPdf(facts);
        QCOMPARE(fromPdf.doi, pageCount > 0 ? Doi : QString());
        QCOMPARE(fromPdf.title, pageCount > 0 ? QStringLiteral("A study of catalysts") : QString());
        // Looking never changes the file.
        QCOMPARE(readAll(path), before);
    }

    void findDoi_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("doi");
        QTest::newRow("address") << "see https://doi.org/10.1016/J.X.2024.01.001."
                                 << "10.1016/j.x.2024.01.001";
        QTest::newRow("prefix") << "doi:10.1002/anie.202312345, received"
                                << "10.1002/anie.202312345";
        QTest::newRow("bracketed") << "(10.1016/S0021-9517(24)00123-4)"
                                   << "10.1016/s0021-9517(24)00123-4";
        QTest::newRow("none") << "Journal of Catalysis 430 (2024) 115321"
                              << "";
        QTest::newRow("first of two") << "10.1/x 10.1016/a.b"
                                      << "10.1016/a.b";
    }
    void findDoi() {
        QFETCH(QString, text);
        QFETCH(QString, doi);
        QCOMPARE(FindDoi(text), doi);
    }

    // A finished PDF row gets its check, the PDF fills what the page records
    // lack (never overwriting them), the file is remembered; a damaged file
    // and a preview stay finished and byte for byte, are counted apart, and
    // are what "需检查的PDF项" puts back, their marks gone.
    void finishedRowsAreCheckedAndMarked() {
        ArticleHistory history(t->values->keptLists());
        ArrivalChecks checks(*model, &history);
        makePdf(folder() + "whole.pdf", 12);
        makePdf(folder() + "preview.pdf", 1, "10.1016/j.preview.2024.1");
        makeDamagedPdf(folder() + "damaged.pdf");
        const QByteArray previewBytes = readAll(folder() + "preview.pdf");
        const QByteArray damagedBytes = readAll(folder() + "damaged.pdf");

        ArticleRecord fromPage = pages("1", "12");
        fromPage.title = QStringLiteral("标题来自页面");
        const int whole = placedRow(folder() + "whole.pdf", fromPage);
        ArticleRecord previewRecord = pages("1", "12");
        previewRecord.pii = QStringLiteral("S0021951724001234");
        const int preview = placedRow(folder() + "preview.pdf", previewRecord);
        const int damaged = placedRow(folder() + "damaged.pdf", pages("1", "12"));
        QTRY_VERIFY(checks.pending() == 0 && !row(damaged).check.isEmpty());

        QCOMPARE(row(whole).check, QStringLiteral("12页"));
        QCOMPARE(row(whole).record.title, QStringLiteral("标题来自页面"));
        QCOMPARE(row(whole).record.doi, Doi);
        QCOMPARE(row(preview).check, QStringLiteral("可能只有首页"));
        QCOMPARE(row(damaged).check, QStringLiteral("PDF无法打开"));
        for (int i : {whole, preview, damaged}) {
            QCOMPARE(row(i).state, ItemState::Finished);
            QCOMPARE(row(i).percent, QStringLiteral("100%"));
        }
        QCOMPARE(readAll(folder() + "preview.pdf"), previewBytes);
        QCOMPARE(readAll(folder() + "damaged.pdf"), damagedBytes);

        QCOMPARE(checks.markedRows(), 2);
        QCOMPARE(checks.summaryText(), QStringLiteral("需检查的PDF:2"));
        QVERIFY(history.standingCopy(Doi, {}).has_value());
        QCOMPARE(history.standingCopy({}, "S0021951724001234")->path, folder() + "preview.pdf");
        // The damaged file has neither DOI nor PII: nothing to know it by.
        QCOMPARE(history.placedFiles("10.1016/none", {}).size(), 0);

        QCOMPARE(RowsToRedownload(model->items(), RedownloadRule::CheckMarked),
                 (QList<int>{preview, damaged}));
        for (int i : RowsToRedownload(model->items(), RedownloadRule::CheckMarked))
            s->RequeueRow(i);
        QTRY_VERIFY(row(preview).check.isEmpty() && row(damaged).check.isEmpty());
        QCOMPARE(row(preview).state, ItemState::Waiting);
        QCOMPARE(row(whole).check, QStringLiteral("12页"));
        QCOMPARE(checks.markedRows(), 0);
    }

    // The history outlives the database's connection, the file decides:
    // untouched, or back with the same bytes, it stands; moved or changed,
    // it does not.
    void historyAcrossRestart() {
        QTemporaryDir data;
        const QString path = folder() + "kept.pdf";
        makePdf(path, 4);
        {
            KeptDatabase db;
            QVERIFY(db.open(data.path()));
            ArticleHistory history(db);
            const PdfFacts f = ReadPdfFacts(path);
            history.remember(
                {Doi.toUpper(), "s0021-9517(24)00123-4", path, f.size, f.modifiedNs, f.sha256});
        }
        KeptDatabase db;
        QVERIFY(db.open(data.path()));
        ArticleHistory history(db);
        QCOMPARE(history.placedFiles(Doi, {}).size(), 1);
        QCOMPARE(history.standingCopy({}, "S0021951724001234")->path, path);

        // The same bytes under a later time: the hash decides, and stands.
        touchLater(path);
        QVERIFY(history.standingCopy(Doi, {}).has_value());
        // Moved away: gone; put back: there again.
        QVERIFY(QFile::rename(path, path + ".moved"));
        QVERIFY(!history.standingCopy(Doi, {}).has_value());
        QVERIFY(QFile::rename(path + ".moved", path));
        QVERIFY(history.standingCopy(Doi, {}).has_value());
        // Changed in place, same size: the hash tells.
        QByteArray bytes = readAll(path);
        bytes[bytes.size() / 2] = char(bytes.at(bytes.size() / 2) ^ 0x20);
        writeFile(path, bytes);
        touchLater(path, 60);
        QVERIFY(!history.standingCopy(Doi, {}).has_value());
        // Shorter or longer: the size alone tells.
        writeFile(path, bytes + "x");
        QVERIFY(!history.standingCopy(Doi, {}).has_value());
    }

    // An article added again on another day into another folder is not
    // fetched: its row points at the first file. "仍然下载" fetches it into
    // its own folder; once the first file has been moved, it is fetched again.
    void articleAddedTwiceAcrossRunsAndFolders() {
        QTemporaryDir data;
        QTemporaryDir folderA;
        QTemporaryDir folderB;
        QTemporaryDir sources; // the fixture's folder goes with each new run
        const QString source = sources.path() + "/served.pdf";
        makePdf(source, 12);
        server->addFile("/a/paper.pdf", source, "application/pdf");
        server->addFile("/b/paper.pdf", source, "application/pdf");
        server->addFile("/c/paper.pdf", source, "application/pdf");
        const QString placedA = folderA.path() + "/paper.pdf";

        auto run = [&](const QString& path, const QString& into, const QString& doi,
                       const QString& pii) {
            KeptDatabase db;
            if (!db.open(data.path()))
                return -1;
            ArticleHistory history(db);
            ArrivalChecks checks(*model, &history);
            s->earlierCopyHook = [&history](DownloadItem& r) {
                return MarkEarlierCopy(r, history);
            };
            const int i = addRow(server->url(path), into + QLatin1Char('/'), doi, pii);
            s->startDownload();
            s->schedulerTick();
            waitForRow(i);
            const bool looked = QTest::qWaitFor([&checks] { return checks.pending() == 0; }, 20000);
            s->earlierCopyHook = nullptr;
            return looked ? i : -1;
        };

        // Day one, folder A.
        const int first = run("/a/paper.pdf", folderA.path(), Doi, {});
        QCOMPARE(row(first).state, ItemState::Finished);
        QCOMPARE(row(first).check, QStringLiteral("12页"));
        QCOMPARE(readAll(placedA), readAll(source));

        // Day two, a new list, folder B: the same article by its DOI.
        setUpRun();
        app().DownloadMode = 2;
        s->options.workerCount = 1;
        s->LastFinishTime = app().clock().now() - 10;
        const int again = run("/b/paper.pdf", folderB.path(), Doi.toUpper(), {});
        QVERIFY(again >= 0);
        QCOMPARE(row(again).state, ItemState::Finished);
        QCOMPARE(row(again).percent, QStringLiteral("已下载过"));
        QCOMPARE(row(again).check, QStringLiteral("已下载过"));
        QCOMPARE(RowFilePath(row(again)), placedA);
        QVERIFY(!row(again).placed);
        QCOMPARE(server->requestsFor("/b/paper.pdf").size(), 0);
        QVERIFY(QDir(folderB.path()).isEmpty());

        // "仍然下载": into folder B after all.
        {
            KeptDatabase db;
            QVERIFY(db.open(data.path()));
            ArticleHistory history(db);
            ArrivalChecks checks(*model, &history);
            s->earlierCopyHook = [&history](DownloadItem& r) {
                return MarkEarlierCopy(r, history);
            };
            DownloadItem it = row(again);
            QVERIFY(FetchAnyway(it));
            model->setFolder(again, it.folder);
            model->setEarlierCopyFacts(again, it.plannedFolder, it.fetchAnyway);
            model->setCheck(again, it.check);
            model->clearProgress(again);
            model->setState(again, it.state);
            s->startDownload();
            s->schedulerTick();
            waitForRow(again);
            QTRY_COMPARE_WITH_TIMEOUT(checks.pending(), 0, 20000);
            s->earlierCopyHook = nullptr;
        }
        QCOMPARE(server->requestsFor("/b/paper.pdf").size(), 1);
        QCOMPARE(row(again).state, ItemState::Finished);
        QCOMPARE(RowFilePath(row(again)), folderB.path() + "/paper.pdf");
        QCOMPARE(readAll(folderB.path() + "/paper.pdf"), readAll(source));

        // Both copies moved away: the next time the article is fetched again.
        QVERIFY(QFile::rename(placedA, sources.path() + "/elsewhere-a.pdf"));
        QVERIFY(QFile::rename(folderB.path() + "/paper.pdf", sources.path() + "/elsewhere-b.pdf"));
        const int third = run("/c/paper.pdf", folderA.path(), {}, "S0021951724009999");
        QCOMPARE(row(third).state, ItemState::Finished);
        QCOMPARE(row(third).percent, QStringLiteral("100%"));
        QCOMPARE(server->requestsFor("/c/paper.pdf").size(), 1);
    }

    // The notice at the end of a run waits for the last look and counts the
    // marked rows apart.
    void endOfRunNoticeCountsMarkedRows() {
        const QString source = folder() + "preview.pdf";
        makePdf(source, 1);
        server->addFile("/preview.pdf", source, "application/pdf");
        QTemporaryDir into;
        ArrivalChecks checks(*model, nullptr);
        s->checksPending = [&checks] { return checks.pending() > 0; };
        s->checkSummary = [&checks] { return checks.summaryText(); };
        const int i = addRow(server->url("/preview.pdf"), into.path() + "/", Doi);
        s->startDownload();
        s->schedulerTick();
        QVERIFY(waitForRow(i));
        QTRY_VERIFY(!t->notices->notices.isEmpty() || (s->housekeepingTick(), false));
        QCOMPARE(row(i).check, QStringLiteral("可能只有首页"));
        QCOMPARE(t->notices->notices.size(), 1);
        QVERIFY2(t->notices->notices.front().endsWith(" 需检查的PDF:1"),
                 qPrintable(t->notices->notices.front()));
        s->checksPending = nullptr;
        s->checkSummary = nullptr;
    }

    // The check mark and what an earlier copy needs are kept with the list.
    void marksKeptWithTheList() {
        QTemporaryDir data;
        {
            KeptDatabase db;
            QVERIFY(db.open(data.path()));
            DownloadListKeeper keeper(*model, db);
            keeper.restore();
            const int i = placedRow(folder() + "x.pdf", pages("1", "12"));
            model->setCheck(i, QStringLiteral("可能只有首页"));
            model->setEarlierCopyFacts(i, QStringLiteral("/planned/"), true);
            QVERIFY(db.writeNow());
        }
        DownloadListModel restored;
        KeptDatabase db;
        QVERIFY(db.open(data.path()));
        DownloadListKeeper keeper(restored, db);
        QCOMPARE(keeper.restore(), 1);
        QCOMPARE(restored.item(0).check, QStringLiteral("可能只有首页"));
        QCOMPARE(restored.item(0).plannedFolder, QStringLiteral("/planned/"));
        QVERIFY(restored.item(0).fetchAnyway);
        QCOMPARE(restored.headerData(DownloadListModel::ColCheck, Qt::Horizontal).toString(),
                 QStringLiteral("检查"));
    }

    // In the window: "选中需检查项" selects just the marked rows and
    // "需检查的PDF项" puts just those back; "仍然下载选中的已下载过项" sends a
    // row that points at an earlier copy to its own folder; a finished PDF's
    // first page shows beside the list.
    void windowCommands() {
        fFileDownload w;
        DownloadListModel& list = *w.list();
        makePdf(folder() + "whole.pdf", 12);
        makePdf(folder() + "preview.pdf", 1, {});
        makeDamagedPdf(folder() + "damaged.pdf");
        auto finished = [&](const QString& name) {
            const QString address = QStringLiteral("http://127.0.0.1:9/") + name;
            list.AddDownloadItem(address, name, "pdf", folder(), {});
            const int i = list.count() - 1;
            list.fillRecord(i, pages("1", "12"));
            list.setProgress(i, "1", "1", "100%");
            list.setPlaced(i, true);
            list.setState(i, ItemState::Finished);
            return i;
        };
        const int whole = finished("whole");
        const int preview = finished("preview");
        const int damaged = finished("damaged");
        QTRY_VERIFY(w.arrivalChecks()->pending() == 0 && !list.item(damaged).check.isEmpty());
        QCOMPARE(list.item(preview).check, QStringLiteral("可能只有首页"));

        DownloadItem earlier;
        earlier.key = "http://127.0.0.1:9/again";
        earlier.name = "whole";
        earlier.type = "pdf";
        earlier.folder = folder();
        earlier.record.doi = Doi;
        list.appendItem(earlier);
        const int again = list.count() - 1;
        DownloadItem marked = list.item(again);
        QVERIFY(MarkEarlierCopy(marked, *w.articleHistory()));
        QCOMPARE(RowFilePath(marked), folder() + "whole.pdf");
        list.setFolder(again, "/planned/elsewhere/");
        list.setEarlierCopyFacts(again, "/planned/", false);
        list.setCheck(again, marked.check);
        list.setProgress(again, marked.size, marked.received, marked.percent);
        list.setState(again, ItemState::Finished);

        w.menu选中需检查项->trigger();
        QList<int> selected;
        for (const QModelIndex& i : w.ListView3->selectionModel()->selectedRows())
            selected << i.row();
        std::sort(selected.begin(), selected.end());
        QCOMPARE(selected, (QList<int>{preview, damaged}));
        QCOMPARE(w.menu重新下载需检查项->parent(), w.menu重新下载);

        w.ListView3->selectionModel()->select(
            list.index(again, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        w.menu仍然下载选中项->trigger();
        QCOMPARE(list.item(again).state, ItemState::Waiting);
        QCOMPARE(list.item(again).folder, QStringLiteral("/planned/"));
        QVERIFY(list.item(again).fetchAnyway);
        QVERIFY(list.item(again).check.isEmpty());

        w.menu重新下载需检查项->trigger();
        QCOMPARE(list.item(preview).state, ItemState::Waiting);
        QCOMPARE(list.item(damaged).state, ItemState::Waiting);
        QCOMPARE(list.item(whole).state, ItemState::Finished);

        w.show();
        w.PreviewRow(whole, w.mapToGlobal(QPoint(10, 10)));
        QTRY_VERIFY(w.pdfPreview()->isVisible());
        QVERIFY(!w.pdfPreview()->pixmap().isNull());
        w.PreviewRow(preview, w.mapToGlobal(QPoint(10, 10))); // waiting again: no preview
        QVERIFY(!w.pdfPreview()->isVisible());
        w.Busy = false;
        list.clear();
        w.close();
    }

    // The first page is drawn at the size asked for, on another thread.
    void previewRendersOffTheUiThread() {
        makePdf(folder() + "p.pdf", 3);
        makeDamagedPdf(folder() + "d.pdf");
        FirstPageRenderer renderer;
        QSignalSpy spy(&renderer, &FirstPageRenderer::rendered);
        renderer.request(folder() + "p.pdf", QSize(600, 800));
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), folder() + "p.pdf");
        const QImage page = spy.at(0).at(1).value<QImage>();
        QVERIFY(!page.isNull());
        QVERIFY(page.width() <= 600 && page.height() <= 800);
        QVERIFY(page.width() >= 590 || page.height() >= 790);
        QVERIFY(!spy.at(0).at(2).toBool());
        // Not all white: the text is drawn.
        QVERIFY(hasDarkPixel(page));

        renderer.request(folder() + "d.pdf", QSize(600, 800));
        QTRY_COMPARE(spy.size(), 2);
        QVERIFY(spy.at(1).at(1).value<QImage>().isNull());
    }
};

QTEST_MAIN(TestPdfChecks)
#include "tst_pdfchecks.moc"
