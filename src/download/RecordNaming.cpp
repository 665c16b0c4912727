#include "download/RecordNaming.h"

#include "download/RecordSources.h"
#include "shell/FileNames.h"

#include <QRegularExpression>

namespace {

QString fieldValue(const QString& field, const ArticleRecord& r) {
    if (field == QStringLiteral("作者")) {
        if (r.authors.isEmpty())
            return {};
        const QString first = SplitAuthorName(r.authors.first()).family;
        return r.authors.size() > 1 ? first + QStringLiteral(" 等") : first;
    }
    if (field == QStringLiteral("年份"))
        return r.year;
    if (field == QStringLiteral("标题"))
        return r.title;
    if (field == QStringLiteral("期刊"))
        return r.journal;
    if (field == QStringLiteral("DOI"))
        return QString(r.doi).replace(QLatin1Char('/'), QLatin1Char('_'));
    if (field == QStringLiteral("卷"))
        return r.volume;
    if (field == QStringLiteral("期"))
        return r.issue;
    if (field == QStringLiteral("页码"))
        return r.lastPage.isEmpty() ? r.firstPage : r.firstPage + QLatin1Char('-') + r.lastPage;
    if (field == QStringLiteral("PII"))
        return r.pii;
    if (field == QStringLiteral("类型"))
        return r.articleType;
    return {};
}

QString withoutLooseEnds(QString text) {
    static const QRegularExpression ends(QStringLiteral("^[\\s\\-–_,;.]+|[\\s\\-–_,;]+$"));
    text.remove(ends);
    return text.simplified();
}

// One part of the pattern with its fields filled in, the separators a missing
// field left at the ends or doubled taken away.
QString filled(const QString& part, const ArticleRecord& record) {
    // "期刊" before "期", so the longer name wins.
    static const QRegularExpression fields(
        QStringLiteral("作者|年份|标题|期刊|DOI|卷|期|页码|PII|类型"));
    QString out;
    qsizetype last = 0;
    auto it = fields.globalMatch(part);
    while (it.hasNext()) {
        const auto m = it.next();
        out += part.mid(last, m.capturedStart() - last);
        // A value's own slashes and line breaks would split or break the name.
        out += fieldValue(m.captured(0), record)
                   .simplified()
                   .replace(QLatin1Char('/'), QLatin1Char('_'));
        last = m.capturedEnd();
    }
    out += part.mid(last);
    static const QRegularExpression doubled(QStringLiteral("\\s*([-–_,;])(?:\\s*[-–_,;])+\\s*"));
    out.replace(doubled, QStringLiteral(" \\1 "));
    return withoutLooseEnds(out);
}

// Cleaned as a file name, and again without the separators the cleaning
// bared ("..//::" leaves "_"): a part of nothing but those is nothing.
QString cleanPart(const QString& text) {
    QString part = withoutLooseEnds(CleanFileName(text));
    while (part != CleanFileName(part))
        part = withoutLooseEnds(CleanFileName(part));
    return part;
}

} // namespace

PatternName NameFromPattern(const QString& pattern, const ArticleRecord& record,
                            const QString& fallbackName) {
    PatternName result;
    QStringList parts = pattern.split(QLatin1Char('/'));
    const QString last = parts.takeLast();
    for (const QString& part : std::as_const(parts)) {
        if (part.trimmed().isEmpty())
            continue; // "//" or a leading "/" names no folder
        QString folder = cleanPart(filled(part, record));
        if (folder.isEmpty())
            folder = QStringLiteral("未知");
        result.subFolder += folder + QLatin1Char('/');
    }
    result.name = cleanPart(filled(last, record));
    if (result.name.isEmpty())
        result.name = FileNameFor(fallbackName, QString());
    return result;
}
