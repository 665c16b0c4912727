#include "TestFiles.h"
#include "download/RecordExport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One RIS entry: each tag's values in order.
using RisEntry = QMultiMap<QString, QString>;

// A RIS reader of our own: "XX  - value" lines, an entry from TY to ER.
QList<RisEntry> readRis(const QByteArray& bytes, QString* fault) {
    QList<RisEntry> entries;
    RisEntry current;
    bool open = false;
    const QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        if (line.size() < 6 || line.mid(2, 4) != QLatin1String("  - ")) {
            *fault = QStringLiteral("not a tag line: ") + line;
            return {};
        }
        const QString tag = line.left(2);
        const QString value = line.mid(6);
        if (tag == QLatin1String("TY")) {
            if (open) {
                *fault = QStringLiteral("TY inside an entry");
                return {};
            }
            open = true;
            current.clear();
        } else if (!open) {
            *fault = QStringLiteral("tag outside an entry: ") + line;
            return {};
        }
        if (tag == QLatin1String("ER")) {
            entries.append(current);
            open = false;
            continue;
        }
        current.insert(tag, value);
    }
    if (open)
        *fault = QStringLiteral("entry without ER");
    return entries;
}

QStringList inOrder(const RisEntry& entry, const QString& tag) {
    QStringList values = entry.values(tag);
    std::reverse(values.begin(), values.end()); // QMultiMap gives the latest first
    return values;
}

// bibtexparser's reading of a .bib, as JSON: [{ID, ENTRYTYPE, fields...}].
const char* kBibtexParserScript = R"PY(
import json, sys
import bibtexparser
from bibtexparser.bparser import BibTexParser
with open(sys.argv[1], encoding='utf-8') as f:
    db = bibtexparser.load(f, parser=BibTexParser(common_strings=True))
print(json.dumps(db.entries, ensure_ascii=False))
)PY";

} // namespace

class TestRecordExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<ExportEntry> m_entries;
    QStringList m_pdfs;

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        // The PDFs stand in the save folder and in a sub-folder of it; one
        // name is Chinese and one holds a space, a colon and a semicolon.
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("Carbon/2024")));
        m_pdfs = {m_dir.filePath(QStringLiteral("石墨烯薄膜.pdf")),
                  m_dir.filePath(QStringLiteral("Carbon/2024/a b;c:d.pdf")),
                  m_dir.filePath(QStringLiteral("third.pdf"))};
        for (const QString& pdf : std::as_const(m_pdfs))
            QVERIFY(writeFile(pdf, "%PDF-1.4\n%%EOF\n"));

        ExportEntry chinese;
        chinese.record.title = QStringLiteral("石墨烯薄膜的化学气相沉积");
        chinese.record.authors = {QStringLiteral("张伟"), QStringLiteral("李, 娜")};
        chinese.record.journal = QStringLiteral("新型炭材料");
        chinese.record.year = QStringLiteral("2011");
        chinese.record.date = QStringLiteral("2011-05");
        chinese.record.volume = QStringLiteral("26");
        chinese.pdfPath = m_pdfs.at(0);
        m_entries.append(chinese);

        ExportEntry special;
        special.record.title = QStringLiteral("Growth & transfer: 50% {faster} at $5 #1_a~b^c\\d");
        special.record.authors = {QStringLiteral("Smith, Anna"), QStringLiteral("Jan van der Berg"),
                                  QStringLiteral("Sand and Stone Group")};
        special.record.journal = QStringLiteral("Carbon");
        special.record.year = QStringLiteral("2024");
        special.record.date = QStringLiteral("2024-03-15");
        special.record.volume = QStringLiteral("219");
        special.record.issue = QStringLiteral("4");
        special.record.firstPage = QStringLiteral("118");
        special.record.lastPage = QStringLiteral("129");
        special.record.doi = QStringLiteral("10.1016/j.carbon.2024.118123");
        special.record.pii = QStringLiteral("S0008622324000123");
        special.pdfPath = m_pdfs.at(1);
        m_entries.append(special);

        // The same first author, year and first word: the key must differ.
        ExportEntry twin = special;
        twin.record.title = QStringLiteral("Growth again");
        twin.record.doi.clear();
        twin.pdfPath = m_pdfs.at(2);
        m_entries.append(twin);

        // Nothing but the row's title, and no file.
        ExportEntry bare;
        bare.title = QStringLiteral("  A row\ntitle only ");
        m_entries.append(bare);
    }

    void citationKeysAreUnique() {
        const QStringList keys = CitationKeys(m_entries);
        QCOMPARE(keys.size(), m_entries.size());
        QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), keys.size());
        QCOMPARE(keys.at(1), QStringLiteral("smith2024growth"));
        QCOMPARE(keys.at(2), QStringLiteral("smith2024growtha"));
        QCOMPARE(keys.at(3), QStringLiteral("row"));
        for (const QString& key : keys)
            QVERIFY2(!key.isEmpty() && key.front().isLetter(), qPrintable(key));
    }

    void bibtexReadByBibtexParser() {
        // Debian's own Python, which has Debian's bibtexparser, before any other.
        QString python =
            QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
        if (python.isEmpty())
            python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("python3 is not installed");
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import bibtexparser")});
        QVERIFY(probe.waitForFinished(60000));
        if (probe.exitCode() != 0)
            QSKIP("python3-bibtexparser is not installed (scripts/test.sh installs it)");

        const QString bib = m_dir.filePath(QStringLiteral("文献.bib"));
        QCOMPARE(WriteRecordExport(m_entries, bib), QString());
        QProcess p;
        p.start(python, {QStringLiteral("-c"), QString::fromUtf8(kBibtexParserScript), bib});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QJsonArray entries = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
        QCOMPARE(entries.size(), m_entries.size());
        const QStringList keys = CitationKeys(m_entries);
        for (int i = 0; i < entries.size(); ++i) {
            const QJsonObject e = entries.at(i).toObject();
            QCOMPARE(e.value(QStringLiteral("ENTRYTYPE")).toString(), QStringLiteral("article"));
            QCOMPARE(e.value(QStringLiteral("ID")).toString(), keys.at(i));
            // Every file field names its PDF, relative to the .bib.
            const QString file = e.value(QStringLiteral("file")).toString();
            if (m_entries.at(i).pdfPath.isEmpty()) {
                QVERIFY(file.isEmpty());
                continue;
            }
            QVERIFY2(file.startsWith(QLatin1Char(':')) && file.endsWith(QLatin1String(":PDF")),
                     qPrintable(file));
            QString path = file.mid(1, file.size() - 5);
            path.replace(QLatin1String("\\:"), QLatin1String(":"))
                .replace(QLatin1String("\\;"), QLatin1String(";"));
            QVERIFY2(QFileInfo(path).isRelative(), qPrintable(path));
            QCOMPARE(QFileInfo(QDir(m_dir.path()).filePath(path)).canonicalFilePath(),
                     QFileInfo(m_entries.at(i).pdfPath).canonicalFilePath());
        }
        const QJsonObject chinese = entries.at(0).toObject();
        QCOMPARE(chinese.value(QStringLiteral("title")).toString(),
                 QStringLiteral("石墨烯薄膜的化学气相沉积"));
        QCOMPARE(chinese.value(QStringLiteral("author")).toString(),
                 QStringLiteral("张伟 and 李, 娜"));
        QCOMPARE(chinese.value(QStringLiteral("journal")).toString(), QStringLiteral("新型炭材料"));
        QVERIFY(!chinese.contains(QStringLiteral("doi")));
        const QJsonObject special = entries.at(1).toObject();
        QCOMPARE(special.value(QStringLiteral("title")).toString(),
                 QStringLiteral("Growth \\& transfer: 50\\% \\{faster\\} at \\$5 "
                                "\\#1\\_a\\textasciitilde{}b\\textasciicircum{}c"
                                "\\textbackslash{}d"));
        QCOMPARE(special.value(QStringLiteral("author")).toString(),
                 QStringLiteral("Smith, Anna and Berg, Jan van der and {Group, Sand and Stone}"));
        QCOMPARE(special.value(QStringLiteral("pages")).toString(), QStringLiteral("118--129"));
        QCOMPARE(special.value(QStringLiteral("doi")).toString(),
                 QStringLiteral("10.1016/j.carbon.2024.118123"));
        QCOMPARE(entries.at(3).toObject().value(QStringLiteral("title")).toString(),
                 QStringLiteral("A row title only"));
    }

    void bibtexReadByBiber() {
        const QString biber = QStandardPaths::findExecutable(QStringLiteral("biber"));
        if (biber.isEmpty())
            QSKIP("biber is not installed (scripts/test.sh installs it)");
        const QString bib = m_dir.filePath(QStringLiteral("biber-in.bib"));
        QCOMPARE(WriteRecordExport(m_entries, bib), QString());
        const QString out = m_dir.filePath(QStringLiteral("biber-out.bib"));
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start(biber, {QStringLiteral("--tool"), QStringLiteral("--validate-datamodel"),
                        QStringLiteral("--output-file"), out, bib});
        QVERIFY(p.waitForFinished(120000));
        const QString log = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        QVERIFY2(p.exitCode() == 0, qPrintable(log));
        QVERIFY2(!log.contains(QLatin1String("ERROR")), qPrintable(log));
        // biber read every entry and wrote it back, the Chinese text intact.
        const QString written = QString::fromUtf8(readAll(out));
        QCOMPARE(written.count(QStringLiteral("@ARTICLE{"), Qt::CaseInsensitive),
                 int(m_entries.size()));
        QVERIFY(written.contains(QStringLiteral("石墨烯薄膜的化学气相沉积")));
        for (const QString& key : CitationKeys(m_entries))
            QVERIFY2(written.contains(QStringLiteral("{") + key + QStringLiteral(",")),
                     qPrintable(key));
    }

    void risReadBack() {
        const QString ris = m_dir.filePath(QStringLiteral("export.ris"));
        QCOMPARE(WriteRecordExport(m_entries, ris), QString());
        QString fault;
        const QList<RisEntry> entries = readRis(readAll(ris), &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QCOMPARE(entries.size(), m_entries.size());
        for (int i = 0; i < entries.size(); ++i) {
            const RisEntry& e = entries.at(i);
            QCOMPARE(e.value(QStringLiteral("TY")), QStringLiteral("JOUR"));
            const QString l1 = e.value(QStringLiteral("L1"));
            if (m_entries.at(i).pdfPath.isEmpty()) {
                QVERIFY(!e.contains(QStringLiteral("L1")));
                continue;
            }
            QCOMPARE(QFileInfo(QDir(m_dir.path()).filePath(l1)).canonicalFilePath(),
                     QFileInfo(m_entries.at(i).pdfPath).canonicalFilePath());
        }
        QCOMPARE(entries.at(0).value(QStringLiteral("TI")),
                 QStringLiteral("石墨烯薄膜的化学气相沉积"));
        QCOMPARE(inOrder(entries.at(0), QStringLiteral("AU")),
                 (QStringList{QStringLiteral("张伟"), QStringLiteral("李, 娜")}));
        QCOMPARE(entries.at(0).value(QStringLiteral("DA")), QStringLiteral("2011/05//"));
        QVERIFY(!entries.at(0).contains(QStringLiteral("DO")));
        QCOMPARE(inOrder(entries.at(1), QStringLiteral("AU")),
                 (QStringList{QStringLiteral("Smith, Anna"), QStringLiteral("Berg, Jan van der"),
                              QStringLiteral("Group, Sand and Stone")}));
        QCOMPARE(entries.at(1).value(QStringLiteral("SP")), QStringLiteral("118"));
        QCOMPARE(entries.at(1).value(QStringLiteral("EP")), QStringLiteral("129"));
        QCOMPARE(entries.at(1).value(QStringLiteral("DA")), QStringLiteral("2024/03/15/"));
        QCOMPARE(entries.at(3).value(QStringLiteral("TI")), QStringLiteral("A row title only"));
    }

    void cslJsonReadBack() {
        const QString path = m_dir.filePath(QStringLiteral("export.json"));
        QCOMPARE(WriteRecordExport(m_entries, path), QString());
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(readAll(path), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray items = doc.array();
        QCOMPARE(items.size(), m_entries.size());
        const QJsonObject chinese = items.at(0).toObject();
        QCOMPARE(chinese.value(QStringLiteral("type")).toString(),
                 QStringLiteral("article-journal"));
        QCOMPARE(chinese.value(QStringLiteral("title")).toString(),
                 QStringLiteral("石墨烯薄膜的化学气相沉积"));
        const QJsonArray authors = chinese.value(QStringLiteral("author")).toArray();
        QCOMPARE(authors.size(), 2);
        QCOMPARE(authors.at(0).toObject().value(QStringLiteral("family")).toString(),
                 QStringLiteral("张伟"));
        QVERIFY(!authors.at(0).toObject().contains(QStringLiteral("given")));
        QCOMPARE(authors.at(1).toObject().value(QStringLiteral("given")).toString(),
                 QStringLiteral("娜"));
        QCOMPARE(chinese.value(QStringLiteral("issued"))
                     .toObject()
                     .value(QStringLiteral("date-parts"))
                     .toArray()
                     .at(0)
                     .toArray(),
                 (QJsonArray{2011, 5}));
        const QJsonObject special = items.at(1).toObject();
        QCOMPARE(special.value(QStringLiteral("title")).toString(), m_entries.at(1).record.title);
        QCOMPARE(special.value(QStringLiteral("page")).toString(), QStringLiteral("118-129"));
        QCOMPARE(special.value(QStringLiteral("DOI")).toString(), m_entries.at(1).record.doi);
        QCOMPARE(special.value(QStringLiteral("id")).toString(), CitationKeys(m_entries).at(1));
        QVERIFY(!items.at(3).toObject().contains(QStringLiteral("author")));
    }

    // Only a finished row whose file stands names a file.
    void entriesOfDownloadRows() {
        DownloadItem finished;
        finished.name = QStringLiteral("石墨烯薄膜");
        finished.type = QStringLiteral("pdf");
        finished.folder = m_dir.path() + QLatin1Char('/');
        finished.state = ItemState::Finished;
        finished.record.doi = QStringLiteral("10.1/x");
        DownloadItem gone = finished;
        gone.name = QStringLiteral("moved away");
        DownloadItem waiting = finished;
        waiting.state = ItemState::Waiting;
        const QList<ExportEntry> entries = ExportEntriesOf({finished, gone, waiting});
        QCOMPARE(entries.size(), 3);
        QCOMPARE(QFileInfo(entries.at(0).pdfPath).canonicalFilePath(),
                 QFileInfo(m_pdfs.at(0)).canonicalFilePath());
        QCOMPARE(entries.at(0).title, QStringLiteral("石墨烯薄膜"));
        QCOMPARE(entries.at(0).record.doi, QStringLiteral("10.1/x"));
        QVERIFY(entries.at(1).pdfPath.isEmpty());
        QVERIFY(entries.at(2).pdfPath.isEmpty());
    }

    void unwritableFolderSaysSo() {
        const QString path = m_dir.filePath(QStringLiteral("missing/folder/x.bib"));
        QVERIFY(!WriteRecordExport(m_entries, path).isEmpty());
        QVERIFY(!QFileInfo::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestRecordExport)
#include "tst_recordexport.moc"
