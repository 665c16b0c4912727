#include "TestApp.h"
#include "download/WindowPlacement.h"
#include "download/fFileDownload.h"
#include "platform/AppPaths.h"
#include "platform/Sound.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace SettingsKeys;

namespace {
const QString CloseQuestion = QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？");

// A loaded download window as the window flow makes it: deleted when it closes.
QPointer<fFileDownload> loadWindow() {
    return qobject_cast<fFileDownload*>(app().flow().load(WindowNames::FileDownload));
}

void registerWindows(TestApp& t) {
    t.values->flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
}

// Closes the window and lets a deferred delete happen.
bool closeAndSettle(QWidget* w) {
    const bool closed = w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return closed;
}

QString currentResolution() {
    const QSize s = QGuiApplication::primaryScreen()->geometry().size();
    return QStringLiteral("%1*%2").arg(s.width()).arg(s.height());
}
} // namespace

class TestDownloadWindow : public QObject {
    Q_OBJECT
private slots:
    void everyControlIsThere() {
        TestApp t;
        fFileDownload w;
        const QStringList names = {"ListView3", "Label4",  "Label1",     "Label7",   "Command26",
                                   "Label2",    "Combo1",  "Label5",     "Combo2",   "Label8",
                                   "Option1",   "Option2", "Option3",    "Command4", "Command31",
                                   "Check4",    "Check5",  "Check6",     "Check3",   "Combo4",
                                   "Combo3",    "Shape1",  "StatusBar1", "Picture3"};
        for (const QString& name : names)
            QVERIFY2(w.findChild<QWidget*>(name), qPrintable(name));
        for (const char* name : {"Timer_Down", "Timer1", "Timer2"})
            QVERIFY2(w.findChild<QTimer*>(QLatin1String(name)), name);
        QCOMPARE(w.Timer_Down->interval(), 1000);
        QCOMPARE(w.Timer1->interval(), 1000);
        QCOMPARE(w.Timer2->interval(), 60000);
        QCOMPARE(w.objectName(), QStringLiteral("fFileDownload"));
        QCOMPARE(w.windowTitle(), QStringLiteral("文件下载-Varnelle"));
        QCOMPARE(w.Label5->text(), QStringLiteral("两个文件下载间隔：        秒"));
        QCOMPARE(w.ListView3->toolTip(), QStringLiteral("双击鼠标：下载当前项或者打开文件"));
        QCOMPARE(w.ListView3->model(), w.list());
        QCOMPARE(w.ListView3->columnWidth(0), 706); // 10583 twips
        QCOMPARE(w.ListView3->columnWidth(6), 169); // 2540 twips

        // Menus are all present.
        const QStringList menus = {"menu下载",     "menu窗口", "menu工具",     "menu帮助",
                                   "menu重新下载", "menu清除", "menu删除文件", "menu导出名称"};
        for (const QString& name : menus)
            QVERIFY2(w.findChild<QMenu*>(name), qPrintable(name));
        QCOMPARE(w.findChild<QAction*>("menu下载全部")->text(), QStringLiteral("开始下载"));
        QCOMPARE(w.menu下载->title(), QStringLiteral("列表操作(&D)"));
        QVERIFY(w.menu自动定位到下载项->isCheckable());
        QVERIFY(!w.menu自动定位到下载项->isChecked());
        QVERIFY(w.menu清空IE浏览器缓存->isEnabled());
    }

    void loadStartsControlsAsDesigned() {
        TestApp t;
        app().clock().advance(1234);
        const double before = app().clock().now();
        fFileDownload w;
        QVERIFY(qAbs(w.LastFinishTime - before) < 5);
        QCOMPARE(w.list()->count(), 0);
        for (QCheckBox* c : {w.Check4, w.Check5, w.Check6, w.Check3})
            QVERIFY(!c->isChecked());
        QCOMPARE(w.Combo4->currentIndex(), 0);
        QCOMPARE(w.Combo4->currentText(), QStringLiteral("出错项"));
        QCOMPARE(w.Combo3->currentText(), QStringLiteral("下载到网页文件(htm/html/asp)文件"));
        QCOMPARE(w.Combo2->count(), 601);
        QCOMPARE(w.Combo2->itemText(600), QStringLiteral("600"));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("0"));
        QVERIFY(w.Timer1->isActive());
        QVERIFY(!w.Timer_Down->isActive());
        QVERIFY(!w.Timer2->isActive());
        QVERIFY(!w.Shape1->isVisibleTo(&w));
        QCOMPARE(w.CountWorkers(), 1);
        QVERIFY(!w.Busy);
        QCOMPARE(w.WorkerRow.size(), std::size_t(12));
    }

    void loadReadsSettings_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("threads");
        QTest::addColumn<QString>("policy");
        QTest::addColumn<QString>("combo1");
        QTest::addColumn<bool>("combo1Enabled");
        QTest::addColumn<QString>("option");
        QTest::newRow("first start") << ""
                                     << ""
                                     << ""
                                     << "3" << true << "Option3";
        QTest::newRow("thread 5 selects 6") << "2"
                                            << "5"
                                            << "跳过"
                                            << "6" << true << "Option1";
        QTest::newRow("thread 0") << "2"
                                  << "0"
                                  << "覆盖"
                                  << "1" << true << "Option2";
        QTest::newRow("mode 1 ignores threads") << "1"
                                                << "4"
                                                << " 跳过 "
                                                << "1" << false << "Option1";
        QTest::newRow("unknown policy renames") << "2"
                                                << "3"
                                                << "删除"
                                                << "4" << true << "Option3";
        QTest::newRow("garbage thread") << "2"
                                        << "x"
                                        << "重命名"
                                        << "3" << true << "Option3";
    }
    void loadReadsSettings() {
        QFETCH(QString, mode);
        QFETCH(QString, threads);
        QFETCH(QString, policy);
        QFETCH(QString, combo1);
        QFETCH(bool, combo1Enabled);
        QFETCH(QString, option);
        TestApp t;
        if (!mode.isEmpty())
            t.settings().write(SectionSettings, DownloadMode, mode);
        if (!threads.isEmpty())
            t.settings().write(SectionDownload, Threads, threads);
        if (!policy.isEmpty())
            t.settings().write(SectionPatent, SettingsKeys::DuplicatePolicy, policy);
        t.settings().write(SectionSettings, ProxyEnabled, QStringLiteral("1"));
        t.settings().write(SectionSettings, ProxyAddress, QStringLiteral(" 10.1.2.3 "));
        t.settings().write(SectionSettings, ProxyPort, QStringLiteral("8080"));
        t.settings().write(SectionSettings, MaxFileSize, QStringLiteral("2.5"));

        fFileDownload w;
        const int expectedMode = mode.isEmpty() ? 2 : mode.toInt();
        QCOMPARE(app().DownloadMode, expectedMode);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：%1").arg(expectedMode));
        QCOMPARE(w.Combo1->currentText(), combo1);
        QCOMPARE(w.Combo1->isEnabled(), combo1Enabled);
        QVERIFY(w.findChild<QRadioButton*>(option)->isChecked());
        QCOMPARE(app().ProxyEnabled, 1);
        QCOMPARE(app().ProxyAddress, QStringLiteral("10.1.2.3"));
        QCOMPARE(app().ProxyPort, QStringLiteral("8080"));
        QCOMPARE(app().MaxFileSizeMB, 2.5);
    }

    void followsModeFromOptionsAndSwitch() {
        TestApp t;
        t.settings().write(SectionDownload, Threads, QStringLiteral("4"));
        fFileDownload w;
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("5"));
        app().setDownloadMode(1); // what the options dialog does
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：1"));
        QVERIFY(!w.Combo1->isEnabled());
        app().setDownloadMode(2);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：2"));
        QVERIFY(w.Combo1->isEnabled());
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));

        w.Combo1->setCurrentIndex(3);
        QTest::mouseClick(w.Command26, Qt::LeftButton);
        QCOMPARE(app().DownloadMode, 1);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：1"));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
        QVERIFY(!w.Combo1->isEnabled());
        QTest::mouseClick(w.Command26, Qt::LeftButton);
        QCOMPARE(app().DownloadMode, 2);
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
        QVERIFY(w.Combo1->isEnabled());
    }

    void twipsAndResolutionText() {
        QCOMPARE(ScreenResolutionText(28800, 16200), QStringLiteral("1920*1080"));
        QCOMPARE(ScreenResolutionText(20490, 11515), QStringLiteral("1366*768")); // 1366, 767.67
        QCOMPARE(Twips::fromPixels(100), 1500);
        QCOMPARE(Twips::toPixels(4000), 267);
        QCOMPARE(Twips::toPixels(22), 1);
        const DownloadWindowLayout l = LayoutDownloadWindow(1000, 600, 50);
        QCOMPARE(l.panel, QRect(1, 1, 980, 50));
        QCOMPARE(l.list, QRect(1, 51, 980, 600 - 51 - 9));
    }

    void readPlacement_data() {
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QStringList>("stored"); // top, left, width, height ("-" = missing)
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QList<int>>("expected"); // top, left, width, height
        const QStringList none = {"-", "-", "-", "-"};
        QTest::newRow("first start") << "-" << none << true << QList<int>{};
        QTest::newRow("closed maximised")
            << "0*0" << QStringList{"300", "300", "9000", "6000"} << true << QList<int>{};
        QTest::newRow("other screen")
            << "800*600" << QStringList{"300", "300", "9000", "6000"} << true << QList<int>{};
        QTest::newRow("defaults") << "=" << none << false << QList<int>{100, 100, 15000, 10000};
        QTest::newRow("stored") << "=" << QStringList{"450", "1500", "9000", "6000"} << false
                                << QList<int>{450, 1500, 9000, 6000};
        QTest::newRow("limits") << "=" << QStringList{"-50", "-1", "100", "2999"} << false
                                << QList<int>{0, 0, 4000, 3000};
        QTest::newRow("garbage") << "=" << QStringList{"up", "", "wide", "1e3"} << false
                                 << QList<int>{100, 100, 15000, 3000};
    }
    void readPlacement() {
        QFETCH(QString, resolution);
        QFETCH(QStringList, stored);
        QFETCH(bool, maximised);
        QFETCH(QList<int>, expected);
        TestApp t;
        const QString here = QStringLiteral("1920*1080");
        if (resolution != QLatin1String("-"))
            t.settings().write(SectionFileDownload, Resolution,
                               resolution == QLatin1String("=") ? here : resolution);
        const QStringList keys = {Top, Left, Width, Height};
        for (int i = 0; i < 4; ++i) {
            if (stored.at(i) != QLatin1String("-"))
                t.settings().write(SectionFileDownload, keys.at(i), stored.at(i));
        }
        const WindowPlacement p = ReadWindowPlacement(t.settings(), SectionFileDownload, here);
        QCOMPARE(p.maximised, maximised);
        if (!maximised)
            QCOMPARE((QList<int>{p.top, p.left, p.width, p.height}), expected);
    }

    void placementRoundTrip() {
        TestApp t;
        registerWindows(t);
        QPointer<fFileDownload> w = loadWindow();
        QVERIFY(w);
        QVERIFY(w->windowState() & Qt::WindowMaximized); // first start
        w->setWindowState(Qt::WindowNoState);
        // A place within the test screen (800 x 600): one past its edges
        // would be moved back within it.
        w->move(40, 30);
        w->resize(700, 500);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(closeAndSettle(w));
        QVERIFY(!w);
        SettingsStore& s = t.settings();
        QCOMPARE(s.read(SectionFileDownload, Resolution, QStringLiteral("000")),
                 currentResolution());
        QCOMPARE(s.read(SectionFileDownload, Top, 0), QStringLiteral("450"));
        QCOMPARE(s.read(SectionFileDownload, Left, 0), QStringLiteral("600"));
        QCOMPARE(s.read(SectionFileDownload, Width, 0), QStringLiteral("10500"));
        QCOMPARE(s.read(SectionFileDownload, Height, 0), QStringLiteral("7500"));

        w = loadWindow();
        QVERIFY(!(w->windowState() & Qt::WindowMaximized));
        QCOMPARE(w->pos(), QPoint(40, 30));
        QCOMPARE(w->size(), QSize(700, 500));

        // Closed maximised: only the resolution is written, as "0*0", and it opens maximised again.
        w->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QVERIFY(closeAndSettle(w));
        QCOMPARE(s.read(SectionFileDownload, Resolution, QStringLiteral("000")),
                 QStringLiteral("0*0"));
        QCOMPARE(s.read(SectionFileDownload, Width, 0), QStringLiteral("10500"));
        w = loadWindow();
        QVERIFY(w->windowState() & Qt::WindowMaximized);
        delete w;
    }

    void closeQuestion_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("No keeps the window") << false;
        QTest::newRow("Yes closes it") << true;
    }
    void closeQuestion() {
        QFETCH(bool, answer);
        TestApp t;
        registerWindows(t);
        QPointer<fFileDownload> w = loadWindow();
        w->show();
        w->list()->AddDownloadItem(QStringLiteral("http://a/1.pdf"), QStringLiteral("a"),
                                   QStringLiteral("pdf"), QStringLiteral("/tmp/"), QString());
        w->list()->AddDownloadItem(QStringLiteral("http://a/2.pdf"), QStringLiteral("b"),
                                   QStringLiteral("pdf"), QStringLiteral("/tmp/"), QString());
        w->list()->setState(1, ItemState::Downloading);
        w->Option2->setChecked(true);
        app().setDownloadMode(1);
        w->Combo1->setCurrentIndex(0);
        t.dialogs->questionAnswers.push_back(answer);

        QCOMPARE(closeAndSettle(w), answer);
        QCOMPARE(t.dialogs->questions, QStringList{CloseQuestion});
        // Policy and mode are saved whatever the answer.
        QCOMPARE(t.settings().read(SectionPatent, SettingsKeys::DuplicatePolicy, QString()),
                 QStringLiteral("覆盖"));
        QCOMPARE(t.settings().read(SectionSettings, DownloadMode, QString()), QStringLiteral("1"));
        QCOMPARE(app().DuplicatePolicy, QStringLiteral("覆盖"));
        if (!answer) {
            QVERIFY(w);
            QVERIFY(w->isVisible());
            QVERIFY(app().flow().IsFormLoaded(QStringLiteral("ffiledownload")));
            QVERIFY(w->Timer1->isActive());
            QCOMPARE(w->list()->item(1).state, ItemState::Downloading);
            // The worker count is kept as it changed (the mode switch put it
            // back to one), not only by the close.
            QCOMPARE(t.settings().read(SectionDownload, Threads, QStringLiteral("none")),
                     QString::number(w->Combo1->currentIndex()));
            delete w;
        } else {
            QVERIFY(!w);
            QVERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
            QCOMPARE(t.settings().read(SectionDownload, Threads, QString()), QStringLiteral("0"));
        }
    }

    void closeQuestionReasons_data() {
        QTest::addColumn<QString>("reason");
        QTest::newRow("waiting row") << "waiting";
        QTest::newRow("scheduler on") << "scheduler";
        QTest::newRow("worker loaded") << "worker";
    }
    void closeQuestionReasons() {
        QFETCH(QString, reason);
        TestApp t;
        fFileDownload w;
        w.list()->AddDownloadItem(QStringLiteral("http://a/1.pdf"), QStringLiteral("a"), QString(),
                                  QString(), QString());
        w.list()->setState(0, ItemState::Finished);
        QVERIFY(!w.closeNeedsQuestion());
        QObject worker;
        if (reason == QLatin1String("waiting"))
            w.list()->setState(0, ItemState::Waiting);
        else if (reason == QLatin1String("scheduler"))
            w.Timer_Down->start();
        else
            w.Downloader1[3] = &worker;
        QVERIFY(w.closeNeedsQuestion());
        QVERIFY(w.downloadRunning() || reason == QLatin1String("waiting"));
        w.Downloader1[3] = nullptr;
    }

    void finishedAndStoppedClosesWithoutQuestion() {
        TestApp t;
        registerWindows(t);
        QPointer<fFileDownload> w = loadWindow();
        w->show();
        const QList<ItemState> states = {ItemState::Finished, ItemState::Failed,
                                         ItemState::Finished};
        for (int i = 0; i < states.size(); ++i) {
            w->list()->AddDownloadItem(QStringLiteral("http://a/%1").arg(i), QStringLiteral("n"),
                                       QStringLiteral("pdf"), QString(), QString());
            w->list()->setState(i, states.at(i));
        }
        QVERIFY(closeAndSettle(w));
        QVERIFY(!w);
        QVERIFY(t.dialogs->questions.isEmpty());
    }

    void startupWindowAfterClose_data() {
        QTest::addColumn<bool>("searchLoaded");
        QTest::newRow("search window closed") << false;
        QTest::newRow("search window open") << true;
    }
    void startupWindowAfterClose() {
        QFETCH(bool, searchLoaded);
        TestApp t;
        registerWindows(t);
        QWidget cover;
        cover.setObjectName(WindowNames::Cover);
        std::unique_ptr<QWidget> search;
        if (searchLoaded) {
            search = std::make_unique<QWidget>();
            search->setObjectName(WindowNames::WebSearch);
            search->show();
        }
        QPointer<fFileDownload> w = loadWindow();
        w->show();
        QVERIFY(!cover.isVisible());
        QVERIFY(closeAndSettle(w));
        QCOMPARE(cover.isVisible(), !searchLoaded);
    }

    void handOffLoadsWithoutShowing() {
        TestApp t;
        registerWindows(t);
        QVERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
        DownloadListSink* sink = app().flow().downloadList();
        QVERIFY(sink);
        sink->AddDownloadItem(QStringLiteral("http://a/1.pdf"), QStringLiteral("a"),
                              QStringLiteral("pdf"), QStringLiteral("/tmp/"),
                              QStringLiteral("http://a/page"));
        app().flow().downloadList()->AddDownloadItem(QStringLiteral("http://a/1.pdf"),
                                                     QStringLiteral("again"), QString(), QString(),
                                                     QString());
        QPointer<fFileDownload> w =
            qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(w);
        QVERIFY(!w->isVisible());
        QCOMPARE(w->list()->count(), 1);
        QCOMPARE(w->list()->item(0).name, QStringLiteral("a"));
        QCOMPARE(w->list()->item(0).tag, QStringLiteral("http://a/page"));

        // "关闭本下载窗口" closes through the close rules: a waiting row asks first.
        t.dialogs->questionAnswers.push_back(false);
        w->menu退出本下载窗口->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(w);
        QCOMPARE(t.dialogs->questions.size(), 1);
        w->list()->setState(0, ItemState::Failed);
        w->menu退出本下载窗口->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!w);
        QCOMPARE(t.dialogs->questions.size(), 1);
    }

    void stopCommandFailsRunningRows() {
        TestApp t;
        fFileDownload w;
        for (int i = 0; i < 4; ++i)
            w.list()->AddDownloadItem(QStringLiteral("http://a/%1").arg(i), QStringLiteral("n"),
                                      QString(), QString(), QString());
        w.list()->setState(1, ItemState::Downloading);
        w.list()->setState(2, ItemState::Downloading);
        w.list()->setState(3, ItemState::Finished);
        w.list()->setSize(1, QStringLiteral("1000"));
        auto* worker = new QObject;
        w.Downloader1[1] = worker;
        w.Check4->setChecked(true);
        w.Check3->setChecked(true);
        w.Check5->setChecked(true);
        w.Timer_Down->start();
        w.Busy = true;
        w.StopDownload();
        QVERIFY(!w.Check4->isChecked());
        QVERIFY(!w.Check3->isChecked());
        QVERIFY(w.Check5->isChecked());
        QVERIFY(!w.Timer_Down->isActive());
        QVERIFY(!w.Busy);
        QCOMPARE(w.CountWorkers(), 1);
        const QList<ItemState> expected = {ItemState::Waiting, ItemState::Failed, ItemState::Failed,
                                           ItemState::Finished};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(w.list()->item(i).state, expected.at(i));
        QCOMPARE(w.list()->item(1).size, QStringLiteral("1000")); // cells stay as they were
        QPointer<QObject> gone(worker);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!gone);
    }

    void housekeepingTickShowsTotals() {
        TestApp t;
        fFileDownload w;
        QCOMPARE(w.panelText(4), QString());
        w.HousekeepingTick();
        QCOMPARE(w.panelText(4), QStringLiteral("总数:0 正在下载:0 等待:0 已完成:0 失败:0"));

        w.AddDownloadItem(QStringLiteral("http://a/1"), QStringLiteral("a"), QString(), QString(),
                          QString());
        w.AddDownloadItem(QStringLiteral("http://a/2"), QStringLiteral("b"), QString(), QString(),
                          QString());
        w.AddDownloadItem(QStringLiteral("http://a/1"), QStringLiteral("dup"), QString(), QString(),
                          QString());
        w.list()->setState(1, ItemState::Failed);
        w.Timer_Down->start();
        // Timer1 ticks by itself every second.
        QTRY_COMPARE_WITH_TIMEOUT(w.panelText(4),
                                  QStringLiteral("总数:2 正在下载:0 等待:1 已完成:0 失败:1"), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(w.Shape1->isVisibleTo(&w), 3000);
        w.Timer_Down->stop();
        w.HousekeepingTick();
        QVERIFY(!w.Shape1->isVisibleTo(&w));

        w.setPanelText(2, QStringLiteral("完成下载:a"));
        QCOMPARE(w.panelText(2), QStringLiteral("完成下载:a"));
        QCOMPARE(w.StatusBar1->findChild<QLabel*>(QStringLiteral("StatusBar1Panel2"))->text(),
                 QStringLiteral("完成下载:a"));
        QCOMPARE(w.panelText(0), QString());
        QCOMPARE(w.panelText(5), QString());
    }

    void activationShowsRowCount() {
        TestApp t;
        fFileDownload w;
        w.setWindowState(Qt::WindowNoState);
        w.resize(800, 500);
        for (int i = 0; i < 12; ++i)
            w.AddDownloadItem(QStringLiteral("http://a/%1").arg(i), QStringLiteral("n"), QString(),
                              QString(), QString());
        // The count follows the rows at once; activation shows it again.
        QCOMPARE(w.Label1->text(), QStringLiteral("12条"));
        w.Label1->clear();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTRY_COMPARE(w.Label1->text(), QStringLiteral("12条"));
    }

    void resizePlacesPanelAndList() {
        TestApp t;
        fFileDownload w;
        w.setWindowState(Qt::WindowNoState);
        w.resize(900, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.Picture3->geometry().topLeft(), QPoint(1, 1));
        const int width = w.frameGeometry().width() - 20;
        QCOMPARE(w.Picture3->width(), width);
        QCOMPARE(w.ListView3->width(), width);
        QCOMPARE(w.ListView3->y(), w.Picture3->geometry().bottom() + 1);
        QCOMPARE(w.ListView3->geometry().bottom() + 1, w.centralWidget()->height() - 9);
        w.resize(1100, 700);
        QTRY_COMPARE(w.ListView3->width(), w.frameGeometry().width() - 20);
    }

    void promptSounds() {
        TestApp t;
        // Written into the folder when missing, distinct per id, never overwritten.
        SoundPlayer player(t.tempPath());
        QStringList contents;
        for (int id : {101, 102, 103}) {
            QVERIFY(player.ensureSoundFile(id));
            QFile f(player.soundPath(id));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY(bytes.startsWith("RIFF"));
            QCOMPARE(player.soundPath(id), t.tempPath() + QStringLiteral("/%1.wav").arg(id));
            contents << QString::fromLatin1(bytes.toBase64());
        }
        QCOMPARE(contents.removeDuplicates(), 0);
        {
            QFile own(player.soundPath(102));
            QVERIFY(own.open(QIODevice::WriteOnly));
            own.write("user's own sound");
        }
        QVERIFY(player.ensureSoundFile(102));
        QFile again(player.soundPath(102));
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), QByteArray("user's own sound"));
        QVERIFY(!player.ensureSoundFile(104));
        player.PlaySound(104); // unknown id: nothing

        // The window's sounds live in the program folder; playing without an
        // audio device fails silently.
        fFileDownload w;
        w.PlaySound(101);
        w.PlaySound(101);
        QVERIFY(QFile::exists(AppPaths::programFolder() + QStringLiteral("/101.wav")));
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestDownloadWindow)
#include "tst_downloadwindow.moc"
