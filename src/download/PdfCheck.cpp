#include "download/PdfCheck.h"

#include "download/DownloadItem.h"
#include "platform/PdfReader.h"

const QString PdfUnreadableText = QStringLiteral("PDF无法打开");
const QString FirstPageOnlyText = QStringLiteral("可能只有首页");
const QString PagesMissingText = QStringLiteral("页数不全");

int ExpectedPages(const ArticleRecord& record) {
    bool firstOk = false;
    bool lastOk = false;
    const int first = record.firstPage.trimmed().toInt(&firstOk);
    const int last = record.lastPage.trimmed().toInt(&lastOk);
    if (!firstOk || !lastOk || first < 0 || last < first || last - first >= 10000)
        return 0;
    return last - first + 1;
}

QString PdfCheckText(const PdfFacts& facts, const ArticleRecord& record) {
    if (!facts.opened)
        return PdfUnreadableText;
    const int expected = ExpectedPages(record);
    // Some publishers add a cover page, others leave out a blank last page:
    // only far fewer pages than the range are a sign of a preview.
    if (expected >= 3 && facts.pageCount * 2 < expected) {
        if (facts.pageCount == 1)
            return FirstPageOnlyText;
        return QStringLiteral("%1（%2/%3页）")
            .arg(PagesMissingText)
            .arg(facts.pageCount)
            .arg(expected);
    }
    return QStringLiteral("%1页").arg(facts.pageCount);
}

bool IsCheckMark(const QString& text) {
    return text == PdfUnreadableText || text == FirstPageOnlyText ||
           text.startsWith(PagesMissingText);
}

bool IsMarkedRow(const DownloadItem& item) {
    return item.state == ItemState::Finished && IsCheckMark(item.check);
}

ArticleRecord RecordFromPdf(const PdfFacts& facts) {
    ArticleRecord r;
    if (!facts.opened)
        return r;
    r.title = facts.title;
    // Document information holds one text; names are parted by ";" or " and ",
    // or by "," when no name has a comma of its own ("Family, Given").
    QString author = facts.author;
    author.replace(QStringLiteral(" and "), QStringLiteral(";"));
    QStringList names = author.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() == 1 && names.front().count(QLatin1Char(',')) > 1)
        names = names.front().split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString& name : names)
        if (!name.trimmed().isEmpty())
            r.authors << name.trimmed();
    r.doi = FindDoi(facts.firstPageText);
    return r;
}
