// The real save dialog: a name typed without an extension gets the default
// suffix before the dialog asks about replacing a file, so the question is
// about the file the program then writes.

#include "platform/Dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

class TestDialogs : public QObject {
    Q_OBJECT
private slots:
    void saveAddsTheSuffixBeforeTheQuestion_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("exists"); // "names.txt" is there already
        QTest::addColumn<int>("answer");  // to the question, when one comes
        QTest::addColumn<bool>("asked");  // whether the question came
        QTest::addColumn<QString>("chosen");
        const int yes = QMessageBox::Yes;
        const int no = QMessageBox::No;
        QTest::newRow("new name") << "names" << false << yes << false << "names.txt";
        QTest::newRow("existing, replace") << "names" << true << yes << true << "names.txt";
        QTest::newRow("existing, keep") << "names" << true << no << true << "";
        QTest::newRow("own extension kept") << "names.csv" << true << yes << false << "names.csv";
    }
    void saveAddsTheSuffixBeforeTheQuestion() {
        QFETCH(QString, typed);
        QFETCH(bool, exists);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        if (exists) {
            QFile old(dir.filePath(QStringLiteral("names.txt")));
            QVERIFY(old.open(QIODevice::WriteOnly));
        }

        // Plays the user: types the name and accepts, answers the question,
        // and cancels the dialog when it is still open after a "No".
        QStringList questions;
        bool typedIn = false;
        bool cancelled = false;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                questions << box->text();
                QMetaObject::invokeMethod(box->button(QMessageBox::StandardButton(answer)),
                                          &QPushButton::click, Qt::QueuedConnection);
            } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                if (!typedIn) {
                    typedIn = true;
                    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    QVERIFY(edit);
                    edit->setText(typed);
                    QMetaObject::invokeMethod(static_cast<QDialog*>(dialog), &QDialog::accept,
                                              Qt::QueuedConnection);
                } else if (!cancelled) {
                    cancelled = true;
                    QMetaObject::invokeMethod(static_cast<QDialog*>(dialog), &QDialog::reject,
                                              Qt::QueuedConnection);
                }
            }
        });
        user.start();
        Dialogs dialogs;
        const QString file = dialogs.saveFile(
            nullptr, QString(), dir.path(), QStringLiteral("*.txt (*.txt)"), QStringLiteral("txt"));
        user.stop();

        QVERIFY(typedIn);
        QCOMPARE(file, chosen.isEmpty() ? QString() : dir.filePath(chosen));
        QCOMPARE(!questions.isEmpty(), asked);
        if (asked) {
            QCOMPARE(questions.size(), 1);
            QVERIFY2(questions.first().contains(QStringLiteral("names.txt")),
                     qPrintable(questions.first()));
        }
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
