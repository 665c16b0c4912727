#include "TestApp.h"
#include "platform/Registry.h"
#include "shell/BrowserEmulation.h"
#include "shell/CaptionWithGap.h"
#include "shell/fOption.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

using namespace SettingsKeys;

namespace {
const QString Unset = QStringLiteral("<unset>");

QString stored(const QString& key) {
    return app().settings().read(SectionSettings, key, Unset);
}

std::optional<quint32> emulation(const QString& view) {
    return app().registry().readDword(BrowserEmulationKey, BrowserEmulationValueName(), view);
}

void setEmulation(const QString& view, quint32 value) {
    app().registry().setDword(BrowserEmulationKey, BrowserEmulationValueName(), value, view);
}
} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void opensWithTheProgramValues() {
        TestApp t;
        AppValues& v = app();
        v.setProxy(1, QStringLiteral("proxy.lan"), QStringLiteral("3128"));
        v.setDownloadMode(1);
        v.setPromptSaveFolder(0);
        v.setMaxFileSizeMB(2.5);
        v.RobotCheckWaitMinutes = 25;
        v.BrowserEmulationVersion = QStringLiteral("IE10");
        fOption d;
        QCOMPARE(d.windowTitle(), QStringLiteral("设置-Varnelle"));
        QVERIFY(d.Check1->isChecked());
        QCOMPARE(d.Text6->text(), QStringLiteral("proxy.lan"));
        QCOMPARE(d.Text8->text(), QStringLiteral("3128"));
        QVERIFY(d.Option1->isChecked());
        QVERIFY(!d.Option2->isChecked());
        QVERIFY(!d.Check2->isChecked());
        QCOMPARE(d.Text1->text(), QStringLiteral("2.5"));
        QCOMPARE(d.Text2->text(), QStringLiteral("25"));
        QVERIFY(d.OptionIE.at(3)->isChecked());
        QVERIFY(!d.OptionIE.at(fOption::DefaultVersionIndex)->isChecked());
        // Captions as the user knows them.
        QCOMPARE(d.Option2->text(), QStringLiteral("下载方式二 (支持HTTP，多线程下载)"));
        QCOMPARE(d.Label2->text(), QStringLiteral("下载文件大小不超过：       MB"));
        QCOMPARE(d.Label3->text(), QStringLiteral("等待网页验证超过：       分钟，停止下载"));
        QCOMPARE(d.Text2->parentWidget(), d.Label3);
        QCOMPARE(d.OptionIE.at(fOption::DefaultVersionIndex)->text(), QStringLiteral("默认"));
        QCOMPARE(d.Command2->text(), QStringLiteral("关闭"));
        QCOMPARE(d.findChildren<QRadioButton*>(QStringLiteral("OptionIE")).size(), 6);
    }

    void opensWithNeitherModeForAnOddValue() {
        TestApp t;
        app().DownloadMode = 3;
        app().MaxFileSizeMB = 1024 * 1024;
        fOption d;
        QVERIFY(!d.Option1->isChecked());
        QVERIFY(!d.Option2->isChecked());
        QCOMPARE(d.Text1->text(), QStringLiteral("1048576"));
    }

    // What the registry holds decides the version shown, through the start-up read.
    void versionShownFromTheRegistry_data() {
        QTest::addColumn<QString>("bitness");
        QTest::addColumn<int>("value32"); // 0: none
        QTest::addColumn<int>("value64");
        QTest::addColumn<int>("checkedIndex");
        QTest::newRow("12000 reads as IE默认") << "64" << 12000 << 0 << 10;
        QTest::newRow("64-bit view only") << "64" << 0 << 11001 << 4;
        QTest::newRow("mixed: the 32-bit view wins") << "64" << 9000 << 11000 << 2;
        QTest::newRow("32-bit system reads its view only") << "32" << 0 << 8000 << 10;
        QTest::newRow("32-bit system") << "32" << 7000 << 0 << 0;
    }
    void versionShownFromTheRegistry() {
        QFETCH(QString, bitness);
        QFETCH(int, value32);
        QFETCH(int, value64);
        QFETCH(int, checkedIndex);
        TestApp t;
        app().OsBitness = bitness;
        if (value32)
            setEmulation(QStringLiteral("32"), quint32(value32));
        if (value64)
            setEmulation(QStringLiteral("64"), quint32(value64));
        LoadBrowserEmulationVersion(app().registry());
        fOption d;
        QVERIFY(d.OptionIE.at(checkedIndex)->isChecked());
    }

    void confirmTakesEveryValue() {
        TestApp t;
        AppValues& v = app();
        v.OsBitness = QStringLiteral("64");
        QSignalSpy modes(&v, &AppValues::downloadModeChanged);
        QSignalSpy proxies(&v, &AppValues::proxyChanged);
        fOption d;
        d.show();
        d.Option1->setChecked(true);
        d.Check1->setChecked(true);
        d.Text6->setText(QStringLiteral("  127.0.0.1 "));
        d.Text8->setText(QStringLiteral(" 8080 "));
        d.Check2->setChecked(false);
        d.Text1->setText(QStringLiteral(" 25 "));
        QCOMPARE(d.Text2->text(), QStringLiteral("10"));
        d.Text2->setText(QStringLiteral(" 45 "));
        d.OptionIE.at(3)->setChecked(true);
        QTest::mouseClick(d.Command1, Qt::LeftButton);

        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        QVERIFY(t.dialogs->all().isEmpty());
        QCOMPARE(v.DownloadMode, 1);
        QCOMPARE(modes.size(), 1);
        QCOMPARE(stored(DownloadMode), QStringLiteral("1"));
        QCOMPARE(v.ProxyEnabled, 1);
        QCOMPARE(v.ProxyAddress, QStringLiteral("127.0.0.1"));
        QCOMPARE(v.ProxyPort, QStringLiteral("8080"));
        QCOMPARE(proxies.size(), 1);
        QCOMPARE(stored(ProxyEnabled), QStringLiteral("1"));
        QCOMPARE(stored(ProxyAddress), QStringLiteral("127.0.0.1"));
        QCOMPARE(stored(ProxyPort), QStringLiteral("8080"));
        QCOMPARE(v.PromptSaveFolder, 0);
        QCOMPARE(stored(PromptSaveFolder), QStringLiteral("0"));
        QCOMPARE(v.MaxFileSizeMB, 25.0);
        QCOMPARE(stored(MaxFileSize), QStringLiteral("25"));
        QCOMPARE(v.RobotCheckWaitMinutes, 45);
        QCOMPARE(stored(RobotCheckWait), QStringLiteral("45"));
        QCOMPARE(v.BrowserEmulationVersion, QStringLiteral("IE10"));
        // The value is replaced in both views.
        QCOMPARE(emulation(QStringLiteral("32")), 10000u);
        QCOMPARE(emulation(QStringLiteral("64")), 10000u);
    }

    void onlyThe32BitViewOnA32BitSystem() {
        TestApp t;
        app().OsBitness = QStringLiteral("32");
        setEmulation(QStringLiteral("64"), 8888);
        fOption d;
        d.OptionIE.at(4)->setChecked(true);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(emulation(QStringLiteral("32")), 11000u);
        QCOMPARE(emulation(QStringLiteral("64")), 8888u);
    }

    void defaultDeletesTheValueAndExitWritesIe11() {
        TestApp t;
        app().OsBitness = QStringLiteral("64");
        setEmulation(QStringLiteral("32"), 9999);
        setEmulation(QStringLiteral("64"), 9999);
        LoadBrowserEmulationVersion(app().registry());
        fOption d;
        QVERIFY(d.OptionIE.at(2)->isChecked());
        d.OptionIE.at(fOption::DefaultVersionIndex)->setChecked(true);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QVERIFY(app().BrowserEmulationVersion.isEmpty());
        QVERIFY(!emulation(QStringLiteral("32")));
        QVERIFY(!emulation(QStringLiteral("64")));
        ExitBrowserEmulationStep(app().registry());
        QCOMPARE(emulation(QStringLiteral("32")), 11000u);
        QCOMPARE(emulation(QStringLiteral("64")), 11000u);
    }

    void proxyWarning_data() {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<bool>("warned");
        QTest::newRow("empty address") << true << ""
                                       << "3128" << true;
        QTest::newRow("blank address") << true << "   "
                                       << "3128" << true;
        QTest::newRow("port not a number") << true << "proxy.lan"
                                           << "31a8" << true;
        QTest::newRow("empty port") << true << "proxy.lan"
                                    << "" << true;
        QTest::newRow("port 0") << true << "proxy.lan"
                                << "0" << true;
        QTest::newRow("port above 65535") << true << "proxy.lan"
                                          << "70000" << true;
        QTest::newRow("usable") << true << "proxy.lan"
                                << "3128" << false;
        QTest::newRow("off, nothing typed") << false << ""
                                            << "" << false;
    }
    void proxyWarning() {
        QFETCH(bool, enabled);
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(bool, warned);
        TestApp t;
        app().OsBitness = QStringLiteral("64");
        fOption d;
        d.show();
        d.Check1->setChecked(enabled);
        d.Text6->setText(address);
        d.Text8->setText(port);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(t.dialogs->errors,
                 warned ? QStringList{QStringLiteral("代理服务器网址或者端口格式不对！")}
                        : QStringList());
        // Saved as entered all the same, and the dialog goes on to close.
        QCOMPARE(stored(ProxyEnabled), enabled ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(stored(ProxyAddress), address.trimmed());
        QCOMPARE(stored(ProxyPort), port.trimmed());
        QCOMPARE(app().ProxyAddress, address.trimmed());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
    }

    void badSizeLimitKeepsTheDialogOpen_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("letters") << "abc";
        QTest::newRow("zero") << "0";
        QTest::newRow("negative") << "-5";
        QTest::newRow("empty") << "";
        QTest::newRow("not a number") << "nan";
        QTest::newRow("infinite") << "inf";
        QTest::newRow("decimal comma") << "2,5";
    }
    void badSizeLimitKeepsTheDialogOpen() {
        QFETCH(QString, text);
        TestApp t;
        AppValues& v = app();
        v.OsBitness = QStringLiteral("64");
        fOption d;
        d.show();
        d.Option1->setChecked(true);
        d.Check1->setChecked(true);
        d.Text6->setText(QStringLiteral("proxy.lan"));
        d.Text8->setText(QStringLiteral("3128"));
        d.OptionIE.at(4)->setChecked(true);
        d.Text1->setText(text);
        QTest::mouseClick(d.Command1, Qt::LeftButton);

        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(d.Text1->selectedText(), text);
        QCOMPARE(t.dialogs->errors.size(), 1);
        // Nothing at all was taken.
        for (const QString& key : {DownloadMode, ProxyEnabled, ProxyAddress, ProxyPort,
                                   PromptSaveFolder, MaxFileSize, RobotCheckWait})
            QCOMPARE(stored(key), Unset);
        QCOMPARE(v.DownloadMode, 2);
        QCOMPARE(v.ProxyEnabled, 0);
        QCOMPARE(v.MaxFileSizeMB, 10.0);
        QVERIFY(v.BrowserEmulationVersion.isEmpty());
        QVERIFY(!emulation(QStringLiteral("32")));

        // Put right, it goes through.
        d.Text1->setText(QStringLiteral("30"));
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(stored(MaxFileSize), QStringLiteral("30"));
        QCOMPARE(v.DownloadMode, 1);
    }

    // The robot-check wait takes whole minutes from 1 to a day; anything else
    // says so and takes nothing, as the size limit does.
    void robotCheckWaitTable_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minutes"); // 0: refused
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("blanks around") << " 30 " << 30;
        QTest::newRow("a day") << "1440" << 1440;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("past a day") << "1441" << 0;
        QTest::newRow("negative") << "-5" << 0;
        QTest::newRow("fraction") << "2.5" << 0;
        QTest::newRow("letters") << "ten" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void robotCheckWaitTable() {
        QFETCH(QString, text);
        QFETCH(int, minutes);
        TestApp t;
        app().OsBitness = QStringLiteral("64");
        fOption d;
        d.show();
        d.Text1->setText(QStringLiteral("30"));
        d.Text2->setText(text);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        if (minutes == 0) {
            QVERIFY(d.isVisible());
            QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral(
                                            "等待网页验证时间请填写1到1440之间的整数（分钟）！")});
            QCOMPARE(d.Text2->selectedText(), text);
            QCOMPARE(stored(RobotCheckWait), Unset);
            QCOMPARE(stored(MaxFileSize), Unset);
            QCOMPARE(app().RobotCheckWaitMinutes, 10);
            return;
        }
        QVERIFY(!d.isVisible());
        QVERIFY(t.dialogs->errors.isEmpty());
        QCOMPARE(app().RobotCheckWaitMinutes, minutes);
        QCOMPARE(stored(RobotCheckWait), QString::number(minutes));
        QCOMPARE(t.settings().robotCheckWaitMinutes(), minutes);
    }

    void closeSavesNothing() {
        TestApp t;
        fOption d;
        d.show();
        d.Option1->setChecked(true);
        d.Text1->setText(QStringLiteral("77"));
        d.OptionIE.at(0)->setChecked(true);
        QTest::mouseClick(d.Command2, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(stored(DownloadMode), Unset);
        QCOMPARE(stored(MaxFileSize), Unset);
        QCOMPARE(app().DownloadMode, 2);
        QVERIFY(!emulation(QStringLiteral("32")));
    }

    // Any number above 0 is a limit, fractions included; the settings keep it
    // as its decimal text.
    void sizeLimitTable_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("mb");
        QTest::addColumn<QString>("storedText");
        QTest::newRow("whole") << "12" << true << 12.0 << "12";
        QTest::newRow("blanks around") << " 12 " << true << 12.0 << "12";
        QTest::newRow("fraction") << "2.5" << true << 2.5 << "2.5";
        QTest::newRow("below one") << "0.5" << true << 0.5 << "0.5";
        QTest::newRow("leading point") << ".25" << true << 0.25 << "0.25";
        QTest::newRow("plus sign") << "+5" << true << 5.0 << "5";
        QTest::newRow("exponent") << "1e3" << true << 1000.0 << "1000";
        QTest::newRow("very large") << "99999999999" << true << 99999999999.0 << "99999999999";
        QTest::newRow("zero") << "0" << false << 0.0 << "";
        QTest::newRow("zero with fraction") << "0.0" << false << 0.0 << "";
        QTest::newRow("negative") << "-2.5" << false << 0.0 << "";
        QTest::newRow("letters") << "abc" << false << 0.0 << "";
        QTest::newRow("number then letters") << "2.5MB" << false << 0.0 << "";
        QTest::newRow("full-width digits") << "１２" << false << 0.0 << "";
        QTest::newRow("empty") << "" << false << 0.0 << "";
    }
    void sizeLimitTable() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(double, mb);
        QFETCH(QString, storedText);
        const std::optional<double> parsed = ParseSizeLimitMB(text);
        QCOMPARE(parsed.has_value(), accepted);
        if (!accepted)
            return;
        QCOMPARE(*parsed, mb);

        // Through the dialog: taken, stored, and shown the same way next time.
        TestApp t;
        fOption d;
        d.show();
        d.Text1->setText(text);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QVERIFY(t.dialogs->errors.isEmpty());
        QCOMPARE(app().MaxFileSizeMB, mb);
        QCOMPARE(stored(MaxFileSize), storedText);
        fOption again;
        QCOMPARE(again.Text1->text(), storedText);
    }

    // A fractional limit read from the settings is shown, and "确定" without a
    // change keeps it.
    void storedFractionIsKept() {
        TestApp t;
        t.settings().write(SectionSettings, MaxFileSize, QStringLiteral("2.5"));
        app().setMaxFileSizeMB(t.settings().maxFileSizeMB());
        fOption d;
        d.show();
        QCOMPARE(d.Text1->text(), QStringLiteral("2.5"));
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QVERIFY(t.dialogs->errors.isEmpty());
        QCOMPARE(app().MaxFileSizeMB, 2.5);
        QCOMPARE(stored(MaxFileSize), QStringLiteral("2.5"));
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
