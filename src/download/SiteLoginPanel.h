#pragma once

#include <QWidget>
#include <functional>

class Browser;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

// The download window's login panel `PicWebBK`: its own embedded browser
// `Web1` on the program's browser profile, in which the program signs in to
// the site by the site's IP login button or by account and password, or the
// user signs in by hand. Cookies the site sets here reach the downloads
// through the profile's cookie mirror.
//
// The address, account and password live only in the panel's fields: nothing
// writes them to the settings or anywhere else, and they start empty.
//
// Every wait yields to the event loop and reads the program clock. While a
// login waits, ticks and transfer events run; `Command5` being disabled keeps a
// second login from starting meanwhile. closeDown() (the window is closing)
// ends every wait at once.
class SiteLoginPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int PageWaitSeconds = 10;
    static constexpr int SettleSeconds = 5;

    explicit SiteLoginPanel(QWidget* parent = nullptr);
    ~SiteLoginPanel() override;

    // One login with the current fields. With showMessages the field checks
    // speak; a login already running makes the call return at once.
    void SiteLogin(bool showMessages);

    // The window is closing: no further login starts, a running wait ends,
    // the keep-alive stops.
    void closeDown();

    // A robot check stands in front of a row: show the panel on the row's
    // address, so the user can pass the check; "网址：" shows that address
    // meanwhile. The same check already shown is left as the user has it.
    // Once the browser has gone on from the check page, each page it
    // completes is reported by robotCheckPageChanged(), and so is each cookie
    // it gets: the cookie that lets a person through may reach the browser's
    // store after the page that follows the check has completed, and the row
    // tried then would only meet the check again.
    //
    // "关闭(隐藏)" hides the check without forgetting it: the run still waits
    // on it, and "网页登录" (or the next row that meets it) shows it again.
    void showRobotCheck(const QString& address);
    // The run no longer waits on a check.
    void endRobotCheck();
    // The check is behind the run (its row has ended): the panel no longer
    // stands over the list as if it waited.
    void closeRobotCheck();
    QString robotCheckAddress() const { return m_checkAddress; }
    // A check the run waits on was hidden by "关闭(隐藏)".
    bool robotCheckHidden() const { return m_checkHidden; }
    // The address the login goes to: Text1, or what it held before a check
    // took its place.
    QString loginAddress() const;
    // The run stopped on web pages: show the last one, a file on disk.
    void showStoppedPage(const QString& path);

    // The first address of the list's current row, for a login by hand; the
    // window supplies it.
    std::function<QString()> currentRowAddress;

    // Set just before the browser is sent to a page or a button is clicked in
    // it; cleared when the top-level document is complete.
    bool LoginPageLoading = false;

    // --- controls (Command1 is placed by the window: it shows this panel) ---
    QRadioButton* Option5;
    QRadioButton* Option4;
    QLineEdit* Text2;
    QLabel* Label10;
    QLineEdit* Text3;
    QLabel* Label6;
    QLineEdit* Text1;
    QPushButton* Command2;
    QPushButton* Command5;
    QPushButton* Command1;
    QPushButton* Command3;
    QCheckBox* Check2;
    QLabel* Label11;
    QComboBox* Combo3;
    QCheckBox* Check1;
    QTimer* Timer2;
    Browser* Web1;

    // --- handlers ---
    void Command2_Click(); // "浏览"
    void Command5_Click(); // "测试登录"
    void Command1_Click(); // "网页登录"
    void Command3_Click(); // "关闭(隐藏)"
    void Check2_Click();   // "自动登录" changed
    void Check1_Click();   // "自动刷新(每分钟)" changed
    void Timer2_Timer();   // keep-alive tick

signals:
    // The login page's title, for status-bar panel 3.
    void titleShown(const QString& title);
    // While a robot check is shown: a page the user reached since completed.
    void robotCheckPageChanged();

private:
    // Sends the browser to the login address and waits for the page; false
    // when the panel went away or closed meanwhile.
    bool loadLoginAddress();
    // Waits while a page loads, at most PageWaitSeconds from startMs.
    bool waitForPage(qint64 startMs);
    // Clicks a snapshot element and waits for the page it brings.
    bool clickAndWait(int index, const QString& tag);
    bool waitSeconds(int seconds);
    bool loginAccount(const QString& account, const QString& password);
    bool loginIp();

    // Loads the check page in the browser and shows its address in "网址：".
    void loadRobotCheck();
    // "网址：" shows the checked address / the login address again.
    void showCheckAddressField(bool checked);
    // The browser has gone on from the check page (a form sent, a link, the
    // page's own script): what it completes, and each cookie it gets, may be
    // the check passed.
    bool pastRobotCheck() const;

    bool m_closed = false;
    bool m_blankShown = false; // the page the panel opens on has completed
    QString m_checkAddress;
    bool m_checkHidden = false;
    // Top-level navigations since the check was shown, its own included.
    int m_checkNavigations = 0;
    // Text1 shows the checked address; the login address it held waits here.
    bool m_checkInField = false;
    QString m_loginAddress;
};
