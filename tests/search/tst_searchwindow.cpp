#include "FixtureServer.h"
#include "TestApp.h"
#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "search/ArticleListModel.h"
#include "search/SearchLayout.h"
#include "search/fWebSearch.h"
#include "shell/fSeleFileSavePath.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace SettingsKeys;

namespace {

const int LoadTimeoutMs = 30000;

// Local pages for the browser; no test ever reaches the internet.
class Pages {
public:
    explicit Pages(const QString& folder) : m_folder(folder) {
        write("page1.html", "<html><head><title>One</title></head><body><p id=m>first page</p>"
                            "<a id=l href='page2.html'>two</a></body></html>");
        write("page2.html", "<html><head><title>Two</title></head><body>second page</body></html>");
        write("home.html", "<html><head><title>Home</title></head><body>home</body></html>");
        write("target.html",
              "<html><head><title>Target</title></head><body>new window target</body></html>");
        write("newwin.html", "<html><head><title>Opener</title></head><body>"
                             "<script>window.open('target.html');</script></body></html>");
        write("results.html",
              "<html><head><title>Results</title></head><body><ul>"
              "<li class='detail'><input type='checkbox' checked><a href='a1'>\n  First  "
              "article\n</a><a class='cLink' href='https://127.0.0.1:9/one.pdf?a=1&amp;b=2'>"
              "PDF (1 MB)</a></li>"
              "<li class='detail'><input type='checkbox'><a href='a2'>Second</a>"
              "<a class='cLink' href='https://127.0.0.1:9/two.pdf'>PDF</a></li>"
              "<li class='detail'><input type='checkbox'><a href='a3'>Second again</a>"
              "<a class='cLink' href='https://127.0.0.1:9/two.pdf'>PDF</a></li>"
              "</ul></body></html>");
        // The page takes its own root element away: there is no source to read.
        write("noroot.html", "<html><head><title>Gone</title></head>"
                             "<body onload='document.removeChild(document.documentElement)'>"
                             "gone</body></html>");
        write("closer.html", "<html><head><title>Closer</title></head><body>stays"
                             "<script>window.close();</script></body></html>");
    }
    QString url(const QString& name) const {
        return QUrl::fromLocalFile(m_folder + "/" + name).toString();
    }
    QString path(const QString& name) const { return m_folder + "/" + name; }

private:
    void write(const QString& name, const QByteArray& html) {
        QFile f(m_folder + "/" + name);
        if (f.open(QIODevice::WriteOnly))
            f.write(html);
    }
    QString m_folder;
};

QStringList history(const fWebSearch& w) {
    QStringList list;
    for (int i = 0; i < w.Combo1->count(); ++i)
        list << w.Combo1->itemText(i);
    return list;
}

bool showsPage(const fWebSearch& w, const QString& url) {
    return w.WebBrowser1->address() == url && !w.WebBrowser1->busy();
}

// Registers the windows the search window reaches through the flow, as plain
// stand-ins, and the search window itself.
void registerWindows() {
    WindowFlow& flow = app().flow();
    flow.registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
    flow.registerWindow(WindowNames::Cover, [] {
        auto* w = new QWidget;
        w->setObjectName(WindowNames::Cover);
        return w;
    });
    flow.registerWindow(WindowNames::FileDownload, [] {
        auto* w = new QWidget;
        w->setObjectName(WindowNames::FileDownload);
        return w;
    });
}

} // namespace

class TestSearchWindow : public QObject {
    Q_OBJECT
private slots:
    void loadRestoresSettings() {
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Delay, 25);
        t.settings().write(SectionSettings, PromptSaveFolder, 0);
        t.settings().write(SectionWebSearch, Web1Url, "  " + pages.url("page1.html") + " ");
        t.values->BrowserEmulationVersion = QStringLiteral("IE11");
        t.values->SiteHomeAddress = pages.url("home.html");
        fWebSearch w;
        w.show();

        QCOMPARE(w.windowTitle(), QStringLiteral("ScienceDirect数据检索分析-Varnelle"));
        QCOMPARE(w.Combo2->count(), 61);
        QCOMPARE(w.Combo2->itemText(0), QStringLiteral("0"));
        QCOMPARE(w.Combo2->itemText(60), QStringLiteral("60"));
        QCOMPARE(w.Combo2->currentIndex(), 25);
        QCOMPARE(t.values->PromptSaveFolder, 0);
        QVERIFY(!w.Check2->isChecked());
        QVERIFY(!w.WebBrowser1->silent());
        QCOMPARE(w.statusPanel(3)->text(), QStringLiteral("IE11"));
        QVERIFY(w.ExtractStopped);
        QVERIFY(w.AnalyseStopped);
        QCOMPARE(w.Label1->text(), QStringLiteral("0"));
        QVERIFY(!w.PicPanPrograss->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page1.html")), LoadTimeoutMs);
        QVERIFY(!w.PageLoading);
        QCOMPARE(history(w), QStringList{pages.url("page1.html")});
        QCOMPARE(w.Combo1->currentText(), QString());
    }

    void defaultsOnFirstStart() {
        TestApp t;
        Pages pages(t.tempPath());
        t.values->SiteHomeAddress = pages.url("home.html");
        fWebSearch w;
        QCOMPARE(w.Combo2->currentIndex(), 10);
        QCOMPARE(t.values->PromptSaveFolder, 1);
    }

    void blankAddressOpensHomePage_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("missing") << QString();
        QTest::newRow("spaces") << QStringLiteral("   ");
    }
    void blankAddressOpensHomePage() {
        QFETCH(QString, stored);
        TestApp t;
        Pages pages(t.tempPath());
        if (!stored.isNull())
            t.settings().write(SectionWebSearch, Web1Url, stored);
        t.values->SiteHomeAddress = pages.url("home.html");
        fWebSearch w;
        w.show();
        QVERIFY(w.Check2->isChecked()); // the home page silences script errors
        QVERIFY(w.WebBrowser1->silent());
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("home.html")), LoadTimeoutMs);

        // The home page command does the same from any page.
        w.WebBrowser1->navigate(pages.url("page1.html"));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page1.html")), LoadTimeoutMs);
        w.Check2->setChecked(false);
        w.menu打开sciencedirect查询首页->trigger();
        QVERIFY(w.Check2->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("home.html")), LoadTimeoutMs);
    }

    void menusPresentAndWired() {
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        fWebSearch w;
        QVERIFY(!w.menuBar()->actions().contains(w.menu加入->menuAction()));
        const QStringList bar{"浏览(&B)", "清除(&C)", "工具(&T)", "帮助(&H)"};
        QStringList shown;
        for (QAction* a : w.menuBar()->actions())
            shown << a->text();
        QCOMPARE(shown, bar);
        // Every command is wired and enabled.
        for (QAction* a : {w.menu设置, w.menu关于, w.menu查看IE浏览器缓存, w.menu清空IE浏览器缓存,
                           w.menu设置下载保存路径, w.menu打开下载窗口, w.menu网页源码另存为,
                           w.menu显示当前网址, w.menu打开指定网址, w.menu后退, w.menu清空全部})
            QVERIFY(a->isEnabled());
        QCOMPARE(w.findChild<QAction*>("menu打开sciencedirect查询首页")->text(),
                 QStringLiteral("打开ScienceDirect首页"));
        QCOMPARE(w.menu加入->actions().size(), 4);
    }

    void historyRecording() {
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Web1Url, pages.url("page1.html"));
        fWebSearch w;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page1.html")), LoadTimeoutMs);
        const QString first = pages.url("page1.html");
        w.Combo1->setEditText(QStringLiteral("typed"));

        w.记录url(QString()); // the shown document: listed already
        w.记录url(QStringLiteral("about:blank"));
        w.记录url(QStringLiteral("ABOUT:BLANK"));
        w.记录url(first.toUpper()); // same address, other case
        w.记录url(QStringLiteral("https://127.0.0.1:9/a"));
        w.记录url(QStringLiteral("https://127.0.0.1:9/A"));
        QCOMPARE(history(w), (QStringList{first, "https://127.0.0.1:9/a"}));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("typed"));
        QVERIFY(w.查找Combo1(QStringLiteral("HTTPS://127.0.0.1:9/A")));
        QVERIFY(!w.查找Combo1(QStringLiteral("https://127.0.0.1:9/b")));

        // "清空" empties the history; nothing is found in an empty one.
        w.Command1->click();
        QCOMPARE(w.Combo1->count(), 0);
        QVERIFY(!w.查找Combo1(first));

        // Following a link records the new page once.
        w.Combo1->setEditText(" " + pages.url("page2.html") + " ");
        w.Command3->click();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page2.html")), LoadTimeoutMs);
        QCOMPARE(history(w), QStringList{pages.url("page2.html")});

        // Back and forward.
        w.menu后退->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, first), LoadTimeoutMs);
        w.menu前进->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page2.html")), LoadTimeoutMs);
        w.menu前进->trigger(); // nowhere to go: nothing happens
        QVERIFY(showsPage(w, pages.url("page2.html")));
    }

    // Enter in the address box opens the typed address, as "打开" does; the
    // blanks around it are dropped, and an empty box opens nothing.
    void enterInTheAddressBoxOpensIt() {
        FixtureServer server;
        server.addPage(QStringLiteral("/typed"),
                       "<html><head><title>Typed</title></head><body>typed</body></html>",
                       "text/html");
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Web1Url, pages.url("page1.html"));
        fWebSearch w;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page1.html")), LoadTimeoutMs);

        QLineEdit* box = w.Combo1->lineEdit();
        box->clear();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(w.WebBrowser1->address(), pages.url("page1.html"));
        QVERIFY(server.requestsFor(QStringLiteral("/typed")).isEmpty());

        const QString typed = server.url(QStringLiteral("/typed"));
        QTest::keyClicks(box, QStringLiteral("  ") + typed + QStringLiteral(" "));
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, typed), LoadTimeoutMs);
        QCOMPARE(server.requestsFor(QStringLiteral("/typed")).size(), 1);
        QVERIFY(history(w).contains(typed));
    }

    void newWindowsStayInTheBrowser() {
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Web1Url, pages.url("newwin.html"));
        fWebSearch w;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("target.html")), LoadTimeoutMs);
        QCOMPARE(history(w).count(pages.url("target.html")), 1);
        for (QWidget* top : QApplication::topLevelWidgets())
            QVERIFY(top == &w || !top->isVisible());

        // A page closing its window leaves the browser and the window in place.
        w.WebBrowser1->navigate(pages.url("closer.html"));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("closer.html")), LoadTimeoutMs);
        QTest::qWait(300);
        QVERIFY(w.isVisible());
        QVERIFY(w.WebBrowser1->isVisible());
        QCOMPARE(w.WebBrowser1->address(), pages.url("closer.html"));
    }

    void openOtherAddress_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("silenced");
        QTest::addColumn<QString>("stored");
        QTest::newRow("https in capitals")
            << "  HTTPS://127.0.0.1:9/x " << false << "HTTPS://127.0.0.1:9/x";
        QTest::newRow("http") << "http://127.0.0.1:9/y" << true << "http://127.0.0.1:9/y";
        QTest::newRow("empty") << "   " << true << "preset";
        QTest::newRow("cancel") << "<cancel>" << true << "preset";
    }
    void openOtherAddress() {
        QFETCH(QString, answer);
        QFETCH(bool, silenced);
        QFETCH(QString, stored);
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        t.settings().write(SectionWebSearch, OtherUrl, "preset");
        fWebSearch w;
        w.Check2->setChecked(!silenced);
        if (answer == QLatin1String("<cancel>"))
            t.dialogs->inputAnswers.push_back(std::nullopt);
        else
            t.dialogs->inputAnswers.push_back(answer);
        w.menu打开指定网址->trigger();
        QCOMPARE(t.dialogs->inputPrompts, QStringList{"请输入需要打开的网址："});
        QCOMPARE(w.Check2->isChecked(), silenced);
        QCOMPARE(w.WebBrowser1->silent(), silenced);
        QCOMPARE(t.settings().otherUrl(), stored);
        if (stored != QLatin1String("preset"))
            QTRY_COMPARE_WITH_TIMEOUT(QUrl(w.WebBrowser1->address()), QUrl(stored), LoadTimeoutMs);
    }

    void localPageAndSource() {
        TestApp t;
        Pages pages(t.tempPath());
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        fWebSearch w;
        w.show();
        t.dialogs->fileAnswers.push_back(pages.path("page1.html"));
        w.menu打开本地网页文件->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("page1.html")), LoadTimeoutMs);

        w.menu显示当前网址->trigger();
        QCOMPARE(t.dialogs->informations, QStringList{pages.url("page1.html")});

        // A name without extension gets ".htm" from the dialog, so its
        // question about replacing a file is about the file written.
        t.dialogs->fileAnswers.push_back(t.tempPath() + "/source");
        w.menu网页源码另存为->trigger();
        QCOMPARE(t.dialogs->saveSuffixes, QStringList{QStringLiteral("htm")});
        QFile saved(t.tempPath() + "/source.htm");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray html = saved.readAll();
        QVERIFY(html.startsWith("<html"));
        QVERIFY(html.contains("<p id=\"m\">first page</p>"));
        QCOMPARE(t.dialogs->informations.last(), QStringLiteral("已经保存！"));

        // No name chosen: nothing written, nothing said.
        const int said = t.dialogs->informations.size();
        w.menu网页源码另存为->trigger();
        QCOMPARE(t.dialogs->informations.size(), said);
    }

    // A source that cannot be read is a failure: said so, nothing written, and
    // a file the user chose to replace stays as it was.
    void pageSourceThatCannotBeRead_data() {
        QTest::addColumn<bool>("fileExists");
        QTest::newRow("new file") << false;
        QTest::newRow("existing file") << true;
    }
    void pageSourceThatCannotBeRead() {
        QFETCH(bool, fileExists);
        TestApp t;
        Pages pages(t.tempPath());
        fWebSearch w;
        w.show();
        w.WebBrowser1->navigate(pages.url("noroot.html"));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("noroot.html")), LoadTimeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.WebBrowser1->evaluate("document.documentElement === null").toBool(), LoadTimeoutMs);
        const QString path = t.tempPath() + "/saved.htm";
        if (fileExists) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("<html>the user's page</html>");
        }
        t.dialogs->fileAnswers.push_back(path);
        w.menu网页源码另存为->trigger();
        QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral("保存失败！")});
        QVERIFY(t.dialogs->informations.isEmpty());
        QFile saved(path);
        QCOMPARE(saved.exists(), fileExists);
        if (fileExists) {
            QVERIFY(saved.open(QIODevice::ReadOnly));
            QCOMPARE(saved.readAll(), QByteArray("<html>the user's page</html>"));
        }
        QCOMPARE(QDir(t.tempPath()).entryList({"saved*"}, QDir::Files | QDir::Hidden).size(),
                 fileExists ? 1 : 0);
    }

    void scriptErrorBoxFollowsSilentMode() {
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        fWebSearch w;
        w.Check2->setChecked(true);
        QVERIFY(w.WebBrowser1->silent());
        w.Check2->setChecked(false);
        QVERIFY(!w.WebBrowser1->silent());
    }

    void closeRefusedWhileRunning_data() {
        QTest::addColumn<bool>("extracting");
        QTest::addColumn<bool>("analysing");
        QTest::newRow("extraction run") << true << false;
        QTest::newRow("analysis run") << false << true;
    }
    void closeRefusedWhileRunning() {
        QFETCH(bool, extracting);
        QFETCH(bool, analysing);
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Web1Url, pages.url("page1.html"));
        registerWindows();
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(*w, pages.url("page1.html")), LoadTimeoutMs);
        w->加入LV1("Title", "https://127.0.0.1:9/x.pdf", pages.url("page1.html"), "pdf", "", "SD1");
        w->updateCountLabel();
        w->ExtractStopped = !extracting;
        w->AnalyseStopped = !analysing;
        w->Combo2->setCurrentIndex(0);

        QVERIFY(!w->close());
        QCOMPARE(t.dialogs->errors, QStringList{"正在工作，停止以后才能退出！"});
        QVERIFY(app().flow().IsFormLoaded(WindowNames::WebSearch));
        QVERIFY(w->isVisible());
        QCOMPARE(w->articles()->size(), 1);
        QCOMPARE(t.settings().read(SectionWebSearch, Delay, QStringLiteral("unset")),
                 QStringLiteral("unset"));

        // Once the run stops, the window closes and stores what it shows.
        w->ExtractStopped = true;
        w->AnalyseStopped = true;
        QVERIFY(w->close());
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::WebSearch));
        QCOMPARE(t.settings().read(SectionWebSearch, Delay, 10), QStringLiteral("0"));
        QCOMPARE(t.settings().web1Url(), pages.url("page1.html"));
        QVERIFY(app().flow().IsFormLoaded(WindowNames::Cover)); // no download window: back to start
        QTRY_VERIFY(w.isNull());

        // Opened again: empty list, delay and address as stored.
        auto* again = qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(again);
        QCOMPARE(again->articles()->size(), 0);
        QCOMPARE(again->Label1->text(), QStringLiteral("0"));
        QCOMPARE(again->Combo2->currentIndex(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(*again, pages.url("page1.html")), LoadTimeoutMs);
        again->close();
        if (QWidget* cover = app().flow().find(WindowNames::Cover))
            cover->close();
        QTest::qWait(0);
    }

    void closeWithDownloadWindowOpenKeepsStartHidden() {
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        registerWindows();
        auto* w = qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(*w, QStringLiteral("about:blank")), LoadTimeoutMs);
        w->menu打开下载窗口->trigger();
        QWidget* download = app().flow().find(WindowNames::FileDownload);
        QVERIFY(download && download->isVisible());
        QVERIFY(w->close());
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::Cover));
        QCOMPARE(t.settings().web1Url(), QStringLiteral("about:blank"));
        download->close();
        QTest::qWait(0);
    }

    void layoutRules_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("splitterTop");
        QTest::addColumn<int>("expectedTop");
        QTest::newRow("kept") << 600 << 300 << 300;
        QTest::newRow("too low") << 600 << 600 - 79 << 480;
        QTest::newRow("just high enough") << 600 << 600 - 80 << 520;
        QTest::newRow("above the browser") << 600 << 20 << 480;
    }
    void layoutRules() {
        QFETCH(int, height);
        QFETCH(int, splitterTop);
        QFETCH(int, expectedTop);
        const SearchLayout l = ComputeSearchLayout(800, height, 32, splitterTop, 5);
        QCOMPARE(l.splitterTop, expectedTop);
        QCOMPARE(l.bar.top(), expectedTop);
        QCOMPARE(l.web.top(), 32);
        QCOMPARE(l.web.bottom() + 1, expectedTop);
        QCOMPARE(l.list.top(), expectedTop + 5);
        QCOMPARE(l.list.bottom() + 1, height - 4);
        QCOMPARE(l.bar.width(), 800 - 20);
        QCOMPARE(l.web.left(), l.list.left());
    }

    void windowLayoutAndSplitter() {
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        fWebSearch w;
        w.show();
        w.resize(100, 100);
        QVERIFY(w.width() >= 600);
        QVERIFY(w.height() >= 333);
        w.resize(1000, 700);
        QTRY_COMPARE(w.width(), 1000);
        const int h = w.centralWidget()->height();

        // Dragging: the bar follows the pointer; release lays the panels out.
        const int before = w.splitterTop();
        QTest::mousePress(w.PicBar, Qt::LeftButton, {}, QPoint(50, 2));
        QMouseEvent move(QEvent::MouseMove, QPointF(50, -40),
                         w.PicBar->mapToGlobal(QPointF(50, -40)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(w.PicBar, &move);
        QCOMPARE(w.splitterTop(), before - 40);
        QTest::mouseRelease(w.PicBar, Qt::LeftButton, {}, QPoint(50, 2));
        QCOMPARE(w.PicPanWeb->geometry().bottom() + 1, w.splitterTop());
        QCOMPARE(w.PicPanList->geometry().top(), w.PicBar->geometry().bottom() + 1);

        // Dragged too far down, it comes back on the next layout: to four
        // fifths, or higher (not above half the height) where four fifths
        // would leave the list fewer than ten rows.
        w.setSplitterTop(h - 10);
        w.layoutPanels();
        const int listRoom = h - w.splitterTop() - 5 - 4;
        QVERIFY(w.splitterTop() <= h * 4 / 5);
        QVERIFY(w.splitterTop() == h * 4 / 5 || listRoom <= w.listPanelNeed(10) + 1 ||
                w.splitterTop() == h / 2);
        QVERIFY(w.splitterTop() >= h / 2);
        QVERIFY(w.PicPanList->height() >= w.listPanelNeed(3));
        QVERIFY(qAbs(w.PicPanPrograss->geometry().center().x() -
                     w.PicPanList->geometry().center().x()) <= 1);
    }

    void extractThisPage() {
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionSettings, PromptSaveFolder, 0);
        t.settings().write(SectionWebSearch, Web1Url, pages.url("results.html"));
        fWebSearch w;
        w.show();
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, pages.url("results.html")), LoadTimeoutMs);
        w.Command9->click();
        const ArticleListModel& list = *w.articles();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).title, QStringLiteral("First article"));
        QCOMPARE(list.at(0).link, QStringLiteral("https://127.0.0.1:9/one.pdf?a=1&b=2"));
        QCOMPARE(list.at(1).title, QStringLiteral("Second"));
        for (const ArticleEntry& e : list.rows()) {
            QCOMPARE(e.layout, QStringLiteral("SD1"));
            QCOMPARE(e.type, QStringLiteral("pdf"));
            QCOMPARE(e.saveFolder, QString());
            QCOMPARE(e.state, QString());
            QCOMPARE(e.pageAddress, pages.url("results.html"));
        }
        QCOMPARE(w.Label1->text(), QStringLiteral("2"));
        QVERIFY(t.dialogs->all().isEmpty());

        // The page again: every item is offered, none is added twice.
        QCOMPARE(w.ExtractResultPage(QString()), 3);
        QCOMPARE(list.size(), 2);

        // Only the items ticked on the page.
        w.menu清空全部->trigger();
        w.Check1->setChecked(true);
        QCOMPARE(w.ExtractResultPage(QStringLiteral("/x/")), 1);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.at(0).saveFolder, QStringLiteral("/x/"));
        QCOMPARE(w.Label1->text(), QStringLiteral("1"));
    }

    void closeDuringAWaitHappensAfterIt() {
        TestApp t;
        Pages pages(t.tempPath());
        t.settings().write(SectionWebSearch, Web1Url, pages.url("results.html"));
        registerWindows();
        QPointer<fWebSearch> w =
            qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(*w, pages.url("results.html")), LoadTimeoutMs);
        // The close arrives while the extraction waits for the page's answer.
        QTimer::singleShot(0, w, [w] { w->close(); });
        QCOMPARE(w->ExtractResultPage(QString()), 3);
        QVERIFY(w); // still here when the wait returned
        QCOMPARE(w->articles()->size(), 2);
        QTRY_VERIFY(w.isNull());
        QCOMPARE(t.settings().web1Url(), pages.url("results.html"));
        if (QWidget* cover = app().flow().find(WindowNames::Cover))
            cover->close();
        QTest::qWait(0);
    }

    void addThisPageAsksForTheFolder() {
        TestApp t;
        t.values->SiteHomeAddress = QStringLiteral("about:blank");
        t.values->CurrentSaveFolder = QStringLiteral("/unchanged/");
        fWebSearch w;
        w.show();
        QCOMPARE(t.values->PromptSaveFolder, 1);
        bool asked = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(0, &timers, [&] {
            if (auto* d = qobject_cast<fSeleFileSavePath*>(QApplication::activeModalWidget())) {
                asked = true;
                d->Command3->click();
            }
        });
        w.Command9->click();
        QVERIFY(asked);
        QVERIFY(t.values->SaveFolderCancelled);
        QCOMPARE(w.extractionSaveFolder(), QStringLiteral("/unchanged/"));

        t.values->PromptSaveFolder = 0;
        QCOMPARE(w.extractionSaveFolder(), QString());
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QTemporaryDir browserStorage;
    BrowserProfile::setStorageRoot(browserStorage.path());
    TestSearchWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_searchwindow.moc"
