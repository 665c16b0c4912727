#include "TestApp.h"
#include "download/fFileDownload.h"
#include "platform/BrowserProfile.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"
#include "shell/fCover.h"

#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// The two main windows and the start-up window, as the program wires them:
// the start-up window comes back only when the last main window closes.
class TestMainWindows : public QObject {
    Q_OBJECT

    struct Program {
        TestApp t;
        fCover* cover = nullptr;
        Program() {
            WindowFlow& flow = app().flow();
            flow.registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
            flow.registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
            cover = new fCover;
            cover->load();
            flow.registerWindow(WindowNames::Cover, [this] { return cover; });
        }
        ~Program() {
            for (const QString& name : {WindowNames::WebSearch, WindowNames::FileDownload})
                delete app().flow().find(name);
            delete cover;
        }
        QWidget* search() { return app().flow().find(WindowNames::WebSearch); }
        QWidget* download() { return app().flow().find(WindowNames::FileDownload); }
        void openSearch() { QTest::mouseClick(cover->Command1, Qt::LeftButton); }
    };

    static void closeAndSettle(QWidget* w) {
        QPointer<QWidget> guard(w);
        QVERIFY(w->close());
        QTRY_VERIFY(guard.isNull());
    }

private slots:
    void coverReturnsWhenTheLastMainWindowCloses_data() {
        QTest::addColumn<bool>("searchFirst");
        QTest::newRow("search closed first") << true;
        QTest::newRow("download closed first") << false;
    }
    void coverReturnsWhenTheLastMainWindowCloses() {
        QFETCH(bool, searchFirst);
        Program p;
        p.openSearch();
        QVERIFY(!p.cover->isVisible());
        QVERIFY(p.search() && p.search()->isVisible());
        app().flow().show(WindowNames::FileDownload);
        QVERIFY(p.download() && p.download()->isVisible());

        closeAndSettle(searchFirst ? p.search() : p.download());
        QVERIFY(!p.cover->isVisible());
        closeAndSettle(searchFirst ? p.download() : p.search());
        QVERIFY(p.cover->isVisible());
        QCOMPARE(p.t.exitCount, 0);
    }

    void searchWindowRefusesToCloseDuringARun() {
        Program p;
        p.openSearch();
        auto* search = qobject_cast<fWebSearch*>(p.search());
        QVERIFY(search);
        search->加入LV1(QStringLiteral("A title"), QStringLiteral("http://127.0.0.1:9/a"),
                        QStringLiteral("http://127.0.0.1:9/list"), QStringLiteral("pdf"),
                        QStringLiteral("/tmp/"), QStringLiteral("SD2"));
        search->ExtractStopped = false;
        QVERIFY(!search->close());
        QCOMPARE(p.t.dialogs->errors, QStringList{QStringLiteral("正在工作，停止以后才能退出！")});
        QVERIFY(app().flow().IsFormLoaded(WindowNames::WebSearch));
        QCOMPARE(search->articles()->size(), 1);
        QVERIFY(!p.cover->isVisible());

        search->ExtractStopped = true;
        closeAndSettle(search);
        QVERIFY(p.cover->isVisible());
    }

    void reopenedSearchWindowStartsEmptyWithItsStoredDelay() {
        Program p;
        p.openSearch();
        auto* search = qobject_cast<fWebSearch*>(p.search());
        search->加入LV1(QStringLiteral("A title"), QStringLiteral("http://127.0.0.1:9/a"),
                        QStringLiteral("http://127.0.0.1:9/list"), QStringLiteral("pdf"),
                        QStringLiteral("/tmp/"), QStringLiteral("SD2"));
        search->Combo2->setCurrentIndex(0);
        closeAndSettle(search);
        QCOMPARE(p.t.settings().read(SettingsKeys::SectionWebSearch, SettingsKeys::Delay, 10),
                 QStringLiteral("0"));

        p.openSearch();
        search = qobject_cast<fWebSearch*>(p.search());
        QCOMPARE(search->articles()->size(), 0);
        QCOMPARE(search->Combo2->currentIndex(), 0);
    }

    void handOffLoadsTheDownloadWindowUnseen() {
        Program p;
        p.openSearch();
        DownloadListSink* list = app().flow().downloadList();
        QVERIFY(list);
        list->AddDownloadItem(QStringLiteral("http://127.0.0.1:9/a.pdf"), QStringLiteral("a"),
                              QStringLiteral("pdf"), QStringLiteral("/tmp/"), QString());
        auto* download = qobject_cast<fFileDownload*>(p.download());
        QVERIFY(download);
        QVERIFY(!download->isVisible());
        QCOMPARE(download->list()->count(), 1);
        // Closing the search window with the download window loaded, even
        // unseen, keeps the start-up window away.
        closeAndSettle(p.search());
        QVERIFY(!p.cover->isVisible());
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QTemporaryDir browserStorage;
    BrowserProfile::setStorageRoot(browserStorage.path());
    TestMainWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindows.moc"
