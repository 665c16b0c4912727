#pragma once

#include "download/ArticleRecord.h"
#include "platform/DocumentSnapshot.h"
#include "platform/KeptList.h"

#include <QString>
#include <QStringList>
#include <QVector>

// Reading an article's record from what pages say, and writing it back out
// for people and for the kept lists.

// A DOI as the record keeps it: no resolver or "doi:" prefix, lower case,
// without the punctuation a sentence puts after it; empty when it is none.
QString NormalizedDoi(const QString& text);
// The first DOI written anywhere in text (an address or prose), normalized.
QString FindDoi(const QString& text);
// The site's article id in an address (".../pii/S0123456724000012",
// "_pii=...", "pid=1-s2.0-S...-main.pdf"), letters and digits only, upper
// case; empty when the address names none.
QString PiiFromAddress(const QString& address);
// A date as a page writes it ("2024/03/15", "2024-3", "15 March 2024",
// "March 2024", "Available online 3 January 2024", "2018") as ISO 8601, as
// precise as it was written; empty when it holds no year.
QString IsoDateFrom(const QString& text);

// The record the head's citation_* tags give (and a single article id named by
// citation_pii or the canonical address); empty when they name nothing.
ArticleRecord RecordFromMetaTags(const QVector<SnapshotMeta>& meta);
// The head's meta tags (and canonical link) of a page's HTML text, for pages
// read as text rather than shown: attributes unquoted or quoted either way,
// character references decoded.
QVector<SnapshotMeta> MetaTagsFromHtml(const QString& html, const QString& pageAddress = {});

// Fills volume, issue, pages, date and year from a source line such as
// "Carbon, Volume 48, Issue 5, April 2010, Pages 1–9" where record lacks them.
void FillFromSourceLine(ArticleRecord& record, const QString& line);
// Splits one author into family and given name: "Family, Given" as written,
// else the last word is the family name; a name in one word (as Chinese names
// are written) is all family name.
struct AuthorName {
    QString family;
    QString given;
};
AuthorName SplitAuthorName(const QString& author);
// "Family, Given" (or the name alone when it has no given name).
QString FamilyFirst(const QString& author);

// The authors on one line, "; " between them.
QString AuthorsLine(const ArticleRecord& record);
// For a list column: the first three authors, and " 等" when there are more.
QString ShortAuthorsLine(const ArticleRecord& record);
// The whole record for a tooltip or details view, one field a line, in the
// interface's words; empty lines left out; empty for an empty record.
QString RecordDetails(const ArticleRecord& record);

// How both lists keep a record: its columns (appended after a list's own) and
// their values, and the record back from values starting at first.
QList<KeptList::Column> RecordKeptColumns();
QVariantList RecordKeptValues(const ArticleRecord& record);
ArticleRecord RecordFromKept(const QVariantList& values, int first);
