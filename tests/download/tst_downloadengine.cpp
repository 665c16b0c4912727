// The download window driving its scheduler: controls in, files and panels out.

#include "FixtureServer.h"
#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/Scheduler.h"
#include "download/fFileDownload.h"
#include "platform/Wait.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

class TestDownloadEngine : public QObject {
    Q_OBJECT
private:
    FixtureServer server;

    static QByteArray readAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() { QVERIFY(server.isRunning()); }

    // Mode one from the window: the start button runs the scheduler timer, the
    // transfer fills the row and the status-bar panels, the run ends by itself.
    void startButtonFetchesInModeOne() {
        TestApp t;
        app().transport().addCaCertificates(FixtureServer::caCertificates());
        QTemporaryDir dir;
        fFileDownload w;
        app().setDownloadMode(1);
        w.AddDownloadItem(server.httpsUrl("/gen/12345"), "paper", "pdf", dir.path() + "/", {});
        w.Command4->click();
        QVERIFY(w.Timer_Down->isActive());
        w.HousekeepingTick();
        QVERIFY(w.Shape1->isVisibleTo(&w));
        QVERIFY(!w.menu下载全部->isEnabled());

        w.scheduler()->LastFinishTime = app().clock().now() - 10;
        w.scheduler()->schedulerTick();
        const DownloadItem& r = w.list()->item(0);
        QCOMPARE(r.state, ItemState::Finished);
        QCOMPARE(r.percent, QStringLiteral("100%"));
        QCOMPARE(readAll(dir.path() + "/paper.pdf"), FixtureServer::generatedContent(12345));
        QCOMPARE(w.panelText(2), QStringLiteral("完成下载:paper"));
        QVERIFY(!w.panelText(3).isEmpty());

        w.HousekeepingTick();
        QVERIFY(!w.Timer_Down->isActive());
        QVERIFY(!w.Shape1->isVisibleTo(&w));
        QVERIFY(w.menu下载全部->isEnabled());
        QCOMPARE(w.panelText(4), QStringLiteral("总数:1 正在下载:0 等待:0 已完成:1 失败:0"));
    }

    // The controls are read as the scheduler uses them: worker count, duplicate
    // policy; the stop button unticks auto start and auto re-download.
    void controlsReachTheScheduler() {
        TestApp t;
        QTemporaryDir dir;
        fFileDownload w;
        app().setDownloadMode(2);
        w.Combo1->setCurrentIndex(1); // "2"
        w.Option1->setChecked(true);  // "跳过"
        for (int i = 0; i < 3; ++i)
            w.AddDownloadItem(server.url(QString("/stall/1000/5000?%1").arg(i)),
                              QString("s%1").arg(i), "pdf", dir.path() + "/", {});
        QCOMPARE(w.scheduler()->options.duplicatePolicy, QStringLiteral("跳过"));
        w.Check4->setChecked(true);
        w.Check3->setChecked(true);
        w.HousekeepingTick(); // auto start
        QVERIFY(w.Timer_Down->isActive());
        w.scheduler()->LastFinishTime = app().clock().now() - 10;
        w.scheduler()->schedulerTick();
        QCOMPARE(w.CountWorkers(), 3);
        QVERIFY(w.downloadRunning());
        QCOMPARE(w.list()->item(2).state, ItemState::Waiting);

        w.Command31->click();
        QVERIFY(!w.Check4->isChecked());
        QVERIFY(!w.Check3->isChecked());
        QVERIFY(!w.Timer_Down->isActive());
        QCOMPARE(w.CountWorkers(), 1);
        QCOMPARE(w.list()->item(0).state, ItemState::Failed);
        QCOMPARE(w.list()->item(1).state, ItemState::Failed);
        QCOMPARE(w.list()->item(2).state, ItemState::Waiting);
        server.releaseStalls();
    }

    void modeSwitchResetsWorkerCount() {
        TestApp t;
        fFileDownload w;
        app().setDownloadMode(2);
        w.Combo1->setCurrentIndex(4);
        w.Command26->click();
        QCOMPARE(app().DownloadMode, 1);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：1"));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
        QVERIFY(!w.Combo1->isEnabled());
        QCOMPARE(w.scheduler()->options.workerCount, 1);
        w.Command26->click();
        QCOMPARE(app().DownloadMode, 2);
        QVERIFY(w.Combo1->isEnabled());
    }

    // The re-download and type commands of the menus work on the list.
    void menuCommands() {
        TestApp t;
        QTemporaryDir dir;
        fFileDownload w;
        w.AddDownloadItem("http://a/1|http://b/1", "r", "html", dir.path() + "/", {});
        w.list()->setState(0, ItemState::Failed);
        w.menu重新下载出错项->trigger();
        QCOMPARE(w.list()->item(0).state, ItemState::Waiting);
        QCOMPARE(w.list()->item(0).key, QStringLiteral("http://b/1|http://a/1"));

        w.Command4->click();
        w.menu检查并纠正磁盘文件类型->trigger();
        QCOMPARE(t.dialogs->informations.last(), QStringLiteral("停止下载以后，才能执行此操作！"));
        w.menu停止下载->trigger();
        QVERIFY(!w.Timer_Down->isActive());

        w.ListView3->selectionModel()->select(w.list()->index(0, 0), QItemSelectionModel::Select |
                                                                         QItemSelectionModel::Rows);
        w.menu取消下载选中项->trigger();
        QCOMPARE(w.list()->item(0).state, ItemState::Failed);

        t.dialogs->fileAnswers.push_back(QString());
        w.menu打开文件判断类型->trigger();
        QCOMPARE(t.dialogs->informations.size(), 1);
    }
};

QTEST_MAIN(TestDownloadEngine)
#include "tst_downloadengine.moc"
