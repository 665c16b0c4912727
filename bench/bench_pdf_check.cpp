// What looking inside arrived files costs.
//
// 1. A large PDF (default 300 pages, each with a picture that does not
//    compress, about 40 MB): the time the program takes to fetch it from the
//    loopback fixture server (mode two, one worker, through the scheduler),
//    against the look inside it that follows on another thread (the SHA-256
//    of the whole file, then the PDF library's open, page count, document
//    information and the text of the first page), and against the same file
//    coming at 2 MB/s (a publisher's usual pace). Medians of interleaved rounds.
// 2. The history of placed articles at 20,000 kept articles: one look-up of
//    an article (the indexed query, then the file's stat), for articles
//    known by DOI, by PII, and not known at all; the query plan.
//
//   bench_pdf_check [pages=300] [rounds=5] [articles=20000] [lookups=2000]

#include "FixtureServer.h"
#include "TestApp.h"
#include "download/ArrivalChecks.h"
#include "download/ArticleHistory.h"
#include "download/DownloadListModel.h"
#include "download/PdfCheck.h"
#include "download/Scheduler.h"
#include "platform/KeptDatabase.h"
#include "platform/PdfReader.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> v) {
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

void makeLargePdf(const QString& path, int pages) {
    QPdfWriter writer(path);
    writer.setTitle(QStringLiteral("A large article"));
    writer.setResolution(150);
    QPainter p(&writer);
    QRandomGenerator noise(7);
    QImage picture(360, 360, QImage::Format_RGB32);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        for (int y = 0; y < picture.height(); ++y) {
            auto* line = reinterpret_cast<quint32*>(picture.scanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                line[x] = noise.generate() | 0xff000000u;
        }
        p.drawText(QPointF(100, 100), QStringLiteral("Page %1").arg(page));
        if (page == 1)
            p.drawText(QPointF(100, 140),
                       QStringLiteral("https://doi.org/10.1016/j.big.2024.000001"));
        p.drawImage(QRectF(100, 200, 900, 900), picture);
    }
}

void checkAgainstTransfer(int pages, int rounds) {
    TestApp context;
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/source.pdf");
    makeLargePdf(source, pages);
    const qint64 bytes = QFileInfo(source).size();
    FixtureServer server;
    server.addFile(QStringLiteral("/large.pdf"), source, "application/pdf");
    app().DownloadMode = 2;
    app().MaxFileSizeMB = 100000;

    QList<double> transfer, look, hashOnly, pdfOnly;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir into;
        DownloadListModel model;
        Scheduler scheduler(model);
        scheduler.options.workerCount = 1;
        ArrivalChecks checks(model, nullptr);
        model.AddDownloadItem(server.url(QStringLiteral("/large.pdf?r=%1").arg(round)),
                              QStringLiteral("large"), QStringLiteral("pdf"),
                              into.path() + QLatin1Char('/'), QString());
        ArticleRecord r;
        r.firstPage = QStringLiteral("1");
        r.lastPage = QString::number(pages);
        model.fillRecord(0, r);
        QElapsedTimer e;
        e.start();
        scheduler.startDownload();
        scheduler.schedulerTick();
        Wait::until(
            [&] { return model.item(0).state != ItemState::Downloading && e.elapsed() > 50; }, 10);
        if (!model.item(0).placed) {
            std::printf("the transfer did not place the file (%s)\n",
                        qPrintable(model.item(0).size + QLatin1Char(' ') + model.item(0).percent));
            return;
        }
        transfer << double(e.nsecsElapsed()) / 1e6;
        e.restart();
        Wait::until([&] { return !model.item(0).check.isEmpty() && checks.pending() == 0; }, 1);
        look << double(e.nsecsElapsed()) / 1e6;
        if (round == 0)
            std::printf("check cell: %s\n", qPrintable(model.item(0).check));

        const QString placed = into.path() + QStringLiteral("/large.pdf");
        e.restart();
        FileSha256(placed);
        hashOnly << double(e.nsecsElapsed()) / 1e6;
        e.restart();
        const PdfFacts f = ReadPdfFacts(placed);
        pdfOnly << double(e.nsecsElapsed()) / 1e6 - hashOnly.back();
        if (f.pageCount != pages)
            std::printf("unexpected page count %d\n", f.pageCount);
    }
    const double t = median(transfer);
    const double l = median(look);
    const double slow = double(bytes) / (2.0 * 1024 * 1024) * 1000;
    std::printf("PDF of %d pages, %.1f MB, %d rounds (medians)\n", pages, double(bytes) / 1048576,
                rounds);
    std::printf("  transfer, loopback:           %9.1f ms\n", t);
    std::printf("  look after it (whole path):   %9.1f ms  = %5.1f %% of the loopback transfer\n",
                l, 100 * l / t);
    std::printf("    of which SHA-256:           %9.1f ms\n", median(hashOnly));
    std::printf("    of which the PDF library:   %9.1f ms\n", median(pdfOnly));
    std::printf("  transfer at 2 MB/s:           %9.1f ms  -> look = %5.2f %% of it\n", slow,
                100 * l / slow);
}

void lookups(int articles, int count) {
    TestApp context;
    QTemporaryDir data;
    QTemporaryDir files;
    KeptDatabase db;
    if (!db.open(data.path())) {
        std::printf("no database\n");
        return;
    }
    const QString file = files.path() + QStringLiteral("/a.pdf");
    {
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(100000, 'x'));
    }
    qint64 size = 0;
    qint64 ns = 0;
    FileStamp(file, size, ns);
    const QByteArray sha = FileSha256(file);
    ArticleHistory history(db);
    QElapsedTimer e;
    e.start();
    for (int k = 0; k < articles; ++k)
        history.remember({QStringLiteral("10.1016/j.x.2024.%1").arg(k),
                          QStringLiteral("S00219517240%1").arg(k, 5, 10, QLatin1Char('0')),
                          files.path() + QStringLiteral("/p%1.pdf").arg(k), size, ns, sha});
    // One more that stands, found by both.
    history.remember({QStringLiteral("10.1016/j.x.standing"), QStringLiteral("S0000000000001"),
                      file, size, ns, sha});
    db.writeNow();
    std::printf("\n%d kept articles written in %.1f ms\n", articles + 1,
                double(e.nsecsElapsed()) / 1e6);

    QSqlQuery plan(db.connection());
    plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT doi, pii, path FROM article_files WHERE "
                             "doi = '10.1/x' OR pii = 'S1' ORDER BY id DESC"));
    while (plan.next())
        std::printf("  plan: %s\n", qPrintable(plan.value(3).toString()));

    auto time = [&](const char* label, auto&& one) {
        QElapsedTimer t;
        t.start();
        int found = 0;
        for (int k = 0; k < count; ++k)
            found += one(k) ? 1 : 0;
        std::printf("  %-34s %8.1f us per row (%d found of %d)\n", label,
                    double(t.nsecsElapsed()) / 1e3 / count, found, count);
    };
    QRandomGenerator pick(3);
    time("by DOI (file gone since):", [&](int) {
        return history
            .standingCopy(QStringLiteral("10.1016/j.x.2024.%1").arg(pick.bounded(articles)), {})
            .has_value();
    });
    time("by PII (file gone since):", [&](int) {
        return history
            .standingCopy({}, QStringLiteral("S00219517240%1")
                                  .arg(pick.bounded(articles), 5, 10, QLatin1Char('0')))
            .has_value();
    });
    time("by DOI and PII, file stands:", [&](int) {
        return history
            .standingCopy(QStringLiteral("10.1016/j.x.standing"), QStringLiteral("S0000000000001"))
            .has_value();
    });
    time("not known:", [&](int k) {
        return history.standingCopy(QStringLiteral("10.9999/none.%1").arg(k), {}).has_value();
    });
}
} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const QStringList a = qapp.arguments();
    const int pages = a.size() > 1 ? a.at(1).toInt() : 300;
    const int rounds = a.size() > 2 ? a.at(2).toInt() : 5;
    const int articles = a.size() > 3 ? a.at(3).toInt() : 20000;
    const int count = a.size() > 4 ? a.at(4).toInt() : 2000;
    checkAgainstTransfer(pages, rounds);
    lookups(articles, count);
    return 0;
}
