#include "CacheEntryFiles.h"
#include "FixtureServer.h"
#include "PlantedFifo.h"
#include "TestApp.h"
#include "download/fFileDownload.h"
#include "platform/Browser.h"
#include "platform/BrowserCache.h"
#include "platform/BrowserProfile.h"
#include "search/fWebSearch.h"
#include "shell/BrowserCacheCommands.h"
#include "tools/CacheFolders.h"
#include "tools/CacheListModel.h"
#include "tools/Form_Copy_Move.h"
#include "tools/ToolWindows.h"
#include "tools/fIEcache.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <zlib.h>

namespace {

// Generous: the browser shares a loaded two-core machine with compilers.
constexpr int kLoadMs = 60000;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

int rowOf(const CacheListModel* model, const QString& text) {
    for (int i = 0; i < model->rowCount(); ++i) {
        if (model->row(i).text == text)
            return i;
    }
    return -1;
}

// Records, with each information message, how many entries the cache still had.
class ClearingDialogs : public RecordingDialogs {
public:
    std::function<qsizetype()> entriesLeft;
    QList<qsizetype> leftAtMessage;
    void information(QWidget* owner, const QString& text) override {
        if (entriesLeft)
            leftAtMessage << entriesLeft();
        RecordingDialogs::information(owner, text);
    }
};

void selectRows(fIEcache& viewer, const QList<int>& rows) {
    QItemSelectionModel* selection = viewer.ListView1->selectionModel();
    selection->clearSelection();
    for (int row : rows)
        selection->select(viewer.model()->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestCacheViewer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_home;    // alice, the user running the program
    QString m_bob;     // another user with a cache of the same program
    QString m_outside; // files no cache command may touch
    QString m_relative;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<Browser> m_browser;
    QByteArray m_pdf;
    QByteArray m_page2;

    QString liveFolder() const { return BrowserCache::profileEntryFolder(); }

    // The cached body size of an address, -1 when not (yet) cached whole.
    static qint64 cachedSize(const QString& address) {
        for (const BrowserCacheEntry& e :
             BrowserCache(BrowserCache::profileEntryFolder()).entries())
            if (e.address == address)
                return e.bodySize;
        return -1;
    }

    bool load(const QString& path) {
        QSignalSpy done(m_browser.get(), &Browser::documentComplete);
        m_browser->navigate(m_server->url(path));
        return done.wait(kLoadMs) && done.first().at(0).toBool();
    }

    // Loads the two pages and the PDF and waits until the cache holds them whole.
    bool fillCache() {
        // The reader has the PDF whole only once it says so: leaving the page
        // earlier would cut the transfer and leave no entry for it.
        const QString read = QStringLiteral("read %1").arg(m_pdf.size());
        if (!load("/reader.html") ||
            !QTest::qWaitFor([&] { return m_browser->title() == read; }, kLoadMs) ||
            !load("/page1.html") || !load("/page2.html"))
            return report();
        const bool whole = QTest::qWaitFor(
            [&] {
                return cachedSize(m_server->url("/paper.pdf")) == m_pdf.size() &&
                       cachedSize(m_server->url("/page1.html")) > 0 &&
                       cachedSize(m_server->url("/page2.html")) > 0;
            },
            kLoadMs);
        return whole || report();
    }
    // Says what the cache holds when a fill fails; false.
    bool report() {
        for (const BrowserCacheEntry& e :
             BrowserCache(BrowserCache::profileEntryFolder()).entries())
            qWarning() << "entry" << e.address << e.bodySize;
        qWarning() << "pdf requests" << m_server->requestsFor("/paper.pdf").size() << "title"
                   << m_browser->title();
        return false;
    }

    void checkOutsideUntouched() {
        QCOMPARE(readFile(m_outside + "/keep.pdf"), QByteArray("outside the cache"));
        QCOMPARE(readFile(m_outside + "/folder/inner.pdf"), QByteArray("inner"));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_home = m_dir.path() + "/home/alice";
        m_bob = m_dir.path() + "/home/bob";
        m_outside = m_dir.path() + "/outside";
        QDir().mkpath(m_home);
        QDir().mkpath(m_dir.path() + "/home/carol"); // a user without this program
        qputenv("HOME", m_home.toUtf8());
        BrowserProfile::setStorageRoot(m_home + "/.local/share/Varnelle/browser");
        m_relative = ".local/share/Varnelle/browser/cache/Cache/Cache_Data";
        QCOMPARE(liveFolder(), m_home + "/" + m_relative);
        writeFile(m_outside + "/keep.pdf", "outside the cache");
        writeFile(m_outside + "/folder/inner.pdf", "inner");

        m_server = std::make_unique<FixtureServer>();
        QVERIFY(m_server->isRunning());
        const QList<std::pair<QByteArray, QByteArray>> cacheable{{"Cache-Control", "max-age=3600"}};
        FixturePage page1{200, "<html><head><title>one</title></head><body>page one</body></html>",
                          "text/html", cacheable};
        // Long enough that the server compresses it.
        m_page2 = "<html><head><title>two</title></head><body>" +
                  QByteArray("page two is a page of text. ").repeated(200) + "</body></html>";
        FixturePage page2{200, m_page2, "text/html", cacheable};
        m_pdf = FixtureServer::generatedContent(300000);
        FixturePage pdf{200, m_pdf, "application/pdf", cacheable};
        m_server->addPage("/page1.html", page1);
        m_server->addPage("/page2.html", page2);
        m_server->addPage("/paper.pdf", pdf);
        // A browser without a PDF viewer takes a PDF address for a download and
        // drops it after the first bytes; a page that reads the PDF whole gets
        // it into the cache as a document the user opened would be. It asks the
        // network each time, not what the browser remembers of an earlier
        // test whose cache file is gone, so each fill writes the entry afresh.
        m_server->addPage("/reader.html",
                          "<html><head><title>reader</title><script>"
                          "fetch('/paper.pdf', {cache: 'reload'}).then(r => r.arrayBuffer())"
                          ".then(b => { document.title = 'read ' + b.byteLength; });"
                          "</script></head><body>reader</body></html>");
        m_browser = std::make_unique<Browser>();
    }

    void cleanupTestCase() { m_browser.reset(); }

    void listsCopiesAndDeletesSelected() {
        TestApp t;
        RegisterToolWindows(t.values->flow());
        // The copy dialog keeps its recent folders in the test's folder.
        const QString folderList = t.tempPath() + "/SaveList.dat";
        t.values->flow().registerWindow(WindowNames::CopyMove, [folderList] {
            return new Form_Copy_Move(nullptr, folderList);
        });
        QVERIFY(fillCache());
        fIEcache viewer(nullptr, m_home, liveFolder());
        QCOMPARE(viewer.windowTitle(), QStringLiteral("IE浏览器Cookie 缓存和历史列表-Varnelle"));
        QCOMPARE(viewer.Label1->text(), QStringLiteral("000"));
        viewer.Command1_Click();
        QCOMPARE(viewer.ListView1Tag, QStringLiteral("我的缓存"));
        CacheListModel* model = viewer.model();
        QCOMPARE(viewer.Label1->text(), QStringLiteral("共有%1 个文件").arg(model->rowCount()));
        const int pdfRow = rowOf(model, m_server->url("/paper.pdf"));
        const int pageRow = rowOf(model, m_server->url("/page1.html"));
        QVERIFY(pdfRow >= 0 && pageRow >= 0);
        QCOMPARE(model->data(model->index(pdfRow, 1), Qt::DisplayRole).toString(), "pdf");
        QCOMPARE(model->data(model->index(pdfRow, 2), Qt::DisplayRole).toString(),
                 QString::number(m_pdf.size()));
        const QString pdfEntry = model->row(pdfRow).filePath;
        QVERIFY(BrowserCache::isEntryFileName(QFileInfo(pdfEntry).fileName()));
        QCOMPARE(model->data(model->index(pageRow, 1), Qt::DisplayRole).toString(), "html");
        QCOMPARE(model->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "FilePath");

        // "复制选中..." copies the documents themselves, named after their
        // addresses, decoded when the server sent them compressed.
        const QString destination = m_dir.path() + "/copies/";
        const int page2Row = rowOf(model, m_server->url("/page2.html"));
        QVERIFY(page2Row >= 0);
        selectRows(viewer, {pdfRow, page2Row});
        QString caption;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<Form_Copy_Move*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            caption = dialog->windowTitle();
            dialog->Combo1->setEditText(destination);
            dialog->执行(true);
            dialog->close();
        });
        viewer.Command6_Click();
        QCOMPARE(caption, QStringLiteral("复制文件：2 个文件..."));
        QCOMPARE(readFile(destination + "paper.pdf"), m_pdf);
        QCOMPARE(readFile(destination + "page2.html"), m_page2);
        QCOMPARE(t.dialogs->informations, QStringList{"复制文件完成！"});
        QCOMPARE(QDir(destination).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QVERIFY(QFileInfo::exists(folderList));

        // Deleting the selected row removes that entry only.
        const QString pageEntry = model->row(pageRow).entryFile;
        QVERIFY(QFileInfo::exists(pageEntry));
        selectRows(viewer, {pageRow});
        viewer.Command2_Click();
        QVERIFY(!QFileInfo::exists(pageEntry));
        QVERIFY(QFileInfo::exists(pdfEntry));
        QCOMPARE(rowOf(model, m_server->url("/page1.html")), -1);
        QVERIFY(rowOf(model, m_server->url("/paper.pdf")) >= 0);
        QVERIFY(rowOf(model, m_server->url("/page2.html")) >= 0);
        checkOutsideUntouched();

        // The browser still serves and caches pages afterwards.
        QVERIFY(load("/page1.html"));
        QTRY_VERIFY_WITH_TIMEOUT(cachedSize(m_server->url("/page1.html")) > 0, kLoadMs);
    }

    void deleteAllEmptiesTheLiveCache() {
        TestApp t;
        RegisterToolWindows(t.values->flow());
        QVERIFY(fillCache());
        fIEcache viewer(nullptr, m_home, liveFolder());
        viewer.Command1_Click();
        QVERIFY(viewer.model()->rowCount() >= 3);
        viewer.Command3_Click();
        QCOMPARE(viewer.model()->rowCount(), 0);
        QCOMPARE(viewer.Label1->text(), QStringLiteral("共有0 个文件"));
        QVERIFY(BrowserCache(liveFolder()).entries().isEmpty());
        checkOutsideUntouched();
        // The emptied cache keeps working.
        const int fetched = int(m_server->requestsFor("/paper.pdf").size());
        QVERIFY(load("/reader.html"));
        QVERIFY(m_server->waitForRequests("/paper.pdf", fetched + 1, kLoadMs));
        QTRY_COMPARE_WITH_TIMEOUT(cachedSize(m_server->url("/paper.pdf")), m_pdf.size(), kLoadMs);
    }

    void allUsersViewDeletesOnlyInsideCacheFolders() {
        TestApp t;
        QVERIFY(fillCache());
        const QString bobCache = m_bob + "/" + m_relative;
        const QString e1 = WriteCacheEntryFile(QDir().mkpath(bobCache) ? bobCache : QString(),
                                               "http://example.org/a.pdf", "%PDF-a");
        const QString e2 = WriteCacheEntryFile(bobCache, "http://example.org/b.html", "<html>");
        QVERIFY(!e1.isEmpty() && !e2.isEmpty());
        writeFile(bobCache + "/notes.txt", "kept");
        writeFile(bobCache + "/index", "index");
        writeFile(bobCache + "/sub/inner/deep.bin", "deep");
        QDir().mkpath(bobCache + "/sub/empty");
        QVERIFY(QFile::link(m_outside + "/keep.pdf", bobCache + "/link.pdf"));
        QVERIFY(QFile::link(m_outside + "/folder", bobCache + "/linkdir"));

        fIEcache viewer(nullptr, m_home, liveFolder());
        viewer.Command7_Click();
        QCOMPARE(viewer.ListView1Tag, QStringLiteral("所有缓存"));
        QStringList users;
        for (int i = 0; i < viewer.ListView2->topLevelItemCount(); ++i)
            users << viewer.ListView2->topLevelItem(i)->text(0);
        users.sort();
        QCOMPARE(users, QStringList({"alice", "bob"}));
        QStringList subfolders;
        for (int i = 0; i < viewer.ListView3->topLevelItemCount(); ++i)
            subfolders << viewer.ListView3->topLevelItem(i)->text(0);
        QVERIFY(subfolders.contains(bobCache + "/sub"));
        QVERIFY(subfolders.contains(bobCache + "/sub/inner"));
        QVERIFY(subfolders.indexOf(bobCache + "/sub") <
                subfolders.indexOf(bobCache + "/sub/inner"));
        QVERIFY(!subfolders.contains(bobCache + "/linkdir"));
        CacheListModel* model = viewer.model();
        QStringList bobFiles;
        for (const CacheRow& row : model->rows()) {
            QVERIFY(!row.filePath.startsWith(m_outside));
            QVERIFY(!row.filePath.contains("link"));
            if (row.text == QStringLiteral("用户:bob"))
                bobFiles << row.filePath.mid(bobCache.size() + 1);
        }
        bobFiles.sort();
        QCOMPARE(bobFiles, QStringList({QFileInfo(e1).fileName(), QFileInfo(e2).fileName(), "index",
                                        "notes.txt", "sub/inner/deep.bin"}));
        QCOMPARE(viewer.Label1->text(), QStringLiteral("共有%1 个文件").arg(model->rowCount()));

        // A path that leaves the cache folders is never deleted, even when asked.
        viewer.强制删除(m_outside + "/keep.pdf");
        viewer.强制删除(bobCache + "/link.pdf");
        viewer.强制删除(bobCache + "/linkdir/inner.pdf");
        viewer.强制删除(bobCache + "/../../../../../../outside/keep.pdf");
        checkOutsideUntouched();
        QVERIFY(QFileInfo(bobCache + "/link.pdf").isSymLink());

        viewer.Command3_Click();
        QVERIFY(!QFileInfo::exists(e1));
        QVERIFY(!QFileInfo::exists(e2));
        QVERIFY(!QFileInfo::exists(bobCache + "/index"));
        QVERIFY(!QFileInfo::exists(bobCache + "/sub")); // emptied folders go
        QCOMPARE(readFile(bobCache + "/notes.txt"), QByteArray("kept"));
        QVERIFY(QFileInfo(bobCache + "/link.pdf").isSymLink());
        QVERIFY(QFileInfo(bobCache + "/linkdir").isSymLink());
        checkOutsideUntouched();
        // The running browser's own index stays; its entries are gone.
        QVERIFY(QFileInfo::exists(liveFolder() + "/index"));
        QVERIFY(BrowserCache(liveFolder()).entries().isEmpty());
        // The view was read again: only what stays is listed.
        QStringList left;
        for (const CacheRow& row : model->rows())
            left << QFileInfo(row.filePath).fileName();
        QVERIFY(left.contains("notes.txt"));
        QVERIFY(!left.contains(QFileInfo(e1).fileName()));
    }

    void entriesWithoutBodyAndSorting() {
        TestApp t;
        QTemporaryDir folder;
        const QString nine =
            WriteCacheEntryFile(folder.path(), "http://h/nine.pdf", QByteArray(9, 'x'));
        WriteCacheEntryFile(folder.path(), "http://h/ten.html?x=1#y", QByteArray(10, 'x'));
        WriteCacheEntryFile(folder.path(), "http://h/b100", QByteArray(100, 'x'));
        // An entry still being written: header and key only.
        const QString partial = WriteCacheEntryFile(folder.path(), "http://h/partial.pdf", "x");
        QFile::resize(partial, 24 + 4 + 20);
        writeFile(folder.path() + "/index", "not an entry");
        writeFile(folder.path() + "/0123456789abcdef_0", "not an entry either");
        fIEcache viewer(nullptr, m_home, folder.path());
        viewer.Command1_Click();
        CacheListModel* model = viewer.model();
        QCOMPARE(model->rowCount(), 4);
        const int partialRow = rowOf(model, "http://h/partial.pdf");
        QVERIFY(partialRow >= 0);
        QVERIFY(model->row(partialRow).filePath.isEmpty());
        QVERIFY(model->data(model->index(partialRow, 2), Qt::DisplayRole).toString().isEmpty());
        QCOMPARE(model->row(rowOf(model, "http://h/ten.html?x=1#y")).type, "html");
        QCOMPARE(model->row(rowOf(model, "http://h/b100")).type, "");
        QCOMPARE(model->row(rowOf(model, "http://h/nine.pdf")).filePath, nine);

        const auto column = [&](int c) {
            QStringList cells;
            for (int i = 0; i < model->rowCount(); ++i)
                cells << model->data(model->index(i, c), Qt::DisplayRole).toString();
            return cells;
        };
        QHeaderView* header = viewer.ListView1->header();
        emit header->sectionClicked(2); // first click: descending
        QCOMPARE(column(2), QStringList({"100", "10", "9", ""}));
        emit header->sectionClicked(2);
        QCOMPARE(column(2), QStringList({"", "9", "10", "100"}));
        emit header->sectionClicked(0); // the order is shared: descending again
        QCOMPARE(column(0), QStringList({"http://h/ten.html?x=1#y", "http://h/partial.pdf",
                                         "http://h/nine.pdf", "http://h/b100"}));
    }

    void cookieRowsSurviveDeletion() {
        TestApp t;
        QTemporaryDir folder;
        const QString cookie =
            WriteCacheEntryFile(folder.path(), "http://h/setCookie.php", "<html>");
        const QString plain = WriteCacheEntryFile(folder.path(), "http://h/plain.html", "<html>");
        fIEcache viewer(nullptr, m_home, folder.path());
        viewer.Command1_Click();
        viewer.Command3_Click();
        QVERIFY(QFileInfo::exists(cookie));
        QVERIFY(!QFileInfo::exists(plain));
        QCOMPARE(viewer.model()->rowCount(), 1);
    }

    void clearingFromBothMainWindows() {
        TestApp t;
        RegisterToolWindows(t.values->flow());
        QVERIFY(fillCache());
        ClearBrowserCache(true);
        QCOMPARE(t.dialogs->informations, QStringList{"IE缓存清空完毕！"});
        QVERIFY(BrowserCache(liveFolder()).entries().isEmpty());
        QVERIFY(!t.values->flow().IsFormLoaded("fIEcache"));
        checkOutsideUntouched();

        QVERIFY(load("/page2.html"));
        QTRY_VERIFY_WITH_TIMEOUT(cachedSize(m_server->url("/page2.html")) > 0, kLoadMs);
        {
            fFileDownload downloads;
            QVERIFY(downloads.menu清空IE浏览器缓存->isEnabled());
            downloads.menu清空IE浏览器缓存->trigger();
        }
        QCOMPARE(t.dialogs->informations.size(), 2);
        QVERIFY(BrowserCache(liveFolder()).entries().isEmpty());
    }

    void searchWindowShowsViewerModally() {
        TestApp t;
        RegisterToolWindows(t.values->flow());
        fWebSearch search;
        QString shown;
        bool modal = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* w = QApplication::activeModalWidget();
            QVERIFY(w);
            shown = w->objectName();
            modal = w->isModal();
            w->close();
        });
        search.menu查看IE浏览器缓存->trigger();
        QCOMPARE(shown, QStringLiteral("fIEcache"));
        QVERIFY(modal);
        QTRY_VERIFY(!t.values->flow().IsFormLoaded("fIEcache"));
    }

    // --- One operation at a time; links in other users' homes; copies ---

    void secondOperationDuringClearingIsRefused() {
        TestApp t;
        auto dialogs = std::make_unique<ClearingDialogs>();
        ClearingDialogs* said = dialogs.get();
        t.values->setDialogs(std::move(dialogs));
        const QString home = t.tempPath() + "/home/alice";
        const QString cache = home + "/" + m_relative;
        QVERIFY(QDir().mkpath(cache));
        for (int i = 0; i < 3000; ++i)
            QVERIFY(!WriteCacheEntryFile(cache, QStringLiteral("http://h/%1.pdf").arg(i), "%PDF")
                         .isEmpty());
        said->entriesLeft = [cache] { return BrowserCache(cache).entries().size(); };
        t.values->flow().registerWindow(
            WindowNames::IEcache, [home, cache] { return new fIEcache(nullptr, home, cache); });

        // While the clearing runs (it processes events between slices), the
        // viewer is opened and the clearing clicked again, from both windows.
        fWebSearch search;
        fFileDownload downloads;
        bool busyThen = false;
        QTimer::singleShot(0, this, [&] {
            auto* viewer = qobject_cast<fIEcache*>(t.values->flow().find("fIEcache"));
            busyThen = viewer && viewer->cacheOperationRunning() && viewer->isHidden();
            search.menu查看IE浏览器缓存->trigger();
            downloads.menu清空IE浏览器缓存->trigger();
        });
        search.menu清空IE浏览器缓存->trigger();
        QVERIFY(busyThen);
        QCOMPARE(said->errors,
                 QStringList({"IE缓存正在处理中，请稍后再试！", "IE缓存正在处理中，请稍后再试！"}));
        QCOMPARE(said->informations, QStringList{"IE缓存清空完毕！"});
        QCOMPARE(said->leftAtMessage, QList<qsizetype>{0});
        QVERIFY(!t.values->flow().IsFormLoaded("fIEcache"));
        // Afterwards the viewer opens again.
        QTimer::singleShot(0, this, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                w->close();
        });
        ShowBrowserCacheViewer(nullptr);
        QCOMPARE(said->errors.size(), 2);
    }

    void linksInOtherHomesAreNotFollowed_data() {
        QTest::addColumn<QString>("linkAt");    // the part of bob's path that is a link
        QTest::addColumn<bool>("afterListing"); // put there after the view was listed
        QTest::newRow("cache folder") << "cache folder" << false;
        QTest::newRow("higher in the path") << "higher" << false;
        QTest::newRow("cache folder, after listing") << "cache folder" << true;
        QTest::newRow("higher, after listing") << "higher" << true;
    }
    void linksInOtherHomesAreNotFollowed() {
        QFETCH(QString, linkAt);
        QFETCH(bool, afterListing);
        TestApp t;
        const QString root = t.tempPath() + "/home";
        const QString alice = root + "/alice";
        const QString aliceCache = alice + "/" + m_relative;
        QVERIFY(QDir().mkpath(aliceCache));
        const QString mine = WriteCacheEntryFile(aliceCache, "http://h/mine.pdf", "%PDF-mine");
        // The files of a folder alice may write: what bob's links point at.
        const QString victim = t.tempPath() + "/alice-documents";
        const QString victimCache = victim + "/" + m_relative.section('/', 1);
        QVERIFY(QDir().mkpath(victimCache + "/sub"));
        writeFile(victim + "/thesis.pdf", "thesis");
        writeFile(victimCache + "/chapter.pdf", "chapter");
        writeFile(victimCache + "/sub/figure.png", "figure");
        const QString entryThere = WriteCacheEntryFile(victimCache, "http://h/x.pdf", "%PDF-x");
        const auto victimFiles = [&] {
            QStringList files;
            QString folder = victim;
            ListFiles(folder, files, true);
            files.sort();
            return files;
        };
        const QStringList before = victimFiles();
        QCOMPARE(before.size(), 4);

        const QString bob = root + "/bob";
        const QString bobTop = bob + "/" + m_relative.section('/', 0, 0); // bob's ".local"
        const QString bobCache = bob + "/" + m_relative;
        const auto plantLinks = [&] {
            if (linkAt == "cache folder") {
                QVERIFY(QDir().mkpath(QFileInfo(bobCache).absolutePath()));
                QVERIFY(QFile::link(victimCache, bobCache));
            } else {
                QVERIFY(QDir().mkpath(bob));
                QVERIFY(QFile::link(victim, bobTop));
            }
        };
        if (afterListing) {
            // Listed as real folders with files of the same names...
            QVERIFY(QDir().mkpath(bobCache + "/sub"));
            writeFile(bobCache + "/chapter.pdf", "bob's");
            writeFile(bobCache + "/sub/figure.png", "bob's");
            WriteCacheEntryFile(bobCache, "http://h/x.pdf", "%PDF-bob");
        } else {
            plantLinks();
        }

        fIEcache viewer(nullptr, alice, aliceCache);
        viewer.Command7_Click();
        QStringList users;
        for (int i = 0; i < viewer.ListView2->topLevelItemCount(); ++i)
            users << viewer.ListView2->topLevelItem(i)->text(0);
        QCOMPARE(users.contains("bob"), afterListing);
        QVERIFY(users.contains("alice"));
        if (afterListing) {
            // ...then swapped for links before the deletion.
            QVERIFY(QDir(linkAt == "cache folder" ? bobCache : bobTop).removeRecursively());
            plantLinks();
        }
        viewer.Command3_Click();
        QCOMPARE(victimFiles(), before);
        QVERIFY(QFileInfo::exists(entryThere));
        QVERIFY(!QFileInfo::exists(mine)); // alice's own cache was emptied

        // The clearing does no more.
        t.values->flow().registerWindow(WindowNames::IEcache, [alice, aliceCache] {
            return new fIEcache(nullptr, alice, aliceCache);
        });
        ClearBrowserCache(true);
        QCOMPARE(t.dialogs->informations, QStringList{"IE缓存清空完毕！"});
        QCOMPARE(victimFiles(), before);
    }

    void allUsersViewCopiesDocuments() {
        TestApp t;
        const QString folderList = t.tempPath() + "/SaveList.dat";
        t.values->flow().registerWindow(WindowNames::CopyMove, [folderList] {
            return new Form_Copy_Move(nullptr, folderList);
        });
        const QString alice = t.tempPath() + "/home/alice";
        const QString aliceCache = alice + "/" + m_relative;
        const QString bobCache = t.tempPath() + "/home/bob/" + m_relative;
        QVERIFY(QDir().mkpath(aliceCache) && QDir().mkpath(bobCache));
        const QByteArray page = QByteArray("<p>bob's page</p>").repeated(400);
        const QString zipped = QDir(bobCache).filePath("page.gz");
        {
            // A gzip body as a server sends it.
            writeFile(zipped, QByteArray());
            gzFile gz = gzopen(QFile::encodeName(zipped).constData(), "wb");
            QVERIFY(gz);
            gzwrite(gz, page.constData(), unsigned(page.size()));
            gzclose(gz);
        }
        const QString pageEntry =
            WriteCacheEntryFile(bobCache, "http://example.org/d/page.html?v=2", readFile(zipped),
                                "text/html", "gzip", true);
        QFile::remove(zipped);
        const QString pdfEntry =
            WriteCacheEntryFile(bobCache, "http://example.org/paper.pdf", "%PDF-bob's paper");
        writeFile(bobCache + "/notes.dat", "not an entry");

        fIEcache viewer(nullptr, alice, aliceCache);
        viewer.Command7_Click();
        QList<int> rows;
        for (int i = 0; i < viewer.model()->rowCount(); ++i) {
            if (viewer.model()->row(i).text == QStringLiteral("用户:bob"))
                rows << i;
        }
        QCOMPARE(rows.size(), 3);
        selectRows(viewer, rows);
        const QString destination = t.tempPath() + "/copies/";
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<Form_Copy_Move*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->Combo1->setEditText(destination);
            dialog->执行(true);
            dialog->close();
        });
        viewer.Command6_Click();
        QCOMPARE(QDir(destination).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({"notes.dat", "page.html", "paper.pdf"}));
        QCOMPARE(readFile(destination + "page.html"), page);
        QCOMPARE(readFile(destination + "paper.pdf"), QByteArray("%PDF-bob's paper"));
        QCOMPARE(t.dialogs->informations, QStringList{"复制文件完成！"});
        QVERIFY(QFileInfo::exists(pageEntry) && QFileInfo::exists(pdfEntry));
    }

    // --- FIFOs under entry names: never waited on, never deleted ---

    void fifoInOwnCache() {
        TestApp t;
        const QString alice = t.tempPath() + "/home/alice";
        const QString cache = alice + "/" + m_relative;
        QVERIFY(QDir().mkpath(cache));
        const QString entry = WriteCacheEntryFile(cache, "http://h/paper.pdf", "%PDF-paper");
        PlantedFifo fifo(cache + "/0123456789abcdef_0");
        QVERIFY(fifo.isValid());
        t.values->flow().registerWindow(
            WindowNames::IEcache, [alice, cache] { return new fIEcache(nullptr, alice, cache); });

        fIEcache viewer(nullptr, alice, cache);
        viewer.Command1_Click(); // "查看我的缓存"
        QCOMPARE(viewer.model()->rowCount(), 1);
        QCOMPARE(viewer.model()->row(0).text, QStringLiteral("http://h/paper.pdf"));
        // "清空IE浏览器缓存"
        ClearBrowserCache(true);
        QCOMPARE(t.dialogs->informations, QStringList{"IE缓存清空完毕！"});
        QVERIFY(!QFileInfo::exists(entry));
        // Not an entry: not the viewer's to delete.
        QVERIFY(fifo.stands());
        QVERIFY(!fifo.waited());
    }

    void fifoInAnotherUsersCache() {
        TestApp t;
        const QString folderList = t.tempPath() + "/SaveList.dat";
        t.values->flow().registerWindow(WindowNames::CopyMove, [folderList] {
            return new Form_Copy_Move(nullptr, folderList);
        });
        const QString alice = t.tempPath() + "/home/alice";
        const QString aliceCache = alice + "/" + m_relative;
        const QString bobCache = t.tempPath() + "/home/bob/" + m_relative;
        QVERIFY(QDir().mkpath(aliceCache) && QDir().mkpath(bobCache));
        const QString paper =
            WriteCacheEntryFile(bobCache, "http://example.org/paper.pdf", "%PDF-bob's paper");
        const QString later =
            WriteCacheEntryFile(bobCache, "http://example.org/later.pdf", "%PDF-later");
        PlantedFifo planted(bobCache + "/0123456789abcdef_0");
        QVERIFY(planted.isValid());

        fIEcache viewer(nullptr, alice, aliceCache);
        viewer.Command7_Click();
        QList<int> rows;
        QStringList listed;
        for (int i = 0; i < viewer.model()->rowCount(); ++i) {
            if (viewer.model()->row(i).text == QStringLiteral("用户:bob")) {
                rows << i;
                listed << viewer.model()->row(i).filePath;
            }
        }
        listed.sort();
        QStringList expected{paper, later};
        expected.sort();
        QCOMPARE(listed, expected);
        // After the listing bob puts a FIFO where an entry was.
        QVERIFY(QFile::remove(later));
        PlantedFifo swapped(later);
        QVERIFY(swapped.isValid());

        selectRows(viewer, rows);
        const QString destination = t.tempPath() + "/copies/";
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<Form_Copy_Move*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->Combo1->setEditText(destination);
            dialog->执行(true);
            dialog->close();
        });
        viewer.Command6_Click(); // "复制选中..."
        QCOMPARE(
            QDir(destination)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
            QStringList{"paper.pdf"});
        QCOMPARE(readFile(destination + "paper.pdf"), QByteArray("%PDF-bob's paper"));
        QCOMPARE(t.dialogs->informations, QStringList{"复制文件完成！"});

        // "全部删除" takes bob's entry and leaves both FIFOs.
        viewer.Command3_Click();
        QVERIFY(!QFileInfo::exists(paper));
        QVERIFY(planted.stands() && swapped.stands());
        QVERIFY(!planted.waited() && !swapped.waited());
    }
};

QTEST_MAIN(TestCacheViewer)
#include "tst_cacheviewer.moc"
