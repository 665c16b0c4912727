#include "TestApp.h"
#include "download/fFileDownload.h"
#include "shell/fOption.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace SettingsKeys;

namespace {
// Closes the next modal dialog once it is up, noting its name.
void closeNextModal(QString* seen) {
    QTimer::singleShot(0, [seen] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            closeNextModal(seen);
            return;
        }
        *seen = modal->objectName();
        modal->close();
    });
}
} // namespace

// The download window follows the options dialog at once.
class TestOptionsMode : public QObject {
    Q_OBJECT
private slots:
    void switchingToModeTwoSetsOneThread() {
        TestApp t;
        t.settings().write(SectionSettings, DownloadMode, 1);
        t.settings().write(SectionDownload, Threads, QStringLiteral("4"));
        fFileDownload w;
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：1"));
        QVERIFY(!w.Combo1->isEnabled());

        fOption d;
        QVERIFY(d.Option1->isChecked());
        d.Option2->setChecked(true);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：2"));
        QVERIFY(w.Combo1->isEnabled());
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("1"));
        QCOMPARE(t.settings().read(SectionSettings, DownloadMode, 0), QStringLiteral("2"));

        fOption back;
        back.Option1->setChecked(true);
        QTest::mouseClick(back.Command1, Qt::LeftButton);
        QCOMPARE(w.Label7->text(), QStringLiteral("下载方式：1"));
        QVERIFY(!w.Combo1->isEnabled());
    }

    // Confirming without a change of mode leaves the chosen thread count alone.
    void unchangedModeKeepsTheThreadCount() {
        TestApp t;
        t.settings().write(SectionDownload, Threads, QStringLiteral("3"));
        fFileDownload w;
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("4"));
        fOption d;
        QVERIFY(d.Option2->isChecked());
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("4"));
    }

    void menuEntriesOpenTheirDialogs() {
        TestApp t;
        app().flow().registerWindow(WindowNames::Option, [] { return new fOption; });
        app().flow().registerWindow(WindowNames::About, [] {
            auto* about = new QDialog;
            about->setObjectName(WindowNames::About);
            return about;
        });
        fFileDownload w;
        w.show();
        const std::pair<QString, QString> entries[] = {
            {QStringLiteral("设置"), WindowNames::Option},
            {QStringLiteral("关于"), WindowNames::About}};
        for (const auto& [entry, dialog] : entries) {
            auto* action = w.findChild<QAction*>(entry);
            QVERIFY(action);
            QVERIFY(action->isEnabled());
            QString seen;
            closeNextModal(&seen);
            action->trigger();
            QCOMPARE(seen, dialog);
            // The dialog unloads when it closes.
            QTRY_VERIFY(!app().flow().IsFormLoaded(seen));
        }
    }
};

QTEST_MAIN(TestOptionsMode)
#include "tst_optionsmode.moc"
