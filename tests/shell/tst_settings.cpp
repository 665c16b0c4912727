#include "TestApp.h"

#include <QTest>

using namespace SettingsKeys;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void emptyStoreGivesDefaults() {
        TestApp t;
        SettingsStore& s = t.settings();
        QCOMPARE(s.saveFolder(), SettingsStore::defaultSaveFolder());
        QVERIFY(s.saveFolder().endsWith(QLatin1String("/Varnelle/")));
        QCOMPARE(s.maxFileSizeMB(), 10.0);
        QCOMPARE(s.promptSaveFolder(), 1);
        QCOMPARE(s.downloadMode(), 2);
        QCOMPARE(s.threadIndex(), 2);
        QCOMPARE(s.pauseIndex(), 0);
        QCOMPARE(s.soundPrompts(), 0);
        QCOMPARE(s.duplicatePolicy(), QStringLiteral("重命名"));
        QCOMPARE(s.proxyEnabled(), 0);
        QCOMPARE(s.proxyAddress(), QString());
        QCOMPARE(s.proxyPort(), QString());
        QCOMPARE(s.robotCheckWaitMinutes(), 10);
        QCOMPARE(s.delayIndex(), 10);
        QCOMPARE(s.web1Url(), QString());
        QCOMPARE(s.read(SectionFileDownload, Resolution, QStringLiteral("000")),
                 QStringLiteral("000"));
        QCOMPARE(s.read(SectionFileDownload, Width, 15000), QStringLiteral("15000"));
    }

    void garbageFallsBack_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("expected");
        QTest::newRow("delay not a number") << SectionWebSearch << Delay << "abc"
                                            << "delay"
                                            << "10";
        QTest::newRow("delay above range") << SectionWebSearch << Delay << "99"
                                           << "delay"
                                           << "60";
        QTest::newRow("delay negative") << SectionWebSearch << Delay << "-4"
                                        << "delay"
                                        << "0";
        QTest::newRow("delay zero") << SectionWebSearch << Delay << "0"
                                    << "delay"
                                    << "0";
        QTest::newRow("mode 7") << SectionSettings << DownloadMode << "7"
                                << "mode"
                                << "2";
        QTest::newRow("mode 1") << SectionSettings << DownloadMode << "1"
                                << "mode"
                                << "1";
        QTest::newRow("mode text") << SectionSettings << DownloadMode << "two"
                                   << "mode"
                                   << "2";
        QTest::newRow("thread 99") << SectionDownload << Threads << "99"
                                   << "threads"
                                   << "5";
        QTest::newRow("thread 5") << SectionDownload << Threads << "5"
                                  << "threads"
                                  << "5";
        QTest::newRow("thread junk") << SectionDownload << Threads << "x1"
                                     << "threads"
                                     << "2";
        QTest::newRow("pause junk") << SectionDownload << PauseBetweenFiles << "long"
                                    << "pause"
                                    << "0";
        QTest::newRow("pause past 600") << SectionDownload << PauseBetweenFiles << "900"
                                        << "pause"
                                        << "600";
        QTest::newRow("pause 45") << SectionDownload << PauseBetweenFiles << "45"
                                  << "pause"
                                  << "45";
        QTest::newRow("sound 5") << SectionDownload << SoundPrompts << "5"
                                 << "sound"
                                 << "1";
        QTest::newRow("sound junk") << SectionDownload << SoundPrompts << "on"
                                    << "sound"
                                    << "0";
        QTest::newRow("size junk") << SectionSettings << MaxFileSize << "ten"
                                   << "size"
                                   << "10";
        QTest::newRow("size negative") << SectionSettings << MaxFileSize << "-5"
                                       << "size"
                                       << "10";
        QTest::newRow("size fraction") << SectionSettings << MaxFileSize << "2.5"
                                       << "size"
                                       << "2.5";
        QTest::newRow("check wait junk") << SectionSettings << RobotCheckWait << "soon"
                                         << "check wait"
                                         << "10";
        QTest::newRow("check wait zero") << SectionSettings << RobotCheckWait << "0"
                                         << "check wait"
                                         << "1";
        QTest::newRow("check wait past a day") << SectionSettings << RobotCheckWait << "100000"
                                               << "check wait"
                                               << "1440";
        QTest::newRow("check wait 30") << SectionSettings << RobotCheckWait << " 30 "
                                       << "check wait"
                                       << "30";
        QTest::newRow("prompt 5") << SectionSettings << PromptSaveFolder << "5"
                                  << "prompt"
                                  << "1";
        QTest::newRow("prompt 0") << SectionSettings << PromptSaveFolder << "0"
                                  << "prompt"
                                  << "0";
        QTest::newRow("policy junk") << SectionPatent << DuplicatePolicy << "删除"
                                     << "policy"
                                     << "重命名";
        QTest::newRow("policy skip") << SectionPatent << DuplicatePolicy << " 跳过 "
                                     << "policy"
                                     << "跳过";
        QTest::newRow("proxy junk") << SectionSettings << ProxyEnabled << "yes"
                                    << "proxy"
                                    << "0";
        QTest::newRow("url spaces") << SectionWebSearch << Web1Url << "   "
                                    << "url"
                                    << "";
        QTest::newRow("folder blank") << SectionSettings << SaveFolder << "  "
                                      << "folder"
                                      << "default";
    }
    void garbageFallsBack() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, which);
        QFETCH(QString, expected);
        TestApp t;
        SettingsStore& s = t.settings();
        s.write(section, key, stored);
        QString actual;
        if (which == QLatin1String("delay"))
            actual = QString::number(s.delayIndex());
        else if (which == QLatin1String("mode"))
            actual = QString::number(s.downloadMode());
        else if (which == QLatin1String("threads"))
            actual = QString::number(s.threadIndex());
        else if (which == QLatin1String("pause"))
            actual = QString::number(s.pauseIndex());
        else if (which == QLatin1String("sound"))
            actual = QString::number(s.soundPrompts());
        else if (which == QLatin1String("size"))
            actual = QString::number(s.maxFileSizeMB());
        else if (which == QLatin1String("check wait"))
            actual = QString::number(s.robotCheckWaitMinutes());
        else if (which == QLatin1String("prompt"))
            actual = QString::number(s.promptSaveFolder());
        else if (which == QLatin1String("policy"))
            actual = s.duplicatePolicy();
        else if (which == QLatin1String("proxy"))
            actual = QString::number(s.proxyEnabled());
        else if (which == QLatin1String("url"))
            actual = s.web1Url();
        else if (which == QLatin1String("folder"))
            actual = s.saveFolder() == SettingsStore::defaultSaveFolder()
                         ? QStringLiteral("default")
                         : s.saveFolder();
        QCOMPARE(actual, expected);
    }

    void valuesPersistAcrossStores() {
        TestApp t;
        const QString file = t.settings().fileName();
        t.settings().write(SectionWebSearch, Delay, 0);
        t.settings().write(SectionSettings, SaveFolder, QStringLiteral("/tmp/论文/"));
        SettingsStore again(file);
        QCOMPARE(again.read(SectionWebSearch, Delay, 10), QStringLiteral("0"));
        QCOMPARE(again.delayIndex(), 0);
        QCOMPARE(again.saveFolder(), QStringLiteral("/tmp/论文/"));
    }

    void garbageFileNeverCrashes() {
        TestApp t;
        const QString file = t.tempPath() + QStringLiteral("/garbage.conf");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x00\xff[[[\n=\n%E8%AE%BE%E7%BD%AE\\x=\"\n[fWebSearch]\ncombo2=1, 2, "
                "3\nWeb1Url=@Variant(\\0\\0)\n");
        f.close();
        SettingsStore s(file);
        QCOMPARE(s.delayIndex(), 10);
        QCOMPARE(s.downloadMode(), 2);
        QVERIFY(!s.saveFolder().isEmpty());
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
