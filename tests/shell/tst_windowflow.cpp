#include "TestApp.h"
#include "shell/fCover.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "VarnelleVersion.h"

namespace {
// A stand-in main window that accepts the hand-off and obeys the unload rule.
class StandInList : public QWidget, public DownloadListSink {
public:
    QStringList added;
    void AddDownloadItem(const QString& address, const QString&, const QString&, const QString&,
                         const QString&) override {
        added << address;
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        WindowFlow::markUnloaded(this);
        e->accept();
    }
};
} // namespace

class TestWindowFlow : public QObject {
    Q_OBJECT
private slots:
    void coverLoadsProgramValues() {
        TestApp t;
        t.settings().write(SettingsKeys::SectionSettings, SettingsKeys::MaxFileSize,
                           QStringLiteral("2.5"));
        t.settings().write(SettingsKeys::SectionSettings, SettingsKeys::SaveFolder,
                           QStringLiteral("/data/论文/"));
        QStringList order;
        int notices = 0;
        fCover cover;
        cover.setHooks({[&] { order << QStringLiteral("bitness:") + app().OsBitness; },
                        [&] { order << QStringLiteral("emulation"); },
                        [&] { ++notices; },
                        {}});
        QVERIFY(cover.Label5->isVisibleTo(&cover));
        cover.load();

        QCOMPARE(cover.windowTitle(), QStringLiteral("Varnelle"));
        QCOMPARE(cover.Label2->text(), QStringLiteral("版本:" VARNELLE_VERSION_TEXT));
        QVERIFY(cover.isVisible());
        QVERIFY(!cover.Label5->isVisible());
        QVERIFY(!cover.Label3->isVisible());
        QCOMPARE(order, QStringList({QStringLiteral("bitness:64"), QStringLiteral("emulation")}));
        QCOMPARE(app().MaxFileSizeMB, 2.5);
        QCOMPARE(app().CurrentSaveFolder, QStringLiteral("/data/论文/"));
        // The update notice runs once, shortly after the load.
        QTRY_COMPARE(notices, 1);
        QTest::qWait(250);
        QCOMPARE(notices, 1);
    }

    void coverOpensSearchAndHides() {
        TestApp t;
        t.values->flow().registerWindow(WindowNames::WebSearch, [] {
            auto* w = new StandInList;
            w->setObjectName(WindowNames::WebSearch);
            return w;
        });
        fCover cover;
        cover.load();
        QTest::mouseClick(cover.Command1, Qt::LeftButton);
        QVERIFY(!cover.isVisible());
        QWidget* search = app().flow().find(QStringLiteral("FWEBSEARCH"));
        QVERIFY(search);
        QVERIFY(search->isVisible());
        delete search;
    }

    void closingCoverEndsProgramAfterEmulationStep() {
        TestApp t;
        QStringList order;
        t.values->flow().setExitHandler([&] { order << QStringLiteral("exit"); });
        fCover cover;
        cover.setHooks({{}, {}, {}, [&] { order << QStringLiteral("emulation"); }});
        cover.load();
        QTest::mouseClick(cover.Command3, Qt::LeftButton);
        QCOMPARE(order, QStringList({QStringLiteral("emulation"), QStringLiteral("exit")}));
    }

    void loadingIsNotShowingAndClosingUnloads() {
        TestApp t;
        int created = 0;
        t.values->flow().registerWindow(WindowNames::FileDownload, [&] {
            ++created;
            auto* w = new StandInList;
            w->setObjectName(WindowNames::FileDownload);
            return w;
        });
        WindowFlow& flow = app().flow();
        QVERIFY(!flow.IsFormLoaded(QStringLiteral("ffiledownload")));

        DownloadListSink* sink = flow.downloadList();
        QVERIFY(sink);
        sink->AddDownloadItem(QStringLiteral("http://a/1.pdf"), {}, {}, {}, {});
        QWidget* w = flow.find(WindowNames::FileDownload);
        QVERIFY(w);
        QVERIFY(!w->isVisible());
        QVERIFY(flow.IsFormLoaded(QStringLiteral("FFileDownload")));

        // A second hand-off reuses the loaded window; showing keeps its rows.
        QCOMPARE(flow.downloadList(), sink);
        QCOMPARE(flow.show(WindowNames::FileDownload), w);
        QVERIFY(w->isVisible());
        QCOMPARE(created, 1);
        QCOMPARE(static_cast<StandInList*>(w)->added.size(), 1);

        // Closing unloads at once, even before the widget is destroyed.
        QPointer<QWidget> guard(w);
        w->close();
        QVERIFY(!flow.IsFormLoaded(WindowNames::FileDownload));
        QTRY_VERIFY(guard.isNull());

        // Loading again starts a new, empty window.
        flow.downloadList();
        QCOMPARE(created, 2);
        QVERIFY(static_cast<StandInList*>(flow.find(WindowNames::FileDownload))->added.isEmpty());
        delete flow.find(WindowNames::FileDownload);
    }

    void unknownWindowLoadsNothing() {
        TestApp t;
        QVERIFY(!app().flow().load(QStringLiteral("frmNothing")));
        QVERIFY(!app().flow().downloadList());
    }
};

QTEST_MAIN(TestWindowFlow)
#include "tst_windowflow.moc"
