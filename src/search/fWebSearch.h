#pragma once

#include "download/ArticleRecord.h"

#include <QMainWindow>
#include <functional>

class ArticleListModel;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QTreeView;
class Browser;

// The article search window: embedded browser above, article list below.
//
// Loading (the constructor) restores the delay box and opens the last shown
// address (or the site's home page). Closing is refused while a page-extraction
// or analysis run is active; otherwise the delay and the shown address are
// stored and the window unloads with its list.
class fWebSearch : public QMainWindow {
    Q_OBJECT
public:
    explicit fWebSearch(QWidget* parent = nullptr);
    ~fWebSearch() override;

    // --- history row ---
    QLabel* Label5;
    QComboBox* Combo1;     // visited addresses
    QPushButton* Command3; // "打开"
    QPushButton* Command1; // "清空"
    // --- browser panel, splitter, list panel ---
    QFrame* PicPanWeb;
    Browser* WebBrowser1;
    QFrame* PicBar;
    QFrame* PicPanList;
    QCheckBox* Check1; // "只提取网页勾选项"
    QCheckBox* Check2; // "禁止浏览器弹出脚本提示"
    QCheckBox* Check3; // "自动分析未分析项"
    QCheckBox* Check4; // "分析后直接下载"
    QLabel* Label4;
    QComboBox* Combo2;     // delay between requests, "0" to "60" seconds
    QPushButton* Command9; // "加入本页到列表"
    QPushButton* Command4; // "加入全部到列表"
    QPushButton* Command2; // "分析下载"
    QPushButton* Command7; // "导出数据..."
    QLabel* Label2;        // "待下载列表："
    QLabel* Label1;        // number of rows
    QTreeView* ListView1;
    QLabel* picLVbg;
    // --- progress panel of analysis runs ---
    QFrame* PicPanPrograss;
    QLabel* Label11;
    QPushButton* Command5; // "停止"
    // --- others ---
    QStatusBar* StatusBar1;
    QTimer* Timer1; // automatic analysis, 60 s

    // --- menus ---
    QMenu* menu加入;
    QAction* menu分析未分析项;
    QAction* menu加入分析失败项;
    QAction* menu选中加入;
    QAction* menu全部加入;
    QMenu* menu浏览;
    QAction* menu打开sciencedirect查询首页;
    QAction* menu打开指定网址;
    QAction* menu打开本地网页文件;
    QAction* menu后退;
    QAction* menu前进;
    QAction* menu关闭本窗口;
    QMenu* menu清除;
    QAction* menu清除选中项;
    QAction* menu清除分析成功项;
    QAction* menu清除标题含指定字符项;
    QAction* menu清除标题不含指定字符项;
    QAction* menu清空全部;
    QMenu* menu工具;
    QAction* menu设置;
    QAction* menu设置下载保存路径;
    QAction* menu打开下载窗口;
    QAction* menu导出文献信息; // the chosen rows' records (or all) for a reference manager
    QAction* menu查看IE浏览器缓存;
    QAction* menu清空IE浏览器缓存;
    QAction* menu网页源码另存为;
    QAction* menu显示当前网址;
    QMenu* menu帮助;
    QAction* menu关于;

    // Run flags: true while no page-extraction or analysis run is active.
    bool ExtractStopped = true;
    bool AnalyseStopped = true;
    bool PageLoading = false;

    bool runActive() const { return !ExtractStopped || !AnalyseStopped; }
    // A close was asked for while a wait ran inside the window; it is carried
    // out when the wait returns.
    bool closeRequested() const { return m_closeRequested; }

    // Status-bar panels 1 to 3.
    QLabel* statusPanel(int number) const { return m_statusPanels[number - 1]; }
    ArticleListModel* articles() const { return m_articles; }

    // The address of the document the browser shows, empty when it holds none.
    QString documentAddress() const;

    // Adds a row to the article list; false when its link is listed already.
    // The count label is left alone (the extraction sets it when it ends).
    bool 加入LV1(const QString& title, const QString& link, const QString& pageAddress,
                 const QString& type, const QString& saveFolder, const QString& layout,
                 const ArticleRecord& record = {});
    // Sets the count label to the number of rows.
    void updateCountLabel();

    // Adds a visited address to the history (empty: the shown document's).
    void 记录url(const QString& address);
    // True when the history holds the address (letter case ignored).
    bool 查找Combo1(const QString& address) const;

    // Extracts the articles of the shown page into the list; returns the number
    // of rows offered (duplicates included).
    int ExtractResultPage(const QString& saveFolder);
    // The save folder given to the extraction: CurrentSaveFolder when the user
    // is asked for it, else empty.
    QString extractionSaveFolder() const;

    // The browsing commands.
    void openHomePage();
    void openTypedAddress(); // "打开"
    void openOtherAddress(); // "打开指定网址..."
    void openLocalPage();    // "打开本地网页文件"
    void savePageSource();   // "网页源码另存为"
    static inline const QString SaveSourceDoneMessage = QStringLiteral("已经保存！");
    static inline const QString SaveSourceFailedMessage = QStringLiteral("保存失败！");
    void showCurrentAddress(); // "显示当前网址"

    // The list commands.
    void addThisPage(); // "加入本页到列表"
    void removeSelected();
    void exportRecords();
    void removeSucceeded();
    void removeTitleContaining(bool contains);
    void removeAll();

    // Lays out the browser panel, the splitter and the list panel.
    void layoutPanels();
    // The list panel's height with this many rows of the list in view.
    int listPanelNeed(int rows) const;
    int splitterTop() const;
    void setSplitterTop(int top);

    // Marks a wait (a nested event loop) running inside one of the window's
    // handlers; a close asked for meanwhile is carried out after the wait, so
    // the window is never destroyed under a handler that is still running.
    class WaitScope {
    public:
        explicit WaitScope(fWebSearch* window);
        ~WaitScope();
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

    private:
        fWebSearch* m_window;
    };

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    bool refuseWhileAnalysing();
    void filteredRemoval(const std::function<bool(int row)>& matches);
    void centreProgressPanel();
    // The least size at which the layouts cut nothing.
    void updateMinimumSize();

    ArticleListModel* m_articles = nullptr;
    QWidget* m_central = nullptr;
    QWidget* m_historyRow = nullptr;
    QLabel* m_statusPanels[3] = {nullptr, nullptr, nullptr};
    QPoint m_dragOffset;
    int m_waitDepth = 0;
    bool m_closeRequested = false;
};
