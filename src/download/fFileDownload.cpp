#include "download/fFileDownload.h"

#include "download/DownloadListKeeper.h"

#include "shell/CaptionWithGap.h"

#include "download/Naming.h"
#include "download/Scheduler.h"
#include "download/SiteLoginPanel.h"
#include "download/WindowPlacement.h"
#include "platform/Sound.h"
#include "shell/AppValues.h"
#include "shell/BrowserCacheCommands.h"
#include "shell/CaptionWithGap.h"
#include "shell/FlowLayout.h"
#include "shell/WindowRoutines.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

using namespace SettingsKeys;

namespace {
const QString CloseQuestion = QStringLiteral("正在下载文件或者下载没有完成，要强制关闭窗口吗？");
const QString PolicySkip = QStringLiteral("跳过");
const QString PolicyOverwrite = QStringLiteral("覆盖");
const QString PolicyRename = QStringLiteral("重命名");

// Opening column widths in twips: 名称 类型 文件大小 已下载数 百分比 保存路径 B 检查,
// then 作者 期刊 年份 DOI.
constexpr std::array<int, DownloadListModel::ColumnCount> ColumnTwips = {
    10583, 1411, 1940, 1940, 1411, 10583, 2540, 2540, 4500, 3600, 900, 3600};

} // namespace

DownloadWindowLayout LayoutDownloadWindow(int windowWidth, int clientHeight, int panelHeight) {
    const int margin = Twips::toPixels(20);
    const int width = qMax(0, windowWidth - Twips::toPixels(300));
    DownloadWindowLayout l;
    l.panel = QRect(margin, margin, width, qMax(0, panelHeight));
    const int listTop = l.panel.bottom() + 1;
    l.list = QRect(margin, listTop, width, qMax(0, clientHeight - listTop - Twips::toPixels(140)));
    return l;
}

fFileDownload::fFileDownload(QWidget* parent) : QMainWindow(parent) {
    setObjectName(WindowNames::FileDownload);
    m_list = new DownloadListModel(this);
    m_sounds = new SoundPlayer(QString(), this);
    buildControls();
    buildMenus();
    wireScheduler();
    wireListCommands();
    wireArticleChecks();
    load();
    keepChoicesWhenChanged();
    // The list as the last run left it (rows that were downloading wait again).
    m_keeper = new DownloadListKeeper(*m_list, app().keptLists(), this);
    if (m_keeper->restore() > 0) {
        updateRowCountLabel();
        UpdateStatusCounts();
    }
}

void fFileDownload::wireScheduler() {
    m_scheduler = new Scheduler(*m_list, Busy, LastFinishTime, WorkerRow, Downloader1, this);
    Scheduler* s = m_scheduler;
    s->bindTimerDown(Timer_Down);
    connect(Timer_Down, &QTimer::timeout, this, [this] {
        syncSchedulerOptions();
        m_scheduler->schedulerTick();
    });

    // Choices are read when they are used; mirror every change at once too.
    for (QCheckBox* c : {Check3, Check4, Check5, Check6})
        connect(c, &QCheckBox::toggled, this, &fFileDownload::syncSchedulerOptions);
    for (QComboBox* c : {Combo1, Combo2, Combo4})
        connect(c, &QComboBox::currentIndexChanged, this, &fFileDownload::syncSchedulerOptions);
    for (QRadioButton* o : {Option1, Option2, Option3})
        connect(o, &QRadioButton::toggled, this, &fFileDownload::syncSchedulerOptions);
    connect(menu自动定位到下载项, &QAction::toggled, this, &fFileDownload::syncSchedulerOptions);

    Shape1->setVisible(s->indicatorVisible());
    connect(s, &Scheduler::indicatorChanged, Shape1, &QWidget::setVisible);
    connect(s, &Scheduler::startCommandEnabledChanged, menu下载全部, &QAction::setEnabled);
    connect(s, &Scheduler::activityText, this, [this](const QString& t) { setPanelText(2, t); });
    connect(s, &Scheduler::connectionText, this, [this](const QString& t) {
        m_checkTitleShown = false;
        setPanelText(3, t);
    });
    connect(s, &Scheduler::robotCheckTimedOut, this, &fFileDownload::dropCheckTitle);
    // The totals follow the rows at once, not at the next housekeeping tick;
    // many changes in one pass of the event loop are counted once.
    m_countsTimer = new QTimer(this);
    m_countsTimer->setSingleShot(true);
    m_countsTimer->setInterval(0);
    connect(m_countsTimer, &QTimer::timeout, this, &fFileDownload::UpdateStatusCounts);
    const auto countsChanged = [this] { m_countsTimer->start(); };
    connect(m_list, &QAbstractItemModel::dataChanged, this, countsChanged);
    connect(m_list, &QAbstractItemModel::rowsInserted, this, countsChanged);
    connect(m_list, &QAbstractItemModel::rowsRemoved, this, countsChanged);
    connect(m_list, &QAbstractItemModel::modelReset, this, countsChanged);
    connect(s, &Scheduler::playSound, this, &fFileDownload::PlaySound);
    connect(s, &Scheduler::ensureRowVisible, this,
            [this](int row) { ListView3->scrollTo(m_list->index(row, 0)); });
    connect(s, &Scheduler::checksUnticked, this, [this] {
        Check4->setChecked(false);
        Check3->setChecked(false);
    });
    connect(s, &Scheduler::listHidden, this,
            [this](bool hidden) { ListView3->setUpdatesEnabled(!hidden); });

    auto enable = [](QAction* a, auto&& f) {
        a->setEnabled(true);
        QObject::connect(a, &QAction::triggered, a, f);
    };
    Command4->setEnabled(true);
    Command31->setEnabled(true);
    connect(Command4, &QPushButton::clicked, s, &Scheduler::startDownload);
    connect(Command31, &QPushButton::clicked, this, &fFileDownload::StopDownload);
    enable(menu下载全部, [s] { s->startDownload(); });
    enable(menu停止下载, [this] { StopDownload(); });
    enable(menu取消下载选中项, [this] {
        QList<int> rows;
        for (const QModelIndex& i : ListView3->selectionModel()->selectedRows())
            rows.append(i.row());
        m_scheduler->withdrawRows(rows);
    });
    enable(menu重新下载出错项, [s] { s->redownloadFailed(); });
    enable(menu重新下载文件类型为HTM和HTML项, [s] { s->redownloadWebPages(); });
    enable(menu检查并纠正磁盘文件类型, [this] { m_scheduler->checkAndCorrectFileTypes(this); });
    enable(menu打开文件判断类型, [this] { m_scheduler->judgeFileType(this); });

    // The login panel: signs in again when a transfer brought a web page, and
    // shows its page's title.
    connect(PicWebBK->Check2, &QCheckBox::toggled, this, &fFileDownload::syncSchedulerOptions);
    s->siteLoginHook = [panel = QPointer<SiteLoginPanel>(PicWebBK)](bool showMessages) {
        if (panel)
            panel->SiteLogin(showMessages);
    };
    connect(PicWebBK, &SiteLoginPanel::titleShown, this, [this](const QString& t) {
        setPanelText(3, t);
        m_checkTitleShown = !PicWebBK->robotCheckAddress().isEmpty();
    });
    // A robot check is passed in the panel's browser; each page reached there
    // lets the run try the row again (the browser's cookies reach the
    // downloads). A stop on web pages shows the last page and why.
    connect(s, &Scheduler::robotCheckShown, PicWebBK, &SiteLoginPanel::showRobotCheck);
    connect(PicWebBK, &SiteLoginPanel::robotCheckPageChanged, s, &Scheduler::robotCheckPassed,
            Qt::QueuedConnection);
    // Once the row behind the check has ended, the panel leaves the list in view.
    connect(s, &Scheduler::robotCheckEnded, PicWebBK, &SiteLoginPanel::closeRobotCheck);
    // A check, or the end of a run, is told on the desktop; the window asks
    // for attention as well, for a person who has it behind others.
    connect(s, &Scheduler::attentionWanted, this, [this] { QApplication::alert(this); });
    connect(s, &Scheduler::webPagesStopped, this, [this](const QString& path, const QString& why) {
        PicWebBK->showStoppedPage(path);
        setPanelText(2, why);
    });
    PicWebBK->currentRowAddress = [this]() -> QString {
        const QModelIndex current = ListView3->currentIndex();
        if (!current.isValid() || !m_list->isValidRow(current.row()))
            return {};
        return 选择url(m_list->item(current.row()).key);
    };
    syncSchedulerOptions();
}

void fFileDownload::syncSchedulerOptions() {
    if (!m_scheduler)
        return;
    Scheduler::Options& o = m_scheduler->options;
    o.workerCount = Combo1->currentText().toInt();
    o.pauseSeconds = Combo2->currentText().toInt();
    o.autoStart = Check4->isChecked();
    o.autoStop = Check5->isChecked();
    o.sound = Check6->isChecked();
    o.autoRedownload = Check3->isChecked();
    o.autoRedownloadChoice = qMax(0, Combo4->currentIndex());
    o.autoLocate = menu自动定位到下载项->isChecked();
    o.autoLogin = PicWebBK->Check2->isChecked();
    o.duplicatePolicy = chosenPolicy();
}

fFileDownload::~fFileDownload() = default;

void fFileDownload::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    central->installEventFilter(this);

    Picture3 = named(new QWidget(central), QStringLiteral("Picture3"));
    Picture3->setAutoFillBackground(true);

    Label4 = named(new QLabel(QStringLiteral("下载列表："), Picture3), QStringLiteral("Label4"));
    Label1 = named(new QLabel(QStringLiteral("0条"), Picture3), QStringLiteral("Label1"));
    Label7 = named(new QLabel(QStringLiteral("下载方式："), Picture3), QStringLiteral("Label7"));
    Command26 =
        named(new QPushButton(QStringLiteral("切换"), Picture3), QStringLiteral("Command26"));
    Command26->setToolTip(QStringLiteral("更改下载方式"));
    Label2 = named(new QLabel(QStringLiteral("线程数："), Picture3), QStringLiteral("Label2"));
    Combo1 = named(new QComboBox(Picture3), QStringLiteral("Combo1"));
    for (int n = 1; n <= 6; ++n)
        Combo1->addItem(QString::number(n));
    auto* gapLabel = new CaptionWithGap(QStringLiteral("两个文件下载间隔：        秒"), Picture3);
    Label5 = named(gapLabel, QStringLiteral("Label5"));
    Combo2 = named(new QComboBox(Picture3), QStringLiteral("Combo2"));
    // Filled while loading; sized now for its widest item, "600".
    Combo2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo2->setMinimumContentsLength(3);
    Label8 = named(new QLabel(QStringLiteral("同名文件："), Picture3), QStringLiteral("Label8"));
    Option1 = named(new QRadioButton(PolicySkip, Picture3), QStringLiteral("Option1"));
    Option2 = named(new QRadioButton(PolicyOverwrite, Picture3), QStringLiteral("Option2"));
    Option3 = named(new QRadioButton(PolicyRename, Picture3), QStringLiteral("Option3"));
    Command4 =
        named(new QPushButton(QStringLiteral("开始下载"), Picture3), QStringLiteral("Command4"));
    Command31 =
        named(new QPushButton(QStringLiteral("停止下载"), Picture3), QStringLiteral("Command31"));
    // The scheduler's commands wire these buttons.
    Command4->setEnabled(false);
    Command31->setEnabled(false);
    Check4 = named(new QCheckBox(QStringLiteral("当有待下载项时，自动启动下载"), Picture3),
                   QStringLiteral("Check4"));
    Check5 =
        named(new QCheckBox(QStringLiteral("有5个以上下载出错或者网页文件，就停止下载"), Picture3),
              QStringLiteral("Check5"));
    Check6 = named(new QCheckBox(QStringLiteral("声音提示"), Picture3), QStringLiteral("Check6"));
    Check3 =
        named(new QCheckBox(QStringLiteral("自动重新下载："), Picture3), QStringLiteral("Check3"));
    Combo4 = named(new QComboBox(Picture3), QStringLiteral("Combo4"));
    Combo4->addItems({QStringLiteral("出错项"), QStringLiteral("文件类型为HTM和HTML项"),
                      QStringLiteral("出错项和文件类型为HTM和HTML项")});
    PicWebBK = new SiteLoginPanel(central);
    Combo3 = PicWebBK->Combo3;
    Timer2 = PicWebBK->Timer2;
    Shape1 = named(new QFrame(Picture3), QStringLiteral("Shape1"));
    Shape1->setFixedSize(14, 14);
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { background: rgb(40, 190, 70); border: "
                                         "1px solid rgb(20, 110, 40); border-radius: 7px; }"));
    Shape1->setToolTip(QStringLiteral("正在下载"));
    Shape1->hide();

    // The panel's controls flow into as many rows as the width needs, each
    // caption with its box, so none is ever cut; the options start a row of
    // their own.
    gapLabel->setGapWidget(Combo2);
    auto* top = new FlowLayout;
    top->addLayout(OnePiece({Label4, Label1}));
    top->addSpacing(12);
    top->addLayout(OnePiece({Label7, Command26}));
    top->addSpacing(12);
    top->addLayout(OnePiece({Label2, Combo1}));
    top->addSpacing(12);
    top->addWidget(Label5);
    top->addSpacing(12);
    top->addLayout(OnePiece({Label8, Option1, Option2, Option3}));
    top->addSpacing(12);
    top->addLayout(OnePiece({Shape1, Command4, Command31}));
    auto* bottom = new FlowLayout;
    bottom->addWidget(Check4);
    bottom->addWidget(Check5);
    bottom->addWidget(Check6);
    bottom->addSpacing(12);
    bottom->addLayout(OnePiece({Check3, Combo4}));
    bottom->addSpacing(12);
    bottom->addWidget(PicWebBK->Command1);
    auto* panel = new QVBoxLayout(Picture3);
    panel->setContentsMargins(6, 4, 6, 4);
    panel->addLayout(top);
    panel->addLayout(bottom);

    ListView3 = named(new QTreeView(central), QStringLiteral("ListView3"));
    ListView3->setRootIsDecorated(false);
    ListView3->setItemsExpandable(false);
    ListView3->setUniformRowHeights(true);
    ListView3->setAllColumnsShowFocus(true);
    ListView3->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView3->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView3->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView3->setSortingEnabled(false);
    ListView3->setToolTip(QStringLiteral("双击鼠标：下载当前项或者打开文件"));
    ListView3->header()->setStretchLastSection(false);
    ListView3->setModel(m_list);
    for (int c = 0; c < DownloadListModel::ColumnCount; ++c)
        ListView3->setColumnWidth(c, Twips::toPixels(ColumnTwips.at(c)));
    PaintListStripes(ListView3, false, 17);
    ListView3->setContextMenuPolicy(Qt::CustomContextMenu);

    StatusBar1 = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    for (int i = 0; i < 4; ++i) {
        auto* panelLabel = new QLabel(StatusBar1);
        panelLabel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        panelLabel->setMinimumWidth(i == 1 ? 200 : 60);
        StatusBar1->addWidget(panelLabel, i == 1 ? 1 : 0);
        m_panels[i] = panelLabel;
    }
    m_panels[0]->setText(Dialogs::applicationTitle());

    Timer_Down = named(new QTimer(this), QStringLiteral("Timer_Down"));
    Timer_Down->setInterval(1000);
    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &fFileDownload::HousekeepingTick);

    connect(Command26, &QPushButton::clicked, this, &fFileDownload::switchDownloadMode);

    // Read by a screen reader under the caption beside them.
    LabelFor(Label2, Combo1);
    LabelFor(Label4, ListView3);
    NameAfterCaption(Combo4, Check3->text());
    // One Tab stop for the duplicate policy, at the chosen option.
    TabToCheckedOption({Option1, Option2, Option3});
    KeepColumnWidths(ListView3, SectionFileDownload, 0);

    resize(1000, 667);
    updateMinimumSize();
}

void fFileDownload::updateMinimumSize() {
    // The widest piece of the panel decides the width; at that width the
    // panel takes its most rows, and the list keeps a few rows in view.
    const int side = Twips::toPixels(300);
    const int width = Picture3->minimumSizeHint().width() + side;
    const int panel = Picture3->heightForWidth(width - side);
    const int rows = 4 * (ListView3->fontMetrics().height() + 1) +
                     ListView3->header()->sizeHint().height() + 2 * ListView3->frameWidth();
    const int height = menuBar()->sizeHint().height() + StatusBar1->sizeHint().height() +
                       Twips::toPixels(20) + qMax(panel, Picture3->minimumSizeHint().height()) +
                       rows + Twips::toPixels(140);
    setMinimumSize(width, height);
}

void fFileDownload::buildMenus() {
    // Every entry exists from the start; an entry stays disabled until its
    // command is wired.
    auto entry = [](QMenu* menu, const QString& name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        a->setEnabled(false);
        return a;
    };
    auto submenu = [](QMenu* menu, const QString& name, const QString& caption) {
        QMenu* m = menu->addMenu(caption);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name + QStringLiteral("Action"));
        return m;
    };
    QMenuBar* bar = menuBar();

    menu下载 = named(bar->addMenu(QStringLiteral("列表操作(&D)")), QStringLiteral("menu下载"));
    menu全选专利列表 = entry(menu下载, QStringLiteral("menu全选专利列表"), QStringLiteral("全选"));
    menu全不选 = entry(menu下载, QStringLiteral("menu全不选"), QStringLiteral("全不选"));
    menu随机排序列表 =
        entry(menu下载, QStringLiteral("menu随机排序列表"), QStringLiteral("随机排序列表(打乱)"));
    menu自动列宽 = entry(menu下载, QStringLiteral("menu自动列宽"), QStringLiteral("自动调整列宽"));
    menu下载->addSeparator();
    menu重新下载 = submenu(menu下载, QStringLiteral("menu重新下载"), QStringLiteral("重新下载"));
    menu重新下载选中项 =
        entry(menu重新下载, QStringLiteral("menu重新下载选中项"), QStringLiteral("选中项"));
    menu重新下载出错项 =
        entry(menu重新下载, QStringLiteral("menu重新下载出错项"), QStringLiteral("出错项"));
    menu重新下载文件类型为HTM和HTML项 =
        entry(menu重新下载, QStringLiteral("menu重新下载文件类型为HTM和HTML项"),
              QStringLiteral("网页类型文件(HTM/HTML/xml)项"));
    menu重新下载出错项和网页项 = entry(menu重新下载, QStringLiteral("menu重新下载出错项和网页项"),
                                       QStringLiteral("重新下载出错项和网页类型文件项"));
    menu重新下载文件大小小于指定数字的项 =
        entry(menu重新下载, QStringLiteral("menu重新下载文件大小小于指定数字的项"),
              QStringLiteral("文件大小小于指定数字的项"));
    menu下载->addSeparator();
    menu清除 = submenu(menu下载, QStringLiteral("menu清除"), QStringLiteral("清除"));
    menu清除选中项 = entry(menu清除, QStringLiteral("menu清除选中项"), QStringLiteral("选中项"));
    menu清除全部出错项 =
        entry(menu清除, QStringLiteral("menu清除全部出错项"), QStringLiteral("全部出错项"));
    menu清除完成项 = entry(menu清除, QStringLiteral("menu清除完成项"), QStringLiteral("完成项"));
    menu清空 = entry(menu下载, QStringLiteral("menu清空"), QStringLiteral("清空"));
    menu删除文件 = submenu(menu下载, QStringLiteral("menu删除文件"), QStringLiteral("删除文件"));
    menu删除网页类型文件项 = entry(menu删除文件, QStringLiteral("menu删除网页类型文件项"),
                                   QStringLiteral("网页类型文件(HTM/HTML/xml)项"));
    menu删除出错项 =
        entry(menu删除文件, QStringLiteral("menu删除出错项"), QStringLiteral("出错项"));
    menu下载->addSeparator();
    menu下载全部 = entry(menu下载, QStringLiteral("menu下载全部"), QStringLiteral("开始下载"));
    menu停止下载 = entry(menu下载, QStringLiteral("menu停止下载"), QStringLiteral("停止下载"));
    menu取消下载选中项 =
        entry(menu下载, QStringLiteral("menu取消下载选中项"), QStringLiteral("取消下载选中项"));
    menu下载->addSeparator();
    menu打开下载文件 =
        entry(menu下载, QStringLiteral("menu打开下载文件"), QStringLiteral("打开下载文件"));
    menu打开文件所在文件夹 =
        entry(menu下载, QStringLiteral("menu打开文件所在文件夹"), QStringLiteral("打开所在文件夹"));
    menu用记事本打开文件 =
        entry(menu下载, QStringLiteral("menu用记事本打开文件"), QStringLiteral("用记事本打开文件"));
    menu下载->addSeparator();
    menu复制名称 = entry(menu下载, QStringLiteral("menu复制名称"), QStringLiteral("复制名称"));
    menu批量替换网址 =
        entry(menu下载, QStringLiteral("menu批量替换网址"), QStringLiteral("批量替换网址"));
    menu导出名称 = submenu(menu下载, QStringLiteral("menu导出名称"), QStringLiteral("导出名称"));
    menu导出全部名称 =
        entry(menu导出名称, QStringLiteral("menu导出全部名称"), QStringLiteral("全部"));
    menu导出未完成项名称 =
        entry(menu导出名称, QStringLiteral("menu导出未完成项名称"), QStringLiteral("未完成项"));
    menu导出文献信息 =
        submenu(menu下载, QStringLiteral("menu导出文献信息"), QStringLiteral("导出文献信息"));
    menu导出选中项文献信息 = entry(menu导出文献信息, QStringLiteral("menu导出选中项文献信息"),
                                   QStringLiteral("选中项（未选时全部）..."));
    menu导出本次完成项文献信息 =
        entry(menu导出文献信息, QStringLiteral("menu导出本次完成项文献信息"),
              QStringLiteral("本次下载完成项..."));
    menu下载->addSeparator();
    menu退出本下载窗口 =
        entry(menu下载, QStringLiteral("menu退出本下载窗口"), QStringLiteral("关闭本下载窗口"));

    menu窗口 = named(bar->addMenu(QStringLiteral("窗口(&W)")), QStringLiteral("menu窗口"));
    menu资料检索分析窗口 =
        entry(menu窗口, QStringLiteral("menu资料检索分析窗口"), QStringLiteral("资料检索分析窗口"));

    menu工具 = named(bar->addMenu(QStringLiteral("工具(&T)")), QStringLiteral("menu工具"));
    设置 = entry(menu工具, QStringLiteral("设置"), QStringLiteral("设置"));
    menu自动定位到下载项 =
        entry(menu工具, QStringLiteral("menu自动定位到下载项"), QStringLiteral("自动定位到下载项"));
    menu工具->addSeparator();
    menu检查文件是否存在 =
        entry(menu工具, QStringLiteral("menu检查文件是否存在"), QStringLiteral("检查文件是否存在"));
    menu检查并纠正磁盘文件类型 = entry(menu工具, QStringLiteral("menu检查并纠正磁盘文件类型"),
                                       QStringLiteral("检查并纠正磁盘文件类型"));
    menu工具->addSeparator();
    menu清空IE浏览器缓存 =
        entry(menu工具, QStringLiteral("menu清空IE浏览器缓存"), QStringLiteral("清空IE浏览器缓存"));
    menu打开文件判断类型 =
        entry(menu工具, QStringLiteral("menu打开文件判断类型"), QStringLiteral("打开文件判断类型"));

    menu帮助 = named(bar->addMenu(QStringLiteral("帮助(&H)")), QStringLiteral("menu帮助"));
    关于 = entry(menu帮助, QStringLiteral("关于"), QStringLiteral("关于"));

    // Entries that only move between windows or hold a choice work already.
    menu退出本下载窗口->setEnabled(true);
    connect(menu退出本下载窗口, &QAction::triggered, this, &QWidget::close);
    menu资料检索分析窗口->setEnabled(true);
    connect(menu资料检索分析窗口, &QAction::triggered, this,
            [] { app().flow().show(WindowNames::WebSearch); });
    设置->setEnabled(true);
    connect(设置, &QAction::triggered, this,
            [this] { app().flow().showModal(WindowNames::Option, this); });
    关于->setEnabled(true);
    connect(关于, &QAction::triggered, this,
            [this] { app().flow().showModal(WindowNames::About, this); });
    menu自动定位到下载项->setEnabled(true);
    menu自动定位到下载项->setCheckable(true);
    menu自动定位到下载项->setChecked(false);
    menu清空IE浏览器缓存->setEnabled(true);
    connect(menu清空IE浏览器缓存, &QAction::triggered, this, [] { ::ClearBrowserCache(true); });
}

void fFileDownload::load() {
    AppValues& v = app();
    // Title and icon.
    setWindowTitle(QStringLiteral("文件下载-") + Dialogs::applicationTitle());
    if (QWidget* cover = v.flow().find(WindowNames::Cover))
        setWindowIcon(cover->windowIcon());
    else
        setWindowIcon(QIcon(QStringLiteral(":/varnelle/icon.svg")));

    // The drop-downs start at their first item.
    Combo3->setCurrentIndex(0);
    WidenDropDown(Combo4);
    Combo4->setCurrentIndex(0);

    LastFinishTime = v.clock().now();

    // The list starts empty.
    m_list->clear();

    // Settings.
    SettingsStore& s = v.settings();
    v.setDownloadMode(s.downloadMode());
    v.DuplicatePolicy = s.duplicatePolicy();
    v.setProxy(s.proxyEnabled(), s.proxyAddress(), s.proxyPort());
    v.setMaxFileSizeMB(s.maxFileSizeMB());
    v.RobotCheckWaitMinutes = s.robotCheckWaitMinutes();
    Label7->setText(QStringLiteral("下载方式：") + QString::number(v.DownloadMode));
    Combo1->setCurrentIndex(0);
    if (v.DownloadMode == 1) {
        Combo1->setEnabled(false);
    } else {
        Combo1->setEnabled(true);
        Combo1->setCurrentIndex(s.threadIndex());
    }
    const QString policy = v.DuplicatePolicy.trimmed();
    if (policy == PolicySkip)
        Option1->setChecked(true);
    else if (policy == PolicyOverwrite)
        Option2->setChecked(true);
    else
        Option3->setChecked(true);

    RestoreWindowPlacement(this);
    // The stored place is kept, but always within the screen.
    ManageWindowPlacement(this, QSize(), PlacementMemory::None);

    for (int s2 = 0; s2 <= 600; ++s2)
        Combo2->addItem(QString::number(s2));
    // The pause and the sound prompts as the user last chose them.
    Combo2->setCurrentIndex(s.pauseIndex());
    Check6->setChecked(s.soundPrompts() == 1);

    // Housekeeping runs from now on; the scheduler waits for the user.
    connect(&v, &AppValues::downloadModeChanged, this, &fFileDownload::followDownloadMode);
    Timer1->start();
}

// --- the list ---

void fFileDownload::AddDownloadItem(const QString& address, const QString& name,
                                    const QString& type, const QString& folder,
                                    const QString& referer) {
    m_list->AddDownloadItem(address, name, type, folder, referer);
}

void fFileDownload::AddArticleItem(const QString& address, const QString& name, const QString& type,
                                   const QString& folder, const QString& referer,
                                   const ArticleRecord& record) {
    m_list->AddDownloadItem(address, name, type, folder, referer, record);
}

int fFileDownload::CountWorkers() const {
    int workers = 1; // the template
    for (std::size_t j = 1; j < Downloader1.size(); ++j) {
        if (Downloader1[j])
            ++workers;
    }
    return workers;
}

void fFileDownload::UpdateStatusCounts() {
    setPanelText(4, m_list->totalsText());
}

void fFileDownload::PlaySound(int id) {
    m_sounds->PlaySound(id);
}

QString fFileDownload::panelText(int panel) const {
    if (panel < 1 || panel > 4)
        return {};
    return m_panels[panel - 1]->text();
}

void fFileDownload::setPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > 4)
        return;
    QLabel* label = m_panels[panel - 1];
    if (label->text() != text)
        label->setText(text);
}

void fFileDownload::updateRowCountLabel() {
    Label1->setText(QString::number(m_list->count()) + QStringLiteral("条"));
}

void fFileDownload::followDownloadMode(int mode) {
    Label7->setText(QStringLiteral("下载方式：") + QString::number(mode));
    if (mode == 1) {
        Combo1->setEnabled(false);
    } else {
        Combo1->setEnabled(true);
        Combo1->setCurrentIndex(0);
    }
}

void fFileDownload::switchDownloadMode() {
    m_scheduler->switchMode();
    // Either way the worker count starts again at one.
    Combo1->setCurrentIndex(0);
}

bool fFileDownload::transferExecuting() const {
    return m_scheduler && m_scheduler->inetExecuting();
}

bool fFileDownload::downloadRunning() const {
    return Timer_Down->isActive() || transferExecuting() || CountWorkers() > 1;
}

bool fFileDownload::closeNeedsQuestion() const {
    return transferExecuting() || CountWorkers() > 1 || !检测是否下载列表完毕() ||
           Timer_Down->isActive();
}

void fFileDownload::StopDownload() {
    syncSchedulerOptions();
    m_scheduler->stopDownload();
    PicWebBK->endRobotCheck();
}

void fFileDownload::unloadWorkers() {
    for (int j = 1; j <= 6; ++j)
        m_scheduler->unloadWorker(j);
}

void fFileDownload::HousekeepingTick() {
    syncSchedulerOptions();
    const bool wasGoing = m_runGoing || Timer_Down->isActive();
    m_scheduler->housekeepingTick();
    m_runGoing = Timer_Down->isActive();
    if (wasGoing && !m_runGoing)
        dropCheckTitle();
    UpdateStatusCounts();
}

void fFileDownload::keepChoicesWhenChanged() {
    // Written when they change, not only at the close: a crash or the exit
    // from the start-up window (which skips the close) keeps them too.
    AppValues& v = app();
    SettingsStore& s = v.settings();
    connect(Combo1, &QComboBox::currentIndexChanged, this, [&s](int index) {
        if (index >= 0)
            s.write(SectionDownload, Threads, index);
    });
    connect(Combo2, &QComboBox::currentIndexChanged, this, [&s](int index) {
        if (index >= 0)
            s.write(SectionDownload, PauseBetweenFiles, index);
    });
    connect(Check6, &QCheckBox::toggled, this,
            [&s](bool on) { s.write(SectionDownload, SoundPrompts, on ? 1 : 0); });
    for (QRadioButton* o : {Option1, Option2, Option3})
        connect(o, &QRadioButton::toggled, this, [this, &v, &s](bool on) {
            if (!on)
                return;
            v.DuplicatePolicy = chosenPolicy();
            s.write(SectionPatent, SettingsKeys::DuplicatePolicy, v.DuplicatePolicy);
        });
    connect(&v, &AppValues::downloadModeChanged, this,
            [&s](int mode) { s.write(SectionSettings, SettingsKeys::DownloadMode, mode); });
}

void fFileDownload::dropCheckTitle() {
    // A check page's title ("Just a moment...") says nothing once the run has
    // ended; a login page's title stays, as it always did.
    if (m_checkTitleShown)
        setPanelText(3, QString());
    m_checkTitleShown = false;
}

QString fFileDownload::chosenPolicy() const {
    if (Option1->isChecked())
        return Option1->text().trimmed();
    if (Option2->isChecked())
        return Option2->text().trimmed();
    return Option3->text().trimmed();
}

// --- window events ---

void fFileDownload::closeEvent(QCloseEvent* event) {
    AppValues& v = app();
    // Saved even when the user then keeps the window open.
    v.DuplicatePolicy = chosenPolicy();
    v.settings().write(SectionPatent, SettingsKeys::DuplicatePolicy, v.DuplicatePolicy);
    v.settings().write(SectionSettings, SettingsKeys::DownloadMode, v.DownloadMode);

    if (closeNeedsQuestion() && !v.dialogs().question(this, CloseQuestion)) {
        event->ignore();
        return;
    }

    Timer1->stop();
    Timer_Down->stop();
    Timer2->stop();
    // Kept as it stands: the rows the stop below fails were only cut off.
    m_keeper->finish();
    PicWebBK->closeDown();
    StopDownload();
    SaveWindowPlacement(this);
    v.settings().write(SectionDownload, Threads, Combo1->currentIndex());

    if (!v.flow().IsFormLoaded(WindowNames::WebSearch))
        v.flow().show(WindowNames::Cover);
    WindowFlow::markUnloaded(this);
    event->accept();
}

void fFileDownload::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        updateRowCountLabel();
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateMinimumSize();
    QMainWindow::changeEvent(event);
}

bool fFileDownload::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        layoutControls();
    return QMainWindow::eventFilter(watched, event);
}

void fFileDownload::layoutControls() {
    if (isMinimized())
        return;
    // The panel's height at the width it gets: its controls wrap into rows.
    const int panelWidth = LayoutDownloadWindow(frameGeometry().width(), 0, 0).panel.width();
    const int panelHeight = Picture3->hasHeightForWidth() ? Picture3->heightForWidth(panelWidth)
                                                          : Picture3->sizeHint().height();
    const DownloadWindowLayout l =
        LayoutDownloadWindow(frameGeometry().width(), centralWidget()->height(), panelHeight);
    Picture3->setGeometry(l.panel);
    ListView3->setGeometry(l.list);
    PicWebBK->setGeometry(l.list);
}
