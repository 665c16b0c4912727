#include "TestApp.h"
#include "net/HttpGetText.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
const QRegularExpression AlphabetOnly(QStringLiteral("^[0-9a-zA-Z]*$"));
}

class TestHttpGetText : public QObject {
    Q_OBJECT
private slots:
    void randomStringLengthAndAlphabet_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("length");
        QTest::newRow("five") << 5 << 5;
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("negative") << -3 << 0;
    }
    void randomStringLengthAndAlphabet() {
        QFETCH(int, count);
        QFETCH(int, length);
        const QString s = RandomString(count);
        QCOMPARE(s.size(), length);
        QVERIFY(AlphabetOnly.match(s).hasMatch());
    }

    // Every character of the alphabet turns up, and draws differ.
    void randomStringCoversAlphabet() {
        QSet<QChar> seen;
        for (int i = 0; i < 200; ++i)
            for (const QChar c : RandomString(20))
                seen.insert(c);
        QCOMPARE(seen.size(), 62);
        QVERIFY(RandomString(16) != RandomString(16));
    }

    void stampHasNoSeparators() {
        const QDateTime when(QDate(2026, 3, 7), QTime(9, 5, 4));
        const QString stamp = CacheBustingDateTime(when);
        for (const QChar c :
             {QLatin1Char('-'), QLatin1Char(':'), QLatin1Char('/'), QLatin1Char(' ')})
            QVERIFY2(!stamp.contains(c), qPrintable(stamp));
        QVERIFY2(stamp.contains(QStringLiteral("0504")), qPrintable(stamp));
        QVERIFY2(stamp.contains(QStringLiteral("26")), qPrintable(stamp));
    }

    void cacheBusterJoinsQuery_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("no query") << "http://h/a"
                                  << "http://h/a?llll=";
        QTest::newRow("query") << "http://h/a?x=1"
                               << "http://h/a?x=1&llll=";
    }
    void cacheBusterJoinsQuery() {
        QFETCH(QString, url);
        QFETCH(QString, prefix);
        const QDateTime when(QDate(2026, 12, 9), QTime(23, 1, 2));
        const QString busted = AddCacheBuster(url, when);
        QVERIFY(busted.startsWith(prefix));
        const QString value = busted.mid(prefix.size());
        QCOMPARE(value.left(value.size() - 5), CacheBustingDateTime(when));
        QVERIFY(AlphabetOnly.match(value.right(5)).hasMatch());
    }
};

QTEST_MAIN(TestHttpGetText)
#include "tst_httpgettext.moc"
