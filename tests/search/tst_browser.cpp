#include "FixtureServer.h"
#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "search/Extraction.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <memory>

namespace {

constexpr int kLoadMs = 20000;

// A loopback server for what local files cannot give: a page that never
// finishes loading, and a cookie sent by the server.
class LoopbackServer : public QObject {
public:
    LoopbackServer() {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    // Ends the page that was left loading.
    void finishStalled() {
        for (const QPointer<QTcpSocket>& socket : std::as_const(m_stalled)) {
            if (socket) {
                socket->write("</ul></body></html>");
                socket->disconnectFromHost();
            }
        }
        m_stalled.clear();
    }

private:
    void serve(QTcpSocket* socket) {
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const QByteArray path = request.split(' ').value(1);
        if (path == "/stall") {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n"
                          "<html><head><title>still loading</title></head><body><!--" +
                          QByteArray(4096, 'x') +
                          "--><ul><li class=\"detail\"><input type=\"checkbox\">"
                          "<a href=\"/a\">Half a page</a> <a class=\"cLink\" href=\"/p\">PDF</a>"
                          "</li>");
            m_stalled << socket;
            return;
        }
        QByteArray body;
        QByteArray extra;
        QByteArray status = "200 OK";
        if (path == "/cookie") {
            body = "<html><head><title>cookie</title></head><body>set</body></html>";
            extra = "Set-Cookie: sid=abc123; Path=/\r\n";
        } else {
            status = "404 Not Found";
        }
        socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\n" + extra +
                      "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
    QList<QPointer<QTcpSocket>> m_stalled;
};

// Sends the browser to url and waits for its top-level document.
bool load(Browser& browser, const QUrl& url) {
    QSignalSpy complete(&browser, &Browser::documentComplete);
    browser.navigate(url);
    return complete.wait(kLoadMs) || !complete.isEmpty();
}

std::unique_ptr<Browser> newBrowser() {
    auto browser = std::make_unique<Browser>();
    browser->resize(900, 700);
    browser->show();
    return browser;
}

QStringList titles(const ExtractionResult& r) {
    QStringList out;
    for (const ExtractedArticle& a : r.articles)
        out << a.title;
    return out;
}

QStringList links(const ExtractionResult& r) {
    QStringList out;
    for (const ExtractedArticle& a : r.articles)
        out << a.link;
    return out;
}

QString sd(const QString& rest) {
    return QStringLiteral("https://www.sciencedirect.com/science") + rest;
}

} // namespace

class TestBrowser : public QObject {
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private:
    QTemporaryDir m_storage;
    QUrl m_files; // the fixture pages as local files
    std::unique_ptr<FixtureServer> m_server;
    QUrl m_served; // the same pages from the fixture server

private slots:
    void initTestCase() {
        QVERIFY(m_storage.isValid());
        BrowserProfile::setStorageRoot(m_storage.path());
        const QString data = qEnvironmentVariable("VARNELLE_TEST_DATA");
        QVERIFY2(!data.isEmpty(), "VARNELLE_TEST_DATA is not set");
        m_files = QUrl::fromLocalFile(data + QStringLiteral("/pages/"));
        m_server = std::make_unique<FixtureServer>();
        QVERIFY(m_server->isRunning());
        m_server->addFolder(QStringLiteral("/pages/"), data + QStringLiteral("/pages"));
        m_served = QUrl(m_server->url(QStringLiteral("/pages/")));
    }

    void designs_data() {
        QTest::addColumn<QUrl>("base");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("onlyTicked");
        QTest::addColumn<int>("pass");
        QTest::addColumn<QStringList>("expectedTitles");
        QTest::addColumn<QStringList>("expectedLinks"); // relative ones resolve against the page
        // Classes are class lists: "detail odd" is a detail item, "cLinks" is no
        // cLink, "anchor download-link u-font-sans" is a download link and
        // "download-link-x" is not.
        const QStringList sd1Titles{"Graphene growth on copper foils", "Nanotube arrays: a review",
                                    "Detail among other classes", "Fullerene chemistry"};
        const QStringList sd1Links{
            sd("?_ob=MiamiImageURL&_cid=271567&_pii=S0008622310001&_check=y"),
            sd("?_ob=MiamiImageURL&_pii=S0008622310002"),
            sd("?_ob=MiamiImageURL&_pii=S0008622310004"), "pdf/S0008622310006.pdf"};
        const QStringList sd2Titles{"Deep learning for tumour segmentation",
                                    "Protein folding kinetics", "Catalysis at interfaces"};
        const QStringList sd2Links{sd("/article/pii/S1000000018000011/"
                                      "pdfft?md5=0a1b2c&pid=1-s2.0-S1000000018000011-main.pdf"),
                                   sd("/article/pii/S1000000018000022/pdfft"),
                                   sd("/article/pii/S1000000018000033/pdfft?md5=33&pid=33.pdf")};
        const QStringList sd3Titles{"Self-healing polymers in practice", "Unticked article",
                                    "Upper-case class article"};
        const QStringList sd3Links{
            sd("/article/pii/S3000000020000011/pdfft?md5=d1&pid=1-s2.0-S3000000020000011-main.pdf"),
            sd("/article/pii/S3000000020000022/pdfft"),
            sd("/article/pii/S3000000020000044/pdfft?a=1&b=2")};
        const QList<QPair<QString, QUrl>> sources{{QStringLiteral("file"), m_files},
                                                  {QStringLiteral("http"), m_served}};
        for (const auto& [name, base] : sources) {
            const auto row = [&](const char* what) {
                return &QTest::newRow(
                    qPrintable(name + QStringLiteral(": ") + QLatin1String(what)));
            };
            *row("detail items") << base << "sd1_detail.html" << false << 1 << sd1Titles
                                 << sd1Links;
            *row("detail items, ticked only")
                << base << "sd1_detail.html" << true << 1
                << QStringList{sd1Titles[0], sd1Titles[2], sd1Titles[3]}
                << QStringList{sd1Links[0], sd1Links[2], sd1Links[3]};
            *row("result blocks") << base << "sd2_results.html" << false << 2 << sd2Titles
                                  << sd2Links;
            *row("result blocks ignore ticks")
                << base << "sd2_results.html" << true << 2 << sd2Titles << sd2Links;
            *row("result containers")
                << base << "sd2_containers.html" << false << 2
                << QStringList{"Soil carbon dynamics", "Ocean acidification"}
                << QStringList{sd("/article/pii/S2000000019000011/pdfft?md5=aa&pid=bb.pdf"),
                               sd("/article/pii/S2000000019000022/pdfft")};
            *row("article list") << base << "sd3_articles.html" << false << 3 << sd3Titles
                                 << sd3Links;
            *row("article list, ticked only")
                << base << "sd3_articles.html" << true << 3
                << QStringList{sd3Titles[0], sd3Titles[2]} << QStringList{sd3Links[0], sd3Links[2]};
            *row("page without results")
                << base << "target.html" << false << 0 << QStringList{} << QStringList{};
        }
    }
    void designs() {
        QFETCH(QUrl, base);
        QFETCH(QString, page);
        QFETCH(bool, onlyTicked);
        QFETCH(int, pass);
        QFETCH(QStringList, expectedTitles);
        QFETCH(QStringList, expectedLinks);
        const QUrl url = base.resolved(QUrl(page));
        auto browser = newBrowser();
        QVERIFY(load(*browser, url));
        const DocumentSnapshot doc = browser->snapshot();
        QVERIFY(doc.present);
        QCOMPARE(doc.url, url.toString());
        const ExtractionResult r = ExtractResultPage(doc, QStringLiteral("/save/"), onlyTicked);
        QVERIFY(r.documentFound);
        QCOMPARE(r.pass, pass);
        QCOMPARE(titles(r), expectedTitles);
        QStringList resolved;
        for (const QString& link : expectedLinks)
            resolved << url.resolved(QUrl(link)).toString();
        QCOMPARE(links(r), resolved);
        for (const ExtractedArticle& a : r.articles) {
            QCOMPARE(a.pageAddress, browser->address());
            QCOMPARE(a.type, QStringLiteral("pdf"));
            QCOMPARE(a.saveFolder, QStringLiteral("/save/"));
            QCOMPARE(a.layout, pass == 1 ? QStringLiteral("SD1") : QStringLiteral("SD2"));
        }
    }

    // What each result design and each article page says of its articles,
    // read through the real document script.
    void records() {
        const QList<QUrl> bases{m_files, m_served};
        for (const QUrl& base : bases) {
            auto browser = newBrowser();
            const auto extract = [&](const QString& page) {
                if (!load(*browser, base.resolved(QUrl(page))))
                    return ExtractionResult();
                return ExtractResultPage(browser->snapshot(), {}, false);
            };

            ExtractionResult r = extract(QStringLiteral("records_sd1.html"));
            QCOMPARE(r.pass, 1);
            QCOMPARE(r.offered(), 3);
            ArticleRecord full = r.articles.at(0).record;
            QCOMPARE(full.title, QStringLiteral("Graphene growth on copper foils & nickel"));
            QCOMPARE(full.authors,
                     (QStringList{QStringLiteral("A. Smith"), QStringLiteral("B. Jones"),
                                  QStringLiteral("C. Brown")}));
            QCOMPARE(full.journal, QStringLiteral("Carbon"));
            QCOMPARE(full.date, QStringLiteral("2010-04-15"));
            QCOMPARE(full.year, QStringLiteral("2010"));
            QCOMPARE(full.volume, QStringLiteral("48"));
            QCOMPARE(full.issue, QStringLiteral("5"));
            QCOMPARE(full.firstPage, QStringLiteral("1"));
            QCOMPARE(full.lastPage, QStringLiteral("9"));
            QCOMPARE(full.doi, QStringLiteral("10.1016/j.carbon.2010.01.001"));
            QCOMPARE(full.pii, QStringLiteral("S0008622310000011"));
            QCOMPARE(full.access, ArticleRecord::Access::Open);
            // No class names: the italic journal with its volume and date beside it.
            const ArticleRecord chinese = r.articles.at(1).record;
            QCOMPARE(chinese.title, QStringLiteral("石墨烯薄膜的化学气相沉积"));
            QCOMPARE(chinese.journal, QStringLiteral("新型炭材料"));
            QCOMPARE(chinese.volume, QStringLiteral("26"));
            QCOMPARE(chinese.date, QStringLiteral("2011-05"));
            QCOMPARE(chinese.access, ArticleRecord::Access::Unknown);
            const ArticleRecord bare = r.articles.at(2).record;
            QVERIFY(bare.authors.isEmpty() && bare.journal.isEmpty() && bare.year.isEmpty());
            QCOMPARE(bare.pii, QStringLiteral("S0008622312000033"));

            r = extract(QStringLiteral("records_sd2.html"));
            QCOMPARE(r.pass, 2);
            QCOMPARE(r.offered(), 3);
            full = r.articles.at(0).record;
            QCOMPARE(full.articleType, QStringLiteral("Review article"));
            QCOMPARE(full.journal, QStringLiteral("Medical Image Analysis"));
            QCOMPARE(full.authors,
                     (QStringList{QStringLiteral("Dana Author"), QStringLiteral("Émile Zweite"),
                                  QStringLiteral("王小明")}));
            QCOMPARE(full.volume, QStringLiteral("45"));
            QCOMPARE(full.date, QStringLiteral("2018-03"));
            QCOMPARE(full.firstPage, QStringLiteral("12"));
            QCOMPARE(full.lastPage, QStringLiteral("30"));
            QCOMPARE(full.access, ArticleRecord::Access::Open);
            QCOMPARE(full.pii, QStringLiteral("S1361841518000011"));
            const ArticleRecord dated = r.articles.at(1).record;
            QCOMPARE(dated.date, QStringLiteral("2024-01-03"));
            QVERIFY(dated.journal.isEmpty() && dated.authors.isEmpty());
            ArticleRecord titleOnly;
            titleOnly.title = QStringLiteral("No record at all");
            QCOMPARE(r.articles.at(2).record, titleOnly);

            r = extract(QStringLiteral("records_sd3.html"));
            QCOMPARE(r.pass, 3);
            QCOMPARE(r.offered(), 2);
            full = r.articles.at(0).record;
            QCOMPARE(full.articleType, QStringLiteral("Short communication"));
            QCOMPARE(full.authors.size(), 3);
            QCOMPARE(full.firstPage, QStringLiteral("101"));
            QCOMPARE(full.lastPage, QStringLiteral("110"));
            // A title that reads like a type is no type.
            QCOMPARE(r.articles.at(1).record.articleType, QString());
        }
    }

    void articlePages_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("link"); // "" for the page's own address
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("pii");
        QTest::newRow("current design, own View PDF, recommended beside")
            << "article_full.html"
            << "Graphene on copper: growth & transfer"
            << sd("/article/pii/S0008622324000123/"
                  "pdfft?md5=ab&pid=1-s2.0-S0008622324000123-main.pdf")
            << "SD2"
            << "S0008622324000123";
        QTest::newRow("no access: the page itself, for the analysis")
            << "article_noaccess.html"
            << "An article behind a paywall"
            << ""
            << "SD2"
            << "S0022000013000456";
        QTest::newRow("citation_pdf_url of a PDF file") << "article_pdfurl.html"
                                                        << "An open article"
                                                        << "files/S0167000019000123.pdf"
                                                        << "SD1"
                                                        << "";
        QTest::newRow("old design: only the canonical address names the article")
            << "article_piionly.html"
            << "Nanotubes in 2013"
            << sd("/article/pii/S0008622313000123/pdf?md5=1&pid=1-s2.0-S0008622313000123-main.pdf")
            << "SD2"
            << "S0008622313000123";
    }
    void articlePages() {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFETCH(QString, link);
        QFETCH(QString, layout);
        QFETCH(QString, pii);
        auto browser = newBrowser();
        const QUrl url = m_files.resolved(QUrl(page));
        QVERIFY(load(*browser, url));
        const ExtractionResult r =
            ExtractResultPage(browser->snapshot(), QStringLiteral("/s/"), true);
        QCOMPARE(r.pass, ExtractionResult::ArticlePagePass);
        QCOMPARE(r.offered(), 1);
        const ExtractedArticle& a = r.articles.first();
        QCOMPARE(a.title, title);
        QCOMPARE(a.link, link.isEmpty() ? url.toString() : url.resolved(QUrl(link)).toString());
        QCOMPARE(a.layout, layout);
        QCOMPARE(a.pageAddress, url.toString());
        QCOMPARE(a.saveFolder, QStringLiteral("/s/"));
        QCOMPARE(a.record.pii, pii);
        QCOMPARE(a.record.title, title);
        if (page == QLatin1String("article_full.html")) {
            QCOMPARE(a.record.authors,
                     (QStringList{QStringLiteral("Smith, Anna"), QStringLiteral("张伟"),
                                  QStringLiteral("van der Berg, Jan")}));
            QCOMPARE(a.record.journal, QStringLiteral("Carbon"));
            QCOMPARE(a.record.date, QStringLiteral("2024-03-15"));
            QCOMPARE(a.record.volume, QStringLiteral("219"));
            QCOMPARE(a.record.issue, QStringLiteral("4"));
            QCOMPARE(a.record.firstPage, QStringLiteral("118"));
            QCOMPARE(a.record.lastPage, QStringLiteral("129"));
            QCOMPARE(a.record.articleType, QStringLiteral("Full length article"));
            QCOMPARE(a.record.doi, QStringLiteral("10.1016/j.carbon.2024.118123"));
        }
        if (page == QLatin1String("article_noaccess.html")) {
            QCOMPARE(a.record.year, QStringLiteral("2013"));
            QVERIFY(a.record.pdfUrl.isEmpty());
        }
        if (page == QLatin1String("article_pdfurl.html"))
            QCOMPARE(a.record.access, ArticleRecord::Access::Open);
    }

    void blankPageAndNoDocument() {
        auto browser = newBrowser();
        QVERIFY(!browser->hasDocument());
        const DocumentSnapshot none = browser->snapshot();
        QVERIFY(!none.present);
        QVERIFY(!ExtractResultPage(none, {}, false).documentFound);
        QCOMPARE(browser->outerHtml(), QString());

        QVERIFY(load(*browser, QUrl(QStringLiteral("about:blank"))));
        const DocumentSnapshot blank = browser->snapshot();
        QVERIFY(blank.present);
        QCOMPARE(blank.url, QStringLiteral("about:blank"));
        const ExtractionResult r = ExtractResultPage(blank, {}, false);
        QVERIFY(r.documentFound);
        QCOMPARE(r.offered(), 0);
    }

    void snapshotElements() {
        auto browser = newBrowser();
        const QUrl url = m_files.resolved(QUrl(QStringLiteral("login.html")));
        QVERIFY(load(*browser, url));
        const DocumentSnapshot doc = browser->snapshot();
        QVERIFY(doc.present);
        QCOMPARE(doc.at(0).tag, QStringLiteral("HTML"));
        QCOMPARE(doc.at(0).parent, -1);
        QCOMPARE(doc.at(0).end, doc.size());
        const int user = doc.elementById(QStringLiteral("user"));
        const int form = doc.elementById(QStringLiteral("form"));
        QVERIFY(user > form && form > 0);
        QCOMPARE(doc.at(user).parent, form);
        QCOMPARE(doc.at(user).name, QStringLiteral("UserName"));
        QCOMPARE(doc.at(user).type, QStringLiteral("text"));
        QCOMPARE(doc.at(user).checked, std::optional<bool>(false));
        const int go = doc.elementById(QStringLiteral("go"));
        QCOMPARE(doc.at(go).type, QStringLiteral("submit"));
        QCOMPARE(doc.at(go).value, QStringLiteral("Sign in"));
        for (int i = 0; i < doc.size(); ++i)
            QCOMPARE(doc.at(i).index, i);

        // Values holding the characters that split the reader's text cannot
        // shift the fields or the elements after them.
        QVERIFY(browser->setInputValue(user, QStringLiteral("a\x1e"
                                                            "b\x1f"
                                                            "c")));
        const DocumentSnapshot again = browser->snapshot();
        QCOMPARE(again.size(), doc.size());
        QCOMPARE(again.at(user).value, QStringLiteral("a b c"));
        QCOMPARE(again.at(user).name, QStringLiteral("UserName"));
        QCOMPARE(again.at(go).value, QStringLiteral("Sign in"));
    }

    void pageScriptsCannotTamperWithTheReader() {
        // The reader runs in its own world: a page that replaces the DOM
        // functions it would use changes nothing.
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("sd3_articles.html")))));
        browser->page()->runJavaScript(
            QStringLiteral("document.getElementsByTagName = function () { return []; };"
                           "JSON.stringify = function () { return 'broken'; };"));
        const ExtractionResult r = ExtractResultPage(browser->snapshot(), {}, false);
        QCOMPARE(r.offered(), 3);
    }

    void snapshotOfALoadingDocumentIsEmpty() {
        LoopbackServer server;
        auto browser = newBrowser();
        QSignalSpy complete(browser.get(), &Browser::documentComplete);
        browser->navigate(server.url(QStringLiteral("/stall")));
        QTRY_COMPARE_WITH_TIMEOUT(browser->title(), QStringLiteral("still loading"), kLoadMs);
        QVERIFY(browser->busy());
        const DocumentSnapshot loading = browser->snapshot();
        QVERIFY(!loading.present);
        QVERIFY(loading.isEmpty());

        server.finishStalled();
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QVERIFY(!browser->busy());
        const ExtractionResult r = ExtractResultPage(browser->snapshot(), {}, false);
        QCOMPARE(titles(r), QStringList{"Half a page"});
        QCOMPARE(r.articles.first().link, server.url(QStringLiteral("/p")).toString());
    }

    void browserDestroyedDuringAWait() {
        auto owned = newBrowser();
        QVERIFY(load(*owned, m_files.resolved(QUrl(QStringLiteral("sd1_detail.html")))));
        QPointer<Browser> browser = owned.release();
        // A handler run by the wait destroys the browser: the wait ends and the
        // read gives what it has, without touching the dead browser.
        QTimer::singleShot(0, browser.data(), [&] { delete browser.data(); });
        const DocumentSnapshot doc = browser->snapshot();
        QVERIFY(browser.isNull());
        Q_UNUSED(doc);
    }

    void newWindowOpensInTheSameBrowser_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("query");
        QTest::newRow("link with a target") << "blank"
                                            << "via=link";
        QTest::newRow("window.open") << "popup"
                                     << "via=script";
    }
    void newWindowOpensInTheSameBrowser() {
        QFETCH(QString, control);
        QFETCH(QString, query);
        auto browser = newBrowser();
        const QUrl start = m_files.resolved(QUrl(QStringLiteral("newwindow.html")));
        QVERIFY(load(*browser, start));
        const int windowsBefore = int(QApplication::topLevelWidgets().size());
        const DocumentSnapshot doc = browser->snapshot();
        QSignalSpy opened(browser.get(), &Browser::newWindowRequested);
        QSignalSpy complete(browser.get(), &Browser::documentComplete);
        QVERIFY(browser->click(doc.elementById(control)));
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QCOMPARE(opened.size(), 1);
        QUrl target = m_files.resolved(QUrl(QStringLiteral("target.html")));
        target.setQuery(query);
        QCOMPARE(opened.first().first().toString(), target.toString());
        QCOMPARE(browser->address(), target.toString());
        QCOMPARE(browser->title(), QStringLiteral("Target page"));
        QCOMPARE(int(QApplication::topLevelWidgets().size()), windowsBefore);
        // The page it came from is in the history.
        QSignalSpy back(browser.get(), &Browser::documentComplete);
        QVERIFY(browser->goBack());
        QTRY_VERIFY_WITH_TIMEOUT(!back.isEmpty(), kLoadMs);
        QCOMPARE(browser->address(), start.toString());
    }

    void blankNewWindowIsSwallowed() {
        auto browser = newBrowser();
        const QUrl start = m_files.resolved(QUrl(QStringLiteral("newwindow.html")));
        QVERIFY(load(*browser, start));
        QSignalSpy opened(browser.get(), &Browser::newWindowRequested);
        QSignalSpy started(browser.get(), &Browser::loadStarted);
        const DocumentSnapshot doc = browser->snapshot();
        QVERIFY(browser->click(doc.elementById(QStringLiteral("empty"))));
        QTest::qWait(500);
        QCOMPARE(opened.size(), 0);
        QCOMPARE(started.size(), 0);
        QCOMPARE(browser->address(), start.toString());
    }

    void windowCloseIsRefused() {
        auto browser = newBrowser();
        QSignalSpy refused(browser.get(), &Browser::closeRefused);
        const QUrl url = m_files.resolved(QUrl(QStringLiteral("close.html")));
        QVERIFY(load(*browser, url));
        QTRY_VERIFY_WITH_TIMEOUT(!refused.isEmpty(), kLoadMs);
        const DocumentSnapshot doc = browser->snapshot();
        QVERIFY(browser->click(doc.elementById(QStringLiteral("close"))));
        QTRY_VERIFY_WITH_TIMEOUT(refused.size() >= 2, kLoadMs);
        QTest::qWait(200);
        QVERIFY(browser->isVisible());
        QCOMPARE(browser->address(), url.toString());
        QCOMPARE(browser->title(), QStringLiteral("Closing page"));
        QVERIFY(browser->snapshot().present);
    }

    void silentModeSuppressesScriptDialogs() {
        auto browser = newBrowser();
        browser->setSilent(true);
        QSignalSpy suppressed(browser.get(), &Browser::scriptDialogSuppressed);
        int dialogsSeen = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                ++dialogsSeen;
                dialog->reject();
            }
        });
        watch.start(20);
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("alert.html")))));
        QTRY_COMPARE_WITH_TIMEOUT(browser->title(), QStringLiteral("after alert false"), kLoadMs);
        QCOMPARE(dialogsSeen, 0);
        QCOMPARE(suppressed.size(), 2);
        QCOMPARE(suppressed.first().first().toString(), QStringLiteral("hello from the page"));
    }

    void scriptDialogsShowWhenNotSilent() {
        auto browser = newBrowser();
        QVERIFY(!browser->silent());
        QStringList texts;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                for (QLabel* label : dialog->findChildren<QLabel*>())
                    texts << label->text();
                dialog->reject();
            }
        });
        watch.start(20);
        QSignalSpy suppressed(browser.get(), &Browser::scriptDialogSuppressed);
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("alert.html")))));
        QTRY_COMPARE_WITH_TIMEOUT(browser->title(), QStringLiteral("after alert false"), kLoadMs);
        QVERIFY2(texts.join(QLatin1Char('|')).contains(QLatin1String("hello from the page")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        QCOMPARE(suppressed.size(), 0);
    }

    void nextPageControlIsClicked() {
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("sd1_detail.html")))));
        const DocumentSnapshot first = browser->snapshot();
        const int next = FindNextPageControl(first);
        QVERIFY(next >= 0);
        QCOMPARE(first.at(next).value, QStringLiteral(" Next >> "));
        QSignalSpy complete(browser.get(), &Browser::documentComplete);
        QVERIFY(browser->click(next, QStringLiteral("INPUT")));
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        const ExtractionResult r = ExtractResultPage(browser->snapshot(), {}, false);
        QCOMPARE(titles(r), QStringList{"Second page article"});
        QVERIFY(r.articles.first().pageAddress.endsWith(QLatin1String("sd1_page2.html")));
        QCOMPARE(FindNextPageControl(browser->snapshot()), -1);

        // The link form of the control, on the other design.
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("sd2_results.html")))));
        const DocumentSnapshot blocks = browser->snapshot();
        const int link = FindNextPageControl(blocks);
        QVERIFY(link >= 0);
        QCOMPARE(blocks.at(link).tag, QStringLiteral("A"));
        QVERIFY(blocks.at(link).href.endsWith(QLatin1String("offset=25")));
    }

    void clickAndValueOfAChangedDocumentAreRefused() {
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("login.html")))));
        const DocumentSnapshot doc = browser->snapshot();
        const int user = doc.elementById(QStringLiteral("user"));
        QVERIFY(!browser->click(user, QStringLiteral("A")));
        QVERIFY(!browser->setInputValue(user, QStringLiteral("x"), QStringLiteral("SELECT")));
        QVERIFY(!browser->click(doc.size() + 5));
        QVERIFY(!browser->click(-1));
    }

    void fillAndSubmitAForm() {
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("login.html")))));
        DocumentSnapshot doc = browser->snapshot();
        const int user = doc.elementById(QStringLiteral("user"));
        const int pass = doc.elementById(QStringLiteral("pass"));
        QVERIFY(browser->setInputValue(user, QStringLiteral("reader \"one\""),
                                       QStringLiteral("INPUT")));
        QVERIFY(browser->setInputValue(pass, QStringLiteral("s3cret&x"), QStringLiteral("INPUT")));
        doc = browser->snapshot();
        QCOMPARE(doc.at(user).value, QStringLiteral("reader \"one\""));
        // The page heard the typing.
        const int echo = doc.elementById(QStringLiteral("echo"));
        QCOMPARE(browser->innerText(echo, QStringLiteral("P")),
                 QStringLiteral("typed reader \"one\""));
        QCOMPARE(browser->innerText(echo, QStringLiteral("DIV")), QString());
        QSignalSpy complete(browser.get(), &Browser::documentComplete);
        QSignalSpy starting(browser.get(), &Browser::navigationStarting);
        QVERIFY(browser->click(doc.elementById(QStringLiteral("go"))));
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QCOMPARE(browser->title(), QStringLiteral("Target page"));
        const QUrl landed(browser->address());
        QVERIFY(landed.path().endsWith(QLatin1String("/target.html")));
        QCOMPARE(QUrlQuery(landed).queryItemValue(QStringLiteral("PassWord"), QUrl::FullyDecoded),
                 QStringLiteral("s3cret&x"));
        QVERIFY(!starting.isEmpty());
        QCOMPARE(QUrl(starting.first().first().toString()).path(), landed.path());
    }

    void outerHtmlOfTheDocument() {
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("target.html")))));
        const QString html = browser->outerHtml();
        QVERIFY(html.startsWith(QLatin1String("<html>")));
        QVERIFY(html.contains(QLatin1String("The page a new window would have shown.")));
        QVERIFY(html.endsWith(QLatin1String("</html>")));
    }

    void historyAndEvents() {
        auto browser = newBrowser();
        QVERIFY(!browser->goBack());
        QVERIFY(!browser->goForward());
        QSignalSpy titles(browser.get(), &Browser::titleChanged);
        QSignalSpy addresses(browser.get(), &Browser::addressChanged);
        const QUrl a = m_files.resolved(QUrl(QStringLiteral("target.html")));
        const QUrl b = m_files.resolved(QUrl(QStringLiteral("login.html")));
        QVERIFY(load(*browser, a));
        QVERIFY(load(*browser, b));
        QVERIFY(!titles.isEmpty());
        QCOMPARE(titles.last().first().toString(), QStringLiteral("Login"));
        QCOMPARE(addresses.last().first().toString(), b.toString());
        QSignalSpy complete(browser.get(), &Browser::documentComplete);
        QVERIFY(browser->goBack());
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QCOMPARE(browser->address(), a.toString());
        complete.clear();
        QVERIFY(browser->goForward());
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QCOMPARE(browser->address(), b.toString());
        QVERIFY(!browser->goForward());
    }

    void busyEndsOnEveryKindOfNavigation_data() {
        QTest::addColumn<QString>("address"); // relative to the loaded page
        QTest::newRow("fragment of the same page") << "target.html#part";
        QTest::newRow("same page again") << "target.html";
        QTest::newRow("missing file") << "no-such-page.html";
    }
    void busyEndsOnEveryKindOfNavigation() {
        QFETCH(QString, address);
        auto browser = newBrowser();
        QVERIFY(load(*browser, m_files.resolved(QUrl(QStringLiteral("target.html")))));
        const QUrl url = m_files.resolved(QUrl(address));
        browser->navigate(url);
        QTRY_VERIFY_WITH_TIMEOUT(!browser->busy(), 4000);
        QTRY_COMPARE_WITH_TIMEOUT(browser->address(), url.toString(), kLoadMs);
    }

    void oneProfileWithDiskCacheAndMirroredCookies() {
        BrowserProfile& profile = BrowserProfile::shared();
        QCOMPARE(&profile, &BrowserProfile::shared());
        QVERIFY(profile.cachePath().startsWith(m_storage.path()));
        QVERIFY(profile.persistentStoragePath().startsWith(m_storage.path()));
        QVERIFY(profile.userAgent().contains(QLatin1String("Mozilla")));
        auto first = newBrowser();
        auto second = newBrowser();
        QCOMPARE(first->page()->profile(), profile.profile());
        QCOMPARE(second->page()->profile(), profile.profile());

        LoopbackServer server;
        QSignalSpy added(&profile, &BrowserProfile::cookieAdded);
        QVERIFY(load(*first, server.url(QStringLiteral("/cookie"))));
        QTRY_VERIFY_WITH_TIMEOUT(!added.isEmpty(), kLoadMs);
        // The page went through the disk cache the cache viewer reads.
        QTRY_VERIFY_WITH_TIMEOUT(
            QDir(profile.cachePath() + QStringLiteral("/Cache/Cache_Data")).exists(), kLoadMs);
        const auto cookie = added.last().first().value<QNetworkCookie>();
        QCOMPARE(cookie.name(), QByteArray("sid"));
        QCOMPARE(cookie.value(), QByteArray("abc123"));
        bool mirrored = false;
        for (const QNetworkCookie& c : profile.cookies())
            mirrored = mirrored || (c.name() == "sid" && c.value() == "abc123");
        QVERIFY(mirrored);

        QSignalSpy removed(&profile, &BrowserProfile::cookieRemoved);
        profile.profile()->cookieStore()->deleteAllCookies();
        QTRY_VERIFY_WITH_TIMEOUT(!removed.isEmpty(), kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(profile.cookies().isEmpty(), kLoadMs);
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
