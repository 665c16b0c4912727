#include "search/Extraction.h"

#include <QRegularExpression>

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
        result.articles.append({title, link, doc.url, kTypePdf, saveFolder, layout});
    }
}

} // namespace

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
        result.articles.append({title, link, doc.url, kTypePdf, saveFolder, kLayoutSD2});
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
