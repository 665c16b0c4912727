#include "CacheEntryFiles.h"
#include "ContentCoding.h"
#include "PlantedFifo.h"
#include "TestApp.h"
#include "platform/ContentDecoder.h"
#include "platform/PartFile.h"
#include "shell/SettingsStore.h"
#include "shell/fSeleFileSavePath.h"
#include "tools/CacheFolders.h"
#include "tools/CopyTool.h"
#include "tools/Form_Copy_Move.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <zlib.h>

namespace {

QString writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(content);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray sha1Of(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(&file);
    return hash.result();
}

// Mostly zeros, with a line of text every 64 KB: compresses over a thousand to one.
QByteArray patterned(qsizetype size) {
    QByteArray data(size, '\0');
    for (qsizetype at = 0; at + 32 < size; at += 64 * 1024) {
        const QByteArray mark = "block " + QByteArray::number(at);
        std::copy(mark.begin(), mark.end(), data.begin() + at);
    }
    return data;
}

// A file size limit for this process, as a full disk would set one: a write
// past it fails (EFBIG) instead of raising a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

} // namespace

class TestCopyTool : public QObject {
    Q_OBJECT

    // A copy dialog on a temporary recent-folder file, with files to copy
    // from src/ into dst/.
    struct Fixture {
        TestApp app;
        QString src = app.tempPath() + QStringLiteral("/src/");
        QString dst = app.tempPath() + QStringLiteral("/dst/");
        QString listFile = app.tempPath() + QStringLiteral("/SaveList.dat");
        Fixture() {
            QDir().mkpath(src);
            QDir().mkpath(dst);
        }
        std::unique_ptr<Form_Copy_Move> dialog(const QList<CopySource>& files, int rule) {
            auto w = std::make_unique<Form_Copy_Move>(nullptr, listFile);
            w->CopyFileList = files;
            w->Option1[rule]->setChecked(true);
            w->Combo1->setEditText(dst);
            return w;
        }
    };

private slots:
    void splitPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("extension");
        QTest::newRow("plain") << "/a/b/report.pdf"
                               << "/a/b/"
                               << "report"
                               << "pdf";
        QTest::newRow("two dots") << "/a/a.b.html"
                                  << "/a/"
                                  << "a.b"
                                  << "html";
        QTest::newRow("six characters") << "x.123456"
                                        << ""
                                        << "x"
                                        << "123456";
        QTest::newRow("seven characters") << "/d/data.archive7z"
                                          << "/d/"
                                          << "data.archive7z"
                                          << "";
        QTest::newRow("no extension") << "/d/README"
                                      << "/d/"
                                      << "README"
                                      << "";
        QTest::newRow("dot file") << "/d/.hidden"
                                  << "/d/"
                                  << ".hidden"
                                  << "";
        QTest::newRow("spaces trimmed") << "  /d/ a .txt  "
                                        << "/d/"
                                        << "a"
                                        << "txt";
        QTest::newRow("backslashes") << "C:\\dir\\x.txt"
                                     << "C:\\dir\\"
                                     << "x"
                                     << "txt";
        QTest::newRow("counter kept") << "/d/report[002].pdf"
                                      << "/d/"
                                      << "report[002]"
                                      << "pdf";
    }
    void splitPath() {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, base);
        QFETCH(QString, extension);
        QString gotExtension;
        QString gotBase;
        QCOMPARE(SplitPath(path, gotExtension, gotBase), folder);
        QCOMPARE(gotBase, base);
        QCOMPARE(gotExtension, extension);
    }

    void splitCounter_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("counter");
        QTest::newRow("counter") << "report[002]"
                                 << "report"
                                 << "002";
        QTest::newRow("spaces inside") << "report[ 7 ]"
                                       << "report"
                                       << "7";
        QTest::newRow("last of two") << "a[1][2]"
                                     << "a[1]"
                                     << "2";
        QTest::newRow("not a number") << "report[abc]"
                                      << "report[abc]"
                                      << "";
        QTest::newRow("empty brackets") << "report[]"
                                        << "report[]"
                                        << "";
        QTest::newRow("text after") << "report[2]x"
                                    << "report[2]x"
                                    << "";
        QTest::newRow("only a counter") << "[003]"
                                        << "[003]"
                                        << "";
        QTest::newRow("no counter") << "report"
                                    << "report"
                                    << "";
    }
    void splitCounter() {
        QFETCH(QString, name);
        QFETCH(QString, stem);
        QFETCH(QString, counter);
        QString gotStem;
        QCOMPARE(SplitCounter(name, gotStem), counter);
        QCOMPARE(gotStem, stem);
    }

    void extensionFromUrl_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("name");
        QTest::newRow("query and fragment") << "http://h/p/a.b.html?x=1#top"
                                            << "html"
                                            << "a.b.html?x=1";
        QTest::newRow("no dot") << "https://h/p/article"
                                << ""
                                << "article";
        QTest::newRow("seven characters") << "http://h/f.archive7z"
                                          << ""
                                          << "f.archive7z";
        QTest::newRow("six characters") << "http://h/f.abcdef"
                                        << "abcdef"
                                        << "f.abcdef";
        QTest::newRow("scheme case") << "HTTP://H/doc.PDF"
                                     << "PDF"
                                     << "doc.PDF";
        QTest::newRow("query holds the dot") << "http://h/get?file=x.pdf"
                                             << ""
                                             << "get?file=x.pdf";
        QTest::newRow("address in address") << "http://h/r?u=http://h2/x.pdf"
                                            << ""
                                            << "r?u=http://h2/x.pdf";
        QTest::newRow("host only") << "http://example.com/"
                                   << ""
                                   << "";
        QTest::newRow("local path") << "/home/u/cache/index.txt"
                                    << "txt"
                                    << "index.txt";
        QTest::newRow("colon cut") << "http://h/a.pdf:x"
                                   << "pdf"
                                   << "a.pdf";
    }
    void extensionFromUrl() {
        QFETCH(QString, address);
        QFETCH(QString, extension);
        QFETCH(QString, name);
        QString gotName;
        QCOMPARE(ExtensionFromUrl(address, gotName), extension);
        QCOMPARE(gotName, name);
    }

    void loadsCaptionRuleAndFolderFromSettings() {
        Fixture f;
        f.app.settings().write(SettingsKeys::SectionCopyMove, SettingsKeys::TargetFolder, f.dst);
        f.app.settings().write(SettingsKeys::SectionCopyMove, SettingsKeys::OpIndex, "2");
        WriteFolderList({"/one", "/two"}, f.listFile);
        Form_Copy_Move w(nullptr, f.listFile);
        QCOMPARE(w.windowTitle(), QStringLiteral("复制文件..."));
        QCOMPARE(w.Combo1->currentText(), f.dst);
        QCOMPARE(w.Combo1->count(), 2);
        QVERIFY(w.Option1[2]->isChecked());
        QCOMPARE(w.ruleIndex(), 2);
        QCOMPARE(w.Command1->text(), QStringLiteral("开始"));
        QCOMPARE(w.Option1[4]->text(),
                 QStringLiteral("文件大小和修改时间均相同：覆盖；否则：自动重命名"));
        QCOMPARE(w.findChild<QRadioButton*>("Option1_1")->text(), QStringLiteral("跳过"));
        w.Option1[5]->setChecked(true);
        QCOMPARE(w.ruleIndex(), 5);

        // A run stores the folder and rule and adds the folder to the shared list once.
        w.CopyFileList = {writeFile(f.src + "a.txt", "a")};
        w.执行(false);
        QCOMPARE(f.app.settings().read(SettingsKeys::SectionCopyMove, SettingsKeys::TargetFolder,
                                       QString()),
                 f.dst);
        QCOMPARE(
            f.app.settings().read(SettingsKeys::SectionCopyMove, SettingsKeys::OpIndex, QString()),
            QStringLiteral("5"));
        w.执行(false);
        const QStringList expected{"/one", "/two", QDir::cleanPath(f.dst)};
        QCOMPARE(*ReadFolderList(f.listFile), expected);
    }

    void defaultsWithoutSettings() {
        Fixture f;
        Form_Copy_Move w(nullptr, f.listFile);
        QCOMPARE(w.ruleIndex(), 4);
        QVERIFY(w.Option1[4]->isChecked());
        QVERIFY(w.Combo1->currentText().endsWith('/'));
    }

    void copiesAndReportsCompletion() {
        Fixture f;
        const QList<CopySource> files{writeFile(f.src + "one.pdf", "1111"),
                                      writeFile(f.src + "README", "no extension"),
                                      writeFile(f.src + "gone.pdf", "x")};
        QFile::remove(f.src + "gone.pdf"); // vanished after it was chosen
        auto w = f.dialog(files, 3);
        QSignalSpy progress(w->ProgressBar1, &QProgressBar::valueChanged);
        w->执行(true);
        QCOMPARE(namesIn(f.dst), QStringList({"README", "one.pdf"}));
        QCOMPARE(readFile(f.dst + "one.pdf"), QByteArray("1111"));
        QCOMPARE(w->CopyFileList.size(), 2);
        // The bar's maximum is one more than the files, so it never fills.
        QCOMPARE(w->ProgressBar1->maximum(), 3);
        QList<int> values;
        for (const QList<QVariant>& s : progress)
            values << s.at(0).toInt();
        QCOMPARE(values, QList<int>({1, 2, 0}));
        QCOMPARE(f.app.dialogs->informations, QStringList{"复制文件完成！"});
        QCOMPARE(w->Command1->text(), QStringLiteral("开始"));
        QVERIFY(w->Label3->text().isEmpty());
        // A copy keeps the source's modification time.
        QCOMPARE(QFileInfo(f.dst + "one.pdf").lastModified().toSecsSinceEpoch(),
                 QFileInfo(f.src + "one.pdf").lastModified().toSecsSinceEpoch());
    }

    void nothingLeftToCopyShowsNoMessage() {
        Fixture f;
        auto w = f.dialog({CopySource(f.src + "missing.pdf")}, 3);
        w->执行(true);
        QVERIFY(f.app.dialogs->informations.isEmpty());
        QVERIFY(namesIn(f.dst).isEmpty());
    }

    void counterNames_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("expected");
        QTest::newRow("counter dropped when free")
            << "report[002].pdf" << QStringList{"report[002].pdf"} << "report.pdf";
        QTest::newRow("first counter")
            << "report[002].pdf" << QStringList{"report[002].pdf", "report.pdf"}
            << "report[001].pdf";
        QTest::newRow("next free counter")
            << "report.pdf" << QStringList{"report.pdf", "report[001].pdf"} << "report[002].pdf";
        QTest::newRow("seven-character extension")
            << "data.archive7z" << QStringList{"data.archive7z"} << "data.archive7z[001]";
        QTest::newRow("no extension") << "README" << QStringList{"README"} << "README[001]";
    }
    void counterNames() {
        QFETCH(QString, source);
        QFETCH(QStringList, existing);
        Fixture f;
        for (const QString& name : existing)
            writeFile(f.dst + name, "existing, of another size");
        auto w = f.dialog({writeFile(f.src + source, "new")}, 3);
        w->执行(false);
        QFETCH(QString, expected);
        QCOMPARE(readFile(f.dst + expected), QByteArray("new"));
        QCOMPARE(namesIn(f.dst).size(), existing.size() + 1);
    }

    void counterGrowsPastThreeDigits() {
        QTemporaryDir dir;
        const QString dst = dir.path() + "/";
        writeFile(dst + "r.pdf", "x");
        for (int n = 1; n <= 999; ++n)
            writeFile(dst + QStringLiteral("r[%1].pdf").arg(n, 3, 10, QLatin1Char('0')), "x");
        const QString src = writeFile(dir.path() + "/src/r.pdf", "new");
        QString name;
        QString stem;
        QVERIFY(CopyWithFreeName(CopySource(src), dst, name, stem));
        QCOMPARE(name, QStringLiteral("r[1000].pdf"));
        QCOMPARE(stem, QStringLiteral("r"));
    }

    void rules_data() {
        QTest::addColumn<int>("rule");
        QTest::addColumn<bool>("sameSize");
        QTest::addColumn<bool>("sameTime");
        QTest::addColumn<QString>("copiedAs"); // empty: nothing copied
        QTest::addColumn<bool>("overwritten");
        QTest::newRow("1 skip") << 1 << true << true << "" << false;
        QTest::newRow("2 overwrite") << 2 << false << false << "a.pdf" << true;
        QTest::newRow("3 rename") << 3 << true << true << "a[001].pdf" << false;
        QTest::newRow("4 same size and time") << 4 << true << true << "a.pdf" << true;
        QTest::newRow("4 same size, other time") << 4 << true << false << "a[001].pdf" << false;
        QTest::newRow("5 same size") << 5 << true << false << "a.pdf" << true;
        QTest::newRow("5 other size") << 5 << false << true << "a[001].pdf" << false;
    }
    void rules() {
        QFETCH(int, rule);
        QFETCH(bool, sameSize);
        QFETCH(bool, sameTime);
        QFETCH(QString, copiedAs);
        Fixture f;
        const QString src = writeFile(f.src + "a.pdf", "NEW!");
        const QString old = writeFile(f.dst + "a.pdf", sameSize ? "OLD!" : "OLDER");
        const QDateTime when = QDateTime::currentDateTime().addDays(-3);
        for (const QString& path : {src, old}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.setFileTime(path == old && !sameTime ? when.addSecs(-60) : when,
                             QFileDevice::FileModificationTime);
        }
        auto w = f.dialog({src}, rule);
        w->执行(false);
        QFETCH(bool, overwritten);
        const QByteArray kept = sameSize ? QByteArray("OLD!") : QByteArray("OLDER");
        QCOMPARE(readFile(old), overwritten ? QByteArray("NEW!") : kept);
        if (copiedAs.isEmpty())
            QCOMPARE(namesIn(f.dst), QStringList{"a.pdf"});
        else
            QCOMPARE(readFile(f.dst + copiedAs), QByteArray("NEW!"));
    }

    void fileInDestinationIsLeftAlone() {
        Fixture f;
        const QString inPlace = writeFile(f.dst + "here.pdf", "here");
        auto w = f.dialog({inPlace, writeFile(f.src + "b.pdf", "b")}, 2);
        QSignalSpy progress(w->ProgressBar1, &QProgressBar::valueChanged);
        w->执行(false);
        QCOMPARE(namesIn(f.dst), QStringList({"b.pdf", "here.pdf"}));
        QCOMPARE(readFile(inPlace), QByteArray("here"));
        QCOMPARE(progress.first().at(0).toInt(), 1);
        QCOMPARE(progress.at(1).at(0).toInt(), 2);
    }

    void stopClickEndsRunAndStillReports() {
        Fixture f;
        QList<CopySource> files;
        for (int i = 0; i < 5; ++i)
            files << CopySource(writeFile(f.src + QStringLiteral("f%1.pdf").arg(i), "x"));
        auto w = f.dialog(files, 3);
        // The stop click arrives while the second file is on its way.
        connect(w->ProgressBar1, &QProgressBar::valueChanged, w.get(), [&](int value) {
            if (value == 2)
                w->Command1->click();
        });
        w->Command1->click();
        QCOMPARE(namesIn(f.dst), QStringList{"f0.pdf"});
        QCOMPARE(f.app.dialogs->informations, QStringList{"复制文件完成！"});
        QCOMPARE(w->Command1->text(), QStringLiteral("开始"));
        QVERIFY(!w->running());
        QCOMPARE(w->ProgressBar1->value(), 0);
    }

    void closingDuringRunStopsFirst() {
        Fixture f;
        QList<CopySource> files;
        for (int i = 0; i < 4; ++i)
            files << CopySource(writeFile(f.src + QStringLiteral("f%1.pdf").arg(i), "x"));
        auto* w = f.dialog(files, 3).release();
        w->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<Form_Copy_Move> guard(w);
        w->show();
        connect(w->ProgressBar1, &QProgressBar::valueChanged, w, [w](int value) {
            if (value == 2)
                w->close();
        });
        QVERIFY(w->isVisible()); // the close waits for the run
        w->执行(true);
        QTRY_VERIFY(guard.isNull());
        QCOMPARE(namesIn(f.dst), QStringList{"f0.pdf"});
        QVERIFY(f.app.dialogs->informations.isEmpty());
    }

    void uncreatableFolderIsAnError() {
        Fixture f;
        auto w = f.dialog({writeFile(f.src + "a.pdf", "a")}, 3);
        w->Combo1->setEditText("relative/folder");
        w->执行(true);
        QCOMPARE(f.app.dialogs->errors, QStringList{"创建文件夹出错！"});
        QVERIFY(f.app.dialogs->informations.isEmpty());
        QVERIFY(!QFileInfo::exists("relative/folder"));
    }

    void failedOverwriteKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString src = writeFile(dir.path() + "/src/big.pdf", QByteArray(3 << 20, 'n'));
        const QString old = writeFile(dir.path() + "/dst/big.pdf", "the user's old file");
        // The source shrinks under the copy: reading it fails part way.
        int calls = 0;
        const KeepGoing shrink = [&] {
            if (++calls == 1)
                QFile::resize(src, 10);
            return true;
        };
        QCOMPARE(
            CopyOneFile(CopySource(src), dir.path() + "/dst/", ExistingFileRule::Overwrite, shrink),
            CopyOutcome::Failed);
        QCOMPARE(readFile(old), QByteArray("the user's old file"));
        QCOMPARE(namesIn(dir.path() + "/dst"), QStringList{"big.pdf"});
    }

    void stoppedOverwriteKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString src = writeFile(dir.path() + "/src/big.pdf", QByteArray(3 << 20, 'n'));
        const QString old = writeFile(dir.path() + "/dst/big.pdf", "old");
        QCOMPARE(CopyOneFile(CopySource(src), dir.path() + "/dst/", ExistingFileRule::Overwrite,
                             [] { return false; }),
                 CopyOutcome::Stopped);
        QCOMPARE(readFile(old), QByteArray("old"));
        QCOMPARE(namesIn(dir.path() + "/dst"), QStringList{"big.pdf"});
        // Let it run, and the new file replaces the old one whole.
        QCOMPARE(CopyOneFile(CopySource(src), dir.path() + "/dst/", ExistingFileRule::Overwrite),
                 CopyOutcome::Overwritten);
        QCOMPARE(readFile(old), readFile(src));
    }

    void decodesStoredEncodings_data() {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("copied");
        const QByteArray text = QByteArray("a document of some length ").repeated(100000);
        const QByteArray zlib = qCompress(text).mid(4); // a zlib stream without Qt's size
        QTest::newRow("none") << "" << text << true;
        QTest::newRow("deflate with header") << "deflate" << zlib << true;
        QTest::newRow("raw deflate") << "deflate" << zlib.mid(2, zlib.size() - 6) << true;
        QTest::newRow("cut short") << "deflate" << zlib.left(zlib.size() / 2) << false;
        QTest::newRow("not deflate") << "deflate" << QByteArray(5000, 'z') << false;
        QTest::newRow("unknown encoding") << "zstd" << text << false;
    }
    void decodesStoredEncodings() {
        QFETCH(QString, encoding);
        QFETCH(QByteArray, stored);
        QTemporaryDir dir;
        const QString entry = writeFile(dir.path() + "/entry_0", "HEAD" + stored + "TAIL");
        CopySource source(entry, 4, stored.size(), "doc.txt");
        source.encoding = encoding;
        const QString old = writeFile(dir.path() + "/out/doc.txt", "old");
        const CopyOutcome outcome =
            CopyOneFile(source, dir.path() + "/out/", ExistingFileRule::Overwrite);
        QFETCH(bool, copied);
        if (copied) {
            QCOMPARE(outcome, CopyOutcome::Overwritten);
            QCOMPARE(readFile(old), QByteArray("a document of some length ").repeated(100000));
        } else {
            QCOMPARE(outcome, CopyOutcome::Failed);
            QCOMPARE(readFile(old), QByteArray("old"));
        }
        QCOMPARE(namesIn(dir.path() + "/out"), QStringList{"doc.txt"});
    }

    void copiesAStretchOfAFile() {
        QTemporaryDir dir;
        const QString src = writeFile(dir.path() + "/entry_0", "HEADER%PDF-body-TRAILER");
        const CopySource stretch(src, 6, 10, "doc.pdf");
        QVERIFY(stretch.exists());
        QCOMPARE(stretch.size(), 10);
        QCOMPARE(CopyOneFile(stretch, dir.path() + "/out/", ExistingFileRule::Rename),
                 CopyOutcome::Failed); // the folder is the window's to make
        QDir().mkpath(dir.path() + "/out");
        QString written;
        QCOMPARE(CopyOneFile(stretch, dir.path() + "/out/", ExistingFileRule::Rename, {}, &written),
                 CopyOutcome::Copied);
        QCOMPARE(written, QStringLiteral("doc.pdf"));
        QCOMPARE(readFile(dir.path() + "/out/doc.pdf"), QByteArray("%PDF-body-"));
        QVERIFY(!CopySource(src, 6, 100, "x").exists());
    }

    // --- Decoding, changed entries, batches ---

    void decoderStepsStayWithinBound_data() {
        QTest::addColumn<QString>("encoding");
        QTest::newRow("gzip") << "gzip";
        QTest::newRow("deflate") << "deflate";
        QTest::newRow("br") << "br";
        QTest::newRow("none") << "";
    }
    void decoderStepsStayWithinBound() {
        QFETCH(QString, encoding);
        // Zeros with a little text now and then: over a thousand to one.
        const QByteArray plain = patterned(48 << 20);
        const QByteArray stored = EncodeContent(encoding, plain);
        QVERIFY(!stored.isEmpty());
        if (!encoding.isEmpty())
            QVERIFY(stored.size() * 500 < plain.size());
        std::unique_ptr<ContentDecoder> decoder = ContentDecoder::create(encoding);
        QVERIFY(decoder);
        QCryptographicHash produced(QCryptographicHash::Sha1);
        qint64 total = 0;
        qsizetype largest = 0;
        QByteArray out;
        // The whole body in one piece: the worst case for the output bound.
        decoder->feed(stored);
        for (int steps = 0;; ++steps) {
            QVERIFY(steps < 100000);
            const ContentDecoder::Step step = decoder->step(out);
            QVERIFY(out.size() <= ContentDecoder::OutputBound);
            largest = qMax(largest, out.size());
            produced.addData(out);
            total += out.size();
            QVERIFY(step != ContentDecoder::Step::Failed);
            if (step == ContentDecoder::Step::Finished || step == ContentDecoder::Step::NeedsInput)
                break;
        }
        QVERIFY(decoder->finished());
        QCOMPARE(largest, ContentDecoder::OutputBound);
        QCOMPARE(total, plain.size());
        QCOMPARE(produced.result(), QCryptographicHash::hash(plain, QCryptographicHash::Sha1));
    }

    void highRatioEntryCopied() {
        QTemporaryDir dir;
        const QByteArray plain = patterned(64 << 20);
        const QByteArray gz = EncodeContent("gzip", plain);
        const QString entry = WriteCacheEntryFile(dir.path(), "http://h/big.bin?x=1", gz,
                                                  "application/octet-stream", "gzip", true);
        QVERIFY(!entry.isEmpty());
        QDir().mkpath(dir.path() + "/out");
        const CopySource source = CopySource::cacheEntry(entry, "http://h/big.bin?x=1", "big.bin");
        QCOMPARE(CopyOneFile(source, dir.path() + "/out/", ExistingFileRule::Rename),
                 CopyOutcome::Copied);
        QCOMPARE(QFileInfo(dir.path() + "/out/big.bin").size(), plain.size());
        QCOMPARE(sha1Of(dir.path() + "/out/big.bin"),
                 QCryptographicHash::hash(plain, QCryptographicHash::Sha1));
        QCOMPARE(namesIn(dir.path() + "/out"), QStringList{"big.bin"});
    }

    void fullDiskFailsThatFileOnly() {
        Fixture f;
        const QByteArray plain = patterned(32 << 20);
        const QString entry =
            WriteCacheEntryFile(f.src, "http://h/big.bin", EncodeContent("gzip", plain),
                                "application/octet-stream", "gzip");
        const QList<CopySource> files{
            writeFile(f.src + "a.pdf", "new a"),
            CopySource::cacheEntry(entry, "http://h/big.bin", "big.bin"),
            writeFile(f.src + "c.pdf", "new c"),
        };
        writeFile(f.dst + "a.pdf", "old a");
        writeFile(f.dst + "big.bin", "the user's big.bin");
        auto w = f.dialog(files, 2);
        {
            // A disk that fills up after 4 MB: the decoded body does not fit.
            FileSizeLimit limit(4 << 20);
            w->执行(true);
        }
        QCOMPARE(readFile(f.dst + "a.pdf"), QByteArray("new a"));
        QCOMPARE(readFile(f.dst + "big.bin"), QByteArray("the user's big.bin"));
        QCOMPARE(readFile(f.dst + "c.pdf"), QByteArray("new c"));
        // No temporary file stays behind.
        QCOMPARE(namesIn(f.dst), QStringList({"a.pdf", "big.bin", "c.pdf"}));
        QVERIFY(f.app.dialogs->informations.isEmpty());
        QCOMPARE(f.app.dialogs->errors, QStringList{"复制文件完成！其中 1 个文件复制失败！"});
    }

    void changedEntry_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QByteArray>("copied"); // empty: not copied
        QTest::newRow("unchanged") << "none" << QByteArray("%PDF-listed body");
        QTest::newRow("same address, new body") << "new body" << QByteArray("%PDF-a newer body");
        QTest::newRow("another address") << "other address" << QByteArray();
        QTest::newRow("body being written") << "cut" << QByteArray();
        QTest::newRow("rewritten in place") << "in place" << QByteArray();
        QTest::newRow("not an entry any more") << "garbage" << QByteArray();
    }
    void changedEntry() {
        QFETCH(QString, change);
        QFETCH(QByteArray, copied);
        Fixture f;
        const QString address = "http://h/paper.pdf";
        const QByteArray listed = "%PDF-listed body";
        const QString entry =
            WriteCacheEntryFile(f.src, address, listed, "application/pdf", QByteArray(), true);
        QVERIFY(!entry.isEmpty());
        // Listed: the dialog gets the entry as it was.
        auto w = f.dialog({CopySource::cacheEntry(entry, address, "paper.pdf")}, 3);
        // Then the browser rewrites it.
        QTemporaryDir other;
        const auto replaceWith = [&](const QString& newFile) {
            QVERIFY(!newFile.isEmpty());
            QFile::remove(entry);
            QVERIFY(QFile::rename(newFile, entry));
        };
        if (change == "new body") {
            replaceWith(WriteCacheEntryFile(other.path(), address, "%PDF-a newer body",
                                            "application/pdf", QByteArray(), true));
        } else if (change == "other address") {
            replaceWith(WriteCacheEntryFile(other.path(), "http://h/other.pdf", listed,
                                            "application/pdf", QByteArray(), true));
        } else if (change == "cut") {
            QFile::resize(entry, 24 + 4 + address.size() + 5);
        } else if (change == "in place") {
            QFile file(entry);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.seek(24 + 4 + address.size() + 6));
            file.write("X");
        } else if (change == "garbage") {
            writeFile(entry, QByteArray(4096, 'g'));
        }
        w->执行(true);
        if (copied.isEmpty()) {
            QVERIFY(namesIn(f.dst).isEmpty());
            QCOMPARE(f.app.dialogs->errors, QStringList{"复制文件完成！其中 1 个文件复制失败！"});
        } else {
            QCOMPARE(namesIn(f.dst), QStringList{"paper.pdf"});
            QCOMPARE(readFile(f.dst + "paper.pdf"), copied);
            QCOMPARE(f.app.dialogs->informations, QStringList{"复制文件完成！"});
        }
    }

    void sizeRulesSeeTheDecodedSize_data() {
        QTest::addColumn<int>("rule");
        QTest::newRow("4 same size and time") << 4;
        QTest::newRow("5 same size") << 5;
    }
    void sizeRulesSeeTheDecodedSize() {
        QFETCH(int, rule);
        Fixture f;
        const QByteArray page = QByteArray("<p>a page of text</p>").repeated(5000);
        const QString entry = WriteCacheEntryFile(
            f.src, "http://h/page.html", EncodeContent("gzip", page), "text/html", "gzip", true);
        const CopySource source = CopySource::cacheEntry(entry, "http://h/page.html", "page.html");
        for (int run = 0; run < 2; ++run) {
            auto w = f.dialog({source}, rule);
            w->执行(false);
        }
        // The second copy is the same file: it replaces the first, no "page[001].html".
        QCOMPARE(namesIn(f.dst), QStringList{"page.html"});
        QCOMPARE(readFile(f.dst + "page.html"), page);
    }

    void namesTakenEarlierInTheRunCount() {
        Fixture f;
        const QList<CopySource> files{writeFile(f.src + "one/x.pdf", "first"),
                                      writeFile(f.src + "two/x.pdf", "second, longer"),
                                      writeFile(f.src + "three/x.pdf", "third")};
        auto w = f.dialog(files, 5);
        w->执行(false);
        QCOMPARE(readFile(f.dst + "x[001].pdf"), QByteArray("second, longer"));
        // The third has the size of the first: the size rule overwrites it.
        QCOMPARE(readFile(f.dst + "x.pdf"), QByteArray("third"));
        QCOMPARE(namesIn(f.dst), QStringList({"x.pdf", "x[001].pdf"}));
    }

    void sourceRewrittenDuringItsCopy_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("rewritten");
        QTest::newRow("entry without CRC") << "entry" << true;
        QTest::newRow("entry without CRC, untouched") << "entry" << false;
        QTest::newRow("entry with CRC") << "entry with CRC" << true;
        QTest::newRow("plain file") << "plain" << true;
        QTest::newRow("plain file, untouched") << "plain" << false;
    }
    void sourceRewrittenDuringItsCopy() {
        QFETCH(QString, kind);
        QFETCH(bool, rewritten);
        Fixture f;
        // Three pieces: the copy asks whether to go on between them.
        const QByteArray body = patterned(3 << 20);
        const QString address = "http://h/paper.pdf";
        const bool plain = kind == "plain";
        const QString path = plain ? writeFile(f.src + "paper.pdf", body)
                                   : WriteCacheEntryFile(f.src, address, body, "application/pdf",
                                                         QByteArray(), kind == "entry with CRC");
        QVERIFY(!path.isEmpty());
        // The body starts after the 24-byte header and the key "1/0/" + address.
        const qint64 bodyAt = plain ? 0 : 24 + 4 + address.size();
        QFile source(path);
        QVERIFY(source.open(QIODevice::ReadWrite));
        // Written a while ago, as a cached document is.
        QVERIFY(source.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                   QFileDevice::FileModificationTime));
        writeFile(f.dst + "paper.pdf", "the user's paper");
        int asked = 0;
        const KeepGoing going = [&] {
            if (asked++ == 0 && rewritten) {
                // Rewritten in place: same length, a byte not yet read changed.
                source.seek(bodyAt + (5 << 19));
                source.write("X");
                source.flush();
            }
            return true;
        };
        const CopySource from =
            plain ? CopySource(path) : CopySource::cacheEntry(path, address, "paper.pdf");
        QCOMPARE(CopyOneFile(from, f.dst, ExistingFileRule::Overwrite, going),
                 rewritten ? CopyOutcome::Failed : CopyOutcome::Overwritten);
        QVERIFY(asked > 0);
        QCOMPARE(readFile(f.dst + "paper.pdf"), rewritten ? QByteArray("the user's paper") : body);
        QCOMPARE(namesIn(f.dst), QStringList{"paper.pdf"});
    }

    void fifoIsNeverWaitedOn_data() {
        QTest::addColumn<bool>("entry");
        QTest::newRow("cache entry") << true;
        QTest::newRow("plain file") << false;
    }
    void fifoIsNeverWaitedOn() {
        QFETCH(bool, entry);
        Fixture f;
        const QString path = f.src + "0123456789abcdef_0";
        PlantedFifo fifo(path);
        QVERIFY(fifo.isValid());
        const CopySource source =
            entry ? CopySource::cacheEntry(path, "http://h/a.pdf", "a.pdf") : CopySource(path);
        QCOMPARE(CopyOneFile(source, f.dst, ExistingFileRule::Overwrite), CopyOutcome::Failed);
        QVERIFY(!fifo.waited());
        QVERIFY(namesIn(f.dst).isEmpty());
    }

    void keptPartOfADownloadStays() {
        Fixture f;
        const QString target = f.dst + "paper.pdf";
        PartFile::ResumeFacts facts;
        facts.address = "http://h/paper.pdf";
        facts.validator = "\"v1\"";
        facts.total = 1000;
        const QByteArray arrived = "%PDF-the first bytes of a stopped download";
        QString kept;
        {
            PartFile part(target);
            QVERIFY(part.open());
            QCOMPARE(part.device()->write(arrived), qint64(arrived.size()));
            QVERIFY(part.setResumable(facts));
            kept = part.path();
            part.keep(); // the download stopped: its part waits, unlocked, for the next attempt
        }
        const QString keptFacts = PartFile::resumePath(kept);
        const QByteArray factsText = readFile(keptFacts);
        QVERIFY(!factsText.isEmpty());

        // Copies of the same name, under each rule that writes it.
        for (int rule : {2, 3}) {
            auto w = f.dialog({writeFile(f.src + "paper.pdf", "the copied paper")}, rule);
            w->执行(true);
        }
        QCOMPARE(f.app.dialogs->informations, QStringList({"复制文件完成！", "复制文件完成！"}));
        QCOMPARE(readFile(target), QByteArray("the copied paper"));
        QCOMPARE(readFile(kept), arrived);
        QCOMPARE(readFile(keptFacts), factsText);
        QCOMPARE(readFile(f.dst + "paper[001].pdf"), QByteArray("the copied paper"));
        QCOMPARE(namesIn(f.dst),
                 QStringList({QFileInfo(kept).fileName(), QFileInfo(keptFacts).fileName(),
                              "paper.pdf", "paper[001].pdf"}));
        // The download goes on from it.
        PartFile::ResumeFacts found;
        PartFile resumed(target);
        QCOMPARE(resumed.openToResume(facts.address, &found), qint64(arrived.size()));
        QCOMPARE(found.validator, facts.validator);
        resumed.keep();

        // A download that starts over takes the part's name: the facts go with the part.
        PartFile fresh(target);
        QVERIFY(fresh.open());
        QCOMPARE(fresh.path(), kept);
        QCOMPARE(fresh.size(), qint64(0));
        QVERIFY(!QFileInfo::exists(keptFacts));
        fresh.discard();
        QCOMPARE(namesIn(f.dst), QStringList({"paper.pdf", "paper[001].pdf"}));
    }

    void staleTemporaryFileIsCleared() {
        Fixture f;
        const QString stale = PartFile::partPath(f.dst + "a.pdf");
        writeFile(stale, "half a file from a killed run");
        auto w = f.dialog({writeFile(f.src + "a.pdf", "a")}, 3);
        w->执行(false);
        QCOMPARE(namesIn(f.dst), QStringList{"a.pdf"});
    }
};

QTEST_MAIN(TestCopyTool)
#include "tst_copytool.moc"
