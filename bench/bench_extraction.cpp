// Result-page extraction on long pages: 5,000 "SD1" items, 5,000 "SD2"
// blocks and 5,000 article-list items (the last design is tried only after
// the other two found nothing, so it is the slowest walk).
//
// Part one times the walk from a snapshot to rows. Part two builds the same
// pages as HTML, opens them in the embedded browser (headless) and times
// taking the snapshot: the reading script, the transfer and the parse
// (the parse is the only part that holds the user-interface thread; the
// script runs in the page's process while the thread keeps serving events).
//
// Usage: bench_extraction [items]   (default 5000)

#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "search/Extraction.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <ctime>
#include <functional>
#include <unistd.h>

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

SnapshotElement box(bool checked) {
    SnapshotElement e = el("INPUT");
    e.type = QStringLiteral("checkbox");
    e.checked = checked;
    return e;
}

QString title(int i) {
    return QStringLiteral("Article number %1 on the growth of graphene on copper foils").arg(i);
}

QString article(int i) {
    return QStringLiteral("https://www.sciencedirect.com/science/article/pii/S%1")
        .arg(i, 13, 10, QLatin1Char('0'));
}

void pageStart(SnapshotBuilder& b) {
    b.open(el("HTML"));
    b.add(el("HEAD"));
    b.open(el("BODY"));
    b.open(el("DIV", QStringLiteral("page")));
}

void pageEnd(SnapshotBuilder& b) {
    b.close();
    b.close();
    b.close();
}

DocumentSnapshot sd1Snapshot(int n) {
    SnapshotBuilder b(QStringLiteral("https://www.sciencedirect.com/search?qs=graphene"));
    pageStart(b);
    b.open(el("OL", QStringLiteral("results")));
    for (int i = 0; i < n; ++i) {
        b.open(el("LI", QStringLiteral("detail")));
        b.add(box(i % 2 == 0));
        b.add(el("SPAN", QStringLiteral("num"), QString::number(i + 1)));
        b.add(el("A", QStringLiteral("cLink artTitle"), title(i), article(i)));
        b.add(el("DIV", QStringLiteral("authors"), QStringLiteral("A. Author, B. Author")));
        b.add(el("A", QStringLiteral("cLink"), QStringLiteral("Abstract"), article(i)));
        b.add(el("A", QStringLiteral("cLink"), QStringLiteral(" PDF (123 K) "),
                 article(i) + QStringLiteral("/pdf?md5=1&amp;pid=2")));
        b.close();
    }
    b.close();
    pageEnd(b);
    return b.take();
}

DocumentSnapshot sd2Snapshot(int n) {
    SnapshotBuilder b(QStringLiteral("https://www.sciencedirect.com/search?qs=graphene"));
    pageStart(b);
    b.open(el("OL", QStringLiteral("search-result-wrapper")));
    for (int i = 0; i < n; ++i) {
        b.open(el("LI", QStringLiteral("ResultItem col-xs-24 push-m")));
        b.open(el("DIV", QStringLiteral("result-item-container u-padding-s-ver")));
        b.add(box(false));
        b.open(el("DIV", QStringLiteral("result-item-content")));
        b.open(el("H2"));
        b.add(el("A", QStringLiteral("result-list-title-link u-font-serif"), title(i), article(i)));
        b.close();
        b.open(el("OL", QStringLiteral("download-list")));
        b.open(el("LI"));
        b.add(el("A", QStringLiteral("download-link"), QStringLiteral("Download PDF"),
                 article(i) + QStringLiteral("/pdfft?md5=1&amp;pid=2")));
        b.close();
        b.close();
        b.close();
        b.close();
        b.close();
    }
    b.close();
    pageEnd(b);
    return b.take();
}

DocumentSnapshot sd3Snapshot(int n) {
    SnapshotBuilder b(QStringLiteral("https://www.sciencedirect.com/journal/x/vol/1"));
    pageStart(b);
    b.open(el("OL", QStringLiteral("js-article-list")));
    for (int i = 0; i < n; ++i) {
        b.open(el("LI", QStringLiteral("js-article-list-item article-item u-padding-xs-top")));
        b.add(box(true));
        b.open(el("H3"));
        b.add(el("A", QStringLiteral("anchor article-content-title"), title(i), article(i)));
        b.close();
        b.add(el("A", QStringLiteral("anchor js-abstract-link"), QStringLiteral("Abstract"), {}));
        b.add(el("A", QStringLiteral("anchor pdf-download"), QStringLiteral("Download PDF"),
                 article(i) + QStringLiteral("/pdfft")));
        b.close();
    }
    b.close();
    pageEnd(b);
    return b.take();
}

QString sd1Html(int n) {
    QString html;
    QTextStream out(&html);
    out << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>SD1</title></head><body>"
           "<div class=\"page\"><ol class=\"results\">\n";
    for (int i = 0; i < n; ++i) {
        out << "<li class=\"detail\">\n  <input type=\"checkbox\"" << (i % 2 == 0 ? " checked" : "")
            << "> <span class=\"num\">" << i + 1 << "</span>\n  <a class=\"cLink artTitle\" href=\""
            << article(i) << "\">" << title(i)
            << "\n  </a>\n  <div class=\"authors\">A. Author, B. Author</div>\n"
               "  <a class=\"cLink\" href=\""
            << article(i) << "\">Abstract</a> | <a class=\"cLink\" href=\"" << article(i)
            << "/pdf?md5=1&amp;amp;pid=2\"> PDF (123 K) </a>\n</li>\n";
    }
    out << "</ol></div></body></html>\n";
    return html;
}

QString sd2Html(int n) {
    QString html;
    QTextStream out(&html);
    out << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>SD2</title></head><body>"
           "<div class=\"page\"><ol class=\"search-result-wrapper\">\n";
    for (int i = 0; i < n; ++i) {
        out << "<li class=\"ResultItem col-xs-24 push-m\"><div class=\"result-item-container "
               "u-padding-s-ver\"><input type=\"checkbox\"><div class=\"result-item-content\">"
               "<h2><a class=\"result-list-title-link u-font-serif\" href=\""
            << article(i) << "\"><span>" << title(i)
            << "</span></a></h2><ol class=\"download-list\"><li><a class=\"download-link\" href=\""
            << article(i)
            << "/pdfft?md5=1&amp;amp;pid=2\">Download PDF</a></li></ol></div></div></li>\n";
    }
    out << "</ol></div></body></html>\n";
    return html;
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Best of a few runs, in milliseconds of real time; cpuMs gets the CPU time
// of this (the user-interface) thread in the same best run. On a busy machine
// the CPU time is the steadier figure.
double timeMs(const std::function<void()>& work, int runs = 5, double* cpuMs = nullptr) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        const double cpu0 = threadCpuMs();
        t.start();
        work();
        const double wall = t.nsecsElapsed() / 1e6;
        if (wall < best) {
            best = wall;
            if (cpuMs)
                *cpuMs = threadCpuMs() - cpu0;
        }
    }
    return best;
}

void walk(const char* name, const DocumentSnapshot& doc, int expected) {
    int offered = 0;
    double cpu = 0;
    const double ms =
        timeMs([&] { offered = ExtractResultPage(doc, QString(), false).offered(); }, 5, &cpu);
    std::printf("  %-24s %6d elements %5d rows  %7.2f ms (CPU %6.2f ms)%s\n", name, doc.size(),
                offered, ms, cpu, offered == expected ? "" : "  (unexpected row count)");
}

void throughBrowser(const char* name, const QString& html, int expected) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/page.html");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::printf("  %s: cannot write %s\n", name, qPrintable(path));
        return;
    }
    file.write(html.toUtf8());
    file.close();

    Browser browser;
    browser.resize(1000, 800);
    browser.show();
    QSignalSpy complete(&browser, &Browser::documentComplete);
    QElapsedTimer load;
    load.start();
    browser.navigate(QUrl::fromLocalFile(path));
    if (!complete.wait(120000) && complete.isEmpty()) {
        std::printf("  %s: the page did not load\n", name);
        return;
    }
    const double loadMs = load.nsecsElapsed() / 1e6;

    DocumentSnapshot doc;
    const double snapshotMs = timeMs([&] { doc = browser.snapshot(60000); }, 3);
    QElapsedTimer scriptOnly;
    const double scriptCpu0 = threadCpuMs();
    scriptOnly.start();
    const QVariant json = browser.evaluate(DocumentSnapshot::readScript(), 60000);
    const double scriptMs = scriptOnly.nsecsElapsed() / 1e6;
    const double scriptCpu = threadCpuMs() - scriptCpu0;
    const QString text = json.toString();
    double parseCpu = 0;
    const double parseMs = timeMs([&] { doc = DocumentSnapshot::parse(text); }, 3, &parseCpu);
    int offered = 0;
    double walkCpu = 0;
    const double walkMs =
        timeMs([&] { offered = ExtractResultPage(doc, {}, false).offered(); }, 5, &walkCpu);
    std::printf("  %s: %d elements, %d rows%s\n", name, doc.size(), offered,
                offered == expected ? "" : " (unexpected row count)");
    std::printf("    page load %.0f ms; snapshot %.1f ms = script and transfer %.1f ms"
                " (UI thread CPU %.1f ms)\n      + parse %.1f ms (CPU %.1f ms) of %.1f MB text\n",
                loadMs, snapshotMs, scriptMs, scriptCpu, parseMs, parseCpu,
                text.size() * 2 / 1048576.0);
    std::printf("    walk %.2f ms (CPU %.2f ms); UI thread held by parse + walk: %.1f ms"
                " (CPU %.1f ms)\n",
                walkMs, walkCpu, parseMs + walkMs, parseCpu + walkCpu);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int n = argc > 1 ? qMax(1, atoi(argv[1])) : 5000;

    std::printf("Extraction from snapshot to rows (best of 5), %d items per page:\n", n);
    walk("SD1 detail items", sd1Snapshot(n), n);
    walk("SD2 result blocks", sd2Snapshot(n), n);
    walk("SD2 article-list items", sd3Snapshot(n), n);

    QTemporaryDir storage;
    BrowserProfile::setStorageRoot(storage.path());
    std::printf("Through the embedded browser (snapshot: best of 3):\n");
    throughBrowser("SD1 detail items", sd1Html(n), n);
    throughBrowser("SD2 result blocks", sd2Html(n), n);
    return 0;
}
