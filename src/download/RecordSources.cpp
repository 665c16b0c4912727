#include "download/RecordSources.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace {

using Re = QRegularExpression;

const QString kMonths =
    QStringLiteral("(Jan(?:uary)?|Feb(?:ruary)?|Mar(?:ch)?|Apr(?:il)?|May|June?|July?|Aug(?:ust)?|"
                   "Sep(?:t(?:ember)?)?|Oct(?:ober)?|Nov(?:ember)?|Dec(?:ember)?)");

int monthNumber(const QString& name) {
    static const QStringList starts = {
        QStringLiteral("jan"), QStringLiteral("feb"), QStringLiteral("mar"), QStringLiteral("apr"),
        QStringLiteral("may"), QStringLiteral("jun"), QStringLiteral("jul"), QStringLiteral("aug"),
        QStringLiteral("sep"), QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec")};
    return int(starts.indexOf(name.left(3).toLower())) + 1;
}

QString isoOf(int year, int month, int day) {
    if (year < 1000 || year > 2999)
        return {};
    QString iso = QString::number(year);
    if (month < 1 || month > 12)
        return iso;
    iso += QStringLiteral("-%1").arg(month, 2, 10, QLatin1Char('0'));
    if (day < 1 || day > 31)
        return iso;
    return iso + QStringLiteral("-%1").arg(day, 2, 10, QLatin1Char('0'));
}

QString decodeEntities(const QString& text) {
    if (!text.contains(QLatin1Char('&')))
        return text;
    static const Re entity(QStringLiteral("&(#[xX][0-9a-fA-F]{1,6}|#[0-9]{1,7}|[a-zA-Z]{2,6});"));
    static const QHash<QString, QString> named = {{QStringLiteral("amp"), QStringLiteral("&")},
                                                  {QStringLiteral("lt"), QStringLiteral("<")},
                                                  {QStringLiteral("gt"), QStringLiteral(">")},
                                                  {QStringLiteral("quot"), QStringLiteral("\"")},
                                                  {QStringLiteral("apos"), QStringLiteral("'")},
                                                  {QStringLiteral("nbsp"), QStringLiteral(" ")},
                                                  {QStringLiteral("ndash"), QStringLiteral("–")},
                                                  {QStringLiteral("mdash"), QStringLiteral("—")}};
    QString out;
    qsizetype last = 0;
    auto it = entity.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += QStringView(text).sliced(last, m.capturedStart() - last);
        const QString body = m.captured(1);
        QString replacement = m.captured(0);
        if (body.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex = body.size() > 1 &&
                             (body.at(1) == QLatin1Char('x') || body.at(1) == QLatin1Char('X'));
            const uint code = body.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t c = code;
                replacement = QString::fromUcs4(&c, 1);
            }
        } else if (named.contains(body)) {
            replacement = named.value(body);
        }
        out += replacement;
        last = m.capturedEnd();
    }
    out += QStringView(text).sliced(last);
    return out;
}

// The attributes of one tag's text (what stands between its name and ">").
QHash<QString, QString> attributesOf(const QString& tagText) {
    static const Re attribute(QStringLiteral(
        "([a-zA-Z_:][-a-zA-Z0-9_:.]*)\\s*(?:=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+)))?"));
    QHash<QString, QString> found;
    auto it = attribute.globalMatch(tagText);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString name = m.captured(1).toLower();
        if (found.contains(name))
            continue;
        QString value = m.captured(2);
        if (value.isNull())
            value = m.captured(3);
        if (value.isNull())
            value = m.captured(4);
        found.insert(name, decodeEntities(value));
    }
    return found;
}

QString oneLine(const QString& text) {
    return text.simplified();
}

} // namespace

QString NormalizedDoi(const QString& text) {
    return FindDoi(text);
}

QString FindDoi(const QString& text) {
    static const Re doi(QStringLiteral("10\\.\\d{4,9}/[^\\s\"<>]+"));
    const auto m = doi.match(QUrl::fromPercentEncoding(text.toUtf8()));
    if (!m.hasMatch())
        return {};
    QString found = m.captured(0);
    // Punctuation that closes the sentence or a bracket around the DOI; a
    // bracket the DOI opened itself ("S0021-9517(24)00123-4") is its own.
    for (;;) {
        if (found.isEmpty())
            break;
        const QChar last = found.back();
        if (QStringLiteral(".,;:]}'").contains(last) ||
            (last == QLatin1Char(')') &&
             found.count(QLatin1Char('(')) < found.count(QLatin1Char(')'))))
            found.chop(1);
        else
            break;
    }
    return found.toLower();
}

QString PiiFromAddress(const QString& address) {
    static const Re patterns[] = {
        Re(QStringLiteral("/pii/([A-Za-z0-9()\\-]{8,30})"), Re::CaseInsensitiveOption),
        Re(QStringLiteral("[?&]_?pii=([A-Za-z0-9()\\-]{8,30})"), Re::CaseInsensitiveOption),
        Re(QStringLiteral("1-s2\\.0-(S[A-Za-z0-9]{8,25})-main"), Re::CaseInsensitiveOption)};
    for (const Re& re : patterns) {
        const auto m = re.match(address);
        if (!m.hasMatch())
            continue;
        QString pii;
        for (QChar c : m.captured(1)) {
            if (c.isLetterOrNumber() && c.unicode() < 128)
                pii += c.toUpper();
        }
        if (pii.size() >= 8)
            return pii;
    }
    return {};
}

QString IsoDateFrom(const QString& text) {
    static const Re numeric(
        QStringLiteral("\\b(\\d{4})(?:[-/.](\\d{1,2})(?:[-/.](\\d{1,2}))?)?\\b"));
    static const Re dayMonthYear(QStringLiteral("\\b(\\d{1,2})\\s+") + kMonths +
                                     QStringLiteral("\\.?,?\\s+(\\d{4})\\b"),
                                 Re::CaseInsensitiveOption);
    static const Re monthDayYear(kMonths + QStringLiteral("\\.?\\s+(\\d{1,2}),?\\s+(\\d{4})\\b"),
                                 Re::CaseInsensitiveOption);
    static const Re monthYear(
        QStringLiteral("\\b") + kMonths +
            QStringLiteral("\\.?(?:\\s*[–—/-]\\s*[A-Za-z]+\\.?)?\\s+(\\d{4})\\b"),
        Re::CaseInsensitiveOption);
    if (auto m = dayMonthYear.match(text); m.hasMatch())
        return isoOf(m.captured(3).toInt(), monthNumber(m.captured(2)), m.captured(1).toInt());
    if (auto m = monthDayYear.match(text); m.hasMatch())
        return isoOf(m.captured(3).toInt(), monthNumber(m.captured(1)), m.captured(2).toInt());
    if (auto m = monthYear.match(text); m.hasMatch())
        return isoOf(m.captured(2).toInt(), monthNumber(m.captured(1)), 0);
    auto it = numeric.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        const int year = m.captured(1).toInt();
        if (year < 1600 || year > 2999)
            continue;
        return isoOf(year, m.captured(2).toInt(), m.captured(3).toInt());
    }
    return {};
}

ArticleRecord RecordFromMetaTags(const QVector<SnapshotMeta>& meta) {
    const auto all = [&meta](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            QStringList found;
            for (const SnapshotMeta& m : meta) {
                const QString key = QString::fromLatin1(name);
                if (m.name.compare(key, Qt::CaseInsensitive) == 0 ||
                    m.property.compare(key, Qt::CaseInsensitive) == 0) {
                    const QString content = oneLine(m.content);
                    if (!content.isEmpty())
                        found.append(content);
                }
            }
            if (!found.isEmpty())
                return found;
        }
        return QStringList();
    };
    const auto first = [&all](std::initializer_list<const char*> names) {
        return all(names).value(0);
    };

    ArticleRecord r;
    r.title = first({"citation_title", "dc.title"});
    r.authors = all({"citation_author", "dc.creator"});
    r.journal = first({"citation_journal_title", "prism.publicationName"});
    r.date = IsoDateFrom(first({"citation_publication_date", "citation_date",
                                "citation_online_date", "prism.publicationDate", "dc.date"}));
    r.year = r.date.left(4);
    if (r.year.isEmpty())
        r.year = IsoDateFrom(first({"citation_year"})).left(4);
    r.volume = first({"citation_volume", "prism.volume"});
    r.issue = first({"citation_issue", "prism.number"});
    r.firstPage = first({"citation_firstpage", "prism.startingPage"});
    r.lastPage = first({"citation_lastpage", "prism.endingPage"});
    r.articleType = first({"citation_article_type"});
    r.doi = FindDoi(first({"citation_doi", "prism.doi"}));
    if (r.doi.isEmpty())
        r.doi = FindDoi(all({"dc.identifier"}).join(QLatin1Char(' ')));
    r.pdfUrl = first({"citation_pdf_url"});
    for (const SnapshotMeta& m : meta) {
        // The tag is written without content on open articles.
        if (m.name.compare(QLatin1String("citation_fulltext_world_readable"),
                           Qt::CaseInsensitive) == 0)
            r.access = ArticleRecord::Access::Open;
    }
    r.pii = PiiFromAddress(QStringLiteral("/pii/") + first({"citation_pii"}));
    if (r.pii.isEmpty()) {
        // The head names one article when its own addresses name one id.
        QSet<QString> ids;
        for (const QString& address : all({"canonical"}) + all({"og:url"}))
            if (const QString id = PiiFromAddress(address); !id.isEmpty())
                ids.insert(id);
        if (ids.size() == 1)
            r.pii = *ids.cbegin();
    }
    return r;
}

QVector<SnapshotMeta> MetaTagsFromHtml(const QString& html, const QString& pageAddress) {
    // The head ends where the body begins; a page without either is read whole.
    static const Re bodyStart(QStringLiteral("<body[\\s>]"), Re::CaseInsensitiveOption);
    const qsizetype body = html.indexOf(bodyStart);
    const QString head = body < 0 ? html : html.left(body);
    static const Re tag(QStringLiteral("<(meta|link)\\b([^>]*)>"), Re::CaseInsensitiveOption);
    QVector<SnapshotMeta> found;
    auto it = tag.globalMatch(head);
    while (it.hasNext()) {
        const auto m = it.next();
        const QHash<QString, QString> a = attributesOf(m.captured(2));
        if (m.captured(1).compare(QLatin1String("meta"), Qt::CaseInsensitive) == 0) {
            const QString name = a.value(QStringLiteral("name"));
            const QString property = a.value(QStringLiteral("property"));
            if (!name.isEmpty() || !property.isEmpty())
                found.append({name, property, a.value(QStringLiteral("content"))});
            continue;
        }
        static const Re canonical(QStringLiteral("(^|\\s)canonical(\\s|$)"),
                                  Re::CaseInsensitiveOption);
        const QString href = a.value(QStringLiteral("href")).trimmed();
        if (!href.isEmpty() && canonical.match(a.value(QStringLiteral("rel"))).hasMatch())
            found.append({QStringLiteral("canonical"), QString(),
                          QUrl(pageAddress).resolved(QUrl(href)).toString()});
    }
    return found;
}

void FillFromSourceLine(ArticleRecord& record, const QString& line) {
    static const Re volume(QStringLiteral("\\bVol(?:ume|\\.)?\\s*([0-9][0-9A-Za-z]*)"),
                           Re::CaseInsensitiveOption);
    static const Re issue(
        QStringLiteral("\\b(?:Issues?|No\\.)\\s*([0-9][0-9A-Za-z]*(?:\\s*[–—-]\\s*[0-9]+)?)"),
        Re::CaseInsensitiveOption);
    static const Re pages(
        QStringLiteral(
            "\\b(?:Pages?|pp?\\.)\\s*([A-Za-z]?[0-9]+)(?:\\s*[–—-]\\s*([A-Za-z]?[0-9]+))?"),
        Re::CaseInsensitiveOption);
    ArticleRecord found;
    if (auto m = volume.match(line); m.hasMatch())
        found.volume = m.captured(1);
    if (auto m = issue.match(line); m.hasMatch())
        found.issue =
            m.captured(1).remove(QLatin1Char(' ')).replace(QChar(0x2013), QLatin1Char('-'));
    if (auto m = pages.match(line); m.hasMatch()) {
        found.firstPage = m.captured(1);
        found.lastPage = m.captured(2);
    }
    found.date = IsoDateFrom(line);
    found.year = found.date.left(4);
    record.fillFrom(found);
}

AuthorName SplitAuthorName(const QString& author) {
    const QString name = oneLine(author);
    const qsizetype comma = name.indexOf(QLatin1Char(','));
    if (comma > 0)
        return {name.left(comma).trimmed(), name.mid(comma + 1).trimmed()};
    const qsizetype space = name.lastIndexOf(QLatin1Char(' '));
    if (space < 0)
        return {name, {}};
    return {name.mid(space + 1), name.left(space)};
}

QString FamilyFirst(const QString& author) {
    const AuthorName n = SplitAuthorName(author);
    return n.given.isEmpty() ? n.family : n.family + QStringLiteral(", ") + n.given;
}

QString AuthorsLine(const ArticleRecord& record) {
    return record.authors.join(QStringLiteral("; "));
}

QString ShortAuthorsLine(const ArticleRecord& record) {
    const int shown = 3;
    QString line = record.authors.mid(0, shown).join(QStringLiteral("; "));
    if (record.authors.size() > shown)
        line += QStringLiteral(" 等");
    return line;
}

QString RecordDetails(const ArticleRecord& r) {
    if (r.isEmpty())
        return {};
    QStringList lines;
    const auto line = [&lines](const QString& label, const QString& value) {
        if (!value.isEmpty())
            lines.append(label + value);
    };
    line(QStringLiteral("标题："), r.title);
    line(QStringLiteral("作者："), AuthorsLine(r));
    line(QStringLiteral("期刊："), r.journal);
    line(QStringLiteral("日期："), r.date.isEmpty() ? r.year : r.date);
    line(QStringLiteral("卷："), r.volume);
    line(QStringLiteral("期："), r.issue);
    QString pages = r.firstPage;
    if (!r.lastPage.isEmpty())
        pages += QStringLiteral("–") + r.lastPage;
    line(QStringLiteral("页码："), pages);
    line(QStringLiteral("文章类型："), r.articleType);
    line(QStringLiteral("DOI："), r.doi);
    line(QStringLiteral("PII："), r.pii);
    if (r.access != ArticleRecord::Access::Unknown)
        line(QStringLiteral("开放获取："),
             r.access == ArticleRecord::Access::Open ? QStringLiteral("是") : QStringLiteral("否"));
    line(QStringLiteral("PDF 网址："), r.pdfUrl);
    return lines.join(QLatin1Char('\n'));
}

QList<KeptList::Column> RecordKeptColumns() {
    const QString text = QStringLiteral("TEXT");
    return {{QStringLiteral("rec_title"), text},
            {QStringLiteral("rec_authors"), text},
            {QStringLiteral("rec_journal"), text},
            {QStringLiteral("rec_year"), text},
            {QStringLiteral("rec_date"), text},
            {QStringLiteral("rec_volume"), text},
            {QStringLiteral("rec_issue"), text},
            {QStringLiteral("rec_first_page"), text},
            {QStringLiteral("rec_last_page"), text},
            {QStringLiteral("rec_article_type"), text},
            {QStringLiteral("rec_doi"), text},
            {QStringLiteral("rec_pii"), text},
            {QStringLiteral("rec_pdf_url"), text},
            {QStringLiteral("rec_access"), QStringLiteral("INTEGER")}};
}

QVariantList RecordKeptValues(const ArticleRecord& r) {
    // Authors are one line each: the record keeps them simplified.
    return {r.title,    r.authors.join(QLatin1Char('\n')),
            r.journal,  r.year,
            r.date,     r.volume,
            r.issue,    r.firstPage,
            r.lastPage, r.articleType,
            r.doi,      r.pii,
            r.pdfUrl,   int(r.access)};
}

ArticleRecord RecordFromKept(const QVariantList& v, int first) {
    ArticleRecord r;
    const auto at = [&v, first](int i) { return v.value(first + i).toString(); };
    r.title = at(0);
    r.authors = at(1).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    r.journal = at(2);
    r.year = at(3);
    r.date = at(4);
    r.volume = at(5);
    r.issue = at(6);
    r.firstPage = at(7);
    r.lastPage = at(8);
    r.articleType = at(9);
    r.doi = at(10);
    r.pii = at(11);
    r.pdfUrl = at(12);
    const int access = v.value(first + 13).toInt();
    r.access =
        access >= 0 && access <= 2 ? ArticleRecord::Access(access) : ArticleRecord::Access::Unknown;
    return r;
}
