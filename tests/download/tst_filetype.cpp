#include "TestApp.h"
#include "download/FileType.h"
#include "download/Naming.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

// `head` followed by filler up to `size` bytes.
QByteArray padded(const QByteArray& head, qsizetype size, char fill = ' ') {
    QByteArray b = head;
    if (b.size() < size)
        b.append(QByteArray(size - b.size(), fill));
    return b;
}

QByteArray htmlPage(qsizetype size) {
    return padded("<!DOCTYPE html>\n<html lang=\"en\"><head><title>Error 403</title></head>"
                  "<body><p>Access denied. Please sign in.</p>",
                  size - 14) +
           "</body></html>";
}

QByteArray compoundDocument(qsizetype size, qsizetype at, const QByteArray& marker) {
    QByteArray b = padded(hex("D0CF11E0A1B11AE1"), size, '\0');
    if (at >= 0)
        b.replace(at, marker.size(), marker);
    return b;
}

QByteArray linkFile(const QStringList& skip = {}) {
    QByteArray b = "[TARGET]\r\nDOCTYPE=caj\r\n";
    for (const char* key : {"A1=", "A2=", "B1=", "B2=", "C1=", "C2=", "D1=", "D2="})
        if (!skip.contains(QLatin1String(key)))
            b += QByteArray(key) + "value\r\n";
    if (skip.contains(QStringLiteral("[TARGET]")))
        b.replace("[TARGET]", "[OTHER]");
    return padded(b, 2048);
}

bool write(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFileType : public QObject {
    Q_OBJECT
private slots:
    void sniff_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("type");
        const QByteArray pdf =
            "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("one byte") << QByteArray("%") << "";
        QTest::newRow("two bytes") << QByteArray("MZ") << "";
        QTest::newRow("3-byte CAJ") << QByteArray("CAJ") << "kdh";
        QTest::newRow("PDF") << padded(pdf, 50000) << "pdf";
        QTest::newRow("tiny PDF") << QByteArray("%PDF") << "pdf";
        QTest::newRow("10-byte text stops at the JPEG test") << QByteArray("0123456789") << "";
        QTest::newRow("caj") << padded(hex("C8000000"), 100) << "caj";
        QTest::newRow("kdh") << padded("KDH 1.0", 100) << "kdh";
        QTest::newRow("nh") << padded(QByteArray("HN\0\0", 4), 100) << "nh";
        QTest::newRow("tif") << padded(hex("49492A00"), 100) << "tif";
        QTest::newRow("rtf") << padded("{\\rtf1\\ansi", 100) << "rtf";
        QTest::newRow("exe") << padded("MZ\x90", 100) << "exe";
        QTest::newRow("rar") << padded("Rar!\x1A\x07", 100) << "rar";
        QTest::newRow("zip, flags 0, deflate") << padded(hex("504B03041400000008"), 100) << "zip";
        QTest::newRow("OOXML document") << padded(hex("504B0304140006000800"), 5000) << "docx";
        QTest::newRow("other zip") << padded(hex("504B0304140008000800"), 5000, 'z') << "";
        QTest::newRow("swf") << padded(hex("43575306"), 100) << "swf";
        QTest::newRow("rm") << padded(".RMF", 100) << "rm";
        QTest::newRow("wma") << padded(hex("3026B2758E"), 100) << "wma";
        QTest::newRow("mp3 with ID3v2.3") << padded(hex("4944330300"), 4000, '\x55') << "mp3";
        QTest::newRow("mp3 with trailing ID3v1 tag")
            << padded(hex("FFFB9064"), 4000, '\x55') + padded("TAG", 128) << "mp3";
        QTest::newRow("tag in a file of exactly 128 bytes") << padded("TAG", 128, 'x') << "";
        QTest::newRow("png") << padded(hex("89504E470D0A1A0A"), 100) << "png";
        QTest::newRow("odd gif header") << padded(hex("47494638393104"), 100) << "gif";
        QTest::newRow("GIF89a") << padded("GIF89a", 1000, '\x01') << "";
        QTest::newRow("jpeg exif big-endian")
            << padded(hex("FFD8FFE1AAAA45786966BBBB4D4D002A"), 100) << "jpg";
        QTest::newRow("jpeg jfif") << padded(hex("FFD8FFE000104A464946"), 100) << "jpg";
        QTest::newRow("doc") << compoundDocument(1024, 512, hex("ECA5C100")) << "doc";
        QTest::newRow("xls") << compoundDocument(1024, 512, hex("09081000")) << "xls";
        QTest::newRow("ppt") << compoundDocument(1024, 515, hex("F0")) << "ppt";
        QTest::newRow("other compound") << compoundDocument(1024, -1, {}) << "";
        QTest::newRow("compound shorter than its record") << compoundDocument(400, -1, {}) << "";
        QTest::newRow("HTML error page served as pdf") << htmlPage(3000) << "htm";
        QTest::newRow("150 KB HTML page") << htmlPage(150 * 1024) << "htm";
        QTest::newRow("250 KB HTML page") << htmlPage(250 * 1024) << "";
        QTest::newRow("upper-case markers")
            << padded("<HTML LANG=EN><BODY>Sign in</BODY></HTML>", 500) << "htm";
        QTest::newRow("html without title, head or body")
            << padded("<html>plain words only</html>", 500) << "";
        QTest::newRow("markers past the first 10241 bytes")
            << padded("<html>", 12000) + "<body></body>"
            << "";
        QTest::newRow("link file") << linkFile() << "caa";
        QTest::newRow("link file without D2") << linkFile({"D2="}) << "";
        QTest::newRow("link file without [TARGET]") << linkFile({"[TARGET]"}) << "";
        QTest::newRow("link file, lower-case markers") << linkFile().toLower() << "caa";
        QTest::newRow("plain text") << padded("Just some notes about an article.", 4000) << "";
    }
    void sniff() {
        QFETCH(QByteArray, content);
        QFETCH(QString, type);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/file.bin");
        QVERIFY(write(path, content));
        QCOMPARE(打开文件判断文件类型(path), type);
        QCOMPARE(read(path), content); // never written
    }

    void sniffMissingOrFolder() {
        QTemporaryDir dir;
        QCOMPARE(打开文件判断文件类型(dir.path() + QStringLiteral("/none.pdf")), QString());
        QCOMPARE(打开文件判断文件类型(dir.path()), QString());
        QCOMPARE(打开文件判断文件类型(QString()), QString());
    }

    void correctFileType_data() {
        QTest::addColumn<QString>("type"); // row's type
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("others"); // files there already
        QTest::addColumn<bool>("moved");
        QTest::addColumn<QString>("newName");
        QTest::addColumn<QString>("newType");
        const QByteArray page = htmlPage(3000);
        const QByteArray pdf = padded("%PDF-1.4\n", 3000);
        QTest::newRow("error page as pdf") << "pdf" << page << QStringList{} << true << "name"
                                           << "htm";
        QTest::newRow("name.htm taken")
            << "pdf" << page << QStringList{"name.htm"} << true << "name[0001]"
            << "htm";
        QTest::newRow("two taken")
            << "pdf" << page << QStringList{"name.htm", "name[0001].htm"} << true << "name[0002]"
            << "htm";
        QTest::newRow("PDF in capitals left alone")
            << "PDF" << pdf << QStringList{} << false << "name"
            << "PDF";
        QTest::newRow("unknown content left alone")
            << "pdf" << padded("hello", 3000) << QStringList{} << false << "name"
            << "pdf";
        QTest::newRow("row without type") << "" << pdf << QStringList{} << true << "name"
                                          << "pdf";
        QTest::newRow("pdf saved as htm") << "htm" << pdf << QStringList{} << true << "name"
                                          << "pdf";
    }
    void correctFileType() {
        QFETCH(QString, type);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, others);
        QFETCH(bool, moved);
        QFETCH(QString, newName);
        QFETCH(QString, newType);
        QTemporaryDir dir;
        DownloadItem row;
        row.name = QStringLiteral("name");
        row.type = type;
        row.folder = dir.path() + QLatin1Char('/');
        const QString original = RowFilePath(row);
        QVERIFY(write(original, content));
        for (const QString& o : others)
            QVERIFY(write(dir.path() + QLatin1Char('/') + o, "keep " + o.toUtf8()));

        QCOMPARE(CorrectFileType(row), moved);
        QCOMPARE(row.name, newName);
        QCOMPARE(row.type, newType);
        QCOMPARE(read(RowFilePath(row)), content);
        QCOMPARE(QFileInfo::exists(original), !moved);
        for (const QString& o : others) // nothing overwritten
            QCOMPARE(read(dir.path() + QLatin1Char('/') + o), "keep " + o.toUtf8());
    }

    void correctMissingFile() {
        QTemporaryDir dir;
        DownloadItem row;
        row.name = QStringLiteral("gone");
        row.type = QStringLiteral("pdf");
        row.folder = dir.path() + QLatin1Char('/');
        QVERIFY(!CorrectFileType(row));
        QCOMPARE(row.name, QStringLiteral("gone"));
        QCOMPARE(row.type, QStringLiteral("pdf"));
    }

    void correctFailedMove() {
        QTemporaryDir dir;
        DownloadItem row;
        row.name = QStringLiteral("locked");
        row.type = QStringLiteral("pdf");
        row.folder = dir.path() + QLatin1Char('/');
        QVERIFY(write(RowFilePath(row), htmlPage(3000)));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool moved = CorrectFileType(row);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
        if (QFileInfo::exists(dir.path() + QStringLiteral("/locked.htm")))
            QSKIP("this user may rename in a read-only folder");
        QVERIFY(!moved);
        QCOMPARE(row.type, QStringLiteral("pdf"));
        QCOMPARE(row.name, QStringLiteral("locked"));
    }

    // A name at the byte limit corrected to a taken extension stays creatable.
    void correctLongName() {
        QTemporaryDir dir;
        QString title;
        for (int i = 0; i < 150; ++i)
            title.append(QChar(char16_t(0x4E00 + i)));
        DownloadItem row;
        row.name = CleanFileName(title);
        row.type = QStringLiteral("pdf");
        row.folder = dir.path() + QLatin1Char('/');
        QVERIFY(write(RowFilePath(row), htmlPage(3000)));
        QVERIFY(write(dir.path() + QLatin1Char('/') + row.name + QStringLiteral(".htm"), "x"));
        QVERIFY(CorrectFileType(row));
        QCOMPARE(row.type, QStringLiteral("htm"));
        QVERIFY(row.name.endsWith(QStringLiteral("[0001]")));
        QVERIFY(QFileInfo(RowFilePath(row)).isFile());
        QVERIFY(QFileInfo(RowFilePath(row)).fileName().toUtf8().size() <= MaxFileNameBytes);
    }

    void mimeTypeToExtension_data() {
        QTest::addColumn<QString>("mediaType");
        QTest::addColumn<QString>("extension");
        QTest::newRow("pdf") << "application/pdf"
                             << "pdf";
        QTest::newRow("html") << "text/html"
                              << "html";
        QTest::newRow("mixed case, spaces") << "Text / Plain"
                                            << "txt";
        QTest::newRow("tiff") << "image/tiff"
                              << "tif";
        QTest::newRow("mpeg4: letters stop at the digit") << "video/mpeg4"
                                                          << "mp";
        QTest::newRow("x-download") << "application/x-download"
                                    << "x";
        QTest::newRow("force-download") << "application/force-download"
                                        << "force";
        QTest::newRow("ten letters") << "text/javascript"
                                     << "";
        QTest::newRow("octet-stream") << "application/octet-stream"
                                      << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("any") << "*/*"
                             << "";
        QTest::newRow("no slash") << "pdf"
                                  << "pdf";
        QTest::newRow("svg") << "image/svg+xml"
                             << "svg";
        QTest::newRow("word") << "application/msword"
                              << "doc";
        QTest::newRow("docx")
            << "application/vnd.openxmlformats-officedocument.wordprocessingml.document"
            << "docx";
        QTest::newRow("excel") << "application/vnd.ms-excel"
                               << "xls";
        QTest::newRow("x-png") << "image/x-png"
                               << "png";
        QTest::newRow("jpeg") << "image/jpeg"
                              << "jpeg";
        QTest::newRow("caj") << "application/caj"
                             << "caj";
        QTest::newRow("mail") << "message/rfc822"
                              << "mht";
        QTest::newRow("quicktime") << "video/quicktime"
                                   << "mov";
        QTest::newRow("midi") << "audio/midi"
                              << "mid";
        QTest::newRow("empty minor") << "application/"
                                     << "";
        QTest::newRow("star minor") << "text/*"
                                    << "";
        QTest::newRow("other major") << "model/vrml"
                                     << "vrml";
        QTest::newRow("three parts") << "a/b/c"
                                     << "a";
        QTest::newRow("x-zip") << "application/x-zip-compressed"
                               << "zip";
    }
    void mimeTypeToExtension() {
        QFETCH(QString, mediaType);
        QFETCH(QString, extension);
        QCOMPARE(MimeTypeToExtension(mediaType), extension);
    }

    void checkAllCommand_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("running") << true << 3 << -1
                                 << QStringList{QStringLiteral("停止下载以后，才能执行此操作！")};
        QTest::newRow("running, empty list")
            << true << 0 << -1 << QStringList{QStringLiteral("停止下载以后，才能执行此操作！")};
        QTest::newRow("empty list") << false << 0 << 0 << QStringList{};
        QTest::newRow("three rows, two wrong")
            << false << 3 << 2 << QStringList{QStringLiteral("纠正文件类型：2个.")};
    }
    void checkAllCommand() {
        QFETCH(bool, running);
        QFETCH(int, rowCount);
        QFETCH(int, result);
        QFETCH(QStringList, messages);
        TestApp t;
        QTemporaryDir dir;
        // Row 0: a page saved as pdf; row 1: a real pdf; row 2: a pdf saved as htm;
        // any state, even a failed one, is checked.
        const QByteArray contents[3] = {htmlPage(3000), padded("%PDF-1.5", 3000),
                                        padded("%PDF-1.5", 3000)};
        const char* types[3] = {"pdf", "pdf", "htm"};
        std::vector<DownloadItem> items(static_cast<size_t>(rowCount));
        QList<DownloadItem*> rows;
        for (int i = 0; i < rowCount; ++i) {
            DownloadItem& row = items[static_cast<size_t>(i)];
            row.name = QStringLiteral("r%1").arg(i);
            row.type = QString::fromLatin1(types[i]);
            row.folder = dir.path() + QLatin1Char('/');
            row.state = i == 2 ? ItemState::Failed : ItemState::Finished;
            QVERIFY(write(RowFilePath(row), contents[i]));
            rows << &row;
        }
        QList<qsizetype> changed;
        QCOMPARE(检查并纠正磁盘文件类型(rows, running, [&](qsizetype i) { changed << i; }), result);
        QCOMPARE(t.dialogs->informations, messages);
        if (result > 0) {
            QCOMPARE(changed, (QList<qsizetype>{0, 2}));
            QCOMPARE(items[0].type, QStringLiteral("htm"));
            QCOMPARE(items[1].type, QStringLiteral("pdf"));
            QCOMPARE(items[2].type, QStringLiteral("pdf"));
        } else {
            QVERIFY(changed.isEmpty());
            for (int i = 0; i < rowCount; ++i)
                QCOMPARE(items[static_cast<size_t>(i)].type, QString::fromLatin1(types[i]));
        }
    }

    void judgeFileCommand_data() {
        QTest::addColumn<QByteArray>("content"); // empty: the user cancels
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("pdf") << padded("%PDF-1.3", 500) << "pdf"
                             << QStringList{QStringLiteral("文件类型为：pdf")};
        QTest::newRow("unknown") << padded("plain", 500) << ""
                                 << QStringList{QStringLiteral("文件类型为：目前还无法判断。")};
        QTest::newRow("cancelled") << QByteArray() << "" << QStringList{};
    }
    void judgeFileCommand() {
        QFETCH(QByteArray, content);
        QFETCH(QString, type);
        QFETCH(QStringList, messages);
        TestApp t;
        QTemporaryDir dir;
        if (!content.isEmpty()) {
            const QString path = dir.path() + QStringLiteral("/picked.dat");
            QVERIFY(write(path, content));
            t.dialogs->fileAnswers.push_back(path);
        }
        QCOMPARE(打开文件判断类型(), type);
        QCOMPARE(t.dialogs->informations, messages);
        QVERIFY(t.dialogs->errors.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFileType)
#include "tst_filetype.moc"
