#include "TestApp.h"
#include "TestFiles.h"
#include "download/Naming.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

bool touch(const QString& path, const QByteArray& content = {}) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(content) == content.size();
}

qsizetype nameBytes(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toUtf8().size();
}

} // namespace

class TestNaming : public QObject {
    Q_OBJECT
private slots:
    void cleanFileName_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clean");
        QTest::newRow("forbidden and dots") << "..a/b:c?.."
                                            << "abc";
        QTest::newRow("all forbidden characters") << "a\\b/c:d*e?f\"g<h>i|j"
                                                  << "abcdefghij";
        QTest::newRow("line breaks, NUL, tab")
            << QString::fromLatin1("a\r\nb\rc\nd\0e\tf", 12) << "abcdef";
        QTest::newRow("parent folder") << ".."
                                       << "";
        QTest::newRow("climbing title") << "../../etc/passwd"
                                        << "etcpasswd";
        QTest::newRow("dots only") << "...."
                                   << "";
        QTest::newRow("trailing dots and spaces") << "Title. . "
                                                  << "Title";
        QTest::newRow("inner dots kept") << "a..b.c"
                                         << "a..b.c";
        QTest::newRow("150 CJK: 200 UTF-8 bytes") << cjk(150) << cjk(66);
        QTest::newRow("no half character at the cut")
            << QString(199, QLatin1Char('x')) + QStringLiteral("中文")
            << QString(199, QLatin1Char('x'));
        QTest::newRow("dot exposed by the cut")
            << QString(199, QLatin1Char('x')) + QStringLiteral(".中")
            << QString(199, QLatin1Char('x'));
        QTest::newRow("html title") << "Title: A <b>study</b> | \"quoted\""
                                    << "Title A bstudyb  quoted";
    }
    void cleanFileName() {
        QFETCH(QString, text);
        QFETCH(QString, clean);
        const QString result = CleanFileName(text);
        QCOMPARE(result, clean);
        QVERIFY(result.toUtf8().size() <= CleanNameBytes);
    }

    void chooseAndSwap_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("swapped");
        QTest::newRow("one") << "a"
                             << "a"
                             << "a";
        QTest::newRow("two") << "a|b"
                             << "a"
                             << "b|a";
        QTest::newRow("three") << "a|b|c"
                               << "a"
                               << "c|a|b";
        QTest::newRow("four") << "a|b|c|d"
                              << "a"
                              << "a|b|c|d";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("leading bar") << "|b"
                                     << ""
                                     << "b|";
    }
    void chooseAndSwap() {
        QFETCH(QString, list);
        QFETCH(QString, first);
        QFETCH(QString, swapped);
        QCOMPARE(选择url(list), first);
        QCOMPARE(对调url(list), swapped);
    }

    void contentDispositionHeader_data() {
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("value");
        QTest::newRow("first of two") << "HTTP/1.1 200 OK\r\nContent-Type: application/pdf\r\n"
                                         "Content-Disposition: attachment; filename=a.pdf\r\n"
                                         "content-disposition: inline; filename=b.pdf\r\n\r\n"
                                      << "attachment; filename=a.pdf";
        QTest::newRow("indented, upper case")
            << "HTTP/1.1 200 OK\r\n  CONTENT-DISPOSITION:   inline  \r\n"
            << "inline";
        QTest::newRow("LF line ends") << "HTTP/1.1 200 OK\nContent-Disposition: x\n"
                                      << "x";
        QTest::newRow("none") << "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                              << "";
        QTest::newRow("name only inside a value") << "X-Note: content-disposition: no\r\n"
                                                  << "";
    }
    void contentDispositionHeader() {
        QFETCH(QString, headers);
        QFETCH(QString, value);
        QCOMPARE(从网络文件Header获取ContentDisposition(headers), value);
    }

    void fileNameFromDisposition_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("cleaned"); // the name after CleanFileName
        QTest::newRow("quoted, upper-case extension") << "attachment; filename=\"paper.PDF\""
                                                      << "paper"
                                                      << "PDF"
                                                      << "paper";
        QTest::newRow("two dots") << "attachment; filename=x.tar.gz"
                                  << "x.tar"
                                  << "gz"
                                  << "x.tar";
        QTest::newRow("digits stop the extension") << "inline; filename=a.mp3"
                                                   << "a"
                                                   << "mp"
                                                   << "a";
        QTest::newRow("six-letter extension") << "attachment; filename=a.abcdef"
                                              << "a"
                                              << ""
                                              << "a";
        QTest::newRow("utf-8 escapes, utf-8 named")
            << "attachment; filename=%E4%B8%AD.pdf; charset=utf-8" << QStringLiteral("中") << "pdf"
            << QStringLiteral("中");
        QTest::newRow("936 escapes, utf-8 named")
            << "attachment; filename=%D6%D0%CE%C4.pdf; charset=UTF-8" << QStringLiteral("中文")
            << "pdf" << QStringLiteral("中文");
        QTest::newRow("utf-8 escapes, no charset")
            << "attachment; filename=%E4%B8%AD%E6%96%87.pdf" << QStringLiteral("中文") << "pdf"
            << QStringLiteral("中文");
        QTest::newRow("malformed escapes")
            << "attachment; filename=%E4%B8.pdf" << QStringLiteral("\uFFFD") << "pdf"
            << QStringLiteral("\uFFFD");
        QTest::newRow("encoded form only") << "attachment; filename*=UTF-8''x.pdf"
                                           << ""
                                           << ""
                                           << "";
        QTest::newRow("no extension") << "attachment; filename=report"
                                      << "report"
                                      << ""
                                      << "report";
        QTest::newRow("apostrophes") << "attachment; filename='a b.pdf'"
                                     << "a b"
                                     << "pdf"
                                     << "a b";
        QTest::newRow("upper-case key") << "ATTACHMENT; FILENAME=A.PDF"
                                        << "A"
                                        << "PDF"
                                        << "A";
        QTest::newRow("climbing name") << "attachment; filename=\"../../evil.pdf\""
                                       << "../../evil"
                                       << "pdf"
                                       << "evil";
        QTest::newRow("escaped climbing name") << "attachment; filename=%2E%2E%2Fetc%2Fpasswd"
                                               << "../etc/passwd"
                                               << ""
                                               << "etcpasswd";
        QTest::newRow("plus in name") << "attachment; filename=a+b.pdf"
                                      << "a b"
                                      << "pdf"
                                      << "a b";
        QTest::newRow("empty") << ""
                               << ""
                               << ""
                               << "";
    }
    void fileNameFromDisposition() {
        QFETCH(QString, value);
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, cleaned);
        QString ext = QStringLiteral("stale");
        const QString result = 从下载头信息ContentDisposition获取文件名(value, ext);
        QCOMPARE(result, name);
        QCOMPARE(ext, extension);
        QCOMPARE(CleanFileName(result), cleaned);
    }

    void policyCaptions_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("policy");
        QTest::newRow("skip") << "跳过" << int(SameNamePolicy::Skip);
        QTest::newRow("overwrite") << "覆盖" << int(SameNamePolicy::Overwrite);
        QTest::newRow("rename") << "重命名" << int(SameNamePolicy::Rename);
        QTest::newRow("unknown") << "删除" << int(SameNamePolicy::Rename);
    }
    void policyCaptions() {
        QFETCH(QString, caption);
        QFETCH(int, policy);
        QCOMPARE(int(sameNamePolicyFromCaption(caption)), policy);
        QCOMPARE(sameNamePolicyFromCaption(sameNamePolicyCaption(SameNamePolicy(policy))),
                 SameNamePolicy(policy));
    }

    void needsDownload_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("existingBytes"); // -1: no file
        QTest::addColumn<bool>("needed");
        QTest::newRow("skip, empty file exists")
            << int(SameNamePolicy::Skip) << "pdf" << 0 << false;
        QTest::newRow("skip, file exists") << int(SameNamePolicy::Skip) << "pdf" << 1234 << false;
        QTest::newRow("skip, no file") << int(SameNamePolicy::Skip) << "pdf" << -1 << true;
        QTest::newRow("skip, empty type") << int(SameNamePolicy::Skip) << "" << 7 << false;
        QTest::newRow("overwrite, file exists")
            << int(SameNamePolicy::Overwrite) << "pdf" << 5 << true;
        QTest::newRow("rename, file exists") << int(SameNamePolicy::Rename) << "pdf" << 5 << true;
    }
    void needsDownload() {
        QFETCH(int, policy);
        QFETCH(QString, type);
        QFETCH(int, existingBytes);
        QFETCH(bool, needed);
        QTemporaryDir dir;
        DownloadItem row;
        row.name = QStringLiteral("文章");
        row.type = type;
        row.folder = dir.path(); // no trailing "/": one is put in between
        row.key = QStringLiteral("https://example.org/a.pdf");
        if (existingBytes >= 0)
            QVERIFY(touch(RowFilePath(row), QByteArray(existingBytes, 'x')));
        QCOMPARE(确定是需要下载(row, SameNamePolicy(policy)), needed);
        if (needed) {
            QVERIFY(row.notYetDownloaded());
            QCOMPARE(row.state, ItemState::Waiting);
        } else {
            QCOMPARE(row.state, ItemState::Finished);
            QCOMPARE(row.size, QString::number(existingBytes));
            QCOMPARE(row.received, QString::number(existingBytes));
            QCOMPARE(row.percent, QStringLiteral("已存在，跳过"));
        }
    }

    void renameSavePath_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("newName");
        const QStringList set = {"A.pdf", "A[1].pdf", "A[001].pdf", "B[x].pdf"};
        const int rename = int(SameNamePolicy::Rename);
        QTest::newRow("numbered after the taken ones") << set << rename << "A"
                                                       << "A[002].pdf"
                                                       << "A[002]";
        QTest::newRow("counter taken from the name") << set << rename << "A[1]"
                                                     << "A[002].pdf"
                                                     << "A[002]";
        QTest::newRow("other brackets replaced")
            << set << rename << "B[x]" << QStringLiteral("B『x』.pdf") << QStringLiteral("B『x』");
        QTest::newRow("free name kept, brackets included") << set << rename << "C[5]"
                                                           << "C[5].pdf"
                                                           << "C[5]";
        QTest::newRow("overwrite keeps the plain path")
            << set << int(SameNamePolicy::Overwrite) << "A"
            << "A.pdf"
            << "A";
        QTest::newRow("skip numbers like rename") << set << int(SameNamePolicy::Skip) << "A"
                                                  << "A[002].pdf"
                                                  << "A[002]";
        QTest::newRow("counter padded from its own value")
            << QStringList{"D[7].pdf"} << rename << "D[7]"
            << "D[007].pdf"
            << "D[007]";
        QTest::newRow("counter outgrows the padding")
            << QStringList{"E[1000].pdf"} << rename << "E[1000]"
            << "E[1001].pdf"
            << "E[1001]";
        QTest::newRow("folder in the way counts as taken") << QStringList{"F.pdf/"} << rename << "F"
                                                           << "F[001].pdf"
                                                           << "F[001]";
        QTest::newRow("names colliding after cleaning")
            << QStringList{"ab.pdf"} << rename << CleanFileName("a/b") << "ab[001].pdf"
            << "ab[001]";
    }
    void renameSavePath() {
        QFETCH(QStringList, existing);
        QFETCH(int, policy);
        QFETCH(QString, name);
        QFETCH(QString, file);
        QFETCH(QString, newName);
        QTemporaryDir dir;
        for (const QString& e : existing) {
            if (e.endsWith(QLatin1Char('/')))
                QVERIFY(QDir(dir.path()).mkdir(e.chopped(1)));
            else
                QVERIFY(touch(dir.path() + QLatin1Char('/') + e));
        }
        QString made;
        const QString path = 重命名保存路径(dir.path() + QLatin1Char('/'), name,
                                            QStringLiteral("pdf"), SameNamePolicy(policy), made);
        QCOMPARE(path, dir.path() + QLatin1Char('/') + file);
        QCOMPARE(made, newName);
    }

    // A row without type is written without extension, where the type check
    // looks for it.
    void renameSavePathWithoutType() {
        QTemporaryDir dir;
        QString made;
        const QString folder = dir.path() + QLatin1Char('/');
        QCOMPARE(
            重命名保存路径(folder, QStringLiteral("N"), QString(), SameNamePolicy::Rename, made),
            folder + QStringLiteral("N"));
        QCOMPARE(made, QStringLiteral("N"));
        QVERIFY(touch(folder + QStringLiteral("N")));
        QCOMPARE(
            重命名保存路径(folder, QStringLiteral("N"), QString(), SameNamePolicy::Rename, made),
            folder + QStringLiteral("N[001]"));
        QCOMPARE(made, QStringLiteral("N[001]"));
        DownloadItem row;
        row.name = made;
        row.folder = folder;
        QCOMPARE(RowFilePath(row), folder + QStringLiteral("N[001]"));
    }

    // Long titles: every name made, counter and extension included, can be created.
    void renameSavePathFitsNameLimit_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("254 ASCII bytes") << QString(254, QLatin1Char('a'));
        QTest::newRow("85 CJK characters") << cjk(85);
        QTest::newRow("150 CJK title, cleaned") << CleanFileName(cjk(150));
        QTest::newRow("cleaned ASCII title") << CleanFileName(QString(300, QLatin1Char('t')));
        QTest::newRow("numbered long name")
            << QString(248, QLatin1Char('n')) + QStringLiteral("[12]");
    }
    void renameSavePathFitsNameLimit() {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QStringList made;
        for (int i = 0; i < 12; ++i) {
            QString newName;
            const QString path = 重命名保存路径(dir.path(), name, QStringLiteral("pdf"),
                                                SameNamePolicy::Rename, newName);
            QVERIFY2(nameBytes(path) <= MaxFileNameBytes, qPrintable(path));
            QCOMPARE(path, dir.path() + QLatin1Char('/') + newName + QStringLiteral(".pdf"));
            QVERIFY2(!made.contains(path), qPrintable(path));
            QVERIFY2(touch(path), qPrintable(path));
            made << path;
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 12);
    }

    void freeFilePath_data() {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("free");
        QTest::newRow("free path unchanged") << QStringList{} << "x.pdf"
                                             << "x.pdf";
        QTest::newRow("trailing counter dropped") << QStringList{"r[0003].pdf"} << "r[0003].pdf"
                                                  << "r.pdf";
        QTest::newRow("first number") << QStringList{"n.htm"} << "n.htm"
                                      << "n[0001].htm";
        QTest::newRow("second number") << QStringList{"n.htm", "n[0001].htm"} << "n.htm"
                                       << "n[0002].htm";
        QTest::newRow("no extension") << QStringList{"noext"} << "noext"
                                      << "noext[0001]";
        QTest::newRow("inner brackets kept") << QStringList{"a[x].pdf"} << "a[x].pdf"
                                             << "a[x][0001].pdf";
        QTest::newRow("folder counts as taken") << QStringList{"d.pdf/"} << "d.pdf"
                                                << "d[0001].pdf";
        QTest::newRow("base cut to 100 characters")
            << QStringList{QString(120, QLatin1Char('a')) + ".pdf"}
            << QString(120, QLatin1Char('a')) + ".pdf" << QString(100, QLatin1Char('a')) + ".pdf";
        QTest::newRow("100 CJK fit the byte limit")
            << QStringList{cjk(80) + ".htm", cjk(80) + "[0001].htm"} << cjk(80) + ".htm"
            << cjk(80) + "[0002].htm";
    }
    void freeFilePath() {
        QFETCH(QStringList, existing);
        QFETCH(QString, file);
        QFETCH(QString, free);
        QTemporaryDir dir;
        for (const QString& e : existing) {
            if (e.endsWith(QLatin1Char('/')))
                QVERIFY(QDir(dir.path()).mkdir(e.chopped(1)));
            else
                QVERIFY(touch(dir.path() + QLatin1Char('/') + e));
        }
        QCOMPARE(FreeFilePath(dir.path() + QLatin1Char('/') + file),
                 dir.path() + QLatin1Char('/') + free);
    }

    void freeFilePathFitsNameLimit() {
        QTemporaryDir dir;
        // A name at the very limit: every numbered variant must still be creatable.
        const QString base = cjk(83) + QStringLiteral("ab"); // 251 bytes
        const QString first = dir.path() + QLatin1Char('/') + base + QStringLiteral(".htm");
        QVERIFY(touch(first));
        QString path = first;
        for (int i = 0; i < 3; ++i) {
            path = FreeFilePath(first);
            QVERIFY2(nameBytes(path) <= MaxFileNameBytes, qPrintable(path));
            QVERIFY2(touch(path), qPrintable(path));
        }
        QVERIFY(path.endsWith(QStringLiteral("[0003].htm")));
    }

    void existsTests_data() {
        QTest::addColumn<QString>("path"); // "@" stands for the temporary folder
        QTest::addColumn<bool>("file");
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << "@/f.txt" << true << false;
        QTest::newRow("file, spaces around") << "  @/f.txt " << true << false;
        QTest::newRow("file URL") << "file://@/f.txt" << true << false;
        QTest::newRow("folder") << "@/sub" << false << true;
        QTest::newRow("folder with slash") << "@/sub/" << false << true;
        QTest::newRow("missing") << "@/nothing" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("blank") << "   " << false << false;
        QTest::newRow("backslash is no separator") << "@\\f.txt" << false << false;
    }
    void existsTests() {
        QFETCH(QString, path);
        QFETCH(bool, file);
        QFETCH(bool, folder);
        QTemporaryDir dir;
        QVERIFY(touch(dir.path() + QStringLiteral("/f.txt")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        path.replace(QLatin1Char('@'), dir.path());
        QCOMPARE(FileExists(path), file);
        QCOMPARE(FolderExists(path), folder);
    }

    void homeFolder() {
        QTemporaryDir dir;
        const QByteArray oldHome = qgetenv("HOME");
        qputenv("HOME", dir.path().toUtf8());
        QVERIFY(touch(dir.path() + QStringLiteral("/h.txt")));
        const bool file = FileExists(QStringLiteral("~/h.txt"));
        const bool folder = FolderExists(QStringLiteral("~/"));
        TestApp t;
        const QString made = EnsureFolder(QStringLiteral("~/Varnelle/"));
        qputenv("HOME", oldHome);
        QVERIFY(file);
        QVERIFY(folder);
        QCOMPARE(made, dir.path() + QStringLiteral("/Varnelle"));
        QVERIFY(QFileInfo(made).isDir());
    }

    void nameAndExtension_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("file");
        const QString longTitle(70, QChar(0x6d4b)); // 210 UTF-8 bytes
        QTest::newRow("plain") << "Paper"
                               << "http://h/x.pdf"
                               << "pdf"
                               << "Paper.pdf";
        QTest::newRow("long title keeps the extension")
            << longTitle << "http://h/x.pdf"
            << "pdf" << QString(66, QChar(0x6d4b)) + ".pdf";
        QTest::newRow("no extension") << "Paper"
                                      << "http://h/x.pdf"
                                      << ""
                                      << "Paper";
        QTest::newRow("dots only: the address's file name") << "..."
                                                            << "http://h/d/S77.pdf?a=b"
                                                            << "pdf"
                                                            << "S77.pdf";
        QTest::newRow("spaces and dots: the address's file name") << " . "
                                                                  << "http://h/d/S77"
                                                                  << "pdf"
                                                                  << "S77.pdf";
        QTest::newRow("nothing usable") << ".."
                                        << "http://h/"
                                        << "pdf"
                                        << "未命名.pdf";
        QTest::newRow("address of dots") << ""
                                         << "http://h/..."
                                         << "htm"
                                         << "未命名.htm";
    }
    void nameAndExtension() {
        QFETCH(QString, title);
        QFETCH(QString, address);
        QFETCH(QString, extension);
        QFETCH(QString, file);
        QCOMPARE(JoinNameAndExtension(FileNameFor(title, address), extension), file);
        QVERIFY(file.toUtf8().size() <= MaxFileNameBytes);
        // A name already at the length limit still gets its whole extension.
        const QString joined = JoinNameAndExtension(QString(85, QChar(0x6d4b)), extension);
        QVERIFY(extension.isEmpty() || joined.endsWith(QLatin1Char('.') + extension));
        // The download naming joins the same way: the name is cut, never the type.
        QString newName;
        QTemporaryDir dir;
        const QString path =
            重命名保存路径(dir.path() + QLatin1Char('/'), FileNameFor(title, address), extension,
                           SameNamePolicy::Rename, newName);
        QCOMPARE(path, dir.path() + QLatin1Char('/') + file);
    }

    void splitFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("name");
        QTest::newRow("full path") << "/a/b/name.pdf"
                                   << "pdf"
                                   << "name";
        QTest::newRow("dot in folder only") << "/a/b.c/name"
                                            << ""
                                            << "name";
        QTest::newRow("seven-letter extension") << "/a/name.abcdefg"
                                                << ""
                                                << "name.abcdefg";
        QTest::newRow("six-letter extension") << "name.abcdef"
                                              << "abcdef"
                                              << "name";
        QTest::newRow("spaces trimmed") << "  /x/ a .b "
                                        << "b"
                                        << "a";
        QTest::newRow("two dots") << "x.tar.gz"
                                  << "gz"
                                  << "x.tar";
        QTest::newRow("numbered") << "/d/name[0001].htm"
                                  << "htm"
                                  << "name[0001]";
        QTest::newRow("extension only") << "/a/.pdf"
                                        << "pdf"
                                        << "";
    }
    void splitFileName() {
        QFETCH(QString, path);
        QFETCH(QString, extension);
        QFETCH(QString, name);
        QString n = QStringLiteral("stale");
        QCOMPARE(SplitFileName(path, n), extension);
        QCOMPARE(n, name);
    }

    void ensureFolder_data() {
        QTest::addColumn<QString>("path"); // "@" stands for the temporary folder
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("errors");
        QTest::newRow("nested, trailing slash") << "@/new/sub/"
                                                << "@/new/sub" << 0;
        QTest::newRow("existing") << "@"
                                  << "@" << 0;
        QTest::newRow("doubled slash") << "@/new//sub"
                                       << "@/new/sub" << 0;
        QTest::newRow("leading double slash") << "/@/x"
                                              << "@/x" << 0;
        QTest::newRow("forbidden characters cleaned") << "@/a:b/c*d?"
                                                      << "@/ab/cd" << 0;
        QTest::newRow("parent part refused") << "@/x/../y"
                                             << "@/x" << 1;
        QTest::newRow("dot part refused") << "@/./y"
                                          << "@" << 1;
        QTest::newRow("through a file") << "@/f.txt/sub"
                                        << "" << 0;
        QTest::newRow("root") << "/"
                              << "/" << 0;
        // Folders that exist stay as they are named; only new parts are cleaned.
        QTest::newRow("existing hidden folder") << "@/.papers/2024"
                                                << "@/.papers/2024" << 0;
        QTest::newRow("existing folder ending in a space") << "@/space /x"
                                                           << "@/space /x" << 0;
        QTest::newRow("new hidden folder cleaned") << "@/.fresh/x"
                                                   << "@/fresh/x" << 0;
        QTest::newRow("new folder ending in a space cleaned") << "@/new /x"
                                                              << "@/new/x" << 0;
    }
    void ensureFolder() {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QFETCH(int, errors);
        TestApp t;
        QTemporaryDir dir;
        QVERIFY(touch(dir.path() + QStringLiteral("/f.txt")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".papers/2024")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("space ")));
        path.replace(QLatin1Char('@'), dir.path());
        result.replace(QLatin1Char('@'), dir.path());
        QCOMPARE(EnsureFolder(path), result);
        // Nothing was made beside the folders the user has.
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/papers")));
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/space")));
        if (!result.isEmpty())
            QVERIFY(QFileInfo(result).isDir());
        QCOMPARE(t.dialogs->errors.size(), errors);
        for (const QString& e : t.dialogs->errors)
            QCOMPARE(e, QStringLiteral("文件夹名称有误！不能创建文件夹！"));
        QVERIFY(!QFileInfo::exists(dir.path() + QStringLiteral("/y"))); // never climbed out
    }

    // The whole path of a title with "/" and "..": it stays in its folder.
    void titleNeverLeavesFolder_data() {
        QTest::addColumn<QString>("title");
        QTest::newRow("climbing") << "../../../tmp/evil";
        QTest::newRow("slashes") << "A/B/C";
        QTest::newRow("dots only") << "..";
        QTest::newRow("backslashes") << "..\\..\\x";
        QTest::newRow("long CJK with slash") << cjk(70) + "/" + cjk(80);
    }
    void titleNeverLeavesFolder() {
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/out/");
        QVERIFY(QDir().mkpath(folder));
        QString newName;
        const QString path = 重命名保存路径(folder, CleanFileName(title), QStringLiteral("pdf"),
                                            SameNamePolicy::Rename, newName);
        QVERIFY2(QFileInfo(path).absolutePath() == QDir(folder).absolutePath(), qPrintable(path));
        QVERIFY(!newName.contains(QLatin1Char('/')));
        QVERIFY(touch(path));
        QVERIFY(QFileInfo(path).canonicalPath() == QDir(folder).canonicalPath());
    }
};

QTEST_GUILESS_MAIN(TestNaming)
#include "tst_naming.moc"
