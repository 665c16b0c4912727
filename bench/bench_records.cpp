// What collecting each article's record costs, against what fetching its
// file costs.
//
// Part one: result pages of n "SD2" blocks that carry a full record (type,
// journal, volume, date, pages, three authors, open access) walked from a
// snapshot to rows, with and without the record read (the walk without it is
// estimated by the same blocks stripped to title and link). Part two: the
// head of an article page (about 100 KB of HTML, the size of a real one) read
// for its citation_* tags, as the analysis does for every "SD2" row. The
// figures per row are set against a transfer of a 2 MB PDF at 2 MB/s, one
// second, which is quick for the site.
//
// Usage: bench_records [blocks]   (default 2000)

#include "download/RecordSources.h"
#include "search/Extraction.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <functional>

namespace {

SnapshotElement el(const char* tag, const QString& cls = {}, const QString& text = {},
                   const QString& href = {}) {
    SnapshotElement e;
    e.tag = QString::fromLatin1(tag);
    e.className = cls;
    e.text = text;
    e.href = href;
    return e;
}

// An element holding one text.
void leaf(SnapshotBuilder& b, SnapshotElement e, const QString& text) {
    b.open(std::move(e));
    b.addText(text);
    b.close();
}

DocumentSnapshot resultPage(int blocks, bool withRecord) {
    SnapshotBuilder b(QStringLiteral("https://www.sciencedirect.com/search?qs=x"));
    b.open(el("HTML"));
    b.open(el("BODY"));
    for (int i = 0; i < blocks; ++i) {
        const QString pii = QStringLiteral("S%1").arg(i, 16, 10, QLatin1Char('0'));
        const QString address =
            QStringLiteral("https://www.sciencedirect.com/science/article/pii/") + pii;
        b.open(el("DIV", QStringLiteral("result-item-content")));
        if (withRecord) {
            leaf(b, el("SPAN", QStringLiteral("article-type u-clr-grey8")),
                 QStringLiteral("Research article"));
            leaf(b, el("SPAN", QStringLiteral("access-label")), QStringLiteral("Open access"));
        }
        b.open(el("H2"));
        const QString title =
            QStringLiteral("Article %1 on graphene growth on copper foils").arg(i);
        leaf(b, el("A", QStringLiteral("result-list-title-link"), title, address), title);
        b.close();
        if (withRecord) {
            b.open(el("DIV", QStringLiteral("SubType hor")));
            leaf(b, el("A", QStringLiteral("subtype-srctitle-link"), QStringLiteral("Carbon")),
                 QStringLiteral("Carbon"));
            b.open(el("SPAN", QStringLiteral("srctitle-date-fields")));
            b.addText(QStringLiteral("Volume 48, 15 April 2010, Pages 1–9"));
            b.close();
            b.close();
            b.open(el("OL", QStringLiteral("Authors hor")));
            for (const char* name : {"A. Smith", "B. Jones", "C. Brown"}) {
                b.open(el("LI"));
                leaf(b, el("SPAN", QStringLiteral("author")), QString::fromLatin1(name));
                b.close();
            }
            b.close();
        }
        leaf(b,
             el("A", QStringLiteral("download-link"), QStringLiteral("View PDF"),
                address + QStringLiteral("/pdfft")),
             QStringLiteral("View PDF"));
        b.close();
    }
    b.close();
    b.close();
    return b.take();
}

QString articlePageHtml() {
    QString html = QStringLiteral(
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Graphene</title>"
        "<meta name=\"citation_title\" content=\"Graphene on copper &amp; nickel\">"
        "<meta name=\"citation_author\" content=\"Smith, Anna\">"
        "<meta name=\"citation_author\" content=\"张伟\">"
        "<meta name=\"citation_journal_title\" content=\"Carbon\">"
        "<meta name=\"citation_publication_date\" content=\"2024/03/15\">"
        "<meta name=\"citation_volume\" content=\"219\"><meta name=\"citation_firstpage\" "
        "content=\"118\"><meta name=\"citation_doi\" content=\"10.1016/j.carbon.2024.118123\">"
        "<link rel=\"canonical\" href=\"/science/article/pii/S0008622324000123\">");
    // Scripts and styles fill a real head; the body is most of the page.
    html += QStringLiteral("<script>") + QString(20000, QLatin1Char('x')) +
            QStringLiteral("</script></head><body>");
    while (html.size() < 100000)
        html += QStringLiteral("<p class=\"para\">Text of the article, sentence after sentence."
                               " <a href=\"#b1\">[1]</a></p>");
    return html + QStringLiteral("</body></html>");
}

double msOf(const std::function<void()>& work, int repeat) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < repeat; ++i)
        work();
    return double(t.nsecsElapsed()) / 1e6 / repeat;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int blocks = argc > 1 ? qMax(1, atoi(argv[1])) : 2000;
    const double transferMs = 1000.0;

    const DocumentSnapshot full = resultPage(blocks, true);
    const DocumentSnapshot bare = resultPage(blocks, false);
    int rows = 0;
    const double withMs = msOf([&] { rows = ExtractResultPage(full, {}, false).offered(); }, 3);
    const double bareMs = msOf([&] { ExtractResultPage(bare, {}, false); }, 3);
    std::printf("result page, %d blocks with records: %.1f ms (%d rows), %.1f us a row\n", blocks,
                withMs, rows, withMs * 1000.0 / blocks);
    std::printf("same blocks without records:        %.1f ms, %.1f us a row\n", bareMs,
                bareMs * 1000.0 / blocks);

    const QString page = articlePageHtml();
    ArticleRecord record;
    const double pageMs = msOf(
        [&] { record = RecordFromMetaTags(MetaTagsFromHtml(page, QStringLiteral("https://x/a"))); },
        50);
    std::printf("article page of %lld KB read for its record: %.3f ms (%s)\n",
                static_cast<long long>(page.size() / 1024), pageMs,
                record.doi.isEmpty() ? "no record!" : "record read");
    const double perRow = withMs / blocks + pageMs;
    std::printf("record per row, both sources: %.3f ms = %.4f%% of a %.0f ms transfer\n", perRow,
                perRow * 100.0 / transferMs, transferMs);
    return 0;
}
