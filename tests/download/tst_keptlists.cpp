// The lists outlive the program: the download list and the article list are
// kept in a real database file, come back when their windows load, survive a
// process killed at any moment (the run then finishes in a new process, every
// file whole, none fetched twice), and a bad, newer, locked or unwritable
// database never costs the user data or the run.

#include "FixtureServer.h"
#include "RawServer.h"
#include "TestApp.h"
#include "TestFiles.h"
#include "download/DownloadListKeeper.h"
#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/Scheduler.h"
#include "download/fFileDownload.h"
#include "platform/KeptDatabase.h"
#include "platform/PartFile.h"
#include "search/ArticleListKeeper.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"
#include "shell/SettingsStore.h"
#include "shell/fCover.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray wholePdf(int size, char fill) {
    QByteArray body = "%PDF-1.4\n";
    body += QByteArray(size - 16, fill);
    return body + "\n%%EOF\n";
}

// One line per row with everything a row keeps.
QStringList describe(const QList<DownloadItem>& rows) {
    QStringList lines;
    for (const DownloadItem& it : rows)
        lines << QStringList{QString::number(it.id),
                             it.name,
                             it.type,
                             it.size,
                             it.received,
                             it.percent,
                             it.folder,
                             it.baseHref,
                             it.key,
                             it.tag,
                             QString::number(int(it.state)),
                             it.placed ? "placed" : "-"}
                     .join(QLatin1Char('|'));
    return lines;
}

// Rows of a table of a database file, read beside the program's connection.
int countRows(const QString& file, const QString& table) {
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "peek");
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT count(*) FROM ") + table) && q.next())
                n = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase("peek");
    return n;
}

bool runSql(const QString& file, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "raw");
        db.setDatabaseName(file);
        ok = db.open();
        QSqlQuery q(db);
        for (const QString& s : statements)
            ok = ok && q.exec(s);
    }
    QSqlDatabase::removeDatabase("raw");
    return ok;
}

enum class Setup {
    Fresh,
    Garbage,
    Truncated,
    Foreign,
    Newer,
    SecondCopy,
    ReadOnly,
    NoFolder,
    Full
};

QStringList childLines(QProcess& child) {
    return QString::fromUtf8(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestKeptLists : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestApp> t;

    QString data() const { return t->tempPath() + QStringLiteral("/kept"); }
    QString files() const { return t->tempPath() + QStringLiteral("/files/"); }

    // A kept download list of n rows in folder, written and closed.
    static void makeKept(const QString& folder, int n) {
        KeptDatabase db;
        QVERIFY(db.open(folder));
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        keeper.restore();
        for (int i = 0; i < n; ++i)
            model.AddDownloadItem(QStringLiteral("http://127.0.0.1/p/%1").arg(i),
                                  QStringLiteral("paper %1").arg(i), "pdf", "/tmp/", {});
        QVERIFY(db.writeNow());
        db.close();
    }

private slots:
    void init() {
        t = std::make_unique<TestApp>();
        QVERIFY(QDir().mkpath(files()));
    }
    void cleanup() { t.reset(); }

    // The database's own faults: the program always runs; a bad file is kept
    // aside, a newer one and another copy's are left alone, a folder that
    // cannot be written is said once.
    void openFaults_data() {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("keeping");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("movedAside");
        QTest::addColumn<QString>("notice");
        using R = KeptDatabase::Reason;
        QTest::newRow("fresh folder") << Setup::Fresh << true << int(R::None) << false << "";
        QTest::newRow("not a database") << Setup::Garbage << true << int(R::None) << true << "";
        QTest::newRow("truncated") << Setup::Truncated << true << int(R::None) << true << "";
        QTest::newRow("another program's database")
            << Setup::Foreign << true << int(R::None) << true << "";
        QTest::newRow("newer format") << Setup::Newer << false << int(R::NewerFormat) << false
                                      << KeptDatabase::newerFormatText();
        QTest::newRow("second copy") << Setup::SecondCopy << false << int(R::SecondCopy) << false
                                     << KeptDatabase::secondCopyText();
        QTest::newRow("read-only folder") << Setup::ReadOnly << false << int(R::CannotWrite)
                                          << false << KeptDatabase::cannotWriteText();
        QTest::newRow("folder cannot be made") << Setup::NoFolder << false << int(R::CannotWrite)
                                               << false << KeptDatabase::cannotWriteText();
        QTest::newRow("full disk") << Setup::Full << false << int(R::CannotWrite) << false
                                   << KeptDatabase::cannotWriteText();
    }
    void openFaults() {
        QFETCH(Setup, setup);
        QFETCH(bool, keeping);
        QFETCH(int, reason);
        QFETCH(bool, movedAside);
        QFETCH(QString, notice);
        QString folder = data();
        const QString file = KeptDatabase::fileIn(folder);
        QVERIFY(QDir().mkpath(folder));
        switch (setup) {
        case Setup::Fresh:
        case Setup::Full:
            break;
        case Setup::Garbage:
            QVERIFY(writeFile(file, QByteArray("somebody's notes, not a database\n").repeated(90)));
            break;
        case Setup::Truncated: {
            makeKept(folder, 3000);
            const QByteArray whole = readAll(file);
            QVERIFY(whole.size() > 100000);
            QVERIFY(writeFile(file, whole.left(whole.size() / 2)));
            break;
        }
        case Setup::Foreign:
            QVERIFY(runSql(
                file, {"CREATE TABLE notes (line TEXT)", "INSERT INTO notes VALUES ('keep me')"}));
            break;
        case Setup::Newer:
            makeKept(folder, 3);
            QVERIFY(runSql(
                file,
                {QStringLiteral("PRAGMA user_version=%1").arg(KeptDatabase::FormatVersion + 1)}));
            break;
        case Setup::SecondCopy:
        case Setup::ReadOnly:
            makeKept(folder, 3);
            break;
        case Setup::NoFolder:
            QVERIFY(writeFile(t->tempPath() + "/blocked", "a file where the folder would go"));
            folder = t->tempPath() + "/blocked/kept";
            break;
        }
        const QByteArray before = readAll(KeptDatabase::fileIn(folder));
        const QStringList namesBefore = QDir(folder).entryList(QDir::Files, QDir::Name);

        KeptDatabase db;
        QStringList notices;
        db.setNotifier([&](const QString& text) { notices << text; });
        std::unique_ptr<QProcess> holder;
        if (setup == Setup::SecondCopy) {
            holder = std::make_unique<QProcess>();
            holder->start(QStringLiteral(KEPT_CHILD), {"hold", folder});
            QVERIFY(holder->waitForStarted());
            QStringList said;
            QTRY_VERIFY2_WITH_TIMEOUT((said << childLines(*holder)).contains("holding"),
                                      qPrintable(said.join('\n')), 20000);
        }
        if (setup == Setup::ReadOnly || setup == Setup::Full) {
            // Another process: one that cannot write the folder (root writes
            // anywhere, so the child gives itself up), or whose files may not grow.
            QVERIFY(::chmod(QFile::encodeName(t->tempPath()).constData(), 0755) == 0);
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
            if (setup == Setup::Full)
                QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
            QProcess child;
            if (setup == Setup::ReadOnly)
                child.start(QStringLiteral(KEPT_CHILD),
                            {"open", folder, ::geteuid() == 0 ? "65534" : "-1"});
            else
                child.start(QStringLiteral(KEPT_CHILD), {"fill", folder, "0", "before"});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitCode(), 0);
            const QStringList lines = childLines(child);
            QVERIFY2(lines.contains(QStringLiteral("state=%1 reason=%2")
                                        .arg(int(KeptDatabase::State::NotKept))
                                        .arg(reason)),
                     qPrintable(lines.join('\n')));
            QCOMPARE(lines.filter("notice "), QStringList{"notice " + notice});
            QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0755) == 0);
            QCOMPARE(readAll(KeptDatabase::fileIn(folder)), before);
            if (setup == Setup::ReadOnly)
                QCOMPARE(QDir(folder).entryList(QDir::Files, QDir::Name), namesBefore);
            return;
        }

        QCOMPARE(db.open(folder), keeping);
        QCOMPARE(int(db.reason()), reason);
        if (movedAside) {
            // Kept, under a name that says when, byte for byte.
            const QString aside = db.movedAsidePath();
            QVERIFY(!aside.isEmpty());
            QVERIFY2(QFileInfo(aside).fileName().startsWith(
                         "lists.db.bad-" + QDate::currentDate().toString("yyyyMMdd")),
                     qPrintable(aside));
            if (setup != Setup::Truncated) // its journal was folded in when it was made
                QCOMPARE(readAll(aside), before);
            notice = KeptDatabase::movedAsideText(QFileInfo(aside).fileName());
        } else if (!before.isEmpty()) {
            QCOMPARE(readAll(KeptDatabase::fileIn(folder)), before);
        }
        if (keeping) {
            // The new file works: a row written is there for the next open.
            DownloadListModel model;
            DownloadListKeeper keeper(model, db);
            QCOMPARE(keeper.restore(), 0);
            QVERIFY(model.AddDownloadItem("http://127.0.0.1/a", "a", "pdf", "/tmp/", {}));
            QVERIFY(db.writeNow());
            QCOMPARE(countRows(KeptDatabase::fileIn(folder), "download_rows"), 1);
        }
        if (notice.isEmpty()) {
            // A notice is posted to the event loop: one posted after it runs later.
            QObject context;
            bool flushed = false;
            QTimer::singleShot(0, &context, [&] { flushed = true; });
            QTRY_VERIFY(flushed);
            QCOMPARE(notices, QStringList());
        } else {
            QTRY_COMPARE(notices, QStringList{notice});
        }
        if (holder) {
            holder->closeWriteChannel();
            QVERIFY(holder->waitForFinished(20000));
            // Once the first copy has gone, its list is there for the next.
            db.close();
            QVERIFY(db.open(folder));
            DownloadListModel model;
            DownloadListKeeper keeper(model, db);
            QCOMPARE(keeper.restore(), 3);
        }
    }

    // A file written by an earlier build of this format (its tables made by
    // those statements, word for word) opens: the columns added since are
    // added to its table, empty, its rows come back under the restore rules,
    // and changes are written to the same tables.
    void fileOfThisFormatFromBefore_data() {
        QTest::addColumn<bool>("placementColumns"); // placed and the intent were kept
        QTest::addColumn<bool>("fileStands");       // the finished row's file is there
        QTest::addColumn<QString>("first");         // the finished row as it comes back
        const QString finished = QStringLiteral("3|first|pdf|10|10|100%|%1|Y|http://127.0.0.1/a|"
                                                "http://127.0.0.1/p|3|");
        QTest::newRow("without the placed size") << true << true << finished + "placed";
        QTest::newRow("without the placed size, its file gone")
            << true << false
            << QStringLiteral("3|first|pdf|||文件已丢失，重新下载|%1|Y|http://127.0.0.1/a|"
                              "http://127.0.0.1/p|1|-");
        // Rows kept before placements were known: none placed, none judged.
        QTest::newRow("without the placement columns, its file gone")
            << false << false << finished + "-";
    }
    void fileOfThisFormatFromBefore() {
        QFETCH(bool, placementColumns);
        QFETCH(bool, fileStands);
        QFETCH(QString, first);
        const QString folder = data();
        QVERIFY(QDir().mkpath(folder));
        const QString file = KeptDatabase::fileIn(folder);
        if (fileStands)
            QVERIFY(writeFile(files() + "first.pdf", "%PDF-1.4\n."));
        const QString placement = placementColumns
                                      ? QStringLiteral(", placed INTEGER NOT NULL,"
                                                       " intent_path TEXT NOT NULL,"
                                                       " intent_device INTEGER NOT NULL,"
                                                       " intent_inode INTEGER NOT NULL")
                                      : QString();
        const QString placementValues = QStringLiteral(", %1, '', 0, 0");
        QVERIFY(runSql(
            file,
            {QStringLiteral("PRAGMA application_id=%1").arg(KeptDatabase::ApplicationId),
             QStringLiteral("PRAGMA user_version=%1").arg(KeptDatabase::FormatVersion),
             "CREATE TABLE IF NOT EXISTS download_rows ("
             " id INTEGER PRIMARY KEY, position INTEGER NOT NULL,"
             " name TEXT NOT NULL, type TEXT NOT NULL, size TEXT NOT NULL,"
             " received TEXT NOT NULL, percent TEXT NOT NULL, folder TEXT NOT NULL,"
             " base_href TEXT NOT NULL, addresses TEXT NOT NULL, referer TEXT NOT NULL,"
             " state INTEGER NOT NULL" +
                 placement + ")",
             "CREATE TABLE IF NOT EXISTS articles ("
             " id INTEGER PRIMARY KEY, position INTEGER NOT NULL,"
             " title TEXT NOT NULL, type TEXT NOT NULL, state TEXT NOT NULL,"
             " save_folder TEXT NOT NULL, layout TEXT NOT NULL, link TEXT NOT NULL,"
             " page_address TEXT NOT NULL, pdf_address TEXT NOT NULL)",
             QStringLiteral("INSERT INTO download_rows VALUES (7, 1, 'second', 'pdf', '', '', '',"
                            " '/tmp/', '', 'http://127.0.0.1/b', '', %1%2)")
                 .arg(int(ItemState::Downloading))
                 .arg(placementColumns ? placementValues.arg(0) : QString()),
             QStringLiteral("INSERT INTO download_rows VALUES (3, 0, 'first', 'pdf', '10', '10',"
                            " '100%', '%1', 'Y', 'http://127.0.0.1/a', 'http://127.0.0.1/p',"
                            " %2%3)")
                 .arg(files())
                 .arg(int(ItemState::Finished))
                 .arg(placementColumns ? placementValues.arg(1) : QString()),
             "INSERT INTO articles VALUES (5, 0, 'Article', 'pdf', '正在分析', '/tmp/', 'SD2',"
             " 'http://127.0.0.1/art', 'http://127.0.0.1/results', '')"}));

        KeptDatabase db;
        QVERIFY(db.open(folder));
        QVERIFY(db.movedAsidePath().isEmpty());
        DownloadListModel downloads;
        DownloadListKeeper downloadKeeper(downloads, db);
        QCOMPARE(downloadKeeper.restore(), 2);
        QCOMPARE(
            describe(downloads.items()),
            QStringList({first.arg(files()), "7|second|pdf||||/tmp/||http://127.0.0.1/b||1|-"}));
        {
            // The table has every column now.
            QSqlQuery q(db.connection());
            QVERIFY(q.exec("PRAGMA table_info(download_rows)"));
            QStringList names;
            while (q.next())
                names << q.value(1).toString();
            for (const char* added : {"placed", "intent_path", "placed_size"})
                QVERIFY2(names.contains(added), qPrintable(names.join(',')));
        }
        ArticleListModel articles;
        ArticleListKeeper articleKeeper(articles, db);
        QCOMPARE(articleKeeper.restore(), 1);
        QCOMPARE(articles.at(0).id, qint64(5));
        QCOMPARE(articles.at(0).state, QString());
        QCOMPARE(articles.at(0).pageAddress, QStringLiteral("http://127.0.0.1/results"));

        QVERIFY(downloads.AddDownloadItem("http://127.0.0.1/c", "third", "pdf", "/tmp/", {}));
        articles.setState(0, ArticleState::Analysed);
        QVERIFY(db.writeNow());
        db.close();
        QCOMPARE(countRows(file, "download_rows"), 3);
        QVERIFY(db.open(folder));
        {
            QSqlQuery q(db.connection());
            QVERIFY(q.exec("PRAGMA user_version") && q.next());
            QCOMPARE(q.value(0).toInt(), KeptDatabase::FormatVersion);
            // The row that waits again is written so; the new row comes last.
            QVERIFY(q.exec("SELECT id, state FROM download_rows ORDER BY position, id"));
            QStringList rows;
            while (q.next())
                rows << q.value(0).toString() + ":" + q.value(1).toString();
            QCOMPARE(rows.mid(0, 2),
                     QStringList({QStringLiteral("3:%1").arg(first.section('|', 10, 10)),
                                  QStringLiteral("7:%1").arg(int(ItemState::Waiting))}));
            QCOMPARE(rows.size(), 3);
            QVERIFY(q.exec("SELECT state FROM articles WHERE id = 5") && q.next());
            QCOMPARE(q.value(0).toString(), ArticleState::Analysed);
        }
    }

    // Each row's article record is kept with both lists, also in tables kept
    // before records existed (the columns come, empty, and take later values).
    void recordsAreKept() {
        ArticleRecord record;
        record.title = QStringLiteral("石墨烯 & copper");
        record.authors = {QStringLiteral("Smith, Anna"), QStringLiteral("张伟")};
        record.journal = QStringLiteral("Carbon");
        record.year = QStringLiteral("2024");
        record.date = QStringLiteral("2024-03-15");
        record.firstPage = QStringLiteral("1");
        record.doi = QStringLiteral("10.1016/j.carbon.2024.1");
        record.pii = QStringLiteral("S0008622324000123");
        record.access = ArticleRecord::Access::Open;
        ArticleRecord fromPage;
        fromPage.volume = QStringLiteral("219");
        fromPage.title = QStringLiteral("never replaces the first title");
        ArticleRecord filled = record;
        filled.volume = QStringLiteral("219");

        const QString folder = data();
        QVERIFY(QDir().mkpath(folder));
        // An article table as kept before records came.
        QVERIFY(runSql(KeptDatabase::fileIn(folder),
                       {QStringLiteral("PRAGMA application_id=%1").arg(KeptDatabase::ApplicationId),
                        QStringLiteral("PRAGMA user_version=%1").arg(KeptDatabase::FormatVersion),
                        "CREATE TABLE IF NOT EXISTS articles ("
                        " id INTEGER PRIMARY KEY, position INTEGER NOT NULL,"
                        " title TEXT NOT NULL, type TEXT NOT NULL, state TEXT NOT NULL,"
                        " save_folder TEXT NOT NULL, layout TEXT NOT NULL, link TEXT NOT NULL,"
                        " page_address TEXT NOT NULL, pdf_address TEXT NOT NULL)",
                        "INSERT INTO articles VALUES (5, 0, 'Old', 'pdf', '', '/tmp/', 'SD2',"
                        " 'http://127.0.0.1/old', 'http://127.0.0.1/results', '')"}));
        {
            KeptDatabase db;
            QVERIFY(db.open(folder));
            ArticleListModel articles;
            ArticleListKeeper articleKeeper(articles, db);
            QCOMPARE(articleKeeper.restore(), 1);
            QVERIFY(articles.at(0).record.isEmpty());
            articles.fillRecord(0, record);
            QVERIFY(articles.add("New", "http://127.0.0.1/new", "http://127.0.0.1/results", "pdf",
                                 "/tmp/", "SD1", record));
            articles.fillRecord(1, fromPage);
            DownloadListModel downloads;
            DownloadListKeeper downloadKeeper(downloads, db);
            downloadKeeper.restore();
            QVERIFY(downloads.AddDownloadItem("http://127.0.0.1/a.pdf", "a", "pdf", "/tmp/", {},
                                              record));
            QVERIFY(downloads.AddDownloadItem("http://127.0.0.1/b.pdf", "b", "pdf", "/tmp/", {}));
            QVERIFY(downloads.fillRecord(1, fromPage));
            QVERIFY(db.writeNow());
            db.close();
        }
        KeptDatabase db;
        QVERIFY(db.open(folder));
        ArticleListModel articles;
        ArticleListKeeper articleKeeper(articles, db);
        QCOMPARE(articleKeeper.restore(), 2);
        QCOMPARE(articles.at(0).record, record);
        QCOMPARE(articles.at(1).record, filled);
        DownloadListModel downloads;
        DownloadListKeeper downloadKeeper(downloads, db);
        QCOMPARE(downloadKeeper.restore(), 2);
        QCOMPARE(downloads.item(0).record, record);
        QCOMPARE(downloads.item(1).record, fromPage);
        // The list shows the record and reads it whole in the tooltip.
        QCOMPARE(downloads.data(downloads.index(0, DownloadListModel::ColAuthors)).toString(),
                 QStringLiteral("Smith, Anna; 张伟"));
        QCOMPARE(downloads.data(downloads.index(0, DownloadListModel::ColDoi)).toString(),
                 record.doi);
        QVERIFY(downloads.data(downloads.index(0, DownloadListModel::ColName), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("期刊：Carbon")));
        QCOMPARE(articles.data(articles.index(1, ArticleListModel::YearColumn)).toString(),
                 QStringLiteral("2024"));
        QVERIFY(articles.data(articles.index(1, ArticleListModel::TitleColumn), Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("卷：219")));
    }

    // A disk that fills up in the middle of a run: the writes fail, the run
    // goes on, and the user is told once that keeping waits; once there is
    // room again, the next batch writes what waited and the user is told that
    // too, once.
    void fullDiskMidRun_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<int>("keptRows"); // -1: not looked at
        QTest::newRow("stays full")
            << "after" << QStringList{"notice " + KeptDatabase::pausedText()} << -1;
        QTest::newRow("room again") << "resume"
                                    << QStringList{"notice " + KeptDatabase::pausedText(),
                                                   "notice " + KeptDatabase::resumedText()}
                                    << 0;
    }
    void fullDiskMidRun() {
        QFETCH(QString, how);
        QFETCH(QStringList, notices);
        QFETCH(int, keptRows);
        QProcess child;
        child.start(QStringLiteral(KEPT_CHILD), {"fill", data(), QString::number(256 * 1024), how});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        const QStringList lines = childLines(child);
        QVERIFY2(lines.contains("failures=3"), qPrintable(lines.join('\n')));
        QCOMPARE(lines.filter("notice "), notices);
        if (keptRows < 0)
            return;
        // Every row the child added is kept, those of the failed batches too.
        const QStringList added = lines.filter("rows=");
        QCOMPARE(added.size(), 1);
        QCOMPARE(countRows(KeptDatabase::fileIn(data()), "download_rows"),
                 added.first().mid(5).toInt());
    }

    // Whatever happens to the rows, the next open finds them as they were,
    // in their order, with their ids (rows that were downloading wait).
    // Changes reach the file within about a second without being asked.
    void rowsComeBack_data() {
        QTest::addColumn<QString>("change");
        for (const char* c :
             {"cells, keys, states and marks", "reversed, then one appended", "a few removed",
              "scattered rows removed", "emptied, then added", "placements"})
            QTest::newRow(c) << QString::fromLatin1(c);
    }
    void rowsComeBack() {
        QFETCH(QString, change);
        QVERIFY(t->keepLists());
        KeptDatabase& db = app().keptLists();
        QList<DownloadItem> expected;
        {
            DownloadListModel model;
            DownloadListKeeper keeper(model, db);
            QCOMPARE(keeper.restore(), 0);
            const int n = change.startsWith("scattered") ? 40 : 6;
            for (int i = 0; i < n; ++i)
                QVERIFY(model.AddDownloadItem(QStringLiteral("http://127.0.0.1/r/%1").arg(i),
                                              QStringLiteral("row %1").arg(i), "pdf", files(),
                                              QStringLiteral("http://127.0.0.1/page")));
            QSignalSpy written(&db, &KeptDatabase::batchWritten);
            const auto fromNowOn = [&] {
                QVERIFY(db.writeNow());
                written.clear();
            };
            if (change.startsWith("cells")) {
                model.setProgress(0, "1000", "1000", "100%");
                model.setState(0, ItemState::Finished);
                model.setPlaced(0, true);
                QVERIFY(model.setKey(1, "http://127.0.0.1/other|http://127.0.0.1/r/1"));
                model.setTag(2, "http://127.0.0.1/referer");
                model.setState(3, ItemState::Failed);
                model.setPercent(3, "下载失败");
                model.setState(4, ItemState::Downloading);
                model.setProgress(4, "9000", "3000", "33%");
                model.setBaseHref(5, "Y");
                model.setFolder(5, "/nonexistent/folder gone since/"); // restored as it was
                model.setType(5, "htm");
            } else if (change.startsWith("reversed")) {
                QVERIFY(model.reorder({5, 4, 3, 2, 1, 0}));
                QVERIFY(model.AddDownloadItem("http://127.0.0.1/late", "late", "pdf", files(), {}));
            } else if (change.startsWith("a few")) {
                QCOMPARE(
                    model.removeRowsIf([](const DownloadItem&, int r) { return r == 1 || r == 2; }),
                    2);
            } else if (change.startsWith("scattered")) {
                QCOMPARE(model.removeRowsIf([](const DownloadItem&, int r) { return r % 2; }), 20);
            } else if (change.startsWith("emptied")) {
                fromNowOn();
                model.clear();
                QVERIFY(model.AddDownloadItem("http://127.0.0.1/new1", "new1", "pdf", files(), {}));
                QVERIFY(model.AddDownloadItem("http://127.0.0.1/new2", "new2", "pdf", files(), {}));
            } else {
                // Row 0 placed its file just before the end (the rename
                // happened); row 1 was about to, but a file of the user's
                // stands under the name; row 2 never got so far.
                for (int r : {0, 1, 2}) {
                    model.setState(r, ItemState::Downloading);
                    model.setProgress(r, "5000", "2500", "50%");
                }
                const QString part0 = files() + ".part0";
                const QString part1 = files() + ".part1";
                QVERIFY(writeFile(part0, wholePdf(5000, 'a')));
                QVERIFY(writeFile(part1, wholePdf(5000, 'b')));
                model.notePlacing(0, files() + "row 0.pdf", part0);
                model.notePlacing(1, files() + "row 1.pdf", part1);
                QVERIFY(QFile::rename(part0, files() + "row 0.pdf"));
                QVERIFY(writeFile(files() + "row 1.pdf", "the user's own"));
            }
            // Written by the batch within about a second, not at the close.
            QTRY_VERIFY_WITH_TIMEOUT(written.count() > 0, 5000);
            QCOMPARE(countRows(db.filePath(), "download_rows"), model.count());
            for (const DownloadItem& it : model.items())
                expected << DownloadListKeeper::restoredRow(it);
        }
        db.close();
        QVERIFY(t->keepLists());
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        QCOMPARE(keeper.restore(), expected.size());
        QCOMPARE(describe(model.items()), describe(expected));
        if (change.startsWith("cells"))
            QCOMPARE(model.item(4).state, ItemState::Waiting);
        if (change.startsWith("reversed"))
            QCOMPARE(model.item(6).name, QStringLiteral("late"));
        if (change.startsWith("placements")) {
            QCOMPARE(model.item(0).state, ItemState::Finished);
            QVERIFY(model.item(0).placed);
            QCOMPARE(model.item(0).received, QString::number(wholePdf(5000, 'a').size()));
            QCOMPARE(model.item(0).percent, QStringLiteral("100%"));
            QCOMPARE(model.item(1).state, ItemState::Waiting);
            QVERIFY(!model.item(1).placed);
            QCOMPARE(model.item(2).state, ItemState::Waiting);
        }
        // New rows never take a kept row's id.
        QVERIFY(model.AddDownloadItem("http://127.0.0.1/after", "after", "pdf", files(), {}));
        for (int r = 0; r + 1 < model.count(); ++r)
            QVERIFY(model.item(r).id != model.item(model.count() - 1).id);
    }

    // kill -9 in the middle of a run, then the program again in a new
    // process: it restores the list and finishes the run. Every file is
    // whole, none that was finished is asked for again, none is saved twice,
    // and the body cut by the kill goes on from its kept part.
    void killedRunFinishesAfterRestart_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("kill");
        for (int mode : {1, 2}) {
            const QByteArray m = "mode " + QByteArray::number(mode);
            QTest::newRow(m + ", in the middle of a body") << mode << "body";
            QTest::newRow(m + ", right after a file took its name") << mode << "placed:3";
            QTest::newRow(m + ", right before a file takes its name") << mode << "placing:3";
        }
    }
    void killedRunFinishesAfterRestart() {
        QFETCH(int, mode);
        QFETCH(QString, kill);
        RawServer raw;
        const int n = 9;
        const int cut = 3; // the row whose first answer stops after a third
        QList<QByteArray> bodies;
        QStringList addresses;
        int cutAnswers = 0;
        bool firstProcess = true;
        for (int k = 0; k < n; ++k) {
            const QByteArray body = wholePdf(k == cut ? 300000 : 20000 + 1000 * k, char('a' + k));
            bodies << body;
            const QByteArray path = "/paper/" + QByteArray::number(k);
            addresses << raw.url(path);
            raw.addResponder(path, [body, k, &cutAnswers, &firstProcess](const QByteArray& head) {
                const QByteArray common =
                    "Content-Type: application/pdf\r\nAccept-Ranges: bytes\r\n"
                    "ETag: \"" +
                    QByteArray::number(k) + "\"\r\n";
                const qsizetype at = head.indexOf("\r\nRange: bytes=");
                const qsizetype total = body.size();
                if (at >= 0 && head.contains("\r\nIf-Range: \"" + QByteArray::number(k) + "\"")) {
                    const qsizetype from = head.mid(at + 15).split('-').value(0).toLongLong();
                    return RawServer::Reply{
                        "HTTP/1.1 206 Partial Content\r\n" + common + "Content-Range: bytes " +
                            QByteArray::number(from) + "-" + QByteArray::number(total - 1) + "/" +
                            QByteArray::number(total) + "\r\nContent-Length: " +
                            QByteArray::number(total - from) + "\r\n\r\n" + body.mid(from),
                        RawServer::End::Close};
                }
                const QByteArray whole = "HTTP/1.1 200 OK\r\n" + common +
                                         "Content-Length: " + QByteArray::number(total) +
                                         "\r\n\r\n";
                // The first process's first answer of the cut row sends a
                // third, then nothing.
                if (k == cut && firstProcess && cutAnswers++ == 0)
                    return RawServer::Reply{whole + body.left(total / 3), RawServer::End::Hold};
                return RawServer::Reply{whole + body, RawServer::End::Close};
            });
        }
        const QString dataFolder = data();
        const QString folder = files();
        const auto start = [&](QProcess& child, const QString& how) {
            child.setProcessChannelMode(QProcess::SeparateChannels);
            child.start(QStringLiteral(KEPT_CHILD),
                        QStringList{"run", QString::number(mode), dataFolder, folder, how} +
                            addresses);
            return child.waitForStarted();
        };
        const auto finals = [&] {
            QStringList list;
            for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
                list << name;
            return list;
        };

        QProcess first;
        QVERIFY(start(first, kill == "body" ? QStringLiteral("none") : kill));
        if (kill == "body") {
            // Killed from outside while the cut row's part holds its third and
            // other rows have finished.
            const QString part = PartFile::partPath(folder + "f3.pdf");
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() == 100000 && finals().size() >= 3,
                                     30000);
            ::kill(pid_t(first.processId()), SIGKILL);
        }
        // The server answers from this thread: wait on events, not on the process.
        QTRY_VERIFY_WITH_TIMEOUT(first.state() == QProcess::NotRunning, 60000);
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        const QStringList finishedAtKill = finals();
        QVERIFY(!finishedAtKill.isEmpty());
        QMap<QString, int> asked;
        for (int k = 0; k < n; ++k)
            asked[QStringLiteral("f%1.pdf").arg(k)] =
                raw.requests("/paper/" + QByteArray::number(k));
        raw.release();
        firstProcess = false;

        QProcess second;
        QVERIFY(start(second, "none"));
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 60000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        const QStringList lines = childLines(second);
        QStringList expectedLines;
        QStringList expectedFiles;
        for (int k = 0; k < n; ++k) {
            expectedLines << QStringLiteral("row f%1.pdf %2").arg(k).arg(int(ItemState::Finished));
            expectedFiles << QStringLiteral("f%1.pdf").arg(k);
        }
        // Restored, not added again: the rows are the first run's, all finished.
        QCOMPARE(lines, expectedLines);
        // No second copy of any file, no part left, every file whole.
        QTRY_COMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expectedFiles);
        for (int k = 0; k < n; ++k)
            QCOMPARE(readAll(folder + expectedFiles.at(k)), bodies.at(k));
        // A file that stood finished at the kill was not asked for again.
        for (const QString& name : finishedAtKill)
            QCOMPARE(raw.requests("/paper/" + name.mid(1, name.indexOf('.') - 1).toLatin1()),
                     asked.value(name));
        if (kill == "body") {
            // The cut body went on from its part.
            const QByteArray last = raw.heads("/paper/3").last();
            QVERIFY2(last.contains("\r\nRange: bytes=100000-\r\n"), last.constData());
        }
        // And the kept list says so too.
        KeptDatabase db;
        QVERIFY(db.open(dataFolder));
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        QCOMPARE(keeper.restore(), n);
        QCOMPARE(model.countInState(ItemState::Finished), n);
        QCOMPARE(DownloadListKeeper::unfinishedRows(db), 0);
    }

    // A row finished on a file it placed, whose file the user deleted, moved
    // or replaced by one of another size while the program was closed (or,
    // with the program open, before a run starts), is not finished: it comes
    // back waiting with a reason, the start question and the totals count it,
    // and the run fetches it again. A row finished on the user's own file
    // under "跳过" keeps its meaning; an untouched file is never asked for again.
    void finishedFileGone_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("why"); // empty: the row stays finished
        const QString missing = QStringLiteral("文件已丢失，重新下载");
        const QString changed = QStringLiteral("文件已改变，重新下载");
        for (int mode : {1, 2}) {
            const QByteArray m = "mode " + QByteArray::number(mode) + ", ";
            QTest::newRow(m + "deleted") << mode << "deleted" << missing;
            QTest::newRow(m + "moved") << mode << "moved" << missing;
            QTest::newRow(m + "another size") << mode << "another size" << changed;
            QTest::newRow(m + "deleted while the program is open")
                << mode << "deleted while open" << missing;
        }
        QTest::newRow("untouched") << 2 << "untouched"
                                   << "";
        QTest::newRow("the user's own file under 跳过, deleted") << 2 << "skipped"
                                                                 << "";
    }
    void finishedFileGone() {
        QFETCH(int, mode);
        QFETCH(QString, change);
        QFETCH(QString, why);
        FixtureServer server;
        const QString address = server.url("/gen/6000");
        const QByteArray body = FixtureServer::generatedContent(6000);
        const QString file = files() + "paper.pdf";
        const QByteArray users = "the user's own copy, of another size";
        if (change == "skipped")
            QVERIFY(writeFile(file, users));
        app().DownloadMode = mode;
        QVERIFY(t->keepLists());
        KeptDatabase& db = app().keptLists();
        const auto run = [&](DownloadListModel& model) {
            Scheduler s(model);
            s.options.workerCount = 2;
            s.options.duplicatePolicy = change == "skipped" ? "跳过" : "重命名";
            s.startDownload();
            QTimer tick;
            connect(&tick, &QTimer::timeout, &s, [&] {
                s.schedulerTick();
                s.housekeepingTick();
            });
            tick.start(20);
            QTRY_VERIFY_WITH_TIMEOUT(model.检测是否下载列表完毕() && !s.downloadRunning(), 30000);
        };
        {
            DownloadListModel model;
            DownloadListKeeper keeper(model, db);
            QCOMPARE(keeper.restore(), 0);
            QVERIFY(model.AddDownloadItem(address, "paper", "pdf", files(), {}));
            run(model);
            QCOMPARE(model.item(0).state, ItemState::Finished);
            QCOMPARE(model.item(0).placed, change != "skipped");
            QCOMPARE(readAll(file), change == "skipped" ? users : body);
            if (change == "deleted while open") {
                // Checked again when a run starts: fetched anew, once.
                QVERIFY(QFile::remove(file));
                run(model);
                QCOMPARE(model.item(0).state, ItemState::Finished);
                QVERIFY(model.item(0).placed);
                QCOMPARE(readAll(file), body);
                QCOMPARE(server.requestsFor("/gen/6000").size(), 2);
                return;
            }
            QVERIFY(db.writeNow());
        }
        db.close();
        const QString elsewhere = t->tempPath() + "/elsewhere.pdf";
        if (change == "deleted" || change == "skipped")
            QVERIFY(QFile::remove(file));
        else if (change == "moved")
            QVERIFY(QFile::rename(file, elsewhere));
        else if (change == "another size")
            QVERIFY(writeFile(file, users));
        const int asked = server.requestsFor("/gen/6000").size();

        QVERIFY(t->keepLists());
        QCOMPARE(DownloadListKeeper::unfinishedRows(db), why.isEmpty() ? 0 : 1);
        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        QCOMPARE(keeper.restore(), 1);
        const DownloadItem& row = model.item(0);
        if (why.isEmpty()) {
            QCOMPARE(row.state, ItemState::Finished);
            QCOMPARE(row.percent, change == "skipped" ? "已存在，跳过" : "100%");
            run(model);
            QCOMPARE(model.item(0).state, ItemState::Finished);
            QCOMPARE(server.requestsFor("/gen/6000").size(), asked);
            return;
        }
        QCOMPARE(row.state, ItemState::Waiting);
        QCOMPARE(row.percent, why);
        QVERIFY(row.size.isEmpty() && row.received.isEmpty());
        // Not the row's file any more: no command of the row may delete it.
        QVERIFY(!row.placed);
        QCOMPARE(model.totalsText(), QStringLiteral("总数:1 正在下载:0 等待:1 已完成:0 失败:0"));
        // Kept so: the next start finds it waiting too.
        QVERIFY(db.writeNow());
        {
            QSqlQuery q(db.connection());
            QVERIFY(q.exec("SELECT state, placed, percent FROM download_rows") && q.next());
            QCOMPARE(q.value(0).toInt(), int(ItemState::Waiting));
            QCOMPARE(q.value(1).toInt(), 0);
            QCOMPARE(q.value(2).toString(), why);
        }
        run(model);
        QCOMPARE(model.item(0).state, ItemState::Finished);
        QVERIFY(model.item(0).placed);
        QCOMPARE(server.requestsFor("/gen/6000").size(), asked + 1);
        QCOMPARE(readAll(RowFilePath(model.item(0))), body);
        if (change == "moved")
            QCOMPARE(readAll(elsewhere), body);
        if (change == "another size") {
            // The file of the user's under the name stays; the new one takes the next name.
            QCOMPARE(readAll(file), users);
            QVERIFY(RowFilePath(model.item(0)) != file);
        }
    }

    // A link under the database's name, to an empty file of the user's, to a
    // file with content or to nothing: the link itself is moved aside, the
    // file it points to is never opened nor changed (byte for byte, no
    // journal beside it), the lists start empty in a regular file of their
    // own, and the user is told.
    void databaseLinkMovedAside_data() {
        QTest::addColumn<QByteArray>("target"); // null: the link points to nothing
        QTest::newRow("link to an empty file") << QByteArray("");
        QTest::newRow("link to a file with content")
            << QByteArray("the user's notes, not a database\n").repeated(50);
        QTest::newRow("link to nothing") << QByteArray();
    }
    void databaseLinkMovedAside() {
        QFETCH(QByteArray, target);
        const QString folder = data();
        const QString theirs = t->tempPath() + "/theirs";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QDir().mkpath(theirs));
        const QString targetFile = theirs + "/notes.txt";
        if (!target.isNull())
            QVERIFY(writeFile(targetFile, target));
        const QString file = KeptDatabase::fileIn(folder);
        QVERIFY(QFile::link(targetFile, file));

        KeptDatabase db;
        QStringList notices;
        db.setNotifier([&](const QString& text) { notices << text; });
        QVERIFY(db.open(folder));
        const QString aside = db.movedAsidePath();
        QVERIFY(!aside.isEmpty());
        QVERIFY(QFileInfo(aside).isSymLink());
        QCOMPARE(QFileInfo(aside).symLinkTarget(), targetFile);
        QTRY_COMPARE(notices,
                     QStringList{KeptDatabase::linkMovedAsideText(QFileInfo(aside).fileName())});
        const QFileInfo now(file);
        QVERIFY(!now.isSymLink());
        QVERIFY(now.isFile());
        {
            DownloadListModel model;
            DownloadListKeeper keeper(model, db);
            QCOMPARE(keeper.restore(), 0);
            QVERIFY(model.AddDownloadItem("http://127.0.0.1/a", "a", "pdf", "/tmp/", {}));
            QVERIFY(db.writeNow());
        }
        db.close();
        QCOMPARE(countRows(file, "download_rows"), 1);
        if (target.isNull())
            QVERIFY(!QFileInfo::exists(targetFile));
        else
            QCOMPARE(readAll(targetFile), target);
        QCOMPARE(QDir(theirs).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 target.isNull() ? QStringList() : QStringList{"notes.txt"});
    }

    // Killed right after a file took its name, before the next write: the
    // start question counts the rows as restore shows them (the row that
    // placed its file is finished), not as the file last said.
    void startQuestionAfterKill_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode 1") << 1;
        QTest::newRow("mode 2") << 2;
    }
    void startQuestionAfterKill() {
        QFETCH(int, mode);
        FixtureServer server;
        QStringList addresses;
        for (int k = 0; k < 8; ++k)
            addresses << server.url(QStringLiteral("/gen/%1").arg(20000 + k));
        QProcess child;
        child.start(QStringLiteral(KEPT_CHILD),
                    QStringList{"run", QString::number(mode), data(), files(), "placed:3"} +
                        addresses);
        QTRY_VERIFY_WITH_TIMEOUT(child.state() == QProcess::NotRunning, 60000);
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        KeptDatabase db;
        QVERIFY(db.open(data()));
        int lastSaid = 0; // rows the file itself calls waiting or downloading
        {
            QSqlQuery q(db.connection());
            QVERIFY(
                q.exec(QStringLiteral("SELECT count(*) FROM download_rows WHERE state IN (%1, %2)")
                           .arg(int(ItemState::Waiting))
                           .arg(int(ItemState::Downloading))) &&
                q.next());
            lastSaid = q.value(0).toInt();
        }
        const int asked = DownloadListKeeper::unfinishedRows(db);
        fCover cover;
        fCover::Hooks hooks;
        hooks.unfinishedDownloads = [&db] { return DownloadListKeeper::unfinishedRows(db); };
        cover.setHooks(hooks);
        t->dialogs->questionAnswers.push_back(false);
        cover.load();
        QCOMPARE(t->dialogs->questions.last(), fCover::unfinishedQuestion(asked));

        DownloadListModel model;
        DownloadListKeeper keeper(model, db);
        QCOMPARE(keeper.restore(), addresses.size());
        const int waiting = model.countInState(ItemState::Waiting);
        QCOMPARE(asked, waiting);
        // At least the row that placed its file had not said so: the file
        // called it downloading, and the question does not count it.
        QCOMPARE(model.countInState(ItemState::Finished), addresses.size() - waiting);
        QVERIFY2(waiting < lastSaid,
                 qPrintable(QStringLiteral("%1 %2").arg(waiting).arg(lastSaid)));
    }

    // The download window's own choices are written as they change, so a
    // program that ends without closing the window (a crash, the start-up
    // window's exit) keeps them; the next window comes up with them.
    void windowChoicesKeptAtChange() {
        app().DownloadMode = 2;
        t->settings().write(SettingsKeys::SectionSettings, SettingsKeys::DownloadMode, 2);
        const QString store = t->settings().fileName();
        {
            auto* w = new fFileDownload;
            w->Combo1->setCurrentIndex(4);
            w->Combo2->setCurrentIndex(17);
            w->Check6->setChecked(true);
            w->Option1->setChecked(true);
            // What a new process would read, the window still open.
            SettingsStore after(store);
            QCOMPARE(after.threadIndex(), 4);
            QCOMPARE(after.pauseIndex(), 17);
            QCOMPARE(after.soundPrompts(), 1);
            QCOMPARE(after.duplicatePolicy(), QStringLiteral("跳过"));
            // The mode switch of the window is its choice too.
            w->Command26->click();
            QCOMPARE(SettingsStore(store).downloadMode(), 1);
            w->Command26->click();
            QCOMPARE(SettingsStore(store).downloadMode(), 2);
            w->Combo1->setCurrentIndex(5);
            delete w; // gone without its close
        }
        auto* w = new fFileDownload;
        QCOMPARE(w->Combo1->currentText(), QStringLiteral("6"));
        QCOMPARE(w->Combo2->currentText(), QStringLiteral("17"));
        QVERIFY(w->Check6->isChecked());
        QVERIFY(w->Option1->isChecked());
        QVERIFY(w->scheduler()->options.sound);
        QCOMPARE(w->scheduler()->options.pauseSeconds, 17);
        // Loading wrote nothing back over what was kept.
        QCOMPARE(SettingsStore(store).threadIndex(), 5);
        w->Check6->setChecked(false);
        QCOMPARE(SettingsStore(store).soundPrompts(), 0);
        delete w;
    }

    // At start the start-up window offers the unfinished downloads; the
    // download window opens with the kept list, the rows that were
    // downloading waiting, and starts nothing. Its commands change what is
    // kept: "清空" empties it.
    void startUpOffersTheKeptList() {
        FixtureServer server;
        QVERIFY(t->keepLists());
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        app().flow().registerWindow(WindowNames::WebSearch, [] {
            auto* w = new QWidget;
            w->setObjectName(WindowNames::WebSearch);
            return w;
        });
        {
            DownloadListModel model;
            DownloadListKeeper keeper(model, app().keptLists());
            keeper.restore();
            for (int i = 0; i < 4; ++i)
                model.AddDownloadItem(server.url(QStringLiteral("/gen/%1").arg(1000 + i)),
                                      QStringLiteral("p%1").arg(i), "pdf", files(), {});
            model.setState(0, ItemState::Finished);
            model.setPlaced(0, true);
            QVERIFY(writeFile(files() + "p0.pdf", FixtureServer::generatedContent(1000)));
            model.setState(1, ItemState::Downloading);
            model.setProgress(1, "1001", "500", "49%");
        }
        QCOMPARE(DownloadListKeeper::unfinishedRows(app().keptLists()), 3);

        for (bool answer : {false, true}) {
            fCover cover;
            fCover::Hooks hooks;
            hooks.unfinishedDownloads = [] {
                return DownloadListKeeper::unfinishedRows(app().keptLists());
            };
            cover.setHooks(hooks);
            t->dialogs->questionAnswers.push_back(answer);
            cover.load();
            QCOMPARE(t->dialogs->questions.last(), fCover::unfinishedQuestion(3));
            QCOMPARE(app().flow().IsFormLoaded(WindowNames::FileDownload), answer);
        }
        auto* w = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(w && w->isVisible());
        DownloadListModel& list = *w->list();
        QCOMPARE(list.count(), 4);
        QCOMPARE(list.item(0).state, ItemState::Finished);
        QVERIFY(list.item(0).placed);
        QCOMPARE(list.item(1).state, ItemState::Waiting);
        // No part was kept for it: the next attempt starts from nothing, and
        // the row shows no progress of the cut one.
        QVERIFY(list.item(1).notYetDownloaded());
        QCOMPARE(w->Label1->text(), QStringLiteral("4条"));
        QVERIFY(!w->downloadRunning());
        // The housekeeping that could start a run on its own starts nothing.
        w->HousekeepingTick();
        QVERIFY(!w->downloadRunning());
        QVERIFY(!w->scheduler()->inetExecuting());
        QVERIFY(server.requestsFor("/gen/1001").isEmpty());

        t->dialogs->questionAnswers.push_back(true);
        w->menu清空->trigger();
        QCOMPARE(list.count(), 0);
        QTRY_COMPARE(countRows(app().keptLists().filePath(), "download_rows"), 0);
        w->close();
        QTRY_VERIFY(!app().flow().IsFormLoaded(WindowNames::FileDownload));
    }

    // The search window brings back its article list with what the analysis
    // found; "分析未分析项" goes on with the articles not analysed yet (one
    // whose analysis was cut off among them) and hands them to the download
    // list, which keeps them too.
    void articleAnalysisGoesOn() {
        FixtureServer server;
        for (int i = 0; i < 5; ++i)
            server.addPage(QStringLiteral("/art/%1").arg(i),
                           QStringLiteral("<script>window.location='%1';</script>")
                               .arg(server.url(QStringLiteral("/pdf/%1.pdf").arg(i)))
                               .toUtf8());
        QVERIFY(t->keepLists());
        t->values->PromptSaveFolder = 1;
        app().flow().registerWindow(WindowNames::WebSearch, [] { return new fWebSearch; });
        app().flow().registerWindow(WindowNames::FileDownload, [] { return new fFileDownload; });
        app().flow().registerWindow(WindowNames::Cover, [] {
            auto* w = new QWidget;
            w->setObjectName(WindowNames::Cover);
            return w;
        });
        {
            // What a run that ended in the middle of its analysis left.
            ArticleListModel articles;
            ArticleListKeeper keeper(articles, app().keptLists());
            keeper.restore();
            for (int i = 0; i < 5; ++i)
                articles.add(QStringLiteral("Article %1").arg(i),
                             server.url(QStringLiteral("/art/%1").arg(i)), server.url("/results"),
                             "pdf", files(), "SD2");
            for (int i : {0, 1}) {
                articles.setState(i, ArticleState::Analysed);
                articles.setPdfAddress(i, server.url(QStringLiteral("/pdf/%1.pdf").arg(i)));
            }
            articles.setState(2, ArticleState::Analysing);
        }
        auto* w = qobject_cast<fWebSearch*>(app().flow().show(WindowNames::WebSearch));
        QVERIFY(w);
        ArticleListModel& articles = *w->articles();
        QCOMPARE(articles.size(), 5);
        QCOMPARE(w->Label1->text(), QStringLiteral("5"));
        QCOMPARE(articles.at(1).state, ArticleState::Analysed);
        QCOMPARE(articles.at(1).pdfAddress, server.url("/pdf/1.pdf"));
        QCOMPARE(articles.at(2).state, QString());
        QCOMPARE(articles.at(2).title, QStringLiteral("Article 2"));
        w->Combo2->setCurrentIndex(0);

        w->menu分析未分析项->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(w->AnalyseStopped, 30000);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(articles.at(i).state, ArticleState::Analysed);
        for (int i : {0, 1})
            QVERIFY(server.requestsFor(QStringLiteral("/art/%1").arg(i)).isEmpty());
        for (int i : {2, 3, 4}) {
            QCOMPARE(server.requestsFor(QStringLiteral("/art/%1").arg(i)).size(), 1);
            QCOMPARE(articles.at(i).pdfAddress, server.url(QStringLiteral("/pdf/%1.pdf").arg(i)));
        }
        auto* d = qobject_cast<fFileDownload*>(app().flow().find(WindowNames::FileDownload));
        QVERIFY(d);
        QCOMPARE(d->list()->count(), 3);
        QVERIFY(app().keptLists().writeNow());
        QCOMPARE(countRows(app().keptLists().filePath(), "download_rows"), 3);

        // The next run finds the finished analysis.
        d->close();
        w->close();
        QTRY_VERIFY(!app().flow().IsFormLoaded(WindowNames::WebSearch));
        app().keptLists().close();
        QVERIFY(t->keepLists());
        ArticleListModel again;
        ArticleListKeeper keeper(again, app().keptLists());
        QCOMPARE(keeper.restore(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(again.at(i).state, ArticleState::Analysed);
            QCOMPARE(again.at(i).pdfAddress, server.url(QStringLiteral("/pdf/%1.pdf").arg(i)));
        }
        // Removing rows and emptying the list empty what is kept of it.
        QCOMPARE(again.removeRowList({1, 3}), 2);
        QVERIFY(app().keptLists().writeNow());
        QCOMPARE(countRows(app().keptLists().filePath(), "articles"), 3);
        again.clear();
        QVERIFY(app().keptLists().writeNow());
        QCOMPARE(countRows(app().keptLists().filePath(), "articles"), 0);
    }
};

QTEST_MAIN(TestKeptLists)
#include "tst_keptlists.moc"
