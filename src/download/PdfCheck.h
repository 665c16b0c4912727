#pragma once

#include "download/ArticleRecord.h"
#include "download/RecordSources.h"

#include <QString>

struct DownloadItem;
struct PdfFacts;

// What the look inside an arrived PDF says about it, as the "检查" cell shows
// it: its page count when nothing is amiss ("12页"), "PDF无法打开" when no PDF
// library could open it, and "可能只有首页" or "页数不全（3/12页）" when it
// has far fewer pages than the article's page range (fewer than half, and at
// least three pages expected): a preview instead of the article. The file
// stays as it arrived and the row stays finished either way.
QString PdfCheckText(const PdfFacts& facts, const ArticleRecord& record);

// The pages the record's range spans ("1"–"12": 12), or 0 when the range is
// not two plain numbers in order (e.g. "e1234", roman numbers).
int ExpectedPages(const ArticleRecord& record);

// A mark of a PDF that needs a look (cannot be opened, too few pages).
bool IsCheckMark(const QString& checkText);
bool IsMarkedRow(const DownloadItem& item);

// What the PDF says of its article: title and authors from its document
// information, the DOI from its first page.
ArticleRecord RecordFromPdf(const PdfFacts& facts);

extern const QString PdfUnreadableText; // "PDF无法打开"
extern const QString FirstPageOnlyText; // "可能只有首页"
extern const QString PagesMissingText;  // "页数不全"
