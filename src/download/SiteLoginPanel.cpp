#include "download/SiteLoginPanel.h"

#include "download/LoginForm.h"
#include "download/WindowPlacement.h"
#include "platform/Browser.h"
#include "platform/BrowserProfile.h"
#include "platform/Wait.h"
#include "shell/AppValues.h"
#include "shell/FlowLayout.h"
#include "shell/WindowRoutines.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {
const QString Blank = QStringLiteral("about:blank");
const QString InputTag = QStringLiteral("INPUT");

bool IsBlankAddress(const QString& address) {
    const QString a = address.trimmed();
    return a.isEmpty() || a.compare(Blank, Qt::CaseInsensitive) == 0;
}

qint64 nowMs() {
    return app().clock().monotonicMs();
}
} // namespace

SiteLoginPanel::SiteLoginPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("PicWebBK"));
    setAutoFillBackground(true);

    Option5 = named(new QRadioButton(QStringLiteral("IP登录"), this), QStringLiteral("Option5"));
    Option4 =
        named(new QRadioButton(QStringLiteral("帐号登录："), this), QStringLiteral("Option4"));
    Text2 = named(new QLineEdit(this), QStringLiteral("Text2"));
    Label10 = named(new QLabel(QStringLiteral("密码："), this), QStringLiteral("Label10"));
    Text3 = named(new QLineEdit(this), QStringLiteral("Text3"));
    // Shown as dots.
    Text3->setEchoMode(QLineEdit::Password);
    Label6 = named(new QLabel(QStringLiteral("网址："), this), QStringLiteral("Label6"));
    Text1 = named(new QLineEdit(this), QStringLiteral("Text1"));
    Text1->setMinimumWidth(240);
    Command2 = named(new QPushButton(QStringLiteral("浏览"), this), QStringLiteral("Command2"));
    Command5 = named(new QPushButton(QStringLiteral("测试登录"), this), QStringLiteral("Command5"));
    Command1 = named(new QPushButton(QStringLiteral("网页登录"), this), QStringLiteral("Command1"));
    Command3 =
        named(new QPushButton(QStringLiteral("关闭(隐藏)"), this), QStringLiteral("Command3"));
    Check2 = named(new QCheckBox(QStringLiteral("自动登录"), this), QStringLiteral("Check2"));
    Label11 = named(new QLabel(QStringLiteral("自动登录条件："), this), QStringLiteral("Label11"));
    Combo3 = named(new QComboBox(this), QStringLiteral("Combo3"));
    Combo3->addItem(QStringLiteral("下载到网页文件(htm/html/asp)文件"));
    Combo3->setCurrentIndex(0);
    Check1 =
        named(new QCheckBox(QStringLiteral("自动刷新(每分钟)"), this), QStringLiteral("Check1"));
    Timer2 = named(new QTimer(this), QStringLiteral("Timer2"));
    Timer2->setInterval(60000);

    Web1 = named(new Browser(this), QStringLiteral("Web1"));
    app().useBrowserProfile();
    Web1->setSilent(true);

    Option4->setChecked(true);
    Check2->setChecked(false);
    Check1->setChecked(false);

    // The fields flow into more rows when the window is narrow or the font
    // large, each caption with its field.
    auto* top = new FlowLayout;
    top->addWidget(Option5);
    top->addLayout(OnePiece({Option4, Text2}));
    top->addLayout(OnePiece({Label10, Text3}));
    top->addLayout(OnePiece({Label6, Text1}));
    top->addLayout(OnePiece({Command2, Command5, Command3}));
    auto* second = new FlowLayout;
    second->addWidget(Check2);
    second->addSpacing(12);
    second->addLayout(OnePiece({Label11, Combo3}));
    second->addSpacing(12);
    second->addWidget(Check1);
    NameAfterCaption(Text2, Option4->text());
    LabelFor(Label10, Text3);
    LabelFor(Label6, Text1);
    LabelFor(Label11, Combo3);
    NameAfterCaption(Web1, QStringLiteral("网页登录"));
    TabToCheckedOption({Option5, Option4});
    auto* layout = new QVBoxLayout(this);
    const int inset = Twips::toPixels(40);
    layout->setContentsMargins(inset, inset, inset, inset);
    layout->addLayout(top);
    layout->addLayout(second);
    layout->addWidget(Web1, 1);

    connect(Command2, &QPushButton::clicked, this, &SiteLoginPanel::Command2_Click);
    connect(Command5, &QPushButton::clicked, this, &SiteLoginPanel::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &SiteLoginPanel::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &SiteLoginPanel::Command3_Click);
    connect(Check2, &QCheckBox::toggled, this, &SiteLoginPanel::Check2_Click);
    connect(Check1, &QCheckBox::toggled, this, &SiteLoginPanel::Check1_Click);
    connect(Timer2, &QTimer::timeout, this, &SiteLoginPanel::Timer2_Timer);

    connect(Web1, &Browser::titleChanged, this, [this](const QString& title) {
        if (ShowsLoginTitle(title))
            emit titleShown(title);
    });
    // Frames of a page do not complete the page.
    connect(Web1, &Browser::documentComplete, this, [this] {
        m_blankShown = true;
        LoginPageLoading = false;
        // The blank page the panel shows when hidden may complete after the
        // check was asked for again: it is no page the user reached.
        if (IsBlankAddress(Web1->address()))
            return;
        if (pastRobotCheck())
            emit robotCheckPageChanged();
    });
    // A person may send the check's form before its page has completed (a
    // slow script or picture): the completion that follows is then that of
    // the next page, at the check's own address as often as not. So what
    // counts is a navigation after the check's own, not a completion.
    connect(Web1, &Browser::navigationStarting, this, [this] {
        if (!m_checkAddress.isEmpty())
            ++m_checkNavigations;
    });
    // The cookie mirror was connected to the store first, so the transfers
    // carry this cookie by the time the run tries the row again.
    connect(&BrowserProfile::shared(), &BrowserProfile::cookieAdded, this, [this] {
        if (pastRobotCheck())
            emit robotCheckPageChanged();
    });

    hide();
    Web1->navigate(Blank);
}

SiteLoginPanel::~SiteLoginPanel() {
    m_closed = true;
}

void SiteLoginPanel::closeDown() {
    m_closed = true;
    Timer2->stop();
    Web1->stop();
}

// ---------------------------------------------------------------- waits

bool SiteLoginPanel::waitForPage(qint64 startMs) {
    QPointer<SiteLoginPanel> self(this);
    const qint64 limit = qint64(PageWaitSeconds) * 1000;
    Wait::until([&] {
        return !self || m_closed || !(Web1->busy() || LoginPageLoading) ||
               nowMs() - startMs > limit;
    });
    return self && !m_closed;
}

bool SiteLoginPanel::waitSeconds(int seconds) {
    QPointer<SiteLoginPanel> self(this);
    const qint64 start = nowMs();
    Wait::until([&] { return !self || m_closed || nowMs() - start >= qint64(seconds) * 1000; });
    return self && !m_closed;
}

QString SiteLoginPanel::loginAddress() const {
    return m_checkInField ? m_loginAddress : Text1->text();
}

bool SiteLoginPanel::loadLoginAddress() {
    const QString address = loginAddress().trimmed();
    if (address.isEmpty())
        return true;
    QPointer<SiteLoginPanel> self(this);
    Command2->setEnabled(false);
    const qint64 start = nowMs();
    LoginPageLoading = true;
    Web1->navigate(address);
    bool going = waitForPage(start);
    // A blank page still loading when the address was asked for (the first
    // page of the panel, the blank page it shows when hidden) ends with a
    // "complete" of its own that ends the wait, and the engine drops the new
    // address with it. Asked again, the login page loads.
    if (going && !LoginPageLoading && IsBlankAddress(Web1->address()) && !IsBlankAddress(address)) {
        LoginPageLoading = true;
        Web1->navigate(address);
        going = waitForPage(start);
    }
    if (self)
        Command2->setEnabled(true);
    return going;
}

bool SiteLoginPanel::clickAndWait(int index, const QString& tag) {
    QPointer<SiteLoginPanel> self(this);
    const qint64 start = nowMs();
    LoginPageLoading = true;
    Web1->click(index, tag);
    if (!self || m_closed)
        return false;
    return waitForPage(start);
}

// ---------------------------------------------------------------- the login

void SiteLoginPanel::SiteLogin(bool showMessages) {
    const bool accountLogin = Option4->isChecked();
    const LoginFieldCheck check =
        CheckLoginFields(loginAddress(), Text2->text(), Text3->text(), accountLogin);
    if (check != LoginFieldCheck::Ok) {
        if (showMessages)
            app().dialogs().error(this, LoginFieldMessage(check));
        Check2->setChecked(false);
        return;
    }
    if (!Command5->isEnabled() || m_closed)
        return;
    Command5->setEnabled(false);

    QPointer<SiteLoginPanel> self(this);
    // Taken now: the fields may change while the login waits.
    const QString account = Text2->text().trimmed();
    const QString password = Text3->text().trimmed();

    // The blank page the panel opens on completes late when a transfer asks
    // for a login right after the window opened; its completion must not pass
    // for the login page's. Asking for the address again when the page wait
    // ends on a blank page (loadLoginAddress) does not catch every case of
    // this one: that completion can end the wait while the address shown is
    // no longer blank.
    if (!m_blankShown) {
        const qint64 opened = nowMs();
        Wait::until([&] {
            return !self || m_closed || m_blankShown ||
                   nowMs() - opened > qint64(PageWaitSeconds) * 1000;
        });
        if (!self)
            return;
        if (m_closed) {
            Command5->setEnabled(true);
            return;
        }
    }
    bool going = loadLoginAddress();
    if (going)
        going = accountLogin ? loginAccount(account, password) : loginIp();
    // The site finishes the login meanwhile (its cookies reach the downloads).
    if (going)
        waitSeconds(SettleSeconds);
    if (self)
        Command5->setEnabled(true);
}

bool SiteLoginPanel::loginAccount(const QString& account, const QString& password) {
    QPointer<SiteLoginPanel> self(this);
    const DocumentSnapshot document = Web1->snapshot();
    if (!self || m_closed)
        return false;
    const AccountLoginPlan plan = PlanAccountLogin(document);
    // A field that cannot be set is skipped; the form is sent anyway.
    for (int i : plan.accountFields) {
        Web1->setInputValue(i, account, InputTag);
        if (!self || m_closed)
            return false;
    }
    for (int i : plan.passwordFields) {
        Web1->setInputValue(i, password, InputTag);
        if (!self || m_closed)
            return false;
    }
    if (plan.submit >= 0)
        return clickAndWait(plan.submit, InputTag);
    return true;
}

bool SiteLoginPanel::loginIp() {
    QPointer<SiteLoginPanel> self(this);
    const DocumentSnapshot document = Web1->snapshot();
    if (!self || m_closed)
        return false;
    const int button = FindIpLoginButton(document);
    if (button >= 0)
        return clickAndWait(button, document.at(button).tag);
    return true;
}

// ---------------------------------------------------------------- handlers

void SiteLoginPanel::Command2_Click() {
    loadLoginAddress();
}

void SiteLoginPanel::Command5_Click() {
    SiteLogin(true);
}

void SiteLoginPanel::Command1_Click() {
    show();
    raise();
    // A check the run still waits on comes first: passed here, it lets the
    // run go on by itself.
    if (!m_checkAddress.isEmpty()) {
        if (m_checkHidden && !m_closed)
            loadRobotCheck();
        return;
    }
    if (Check2->isChecked() || Check1->isChecked())
        return;
    const QString address = currentRowAddress ? currentRowAddress() : QString();
    if (!address.trimmed().isEmpty())
        Web1->navigate(address);
}

void SiteLoginPanel::showRobotCheck(const QString& address) {
    show();
    raise();
    if (address.trimmed().isEmpty() || m_closed)
        return;
    if (address == m_checkAddress && !m_checkHidden)
        return;
    m_checkAddress = address;
    loadRobotCheck();
}

void SiteLoginPanel::loadRobotCheck() {
    m_checkHidden = false;
    m_checkNavigations = 0;
    showCheckAddressField(true);
    Web1->navigate(m_checkAddress);
}

bool SiteLoginPanel::pastRobotCheck() const {
    // A hidden check is no page the user reached.
    return !m_checkAddress.isEmpty() && !m_checkHidden && m_checkNavigations >= 2;
}

void SiteLoginPanel::showCheckAddressField(bool checked) {
    if (checked == m_checkInField) {
        if (checked)
            Text1->setText(m_checkAddress);
        return;
    }
    m_checkInField = checked;
    if (checked) {
        m_loginAddress = Text1->text();
        Text1->setText(m_checkAddress);
    } else {
        Text1->setText(m_loginAddress);
        m_loginAddress.clear();
    }
    // The login's own address is not edited over the check's.
    Text1->setReadOnly(checked);
}

void SiteLoginPanel::endRobotCheck() {
    m_checkAddress.clear();
    m_checkHidden = false;
    m_checkNavigations = 0;
    showCheckAddressField(false);
}

void SiteLoginPanel::closeRobotCheck() {
    if (m_checkAddress.isEmpty())
        return;
    const bool shown = !m_checkHidden && !isHidden();
    endRobotCheck();
    if (shown && !m_closed)
        Command3_Click();
}

void SiteLoginPanel::showStoppedPage(const QString& path) {
    if (m_closed)
        return;
    endRobotCheck();
    show();
    raise();
    Web1->navigate(QUrl::fromLocalFile(path));
}

void SiteLoginPanel::Command3_Click() {
    // The run still waits on a check hidden here; shown again ("网页登录", or
    // the next row that meets it) it loads anew.
    if (!m_checkAddress.isEmpty()) {
        m_checkHidden = true;
        showCheckAddressField(false);
    }
    hide();
    if (!Check1->isChecked())
        Web1->navigate(Blank);
}

void SiteLoginPanel::Check2_Click() {
    if (!Check2->isChecked())
        return;
    const LoginFieldCheck check =
        CheckLoginFields(loginAddress(), Text2->text(), Text3->text(), Option4->isChecked());
    if (check == LoginFieldCheck::Ok)
        return;
    app().dialogs().error(this, LoginFieldMessage(check));
    Check2->setChecked(false);
}

void SiteLoginPanel::Check1_Click() {
    if (Check1->isChecked() && !m_closed)
        Timer2->start();
    else
        Timer2->stop();
}

void SiteLoginPanel::Timer2_Timer() {
    // A reload in the middle of a login would throw away the filled form or
    // the page its submit is bringing; the login itself keeps the site awake.
    if (!Command5->isEnabled())
        return;
    Web1->reload();
}
