#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/ListCommands.h"
#include "download/UrlReplace.h"
#include "download/fFileDownload.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
struct Row {
    QString key;
    QString referer;
};
} // namespace
Q_DECLARE_METATYPE(Row)

namespace {

void fill(DownloadListModel& m, const QList<Row>& rows) {
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY(m.AddDownloadItem(rows.at(i).key, QStringLiteral("n%1").arg(i),
                                  QStringLiteral("pdf"), QStringLiteral("/f/"),
                                  rows.at(i).referer));
}

QStringList keys(const DownloadListModel& m) {
    QStringList out;
    for (const DownloadItem& r : m.items())
        out << r.key;
    return out;
}

QStringList referers(const DownloadListModel& m) {
    QStringList out;
    for (const DownloadItem& r : m.items())
        out << r.tag;
    return out;
}
} // namespace

class TestUrlReplace : public QObject {
    Q_OBJECT
private slots:
    void dialogControls() {
        TestApp t;
        DownloadListModel m;
        UrlReplace d(m);
        QCOMPARE(d.objectName(), QStringLiteral("UrlReplace"));
        QCOMPARE(d.windowTitle(), QStringLiteral("网址批量替换"));
        QCOMPARE(d.findChild<QLabel*>("Label1")->text(), QStringLiteral("所有网址中的字符串："));
        QCOMPARE(d.findChild<QLabel*>("Label2")->text(), QStringLiteral("将被全部替换为字符串："));
        QCOMPARE(d.findChild<QPushButton*>("Command1")->text(), QStringLiteral("替换"));
        QCOMPARE(d.findChild<QPushButton*>("Command2")->text(), QStringLiteral("取消"));
        QVERIFY(d.findChild<QLineEdit*>("Text1")->text().isEmpty());
        QVERIFY(d.findChild<QLineEdit*>("Text2")->text().isEmpty());
    }

    void replace_data() {
        QTest::addColumn<QList<Row>>("rows");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QStringList>("keysAfter");
        QTest::addColumn<QStringList>("referersAfter");

        QTest::newRow("host of three alternatives")
            << QList<Row>{{"http://old.org/a|http://old.org/b|https://old.org/c",
                           "http://old.org/page"}}
            << "old.org"
            << "new.net" << QStringList{"http://new.net/a|http://new.net/b|https://new.net/c"}
            << QStringList{"http://new.net/page"};
        QTest::newRow("capitals find lower case, replacement as typed")
            << QList<Row>{{"http://host/pdf/x", "http://host/abs"}} << "HOST/PDF"
            << "Mirror/PDF" << QStringList{"http://Mirror/PDF/x"} << QStringList{"http://host/abs"};
        QTest::newRow("empty replacement deletes")
            << QList<Row>{{"http://h/a?x=1&x=1", "http://h/?x=1"}} << "x=1"
            << "" << QStringList{"http://h/a?&"} << QStringList{"http://h/?"};
        QTest::newRow("spaces used as typed")
            << QList<Row>{{"http://h/a b", ""}} << " b"
            << " c " << QStringList{"http://h/a c "} << QStringList{""};
        QTest::newRow("no rescan of inserted text")
            << QList<Row>{{"http://h/aa", ""}} << "a"
            << "aa" << QStringList{"http://h/aaaa"} << QStringList{""};
        QTest::newRow("collision keeps the old key and referer, others go on")
            << QList<Row>{{"http://A.org/x", "http://a.org/r"},
                          {"http://b.org/x", "http://b.org/r"},
                          {"http://a.org/y", "http://a.org/s"}}
            << "a.org"
            << "b.org" << QStringList{"http://A.org/x", "http://b.org/x", "http://b.org/y"}
            << QStringList{"http://a.org/r", "http://b.org/r", "http://b.org/s"};
        QTest::newRow("prefix removed from every row")
            << QList<Row>{{"http://a/1", ""}, {"http://b/1", ""}, {"http://c/1", ""}} << "http://"
            << "" << QStringList{"a/1", "b/1", "c/1"} << QStringList{"", "", ""};
        QTest::newRow("key taken only until its row moves on")
            << QList<Row>{{"x-a", ""}, {"x-aa", ""}} << "a"
            << "aa" << QStringList{"x-aa", "x-aaaa"} << QStringList{"", ""};
        QTest::newRow("a blank address list is refused")
            << QList<Row>{{"abc", "r-abc"}, {"abcd", "r"}} << "abc"
            << "" << QStringList{"abc", "d"} << QStringList{"r-abc", "r"};
    }
    void replace() {
        QFETCH(QList<Row>, rows);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(QStringList, keysAfter);
        QFETCH(QStringList, referersAfter);
        TestApp t;
        DownloadListModel m;
        fill(m, rows);
        UrlReplace d(m);
        d.Text1->setText(find);
        d.Text2->setText(replacement);
        d.show();
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(keys(m), keysAfter);
        QCOMPARE(referers(m), referersAfter);
        for (int i = 0; i < m.count(); ++i)
            QCOMPARE(m.findKey(keysAfter.at(i)), i);
        QCOMPARE(t.dialogs->informations, QStringList{QStringLiteral("全部网址替换完成！")});
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
    }

    void collisionCase() {
        // Rows 0 and 2 would both become "http://b/x"; neither may take it.
        TestApp t;
        DownloadListModel m;
        fill(m, {{"http://a/x", "ra"}, {"http://c/y", "http://c/"}, {"http://A/x", "rA"}});
        const AddressReplaceResult r = ReplaceInAddresses(m, "a/", "b/");
        QCOMPARE(keys(m), (QStringList{"http://a/x", "http://c/y", "http://A/x"}));
        QCOMPARE(r.kept, 2);
        QCOMPARE(r.changed, 0);
        ReplaceInAddresses(m, "c/", "d/");
        QCOMPARE(keys(m), (QStringList{"http://a/x", "http://d/y", "http://A/x"}));
        QCOMPARE(referers(m), (QStringList{"ra", "http://d/", "rA"}));
    }

    void emptyFindText_data() {
        QTest::addColumn<QString>("find");
        QTest::newRow("empty") << "";
        QTest::newRow("spaces only") << "   ";
    }
    void emptyFindText() {
        QFETCH(QString, find);
        TestApp t;
        DownloadListModel m;
        fill(m, {{"http://h/ x", "r"}});
        UrlReplace d(m);
        d.show();
        d.Text1->setText(find);
        d.Text2->setText("y");
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QCOMPARE(t.dialogs->errors, QStringList{QStringLiteral("请输入字符串！")});
        QVERIFY(t.dialogs->informations.isEmpty());
        QVERIFY(d.isVisible());
        QCOMPARE(keys(m), QStringList{"http://h/ x"});
    }

    void emptyListStillReports() {
        TestApp t;
        DownloadListModel m;
        UrlReplace d(m);
        d.show();
        d.Text1->setText("a");
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(t.dialogs->informations, QStringList{QStringLiteral("全部网址替换完成！")});
    }

    void cancelChangesNothing() {
        TestApp t;
        DownloadListModel m;
        fill(m, {{"http://a/x", "http://a/"}});
        UrlReplace d(m);
        d.show();
        d.Text1->setText("a");
        d.Text2->setText("b");
        QTest::mouseClick(d.Command2, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(keys(m), QStringList{"http://a/x"});
        QVERIFY(t.dialogs->all().isEmpty());
    }

    void openedFromTheDownloadWindowWhileRunning() {
        TestApp t;
        fFileDownload w;
        w.AddDownloadItem("http://a/x", "n", "pdf", "/f/", "http://a/");
        w.Busy = true; // replaced whatever the download does
        QTimer::singleShot(0, &w, [&] {
            auto* d = w.findChild<UrlReplace*>();
            QVERIFY(d);
            QVERIFY(d->isModal());
            d->Text1->setText("A/");
            d->Text2->setText("b/");
            d->Command1->click();
        });
        w.menu批量替换网址->trigger();
        QCOMPARE(w.list()->item(0).key, QStringLiteral("http://b/x"));
        QCOMPARE(w.list()->item(0).tag, QStringLiteral("http://b/"));
        QCOMPARE(t.dialogs->informations, QStringList{QStringLiteral("全部网址替换完成！")});
    }
};

QTEST_MAIN(TestUrlReplace)
#include "tst_urlreplace.moc"
