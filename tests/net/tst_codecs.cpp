#include "net/Codecs.h"
#include "platform/Charset.h"

#include <QTest>

namespace {

QString cjk(int count) {
    QString s;
    for (int i = 0; i < count; ++i)
        s.append(QChar(char16_t(0x4E00 + i)));
    return s;
}

const QString Zhongwen = QStringLiteral("中文");

} // namespace

class TestCodecs : public QObject {
    Q_OBJECT
private slots:
    void urlRoot_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("root");
        QTest::newRow("article") << "https://www.sciencedirect.com/science/article/pii/S1?a=1"
                                 << "https://www.sciencedirect.com";
        QTest::newRow("host only") << "http://host:8080"
                                   << "http://host:8080";
        QTest::newRow("slash right after scheme") << "http:///path/x"
                                                  << "http:///path/x";
        QTest::newRow("no scheme") << "host.com/path/x"
                                   << "host.com";
        QTest::newRow("no scheme, slash at 4th") << "abc/d"
                                                 << "abc";
        QTest::newRow("no scheme, slash at 3rd") << "ab/cd"
                                                 << "ab/cd";
        QTest::newRow("empty") << ""
                               << "";
    }
    void urlRoot() {
        QFETCH(QString, address);
        QFETCH(QString, root);
        QCOMPARE(UrlRoot(address), root);
    }

    void bytesToText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        QTest::newRow("GB2312 label reads code page 936")
            << QByteArray::fromHex("D6D0CEC4") << "GB2312" << Zhongwen;
        // 0x8140 exists only in GBK, not in GB2312 proper: servers mean GBK.
        QTest::newRow("GB2312 label, GBK-only char")
            << QByteArray::fromHex("8140") << "gb2312" << QStringLiteral("丂");
        QTest::newRow("gbk, spaces around")
            << QByteArray::fromHex("D6D0CEC4") << "  GBK " << Zhongwen;
        QTest::newRow("utf-8") << QByteArray("\xE4\xB8\xAD\xE6\x96\x87") << "utf-8" << Zhongwen;
        QTest::newRow("utf-8 with BOM")
            << QByteArray("\xEF\xBB\xBF<html>") << "UTF-8" << QStringLiteral("<html>");
        QTest::newRow("malformed utf-8") << QByteArray("a\xFF"
                                                       "b")
                                         << "utf-8" << QStringLiteral("a\uFFFDb");
        QTest::newRow("unknown charset") << QByteArray("abc") << "x-no-such-set"
                                         << "";
        QTest::newRow("empty charset is the default")
            << QByteArray("A\0b\0\x2D\x4E", 6) << "" << QStringLiteral("Ab中");
        QTest::newRow("blank charset is the default")
            << QByteArray("A\0", 2) << "   " << QStringLiteral("A");
        QTest::newRow("big5") << QByteArray::fromHex("A4A4A4E5") << "big5" << Zhongwen;
        QTest::newRow("latin-1") << QByteArray("caf\xE9") << "iso-8859-1" << QStringLiteral("café");
        QTest::newRow("no bytes") << QByteArray() << "utf-8"
                                  << "";
    }
    void bytesToText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(BytesToText(bytes, charset), text);
    }

    void charsetTellsUnknownNames() {
        bool known = true;
        QCOMPARE(Charset::decode("abc", QStringLiteral("nonsense-42"), &known), QString());
        QVERIFY(!known);
        QVERIFY(Charset::encode(QStringLiteral("abc"), QStringLiteral("中文"), &known).isEmpty());
        QVERIFY(!known);
        QCOMPARE(Charset::decode("abc", QStringLiteral("utf-8"), &known), QStringLiteral("abc"));
        QVERIFY(known);
        QVERIFY(!Charset::isKnown(QString()));
        QVERIFY(Charset::isKnown(QStringLiteral("GB2312")));
        QCOMPARE(Charset::toGbk(Zhongwen), QByteArray::fromHex("D6D0CEC4"));
        QCOMPARE(Charset::toGbk(QStringLiteral("a\u0E01b")), QByteArray("a?b")); // Thai: not in 936
        QCOMPARE(Charset::fromGbk(QByteArray::fromHex("D6D0CEC4")), Zhongwen);
        QCOMPARE(Charset::encode(QStringLiteral("é中"), QStringLiteral("utf-8")),
                 QByteArray("\xC3\xA9\xE4\xB8\xAD"));
    }

    void urlDecodeUtf8_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("escaped utf-8") << "%E4%B8%AD%E6%96%87.pdf" << QStringLiteral("中文.pdf");
        QTest::newRow("lower-case hex") << "%e4%b8%ad" << QStringLiteral("中");
        QTest::newRow("plus is space") << "a+b"
                                       << "a b";
        QTest::newRow("code-unit escape") << "%u4E2D" << QStringLiteral("中");
        QTest::newRow("run interrupted: two separate decodes")
            << "%E4%B8-%AD" << QStringLiteral("\uFFFD-\uFFFD");
        QTest::newRow("zero byte ends its run") << "%41%00%42C"
                                                << "AC";
        QTest::newRow("non-hex escape ends its run") << "%41%zz%42"
                                                     << "A";
        QTest::newRow("next run decodes again") << "%41%00%42-%43"
                                                << "A-C";
        QTest::newRow("percent at the end disappears") << "ab%"
                                                       << "ab";
        QTest::newRow("upper-case U is a byte escape") << "%U4E2D"
                                                       << "E2D";
        QTest::newRow("bad code-unit escape consumes six") << "%u12G4xy"
                                                           << "xy";
        QTest::newRow("literal non-ASCII kept")
            << QStringLiteral("Müller_中.pdf") << QStringLiteral("Müller_中.pdf");
        QTest::newRow("four-byte utf-8") << "%F0%9F%98%80" << QStringLiteral("\U0001F600");
        QTest::newRow("empty") << ""
                               << "";
    }
    void urlDecodeUtf8() {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(UrlDecodeUtf8(text), decoded);
    }

    void urlDecodeAuto_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("utf-8 decided at once") << "%E4%B8%AD%E6%96%87" << Zhongwen;
        QTest::newRow("code page 936") << "%D6%D0%CE%C4.pdf" << QStringLiteral("中文.pdf");
        QTest::newRow("two-byte sequences alone read as 936")
            << "%C3%A9" << Charset::fromGbk(QByteArray::fromHex("C3A9"));
        QTest::newRow("ambiguous, then decisive utf-8: read again")
            << "x%C3%A9-%E4%B8%AD" << QStringLiteral("xé-中");
        QTest::newRow("ambiguous, then decisive 936")
            << "%C3%A9%D6%D0" << Charset::fromGbk(QByteArray::fromHex("C3A9D6D0"));
        QTest::newRow("plus is space") << "a+b%20c"
                                       << "a b c";
        QTest::newRow("last byte escape") << "x%41"
                                          << "xA";
        QTest::newRow("last code-unit escape") << "x%u4E2D" << QStringLiteral("x中");
        QTest::newRow("text after last escape") << "%u4E2Dtail" << QStringLiteral("中tail");
        QTest::newRow("upper-case U escape") << "%U4E2D" << QStringLiteral("中");
        QTest::newRow("control character") << "a%0Ab"
                                           << "a\nb";
        QTest::newRow("non-hex escape gives nothing") << "a%zzb"
                                                      << "ab";
        QTest::newRow("936 trail byte left unescaped") << "%81@" << QStringLiteral("丂");
        QTest::newRow("four-byte utf-8") << "%F0%9F%98%80!" << QStringLiteral("\U0001F600!");
        QTest::newRow("utf-8, broken continuation gives nothing")
            << "%E4%B8%AD%E4%41z" << QStringLiteral("中z");
        QTest::newRow("utf-8, stray continuation byte") << "%E4%B8%AD%80x" << QStringLiteral("中x");
        QTest::newRow("utf-8, sequence cut by the end")
            << "%E4%B8%AD%E4%B8" << QStringLiteral("中");
        QTest::newRow("percent at the end") << "ab%"
                                            << "ab";
        QTest::newRow("empty") << ""
                               << "";
    }
    void urlDecodeAuto() {
        QFETCH(QString, text);
        QFETCH(QString, decoded);
        QCOMPARE(UrlDecodeAuto(text), decoded);
    }

    void utf8BytesToText_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QByteArray("\xE4\xB8\xAD") << QStringLiteral("中");
        QTest::newRow("stops at zero") << QByteArray("ab\0cd", 5) << "ab";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void utf8BytesToText() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(Utf8BytesToText(bytes), text);
    }

    void hexValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("value");
        QTest::newRow("empty") << "" << qint64(-1);
        QTest::newRow("blank") << "  " << qint64(-1);
        QTest::newRow("non-hex letter") << "1G" << qint64(-1);
        QTest::newRow("spaces around") << " 1F " << qint64(31);
        QTest::newRow("lower case") << "ff" << qint64(255);
        QTest::newRow("code unit") << "4E2D" << qint64(0x4E2D);
        QTest::newRow("sign") << "-1" << qint64(-1);
        QTest::newRow("inner space") << "1 F" << qint64(-1);
    }
    void hexValue() {
        QFETCH(QString, text);
        QFETCH(qint64, value);
        QCOMPARE(HexValue(text), value);
    }

    void cleanHeaderValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clean");
        QTest::newRow("continuation line") << "attachment;\r\n\tfilename=a.pdf  "
                                           << "attachment;filename=a.pdf";
        QTest::newRow("bare breaks and NUL") << QString::fromLatin1("  a\rb\nc\0d ", 11) << "abcd";
        QTest::newRow("inner spaces kept") << " a b "
                                           << "a b";
    }
    void cleanHeaderValue() {
        QFETCH(QString, text);
        QFETCH(QString, clean);
        QCOMPARE(CleanHeaderValue(text), clean);
    }

    void leftBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("left");
        const int utf8 = int(ByteForm::Utf8);
        const int gbk = int(ByteForm::Gbk);
        QTest::newRow("150 CJK, 936 bytes") << cjk(150) << 200 << gbk << cjk(100);
        QTest::newRow("150 CJK, UTF-8 bytes") << cjk(150) << 200 << utf8 << cjk(66);
        QTest::newRow("short text unchanged") << "abc" << 200 << utf8 << "abc";
        QTest::newRow("ascii cut") << "abcdef" << 4 << utf8 << "abcd";
        QTest::newRow("no half CJK, UTF-8") << QStringLiteral("ab中") << 4 << utf8 << "ab";
        QTest::newRow("no half CJK, 936") << QStringLiteral("ab中") << 3 << gbk << "ab";
        QTest::newRow("no half surrogate pair")
            << QStringLiteral("a\U0001F600") << 4 << utf8 << "a";
        QTest::newRow("surrogate pair fits")
            << QStringLiteral("a\U0001F600b") << 5 << utf8 << QStringLiteral("a\U0001F600");
        QTest::newRow("outside 936 counts one")
            << QStringLiteral("\u0E01\u0E01x") << 2 << gbk << QStringLiteral("\u0E01\u0E01");
        QTest::newRow("zero") << "abc" << 0 << utf8 << "";
    }
    void leftBytes() {
        QFETCH(QString, text);
        QFETCH(int, n);
        QFETCH(int, form);
        QFETCH(QString, left);
        QCOMPARE(LeftBytes(text, n, ByteForm(form)), left);
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
