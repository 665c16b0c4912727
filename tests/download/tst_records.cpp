#include "download/RecordNaming.h"
#include "download/RecordSources.h"
#include "shell/FileNames.h"

#include "TestFiles.h"

#include <QTest>

Q_DECLARE_METATYPE(ArticleRecord)

namespace {

ArticleRecord fullRecord() {
    ArticleRecord r;
    r.title = QStringLiteral("Graphene on copper");
    r.authors = {QStringLiteral("Smith, Anna"), QStringLiteral("张伟")};
    r.journal = QStringLiteral("Carbon");
    r.year = QStringLiteral("2024");
    r.date = QStringLiteral("2024-03-15");
    r.volume = QStringLiteral("219");
    r.issue = QStringLiteral("4");
    r.firstPage = QStringLiteral("118");
    r.lastPage = QStringLiteral("129");
    r.articleType = QStringLiteral("Research article");
    r.doi = QStringLiteral("10.1016/j.carbon.2024.118123");
    r.pii = QStringLiteral("S0008622324000123");
    r.pdfUrl = QStringLiteral("https://x/a.pdf");
    r.access = ArticleRecord::Access::Open;
    return r;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void dates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("iso");
        QTest::newRow("slashes") << "2024/03/15"
                                 << "2024-03-15";
        QTest::newRow("dashes, short month") << "2024-3"
                                             << "2024-03";
        QTest::newRow("year") << "Medical Image Analysis, 2018"
                              << "2018";
        QTest::newRow("day month year") << "Available online 3 January 2024"
                                        << "2024-01-03";
        QTest::newRow("month day, year") << "March 15, 2024"
                                         << "2024-03-15";
        QTest::newRow("month year") << "Volume 48, Issue 5, April 2010, Pages 1–9"
                                    << "2010-04";
        QTest::newRow("month range") << "May–June 2020"
                                     << "2020-05";
        QTest::newRow("no year") << "Pages 1–9"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("impossible month") << "2024/13/40"
                                          << "2024";
    }
    void dates() {
        QFETCH(QString, text);
        QFETCH(QString, iso);
        QCOMPARE(IsoDateFrom(text), iso);
    }

    void identifiers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("doi");
        QTest::addColumn<QString>("pii");
        QTest::newRow("resolver address") << "https://doi.org/10.1016/J.Carbon.2010.01.001."
                                          << "10.1016/j.carbon.2010.01.001"
                                          << "";
        QTest::newRow("percent-encoded doi") << "https://x/?doi=10.1016%2Fj.a.2020.1"
                                             << "10.1016/j.a.2020.1"
                                             << "";
        QTest::newRow("article address")
            << "https://www.sciencedirect.com/science/article/pii/S0008622310000011/pdfft?x=1"
            << ""
            << "S0008622310000011";
        QTest::newRow("old query")
            << "https://www.sciencedirect.com/science?_ob=X&_pii=s0008622310001"
            << ""
            << "S0008622310001";
        QTest::newRow("pid of the file")
            << "https://x/pdfft?md5=1&pid=1-s2.0-S1361841518000011-main.pdf"
            << ""
            << "S1361841518000011";
        QTest::newRow("formatted pii") << "https://x/pii/S0008-6223(10)00123-4"
                                       << ""
                                       << "S0008622310001234";
        QTest::newRow("nothing") << "https://x/search?qs=a"
                                 << ""
                                 << "";
    }
    void identifiers() {
        QFETCH(QString, text);
        QFETCH(QString, doi);
        QFETCH(QString, pii);
        QCOMPARE(FindDoi(text), doi);
        QCOMPARE(PiiFromAddress(text), pii);
    }

    void metaTagsOfHtmlText() {
        // Attributes in any order and quoting, entities, a body whose meta
        // tags are not the head's.
        const QString html = QStringLiteral(
            "<html><HEAD><META content=\"Graphene &amp; copper &#x4E2D;\" NAME=citation_title>"
            "<meta name='citation_author' content='Smith, Anna'>"
            "<meta name=\"citation_author\" content=\"张伟\" />"
            "<meta name=\"citation_publication_date\" content=\"2024/03/15\">"
            "<meta name=\"citation_doi\" content=\"doi:10.1016/J.X.2024.1\">"
            "<meta property=\"og:title\" content=\"Other\">"
            "<link rel=\"alternate canonical\" href=\"/science/article/pii/S0008622324000123\">"
            "</head><body><meta name=\"citation_title\" content=\"Not this\"></body></html>");
        const QVector<SnapshotMeta> meta =
            MetaTagsFromHtml(html, QStringLiteral("https://www.sciencedirect.com/a/b"));
        QCOMPARE(meta.size(), 7);
        QCOMPARE(
            meta.last().content,
            QStringLiteral("https://www.sciencedirect.com/science/article/pii/S0008622324000123"));
        const ArticleRecord r = RecordFromMetaTags(meta);
        QCOMPARE(r.title, QStringLiteral("Graphene & copper 中"));
        QCOMPARE(r.authors, (QStringList{QStringLiteral("Smith, Anna"), QStringLiteral("张伟")}));
        QCOMPARE(r.date, QStringLiteral("2024-03-15"));
        QCOMPARE(r.year, QStringLiteral("2024"));
        QCOMPARE(r.doi, QStringLiteral("10.1016/j.x.2024.1"));
        QCOMPARE(r.pii, QStringLiteral("S0008622324000123"));
        QVERIFY(r.journal.isEmpty());
        QCOMPARE(r.access, ArticleRecord::Access::Unknown);
        QVERIFY(RecordFromMetaTags(MetaTagsFromHtml(QStringLiteral("<p>window.location='x';</p>")))
                    .isEmpty());
    }

    void laterSourcesOnlyFill() {
        ArticleRecord fromBlock;
        fromBlock.title = QStringLiteral("Block title");
        fromBlock.date = QStringLiteral("2024");
        fromBlock.year = QStringLiteral("2024");
        ArticleRecord fromPage = fullRecord();
        fromPage.title = QStringLiteral("Page title");
        fromBlock.fillFrom(fromPage);
        QCOMPARE(fromBlock.title, QStringLiteral("Block title"));
        QCOMPARE(fromBlock.date, QStringLiteral("2024-03-15")); // the fuller date
        QCOMPARE(fromBlock.doi, fullRecord().doi);
        ArticleRecord empty;
        ArticleRecord kept = fullRecord();
        kept.fillFrom(empty);
        QCOMPARE(kept, fullRecord());
    }

    void keptValuesRoundTrip() {
        const ArticleRecord r = fullRecord();
        QVariantList values{QStringLiteral("before")};
        values += RecordKeptValues(r);
        QCOMPARE(values.size(), RecordKeptColumns().size() + 1);
        QCOMPARE(RecordFromKept(values, 1), r);
        // A table kept before records came has the columns empty.
        QVariantList old{QStringLiteral("before")};
        for (const KeptList::Column& c : RecordKeptColumns())
            old.append(c.type == QLatin1String("INTEGER") ? QVariant(0) : QVariant(QString()));
        QVERIFY(RecordFromKept(old, 1).isEmpty());
        QVERIFY(RecordFromKept({}, 0).isEmpty());
        old[old.size() - 1] = 7; // no such access value
        QCOMPARE(RecordFromKept(old, 1).access, ArticleRecord::Access::Unknown);
    }

    void details() {
        const QString text = RecordDetails(fullRecord());
        QVERIFY(text.contains(QStringLiteral("作者：Smith, Anna; 张伟")));
        QVERIFY(text.contains(QStringLiteral("页码：118–129")));
        QVERIFY(text.contains(QStringLiteral("开放获取：是")));
        QCOMPARE(RecordDetails({}), QString());
        ArticleRecord many;
        many.authors = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                        QStringLiteral("D")};
        QCOMPARE(ShortAuthorsLine(many), QStringLiteral("A; B; C 等"));
    }

    void namesFromPatterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<ArticleRecord>("record");
        QTest::addColumn<QString>("subFolder");
        QTest::addColumn<QString>("name");
        const ArticleRecord full = fullRecord();
        ArticleRecord noYear = full;
        noYear.year.clear();
        ArticleRecord bad = full;
        bad.journal = QStringLiteral("..//::");
        bad.title = QStringLiteral("???");
        bad.authors = {QStringLiteral("<>|")};
        QTest::newRow("author year title") << "作者 - 年份 - 标题" << full << ""
                                           << "Smith 等 - 2024 - Graphene on copper";
        QTest::newRow("missing field leaves no dangling dash")
            << "作者 - 年份 - 标题" << noYear << ""
            << "Smith 等 - Graphene on copper";
        QTest::newRow("doi") << "DOI" << full << ""
                             << "10.1016_j.carbon.2024.118123";
        QTest::newRow("journal folder, year folder") << "期刊/年份/标题" << full << "Carbon/2024/"
                                                     << "Graphene on copper";
        QTest::newRow("folder and name cleaning to nothing") << "期刊/标题" << bad << "未知/"
                                                             << "fallback";
        QTest::newRow("no field at all") << "作者 - 年份" << ArticleRecord() << ""
                                         << "fallback";
        QTest::newRow("slashes of a value stay in the name") << "标题" <<
            [] {
                ArticleRecord r;
                r.title = QStringLiteral("A/B test: x?");
                return r;
            }() << ""
                                                             << "A_B test x";
    }
    void namesFromPatterns() {
        QFETCH(QString, pattern);
        QFETCH(ArticleRecord, record);
        QFETCH(QString, subFolder);
        QFETCH(QString, name);
        const PatternName made = NameFromPattern(pattern, record, QStringLiteral("fallback"));
        QCOMPARE(made.subFolder, subFolder);
        QCOMPARE(made.name, name);
    }

    void longNamesKeepTheLimit() {
        ArticleRecord r = fullRecord();
        r.title = cjk(300);
        r.journal = cjk(300);
        const PatternName made = NameFromPattern(QStringLiteral("期刊/作者 - 年份 - 标题"), r,
                                                 QStringLiteral("fallback"));
        for (const QString& part : made.subFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
            QVERIFY(part.toUtf8().size() <= CleanNameBytes);
        QVERIFY(made.name.toUtf8().size() <= CleanNameBytes);
        QVERIFY(made.name.startsWith(QStringLiteral("Smith 等 - 2024 - ")));
        // With a counter and an extension the whole name still fits.
        QVERIFY(JoinNameAndExtension(made.name + QStringLiteral("[001]"), QStringLiteral("pdf"))
                    .toUtf8()
                    .size() <= 255);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
