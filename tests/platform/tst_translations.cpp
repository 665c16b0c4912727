// Qt's own texts, loaded from the distribution's translations, read Chinese
// where a user meets them: a question's buttons, a text box's edit menu, a
// web page's menu and the network errors shown in the download rows.

#include "RawServer.h"
#include "TestApp.h"
#include "platform/Dialogs.h"
#include "platform/ToolkitTranslations.h"
#include "platform/Transport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <memory>

namespace {

// An untranslated text of Qt has no Han character, so one is enough to tell.
bool readsChinese(const QString& text) {
    for (const QChar c : text)
        if (c.script() == QChar::Script_Han)
            return true;
    return false;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase() {
        // The box's buttons are English before: the check below proves the loading.
        QMessageBox before(QMessageBox::Question, QString(), QString(),
                           QMessageBox::Yes | QMessageBox::No);
        QVERIFY(!readsChinese(before.button(QMessageBox::Yes)->text()));

        const QStringList loaded = LoadToolkitTranslations(*QCoreApplication::instance());
        QCOMPARE(loaded,
                 (QStringList{QStringLiteral("qtbase_zh_CN"), QStringLiteral("qtmultimedia_zh_CN"),
                              QStringLiteral("qtwebengine_zh_CN")}));
    }

    // The design's questions: a real question box, answered "No" by its button.
    void questionButtons() {
        QStringList texts;
        QTimer user;
        user.setInterval(20);
        connect(&user, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !texts.isEmpty())
                return;
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            QAbstractButton* no = box->button(QMessageBox::No);
            if (!yes || !no)
                return;
            texts << yes->text() << no->text();
            QMetaObject::invokeMethod(no, &QAbstractButton::click, Qt::QueuedConnection);
        });
        user.start();
        const bool answer = Dialogs().question(nullptr, QStringLiteral("是否继续？"));
        user.stop();

        QVERIFY(!answer);
        QCOMPARE(texts.size(), 2);
        for (const QString& text : std::as_const(texts))
            QVERIFY2(readsChinese(text), qPrintable(text));
        QVERIFY(texts[0] != texts[1]);
    }

    void textBoxEditMenu() {
        QLineEdit edit(QStringLiteral("text"));
        const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
        int actions = 0;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                continue;
            ++actions;
            QVERIFY2(readsChinese(action->text()), qPrintable(action->text()));
        }
        QVERIFY(actions >= 5); // undo, redo, cut, copy, paste, delete, select all
    }

    void webPageMenu() {
        QWebEnginePage page; // the default profile keeps nothing on disk
        for (const auto which :
             {QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload,
              QWebEnginePage::Copy, QWebEnginePage::Paste, QWebEnginePage::SelectAll,
              QWebEnginePage::CopyLinkToClipboard}) {
            const QString text = page.action(which)->text();
            QVERIFY2(readsChinese(text), qPrintable(text));
        }
    }

    // The texts a failed transfer leaves for its row and the status line.
    void networkErrors_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("refused") << "refused";
        QTest::newRow("closed without an answer") << "closed";
        QTest::newRow("cancelled") << "cancelled";
    }
    void networkErrors() {
        QFETCH(QString, how);
        TestApp context;
        RawServer raw;
        raw.add("/closed", QByteArray(), RawServer::End::Close);
        raw.add("/held", QByteArray(), RawServer::End::Hold);
        QString address;
        if (how == QLatin1String("refused")) {
            // A port that was just free: nothing listens there any more.
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            address = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
            probe.close();
        } else {
            address = raw.url(how == QLatin1String("closed") ? "/closed" : "/held");
        }

        TransferRequest request(context.values->transport());
        request.execute(address);
        if (how == QLatin1String("cancelled")) {
            QTRY_COMPARE_WITH_TIMEOUT(raw.requests("/held"), 1, 30000);
            request.cancel();
        }
        QTRY_VERIFY_WITH_TIMEOUT(request.isFinished(), 30000);
        QVERIFY(request.error() != QNetworkReply::NoError);
        QVERIFY2(readsChinese(request.errorString()), qPrintable(request.errorString()));
        raw.release();
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
