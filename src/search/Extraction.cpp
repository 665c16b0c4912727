#include "search/Extraction.h"

#include "download/RecordSources.h"

#include <QRegularExpression>
#include <QUrl>

namespace {

const QString kLayoutSD1 = QStringLiteral("SD1");
const QString kLayoutSD2 = QStringLiteral("SD2");
const QString kTypePdf = QStringLiteral("pdf");

// Some pages escape the ampersands of their links twice, so the DOM still
// holds "&amp;" where "&" is meant.
QString cleanLink(const QString& href) {
    QString link = href.trimmed();
    link.replace(QLatin1String("&amp;"), QLatin1String("&"), Qt::CaseInsensitive);
    return link;
}

// The item's check box decides only when the user asked for ticked items; a
// tick state that cannot be read lets the item through.
bool takenByTick(const DocumentSnapshot& doc, int checkBox, bool onlyTicked) {
    if (!onlyTicked)
        return true;
    const std::optional<bool>& checked = doc.at(checkBox).checked;
    return !checked.has_value() || *checked;
}

// The first link of item from its second A on that satisfies matches(); the
// first link is the title and never a candidate. Empty when none matches.
template <typename Match> QString findLink(const DocumentSnapshot& doc, int item, Match matches) {
    const SnapshotElement& root = doc.at(item);
    bool first = true;
    for (int i = item + 1; i < root.end; ++i) {
        const SnapshotElement& e = doc.at(i);
        if (!doc.hasTag(i, QStringLiteral("A")))
            continue;
        if (first) {
            first = false;
            continue;
        }
        if (matches(e))
            return cleanLink(e.href);
    }
    return {};
}

QString titleOf(const DocumentSnapshot& doc, int item) {
    const int a = doc.firstByTag(item, QStringLiteral("A"));
    return a < 0 ? QString() : doc.at(a).text.trimmed();
}

// Designs 1 and 3 share their walk: list items chosen by class, a check box,
// the first link as title and a later link as the address.
template <typename ItemMatch, typename LinkMatch>
void walkListItems(const DocumentSnapshot& doc, const QString& saveFolder, bool onlyTicked,
                   const QString& layout, ItemMatch itemMatches, LinkMatch linkMatches,
                   ExtractionResult& result) {
    for (int li : doc.elementsByTag(-1, QStringLiteral("LI"))) {
        if (!itemMatches(doc.at(li)))
            continue;
        const int checkBox = doc.firstByTag(li, QStringLiteral("INPUT"));
        if (checkBox < 0 || !takenByTick(doc, checkBox, onlyTicked))
            continue;
        const QString title = titleOf(doc, li);
        const QString link = findLink(doc, li, linkMatches);
        if (title.isEmpty() || link.isEmpty())
            continue;
        result.articles.append(
            {title, link, doc.url, kTypePdf, saveFolder, layout,
             RecordFromBlock(doc, li, doc.firstByTag(li, QStringLiteral("A")), title, link)});
    }
}

// The class attribute mentions one of the words (letter case ignored).
bool classMentions(const QString& cls, std::initializer_list<const char*> words) {
    for (const char* word : words) {
        if (cls.contains(QLatin1String(word), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Article types the site writes beside a title, for blocks whose type has no
// class name of its own.
bool isArticleType(const QString& text) {
    static const QStringList types = {QStringLiteral("Research article"),
                                      QStringLiteral("Review article"),
                                      QStringLiteral("Short communication"),
                                      QStringLiteral("Editorial"),
                                      QStringLiteral("Book review"),
                                      QStringLiteral("Case report"),
                                      QStringLiteral("Conference article"),
                                      QStringLiteral("Correspondence"),
                                      QStringLiteral("Data article"),
                                      QStringLiteral("Discussion"),
                                      QStringLiteral("Erratum"),
                                      QStringLiteral("Letter"),
                                      QStringLiteral("Mini review"),
                                      QStringLiteral("News"),
                                      QStringLiteral("Original research article"),
                                      QStringLiteral("Practice guideline"),
                                      QStringLiteral("Full length article"),
                                      QStringLiteral("Short survey")};
    for (const QString& type : types) {
        if (text.compare(type, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Authors written on one line: "A. Author, B. Author and C. Author".
QStringList splitAuthors(const QString& line) {
    static const QRegularExpression separators(QStringLiteral("\\s*(?:;|,|\\band\\b|&|、|，)\\s*"));
    QStringList authors;
    for (const QString& part : line.split(separators, Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            authors.append(name);
    }
    return authors;
}

QString withoutTrailingComma(QString text) {
    while (!text.isEmpty() && (text.back() == QLatin1Char(',') || text.back() == QLatin1Char(';')))
        text.chop(1);
    return text.trimmed();
}

// Text that is a journal's name rather than a volume, issue, page or date.
bool looksLikeJournal(const QString& text) {
    static const QRegularExpression numbers(
        QStringLiteral("^(?:vol|volume|issue|no\\.|pages?|pp?\\.|available|in press)\\b|^\\d"),
        QRegularExpression::CaseInsensitiveOption);
    return !text.isEmpty() && !numbers.match(text).hasMatch() && IsoDateFrom(text) != text;
}

// The journal named in a source element: its italic or linked name, else
// what stands before the first comma.
QString journalOfSource(const DocumentSnapshot& doc, int source) {
    for (int i = source + 1; i < doc.at(source).end; ++i) {
        const QString& tag = doc.at(i).tag;
        if (tag == QLatin1String("I") || tag == QLatin1String("EM") ||
            tag == QLatin1String("CITE") || tag == QLatin1String("A")) {
            const QString name = withoutTrailingComma(doc.textOf(i));
            if (looksLikeJournal(name))
                return name;
        }
    }
    const QString line = doc.textOf(source);
    const QString before = withoutTrailingComma(line.section(QLatin1Char(','), 0, 0));
    return looksLikeJournal(before) ? before : QString();
}

bool articleOfPage(const DocumentSnapshot& doc, const QString& saveFolder, ExtractedArticle& out) {
    ArticleRecord record = RecordFromArticlePage(doc);
    if (record.isEmpty())
        return false;
    QString link;
    if (!record.pdfUrl.isEmpty()) {
        link = cleanLink(QUrl(doc.url).resolved(QUrl(record.pdfUrl.trimmed())).toString());
        record.pdfUrl = link;
    } else if (!record.pii.isEmpty()) {
        // The page's own PDF link names the page's article; those of the
        // recommended articles name others.
        for (int i : doc.elementsByTag(-1, QStringLiteral("A"))) {
            const SnapshotElement& a = doc.at(i);
            if (PiiFromAddress(a.href) == record.pii &&
                QUrl(a.href).path().contains(QLatin1String("pdf"), Qt::CaseInsensitive) &&
                doc.textOf(i).contains(QLatin1String("pdf"), Qt::CaseInsensitive)) {
                link = cleanLink(a.href);
                break;
            }
        }
    }
    QString layout = kLayoutSD2;
    if (link.isEmpty())
        link = doc.url; // no access: the analysis finds no file and says so
    else if (QUrl(link).path().endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        layout = kLayoutSD1;
    const QString title = record.title.isEmpty() ? record.pii : record.title;
    if (title.isEmpty() || link.isEmpty())
        return false;
    out = {title, link, doc.url, kTypePdf, saveFolder, layout, record};
    return true;
}

} // namespace

ArticleRecord RecordFromBlock(const DocumentSnapshot& doc, int block, int titleLink,
                              const QString& title, const QString& link) {
    ArticleRecord r;
    if (block < 0 || block >= doc.size())
        return r;
    r.title = title.simplified();
    const int end = doc.at(block).end;
    const int titleEnd = titleLink < 0 ? -1 : doc.at(titleLink).end;
    const auto inTitle = [&](int i) { return titleLink >= 0 && i >= titleLink && i < titleEnd; };

    QStringList authorTexts;
    QStringList sourceTexts;
    int firstSource = -1;
    int sourceEnd = -1; // inside a source element already taken
    for (int i = block + 1; i < end; ++i) {
        if (inTitle(i))
            continue;
        const SnapshotElement& e = doc.at(i);
        if (classMentions(e.className, {"author"})) {
            // The innermost elements naming authors hold one author each.
            bool inner = false;
            for (int j = i + 1; j < e.end && !inner; ++j)
                inner = classMentions(doc.at(j).className, {"author"});
            if (!inner)
                authorTexts.append(withoutTrailingComma(doc.textOf(i)));
        }
        if (i >= sourceEnd &&
            classMentions(e.className, {"srctitle", "source", "journal", "publication-title",
                                        "pub-title", "citation"})) {
            if (firstSource < 0)
                firstSource = i;
            sourceTexts.append(doc.textOf(i));
            sourceEnd = e.end;
        }
        if (r.articleType.isEmpty()) {
            // The title's own heading says nothing of the type.
            const QString text = doc.textOf(i);
            if (text != r.title &&
                ((classMentions(e.className, {"article-type", "articletype", "article-subtype",
                                              "content-type"}) &&
                  !text.isEmpty() && text.size() <= 60) ||
                 isArticleType(text)))
                r.articleType = text;
        }
        if (r.doi.isEmpty() && !e.href.isEmpty())
            r.doi = FindDoi(e.href);
        if (classMentions(e.className, {"open-access", "openaccess"}))
            r.access = ArticleRecord::Access::Open;
    }
    authorTexts.removeAll(QString());
    r.authors = authorTexts.size() == 1 ? splitAuthors(authorTexts.first()) : authorTexts;

    QString blockText = doc.textOf(block);
    if (const QString titleText = doc.textOf(titleLink); !titleText.isEmpty())
        blockText.replace(titleText, QString());
    if (firstSource >= 0) {
        r.journal = journalOfSource(doc, firstSource);
        FillFromSourceLine(r, sourceTexts.join(QStringLiteral(", ")));
    } else {
        // No source element: an italic name with the volume or year beside it
        // is the journal (the oldest design writes it so).
        for (int i = block + 1; i < end && r.journal.isEmpty(); ++i) {
            const QString& tag = doc.at(i).tag;
            if (inTitle(i) || (tag != QLatin1String("I") && tag != QLatin1String("EM") &&
                               tag != QLatin1String("CITE")))
                continue;
            const QString name = withoutTrailingComma(doc.textOf(i));
            if (looksLikeJournal(name) && !IsoDateFrom(doc.textOf(doc.at(i).parent)).isEmpty())
                r.journal = name;
        }
    }
    FillFromSourceLine(r, blockText);
    if (blockText.contains(QLatin1String("open access"), Qt::CaseInsensitive) ||
        blockText.contains(QLatin1String("open archive"), Qt::CaseInsensitive))
        r.access = ArticleRecord::Access::Open;
    if (r.doi.isEmpty() && blockText.contains(QLatin1String("doi"), Qt::CaseInsensitive))
        r.doi = FindDoi(blockText);
    const QString titleHref = titleLink >= 0 ? doc.at(titleLink).href : QString();
    r.pii = PiiFromAddress(titleHref);
    if (r.pii.isEmpty())
        r.pii = PiiFromAddress(link);
    return r;
}

ArticleRecord RecordFromArticlePage(const DocumentSnapshot& doc) {
    if (!doc.present)
        return {};
    ArticleRecord r = RecordFromMetaTags(doc.meta);
    // Only the scholarly tags or the page's own article id say that the page
    // is one article; a title alone is any page's.
    const bool named = !doc.metaContents(QStringLiteral("citation_title")).isEmpty();
    if (r.pii.isEmpty() && named)
        r.pii = PiiFromAddress(doc.url);
    if (!named && r.pii.isEmpty())
        return {};
    if (r.title.isEmpty())
        r.title = doc.metaContents(QStringLiteral("og:title")).value(0).simplified();
    if (r.title.isEmpty()) {
        const int h1 = doc.firstByTag(-1, QStringLiteral("H1"));
        r.title = doc.textOf(h1);
    }
    if (r.title.isEmpty()) {
        const int t = doc.firstByTag(-1, QStringLiteral("TITLE"));
        r.title = t < 0 ? QString() : doc.at(t).text.simplified();
    }
    return r;
}

bool HasClassName(const QString& classList, const QString& className) {
    if (className.isEmpty())
        return false;
    // HTML separates class names by ASCII white space only.
    static const QRegularExpression separators(QStringLiteral("[ \\t\\n\\f\\r]+"));
    const QStringList names = classList.split(separators, Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (name.compare(className, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QVector<int> FindElementsByClass(const DocumentSnapshot& document, int root, const QString& tagName,
                                 const QString& className, bool exact) {
    QVector<int> found;
    if (root < -1 || root >= document.size())
        return found;
    for (int i : document.elementsByTag(root, tagName)) {
        const QString& cls = document.at(i).className;
        const bool match = exact ? HasClassName(cls, className)
                                 : cls.trimmed().contains(className, Qt::CaseInsensitive);
        if (match)
            found.append(i);
    }
    return found;
}

ExtractionResult ExtractResultPage(const DocumentSnapshot& doc, const QString& saveFolder,
                                   bool onlyTicked) {
    ExtractionResult result;
    if (!doc.present)
        return result;
    result.documentFound = true;

    // A page that is one article: the articles recommended beside it may
    // stand in blocks of the result designs and are not wanted.
    if (ExtractedArticle own; articleOfPage(doc, saveFolder, own)) {
        result.articles.append(std::move(own));
        result.pass = ExtractionResult::ArticlePagePass;
        return result;
    }

    // Design 1: <li class="detail"> items with a "clink" PDF link.
    walkListItems(
        doc, saveFolder, onlyTicked, kLayoutSD1,
        [](const SnapshotElement& li) {
            return HasClassName(li.className, QStringLiteral("detail"));
        },
        [](const SnapshotElement& a) {
            return HasClassName(a.className, QStringLiteral("clink")) &&
                   a.text.trimmed().startsWith(QLatin1String("pdf"), Qt::CaseInsensitive);
        },
        result);
    if (!result.articles.isEmpty()) {
        result.pass = 1;
        return result;
    }

    // Design 2: result blocks; check boxes play no part here.
    QVector<int> blocks = FindElementsByClass(doc, -1, QStringLiteral("div"),
                                              QStringLiteral("result-item-content"), true);
    if (blocks.isEmpty())
        blocks = FindElementsByClass(doc, -1, QStringLiteral("div"),
                                     QStringLiteral("result-item-container"), false);
    for (int block : blocks) {
        const QString title = titleOf(doc, block);
        QString link;
        const QVector<int> downloads = FindElementsByClass(doc, block, QStringLiteral("A"),
                                                           QStringLiteral("download-link"), true);
        if (!downloads.isEmpty())
            link = cleanLink(doc.at(downloads.first()).href);
        if (title.isEmpty() || link.isEmpty())
            continue;
        result.articles.append(
            {title, link, doc.url, kTypePdf, saveFolder, kLayoutSD2,
             RecordFromBlock(doc, block, doc.firstByTag(block, QStringLiteral("A")), title, link)});
    }
    if (!result.articles.isEmpty()) {
        result.pass = 2;
        return result;
    }

    // Design 3: article-list items with a "Download PDF" link.
    walkListItems(
        doc, saveFolder, onlyTicked, kLayoutSD2,
        [](const SnapshotElement& li) {
            return li.className.contains(QLatin1String("js-article-list-item"),
                                         Qt::CaseInsensitive);
        },
        [](const SnapshotElement& a) {
            return a.className.trimmed().contains(QLatin1String("pdf-download"),
                                                  Qt::CaseInsensitive) &&
                   a.text.trimmed().compare(QLatin1String("download pdf"), Qt::CaseInsensitive) ==
                       0;
        },
        result);
    if (!result.articles.isEmpty())
        result.pass = 3;
    return result;
}

int FindNextPageControl(const DocumentSnapshot& doc) {
    for (int i : doc.elementsByTag(-1, QStringLiteral("INPUT"))) {
        const QString value = doc.at(i).value.trimmed();
        if (value.compare(QLatin1String("next >>"), Qt::CaseInsensitive) == 0 ||
            value.compare(QLatin1String("next"), Qt::CaseInsensitive) == 0)
            return i;
    }
    for (int i : doc.elementsByTag(-1, QStringLiteral("A"))) {
        const SnapshotElement& a = doc.at(i);
        if (a.text.trimmed().compare(QLatin1String("next"), Qt::CaseInsensitive) == 0 &&
            a.href.contains(QLatin1String("offset="), Qt::CaseInsensitive))
            return i;
    }
    return -1;
}
