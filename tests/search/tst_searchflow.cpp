// From result pages to the download list, through the real embedded browser
// on a fixture site of three result pages of the "SD2" design.

#include "FixtureServer.h"
#include "TestApp.h"
#include "download/fFileDownload.h"
#include "platform/Browser.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"
#include "shell/fSeleFileSavePath.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <algorithm>

namespace {
constexpr int LoadTimeoutMs = 30000;

QByteArray block(const QString& title, const QString& link) {
    return QStringLiteral("<div class=\"result-item-content\"><h2><a href=\"%2\">%1</a></h2>"
                          "<p>Authors</p><a class=\"download-link\" href=\"%2\">Download PDF</a>"
                          "</div>\n")
        .arg(title, link)
        .toUtf8();
}

QByteArray resultPage(const QByteArray& blocks, const QByteArray& next) {
    return "<html><head><title>Results</title></head><body><form>"
           "<input type=\"text\" value=\"query\"></form>\n" +
           blocks + next + "</body></html>";
}

QByteArray redirect(const QString& script) {
    return ("<html><head><script>" + script + "</script></head><body>Loading</body></html>")
        .toUtf8();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Confirms the save-folder dialog with this folder whenever it opens.
class SaveFolderAnswer : public QObject {
public:
    explicit SaveFolderAnswer(QString folder, bool cancel = false)
        : m_folder(std::move(folder)), m_cancel(cancel) {
        m_timer.setInterval(50);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<fSeleFileSavePath*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            ++asked;
            if (m_cancel) {
                dialog->Command3->click();
                return;
            }
            dialog->Combo1->setEditText(m_folder);
            dialog->Command2->click();
        });
        m_timer.start();
    }
    int asked = 0;

private:
    QString m_folder;
    bool m_cancel;
    QTimer m_timer;
};

struct Site {
    FixtureServer server;
    QString link(int n) const { return server.url(QStringLiteral("/art/%1").arg(n)); }
    QString pdf(int n) const { return server.url(QStringLiteral("/gen/%1").arg(1000 * n)); }

    Site() {
        // Page 1: the next control is a button; page 2: a "next" link with
        // offset=; page 3 has none. Article 1 shows again on page 2.
        server.addPage(QStringLiteral("/results/1"),
                       resultPage(block(QStringLiteral("Alpha study"), link(1)) +
                                      block(QStringLiteral("Beta study"), link(2)),
                                  "<input type=\"button\" value=\"Next\" "
                                  "onclick=\"location.href='/results/2'\">"));
        server.addPage(QStringLiteral("/results/2"),
                       resultPage(block(QStringLiteral("Gamma study"), link(3)) +
                                      block(QStringLiteral("Delta study"), link(4)) +
                                      block(QStringLiteral("Alpha study"), link(1)),
                                  "<a href=\"/results/3?offset=25\">next</a>"));
        server.addPage(QStringLiteral("/results/3"),
                       resultPage(block(QStringLiteral("Epsilon study"), link(5)),
                                  "<a href=\"/results/1\">first</a>"));
        // The intermediate pages.
        server.addPage(QStringLiteral("/art/1"),
                       redirect(QStringLiteral("window.location = '%1';").arg(pdf(1))));
        server.addPage(QStringLiteral("/art/2"),
                       redirect(QStringLiteral("window.location=\"%1\"").arg(pdf(2))));
        server.addPage(
            QStringLiteral("/art/3"),
            redirect(QStringLiteral("window.location  =  \"%1?a=1&amp;b=2\";").arg(pdf(3))));
        server.addPage(QStringLiteral("/art/4"),
                       QByteArray("<html><body>Abstract only</body></html>"));
        server.addPage(QStringLiteral("/art/5"),
                       redirect(QStringLiteral("window.location='%1';")
                                    .arg(server.url(QStringLiteral("/error.pdf")))));
    }
};

bool showsPage(const fWebSearch& w, const QString& url) {
    return w.WebBrowser1->address() == url && !w.WebBrowser1->busy();
}

fFileDownload* downloadWindow() {
    return qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
}

QStringList links(const fWebSearch& w) {
    QStringList list;
    for (const ArticleEntry& row : w.articles()->rows())
        list << row.link;
    return list;
}
} // namespace

class TestSearchFlow : public QObject {
    Q_OBJECT
private slots:
    void init() {
        testApp = std::make_unique<TestApp>();
        testApp->values->SiteHomeAddress = QStringLiteral("about:blank");
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
    }
    void cleanup() {
        if (fFileDownload* d = downloadWindow())
            delete d;
        testApp.reset();
    }

    void walkAnalyseAndDirectDownload() {
        Site site;
        fWebSearch w;
        w.show();
        w.Combo2->setCurrentIndex(0);
        const QString folder = testApp->tempPath() + QStringLiteral("/papers");
        SaveFolderAnswer answer(folder);

        w.WebBrowser1->navigate(site.server.url(QStringLiteral("/results/1")));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, site.server.url(QStringLiteral("/results/1"))),
                                 LoadTimeoutMs);

        // "加入全部到列表": red stop button and a disabled browser while it walks.
        QStringList captions;
        bool panelDisabled = false;
        QTimer watch;
        watch.setInterval(30);
        connect(&watch, &QTimer::timeout, [&] {
            if (!captions.contains(w.Command4->text()))
                captions << w.Command4->text();
            panelDisabled = panelDisabled || !w.PicPanWeb->isEnabled();
        });
        watch.start();
        QTest::mouseClick(w.Command4, Qt::LeftButton);
        watch.stop();
        QVERIFY(captions.contains(QStringLiteral("停止加入全部")));
        QVERIFY(panelDisabled);
        QCOMPARE(w.Command4->text(), QStringLiteral("加入全部到列表"));
        QVERIFY(w.PicPanWeb->isEnabled());
        QVERIFY(w.ExtractStopped);
        QCOMPARE(answer.asked, 1);
        QVERIFY(w.WebBrowser1->address().startsWith(site.server.url(QStringLiteral("/results/3"))));
        QCOMPARE(links(w), QStringList({site.link(1), site.link(2), site.link(3), site.link(4),
                                        site.link(5)}));
        for (const ArticleEntry& row : w.articles()->rows()) {
            QCOMPARE(row.layout, QStringLiteral("SD2"));
            QCOMPARE(row.saveFolder, folder + QStringLiteral("/"));
        }
        QCOMPARE(w.Label1->text(), QStringLiteral("5"));

        // "分析全部" with delay 0: every found PDF goes to the download list.
        w.menu全部加入->trigger();
        QVERIFY(w.AnalyseStopped);
        QVERIFY(!w.PicPanPrograss->isVisible());
        const QStringList states = {"分析完成", "分析完成", "分析完成", "分析失败", "分析完成"};
        for (int row = 0; row < 5; ++row)
            QCOMPARE(w.articles()->at(row).state, states.at(row));
        fFileDownload* d = downloadWindow();
        QVERIFY(d);
        QVERIFY(d->isVisible());
        QCOMPARE(d->list()->count(), 4);
        const QStringList keys = {site.pdf(1), site.pdf(2),
                                  site.pdf(3) + QStringLiteral("?a=1&b=2"),
                                  site.server.url(QStringLiteral("/error.pdf"))};
        const QStringList names = {"Alpha study", "Beta study", "Gamma study", "Epsilon study"};
        const QList<int> sources = {1, 2, 3, 5};
        for (int i = 0; i < 4; ++i) {
            const DownloadItem& item = d->list()->item(i);
            QCOMPARE(item.key, keys.at(i));
            QCOMPARE(item.name, names.at(i));
            QCOMPARE(item.type, QStringLiteral("pdf"));
            QCOMPARE(item.folder, folder + QStringLiteral("/"));
            QCOMPARE(item.tag, site.link(sources.at(i)));
            QCOMPARE(item.state, ItemState::Waiting);
        }

        // "开始下载" fetches them; the HTML answer ends as type "htm".
        QVERIFY(d->Command4->isEnabled());
        QTest::mouseClick(d->Command4, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(d->list()->countInState(ItemState::Waiting) == 0 &&
                                     d->list()->countInState(ItemState::Downloading) == 0,
                                 LoadTimeoutMs);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(d->list()->item(i).state, ItemState::Finished);
            QCOMPARE(d->list()->item(i).type, QStringLiteral("pdf"));
        }
        QCOMPARE(readFile(folder + QStringLiteral("/Beta study.pdf")),
                 FixtureServer::generatedContent(2000));
        QCOMPARE(d->list()->item(3).type, QStringLiteral("htm"));
        QVERIFY(readFile(folder + QStringLiteral("/Epsilon study.htm")).contains("Sign in"));

        // Delay 1: two intermediate pages are asked at least a second apart;
        // rows already in the download list are refused there and stay "分析完成".
        site.server.clearRequests();
        w.Combo2->setCurrentIndex(1);
        w.menu全部加入->trigger();
        QCOMPARE(d->list()->count(), 4);
        QCOMPARE(w.articles()->at(0).state, QStringLiteral("分析完成"));
        QList<FixtureRequest> pages;
        for (const FixtureRequest& r : site.server.requests())
            if (r.path.startsWith(QStringLiteral("/art/")))
                pages << r;
        QCOMPARE(pages.size(), 5);
        for (int i = 1; i < pages.size(); ++i)
            QVERIFY2(pages.at(i - 1).time.msecsTo(pages.at(i).time) >= 1000,
                     qPrintable(pages.at(i).path));

        // "分析后直接下载": the file is written into the row's folder under its title.
        w.Combo2->setCurrentIndex(0);
        w.Check4->setChecked(true);
        w.menu全部加入->trigger();
        QCOMPARE(w.articles()->at(0).state, QStringLiteral("下载成功"));
        QCOMPARE(w.articles()->at(3).state, QStringLiteral("分析失败"));
        QCOMPARE(readFile(folder + QStringLiteral("/Alpha study.pdf")),
                 FixtureServer::generatedContent(1000));
        QCOMPARE(readFile(folder + QStringLiteral("/Gamma study.pdf")),
                 FixtureServer::generatedContent(3000));
        QCOMPARE(d->list()->count(), 4);
    }

    // "停止" during a run ends it within the delay; while it runs the window
    // refuses to close and the progress panel shows.
    void stopDuringRun() {
        Site site;
        fWebSearch w;
        w.show();
        app().PromptSaveFolder = 1;
        for (int n = 1; n <= 4; ++n)
            w.加入LV1(QStringLiteral("T%1").arg(n), site.link(n), QStringLiteral("http://h/r"),
                      QStringLiteral("pdf"), testApp->tempPath(), QStringLiteral("SD2"));
        w.Combo2->setCurrentIndex(30);
        bool panelShown = false;
        QString label;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(500, &timers, [&] {
            panelShown = w.PicPanPrograss->isVisible();
            label = w.Label11->text();
            w.close();
            QVERIFY(w.isVisible());
            QTest::mouseClick(w.Command5, Qt::LeftButton);
        });
        QElapsedTimer real;
        real.start();
        w.menu全部加入->trigger();
        QVERIFY(real.elapsed() < 10000);
        QVERIFY(panelShown);
        QCOMPARE(label, QStringLiteral("正在分析,请稍候..."));
        QCOMPARE(testApp->dialogs->errors,
                 QStringList({QStringLiteral("正在工作，停止以后才能退出！")}));
        QVERIFY(w.AnalyseStopped);
        QVERIFY(!w.PicPanPrograss->isVisible());
        QCOMPARE(w.articles()->at(0).state, QStringLiteral("分析完成"));
        QCOMPARE(w.articles()->at(1).state, QString());
        QCOMPARE(site.server.requestsFor(QStringLiteral("/art/2")).size(), 0);
    }

    // A next page that never loads ends the walk after 90 seconds of the
    // program clock; an intermediate page that never answers fails its row
    // after 60.
    void pageAndRequestLimits() {
        Site site;
        site.server.addPage(QStringLiteral("/results/slow"),
                            resultPage(block(QStringLiteral("Zeta"), site.link(1)),
                                       "<a href=\"/hang?offset=1\">Next</a>"));
        fWebSearch w;
        w.show();
        app().PromptSaveFolder = 0;
        w.Combo2->setCurrentIndex(0);
        w.WebBrowser1->navigate(site.server.url(QStringLiteral("/results/slow")));
        QTRY_VERIFY_WITH_TIMEOUT(showsPage(w, site.server.url(QStringLiteral("/results/slow"))),
                                 LoadTimeoutMs);
        bool stillRunning = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(300, &timers, [&] { app().clock().advance(2); });
        QTimer::singleShot(2000, &timers, [&] {
            app().clock().advance(85);
            QTimer::singleShot(300, &timers, [&] {
                stillRunning = !w.ExtractStopped;
                app().clock().advance(6);
            });
        });
        QElapsedTimer real;
        real.start();
        QTest::mouseClick(w.Command4, Qt::LeftButton);
        QVERIFY(stillRunning);
        QVERIFY(real.elapsed() < 20000);
        QVERIFY(w.ExtractStopped);
        QCOMPARE(w.Command4->text(), QStringLiteral("加入全部到列表"));
        QCOMPARE(links(w), QStringList({site.link(1)}));

        w.加入LV1(QStringLiteral("Hanging"), site.server.url(QStringLiteral("/hang")),
                  QStringLiteral("http://h/r"), QStringLiteral("pdf"), testApp->tempPath(),
                  QStringLiteral("SD2"));
        site.server.clearRequests();
        QTimer::singleShot(500, &timers, [&] {
            QVERIFY(site.server.waitForRequests(QStringLiteral("/hang")));
            app().clock().advance(61);
        });
        w.menu选中加入->setEnabled(true);
        w.ListView1->selectionModel()->select(
            w.articles()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        SaveFolderAnswer answer(testApp->tempPath());
        w.menu选中加入->trigger();
        QCOMPARE(w.articles()->at(1).state, QStringLiteral("分析失败"));
        QCOMPARE(w.articles()->at(0).state, QString());
        site.server.releaseStalls();
    }

    void smallCommands() {
        fWebSearch w;
        // "分析下载" on an empty list.
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QCOMPARE(testApp->dialogs->informations, QStringList({QStringLiteral("列表没有数据哦！")}));
        QVERIFY(w.Command2->isEnabled());

        // Export: titles, one per line, and the size message.
        w.加入LV1(QStringLiteral("One"), QStringLiteral("http://h/1"), QString(),
                  QStringLiteral("pdf"), QString(), QStringLiteral("SD1"));
        w.加入LV1(QStringLiteral("Two"), QStringLiteral("http://h/2"), QString(),
                  QStringLiteral("pdf"), QString(), QStringLiteral("SD1"));
        // With rows, "分析下载" pops up the four runs; the button waits for it.
        bool popupShown = false;
        bool buttonDisabled = false;
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(200, &timers, [&] {
            QWidget* popup = QApplication::activePopupWidget();
            popupShown = popup == w.menu加入;
            buttonDisabled = !w.Command2->isEnabled();
            if (popup)
                popup->close();
        });
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QVERIFY(popupShown);
        QVERIFY(buttonDisabled);
        QVERIFY(w.Command2->isEnabled());

        const QString path = testApp->tempPath() + QStringLiteral("/titles");
        testApp->dialogs->fileAnswers.push_back(path);
        QTest::mouseClick(w.Command7, Qt::LeftButton);
        QCOMPARE(testApp->dialogs->saveSuffixes.last(), QStringLiteral("txt"));
        QCOMPARE(readFile(path + QStringLiteral(".txt")), QByteArray("One\r\nTwo\r\n"));
        QCOMPARE(testApp->dialogs->informations.last(), QStringLiteral("保存文件完毕：0.01KB"));

        // Automatic analysis: with the prompt off, cancelling the dialog unticks the box.
        app().PromptSaveFolder = 0;
        {
            SaveFolderAnswer cancel(QString(), true);
            w.Check3->setChecked(true);
            QVERIFY(!w.Check3->isChecked());
            QVERIFY(!w.Timer1->isActive());
        }
        // With the prompt on, ticking starts the timer at once; its tick
        // analyses the unanalysed rows.
        app().PromptSaveFolder = 1;
        w.Check3->setChecked(true);
        QVERIFY(w.Timer1->isActive());
        QCOMPARE(w.Timer1->interval(), 60000);
        w.Timer1->setInterval(10);
        QTRY_COMPARE(w.articles()->at(1).state, QStringLiteral("分析完成"));
        w.Check3->setChecked(false);
        QVERIFY(!w.Timer1->isActive());
        QCOMPARE(downloadWindow()->list()->count(), 2);
    }

private:
    std::unique_ptr<TestApp> testApp;
};

QTEST_MAIN(TestSearchFlow)
#include "tst_searchflow.moc"
