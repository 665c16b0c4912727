#include "TestApp.h"
#include "shell/fSeleFileSavePath.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace SettingsKeys;

namespace {
void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QStringList items(const QComboBox* combo) {
    QStringList list;
    for (int i = 0; i < combo->count(); ++i)
        list << combo->itemText(i);
    return list;
}
} // namespace

class TestSaveFolder : public QObject {
    Q_OBJECT
private slots:
    void readRules_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("crlf") << QByteArray("/a\r\n/b\r\n") << QStringList{"/a", "/b"};
        QTest::newRow("lf only") << QByteArray("/a\n/b\n/c") << QStringList{"/a", "/b", "/c"};
        QTest::newRow("blank lines and spaces")
            << QByteArray("\r\n  /a  \r\n\r\n   \r\n/b\r\n\r\n") << QStringList{"/a", "/b"};
        QTest::newRow("duplicates keep first")
            << QByteArray("/a\r\n/b\r\n/a\r\n/b\r\n/c\r\n") << QStringList{"/a", "/b", "/c"};
        // File names differ by case on this file system, so folders do too.
        QTest::newRow("case differs") << QByteArray("/A\r\n/a\r\n") << QStringList{"/A", "/a"};
        QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{};
        QTest::newRow("utf8 names") << QByteArray("/论文/2019\r\n") << QStringList{"/论文/2019"};
    }
    void readRules() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        writeBytes(file, content);
        const auto folders = ReadFolderList(file);
        QVERIFY(folders.has_value());
        QCOMPARE(*folders, expected);
    }

    void hundredLineLimit() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        QByteArray content;
        for (int i = 1; i <= 101; ++i)
            content += "/f" + QByteArray::number(i) + "\r\n";
        writeBytes(file, content);
        const auto folders = ReadFolderList(file);
        QVERIFY(folders.has_value());
        QCOMPARE(folders->size(), 100);
        QCOMPARE(folders->last(), QStringLiteral("/f100"));

        // Duplicates and blank lines: blank lines do not count, duplicates do.
        QByteArray withDupes("\r\n\r\n");
        for (int i = 1; i <= 99; ++i)
            withDupes += "/g" + QByteArray::number(i) + "\r\n";
        withDupes += "/g1\r\n/late\r\n";
        writeBytes(file, withDupes);
        const auto second = ReadFolderList(file);
        QCOMPARE(second->size(), 99);
        QVERIFY(!second->contains("/late"));
    }

    // A damaged or hostile file costs a bounded read: overlong lines are
    // dropped whole and nothing past the size limit is read.
    void hostileFilesAreReadBounded_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        const QByteArray longest = "/" + QByteArray(FolderListMaxLineBytes - 1, 'x');
        const QByteArray tooLong = "/" + QByteArray(FolderListMaxLineBytes, 'x');
        QTest::newRow("overlong line dropped")
            << QByteArray("/a\r\n" + tooLong + "\r\n/b\r\n") << QStringList{"/a", "/b"};
        QTest::newRow("longest line kept, crlf")
            << QByteArray(longest + "\r\n/b\r\n") << QStringList{QString(longest), "/b"};
        QTest::newRow("longest line kept, lf")
            << QByteArray(longest + "\n/b") << QStringList{QString(longest), "/b"};
        QTest::newRow("longest line kept at the end") << longest << QStringList{QString(longest)};
        QTest::newRow("overlong last line") << QByteArray("/a\r\n" + tooLong) << QStringList{"/a"};
        QTest::newRow("many overlong lines")
            << QByteArray("/a\n" + (tooLong + "\n").repeated(50) + "/b\n")
            << QStringList{"/a", "/b"};
        // An 8 MB line: the read stops at the size limit, inside the line.
        QTest::newRow("huge line")
            << QByteArray("/a\r\n" + QByteArray(8 * 1024 * 1024, 'y') + "\r\n/b\r\n")
            << QStringList{"/a"};
        QTest::newRow("folder past the size limit")
            << QByteArray("/a\r\n" + QByteArray("\r\n").repeated(FolderListMaxFileBytes / 2) +
                          "/late\r\n")
            << QStringList{"/a"};
    }
    void hostileFilesAreReadBounded() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        writeBytes(file, content);
        const auto folders = ReadFolderList(file);
        QVERIFY(folders.has_value());
        QCOMPARE(*folders, expected);

        QBuffer device(&content);
        QVERIFY(device.open(QIODevice::ReadOnly));
        QCOMPARE(ReadFolderList(device), expected);
        QVERIFY(device.pos() <= FolderListMaxFileBytes);

        // The dialog shows the same list.
        fSeleFileSavePath d(nullptr, file);
        QCOMPARE(items(d.Combo1), expected);
    }

    void missingAndUnreadableFiles() {
        TestApp t;
        QComboBox combo;
        combo.addItems({"/keep"});
        const QString missing = t.tempPath() + "/none/SaveList.dat";
        QVERIFY(!ReadFolderList(missing).has_value());
        LoadFolderList(&combo, missing);
        QCOMPARE(items(&combo), QStringList{"/keep"});

        // A folder in the file's place cannot be read: the list comes out empty.
        const QString unreadable = t.tempPath() + "/SaveList.dat";
        QVERIFY(QDir().mkpath(unreadable));
        LoadFolderList(&combo, unreadable);
        QCOMPARE(combo.count(), 0);
        // Writing there fails quietly.
        QVERIFY(!WriteFolderList({"/x"}, unreadable));
        QVERIFY(QFileInfo(unreadable).isDir());
    }

    void writeForm() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        QVERIFY(WriteFolderList({"/a", "/论文", "/a"}, file));
        QCOMPARE(readBytes(file), QByteArray("/a\r\n/论文\r\n/a\r\n"));
        QComboBox combo;
        SaveFolderList(&combo, file);
        QCOMPARE(readBytes(file), QByteArray("\r\n"));
    }

    void openingShowsCurrentValues() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        writeBytes(file, "/one\r\n/two\r\n");
        t.values->CurrentSaveFolder = "/somewhere/";
        t.values->UseOriginalFileName = true;
        t.values->SaveFolderCancelled = false;
        fSeleFileSavePath d(nullptr, file);
        QCOMPARE(d.windowTitle(), QStringLiteral("选择下载保存路径－Korvane软件"));
        QCOMPARE(items(d.Combo1), (QStringList{"/one", "/two"}));
        QCOMPARE(d.Combo1->currentText(), QStringLiteral("/somewhere/"));
        QVERIFY(d.Option1->isChecked());
        QVERIFY(t.values->SaveFolderCancelled);
        QVERIFY(d.windowFlags() & Qt::WindowStaysOnTopHint);

        t.values->UseOriginalFileName = false;
        fSeleFileSavePath d2(nullptr, file);
        QVERIFY(d2.Option2->isChecked());
    }

    void confirmCreatesStoresAndRecords() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        const QString target = t.tempPath() + "/Papers/2019";
        t.values->UseOriginalFileName = false;
        {
            fSeleFileSavePath d(nullptr, file);
            d.Combo1->setEditText(target);
            d.Option1->setChecked(true);
            d.Command2->click();
            QCOMPARE(d.result(), int(QDialog::Accepted));
        }
        QVERIFY(QFileInfo(target).isDir());
        QCOMPARE(t.values->CurrentSaveFolder, target + "/");
        QCOMPARE(t.settings().read(SectionSettings, SaveFolder, QString()), target + "/");
        QVERIFY(!t.values->SaveFolderCancelled);
        QVERIFY(t.values->UseOriginalFileName);
        QCOMPARE(readBytes(file), (target + "\r\n").toUtf8());

        // The same folder again, typed with its trailing "/": written twice,
        // shown once at the next opening.
        {
            fSeleFileSavePath d(nullptr, file);
            d.Combo1->setEditText(target + "/");
            d.Command2->click();
        }
        QCOMPARE(readBytes(file), (target + "\r\n" + target + "\r\n").toUtf8());
        fSeleFileSavePath again(nullptr, file);
        QCOMPARE(items(again.Combo1), QStringList{target});
        QVERIFY(t.dialogs->errors.isEmpty());
    }

    void confirmCleansFolderNames() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        fSeleFileSavePath d(nullptr, file);
        d.Combo1->setEditText(t.tempPath() + "/a?b/..c*d..");
        d.Command2->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(QFileInfo(t.tempPath() + "/ab/c*d").exists() == false);
        QVERIFY(QFileInfo(t.tempPath() + "/ab/cd").isDir());
        QCOMPARE(t.values->CurrentSaveFolder, t.tempPath() + "/ab/cd/");
    }

    void badFolderKeepsDialogOpen_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("errors");
        const QString nameError = QStringLiteral("文件夹名称有误！不能创建文件夹！");
        const QString settingError = QStringLiteral("文件夹设置错误！");
        QTest::newRow("relative") << "papers/x" << QStringList{nameError, settingError};
        QTest::newRow("empty") << "" << QStringList{settingError};
        QTest::newRow("root only") << "/" << QStringList{settingError};
        QTest::newRow("part of forbidden characters")
            << "/??" << QStringList{nameError, settingError};
    }
    void badFolderKeepsDialogOpen() {
        QFETCH(QString, typed);
        QFETCH(QStringList, errors);
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        t.values->CurrentSaveFolder = "/before/";
        fSeleFileSavePath d(nullptr, file);
        d.show();
        d.Combo1->setEditText(typed);
        d.Command2->click();
        QCOMPARE(t.dialogs->errors, errors);
        QVERIFY(d.isVisible());
        QVERIFY(t.values->SaveFolderCancelled);
        QCOMPARE(t.values->CurrentSaveFolder, QStringLiteral("/before/"));
        QVERIFY(!QFile::exists(file));
    }

    void cancelChangesNothing() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        t.values->CurrentSaveFolder = "/before/";
        t.values->UseOriginalFileName = false;
        t.dialogs->folderAnswers.push_back(t.tempPath());
        fSeleFileSavePath d(nullptr, file);
        d.Option1->setChecked(true);
        d.Command1->click(); // "..." picks a folder
        QCOMPARE(d.Combo1->currentText(), t.tempPath() + "/");
        d.Command3->click();
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QVERIFY(t.values->SaveFolderCancelled);
        QCOMPARE(t.values->CurrentSaveFolder, QStringLiteral("/before/"));
        QVERIFY(!t.values->UseOriginalFileName);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(t.settings().read(SectionSettings, SaveFolder, QStringLiteral("unset")),
                 QStringLiteral("unset"));
    }

    void browseForFolder_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("expected");
        QTest::newRow("picked") << "/tmp/x/"
                                << "/srv/data"
                                << "/srv/data/";
        QTest::newRow("picked with slash") << "/tmp/x/"
                                           << "/srv/data/"
                                           << "/srv/data/";
        QTest::newRow("cancel keeps start") << "/tmp/x/"
                                            << ""
                                            << "/tmp/x/";
        QTest::newRow("cancel adds slash") << "/tmp/x"
                                           << ""
                                           << "/tmp/x/";
        QTest::newRow("blank start") << "  "
                                     << ""
                                     << "/";
    }
    void browseForFolder() {
        QFETCH(QString, start);
        QFETCH(QString, picked);
        QFETCH(QString, expected);
        TestApp t;
        t.dialogs->folderAnswers.push_back(picked);
        QCOMPARE(BrowseForFolder(nullptr, start, "prompt", false), expected);
    }

    void askReportsOutcome() {
        TestApp t;
        const QString file = t.tempPath() + "/SaveList.dat";
        const QString target = t.tempPath() + "/chosen";
        QObject timers; // single shots still pending end with the test
        QTimer::singleShot(0, &timers, [&] {
            auto* d = qobject_cast<fSeleFileSavePath*>(QApplication::activeModalWidget());
            QVERIFY(d);
            d->Combo1->setEditText(target);
            d->Command2->click();
        });
        QVERIFY(fSeleFileSavePath::ask(nullptr, file));
        QCOMPARE(t.values->CurrentSaveFolder, target + "/");

        QTimer::singleShot(0, [] {
            if (auto* d = qobject_cast<fSeleFileSavePath*>(QApplication::activeModalWidget()))
                d->close();
        });
        QVERIFY(!fSeleFileSavePath::ask(nullptr, file));
        QVERIFY(t.values->SaveFolderCancelled);
    }
};

QTEST_MAIN(TestSaveFolder)
#include "tst_savefolder.moc"
