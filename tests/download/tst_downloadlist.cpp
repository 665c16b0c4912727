#include "download/DownloadListModel.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

namespace {
QString keyOf(int i) {
    return QStringLiteral("https://example.org/pdf/%1.pdf").arg(i);
}

void fill(DownloadListModel& m, int rows) {
    for (int i = 0; i < rows; ++i)
        QVERIFY(m.AddDownloadItem(keyOf(i), QStringLiteral("n%1").arg(i), QStringLiteral("pdf"),
                                  QStringLiteral("/tmp/"), QString()));
}

// Adds a row and puts it in the given state with the given cells.
int addRow(DownloadListModel& m, const QString& key, const QString& type, ItemState state,
           const QString& size = QString(), const QString& received = QString(),
           const QString& percent = QString()) {
    m.AddDownloadItem(key, QStringLiteral("name"), type, QStringLiteral("/tmp/"), QString());
    const int row = m.findKey(key);
    m.setState(row, state);
    m.setProgress(row, size, received, percent);
    return row;
}

// The facts computed the slow way, straight from the rows.
struct Recount {
    int notYet = 0, errors = 0, waiting = 0, downloading = 0, finished = 0, failed = 0;
    explicit Recount(const DownloadListModel& m) {
        for (const DownloadItem& r : m.items()) {
            notYet += r.size.isEmpty() && r.received.isEmpty() && r.percent.isEmpty();
            const QString t = r.type.toLower();
            errors += (t == QLatin1String("htm") || t == QLatin1String("html") ||
                       r.state == ItemState::Failed);
            waiting += r.state == ItemState::Waiting;
            downloading += r.state == ItemState::Downloading;
            finished += r.state == ItemState::Finished;
            failed += r.state == ItemState::Failed;
        }
    }
};
} // namespace

class TestDownloadList : public QObject {
    Q_OBJECT
private slots:
    void emptyList() {
        DownloadListModel m;
        QVERIFY(m.检测是否下载列表完毕());
        QCOMPARE(m.统计未下载项数目(), 0);
        QCOMPARE(m.CountErrorRows(), 0);
        QCOMPARE(m.totalsText(), QStringLiteral("总数:0 正在下载:0 等待:0 已完成:0 失败:0"));
    }

    void addedRowHasDesignedFields() {
        DownloadListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(m.AddDownloadItem(QStringLiteral("http://a/x.pdf|http://b/x.pdf"),
                                  QStringLiteral("论文"), QStringLiteral("pdf"),
                                  QStringLiteral("/home/u/论文/"),
                                  QStringLiteral("http://a/article")));
        QCOMPARE(m.count(), 1);
        const DownloadItem& r = m.item(0);
        QCOMPARE(r.state, ItemState::Waiting);
        QCOMPARE(r.key, QStringLiteral("http://a/x.pdf|http://b/x.pdf"));
        QCOMPARE(r.tag, QStringLiteral("http://a/article"));
        QVERIFY(r.size.isEmpty() && r.received.isEmpty() && r.percent.isEmpty() &&
                r.baseHref.isEmpty());

        // The design's seven columns, what the look inside the file found, then
        // what the article's record says.
        const QStringList headers = {"名称", "类型", "文件大小", "已下载数", "百分比", "保存路径",
                                     "B",    "检查", "作者",     "期刊",     "年份",   "DOI"};
        QCOMPARE(m.columnCount(), headers.size());
        for (int c = 0; c < headers.size(); ++c)
            QCOMPARE(m.headerData(c, Qt::Horizontal).toString(), headers.at(c));
        QCOMPARE(m.data(m.index(0, 0)).toString(), QStringLiteral("论文"));
        QCOMPARE(m.data(m.index(0, 5)).toString(), QStringLiteral("/home/u/论文/"));
        QCOMPARE(m.data(m.index(0, 3), DownloadListModel::KeyRole).toString(), r.key);
        QCOMPARE(m.data(m.index(0, 0), DownloadListModel::TagRole).toString(), r.tag);
        QCOMPARE(m.data(m.index(0, 0), DownloadListModel::StateRole).toInt(), 1);
        QVERIFY(!m.data(m.index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!(m.flags(m.index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(m.统计未下载项数目(), 1);
        QVERIFY(!m.检测是否下载列表完毕());
    }

    void sameAddressKeepsOneRow() {
        DownloadListModel m;
        QVERIFY(m.AddDownloadItem(QStringLiteral("http://a/1.pdf"), QStringLiteral("first"),
                                  QStringLiteral("pdf"), QStringLiteral("/f/"),
                                  QStringLiteral("r1")));
        QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
        QVERIFY(!m.AddDownloadItem(QStringLiteral("http://a/1.pdf"), QStringLiteral("second"),
                                   QStringLiteral("htm"), QStringLiteral("/g/"),
                                   QStringLiteral("r2")));
        QCOMPARE(m.count(), 1);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(m.item(0).name, QStringLiteral("first"));
        QCOMPARE(m.item(0).type, QStringLiteral("pdf"));
        QCOMPARE(m.item(0).tag, QStringLiteral("r1"));
        // A different address is a different row, even when only the letter case differs.
        QVERIFY(m.AddDownloadItem(QStringLiteral("http://a/1.PDF"), QStringLiteral("x"), QString(),
                                  QString(), QString()));
        // A blank address is never a row.
        QVERIFY(!m.AddDownloadItem(QStringLiteral("   "), QStringLiteral("x"), QString(), QString(),
                                   QString()));
        QCOMPARE(m.count(), 2);
    }

    void notYetDownloaded_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("counts");
        QTest::newRow("reset for another attempt") << ""
                                                   << ""
                                                   << "" << 1 << true;
        QTest::newRow("waiting for a retry") << "等待重新下载"
                                             << ""
                                             << "" << 1 << false;
        QTest::newRow("finished") << "512"
                                  << "512"
                                  << "100%" << 3 << false;
        QTest::newRow("skipped as existing") << ""
                                             << ""
                                             << "已存在，跳过" << 3 << false;
        QTest::newRow("failed with empty cells") << ""
                                                 << ""
                                                 << "" << 4 << true;
        QTest::newRow("only received") << ""
                                       << "0"
                                       << "" << 2 << false;
    }
    void notYetDownloaded() {
        QFETCH(QString, size);
        QFETCH(QString, received);
        QFETCH(QString, percent);
        QFETCH(int, state);
        QFETCH(bool, counts);
        DownloadListModel m;
        addRow(m, QStringLiteral("k"), QStringLiteral("pdf"), ItemState(state), size, received,
               percent);
        QCOMPARE(m.统计未下载项数目(), counts ? 1 : 0);
    }

    void finished_data() {
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<bool>("finished");
        QTest::newRow("finished and failed") << QList<int>{3, 4, 3} << true;
        QTest::newRow("one waiting") << QList<int>{3, 1, 4} << false;
        QTest::newRow("one downloading") << QList<int>{4, 2} << false;
        QTest::newRow("only failed") << QList<int>{4} << true;
    }
    void finished() {
        QFETCH(QList<int>, states);
        QFETCH(bool, finished);
        DownloadListModel m;
        for (int i = 0; i < states.size(); ++i)
            addRow(m, keyOf(i), QStringLiteral("pdf"), ItemState(states.at(i)));
        QCOMPARE(m.检测是否下载列表完毕(), finished);
    }

    void errorRows_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("counts");
        QTest::newRow("html finished") << "html" << 3 << 1;
        QTest::newRow("HTML upper case") << "HTML" << 3 << 1;
        QTest::newRow("htm failed counts once") << "htm" << 4 << 1;
        QTest::newRow("Htm waiting") << "Htm" << 1 << 1;
        QTest::newRow("xml finished") << "xml" << 3 << 0;
        QTest::newRow("xml failed") << "xml" << 4 << 1;
        QTest::newRow("pdf failed") << "pdf" << 4 << 1;
        QTest::newRow("pdf finished") << "pdf" << 3 << 0;
        QTest::newRow("htmlx") << "htmlx" << 3 << 0;
        QTest::newRow("empty type waiting") << "" << 1 << 0;
    }
    void errorRows() {
        QFETCH(QString, type);
        QFETCH(int, state);
        QFETCH(int, counts);
        DownloadListModel m;
        addRow(m, QStringLiteral("k"), type, ItemState(state));
        QCOMPARE(m.CountErrorRows(), counts);
    }

    void errorRowsForAutoStop() {
        // Four failed rows and one HTML row reach five; with xml instead they do not.
        DownloadListModel m;
        for (int i = 0; i < 4; ++i)
            addRow(m, keyOf(i), QStringLiteral("pdf"), ItemState::Failed);
        const int last = addRow(m, keyOf(9), QStringLiteral("HTML"), ItemState::Finished);
        QCOMPARE(m.CountErrorRows(), 5);
        m.setType(last, QStringLiteral("xml"));
        QCOMPARE(m.CountErrorRows(), 4);
        m.setState(last, ItemState::Failed);
        m.setType(last, QStringLiteral("htm"));
        QCOMPARE(m.CountErrorRows(), 5);
    }

    void totalsText() {
        DownloadListModel m;
        const QList<int> states = {2, 1, 1, 1, 1, 1, 1, 1, 1, 3, 3, 4};
        for (int i = 0; i < states.size(); ++i)
            addRow(m, keyOf(i), QStringLiteral("pdf"), ItemState(states.at(i)));
        QCOMPARE(m.totalsText(), QStringLiteral("总数:12 正在下载:1 等待:8 已完成:2 失败:1"));
    }

    void keyLookupSurvivesRemovalAndReorder() {
        DownloadListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fill(m, 300);
        QCOMPARE(m.removeRowsIf([](const DownloadItem&, int row) { return row % 3 != 1; }), 200);
        QCOMPARE(m.count(), 100);
        for (int i = 0; i < 300; ++i)
            QCOMPARE(m.findKey(keyOf(i)), i % 3 == 1 ? i / 3 : -1);

        QList<int> reversed;
        for (int i = m.count() - 1; i >= 0; --i)
            reversed << i;
        QVERIFY(m.reorder(reversed));
        for (int row = 0; row < m.count(); ++row)
            QCOMPARE(m.findKey(m.item(row).key), row);
        QVERIFY(!m.reorder({0, 0}));        // not a permutation
        QVERIFY(!m.reorder(QList<int>{1})); // wrong length

        QVERIFY(m.removeRows(10, 5));
        for (int row = 0; row < m.count(); ++row)
            QCOMPARE(m.findKey(m.item(row).key), row);

        // A removed address can be added again; a taken one cannot become another row's key.
        QVERIFY(
            m.AddDownloadItem(keyOf(0), QStringLiteral("back"), QString(), QString(), QString()));
        QCOMPARE(m.findKey(keyOf(0)), m.count() - 1);
        QVERIFY(!m.setKey(0, keyOf(0)));
        const QString oldKey = m.item(0).key;
        QVERIFY(m.setKey(0, QStringLiteral("http://new/0.pdf")));
        QCOMPARE(m.findKey(QStringLiteral("http://new/0.pdf")), 0);
        QVERIFY(!m.containsKey(oldKey));
        QCOMPARE(m.findKey(oldKey), -1);

        m.clear();
        QCOMPARE(m.count(), 0);
        QCOMPARE(m.findKey(keyOf(0)), -1);
        QCOMPARE(m.totalsText(), QStringLiteral("总数:0 正在下载:0 等待:0 已完成:0 失败:0"));
    }

    void reorderKeepsSelectionWithItsRow() {
        DownloadListModel m;
        fill(m, 5);
        const QPersistentModelIndex third(m.index(2, 3));
        QVERIFY(m.reorder({4, 3, 2, 1, 0}));
        QCOMPARE(third.row(), 2);
        QVERIFY(m.reorder({2, 0, 1, 3, 4}));
        QCOMPARE(third.row(), 0);
        QCOMPARE(third.column(), 3);
        QCOMPARE(m.item(third.row()).key, keyOf(2));
    }

    void removalKeepsOtherRowsSelected_data() {
        QTest::addColumn<int>("period"); // every period-th row goes
        QTest::newRow("few runs of rows") << 25;
        QTest::newRow("rows scattered over the list") << 3;
    }
    void removalKeepsOtherRowsSelected() {
        QFETCH(int, period);
        DownloadListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        fill(m, 100);
        QItemSelectionModel selection(&m);
        for (int row : {1, 4, 50, 98})
            selection.select(m.index(row, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection.setCurrentIndex(m.index(98, 2), QItemSelectionModel::NoUpdate);
        const int removed =
            m.removeRowsIf([&](const DownloadItem&, int row) { return row % period == 0; });
        QCOMPARE(removed, (99 / period) + 1);
        QCOMPARE(m.count(), 100 - removed);
        QStringList selectedKeys;
        for (const QModelIndex& idx : selection.selectedRows())
            selectedKeys << m.item(idx.row()).key;
        selectedKeys.sort();
        QStringList expected;
        for (int row : {1, 4, 50, 98}) {
            if (row % period != 0)
                expected << keyOf(row);
        }
        expected.sort();
        QCOMPARE(selectedKeys, expected);
        QCOMPARE(m.item(selection.currentIndex().row()).key, keyOf(98));
        for (int row = 0; row < m.count(); ++row)
            QCOMPARE(m.findKey(m.item(row).key), row);
    }

    void settersNotifyOnlyRealChanges() {
        DownloadListModel m;
        fill(m, 3);
        QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);

        QVERIFY(m.setSize(1, QStringLiteral("2048")));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), m.index(1, DownloadListModel::ColSize));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), m.index(1, DownloadListModel::ColSize));
        QVERIFY(!m.setSize(1, QStringLiteral("2048")));
        QCOMPARE(changed.count(), 1);

        // Only the received cell changes: the notice covers that cell alone.
        QVERIFY(m.setProgress(1, QStringLiteral("2048"), QStringLiteral("100"), QString()));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(0).toModelIndex(), m.index(1, DownloadListModel::ColReceived));
        QCOMPARE(changed.at(1).at(1).toModelIndex(), m.index(1, DownloadListModel::ColReceived));
        QVERIFY(!m.setProgress(1, QStringLiteral("2048"), QStringLiteral("100"), QString()));
        QCOMPARE(changed.count(), 2);

        QVERIFY(m.setState(2, ItemState::Downloading));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.at(2).at(0).toModelIndex(), m.index(2, 0));
        QVERIFY(changed.at(2).at(2).value<QList<int>>().contains(Qt::DecorationRole));
        QVERIFY(!m.setState(2, ItemState::Downloading));
        QVERIFY(!m.setCell(7, 0, QStringLiteral("out of range")));
        QVERIFY(!m.setCell(0, 9, QStringLiteral("no such column")));
        QCOMPARE(changed.count(), 3);
    }

    void countsStayTrueUnderEveryChange() {
        // Random edits, removals and reorders; the kept counts must always match a recount.
        DownloadListModel m;
        QRandomGenerator rng(20261209);
        const QStringList types = {"pdf", "html", "HTM", "xml", "", "xxx"};
        const QStringList cells = {"", "", "512", "未知", "100%", "等待重新下载"};
        for (int step = 0; step < 3000; ++step) {
            const int op = rng.bounded(10);
            const int row = m.count() ? rng.bounded(m.count()) : 0;
            if (op < 3 || m.count() == 0) {
                m.AddDownloadItem(keyOf(rng.bounded(400)), QStringLiteral("n"),
                                  types.at(rng.bounded(types.size())), QString(), QString());
            } else if (op == 3) {
                m.setState(row, ItemState(1 + rng.bounded(4)));
            } else if (op == 4) {
                m.setType(row, types.at(rng.bounded(types.size())));
            } else if (op == 5) {
                m.setCell(row, DownloadListModel::ColSize + rng.bounded(3),
                          cells.at(rng.bounded(cells.size())));
            } else if (op == 6) {
                m.clearProgress(row);
            } else if (op == 7) {
                m.removeRows(row, 1);
            } else if (op == 8) {
                const int mod = 2 + rng.bounded(5);
                m.removeRowsIf(
                    [&](const DownloadItem&, int r) { return r % mod == 0 && rng.bounded(2); });
            } else {
                QList<int> order;
                for (int i = 0; i < m.count(); ++i)
                    order << i;
                std::shuffle(order.begin(), order.end(), rng);
                m.reorder(order);
            }
            const Recount r(m);
            QCOMPARE(m.统计未下载项数目(), r.notYet);
            QCOMPARE(m.CountErrorRows(), r.errors);
            QCOMPARE(m.countInState(ItemState::Waiting), r.waiting);
            QCOMPARE(m.countInState(ItemState::Downloading), r.downloading);
            QCOMPARE(m.countInState(ItemState::Finished), r.finished);
            QCOMPARE(m.countInState(ItemState::Failed), r.failed);
            QCOMPARE(m.检测是否下载列表完毕(), r.waiting + r.downloading == 0);
            if (step % 100 == 0) {
                for (int i = 0; i < m.count(); ++i)
                    QCOMPARE(m.findKey(m.item(i).key), i);
            }
        }
    }

    void stateIconsAreDistinct() {
        DownloadListModel m;
        QList<QImage> images;
        for (int s = 1; s <= 4; ++s) {
            const QIcon icon = m.stateIcon(ItemState(s));
            QVERIFY(!icon.isNull());
            images << icon.pixmap(16, 16).toImage();
        }
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b)
                QVERIFY2(images.at(a) != images.at(b),
                         qPrintable(QStringLiteral("%1 vs %2").arg(a + 1).arg(b + 1)));
    }
};

QTEST_MAIN(TestDownloadList)
#include "tst_downloadlist.moc"
