#pragma once

#include "download/ArticleRecord.h"
#include "download/DownloadItem.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Article records written for reference managers: BibTeX, RIS and CSL-JSON.
// Importing the .bib or .ris that stands beside the PDFs attaches every PDF,
// because each entry names its file by a path relative to the export.

struct ExportEntry {
    ArticleRecord record;
    QString title;   // the row's title, for a record that has none
    QString pdfPath; // the article's file (absolute); empty when there is none
};

enum class ExportFormat { BibTeX, Ris, CslJson };

// The format a file name asks for by its extension (".ris", ".json"; anything
// else is BibTeX).
ExportFormat ExportFormatOf(const QString& path);

// Unique citation keys, one per entry in order: the first author's family
// name, the year and the title's first word, in ASCII letters and digits
// ("smith2024graphene"); "article" when nothing is left; "a", "b", ... added
// to a key already given.
QStringList CitationKeys(const QList<ExportEntry>& entries);

// The texts of the three formats, UTF-8. folder is where the export stands:
// the PDFs' paths are written relative to it.
QByteArray BibTeXText(const QList<ExportEntry>& entries, const QString& folder);
QByteArray RisText(const QList<ExportEntry>& entries, const QString& folder);
QByteArray CslJsonText(const QList<ExportEntry>& entries);

// Writes the entries to path in the format its extension asks for; the file
// takes its name only once written whole. Empty on success, else the message.
QString WriteRecordExport(const QList<ExportEntry>& entries, const QString& path);

// The download rows as entries: each row's record, its name as the title a
// record lacks, and its file when the row is finished and the file stands.
QList<ExportEntry> ExportEntriesOf(const QList<DownloadItem>& rows);

// What the export commands offer and say.
inline const QString RecordExportFilter =
    QStringLiteral("BibTeX (*.bib);;RIS (*.ris);;CSL-JSON (*.json)");
inline const QString RecordExportFileName = QStringLiteral("文献信息.bib");
inline const QString RecordExportTitle = QStringLiteral("导出文献信息");
inline const QString RecordExportNothing = QStringLiteral("没有可导出的项！");
// "导出文献信息完毕：3项"
QString RecordExportDoneMessage(int count);

// A text with the LaTeX specials escaped for a BibTeX field in braces.
QString BibTeXEscaped(const QString& text);
