#include "download/RecordExport.h"

#include "download/Naming.h"
#include "download/RecordSources.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

namespace {

QString titleOf(const ExportEntry& e) {
    return e.record.title.isEmpty() ? e.title.simplified() : e.record.title;
}

// Letters and digits of plain ASCII, lower case.
QString asciiWord(const QString& text) {
    QString word;
    for (QChar c : text) {
        if (c.unicode() < 128 && c.isLetterOrNumber())
            word += c.toLower();
    }
    return word;
}

QString relativePath(const QString& folder, const QString& path) {
    if (path.isEmpty())
        return {};
    return folder.isEmpty() ? path : QDir(folder).relativeFilePath(path);
}

QString pages(const ArticleRecord& r, const QString& dash) {
    if (r.firstPage.isEmpty())
        return r.lastPage;
    return r.lastPage.isEmpty() ? r.firstPage : r.firstPage + dash + r.lastPage;
}

QList<int> dateParts(const QString& iso) {
    QList<int> parts;
    for (const QString& part : iso.split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = part.toInt(&ok);
        if (!ok)
            break;
        parts.append(n);
    }
    return parts;
}

QString isoDateOf(const ArticleRecord& r) {
    return r.date.isEmpty() ? r.year : r.date;
}

// The file field of JabRef and Zotero: description:path:type, with the
// characters that split it escaped.
QString fileField(const QString& path) {
    QString escaped;
    for (QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char(':') || c == QLatin1Char(';'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QStringLiteral(":") + escaped + QStringLiteral(":PDF");
}

// Braces must pair in a field written between braces.
bool bracesPair(const QString& text) {
    int depth = 0;
    for (QChar c : text) {
        depth += c == QLatin1Char('{') ? 1 : c == QLatin1Char('}') ? -1 : 0;
        if (depth < 0)
            return false;
    }
    return depth == 0;
}

} // namespace

ExportFormat ExportFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("ris"))
        return ExportFormat::Ris;
    if (suffix == QLatin1String("json"))
        return ExportFormat::CslJson;
    return ExportFormat::BibTeX;
}

QStringList CitationKeys(const QList<ExportEntry>& entries) {
    static const QSet<QString> minor = {
        QStringLiteral("a"),  QStringLiteral("an"), QStringLiteral("the"), QStringLiteral("of"),
        QStringLiteral("on"), QStringLiteral("in"), QStringLiteral("for"), QStringLiteral("and"),
        QStringLiteral("to"), QStringLiteral("at"), QStringLiteral("with")};
    QStringList keys;
    QSet<QString> taken;
    for (const ExportEntry& e : entries) {
        QString key;
        if (!e.record.authors.isEmpty())
            key = asciiWord(SplitAuthorName(e.record.authors.first()).family);
        key += asciiWord(e.record.year);
        for (const QString& word : titleOf(e).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString w = asciiWord(word);
            if (!w.isEmpty() && !minor.contains(w)) {
                key += w;
                break;
            }
        }
        if (key.isEmpty() || key.front().isDigit())
            key.prepend(QStringLiteral("article"));
        QString unique = key;
        for (int n = 0; taken.contains(unique); ++n) {
            // a .. z, then aa, ab, ...
            QString suffix;
            for (int k = n;; k = k / 26 - 1) {
                suffix.prepend(QChar(u'a' + k % 26));
                if (k < 26)
                    break;
            }
            unique = key + suffix;
        }
        taken.insert(unique);
        keys.append(unique);
    }
    return keys;
}

QString BibTeXEscaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\textbackslash{}");
            break;
        case '{':
        case '}':
        case '&':
        case '%':
        case '$':
        case '#':
        case '_':
            out += QLatin1Char('\\');
            out += c;
            break;
        case '~':
            out += QStringLiteral("\\textasciitilde{}");
            break;
        case '^':
            out += QStringLiteral("\\textasciicircum{}");
            break;
        default:
            // Line breaks and other controls would end the field for some readers.
            out += c.category() == QChar::Other_Control ? QChar(u' ') : c;
        }
    }
    return out;
}

QByteArray BibTeXText(const QList<ExportEntry>& entries, const QString& folder) {
    const QStringList keys = CitationKeys(entries);
    QString out;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ExportEntry& e = entries.at(i);
        const ArticleRecord& r = e.record;
        QStringList fields;
        const auto field = [&fields](const char* name, const QString& value) {
            if (!value.isEmpty())
                fields.append(QStringLiteral("  %1 = {%2}").arg(QLatin1String(name), value));
        };
        field("title", BibTeXEscaped(titleOf(e)));
        QStringList authors;
        for (const QString& author : r.authors) {
            // A name that holds " and " would split in two: braced, it stays one.
            QString name = BibTeXEscaped(FamilyFirst(author));
            if (name.contains(QLatin1String(" and "), Qt::CaseInsensitive))
                name = QLatin1Char('{') + name + QLatin1Char('}');
            authors.append(name);
        }
        field("author", authors.join(QStringLiteral(" and ")));
        field("journal", BibTeXEscaped(r.journal));
        field("year", BibTeXEscaped(r.year));
        const QList<int> date = dateParts(r.date);
        if (date.size() >= 2)
            field("month", QString::number(date.at(1)));
        field("date", BibTeXEscaped(r.date));
        field("volume", BibTeXEscaped(r.volume));
        field("number", BibTeXEscaped(r.issue));
        field("pages", BibTeXEscaped(pages(r, QStringLiteral("--"))));
        field("doi", BibTeXEscaped(r.doi));
        field("pii", BibTeXEscaped(r.pii));
        const QString path = relativePath(folder, e.pdfPath);
        if (!path.isEmpty() && bracesPair(path))
            field("file", fileField(path));
        out += QStringLiteral("@article{") + keys.at(i) + QStringLiteral(",\n") +
               fields.join(QStringLiteral(",\n")) + QStringLiteral("\n}\n\n");
    }
    return out.toUtf8();
}

QByteArray RisText(const QList<ExportEntry>& entries, const QString& folder) {
    QString out;
    const auto tag = [&out](const char* name, const QString& value) {
        // One line a tag: a value never carries a line break.
        const QString line = QString(value)
                                 .replace(QLatin1Char('\r'), QLatin1Char(' '))
                                 .replace(QLatin1Char('\n'), QLatin1Char(' '))
                                 .trimmed();
        if (!line.isEmpty())
            out += QLatin1String(name) + QStringLiteral("  - ") + line + QStringLiteral("\r\n");
    };
    for (const ExportEntry& e : entries) {
        const ArticleRecord& r = e.record;
        out += QStringLiteral("TY  - JOUR\r\n");
        tag("TI", titleOf(e));
        for (const QString& author : r.authors)
            tag("AU", FamilyFirst(author));
        tag("T2", r.journal);
        tag("PY", r.year);
        const QList<int> date = dateParts(r.date);
        if (!date.isEmpty()) {
            QString da = QString::number(date.at(0)) + QLatin1Char('/');
            for (int k = 1; k < 3; ++k)
                da += (k < date.size() ? QStringLiteral("%1").arg(date.at(k), 2, 10, QChar(u'0'))
                                       : QString()) +
                      QLatin1Char('/');
            tag("DA", da);
        }
        tag("VL", r.volume);
        tag("IS", r.issue);
        tag("SP", r.firstPage);
        tag("EP", r.lastPage);
        tag("M3", r.articleType);
        tag("DO", r.doi);
        tag("AN", r.pii);
        tag("L1", relativePath(folder, e.pdfPath));
        out += QStringLiteral("ER  - \r\n\r\n");
    }
    return out.toUtf8();
}

QByteArray CslJsonText(const QList<ExportEntry>& entries) {
    const QStringList keys = CitationKeys(entries);
    QJsonArray items;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ExportEntry& e = entries.at(i);
        const ArticleRecord& r = e.record;
        QJsonObject item;
        item.insert(QStringLiteral("id"), keys.at(i));
        item.insert(QStringLiteral("type"), QStringLiteral("article-journal"));
        const auto text = [&item](const char* name, const QString& value) {
            if (!value.isEmpty())
                item.insert(QLatin1String(name), value);
        };
        text("title", titleOf(e));
        QJsonArray authors;
        for (const QString& author : r.authors) {
            const AuthorName n = SplitAuthorName(author);
            QJsonObject name{{QStringLiteral("family"), n.family}};
            if (!n.given.isEmpty())
                name.insert(QStringLiteral("given"), n.given);
            authors.append(name);
        }
        if (!authors.isEmpty())
            item.insert(QStringLiteral("author"), authors);
        text("container-title", r.journal);
        QList<int> date = dateParts(isoDateOf(r));
        if (!date.isEmpty()) {
            QJsonArray parts;
            for (int p : date)
                parts.append(p);
            item.insert(QStringLiteral("issued"),
                        QJsonObject{{QStringLiteral("date-parts"), QJsonArray{parts}}});
        }
        text("volume", r.volume);
        text("issue", r.issue);
        text("page", pages(r, QStringLiteral("-")));
        text("genre", r.articleType);
        text("DOI", r.doi);
        if (!e.pdfPath.isEmpty())
            text("file", e.pdfPath);
        items.append(item);
    }
    return QJsonDocument(items).toJson(QJsonDocument::Indented);
}

QString WriteRecordExport(const QList<ExportEntry>& entries, const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    QByteArray text;
    switch (ExportFormatOf(path)) {
    case ExportFormat::Ris:
        text = RisText(entries, folder);
        break;
    case ExportFormat::CslJson:
        text = CslJsonText(entries);
        break;
    case ExportFormat::BibTeX:
        text = BibTeXText(entries, folder);
        break;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QStringLiteral("无法写入文件：") + path;
    return {};
}

QList<ExportEntry> ExportEntriesOf(const QList<DownloadItem>& rows) {
    QList<ExportEntry> entries;
    entries.reserve(rows.size());
    for (const DownloadItem& row : rows) {
        ExportEntry e{row.record, row.name, {}};
        const QString path = RowFilePath(row);
        if (row.state == ItemState::Finished && FileExists(path))
            e.pdfPath = QFileInfo(LocalPath(path)).absoluteFilePath();
        entries.append(std::move(e));
    }
    return entries;
}

QString RecordExportDoneMessage(int count) {
    return QStringLiteral("导出文献信息完毕：%1项").arg(count);
}
