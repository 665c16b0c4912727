#include "search/Extraction.h"

#include <QTest>

namespace {

const QString kPage = QStringLiteral("https://www.sciencedirect.com/search?qs=x");

SnapshotElement el(const QString& tag, const QString& cls = {}, const QString& text = {},
                   const QString& href = {}) {
    SnapshotElement e;
    e.tag = tag;
    e.className = cls;
    e.text = text;
    e.href = href;
    return e;
}

SnapshotElement checkBox(std::optional<bool> checked) {
    SnapshotElement e = el(QStringLiteral("input"));
    e.type = QStringLiteral("checkbox");
    e.checked = checked;
    return e;
}

SnapshotElement input(const QString& value) {
    SnapshotElement e = el(QStringLiteral("INPUT"));
    e.type = QStringLiteral("button");
    e.value = value;
    return e;
}

// <li class=cls><input/><a>title</a> ...links</li>, with the check box wrapped
// in a span when nested.
void addItem(SnapshotBuilder& b, const QString& cls, std::optional<bool> checked,
             const QString& title, const QVector<SnapshotElement>& links, bool withBox = true,
             bool nestedBox = false) {
    b.open(el(QStringLiteral("LI"), cls));
    if (withBox) {
        if (nestedBox)
            b.open(el(QStringLiteral("SPAN")));
        b.add(checkBox(checked));
        if (nestedBox)
            b.close();
    }
    b.add(el(QStringLiteral("A"), QStringLiteral("cLink"), title,
             QStringLiteral("https://www.sciencedirect.com/science/article/pii/") + title));
    for (const SnapshotElement& link : links)
        b.add(link);
    b.close();
}

void addBlock(SnapshotBuilder& b, const QString& cls, const QString& title,
              const QString& downloadClass, const QString& href) {
    b.open(el(QStringLiteral("DIV"), cls));
    b.open(el(QStringLiteral("H2")));
    b.add(el(QStringLiteral("A"), QStringLiteral("result-list-title-link"), title,
             QStringLiteral("https://www.sciencedirect.com/science/article/pii/") + title));
    b.close();
    b.add(checkBox(false));
    if (!downloadClass.isNull())
        b.add(el(QStringLiteral("A"), downloadClass, QStringLiteral("Download PDF"), href));
    b.close();
}

DocumentSnapshot blankPage() {
    SnapshotBuilder b(QStringLiteral("about:blank"));
    b.open(el(QStringLiteral("HTML")));
    b.add(el(QStringLiteral("HEAD")));
    b.add(el(QStringLiteral("BODY")));
    b.close();
    return b.take();
}

// The reading script's text for a document: fields written with "|" between
// them (tag|class|id|name|type|value|checked|text|href|parent).
QString wire(const QString& url, const QStringList& rows) {
    QString text = QStringLiteral("VSNAP1") + QChar(0x1e) + url;
    for (const QString& row : rows)
        text += QChar(0x1e) + QString(row).replace(QLatin1Char('|'), QChar(0x1f));
    return text;
}

QStringList titles(const ExtractionResult& r) {
    QStringList out;
    for (const ExtractedArticle& a : r.articles)
        out << a.title;
    return out;
}

} // namespace

class TestExtraction : public QObject {
    Q_OBJECT
private slots:
    // ---- design 1: <li class="detail"> ----

    void detailItemClass_data() {
        QTest::addColumn<QString>("cls");
        QTest::addColumn<bool>("taken");
        QTest::newRow("exact") << "detail" << true;
        QTest::newRow("other case") << "Detail" << true;
        QTest::newRow("surrounding white space") << " detail\t" << true;
        QTest::newRow("among other classes") << "odd detail u-pad" << true;
        QTest::newRow("longer word") << "details" << false;
        QTest::newRow("longer word among others") << "odd detail-x" << false;
        QTest::newRow("empty") << "" << false;
    }
    void detailItemClass() {
        QFETCH(QString, cls);
        QFETCH(bool, taken);
        SnapshotBuilder b(kPage);
        addItem(b, cls, true, QStringLiteral("T"),
                {el(QStringLiteral("A"), QStringLiteral("clink"), QStringLiteral("PDF"),
                    QStringLiteral("https://x/pdf"))});
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        QCOMPARE(r.offered(), taken ? 1 : 0);
        QCOMPARE(r.pass, taken ? 1 : 0);
    }

    void detailLinkChoice_data() {
        QTest::addColumn<QStringList>("classes");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("hrefs");
        QTest::addColumn<QString>("link"); // empty: the item is skipped
        QTest::newRow("pdf with size and spaces")
            << QStringList{"cLink"} << QStringList{"  PDF (123 K)  "} << QStringList{"https://x/1"}
            << "https://x/1";
        QTest::newRow("class trimmed, any case") << QStringList{" CLINK "} << QStringList{"pdf"}
                                                 << QStringList{"https://x/1"} << "https://x/1";
        QTest::newRow("text must begin with pdf")
            << QStringList{"cLink"} << QStringList{"Purchase PDF"} << QStringList{"https://x/1"}
            << "";
        QTest::newRow("clink among other classes")
            << QStringList{"anchor cLink related", "cLink"} << QStringList{"PDF", "PDF (2 K)"}
            << QStringList{"https://x/related", "https://x/2"} << "https://x/related";
        QTest::newRow("class must list clink itself")
            << QStringList{"cLinks", "cLink-x", "cLink"} << QStringList{"PDF", "PDF", "PDF (2 K)"}
            << QStringList{"https://x/s", "https://x/x", "https://x/2"} << "https://x/2";
        QTest::newRow("first match wins")
            << QStringList{"cLink", "cLink"} << QStringList{"Abstract", "PDF"}
            << QStringList{"https://x/abs", "https://x/pdf"} << "https://x/pdf";
        QTest::newRow("first matching link with no address ends the search")
            << QStringList{"cLink", "cLink"} << QStringList{"PDF", "PDF (mirror)"}
            << QStringList{"", "https://x/mirror"} << "";
        QTest::newRow("address trimmed, &amp; in any case")
            << QStringList{"cLink"} << QStringList{"PDF"}
            << QStringList{"  https://x/a?b=1&amp;c=2&AMP;d=3  "} << "https://x/a?b=1&c=2&d=3";
        QTest::newRow("double escape keeps one level")
            << QStringList{"cLink"} << QStringList{"PDF"}
            << QStringList{"https://x/a?b=1&amp;amp;c=2"} << "https://x/a?b=1&amp;c=2";
        QTest::newRow("no candidate link") << QStringList{} << QStringList{} << QStringList{} << "";
    }
    void detailLinkChoice() {
        QFETCH(QStringList, classes);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, hrefs);
        QFETCH(QString, link);
        QVector<SnapshotElement> links;
        for (int i = 0; i < classes.size(); ++i)
            links << el(QStringLiteral("A"), classes[i], texts[i], hrefs[i]);
        SnapshotBuilder b(kPage);
        addItem(b, QStringLiteral("detail"), false, QStringLiteral("Title"), links);
        const ExtractionResult r = ExtractResultPage(b.take(), QStringLiteral("/save/"), false);
        if (link.isEmpty()) {
            QCOMPARE(r.offered(), 0);
            return;
        }
        QCOMPARE(r.offered(), 1);
        const ExtractedArticle& a = r.articles.first();
        QCOMPARE(a.link, link);
        QCOMPARE(a.title, QStringLiteral("Title"));
        QCOMPARE(a.pageAddress, kPage);
        QCOMPARE(a.type, QStringLiteral("pdf"));
        QCOMPARE(a.saveFolder, QStringLiteral("/save/"));
        QCOMPARE(a.layout, QStringLiteral("SD1"));
    }

    void firstLinkIsNeverTheAddress() {
        // The PDF link standing first is the title; no later link qualifies.
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("LI"), QStringLiteral("detail")));
        b.add(checkBox(true));
        b.add(el(QStringLiteral("A"), QStringLiteral("cLink"), QStringLiteral("PDF (50 K)"),
                 QStringLiteral("https://x/pdf")));
        b.add(el(QStringLiteral("A"), QStringLiteral("cLink"), QStringLiteral("Carbon dots"),
                 QStringLiteral("https://x/article")));
        b.close();
        QCOMPARE(ExtractResultPage(b.take(), {}, false).offered(), 0);
    }

    void titleTrimmedAndRequired_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::newRow("spaces") << "  Graphene growth  "
                                << "Graphene growth";
        QTest::newRow("line breaks and tabs at the ends") << "\n\tGraphene\n"
                                                          << "Graphene";
        QTest::newRow("inner breaks kept") << "Graphene\ngrowth"
                                           << "Graphene\ngrowth";
        QTest::newRow("blank") << "   "
                               << "";
    }
    void titleTrimmedAndRequired() {
        QFETCH(QString, text);
        QFETCH(QString, title);
        SnapshotBuilder b(kPage);
        addItem(b, QStringLiteral("detail"), true, text,
                {el(QStringLiteral("A"), QStringLiteral("cLink"), QStringLiteral("PDF"),
                    QStringLiteral("https://x/pdf"))});
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        if (title.isEmpty()) {
            QCOMPARE(r.offered(), 0);
            return;
        }
        QCOMPARE(titles(r), QStringList{title});
    }

    void itemWithoutCheckBoxIsSkipped() {
        for (const QString& cls :
             {QStringLiteral("detail"), QStringLiteral("js-article-list-item")}) {
            SnapshotBuilder b(kPage);
            addItem(b, cls, true, QStringLiteral("T"),
                    {el(QStringLiteral("A"), QStringLiteral("cLink pdf-download"),
                        QStringLiteral("PDF"), QStringLiteral("https://x/pdf"))},
                    /*withBox=*/false);
            QCOMPARE(ExtractResultPage(b.take(), {}, false).offered(), 0);
        }
    }

    void onlyTickedItems_data() {
        QTest::addColumn<QString>("itemClass");
        QTest::addColumn<QString>("linkClass");
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<bool>("onlyTicked");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"ticked", "unticked", "unknown", "nested ticked", "nested unticked"};
        const QStringList ticked{"ticked", "unknown", "nested ticked"};
        QTest::newRow("detail, all") << "detail"
                                     << "cLink"
                                     << "PDF" << false << all;
        QTest::newRow("detail, ticked only") << "detail"
                                             << "cLink"
                                             << "PDF" << true << ticked;
        QTest::newRow("article list, all") << "js-article-list-item article-item"
                                           << "anchor pdf-download"
                                           << "Download PDF" << false << all;
        QTest::newRow("article list, ticked only") << "js-article-list-item article-item"
                                                   << "anchor pdf-download"
                                                   << "Download PDF" << true << ticked;
    }
    void onlyTickedItems() {
        QFETCH(QString, itemClass);
        QFETCH(QString, linkClass);
        QFETCH(QString, linkText);
        QFETCH(bool, onlyTicked);
        QFETCH(QStringList, expected);
        SnapshotBuilder b(kPage);
        const auto link = [&](const QString& t) {
            return QVector<SnapshotElement>{
                el(QStringLiteral("A"), linkClass, linkText, QStringLiteral("https://x/") + t)};
        };
        addItem(b, itemClass, true, QStringLiteral("ticked"), link(QStringLiteral("1")));
        addItem(b, itemClass, false, QStringLiteral("unticked"), link(QStringLiteral("2")));
        addItem(b, itemClass, std::nullopt, QStringLiteral("unknown"), link(QStringLiteral("3")));
        addItem(b, itemClass, true, QStringLiteral("nested ticked"), link(QStringLiteral("4")),
                true, true);
        addItem(b, itemClass, false, QStringLiteral("nested unticked"), link(QStringLiteral("5")),
                true, true);
        QCOMPARE(titles(ExtractResultPage(b.take(), {}, onlyTicked)), expected);
    }

    void onlyTheFirstCheckBoxCounts() {
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("LI"), QStringLiteral("detail")));
        b.add(checkBox(false));
        b.add(checkBox(true));
        b.add(el(QStringLiteral("A"), {}, QStringLiteral("T"), QStringLiteral("https://x/t")));
        b.add(el(QStringLiteral("A"), QStringLiteral("clink"), QStringLiteral("PDF"),
                 QStringLiteral("https://x/pdf")));
        b.close();
        QCOMPARE(ExtractResultPage(b.take(), {}, true).offered(), 0);
    }

    // ---- design 2: result blocks ----

    void resultBlocks_data() {
        QTest::addColumn<QString>("blockClass");
        QTest::addColumn<QString>("downloadClass");
        QTest::addColumn<bool>("taken");
        QTest::newRow("content block") << "result-item-content"
                                       << "download-link" << true;
        QTest::newRow("content block, trimmed, any case") << "  Result-Item-Content "
                                                          << " Download-Link " << true;
        QTest::newRow("content class among others") << "result-item-content wide"
                                                    << "download-link" << true;
        QTest::newRow("download class among others, the site's markup")
            << "result-item-content"
            << "anchor download-link u-font-sans" << true;
        QTest::newRow("classes separated by tabs and line breaks")
            << "wide\tresult-item-content"
            << "anchor\ndownload-link" << true;
        QTest::newRow("longer download class") << "result-item-content"
                                               << "download-link-x" << false;
        QTest::newRow("longer content class") << "result-item-content-x"
                                              << "download-link" << false;
        QTest::newRow("no download link") << "result-item-content" << QString() << false;
        QTest::newRow("container among other classes") << "ResultItem RESULT-ITEM-CONTAINER u-pad"
                                                       << "download-link" << true;
    }
    void resultBlocks() {
        QFETCH(QString, blockClass);
        QFETCH(QString, downloadClass);
        QFETCH(bool, taken);
        SnapshotBuilder b(kPage);
        addBlock(b, blockClass, QStringLiteral("Deep learning"), downloadClass,
                 QStringLiteral(" https://x/pdfft?md5=1&amp;pid=2 "));
        const ExtractionResult r = ExtractResultPage(b.take(), QStringLiteral("f"), true);
        QCOMPARE(r.offered(), taken ? 1 : 0);
        if (taken) {
            QCOMPARE(r.pass, 2);
            const ExtractedArticle& a = r.articles.first();
            QCOMPARE(a.title, QStringLiteral("Deep learning"));
            QCOMPARE(a.link, QStringLiteral("https://x/pdfft?md5=1&pid=2"));
            QCOMPARE(a.layout, QStringLiteral("SD2"));
            QCOMPARE(a.saveFolder, QStringLiteral("f"));
        }
    }

    void containersOnlyWithoutContentBlocks() {
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("BODY")));
        b.open(el(QStringLiteral("DIV"), QStringLiteral("result-item-container")));
        addBlock(b, QStringLiteral("result-item-content"), QStringLiteral("Inner"),
                 QStringLiteral("download-link"), QStringLiteral("https://x/inner"));
        b.close();
        addBlock(b, QStringLiteral("result-item-container"), QStringLiteral("Outer only"),
                 QStringLiteral("download-link"), QStringLiteral("https://x/outer"));
        b.close();
        // Content blocks exist, so the containers are not looked at.
        QCOMPARE(titles(ExtractResultPage(b.take(), {}, false)), QStringList{"Inner"});
    }

    void blockWithSeveralDownloadsTakesTheFirst() {
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("DIV"), QStringLiteral("result-item-content")));
        b.add(el(QStringLiteral("A"), {}, QStringLiteral("Title"), QStringLiteral("https://x/t")));
        b.add(el(QStringLiteral("A"), QStringLiteral("download-link"), QStringLiteral("Get"),
                 QStringLiteral("https://x/first")));
        b.add(el(QStringLiteral("A"), QStringLiteral("download-link"), QStringLiteral("PDF"),
                 QStringLiteral("https://x/second")));
        b.close();
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        QCOMPARE(r.offered(), 1);
        QCOMPARE(r.articles.first().link, QStringLiteral("https://x/first"));
    }

    // ---- design 3: article-list items ----

    void articleListLink_data() {
        QTest::addColumn<QString>("itemClass");
        QTest::addColumn<QString>("linkClass");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::newRow("download pdf") << "js-article-list-item"
                                      << "anchor pdf-download"
                                      << "Download PDF" << true;
        QTest::newRow("spaces and case") << "JS-Article-List-Item x"
                                         << " PDF-Download-link "
                                         << "  DOWNLOAD pdf " << true;
        QTest::newRow("size in the text") << "js-article-list-item"
                                          << "pdf-download"
                                          << "Download PDF (1 MB)" << false;
        QTest::newRow("other class") << "js-article-list-item"
                                     << "anchor"
                                     << "Download PDF" << false;
        QTest::newRow("other item") << "article-item"
                                    << "pdf-download"
                                    << "Download PDF" << false;
    }
    void articleListLink() {
        QFETCH(QString, itemClass);
        QFETCH(QString, linkClass);
        QFETCH(QString, text);
        QFETCH(bool, taken);
        SnapshotBuilder b(kPage);
        addItem(b, itemClass, false, QStringLiteral("Polymers"),
                {el(QStringLiteral("A"), QStringLiteral("js-abstract-link"),
                    QStringLiteral("Abstract"), QStringLiteral("https://x/abs")),
                 el(QStringLiteral("A"), linkClass, text,
                    QStringLiteral("https://x/pdfft?a=1&amp;b=2"))});
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        QCOMPARE(r.offered(), taken ? 1 : 0);
        if (taken) {
            QCOMPARE(r.pass, 3);
            QCOMPARE(r.articles.first().link, QStringLiteral("https://x/pdfft?a=1&b=2"));
            QCOMPARE(r.articles.first().layout, QStringLiteral("SD2"));
        }
    }

    // ---- order of the designs ----

    void firstDesignThatYieldsWins_data() {
        QTest::addColumn<bool>("detail");
        QTest::addColumn<bool>("block");
        QTest::addColumn<bool>("article");
        QTest::addColumn<int>("pass");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all three") << true << true << true << 1 << QStringList{"D1", "D2"};
        QTest::newRow("blocks and articles") << false << true << true << 2 << QStringList{"B"};
        QTest::newRow("articles only") << false << false << true << 3 << QStringList{"A"};
        QTest::newRow("none") << false << false << false << 0 << QStringList{};
    }
    void firstDesignThatYieldsWins() {
        QFETCH(bool, detail);
        QFETCH(bool, block);
        QFETCH(bool, article);
        QFETCH(int, pass);
        QFETCH(QStringList, expected);
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("BODY")));
        const QVector<SnapshotElement> pdf{el(QStringLiteral("A"), QStringLiteral("clink"),
                                              QStringLiteral("PDF"),
                                              QStringLiteral("https://x/d"))};
        if (detail)
            addItem(b, QStringLiteral("detail"), true, QStringLiteral("D1"), pdf);
        if (article)
            addItem(b, QStringLiteral("js-article-list-item"), true, QStringLiteral("A"),
                    {el(QStringLiteral("A"), QStringLiteral("pdf-download"),
                        QStringLiteral("Download PDF"), QStringLiteral("https://x/a"))});
        if (block)
            addBlock(b, QStringLiteral("result-item-content"), QStringLiteral("B"),
                     QStringLiteral("download-link"), QStringLiteral("https://x/b"));
        if (detail)
            addItem(b, QStringLiteral("detail"), true, QStringLiteral("D2"),
                    {el(QStringLiteral("A"), QStringLiteral("clink"), QStringLiteral("PDF"),
                        QStringLiteral("https://x/d2"))});
        b.close();
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        QCOMPARE(r.pass, pass);
        QCOMPARE(titles(r), expected);
        for (const ExtractedArticle& a : r.articles)
            QCOMPARE(a.layout, pass == 1 ? QStringLiteral("SD1") : QStringLiteral("SD2"));
    }

    void duplicatesAreStillOffered() {
        // The list refuses repeated links; the offered count includes them.
        SnapshotBuilder b(kPage);
        for (int i = 0; i < 2; ++i)
            addItem(b, QStringLiteral("detail"), true, QStringLiteral("Same"),
                    {el(QStringLiteral("A"), QStringLiteral("clink"), QStringLiteral("PDF"),
                        QStringLiteral("https://x/same"))});
        QCOMPARE(ExtractResultPage(b.take(), {}, false).offered(), 2);
    }

    void noDocumentAndBlankPage() {
        const ExtractionResult none = ExtractResultPage(DocumentSnapshot(), {}, false);
        QVERIFY(!none.documentFound);
        QCOMPARE(none.offered(), 0);
        const ExtractionResult blank = ExtractResultPage(blankPage(), {}, false);
        QVERIFY(blank.documentFound);
        QCOMPARE(blank.offered(), 0);
        QCOMPARE(blank.pass, 0);
    }

    // ---- FindElementsByClass ----

    void findElementsByClass_data() {
        QTest::addColumn<int>("root"); // -1 document, else index of the outer div
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("cls");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<QStringList>("expected"); // texts of the found elements
        QTest::newRow("exact: one of the listed names, any case")
            << -1 << "A"
            << "download-link" << true << QStringList{"a1", "a2", "a3"};
        QTest::newRow("exact: part of a name is no match") << -1 << "A"
                                                           << "download" << true << QStringList{};
        QTest::newRow("exact class argument is not trimmed")
            << -1 << "A"
            << " download-link" << true << QStringList{};
        QTest::newRow("contained, any case")
            << -1 << "a"
            << "DOWNLOAD" << false << QStringList{"a1", "a2", "a3", "a4"};
        QTest::newRow("tag any case") << -1 << "div"
                                      << "outer" << true << QStringList{"outer"};
        QTest::newRow("under a root, root excluded") << 0 << "DIV"
                                                     << "" << false << QStringList{"inner"};
        QTest::newRow("under a root") << 0 << "A"
                                      << "download" << false << QStringList{"a1", "a2"};
        QTest::newRow("missing root") << 99 << "A"
                                      << "download" << false << QStringList{};
        QTest::newRow("no such tag") << -1 << "LI"
                                     << "" << false << QStringList{};
    }
    void findElementsByClass() {
        QFETCH(int, root);
        QFETCH(QString, tag);
        QFETCH(QString, cls);
        QFETCH(bool, exact);
        QFETCH(QStringList, expected);
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("DIV"), QStringLiteral("outer"), QStringLiteral("outer")));
        b.add(el(QStringLiteral("A"), QStringLiteral("Download-Link"), QStringLiteral("a1")));
        b.open(el(QStringLiteral("DIV"), QStringLiteral("inner x"), QStringLiteral("inner")));
        b.add(el(QStringLiteral("A"), QStringLiteral("  download-link  "), QStringLiteral("a2")));
        b.close();
        b.close();
        b.add(el(QStringLiteral("A"), QStringLiteral("download-link pdf"), QStringLiteral("a3")));
        b.add(el(QStringLiteral("A"), QStringLiteral("xdownloadx"), QStringLiteral("a4")));
        const DocumentSnapshot doc = b.take();
        QStringList found;
        for (int i : FindElementsByClass(doc, root, tag, cls, exact))
            found << doc.at(i).text;
        QCOMPARE(found, expected);
    }

    // ---- the next-page control ----

    void nextPageControl_data() {
        QTest::addColumn<QStringList>("inputs"); // input values, in order
        QTest::addColumn<QStringList>("linkTexts");
        QTest::addColumn<QStringList>("linkHrefs");
        QTest::addColumn<QString>("expected"); // "input:<value>", "link:<href>" or ""
        QTest::newRow("input next >>") << QStringList{"<< Previous", " Next >> "} << QStringList{}
                                       << QStringList{} << "input: Next >> ";
        QTest::newRow("input next") << QStringList{"NEXT"} << QStringList{"next"}
                                    << QStringList{"https://x/?offset=25"} << "input:NEXT";
        QTest::newRow("inputs before links") << QStringList{"next"} << QStringList{"next"}
                                             << QStringList{"https://x/?offset=1"} << "input:next";
        QTest::newRow("link with offset")
            << QStringList{"Next page"} << QStringList{"2", "  Next "}
            << QStringList{"https://x/?OFFSET=25", "https://x/?Offset=25"}
            << "link:https://x/?Offset=25";
        QTest::newRow("link without offset")
            << QStringList{} << QStringList{"next"} << QStringList{"https://x/?page=2"} << "";
        QTest::newRow("link text must be next")
            << QStringList{} << QStringList{"next >"} << QStringList{"https://x/?offset=2"} << "";
        QTest::newRow("none") << QStringList{} << QStringList{} << QStringList{} << "";
    }
    void nextPageControl() {
        QFETCH(QStringList, inputs);
        QFETCH(QStringList, linkTexts);
        QFETCH(QStringList, linkHrefs);
        QFETCH(QString, expected);
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("BODY")));
        for (int i = 0; i < linkTexts.size(); ++i)
            b.add(el(QStringLiteral("A"), {}, linkTexts[i], linkHrefs[i]));
        for (const QString& v : inputs)
            b.add(input(v));
        b.close();
        const DocumentSnapshot doc = b.take();
        const int found = FindNextPageControl(doc);
        if (expected.isEmpty()) {
            QCOMPARE(found, -1);
            return;
        }
        QVERIFY(found >= 0);
        const SnapshotElement& e = doc.at(found);
        QCOMPARE(e.tag == QLatin1String("INPUT") ? QStringLiteral("input:") + e.value
                                                 : QStringLiteral("link:") + e.href,
                 expected);
    }

    // ---- reading the script's text ----

    void snapshotText() {
        const DocumentSnapshot doc = DocumentSnapshot::parse(
            wire(QStringLiteral("file:///p.html"),
                 {"HTML|||||||||", "BODY|||||||||0", "li|detail|i1||||| T PDF||1",
                  "INPUT|||art|checkbox|on|1|||2", "A|cLink||||||T|https://x/t|2",
                  "A|cLink||||||PDF|https://x/p|2", "P||||||0|after||1", "SPAN||||||||bad parent|9",
                  "bad row", "DIV|too|many||||||||3|x"}));
        QVERIFY(doc.present);
        QCOMPARE(doc.url, QStringLiteral("file:///p.html"));
        QCOMPARE(doc.size(), 10);
        QCOMPARE(doc.at(2).tag, QStringLiteral("LI"));
        QCOMPARE(doc.at(2).className, QStringLiteral("detail"));
        QCOMPARE(doc.at(2).text, QStringLiteral(" T PDF"));
        QCOMPARE(doc.at(2).end, 6);
        QCOMPARE(doc.at(0).end, 7);
        QCOMPARE(doc.at(3).name, QStringLiteral("art"));
        QCOMPARE(doc.at(3).type, QStringLiteral("checkbox"));
        QCOMPARE(doc.at(3).value, QStringLiteral("on"));
        QCOMPARE(doc.at(3).checked, std::optional<bool>(true));
        QCOMPARE(doc.at(6).checked, std::optional<bool>(false));
        QVERIFY(!doc.at(4).checked.has_value());
        QCOMPARE(doc.at(5).href, QStringLiteral("https://x/p"));
        QCOMPARE(doc.at(7).parent, -1); // a parent after the element is cut
        QCOMPARE(doc.at(8).tag, QString());
        QCOMPARE(doc.at(9).tag, QString());
        QCOMPARE(doc.elementById(QStringLiteral("i1")), 2);
        QCOMPARE(doc.elementsByTag(2, QStringLiteral("a")), (QVector<int>{4, 5}));

        const ExtractionResult r = ExtractResultPage(doc, {}, true);
        QCOMPARE(r.offered(), 1);
        QCOMPARE(r.articles.first().pageAddress, QStringLiteral("file:///p.html"));
        QCOMPARE(r.articles.first().link, QStringLiteral("https://x/p"));
    }

    // The texts and the head's meta tags follow the elements; a text record
    // that names no element, or comes out of order, is left out.
    void snapshotSections() {
        const QChar group(0x1d);
        const QChar record(0x1e);
        const auto rec = [](const char* fields) {
            return QString::fromUtf8(fields).replace(QLatin1Char('|'), QChar(0x1f));
        };
        const QString text =
            wire(QStringLiteral("u"), {"HTML|||||||||", "BODY|||||||||0", "DIV|block||||||||1",
                                       "I|||||||||2", "SPAN|||||||||2"}) +
            group + QLatin1Char('T') + record + rec("3|3|Carbon") + record +
            rec("2|3|,  Volume 48 ") + record + rec("4|4|April 2010") + record +
            rec("9|9|nowhere") + record + rec("2|1|out of order") + record + rec("bad") + group +
            QLatin1Char('M') + record + rec("citation_title||A & B") + record +
            rec("|og:title|Other") + record + rec("too|few");
        const DocumentSnapshot doc = DocumentSnapshot::parse(text);
        QVERIFY(doc.present);
        QCOMPARE(doc.size(), 5);
        QCOMPARE(doc.texts.size(), 3);
        QCOMPARE(doc.textOf(2), QStringLiteral("Carbon, Volume 48 April 2010"));
        QCOMPARE(doc.textOf(3), QStringLiteral("Carbon"));
        QCOMPARE(doc.textOf(0), QStringLiteral("Carbon, Volume 48 April 2010"));
        QCOMPARE(doc.textOf(99), QString());
        QCOMPARE(doc.meta.size(), 2);
        QCOMPARE(doc.metaContents(QStringLiteral("CITATION_TITLE")), QStringList{"A & B"});
        QCOMPARE(doc.metaContents(QStringLiteral("og:title")), QStringList{"Other"});
        // A result block built by hand reads the same way.
        SnapshotBuilder b(kPage);
        b.open(el(QStringLiteral("DIV"), QStringLiteral("result-item-content")));
        b.add(el(QStringLiteral("A"), {}, QStringLiteral("T"),
                 QStringLiteral("https://x/science/article/pii/S0000000000000001")));
        b.addText(QStringLiteral("T"));
        b.open(el(QStringLiteral("DIV"), QStringLiteral("author-list")));
        b.addText(QStringLiteral("A. One and B. Two"));
        b.close();
        b.add(el(QStringLiteral("A"), QStringLiteral("download-link"), QStringLiteral("PDF"),
                 QStringLiteral("https://x/p.pdf")));
        b.close();
        const ExtractionResult r = ExtractResultPage(b.take(), {}, false);
        QCOMPARE(r.offered(), 1);
        QCOMPARE(r.articles.first().record.authors, (QStringList{"A. One", "B. Two"}));
        QCOMPARE(r.articles.first().record.pii, QStringLiteral("S0000000000000001"));
    }

    void snapshotTextMalformed_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("json") << QStringLiteral("{\"elements\":[]}");
        QTest::newRow("magic only") << QStringLiteral("VSNAP1");
        QTest::newRow("other version")
            << wire(QStringLiteral("u"), {"HTML|||||||||"})
                   .replace(QLatin1String("VSNAP1"), QLatin1String("VSNAP2"));
    }
    void snapshotTextMalformed() {
        QFETCH(QString, text);
        const DocumentSnapshot doc = DocumentSnapshot::parse(text);
        QVERIFY(!doc.present);
        QVERIFY(doc.isEmpty());
        QVERIFY(!ExtractResultPage(doc, {}, false).documentFound);
    }

    void documentWithoutElements() {
        const DocumentSnapshot doc =
            DocumentSnapshot::parse(wire(QStringLiteral("about:blank"), {}));
        QVERIFY(doc.present);
        QVERIFY(doc.isEmpty());
        QCOMPARE(doc.url, QStringLiteral("about:blank"));
        QCOMPARE(ExtractResultPage(doc, {}, false).offered(), 0);
    }

    void parentThatSkipsAnOpenElementIsCut() {
        // 0 > 1 > 2, then 3 back under 0 closes 1 and 2; 4 then names 2 as its
        // parent, which no pre-order walk can give: the link is cut.
        const DocumentSnapshot doc = DocumentSnapshot::parse(
            wire(QStringLiteral("u"), {"DIV|||||||||", "DIV|||||||||0", "DIV|||||||||1",
                                       "DIV|||||||||0", "DIV|||||||||2"}));
        QCOMPARE(doc.at(3).parent, 0);
        QCOMPARE(doc.at(4).parent, -1);
        QCOMPARE(doc.at(0).end, 4);
        QCOMPARE(doc.at(1).end, 3);
    }
};

QTEST_GUILESS_MAIN(TestExtraction)
#include "tst_extraction.moc"
