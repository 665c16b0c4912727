#pragma once

#include "download/ArticleRecord.h"

#include <QString>
#include <QStringList>

// Files named from their article's record by a pattern of the user's: the
// record's fields by their names ("作者", "年份", "标题", "期刊", "DOI", "卷",
// "期", "页码", "PII", "类型") among any other text, and "/" between the
// sub-folders and the name ("期刊/年份/标题").
//
// Every part is cleaned as a file name is (CleanFileName: the characters other
// systems forbid removed, at most CleanNameBytes UTF-8 bytes), so the name,
// with a counter and extension, keeps within the 255-byte name limit and no
// part can leave the save folder. Separators that a missing field leaves
// dangling go with it.

struct PatternName {
    QString subFolder; // relative, each part ending in "/"; empty for none
    QString name;      // never empty
};

// The folder part and name a pattern gives for a record. A name part that
// leaves nothing takes fallbackName (the design's name: the title or the
// address's file name); a folder part that leaves nothing is "未知".
PatternName NameFromPattern(const QString& pattern, const ArticleRecord& record,
                            const QString& fallbackName);
