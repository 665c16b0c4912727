#pragma once

#include "download/ArticleRecord.h"
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
    // What the result block (or the article page) says of the article.
    ArticleRecord record;
};

struct ExtractionResult {
    static constexpr int ArticlePagePass = 4;
    // False when the browser held no document: the caller adds nothing and
    // leaves the count label as it is.
    bool documentFound = false;
    // Which design matched: 1, 2 or 3; ArticlePagePass when the page is one
    // article; 0 when none yielded an article.
    int pass = 0;
    // The articles in document order, in the order they are offered to the
    // list; offered() is the routine's result.
    QVector<ExtractedArticle> articles;

    int offered() const { return int(articles.size()); }
};

// A page that is one article (its head's citation_* tags name it, or its head
// names one article id) gives that article alone, before any design is tried:
// the articles recommended beside it are not taken. Its link is the page's
// own PDF address (citation_pdf_url, else the page's PDF link naming the
// article's id): a ".pdf" address is the file itself ("SD1"), another leads to
// it ("SD2"). A page of an article the user cannot read gives the page's own
// address as an "SD2" link, so the analysis finds out.
//
// Walks the snapshot of the shown page. onlyTicked is the window's
// "只提取网页勾选项" box: designs 1 and 3 then take only items whose first
// check box is ticked (or whose tick state cannot be read); design 2 ignores it.
// saveFolder is stored with every row (may be empty).
ExtractionResult ExtractResultPage(const DocumentSnapshot& document, const QString& saveFolder,
                                   bool onlyTicked);

// What a result block says of its article: the title, and beside it the
// journal, date, volume, issue and pages, the authors, the article type and
// whether it is open access, found by the class names the site's designs have
// used and, failing those, by what the texts look like; the DOI and article
// id from its addresses. titleLink is the block's first A; link its address.
ArticleRecord RecordFromBlock(const DocumentSnapshot& document, int block, int titleLink,
                              const QString& title, const QString& link);

// The article a page that is one article names, or an empty record.
ArticleRecord RecordFromArticlePage(const DocumentSnapshot& document);

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
