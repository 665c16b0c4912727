// The site login: the rules that find a login form's fields, the login panel
// driving a real embedded browser against the tests' own site, and the whole
// way from a web page instead of a PDF, through the automatic login, to the
// real PDF in both transfer modes.

#include "FixtureServer.h"
#include "TestApp.h"
#include "download/DownloadListModel.h"
#include "download/LoginForm.h"
#include "download/Scheduler.h"
#include "download/SiteLoginPanel.h"
#include "download/fFileDownload.h"
#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "platform/DocumentSnapshot.h"
#include "platform/Transport.h"
#include "platform/TransportCookieJar.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkCookie>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <httplib.h>
#include <map>
#include <mutex>

namespace {

constexpr int kLoadMs = 60000;
const QString Account = QStringLiteral("alice");
// Quotes, markup and form separators must reach the page as typed; the
// spaces around it are trimmed.
const QString TypedPassword = QStringLiteral("  p'w\"d&=<x>\\  ");
const QString Password = QStringLiteral("p'w\"d&=<x>\\");
const QString NoAddress = QStringLiteral("必须先设置登录网址！");
const QString NoCredentials = QStringLiteral("帐号登录,必须先设置登录帐号和登录密码！");

// The form posts the fixture site received, each as its fields.
class Submissions {
public:
    void add(const httplib::Request& req) {
        std::lock_guard lock(m_mutex);
        m_posts.push_back(req.params);
    }
    QList<QMap<QString, QString>> posts() const {
        std::lock_guard lock(m_mutex);
        QList<QMap<QString, QString>> out;
        for (const auto& post : m_posts) {
            QMap<QString, QString> fields;
            for (const auto& [key, value] : post)
                fields.insert(QString::fromStdString(key), QString::fromStdString(value));
            out.append(fields);
        }
        return out;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_posts.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::multimap<std::string, std::string>> m_posts;
};

// Runs inside the login's own waits (a timer fires in every nested event
// loop) and sets the pace of the program clock: while the panel logs in and a
// page loads, the clock stands still, so a slow machine never runs out of the
// page's time limit; while the login only waits, the clock runs a second per
// tick, so its pause after the submit passes in a moment.
class ClockDriver {
public:
    enum class Pace { Still, Fast, Real };
    explicit ClockDriver(std::function<Pace()> pace) : m_pace(std::move(pace)) {
        m_timer.setInterval(20);
        m_sinceTick.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double real = double(m_sinceTick.restart()) / 1000.0;
            switch (m_pace()) {
            case Pace::Still:
                app().clock().advance(-real);
                break;
            case Pace::Fast:
                app().clock().advance(1);
                break;
            case Pace::Real:
                break;
            }
        });
        m_timer.start();
    }

private:
    std::function<Pace()> m_pace;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
};

std::function<ClockDriver::Pace()> loginPace(SiteLoginPanel* panel) {
    QPointer<SiteLoginPanel> p(panel);
    return [p] {
        if (!p || p->Command5->isEnabled())
            return ClockDriver::Pace::Real;
        if (p->LoginPageLoading || p->Web1->busy())
            return ClockDriver::Pace::Still;
        return ClockDriver::Pace::Fast;
    };
}

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body>" + body + "</body></html>";
}

QByteArray form(const QByteArray& inputs) {
    return page("Sign in", "<form method=\"post\" action=\"/submit\">" + inputs + "</form>");
}

// The value of each named input of the shown page.
QMap<QString, QString> inputValues(Browser* browser) {
    QMap<QString, QString> values;
    const DocumentSnapshot doc = browser->snapshot();
    for (int i : doc.elementsByTag(-1, QStringLiteral("INPUT")))
        values.insert(doc.at(i).name, doc.at(i).value);
    return values;
}

SnapshotElement input(const QString& name, const QString& type = QStringLiteral("text")) {
    SnapshotElement e;
    e.tag = QStringLiteral("INPUT");
    e.name = name;
    e.type = type;
    return e;
}

// A document whose body holds the inputs "name:type" (type text when left out).
DocumentSnapshot formDocument(const QStringList& inputs) {
    SnapshotBuilder b(QStringLiteral("https://site.example/login"));
    SnapshotElement html;
    html.tag = QStringLiteral("HTML");
    b.open(html);
    SnapshotElement body;
    body.tag = QStringLiteral("BODY");
    b.open(body);
    SnapshotElement f;
    f.tag = QStringLiteral("FORM");
    b.open(f);
    for (const QString& described : inputs) {
        const QStringList parts = described.split(QLatin1Char(':'));
        b.add(input(parts.at(0), parts.value(1, QStringLiteral("text"))));
    }
    b.close();
    b.close();
    b.close();
    return b.take();
}

// The positions, among the inputs, of the snapshot indexes.
QList<int> inputPositions(const DocumentSnapshot& doc, const QVector<int>& indexes) {
    const QVector<int> inputs = doc.elementsByTag(-1, QStringLiteral("INPUT"));
    QList<int> out;
    for (int i : indexes)
        out.append(int(inputs.indexOf(i)));
    return out;
}

bool fileHolds(const QString& folder, const QByteArray& secret) {
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains(secret))
            return true;
    }
    return false;
}

} // namespace

class TestSiteLogin : public QObject {
    Q_OBJECT
    std::unique_ptr<FixtureServer> m_server;
    std::shared_ptr<Submissions> m_posts = std::make_shared<Submissions>();

    FixtureServer& server() { return *m_server; }

    static void bothModes() {
        QTest::addColumn<int>("mode");
        QTest::newRow("mode one") << 1;
        QTest::newRow("mode two") << 2;
    }

    // No cookie of an earlier test lets a run through: the browser's and the
    // transfers' (which follow the browser's) are both gone.
    static bool forgetCookies() {
        BrowserProfile::shared().profile()->cookieStore()->deleteAllCookies();
        return QTest::qWaitFor(
            [] {
                return BrowserProfile::shared().cookies().isEmpty() &&
                       app().transport().cookieJar().cookies().isEmpty();
            },
            kLoadMs);
    }

    void fillAccountLogin(SiteLoginPanel& panel, const QString& path) {
        panel.Option4->setChecked(true);
        panel.Text1->setText(server().url(path));
        panel.Text2->setText(Account);
        panel.Text3->setText(TypedPassword);
    }

private slots:
    void initTestCase() {
        m_server = std::make_unique<FixtureServer>();
        QVERIFY(server().isRunning());
        auto posts = m_posts;
        // Signs in whoever sends the right account and password.
        server().addRoute(QStringLiteral("/submit"), [posts](const httplib::Request& req,
                                                             httplib::Response& res) {
            posts->add(req);
            bool account = false;
            bool password = false;
            for (const auto& [key, value] : req.params) {
                account = account || value == Account.toStdString();
                password = password || value == Password.toStdString();
            }
            if (account && password)
                res.set_header("Set-Cookie", "sid=granted; Path=/");
            res.set_content(page("Signed in", "Welcome").toStdString(), "text/html");
        });
        // The article: its PDF for a signed-in session, a login page otherwise.
        server().addRoute(
            QStringLiteral("/paper.pdf"), [](const httplib::Request& req, httplib::Response& res) {
                if (req.get_header_value("Cookie").find("sid=granted") != std::string::npos) {
                    res.set_content(FixtureServer::generatedContent(4096).toStdString(),
                                    "application/pdf");
                } else {
                    res.set_content(
                        page("Sign in", "Please sign in to read this article").toStdString(),
                        "text/html");
                }
            });
        server().addPage(QStringLiteral("/login"),
                         form("<input name=\"UserName\"><input type=\"password\" name=\"PassWord\">"
                              "<input type=\"submit\" name=\"go\" value=\"Go\">"));
        server().addPage(QStringLiteral("/ip"),
                         page("IP login", "<input type=\"button\" id=\"submitip\" value=\"IP\""
                                          " onclick=\"location.href='/ip/granted'\">"));
        server().addPage(QStringLiteral("/ip/granted"), page("Signed in by IP", "ok"));
        server().addPage(QStringLiteral("/titled"), page("登录页", "hello"));
        // A PDF nobody may read: always the login page.
        server().addPage(QStringLiteral("/members.pdf"), page("Sign in", "members only"));
        server().addPage(QStringLiteral("/popped"), page("Popped", "in the panel"));
        server().addPage(QStringLiteral("/popup"),
                         page("Popup",
                              "<a id=\"out\" href=\"/popped\" target=\"_blank\">out</a>"
                              "<a id=\"blank\" href=\"about:blank\" target=\"_blank\">b</a>"
                              "<button id=\"closer\" onclick=\"window.close()\">x</button>"));
    }
    void cleanupTestCase() {
        server().releaseStalls();
        m_server.reset();
    }
    void init() {
        m_posts->clear();
        server().clearRequests();
    }

    // ------------------------------------------------------------ the rules

    void fieldChecks_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accountLogin");
        QTest::addColumn<int>("expected");
        const int ok = int(LoginFieldCheck::Ok);
        const int noAddress = int(LoginFieldCheck::NoAddress);
        const int noCredentials = int(LoginFieldCheck::NoCredentials);
        QTest::newRow("all set") << "http://a/"
                                 << "u"
                                 << "p" << true << ok;
        QTest::newRow("no address") << ""
                                    << "u"
                                    << "p" << true << noAddress;
        QTest::newRow("address of spaces") << "   "
                                           << "u"
                                           << "p" << true << noAddress;
        QTest::newRow("no address, ip") << " "
                                        << ""
                                        << "" << false << noAddress;
        QTest::newRow("no password") << "http://a/"
                                     << "u"
                                     << "" << true << noCredentials;
        QTest::newRow("password of spaces") << "http://a/"
                                            << "u"
                                            << "  " << true << noCredentials;
        QTest::newRow("no account") << "http://a/"
                                    << ""
                                    << "p" << true << noCredentials;
        QTest::newRow("ip without account") << "http://a/"
                                            << ""
                                            << "" << false << ok;
    }
    void fieldChecks() {
        QFETCH(QString, address);
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(bool, accountLogin);
        QFETCH(int, expected);
        const LoginFieldCheck check = CheckLoginFields(address, account, password, accountLogin);
        QCOMPARE(int(check), expected);
        const QStringList messages = {QString(), NoAddress, NoCredentials};
        QCOMPARE(LoginFieldMessage(check), messages.at(expected));
    }

    void accountPlan_data() {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<QList<int>>("accounts");  // positions among the inputs
        QTest::addColumn<QList<int>>("passwords"); // positions among the inputs
        QTest::addColumn<int>("submit");           // position, -1: not sent
        QTest::newRow("plain") << QStringList{"user", "pass:password", "go:submit"} << QList<int>{0}
                               << QList<int>{1} << 2;
        QTest::newRow("mixed case names")
            << QStringList{"UserName", "PassWord:password", "go:submit"} << QList<int>{0}
            << QList<int>{1} << 2;
        QTest::newRow("submit type in capitals")
            << QStringList{"USERID", "PASSWD:password", "go:SUBMIT"} << QList<int>{0}
            << QList<int>{1} << 2;
        QTest::newRow("submit before the fields")
            << QStringList{"early:submit", "useruid", "password:password", "late:submit"}
            << QList<int>{1} << QList<int>{2} << 3;
        QTest::newRow("two submits after the fields")
            << QStringList{"username", "passwd:password", "first:submit", "second:submit"}
            << QList<int>{0} << QList<int>{1} << 2;
        QTest::newRow("email is not an account")
            << QStringList{"email", "password:password", "go:submit"} << QList<int>{}
            << QList<int>{1} << -1;
        QTest::newRow("single field")
            << QStringList{"user", "go:submit"} << QList<int>{0} << QList<int>{} << -1;
        // Two account fields make two filled fields, but without a password
        // the site would only count a failed attempt against the account.
        QTest::newRow("two accounts, no password") << QStringList{"userid", "username", "go:submit"}
                                                   << QList<int>{0, 1} << QList<int>{} << -1;
        QTest::newRow("inputs after the submit are left alone")
            << QStringList{"user", "pass:password", "go:submit", "username", "password"}
            << QList<int>{0} << QList<int>{1} << 2;
        QTest::newRow("password first") << QStringList{"pass:password", "user", "go:submit"}
                                        << QList<int>{1} << QList<int>{0} << 2;
        QTest::newRow("no inputs") << QStringList{} << QList<int>{} << QList<int>{} << -1;
    }
    void accountPlan() {
        QFETCH(QStringList, inputs);
        QFETCH(QList<int>, accounts);
        QFETCH(QList<int>, passwords);
        QFETCH(int, submit);
        const DocumentSnapshot doc = formDocument(inputs);
        const AccountLoginPlan plan = PlanAccountLogin(doc);
        QCOMPARE(inputPositions(doc, plan.accountFields), accounts);
        QCOMPARE(inputPositions(doc, plan.passwordFields), passwords);
        QCOMPARE(plan.submit < 0 ? -1 : inputPositions(doc, {plan.submit}).first(), submit);
    }

    void noDocumentNoPlan() {
        DocumentSnapshot missing = formDocument({"user", "pass", "go:submit"});
        missing.present = false;
        const AccountLoginPlan plan = PlanAccountLogin(missing);
        QVERIFY(plan.accountFields.isEmpty());
        QCOMPARE(plan.submit, -1);
        QCOMPARE(FindIpLoginButton(missing), -1);
    }

    void ipButton() {
        SnapshotBuilder b;
        SnapshotElement body;
        body.tag = QStringLiteral("BODY");
        b.open(body);
        SnapshotElement other;
        other.tag = QStringLiteral("INPUT");
        other.id = QStringLiteral("SubmitIP"); // identifiers are compared as written
        b.add(other);
        SnapshotElement button;
        button.tag = QStringLiteral("BUTTON");
        button.id = QStringLiteral("submitip");
        const int index = b.add(button);
        b.close();
        const DocumentSnapshot doc = b.take();
        QCOMPARE(FindIpLoginButton(doc), index);
        QCOMPARE(FindIpLoginButton(formDocument({"user"})), -1);
    }

    void titles_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("shown");
        QTest::newRow("page") << "Sign in" << true;
        QTest::newRow("blank") << "about:blank" << false;
        QTest::newRow("blank in capitals, spaced") << "  About:Blank " << false;
        QTest::newRow("address") << "127.0.0.1:80/login" << true;
    }
    void titles() {
        QFETCH(QString, title);
        QFETCH(bool, shown);
        QCOMPARE(ShowsLoginTitle(title), shown);
    }

    // ------------------------------------------------------------ the panel

    void panelInTheWindow() {
        TestApp t;
        fFileDownload w;
        SiteLoginPanel* p = w.PicWebBK;
        QCOMPARE(w.findChild<SiteLoginPanel*>(QStringLiteral("PicWebBK")), p);
        const std::map<QString, QString> captions = {
            {"Option5", "IP登录"},         {"Option4", "帐号登录："},     {"Label10", "密码："},
            {"Label6", "网址："},          {"Command2", "浏览"},          {"Command5", "测试登录"},
            {"Command1", "网页登录"},      {"Command3", "关闭(隐藏)"},    {"Check2", "自动登录"},
            {"Label11", "自动登录条件："}, {"Check1", "自动刷新(每分钟)"}};
        for (const auto& [name, caption] : captions) {
            QWidget* control = w.findChild<QWidget*>(name);
            QVERIFY2(control, qPrintable(name));
            QCOMPARE(control->property("text").toString(), caption);
        }
        for (const char* name : {"Text1", "Text2", "Text3", "Combo3", "Web1"})
            QVERIFY2(w.findChild<QWidget*>(QLatin1String(name)), name);
        QCOMPARE(p->Combo3, w.Combo3);
        QCOMPARE(p->Combo3->count(), 1);
        QCOMPARE(p->Combo3->currentText(), QStringLiteral("下载到网页文件(htm/html/asp)文件"));
        QCOMPARE(p->Timer2, w.Timer2);
        QCOMPARE(p->Timer2->interval(), 60000);
        QVERIFY(!p->Timer2->isActive());

        // Hidden at first; the fields start empty and unticked.
        QVERIFY(!p->isVisibleTo(&w));
        QVERIFY(p->Command1->isVisibleTo(&w));
        QVERIFY(p->Option4->isChecked());
        QVERIFY(!p->Option5->isChecked());
        QVERIFY(!p->Check2->isChecked());
        QVERIFY(!p->Check1->isChecked());
        QVERIFY(p->Text1->text().isEmpty() && p->Text2->text().isEmpty() &&
                p->Text3->text().isEmpty());
        QCOMPARE(p->Text3->echoMode(), QLineEdit::Password);
        QVERIFY(p->Web1->silent());
        QTRY_COMPARE_WITH_TIMEOUT(p->Web1->address(), QStringLiteral("about:blank"), kLoadMs);
        QVERIFY(!w.scheduler()->options.autoLogin);
    }

    // The user's login: the checks speak and untick the automatic login.
    void loginNeedsItsFields_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<QString>("message");
        QTest::newRow("no address") << ""
                                    << "pw" << true << NoAddress;
        QTest::newRow("no password") << "http://127.0.0.1:9/"
                                     << "" << true << NoCredentials;
        QTest::newRow("from a transfer: silent") << ""
                                                 << "pw" << false << QString();
    }
    void loginNeedsItsFields() {
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(bool, byButton);
        QFETCH(QString, message);
        TestApp t;
        SiteLoginPanel panel;
        panel.Text1->setText(QStringLiteral("http://127.0.0.1:9/"));
        panel.Text2->setText(Account);
        panel.Text3->setText(QStringLiteral("pw"));
        panel.Check2->setChecked(true);
        QVERIFY(t.dialogs->all().isEmpty());
        panel.Text1->setText(address);
        panel.Text3->setText(password);
        if (byButton)
            panel.Command5->click();
        else
            panel.SiteLogin(false);
        QCOMPARE(t.dialogs->errors, message.isEmpty() ? QStringList() : QStringList{message});
        QVERIFY(!panel.Check2->isChecked());
        QVERIFY(panel.Command5->isEnabled());
    }

    void tickingAutoLoginChecksFields() {
        TestApp t;
        SiteLoginPanel panel;
        panel.Check2->click();
        QVERIFY(!panel.Check2->isChecked());
        panel.Text1->setText(server().url(QStringLiteral("/ip")));
        panel.Text2->setText(Account);
        panel.Check2->click();
        QVERIFY(!panel.Check2->isChecked());
        QCOMPARE(t.dialogs->errors, (QStringList{NoAddress, NoCredentials}));
        // Unticking says nothing; IP login needs no account.
        panel.Option5->setChecked(true);
        panel.Text2->clear();
        panel.Check2->click();
        QVERIFY(panel.Check2->isChecked());
        panel.Check2->click();
        QVERIFY(!panel.Check2->isChecked());
        QCOMPARE(t.dialogs->errors.size(), 2);
    }

    // Real forms in the real browser: which fields get the account and the
    // password, and which button sends them.
    void accountLoginInTheBrowser_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("inputs");
        QTest::addColumn<QString>("sentBy"); // empty: the form is not sent
        QTest::addColumn<QStringList>("notSent");
        QTest::addColumn<QString>("accountField");
        QTest::addColumn<QString>("passwordField");
        QTest::newRow("mixed case names")
            << "/form/mixed"
            << QByteArray("<input name=\"UserName\"><input type=\"password\" name=\"PassWord\">"
                          "<input type=\"submit\" name=\"go\" value=\"Go\">")
            << "go" << QStringList{} << "UserName"
            << "PassWord";
        QTest::newRow("submit before the fields")
            << "/form/early"
            << QByteArray("<input type=\"submit\" name=\"early\" value=\"E\"><input name=\"user\">"
                          "<input type=\"password\" name=\"pass\">"
                          "<input type=\"submit\" name=\"late\" value=\"L\">")
            << "late" << QStringList{"early"} << "user"
            << "pass";
        QTest::newRow("two submits after the fields")
            << "/form/two"
            << QByteArray("<input name=\"username\"><input type=\"password\" name=\"passwd\">"
                          "<input type=\"submit\" name=\"first\" value=\"1\">"
                          "<input type=\"submit\" name=\"second\" value=\"2\">")
            << "first" << QStringList{"second"} << "username"
            << "passwd";
        QTest::newRow("a field named email")
            << "/form/email"
            << QByteArray("<input name=\"email\"><input type=\"password\" name=\"password\">"
                          "<input type=\"submit\" name=\"go\" value=\"Go\">")
            << QString() << QStringList{} << QString() << "password";
    }
    void accountLoginInTheBrowser() {
        QFETCH(QString, path);
        QFETCH(QByteArray, inputs);
        QFETCH(QString, sentBy);
        QFETCH(QStringList, notSent);
        QFETCH(QString, accountField);
        QFETCH(QString, passwordField);
        TestApp t;
        server().addPage(path, form(inputs));
        SiteLoginPanel panel;
        fillAccountLogin(panel, path);
        ClockDriver driver(loginPace(&panel));

        panel.Command5->click();
        QVERIFY(panel.Command5->isEnabled());
        QVERIFY(t.dialogs->all().isEmpty());

        const auto posts = m_posts->posts();
        if (sentBy.isEmpty()) {
            QVERIFY(posts.isEmpty());
            const QMap<QString, QString> values = inputValues(panel.Web1);
            QCOMPARE(values.value(QStringLiteral("email")), QString());
            QCOMPARE(values.value(passwordField), Password);
            return;
        }
        QCOMPARE(posts.size(), 1);
        const QMap<QString, QString>& sent = posts.first();
        QVERIFY(sent.contains(sentBy));
        for (const QString& other : notSent)
            QVERIFY2(!sent.contains(other), qPrintable(other));
        QCOMPARE(sent.value(accountField), Account);
        QCOMPARE(sent.value(passwordField), Password);
        QCOMPARE(panel.Web1->title(), QStringLiteral("Signed in"));
    }

    void ipLogin() {
        TestApp t;
        SiteLoginPanel panel;
        panel.Option5->setChecked(true);
        panel.Text1->setText(server().url(QStringLiteral("/ip")));
        ClockDriver driver(loginPace(&panel));
        panel.Command5->click();
        QVERIFY(t.dialogs->all().isEmpty());
        QCOMPARE(server().requestsFor(QStringLiteral("/ip/granted")).size(), 1);
        QCOMPARE(panel.Web1->title(), QStringLiteral("Signed in by IP"));

        // A page without the IP button: nothing is clicked.
        panel.Text1->setText(server().url(QStringLiteral("/login")));
        panel.Command5->click();
        QVERIFY(m_posts->posts().isEmpty());
        QCOMPARE(panel.Web1->title(), QStringLiteral("Sign in"));
    }

    // A login page that never arrives: the login gives up after its time
    // limits on the program clock, without a message; pressing the button
    // again meanwhile starts nothing.
    void pageThatNeverCompletes() {
        TestApp t;
        SiteLoginPanel panel;
        fillAccountLogin(panel, QStringLiteral("/hang"));
        QPointer<SiteLoginPanel> p(&panel);
        bool browseDisabled = false;
        bool pressedAgain = false;
        ClockDriver driver([&] {
            if (!p || p->Command5->isEnabled())
                return ClockDriver::Pace::Real;
            if (server().requestsFor(QStringLiteral("/hang")).isEmpty())
                return ClockDriver::Pace::Still;
            browseDisabled = browseDisabled || !p->Command2->isEnabled();
            if (!pressedAgain) {
                pressedAgain = true;
                p->Command5->click();
                p->SiteLogin(true);
            }
            return ClockDriver::Pace::Fast;
        });
        const qint64 before = app().clock().monotonicMs();
        panel.Command5->click();
        QVERIFY(pressedAgain);
        QVERIFY(browseDisabled);
        QVERIFY(panel.Command5->isEnabled());
        QVERIFY(panel.Command2->isEnabled());
        QVERIFY(t.dialogs->all().isEmpty());
        QCOMPARE(server().requestsFor(QStringLiteral("/hang")).size(), 1);
        // Both limits passed: the page wait and the pause after it.
        QVERIFY(app().clock().monotonicMs() - before >=
                1000 * (SiteLoginPanel::PageWaitSeconds + SiteLoginPanel::SettleSeconds));
        server().releaseStalls();
    }

    // Pages of the login site stay in the panel: a new window opens in it, a
    // new window for "about:blank" is swallowed, window.close() is refused.
    void pageEventsStayInThePanel() {
        TestApp t;
        SiteLoginPanel panel;
        panel.Text1->setText(server().url(QStringLiteral("/popup")));
        panel.Command2->click();
        QCOMPARE(panel.Web1->title(), QStringLiteral("Popup"));
        QVERIFY(panel.Command2->isEnabled());
        QSignalSpy addresses(panel.Web1, &Browser::addressChanged);
        QSignalSpy refused(panel.Web1, &Browser::closeRefused);
        const DocumentSnapshot doc = panel.Web1->snapshot();
        QVERIFY(panel.Web1->click(doc.elementById(QStringLiteral("blank"))));
        QVERIFY(panel.Web1->click(doc.elementById(QStringLiteral("closer"))));
        QVERIFY(panel.Web1->click(doc.elementById(QStringLiteral("out"))));
        QTRY_COMPARE_WITH_TIMEOUT(panel.Web1->title(), QStringLiteral("Popped"), kLoadMs);
        QCOMPARE(panel.Web1->address(), server().url(QStringLiteral("/popped")));
        for (const auto& a : addresses)
            QVERIFY(a.first().toString() != QLatin1String("about:blank"));
        QVERIFY(!refused.isEmpty());
    }

    // The title goes to status-bar panel 3, except the blank page's; hiding
    // blanks the browser unless the keep-alive reloads it every minute.
    void titleHideAndKeepAlive() {
        TestApp t;
        fFileDownload w;
        w.resize(1000, 700);
        w.show();
        SiteLoginPanel* p = w.PicWebBK;
        w.AddDownloadItem(server().url(QStringLiteral("/titled")) + QStringLiteral("|http://b/"),
                          QStringLiteral("r"), QStringLiteral("pdf"), t.tempPath() + "/", {});
        w.ListView3->setCurrentIndex(w.list()->index(0, 0));

        // A login by hand: the panel comes up over the list with the row's page.
        QSignalSpy complete(p->Web1, &Browser::documentComplete);
        p->Command1->click();
        QVERIFY(p->isVisible());
        QCOMPARE(p->geometry(), w.ListView3->geometry());
        QTRY_COMPARE_WITH_TIMEOUT(w.panelText(3), QStringLiteral("登录页"), kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(!p->Web1->busy() && !complete.isEmpty(), kLoadMs);

        complete.clear();
        p->Command3->click();
        QVERIFY(!p->isVisibleTo(&w));
        QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), kLoadMs);
        QCOMPARE(p->Web1->address(), QStringLiteral("about:blank"));
        QCOMPARE(w.panelText(3), QStringLiteral("登录页"));

        // With the keep-alive ticked the page is neither changed by showing
        // nor blanked by hiding, and each tick reloads it.
        p->Text1->setText(server().url(QStringLiteral("/titled")));
        p->Command2->click();
        p->Check1->setChecked(true);
        QVERIFY(p->Timer2->isActive());
        p->Command1->click();
        p->Command3->click();
        const int loads = int(server().requestsFor(QStringLiteral("/titled")).size());
        p->Timer2_Timer();
        QVERIFY(server().waitForRequests(QStringLiteral("/titled"), loads + 1, kLoadMs));
        QTRY_VERIFY_WITH_TIMEOUT(!p->Web1->busy(), kLoadMs);
        QCOMPARE(p->Web1->address(), server().url(QStringLiteral("/titled")));
        p->Check1->setChecked(false);
        QVERIFY(!p->Timer2->isActive());
    }

    // Closing the window while its login waits on a page that never comes:
    // the wait ends with the window, which is then destroyed, whether the
    // login was the user's or a transfer's.
    void closingTheWindowDuringALogin_data() {
        QTest::addColumn<int>("startedBy"); // 0: the button, else the transfer mode
        QTest::newRow("test login button") << 0;
        QTest::newRow("mode-one transfer") << 1;
        QTest::newRow("mode-two transfer") << 2;
    }
    void closingTheWindowDuringALogin() {
        QFETCH(int, startedBy);
        TestApp t;
        t.values->flow().registerWindow(WindowNames::FileDownload,
                                        [] { return new fFileDownload; });
        QPointer<fFileDownload> w =
            qobject_cast<fFileDownload*>(app().flow().load(WindowNames::FileDownload));
        QVERIFY(w);
        w->show();
        QPointer<SiteLoginPanel> p = w->PicWebBK;
        p->Option5->setChecked(true);
        p->Text1->setText(server().url(QStringLiteral("/hang?close")));
        bool closed = false;
        bool closeAccepted = false;
        bool rescued = false;
        QElapsedTimer sinceClose;
        ClockDriver driver([&] {
            if (closed) {
                if (!rescued && sinceClose.elapsed() > 20000) {
                    rescued = true;
                    app().clock().advance(7200);
                }
                return ClockDriver::Pace::Real;
            }
            if (!p || p->Command5->isEnabled())
                return ClockDriver::Pace::Real;
            if (w && !server().requestsFor(QStringLiteral("/hang")).isEmpty()) {
                closed = true;
                closeAccepted = w->close();
                // Time runs backwards now: only the close can end the wait.
                app().clock().advance(-3600);
                sinceClose.start();
            }
            return ClockDriver::Pace::Still;
        });
        if (startedBy == 0) {
            p->Command5->click();
        } else {
            app().setDownloadMode(startedBy);
            w->Timer1->stop();
            p->Check2->setChecked(true);
            w->AddDownloadItem(server().url(QStringLiteral("/members.pdf")),
                               QStringLiteral("members"), QStringLiteral("pdf"),
                               t.tempPath() + QLatin1Char('/'), {});
            w->Command4->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(closed && w.isNull(), kLoadMs);
        QVERIFY(closeAccepted);
        QVERIFY(!rescued);
        server().releaseStalls();
    }

    // ------------------------------------------------------------ end to end

    // The site serves the PDF only to a signed-in session. The first fetch
    // brings its login page; the automatic login signs in in the panel's
    // browser; the automatic re-download then brings the PDF, with the
    // session cookie the site set during the login.
    void webPageLoginThenPdf_data() { bothModes(); }
    void webPageLoginThenPdf() {
        QFETCH(int, mode);
        TestApp t;
        // Each run signs in afresh.
        QVERIFY(forgetCookies());
        server().clearRequests();
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        app().setDownloadMode(mode);
        // Housekeeping by hand, so the re-download starts once the login is over.
        w->Timer1->stop();
        SiteLoginPanel* p = w->PicWebBK;
        fillAccountLogin(*p, QStringLiteral("/login"));
        p->Check2->setChecked(true);
        QVERIFY(p->Check2->isChecked());
        QVERIFY(w->scheduler()->options.autoLogin);
        w->Check3->setChecked(true);
        w->Combo4->setCurrentIndex(1); // web pages
        w->AddDownloadItem(server().url(QStringLiteral("/paper.pdf")), QStringLiteral("paper"),
                           QStringLiteral("pdf"), folder.path() + QLatin1Char('/'), {});
        ClockDriver driver(loginPace(p));

        w->Command4->click();
        // The first fetch brings the login page; the login it starts is over
        // when the panel's button is enabled again.
        QTRY_VERIFY_WITH_TIMEOUT(m_posts->posts().size() == 1 && p->Command5->isEnabled(), kLoadMs);
        QCOMPARE(w->list()->item(0).type, QStringLiteral("htm"));
        QCOMPARE(w->list()->item(0).state, ItemState::Finished);
        QVERIFY(!p->isVisibleTo(w));
        // The site's cookie reached the transport the transfers use.
        QTRY_VERIFY_WITH_TIMEOUT(
            [] {
                for (const QNetworkCookie& c : app().transport().cookieJar().cookies())
                    if (c.name() == "sid" && c.value() == "granted")
                        return true;
                return false;
            }(),
            kLoadMs);

        w->HousekeepingTick(); // auto re-download of web pages
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(0).state == ItemState::Finished &&
                                     w->list()->item(0).type == QLatin1String("pdf"),
                                 kLoadMs);
        QFile pdf(folder.path() + QStringLiteral("/paper.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), FixtureServer::generatedContent(4096));
        QVERIFY(!QFile::exists(folder.path() + QStringLiteral("/paper.htm")));

        const auto fetches = server().requestsFor(QStringLiteral("/paper.pdf"));
        QCOMPARE(fetches.size(), 2);
        QVERIFY(!fetches.at(0).header("Cookie").contains("sid=granted"));
        QVERIFY(fetches.at(1).header("Cookie").contains("sid=granted"));
        QCOMPARE(m_posts->posts().size(), 1); // one login only
        QCOMPARE(m_posts->posts().first().value(QStringLiteral("PassWord")), Password);
        QVERIFY(t.dialogs->all().isEmpty());

        // The account and password were never written anywhere.
        w->Command31->click();
        QVERIFY(w->close());
        window.reset();
        for (const QByteArray& secret : {Password.toUtf8(), QUrl::toPercentEncoding(Password)}) {
            QVERIFY(!fileHolds(t.tempPath(), secret));
            QVERIFY(!fileHolds(BrowserProfile::storageRoot(), secret));
            QVERIFY(!fileHolds(folder.path(), secret));
        }
    }

    // ------------------------------------------------------------ robot check

    // The site puts a check page (403, a form and a script) in front of the
    // PDF. The run pauses on it and shows it in the panel; once the user has
    // passed it there (the form sets the site's cookie in the browser), the
    // run fetches the PDF by itself.
    void robotCheckPassedInThePanel_data() { bothModes(); }
    void robotCheckPassedInThePanel() {
        QFETCH(int, mode);
        TestApp t;
        QVERIFY(forgetCookies());
        server().clearRequests();
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(mode);
        w->Check5->setChecked(true); // auto stop: the check must not count toward it
        SiteLoginPanel* p = w->PicWebBK;
        const QString path = QStringLiteral("/check/paper%1.pdf").arg(mode);
        w->AddDownloadItem(server().url(path), QStringLiteral("paper"), QStringLiteral("pdf"),
                           folder.path() + QLatin1Char('/'), {});

        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck(), kLoadMs);
        QVERIFY(p->isVisibleTo(w));
        QCOMPARE(w->panelText(2), QStringLiteral("需要在网页中完成验证"));
        QCOMPARE(w->list()->item(0).state, ItemState::Waiting);
        QCOMPARE(w->list()->CountErrorRows(), 0);
        QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        // The panel shows the check for the row's address.
        QTRY_VERIFY_WITH_TIMEOUT(
            p->Web1->title() == QLatin1String("Just a moment") && !p->Web1->busy(), kLoadMs);
        QCOMPARE(QUrl(p->Web1->address()).path(), path);
        // "网址：" shows the address being checked.
        QCOMPARE(p->Text1->text(), server().url(path));
        QCOMPARE(t.notices->notices, QStringList{QStringLiteral("需要在网页中完成验证|paper")});
        // Nothing starts while the check waits, tick as it may.
        w->HousekeepingTick();
        QVERIFY(w->scheduler()->waitingForRobotCheck());
        QVERIFY(w->Timer_Down->isActive());

        // The user passes the check in the panel's browser.
        bool ok = false;
        p->Web1->evaluate(QStringLiteral("document.getElementById('check').submit(); true"),
                          kLoadMs, &ok);
        QVERIFY(ok);
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(0).state == ItemState::Finished, kLoadMs);
        QCOMPARE(w->list()->item(0).type, QStringLiteral("pdf"));
        QFile pdf(folder.path() + QStringLiteral("/paper.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), FixtureServer::generatedContent(4096));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("paper.pdf")});
        QVERIFY(!w->scheduler()->waitingForRobotCheck());
        // The site serves the PDF only with the cookie the browser got: the
        // transfer's first fetch went without it, its last one with it.
        const QList<FixtureRequest> fetches = server().requestsFor(path);
        QVERIFY(!fetches.first().header("Cookie").contains("passed=1"));
        QVERIFY(fetches.last().header("Cookie").contains("passed=1"));
        // The check is behind the run: the panel no longer stands over the list.
        QTRY_VERIFY_WITH_TIMEOUT(!p->isVisibleTo(w), kLoadMs);
        QVERIFY(p->robotCheckAddress().isEmpty());
        QVERIFY(p->Text1->text().isEmpty());
        QVERIFY(!p->Text1->isReadOnly());
        w->Command31->click();
        QVERIFY(w->close());
    }

    // The person sends the check's form before the check page has completed
    // (a picture of it never arrives): the page completed next is the one
    // after the check, at the check's own address, and lets the run go on.
    void checkFormSentBeforeItsPageCompleted_data() { bothModes(); }
    void checkFormSentBeforeItsPageCompleted() {
        QFETCH(int, mode);
        TestApp t;
        QVERIFY(forgetCookies());
        server().clearRequests();
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(mode);
        SiteLoginPanel* p = w->PicWebBK;
        const QString path = QStringLiteral("/slowcheck/early%1.pdf").arg(mode);
        w->AddDownloadItem(server().url(path), QStringLiteral("early"), QStringLiteral("pdf"),
                           folder.path() + QLatin1Char('/'), {});
        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck(), kLoadMs);
        // The check page is shown, its picture still on the way.
        const auto pictureAsked = [&] {
            for (const FixtureRequest& r : server().requestsFor(QStringLiteral("/hang")))
                if (r.target.endsWith(path.toUtf8()))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(pictureAsked(), kLoadMs);
        bool ok = false;
        QTRY_COMPARE_WITH_TIMEOUT(p->Web1->evaluate(QStringLiteral("document.title"), kLoadMs, &ok),
                                  QVariant(QStringLiteral("Just a moment")), kLoadMs);
        QCOMPARE(p->Web1->evaluate(QStringLiteral("document.readyState"), kLoadMs, &ok),
                 QVariant(QStringLiteral("interactive")));
        p->Web1->evaluate(QStringLiteral("document.getElementById('check').submit(); true"),
                          kLoadMs, &ok);
        QVERIFY(ok);
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(0).state == ItemState::Finished, kLoadMs);
        QFile pdf(folder.path() + QStringLiteral("/early.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), FixtureServer::generatedContent(4096));
        server().releaseStalls();
        w->Command31->click();
        QVERIFY(w->close());
    }

    // The cookie that lets a person through reaches the browser only after
    // the page that follows the check has completed: the row tried on that
    // page meets the check again, and the cookie's arrival lets the run go
    // on by itself.
    void checkCookieArrivesAfterThePage_data() { bothModes(); }
    void checkCookieArrivesAfterThePage() {
        QFETCH(int, mode);
        TestApp t;
        QVERIFY(forgetCookies());
        server().clearRequests();
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(mode);
        SiteLoginPanel* p = w->PicWebBK;
        const QString path = QStringLiteral("/check/late%1.pdf").arg(mode);
        w->AddDownloadItem(server().url(path), QStringLiteral("late"), QStringLiteral("pdf"),
                           folder.path() + QLatin1Char('/'), {});
        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck(), kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            p->Web1->title() == QLatin1String("Just a moment") && !p->Web1->busy(), kLoadMs);

        // The transfers ask for the body as it is stored; the browser does not.
        const auto tries = [&] {
            int n = 0;
            for (const FixtureRequest& r : server().requestsFor(path))
                n += r.header("Accept-Encoding") == "identity";
            return n;
        };
        QCOMPARE(tries(), 1);

        // The user goes on to another page before the site's cookie is there:
        // the row is tried again and meets the check again.
        p->Web1->navigate(server().url(QStringLiteral("/after-the-check")));
        QTRY_COMPARE_WITH_TIMEOUT(tries(), 2, kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck() &&
                                     w->list()->item(0).state == ItemState::Waiting,
                                 kLoadMs);

        // Then the cookie arrives.
        QNetworkCookie passed("passed", "1");
        passed.setPath(QStringLiteral("/"));
        BrowserProfile::shared().profile()->cookieStore()->setCookie(
            passed, QUrl(server().url(QStringLiteral("/"))));
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(0).state == ItemState::Finished, kLoadMs);
        QFile pdf(folder.path() + QStringLiteral("/late.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), FixtureServer::generatedContent(4096));
        QVERIFY(server().requestsFor(path).last().header("Cookie").contains("passed=1"));
        w->Command31->click();
        QVERIFY(w->close());
    }

    // The user hides the panel during a check wait: the run still waits on
    // the check. "网页登录" shows it again, and once it is passed there the
    // run goes on by itself, without "开始下载". In mode two another worker
    // finishes meanwhile; the status bar keeps saying why the run holds.
    void hiddenCheckPassedThroughWebLogin_data() { bothModes(); }
    void hiddenCheckPassedThroughWebLogin() {
        QFETCH(int, mode);
        TestApp t;
        QVERIFY(forgetCookies());
        server().clearRequests();
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(mode);
        SiteLoginPanel* p = w->PicWebBK;
        const QString loginAddress = server().url(QStringLiteral("/login"));
        p->Text1->setText(loginAddress);
        const QString path = QStringLiteral("/check/hidden%1.pdf").arg(mode);
        if (mode == 2) {
            w->Combo1->setCurrentIndex(1); // two workers
            w->AddDownloadItem(server().url(QStringLiteral("/stall/1000/6000")),
                               QStringLiteral("slow"), QStringLiteral("pdf"),
                               folder.path() + QLatin1Char('/'), {});
        }
        w->AddDownloadItem(server().url(path), QStringLiteral("paper"), QStringLiteral("pdf"),
                           folder.path() + QLatin1Char('/'), {});
        const int checkRow = w->list()->count() - 1;

        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck(), kLoadMs);
        QVERIFY(p->isVisibleTo(w));
        QCOMPARE(p->Text1->text(), server().url(path));
        QVERIFY(p->Text1->isReadOnly());

        // Hidden: nothing is forgotten, nothing starts.
        p->Command3->click();
        QVERIFY(!p->isVisibleTo(w));
        QVERIFY(p->robotCheckHidden());
        QCOMPARE(p->Text1->text(), loginAddress);
        QVERIFY(!p->Text1->isReadOnly());
        QTRY_COMPARE_WITH_TIMEOUT(p->Web1->address(), QStringLiteral("about:blank"), kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(!p->Web1->busy(), kLoadMs);
        if (mode == 2) {
            server().releaseStalls();
            QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(0).state == ItemState::Finished, kLoadMs);
        }
        w->HousekeepingTick();
        QVERIFY(w->scheduler()->waitingForRobotCheck());
        QVERIFY(w->Timer_Down->isActive());
        QCOMPARE(w->list()->item(checkRow).state, ItemState::Waiting);
        QCOMPARE(w->panelText(2), QStringLiteral("需要在网页中完成验证"));

        // "网页登录" shows the check again, on its own address.
        p->Command1->click();
        QVERIFY(p->isVisibleTo(w));
        QVERIFY(!p->robotCheckHidden());
        QCOMPARE(p->Text1->text(), server().url(path));
        QTRY_VERIFY_WITH_TIMEOUT(
            p->Web1->title() == QLatin1String("Just a moment") && !p->Web1->busy(), kLoadMs);
        QCOMPARE(QUrl(p->Web1->address()).path(), path);
        QVERIFY(w->scheduler()->waitingForRobotCheck());

        // Passed there, the run goes on without a click.
        bool ok = false;
        p->Web1->evaluate(QStringLiteral("document.getElementById('check').submit(); true"),
                          kLoadMs, &ok);
        QVERIFY(ok);
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(checkRow).state == ItemState::Finished, kLoadMs);
        QCOMPARE(w->list()->item(checkRow).type, QStringLiteral("pdf"));
        QFile pdf(folder.path() + QStringLiteral("/paper.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(pdf.readAll(), FixtureServer::generatedContent(4096));
        QTRY_VERIFY_WITH_TIMEOUT(!p->isVisibleTo(w), kLoadMs);
        QCOMPARE(p->Text1->text(), loginAddress);
        // Told once; the run's end (housekeeping runs meanwhile) may follow.
        QCOMPARE(t.notices->summaries().count(QStringLiteral("需要在网页中完成验证")), 1);
        QCOMPARE(t.notices->summaries().first(), QStringLiteral("需要在网页中完成验证"));
        w->Command31->click();
        QVERIFY(w->close());
    }

    // A check nobody passes stops the run at the limit; the panel keeps the
    // check page for whoever comes back, and the status bar says why.
    void checkTimeOutKeepsThePage() {
        TestApp t;
        QVERIFY(forgetCookies());
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(2);
        w->Check4->setChecked(true); // auto start must not bring the check back
        SiteLoginPanel* p = w->PicWebBK;
        const QString path = QStringLiteral("/check/timeout.pdf");
        w->AddDownloadItem(server().url(path), QStringLiteral("paper"), QStringLiteral("pdf"),
                           folder.path() + QLatin1Char('/'), {});
        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->scheduler()->waitingForRobotCheck(), kLoadMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            p->Web1->title() == QLatin1String("Just a moment") && !p->Web1->busy(), kLoadMs);

        app().clock().advance(10 * 60 + 1);
        QTRY_COMPARE_WITH_TIMEOUT(w->panelText(2), QStringLiteral("等待网页验证超时，已停止下载"),
                                  kLoadMs);
        QVERIFY(!w->Timer_Down->isActive());
        QCOMPARE(w->list()->item(0).state, ItemState::Waiting);
        QCOMPARE(w->list()->CountErrorRows(), 0);
        QVERIFY(p->isVisibleTo(w));
        QCOMPARE(p->Web1->title(), QStringLiteral("Just a moment"));
        QCOMPARE(t.notices->summaries().last(), QStringLiteral("等待网页验证超时，已停止下载"));
        w->HousekeepingTick();
        QVERIFY(!w->Timer_Down->isActive());
        QCOMPARE(w->panelText(2), QStringLiteral("等待网页验证超时，已停止下载"));
        QVERIFY(w->close());
    }

    // A run that stops on web pages shows the last page in the panel and says why.
    void stopOnWebPagesShowsTheLastPage() {
        TestApp t;
        QTemporaryDir folder;
        std::unique_ptr<fFileDownload> window(new fFileDownload);
        fFileDownload* w = window.get();
        w->show();
        app().setDownloadMode(1);
        w->Timer1->stop();
        w->Check5->setChecked(true);
        for (int k = 0; k < 5; ++k)
            w->AddDownloadItem(server().url(QStringLiteral("/error.pdf?%1").arg(k)),
                               QStringLiteral("page%1").arg(k), QStringLiteral("pdf"),
                               folder.path() + QLatin1Char('/'), {});
        w->AddDownloadItem(server().url(QStringLiteral("/file.pdf")), QStringLiteral("after"),
                           QStringLiteral("pdf"), folder.path() + QLatin1Char('/'), {});
        w->Command4->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->list()->item(4).state == ItemState::Finished, kLoadMs);
        // The fifth web page holds back the next start.
        QCOMPARE(w->list()->item(5).state, ItemState::Waiting);
        QVERIFY(!w->PicWebBK->isVisibleTo(w));
        w->HousekeepingTick();
        QVERIFY(!w->Timer_Down->isActive());
        SiteLoginPanel* p = w->PicWebBK;
        QVERIFY(p->isVisibleTo(w));
        QCOMPARE(w->panelText(2), QStringLiteral("已停止下载：有5个以上下载出错或者网页文件"));
        QTRY_VERIFY_WITH_TIMEOUT(p->Web1->title() == QLatin1String("Sign in"), kLoadMs);
        QCOMPARE(QUrl(p->Web1->address()).toLocalFile(),
                 folder.path() + QStringLiteral("/page4.htm"));
        QVERIFY(w->close());
    }
};

int main(int argc, char* argv[]) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    QTemporaryDir browserStorage;
    BrowserProfile::setStorageRoot(browserStorage.path());
    TestSiteLogin test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sitelogin.moc"
