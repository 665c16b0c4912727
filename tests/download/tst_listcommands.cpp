#include "TestApp.h"
#include "download/ListCommands.h"
#include "download/Naming.h"
#include "download/Scheduler.h"
#include "download/fFileDownload.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <map>

Q_DECLARE_METATYPE(ItemState)

namespace {

// Records what the window asked of the desktop; answers with `succeed`.
class RecordingDesktop : public DesktopShell {
public:
    QStringList opened;
    QStringList shown;
    QStringList edited;
    QStringList clipboard;
    bool succeed = true;

    bool openPath(const QString& path) override {
        opened << path;
        return succeed;
    }
    bool showInFolder(const QString& path) override {
        shown << path;
        return succeed;
    }
    bool openInTextEditor(const QString& path) override {
        edited << path;
        return succeed;
    }
    void setClipboardText(const QString& text) override { clipboard << text; }
};

RecordingDesktop* recordDesktop(TestApp& t) {
    auto desktop = std::make_unique<RecordingDesktop>();
    RecordingDesktop* r = desktop.get();
    t.values->setDesktop(std::move(desktop));
    return r;
}

// Adds a row with the given cells and returns its position.
int addRow(fFileDownload& w, const QString& key, const QString& name, const QString& type,
           ItemState state, const QString& size = QString(), const QString& received = QString(),
           const QString& percent = QString(), const QString& folder = QString()) {
    DownloadListModel* m = w.list();
    m->AddDownloadItem(key, name, type, folder, QStringLiteral("http://ref/") + name);
    const int row = m->findKey(key);
    m->setState(row, state);
    m->setProgress(row, size, received, percent);
    // A row that shows a whole transfer stands for one whose file its
    // transfer put in place: the only file row commands may delete.
    m->setPlaced(row, percent == QStringLiteral("100%"));
    return row;
}

void writeFile(const QString& path, qint64 bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(QByteArray(bytes, 'x')) == bytes);
}

QAction* action(fFileDownload& w, const QString& name) {
    auto* a = w.findChild<QAction*>(name);
    if (!a)
        qFatal("no action %s", qPrintable(name));
    return a;
}

QStringList column(const fFileDownload& w, int c) {
    QStringList out;
    for (int i = 0; i < w.list()->count(); ++i)
        out << w.list()->data(w.list()->index(i, c)).toString();
    return out;
}

void select(fFileDownload& w, int row) {
    w.ListView3->selectionModel()->select(w.list()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

const QString Refused = QStringLiteral("停止下载以后，才能执行此操作！");
} // namespace

class TestListCommands : public QObject {
    Q_OBJECT
private slots:
    // ------------------------------------------------------------ re-download

    void redownloadSelection_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<ItemState>("state");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<bool>("requeued");
        QTest::addColumn<QString>("typeAfter");

        const QString sel = QStringLiteral("menu重新下载选中项");
        const QString err = QStringLiteral("menu重新下载出错项");
        const QString web = QStringLiteral("menu重新下载文件类型为HTM和HTML项");
        const QString both = QStringLiteral("menu重新下载出错项和网页项");
        using S = ItemState;
        // clang-format off
        QTest::newRow("selected finished pdf")   << sel << S::Finished    << "pdf"  << true  << true  << "pdf";
        QTest::newRow("selected failed html")    << sel << S::Failed      << "html" << true  << true  << "xxx";
        QTest::newRow("selected failed xml")     << sel << S::Failed      << "xml"  << true  << true  << "xml";
        QTest::newRow("selected waiting")        << sel << S::Waiting     << "pdf"  << true  << false << "pdf";
        QTest::newRow("selected downloading")    << sel << S::Downloading << "pdf"  << true  << false << "pdf";
        QTest::newRow("unselected finished")     << sel << S::Finished    << "pdf"  << false << false << "pdf";
        QTest::newRow("failed pdf")              << err << S::Failed      << "pdf"  << false << true  << "pdf";
        QTest::newRow("failed HTM")              << err << S::Failed      << "HTM"  << false << true  << "xxx";
        QTest::newRow("failed xml keeps type")   << err << S::Failed      << "xml"  << false << true  << "xml";
        QTest::newRow("error: finished html")    << err << S::Finished    << "html" << false << false << "html";
        QTest::newRow("error: waiting")          << err << S::Waiting     << "pdf"  << false << false << "pdf";
        QTest::newRow("web finished html")       << web << S::Finished    << "html" << false << true  << "xxx";
        QTest::newRow("web failed Htm")          << web << S::Failed      << "Htm"  << false << true  << "xxx";
        QTest::newRow("web finished xml")        << web << S::Finished    << "xml"  << false << true  << "xxx";
        QTest::newRow("web failed pdf")          << web << S::Failed      << "pdf"  << false << false << "pdf";
        QTest::newRow("web waiting html")        << web << S::Waiting     << "html" << false << false << "html";
        QTest::newRow("web downloading htm")     << web << S::Downloading << "htm"  << false << false << "htm";
        QTest::newRow("both failed pdf")         << both << S::Failed     << "pdf"  << false << true  << "pdf";
        QTest::newRow("both finished html")      << both << S::Finished   << "html" << false << true  << "xxx";
        QTest::newRow("both finished xml")       << both << S::Finished   << "xml"  << false << false << "xml";
        QTest::newRow("both failed xml")         << both << S::Failed     << "xml"  << false << true  << "xml";
        QTest::newRow("both waiting htm")        << both << S::Waiting    << "htm"  << false << false << "htm";
        QTest::newRow("both finished pdf")       << both << S::Finished   << "pdf"  << false << false << "pdf";
        // clang-format on
    }
    void redownloadSelection() {
        QFETCH(QString, command);
        QFETCH(ItemState, state);
        QFETCH(QString, type);
        QFETCH(bool, selected);
        QFETCH(bool, requeued);
        QFETCH(QString, typeAfter);

        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        const int row = addRow(w, QStringLiteral("http://a/1|http://b/1|http://c/1"),
                               QStringLiteral("paper"), type, state, QStringLiteral("512"),
                               QStringLiteral("512"), QStringLiteral("100%"), folder);
        // A bystander that no rule selects.
        addRow(w, QStringLiteral("http://a/2"), QStringLiteral("other"), QStringLiteral("pdf"),
               ItemState::Waiting);
        const QString file = folder + QStringLiteral("paper.") + type;
        writeFile(file, 512);
        if (selected)
            select(w, row);

        action(w, command)->trigger();

        const DownloadItem& it = w.list()->item(row);
        QCOMPARE(it.type, typeAfter);
        if (requeued) {
            QCOMPARE(it.state, ItemState::Waiting);
            QVERIFY(it.notYetDownloaded());
            QCOMPARE(it.key, QStringLiteral("http://c/1|http://a/1|http://b/1"));
            // A web page goes; any other file stays until a new one takes its place.
            QCOMPARE(QFile::exists(file), typeAfter != QLatin1String("xxx"));
        } else {
            QCOMPARE(it.state, state);
            QCOMPARE(it.size, QStringLiteral("512"));
            QCOMPARE(it.key, QStringLiteral("http://a/1|http://b/1|http://c/1"));
            QVERIFY(QFile::exists(file));
        }
        QCOMPARE(w.list()->item(1).key, QStringLiteral("http://a/2"));
        QCOMPARE(w.list()->item(1).state, ItemState::Waiting);
    }

    void failedHtmlRowLosesItsOwnFileOnly() {
        // "出错项" on a failed html row deletes the name.html it put in place;
        // a name.xxx it did not write is not its to delete.
        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        addRow(w, QStringLiteral("a|b|c"), QStringLiteral("name"), QStringLiteral("html"),
               ItemState::Failed, QStringLiteral("10"), QStringLiteral("10"),
               QStringLiteral("100%"), folder);
        writeFile(folder + QStringLiteral("name.html"), 10);
        writeFile(folder + QStringLiteral("name.xxx"), 10);
        w.menu重新下载出错项->trigger();
        const DownloadItem& it = w.list()->item(0);
        QCOMPARE(it.key, QStringLiteral("c|a|b"));
        QCOMPARE(it.type, QStringLiteral("xxx"));
        QCOMPARE(it.state, ItemState::Waiting);
        QVERIFY(it.notYetDownloaded());
        QVERIFY(!QFile::exists(folder + QStringLiteral("name.html")));
        QVERIFY(QFile::exists(folder + QStringLiteral("name.xxx")));
    }

    void sizeThreshold_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("received");
        QTest::addColumn<ItemState>("state");
        QTest::addColumn<std::optional<QString>>("answer");
        QTest::addColumn<bool>("requeued");
        using S = ItemState;
        using A = std::optional<QString>;
        // clang-format off
        QTest::newRow("complete and smaller")  << "512"   << "512"   << S::Finished << A("1000")   << true;
        QTest::newRow("answer with spaces")    << "512"   << "512"   << S::Failed   << A(" 1000 ") << true;
        QTest::newRow("commas in the cells")   << "1,512" << "1512"  << S::Finished << A("2000")   << true;
        QTest::newRow("incomplete")            << "512"   << "300"   << S::Finished << A("1000")   << false;
        QTest::newRow("size unknown")          << "未知"  << "512"   << S::Finished << A("1000")   << false;
        QTest::newRow("equal to the limit")    << "1000"  << "1000"  << S::Finished << A("1000")   << false;
        QTest::newRow("larger")                << "5000"  << "5000"  << S::Finished << A("1000")   << false;
        QTest::newRow("waiting row")           << "512"   << "512"   << S::Waiting  << A("1000")   << false;
        QTest::newRow("answer not a number")   << "512"   << "512"   << S::Finished << A("abc")    << false;
        QTest::newRow("empty answer")          << "512"   << "512"   << S::Finished << A("")       << false;
        QTest::newRow("cancelled")             << "512"   << "512"   << S::Finished << A()         << false;
        QTest::newRow("single precision")      << "16777216" << "16777216" << S::Finished << A("16777217") << false;
        // clang-format on
    }
    void sizeThreshold() {
        QFETCH(QString, size);
        QFETCH(QString, received);
        QFETCH(ItemState, state);
        QFETCH(std::optional<QString>, answer);
        QFETCH(bool, requeued);
        TestApp t;
        fFileDownload w;
        addRow(w, QStringLiteral("a|b"), QStringLiteral("n"), QStringLiteral("pdf"), state, size,
               received, QStringLiteral("100%"));
        t.dialogs->inputAnswers.push_back(answer);
        w.menu重新下载文件大小小于指定数字的项->trigger();
        QCOMPARE(t.dialogs->inputPrompts, QStringList{QStringLiteral("请输入数字：")});
        QCOMPARE(w.list()->item(0).state == ItemState::Waiting && state != ItemState::Waiting,
                 requeued);
        QCOMPARE(w.list()->item(0).key, requeued ? QStringLiteral("b|a") : QStringLiteral("a|b"));
    }

    // ------------------------------------------------------------ sorting

    void headerSort_data() {
        QTest::addColumn<int>("col");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QStringList>("ascending");
        QTest::addColumn<QStringList>("descending");
        QTest::newRow("sizes by value")
            << int(DownloadListModel::ColSize) << QStringList{"10", "9", "100"}
            << QStringList{"9", "10", "100"} << QStringList{"100", "10", "9"};
        QTest::newRow("sizes with texts and empties")
            << int(DownloadListModel::ColSize) << QStringList{"未知", "2048", "", "30"}
            << QStringList{"", "30", "2048", "未知"} << QStringList{"未知", "2048", "30", ""};
        QTest::newRow("received by value")
            << int(DownloadListModel::ColReceived) << QStringList{"1000000", "99999", "5"}
            << QStringList{"5", "99999", "1000000"} << QStringList{"1000000", "99999", "5"};
        QTest::newRow("percent by value, texts kept")
            << int(DownloadListModel::ColPercent)
            << QStringList{"100%", "9%", "大文件，跳过", "45%"}
            << QStringList{"9%", "45%", "100%", "大文件，跳过"}
            << QStringList{"大文件，跳过", "100%", "45%", "9%"};
        QTest::newRow("names as text, letter case ignored")
            << int(DownloadListModel::ColName) << QStringList{"b", "C", "a"}
            << QStringList{"a", "b", "C"} << QStringList{"C", "b", "a"};
        QTest::newRow("type column as text")
            << int(DownloadListModel::ColType) << QStringList{"pdf", "html", "doc"}
            << QStringList{"doc", "html", "pdf"} << QStringList{"pdf", "html", "doc"};
    }
    void headerSort() {
        QFETCH(int, col);
        QFETCH(QStringList, cells);
        QFETCH(QStringList, ascending);
        QFETCH(QStringList, descending);
        TestApp t;
        fFileDownload w;
        for (int i = 0; i < cells.size(); ++i) {
            w.list()->AddDownloadItem(QStringLiteral("http://k/%1").arg(i),
                                      QStringLiteral("n%1").arg(i), QStringLiteral("pdf"),
                                      QStringLiteral("f%1").arg(i), QString());
            w.list()->setCell(i, col, cells.at(i));
        }
        QHeaderView* header = w.ListView3->header();
        emit header->sectionClicked(col);
        QCOMPARE(column(w, col), ascending);
        emit header->sectionClicked(col);
        QCOMPARE(column(w, col), descending);
        // The order is shared by every column: a click elsewhere flips it again.
        emit header->sectionClicked(DownloadListModel::ColFolder);
        emit header->sectionClicked(col);
        QCOMPARE(column(w, col), descending);
        // Keys stay with their rows.
        for (int i = 0; i < w.list()->count(); ++i) {
            const int original = w.list()->item(i).key.section(QLatin1Char('/'), -1).toInt();
            QCOMPARE(w.list()->item(i).folder, QStringLiteral("f%1").arg(original));
            QCOMPARE(w.list()->findKey(w.list()->item(i).key), i);
        }
        QVERIFY(t.dialogs->all().isEmpty());
    }

    // ------------------------------------------------------------ refusals

    void refusedWhileRunning_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("byBusy");
        for (bool busy : {false, true}) {
            const char* how = busy ? "busy" : "timer";
            for (const char* name : {"menu随机排序列表", "menu清除选中项", "menu清除全部出错项",
                                     "menu清除完成项", "menu清空"})
                QTest::addRow("%s %s", name, how) << QString::fromUtf8(name) << Refused << busy;
            QTest::addRow("header %s", how)
                << QString() << QStringLiteral("停止下载后方可排序！") << busy;
        }
    }
    void refusedWhileRunning() {
        QFETCH(QString, command);
        QFETCH(QString, message);
        QFETCH(bool, byBusy);
        TestApp t;
        fFileDownload w;
        addRow(w, "http://a/1", "b", "pdf", ItemState::Finished, "9", "9", "100%");
        addRow(w, "http://a/2", "a", "pdf", ItemState::Failed, "10", "10", "100%");
        addRow(w, "http://a/3", "c", "pdf", ItemState::Downloading, "1", "1", "10%");
        w.SelectAllRows();
        if (byBusy) {
            w.Busy = true;
        } else {
            // The scheduler timer is on; its ticks must not start transfers here.
            w.Timer_Down->blockSignals(true);
            w.Timer_Down->start();
        }
        const QStringList before = column(w, DownloadListModel::ColName);
        if (command.isEmpty())
            emit w.ListView3->header()->sectionClicked(DownloadListModel::ColName);
        else
            action(w, command)->trigger();
        QCOMPARE(t.dialogs->informations, QStringList{message});
        QVERIFY(t.dialogs->questions.isEmpty());
        QCOMPARE(column(w, DownloadListModel::ColName), before);
        QCOMPARE(w.Label1->text(), QStringLiteral("3条"));
        w.Timer_Down->stop();
    }

    void rightClickMenuFollowsDownloadState() {
        TestApp t;
        fFileDownload w;
        w.Busy = true;
        w.updateListMenuStates();
        QVERIFY(!w.menu清除->menuAction()->isEnabled());
        QVERIFY(!w.menu清空->isEnabled());
        QVERIFY(!w.menu全选专利列表->isEnabled());
        QVERIFY(w.menu停止下载->isEnabled());
        w.Busy = false;
        w.updateListMenuStates();
        QVERIFY(w.menu清除->menuAction()->isEnabled());
        QVERIFY(w.menu清空->isEnabled());
        QVERIFY(w.menu全选专利列表->isEnabled());
        QVERIFY(!w.menu停止下载->isEnabled());
    }

    // ------------------------------------------------------------ clear, delete

    void clearCommands() {
        TestApp t;
        fFileDownload w;
        addRow(w, "k1", "done", "pdf", ItemState::Finished, "1", "1", "100%");
        addRow(w, "k2", "skipped", "pdf", ItemState::Finished, "1", "1", "已存在，跳过");
        addRow(w, "k3", "bad", "pdf", ItemState::Failed);
        addRow(w, "k4", "wait", "pdf", ItemState::Waiting);
        addRow(w, "k5", "wait2", "pdf", ItemState::Waiting);
        QCOMPARE(w.Label1->text(), QStringLiteral("5条"));

        w.menu清除完成项->trigger();
        QCOMPARE(column(w, 0), (QStringList{"bad", "wait", "wait2"}));
        QCOMPARE(w.Label1->text(), QStringLiteral("3条"));
        w.menu清除全部出错项->trigger();
        QCOMPARE(column(w, 0), (QStringList{"wait", "wait2"}));
        QCOMPARE(w.Label1->text(), QStringLiteral("2条"));
        select(w, 1);
        w.menu清除选中项->trigger();
        QCOMPARE(column(w, 0), QStringList{"wait"});
        QCOMPARE(w.Label1->text(), QStringLiteral("1条"));
        QCOMPARE(w.list()->findKey("k4"), 0);

        t.dialogs->questionAnswers = {false};
        w.menu清空->trigger();
        QCOMPARE(w.list()->count(), 1);
        w.menu清空->trigger(); // the recorder answers Yes
        QCOMPARE(t.dialogs->questions,
                 QStringList(2, QStringLiteral("您确定要清空列表的所有信息吗？")));
        QCOMPARE(w.list()->count(), 0);
        QCOMPARE(w.Label1->text(), QStringLiteral("0条"));
        // On an empty list the question is still asked.
        w.menu清空->trigger();
        QCOMPARE(t.dialogs->questions.size(), 3);
        QCOMPARE(w.Label1->text(), QStringLiteral("0条"));
    }

    void clearingKeepsFiles() {
        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        addRow(w, "k1", "done", "pdf", ItemState::Finished, "1", "1", "100%", folder);
        writeFile(folder + "done.pdf", 1);
        w.menu清除完成项->trigger();
        QCOMPARE(w.list()->count(), 0);
        QVERIFY(QFile::exists(folder + "done.pdf"));
    }

    void labelFollowsAddedRows() {
        TestApp t;
        fFileDownload w;
        for (int i = 0; i < 12; ++i)
            w.AddDownloadItem(QStringLiteral("http://a/%1").arg(i), "n", QString(), QString(),
                              QString());
        QCOMPARE(w.Label1->text(), QStringLiteral("12条"));
    }

    void deleteFileCommands_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<ItemState>("state");
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("deleted");
        using S = ItemState;
        const QString web = QStringLiteral("menu删除网页类型文件项");
        const QString err = QStringLiteral("menu删除出错项");
        // clang-format off
        QTest::newRow("web finished html") << web << S::Finished << "html" << true;
        QTest::newRow("web failed XML")    << web << S::Failed   << "XML"  << true;
        QTest::newRow("web finished pdf")  << web << S::Finished << "pdf"  << false;
        QTest::newRow("web waiting htm")   << web << S::Waiting  << "htm"  << false;
        QTest::newRow("error failed pdf")  << err << S::Failed   << "pdf"  << true;
        QTest::newRow("error finished")    << err << S::Finished << "pdf"  << false;
        // clang-format on
    }
    void deleteFileCommands() {
        QFETCH(QString, command);
        QFETCH(ItemState, state);
        QFETCH(QString, type);
        QFETCH(bool, deleted);
        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        addRow(w, "a|b", "x", type, state, "3", "3", "100%", folder);
        writeFile(folder + "x." + type, 3);
        w.Busy = true; // runs at any time
        action(w, command)->trigger();
        const DownloadItem& it = w.list()->item(0);
        QCOMPARE(QFile::exists(folder + "x." + type), !deleted);
        QCOMPARE(it.notYetDownloaded(), deleted);
        QCOMPARE(it.state, state);
        QCOMPARE(it.key, QStringLiteral("a|b"));
        QCOMPARE(w.list()->count(), 1);
    }

    // ------------------------------------------------------------ order

    void shuffleIsUniform() {
        ListShuffler shuffler(12345u);
        std::map<QList<int>, int> seen;
        const int draws = 6000;
        for (int i = 0; i < draws; ++i)
            ++seen[shuffler.order(3)];
        QCOMPARE(int(seen.size()), 6);
        for (const auto& [order, count] : seen)
            QVERIFY2(count > 850 && count < 1150, qPrintable(QString::number(count)));
        // Two generators made one after the other do not repeat each other.
        ListShuffler a;
        ListShuffler b;
        QVERIFY(a.order(30) != b.order(30));
    }

    void shuffleKeepsEveryRowWhole() {
        TestApp t;
        fFileDownload w;
        for (int i = 0; i < 50; ++i) {
            addRow(w, QStringLiteral("k%1").arg(i), QStringLiteral("n%1").arg(i), "pdf",
                   ItemState::Finished, QString::number(i), QString::number(i), "100%");
            w.list()->setBaseHref(i, QStringLiteral("Y"));
        }
        w.SelectAllRows();
        w.menu随机排序列表->trigger();
        QCOMPARE(t.dialogs->informations, QStringList{QStringLiteral("随机排序完成！")});
        QCOMPARE(w.list()->count(), 50);
        QSet<QString> keys;
        for (int i = 0; i < 50; ++i) {
            const DownloadItem& it = w.list()->item(i);
            const QString n = it.key.mid(1);
            QCOMPARE(it.name, "n" + n);
            QCOMPARE(it.size, n);
            QCOMPARE(it.baseHref, QStringLiteral("Y"));
            QCOMPARE(w.list()->findKey(it.key), i);
            keys.insert(it.key);
        }
        QCOMPARE(keys.size(), 50);
        QVERIFY(column(w, 0) != [] {
            QStringList l;
            for (int i = 0; i < 50; ++i)
                l << QStringLiteral("n%1").arg(i);
            return l;
        }());
        QVERIFY(w.ListView3->selectionModel()->selectedRows().isEmpty());
    }

    void shuffleOneRow() {
        TestApp t;
        fFileDownload w;
        addRow(w, "k", "only", "pdf", ItemState::Waiting);
        w.menu随机排序列表->trigger();
        QCOMPARE(column(w, 0), QStringList{"only"});
        QCOMPARE(t.dialogs->informations, QStringList{QStringLiteral("随机排序完成！")});
    }

    void selectAllAndNone() {
        TestApp t;
        fFileDownload w;
        for (int i = 0; i < 4; ++i)
            addRow(w, QStringLiteral("k%1").arg(i), "n", "pdf", ItemState::Waiting);
        w.menu全选专利列表->trigger();
        QCOMPARE(w.ListView3->selectionModel()->selectedRows().size(), 4);
        w.menu全不选->trigger();
        QCOMPARE(w.ListView3->selectionModel()->selectedRows().size(), 0);
    }

    void fitColumns() {
        TestApp t;
        fFileDownload w;
        addRow(w, "k", QString(300, QLatin1Char('W')), "pdf", ItemState::Waiting);
        w.ListView3->setColumnWidth(0, 10);
        w.ListView3->setColumnWidth(6, 1);
        w.menu自动列宽->trigger();
        QVERIFY(w.ListView3->columnWidth(0) > 300);
        QVERIFY(w.ListView3->columnWidth(6) >= w.ListView3->header()->sectionSizeHint(6));
    }

    // ------------------------------------------------------------ exports

    void exportNames_data() {
        QTest::addColumn<bool>("unfinishedOnly");
        QTest::addColumn<bool>("allFinished");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("all") << false << false << QByteArray("第一\r\nsecond\r\nthird\r\n");
        QTest::newRow("unfinished") << true << false << QByteArray("second\r\nthird\r\n");
        QTest::newRow("unfinished, all finished") << true << true << QByteArray();
        QTest::newRow("all, all finished")
            << false << true << QByteArray("第一\r\nsecond\r\nthird\r\n");
    }
    void exportNames() {
        QFETCH(bool, unfinishedOnly);
        QFETCH(bool, allFinished);
        QFETCH(QByteArray, expected);
        TestApp t;
        fFileDownload w;
        const ItemState other = allFinished ? ItemState::Finished : ItemState::Failed;
        addRow(w, "k1", QStringLiteral("第一"), "pdf", ItemState::Finished, "", "", "", "/x/");
        addRow(w, "k2", "second", "pdf", other);
        addRow(w, "k3", "third", "html", allFinished ? ItemState::Finished : ItemState::Waiting);
        QTemporaryDir dir;
        const QString path = dir.path() + "/names.txt";
        writeFile(path, 5000); // replaced, not appended to
        t.dialogs->fileAnswers.push_back(path);
        w.ExportNames(unfinishedOnly);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), expected);
        QVERIFY(t.dialogs->all().isEmpty());
    }

    void exportEdges() {
        TestApp t;
        fFileDownload w;
        // An empty list asks nothing.
        w.menu导出全部名称->trigger();
        QVERIFY(t.dialogs->fileAnswers.empty());
        addRow(w, "k1", "a", "pdf", ItemState::Waiting);
        // Cancel writes nothing; a name without extension gets ".txt" from
        // the dialog, before the dialog asks about replacing a file, so the
        // program writes exactly the name the dialog answered.
        t.dialogs->fileAnswers = {QString()};
        w.menu导出全部名称->trigger();
        QTemporaryDir dir;
        t.dialogs->fileAnswers = {dir.path() + "/plain"};
        w.menu导出未完成项名称->trigger();
        QCOMPARE(t.dialogs->saveSuffixes, QStringList({"txt", "txt"}));
        QVERIFY(QFile::exists(dir.path() + "/plain.txt"));
        QVERIFY(!QFile::exists(dir.path() + "/plain"));
        t.dialogs->fileAnswers = {dir.path() + "/names.list"};
        w.menu导出全部名称->trigger();
        QVERIFY(QFile::exists(dir.path() + "/names.list"));
        QVERIFY(!QFile::exists(dir.path() + "/names.list.txt"));
        // A folder that does not exist: the reason, as an error.
        t.dialogs->fileAnswers = {dir.path() + "/missing/names.txt"};
        w.menu导出全部名称->trigger();
        QCOMPARE(t.dialogs->errors.size(), 1);
        QVERIFY(!t.dialogs->errors.first().isEmpty());
    }

    // ------------------------------------------------------------ current row

    void doubleClickByState_data() {
        QTest::addColumn<ItemState>("state");
        QTest::addColumn<bool>("fileThere");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<ItemState>("stateAfter");
        using S = ItemState;
        QTest::newRow("finished opens")
            << S::Finished << true << QStringList{"F"} << QStringList() << S::Finished;
        QTest::newRow("finished, file gone")
            << S::Finished << false << QStringList() << QStringList{"文件不存在！"} << S::Finished;
        QTest::newRow("failed requeued")
            << S::Failed << true << QStringList() << QStringList() << S::Waiting;
        QTest::newRow("waiting nothing")
            << S::Waiting << true << QStringList() << QStringList() << S::Waiting;
        QTest::newRow("downloading nothing")
            << S::Downloading << true << QStringList() << QStringList() << S::Downloading;
    }
    void doubleClickByState() {
        QFETCH(ItemState, state);
        QFETCH(bool, fileThere);
        QFETCH(QStringList, opened);
        QFETCH(QStringList, errors);
        QFETCH(ItemState, stateAfter);
        TestApp t;
        RecordingDesktop* desktop = recordDesktop(t);
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + QLatin1Char('/');
        const QString file = folder + "doc.pdf";
        addRow(w, "a|b|c", "doc", "pdf", state, "7", "7", "100%", folder);
        if (fileThere)
            writeFile(file, 7);
        w.ListView3->setCurrentIndex(w.list()->index(0, 0));
        emit w.ListView3->doubleClicked(w.list()->index(0, 0));
        opened.replaceInStrings("F", file);
        QCOMPARE(desktop->opened, opened);
        QCOMPARE(t.dialogs->errors, errors);
        const DownloadItem& it = w.list()->item(0);
        QCOMPARE(it.state, stateAfter);
        QCOMPARE(it.key, QStringLiteral("a|b|c"));
        QCOMPARE(it.type, QStringLiteral("pdf"));
        if (state == ItemState::Failed) {
            QVERIFY(it.notYetDownloaded());
            // The row's document stays until a new one takes its place.
            QVERIFY(QFile::exists(file));
            QVERIFY(it.placed);
        } else {
            QCOMPARE(it.size, QStringLiteral("7"));
            QCOMPARE(QFile::exists(file), fileThere);
        }
    }

    void textEditorLimit_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<bool>("opened");
        QTest::newRow("exactly 2 MB") << qint64(2097152) << true;
        QTest::newRow("one byte more") << qint64(2097153) << false;
    }
    void textEditorLimit() {
        QFETCH(qint64, bytes);
        QFETCH(bool, opened);
        TestApp t;
        RecordingDesktop* desktop = recordDesktop(t);
        fFileDownload w;
        QTemporaryDir dir;
        addRow(w, "k", "big", "txt", ItemState::Finished, "", "", "", dir.path() + "/");
        writeFile(dir.path() + "/big.txt", bytes);
        w.ListView3->setCurrentIndex(w.list()->index(0, 0));
        w.menu用记事本打开文件->trigger();
        QCOMPARE(desktop->edited.size(), opened ? 1 : 0);
        QCOMPARE(t.dialogs->errors,
                 opened
                     ? QStringList()
                     : QStringList{QStringLiteral("该文件太大，超过了2M，不便于用记事本打开！")});
    }

    void currentRowCommands() {
        TestApp t;
        RecordingDesktop* desktop = recordDesktop(t);
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        addRow(w, "k1", "here", "pdf", ItemState::Finished, "", "", "", folder);
        addRow(w, "k2", "gone", "pdf", ItemState::Finished, "", "", "", folder);
        addRow(w, "k3", "nofolder", "pdf", ItemState::Finished, "", "", "", folder + "none/");
        writeFile(folder + "here.pdf", 3);

        // Without a current row nothing happens.
        w.menu复制名称->trigger();
        w.menu打开下载文件->trigger();
        QVERIFY(desktop->clipboard.isEmpty() && desktop->opened.isEmpty());

        w.ListView3->setCurrentIndex(w.list()->index(0, 0));
        w.menu复制名称->trigger();
        QCOMPARE(desktop->clipboard, QStringList{"here"});
        w.menu打开下载文件->trigger();
        QCOMPARE(desktop->opened, QStringList{folder + "here.pdf"});
        w.menu打开文件所在文件夹->trigger();
        QCOMPARE(desktop->shown, QStringList{folder + "here.pdf"});
        desktop->succeed = false;
        w.menu打开文件所在文件夹->trigger();
        QCOMPARE(t.dialogs->errors, QStringList{"打开失败！"});
        desktop->succeed = true;
        t.dialogs->errors.clear();

        w.ListView3->setCurrentIndex(w.list()->index(1, 0));
        w.menu打开下载文件->trigger();
        w.menu用记事本打开文件->trigger();
        QCOMPARE(t.dialogs->errors, (QStringList{"该文件不存在！", "该文件不存在！"}));
        // The file is gone but its folder is there: the folder opens.
        w.menu打开文件所在文件夹->trigger();
        QCOMPARE(desktop->opened.last(), folder);
        t.dialogs->errors.clear();

        w.ListView3->setCurrentIndex(w.list()->index(2, 0));
        w.menu打开文件所在文件夹->trigger();
        QCOMPARE(t.dialogs->errors, QStringList{"文件夹不存在！"});
    }

    void itemClickShowsPath() {
        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        addRow(w, "k1", "here", "pdf", ItemState::Finished, "", "", "", folder);
        addRow(w, "k2", "gone", "pdf", ItemState::Finished, "", "", "", folder);
        writeFile(folder + "here.pdf", 3);
        emit w.ListView3->clicked(w.list()->index(0, 2));
        QCOMPARE(w.panelText(2), folder + "here.pdf");
        // A click on panel 2 opens the file it names.
        RecordingDesktop* desktop = recordDesktop(t);
        auto* panel2 = w.findChild<QLabel*>(QStringLiteral("StatusBar1Panel2"));
        QVERIFY(panel2);
        QTest::mouseClick(panel2, Qt::LeftButton);
        QCOMPARE(desktop->opened, QStringList{folder + "here.pdf"});
        emit w.ListView3->clicked(w.list()->index(1, 0));
        QCOMPARE(w.panelText(2), QString());
        QTest::mouseClick(panel2, Qt::LeftButton);
        QCOMPARE(desktop->opened.size(), 1);
    }

    void checkFilesExist() {
        TestApp t;
        fFileDownload w;
        QTemporaryDir dir;
        const QString folder = dir.path() + "/";
        addRow(w, "k1", "here", "pdf", ItemState::Finished, "3", "3", "100%", folder);
        addRow(w, "k2", "gone", "pdf", ItemState::Finished, "3", "3", "100%", folder);
        addRow(w, "k3", "later", "pdf", ItemState::Waiting, "", "", "", folder);
        writeFile(folder + "here.pdf", 3);
        w.Busy = true; // runs at any time
        w.menu检查文件是否存在->trigger();
        QCOMPARE(column(w, DownloadListModel::ColPercent),
                 (QStringList{"100%", "不存在", "不存在"}));
        QCOMPARE(w.list()->item(1).state, ItemState::Finished);
        QVERIFY(t.dialogs->all().isEmpty());
    }

    void requeueOutsideTheListDoesNothing() {
        TestApp t;
        fFileDownload w;
        addRow(w, "a|b", "n", "pdf", ItemState::Failed);
        w.scheduler()->RequeueRow(1);
        w.scheduler()->RequeueRow(-1);
        w.scheduler()->DeleteRowFile(5);
        QCOMPARE(w.list()->item(0).state, ItemState::Failed);
        QCOMPARE(w.list()->item(0).key, QStringLiteral("a|b"));
    }

    void menuEntriesOfOtherWindowsAreOn() {
        TestApp t;
        fFileDownload w;
        QVERIFY(w.设置->isEnabled());
        QVERIFY(w.关于->isEnabled());
        QCOMPARE(w.menu清空IE浏览器缓存->text(), QStringLiteral("清空IE浏览器缓存"));
        QVERIFY(w.menu清空IE浏览器缓存->isEnabled());
    }
};

QTEST_MAIN(TestListCommands)
#include "tst_listcommands.moc"
