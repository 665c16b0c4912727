#include "TestApp.h"
#include "platform/BrowserProfile.h"
#include "search/ArticleListModel.h"
#include "search/fWebSearch.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

namespace {

struct Row {
    QString title;
    QString state;
};

QStringList titles(const ArticleListModel& m) {
    QStringList list;
    for (const ArticleEntry& e : m.rows())
        list << e.title;
    return list;
}

QStringList titles(const QList<Row>& rows) {
    QStringList list;
    for (const Row& r : rows)
        list << r.title;
    return list;
}

// A search window on a blank page (the home page is never the real site).
std::unique_ptr<fWebSearch> openWindow(TestApp& t) {
    t.values->SiteHomeAddress = QStringLiteral("about:blank");
    return std::make_unique<fWebSearch>();
}

void fill(fWebSearch& w, const QList<Row>& rows) {
    int n = 0;
    for (const Row& r : rows) {
        const QString link = QStringLiteral("https://site.test/a/%1").arg(++n);
        QVERIFY(w.加入LV1(r.title, link, "https://site.test/list", "pdf", "/f/", "SD1"));
        w.articles()->setState(n - 1, r.state);
    }
    w.updateCountLabel();
}

} // namespace

Q_DECLARE_METATYPE(QList<Row>)

class TestArticleList : public QObject {
    Q_OBJECT
private slots:
    void addRefusesDuplicateLinks() {
        ArticleListModel m;
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        QVERIFY(m.add("First", "https://s/x.pdf", "https://s/p1", "pdf", "/one/", "SD1"));
        m.setState(0, ArticleState::Analysed);
        QVERIFY(m.add("Second", "https://s/y", "https://s/p1", "pdf", "", "SD2"));
        // Same link again, different everything else: refused, first row kept as it was.
        QVERIFY(!m.add("Changed", "https://s/x.pdf", "https://s/p2", "pdf", "/two/", "SD2"));
        QCOMPARE(inserted.size(), 2);
        QCOMPARE(m.size(), 2);
        const ArticleEntry& e = m.at(0);
        QCOMPARE(e.title, QStringLiteral("First"));
        QCOMPARE(e.saveFolder, QStringLiteral("/one/"));
        QCOMPARE(e.pageAddress, QStringLiteral("https://s/p1"));
        QCOMPARE(e.state, ArticleState::Analysed);
        QCOMPARE(e.layout, QStringLiteral("SD1"));
        QCOMPARE(m.indexOfLink("https://s/y"), 1);
        // Links are addresses: case matters.
        QVERIFY(m.add("Upper", "https://s/X.pdf", "", "pdf", "", "SD1"));

        // After removals the key index still refuses and accepts correctly.
        m.removeRowList({0});
        QVERIFY(!m.add("again", "https://s/y", "", "pdf", "", "SD2"));
        QVERIFY(m.add("back", "https://s/x.pdf", "", "pdf", "", "SD1"));
        QCOMPARE(m.indexOfLink("https://s/x.pdf"), 2);
    }

    void removeRowsKeepsOrderAndKeys_data() {
        QTest::addColumn<int>("step");
        QTest::newRow("few runs") << 40;
        QTest::newRow("many scattered runs") << 3;
    }
    void removeRowsKeepsOrderAndKeys() {
        QFETCH(int, step);
        ArticleListModel m;
        for (int i = 0; i < 120; ++i)
            m.add(QString::number(i), QStringLiteral("L%1").arg(i), "", "pdf", "", "SD1");
        QList<int> doomed;
        QStringList expected;
        for (int i = 0; i < 120; ++i) {
            if (i % step == 0)
                doomed << i;
            else
                expected << QString::number(i);
        }
        doomed << 500 << -1 << doomed.first(); // ignored
        QCOMPARE(m.removeRowList(doomed), int(doomed.size()) - 3);
        QStringList actual;
        for (int r = 0; r < m.size(); ++r) {
            actual << m.at(r).title;
            QCOMPARE(m.indexOfLink(m.at(r).link), r);
        }
        QCOMPARE(actual, expected);
        QVERIFY(!m.containsLink("L0"));
        QVERIFY(m.add("again", "L0", "", "pdf", "", "SD1"));
    }

    void cellsAndHeaders() {
        ArticleListModel m;
        m.add("T", "L", "P", "pdf", "/f/", "SD2");
        m.setState(0, ArticleState::AnalysisFailed);
        // The design's five columns, then what the record says.
        const QStringList headers{"标题", "类型", "分析状态", "保存路径", "TYPE",
                                  "作者", "期刊", "年份",     "DOI"};
        QCOMPARE(m.columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c)
            QCOMPARE(m.headerData(c, Qt::Horizontal).toString(), headers.at(c));
        const QStringList cells{"T", "pdf", "分析失败", "/f/", "SD2", "", "", "", ""};
        for (int c = 0; c < cells.size(); ++c) {
            QCOMPARE(m.data(m.index(0, c)).toString(), cells.at(c));
            QVERIFY(!(m.flags(m.index(0, c)) & Qt::ItemIsEditable));
        }
        m.setState(5, "x"); // out of range: ignored
    }

    void stateSelections_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("unanalysed");
        QTest::addColumn<bool>("failure");
        QTest::addColumn<bool>("success");
        QTest::newRow("empty") << QString() << true << false << false;
        QTest::newRow("analysing") << ArticleState::Analysing << false << false << false;
        QTest::newRow("downloading") << ArticleState::Downloading << false << false << false;
        QTest::newRow("download ok") << ArticleState::DownloadSucceeded << false << false << true;
        QTest::newRow("download failed") << ArticleState::DownloadFailed << false << true << false;
        QTest::newRow("analysed") << ArticleState::Analysed << false << false << false;
        QTest::newRow("analysis failed") << ArticleState::AnalysisFailed << false << true << false;
    }
    void stateSelections() {
        QFETCH(QString, state);
        QFETCH(bool, unanalysed);
        QFETCH(bool, failure);
        QFETCH(bool, success);
        QCOMPARE(ArticleState::isUnanalysed(state), unanalysed);
        QCOMPARE(ArticleState::isFailure(state), failure);
        QCOMPARE(ArticleState::isSuccess(state), success);
    }

    void removalCommands_data() {
        QTest::addColumn<QList<Row>>("rows");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("remaining");

        const QList<Row> mixed{{"ABC Study", ArticleState::DownloadSucceeded},
                               {"abc two", ArticleState::Analysed},
                               {"Other", ArticleState::AnalysisFailed},
                               {"Plain", QString()},
                               {"Last abc", ArticleState::DownloadFailed}};
        QTest::newRow("successes only") << mixed << "menu清除分析成功项" << QString()
                                        << QStringList{"abc two", "Other", "Plain", "Last abc"};
        QTest::newRow("title contains, any case") << mixed << "menu清除标题含指定字符项"
                                                  << "abc" << QStringList{"Other", "Plain"};
        QTest::newRow("title lacks") << mixed << "menu清除标题不含指定字符项"
                                     << "ABC" << QStringList{"ABC Study", "abc two", "Last abc"};
        QTest::newRow("contains: empty answer removes nothing")
            << mixed << "menu清除标题含指定字符项"
            << "" << titles(mixed);
        QTest::newRow("contains: cancel removes nothing") << mixed << "menu清除标题含指定字符项"
                                                          << "<cancel>" << titles(mixed);
        const QList<Row> adjacent{{"x1", ArticleState::DownloadSucceeded},
                                  {"x2", ArticleState::DownloadSucceeded},
                                  {"keep", QString()},
                                  {"x3", ArticleState::DownloadSucceeded}};
        QTest::newRow("adjacent matches")
            << adjacent << "menu清除分析成功项" << QString() << QStringList{"keep"};
        QTest::newRow("adjacent by title") << adjacent << "menu清除标题含指定字符项"
                                           << "X" << QStringList{"keep"};
    }
    void removalCommands() {
        QFETCH(QList<Row>, rows);
        QFETCH(QString, command);
        QFETCH(QString, answer);
        QFETCH(QStringList, remaining);
        TestApp t;
        auto w = openWindow(t);
        fill(*w, rows);
        if (answer == QLatin1String("<cancel>"))
            t.dialogs->inputAnswers.push_back(std::nullopt);
        else
            t.dialogs->inputAnswers.push_back(answer);
        auto* action = w->findChild<QAction*>(command);
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        action->trigger();
        QCOMPARE(titles(*w->articles()), remaining);
        QCOMPARE(w->Label1->text(), QString::number(remaining.size()));
        if (command.contains(QStringLiteral("标题")))
            QCOMPARE(t.dialogs->inputPrompts, QStringList{"请输入指定字符："});
        QVERIFY(t.dialogs->errors.isEmpty());
    }

    void removeSelectedRows() {
        TestApp t;
        auto w = openWindow(t);
        fill(*w, {{"a", {}}, {"b", {}}, {"c", {}}, {"d", {}}});
        QItemSelectionModel* sel = w->ListView1->selectionModel();
        const auto flags = QItemSelectionModel::Select | QItemSelectionModel::Rows;
        sel->select(w->articles()->index(0, 0), flags);
        sel->select(w->articles()->index(2, 0), flags);
        sel->select(w->articles()->index(3, 0), flags);
        w->menu清除选中项->trigger();
        QCOMPARE(titles(*w->articles()), QStringList{"b"});
        QCOMPARE(w->Label1->text(), QStringLiteral("1"));
    }

    void clearAllAsksFirst() {
        TestApp t;
        auto w = openWindow(t);
        fill(*w, {{"a", {}}, {"b", {}}});
        t.dialogs->questionAnswers = {false, true};
        w->menu清空全部->trigger();
        QCOMPARE(w->articles()->size(), 2);
        QCOMPARE(w->Label1->text(), QStringLiteral("2"));
        w->menu清空全部->trigger();
        QCOMPARE(w->articles()->size(), 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("0"));
        QCOMPARE(t.dialogs->questions,
                 QStringList(2, QStringLiteral("您确定要清空辛辛苦苦搜索的列表数据吗？")));
    }

    void emptyListLeavesCountLabel() {
        TestApp t;
        auto w = openWindow(t);
        w->Label1->setText(QStringLiteral("untouched"));
        t.dialogs->inputAnswers.push_back(QStringLiteral("x"));
        w->menu清除分析成功项->trigger();
        w->menu清除标题含指定字符项->trigger();
        w->menu清除选中项->trigger();
        QCOMPARE(w->Label1->text(), QStringLiteral("untouched"));
    }

    void removalRefusedWhileAnalysing() {
        TestApp t;
        auto w = openWindow(t);
        fill(*w, {{"a", ArticleState::DownloadSucceeded}, {"b", {}}});
        w->ListView1->selectAll();
        w->AnalyseStopped = false;
        const QList<QAction*> commands{w->menu清除选中项, w->menu清除分析成功项,
                                       w->menu清除标题含指定字符项, w->menu清除标题不含指定字符项,
                                       w->menu清空全部};
        for (QAction* a : commands)
            a->trigger();
        QCOMPARE(t.dialogs->errors, QStringList(5, QStringLiteral("正在分析，不能清除！")));
        QVERIFY(t.dialogs->inputPrompts.isEmpty());
        QVERIFY(t.dialogs->questions.isEmpty());
        QCOMPARE(w->articles()->size(), 2);

        // A page-extraction run does not block removals.
        w->AnalyseStopped = true;
        w->ExtractStopped = false;
        w->menu清除分析成功项->trigger();
        QCOMPARE(titles(*w->articles()), QStringList{"b"});
        QCOMPARE(t.dialogs->errors.size(), 5);
        w->ExtractStopped = true;
    }

    void titlesCannotBeEdited() {
        TestApp t;
        auto w = openWindow(t);
        fill(*w, {{"a", {}}});
        const QModelIndex cell = w->articles()->index(0, 0);
        QCOMPARE(w->ListView1->editTriggers(), QAbstractItemView::NoEditTriggers);
        w->ListView1->edit(cell);
        QVERIFY(!w->ListView1->indexWidget(cell));
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QTemporaryDir browserStorage;
    BrowserProfile::setStorageRoot(browserStorage.path());
    TestArticleList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_articlelist.moc"
