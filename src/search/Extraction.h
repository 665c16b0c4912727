#pragma once

#include "platform/DocumentSnapshot.h"

#include <QString>
#include <QVector>

// Reading the articles of a ScienceDirect result page.
//
// The site has used three page designs; ExtractResultPage tries them in a fixed
// order and keeps the first that yields anything:
//   1. "SD1": <li class="detail"> items; the link is the item's first later
//      <a class="clink"> whose text starts with "pdf" and is the PDF address
//      itself.
//   2. "SD2": <div class="result-item-content"> blocks (or, when there are
//      none, divs whose class attribute mentions result-item-container); the
//      link is the block's first <a class="download-link">.
//   3. "SD2": <li> items whose class mentions js-article-list-item; the link
//      is the first later <a> whose class mentions pdf-download and whose text
//      is exactly "Download PDF".
// "class=x" means x is one of the names the class attribute lists (the site
// puts several on its elements: class="anchor download-link u-font-sans").
// The title is always the text of the item's first <a>. An "SD2" link leads
// to a page that must be fetched to find the PDF address.
//
// The search window feeds each row to 加入LV1 (which refuses duplicate links)
// and, when `documentFound`, sets its count label to the number of rows in
// its list.

// One article found on the page: the arguments of 加入LV1, in its order.
struct ExtractedArticle {
    QString title;       // trimmed, never empty
    QString link;        // trimmed, "&amp;" turned into "&"; never empty; the list's key
    QString pageAddress; // the address of the result page
    QString type;        // always "pdf"
    QString saveFolder;  // as given to ExtractResultPage
    QString layout;      // "SD1" or "SD2"
};

struct ExtractionResult {
    // False when the browser held no document: the caller adds nothing and
    // leaves the count label as it is.
    bool documentFound = false;
    // Which design matched: 1, 2 or 3; 0 when none yielded an article.
    int pass = 0;
    // The articles in document order, in the order they are offered to the
    // list; offered() is the routine's result.
    QVector<ExtractedArticle> articles;

    int offered() const { return int(articles.size()); }
};

// Walks the snapshot of the shown page. onlyTicked is the window's
// "只提取网页勾选项" box: designs 1 and 3 then take only items whose first
// check box is ticked (or whose tick state cannot be read); design 2 ignores it.
// saveFolder is stored with every row (may be empty).
ExtractionResult ExtractResultPage(const DocumentSnapshot& document, const QString& saveFolder,
                                   bool onlyTicked);

// True when one of the names the class attribute lists (separated by white
// space) equals className, letter case ignored.
bool HasClassName(const QString& classList, const QString& className);

// The descendants of root (-1: the whole document) with the tag (letter case
// ignored), in document order, whose class attribute matches className: one
// of its names equals it (HasClassName) when exact; the trimmed attribute
// contains it, letter case ignored, otherwise. Empty for a root outside the
// document.
QVector<int> FindElementsByClass(const DocumentSnapshot& document, int root, const QString& tagName,
                                 const QString& className, bool exact);

// The site's "next page" control for 下一页: the first INPUT whose value
// (trimmed, any case) is "next >>" or "next"; failing that, the first A whose
// text (trimmed, any case) is "next" and whose address contains "offset="
// (any case). The element's index, to be clicked; -1 when there is none.
int FindNextPageControl(const DocumentSnapshot& document);
