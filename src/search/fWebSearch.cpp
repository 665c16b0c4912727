#include "search/fWebSearch.h"

#include "download/RecordExportDialog.h"

#include "search/ArticleListKeeper.h"

#include "platform/Browser.h"
#include "platform/Wait.h"
#include "search/ArticleListModel.h"
#include "search/Extraction.h"
#include "search/SearchLayout.h"
#include "search/SearchWindowRuns.h"
#include "shell/AppValues.h"
#include "shell/BrowserCacheCommands.h"
#include "shell/CaptionWithGap.h"
#include "shell/FileNames.h"
#include "shell/FlowLayout.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "shell/fSeleFileSavePath.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const int SplitterHeight = 5;
// Rows of the article list the default split keeps in view, and the fewest a
// split dragged low may leave.
const int ListRowsWanted = 10;
const int ListRowsAtLeast = 3;
// The browser panel never shrinks below this many text lines.
const int BrowserLinesAtLeast = 6;

} // namespace

fWebSearch::fWebSearch(QWidget* parent) : QMainWindow(parent) {
    setObjectName(WindowNames::WebSearch);
    buildControls();
    buildMenus();
    // The menu bar has its entries now.
    updateMinimumSize();
    // Paging, analysis runs, automatic analysis and export.
    new SearchWindowRuns(this);
    // 1100 x 760 where the screen has room for it; within the screen always.
    ManageWindowPlacement(this, QSize(1100, 760));
    // The article list as the last run left it.
    auto* keeper = new ArticleListKeeper(*m_articles, app().keptLists(), this);
    if (keeper->restore() > 0)
        Label1->setText(QString::number(m_articles->size()));

    AppValues& v = app();
    // Title.
    setWindowTitle(QStringLiteral("ScienceDirect数据检索分析-") + Dialogs::applicationTitle());
    // The popup "加入" is never part of the menu bar (it is built apart).
    // Whether extraction asks for the save folder.
    v.setPromptSaveFolder(v.settings().promptSaveFolder());
    v.FileNamePattern =
        v.settings()
            .read(SettingsKeys::SectionSettings, SettingsKeys::FileNamePattern, QString())
            .trimmed();
    // History empty; delay box restored.
    Combo1->clear();
    Combo2->clear();
    for (int s = 0; s <= 60; ++s)
        Combo2->addItem(QString::number(s));
    Combo2->setCurrentIndex(10);
    Combo2->setCurrentIndex(v.settings().delayIndex());
    // Script errors are shown.
    Check2->setChecked(false);
    // A blank document first, so the window paints before the real page.
    Wait::processEventsOnce();
    WebBrowser1->navigate(QStringLiteral("about:blank"));
    Wait::processEventsOnce();
    // No run is active.
    ExtractStopped = true;
    AnalyseStopped = true;
    // The page shown when the window last closed, or the home page.
    const QString lastUrl = v.settings().web1Url();
    if (lastUrl.isEmpty())
        openHomePage();
    else
        WebBrowser1->navigate(lastUrl);
    // The browser emulation in panel 3.
    m_statusPanels[2]->setText(v.BrowserEmulationVersion);
}

fWebSearch::~fWebSearch() = default;

void fWebSearch::buildControls() {
    m_central = new QWidget(this);
    setCentralWidget(m_central);

    // History row.
    m_historyRow = new QWidget(m_central);
    Label5 = named(new QLabel(QStringLiteral("访问历史：")), QStringLiteral("Label5"));
    Combo1 = named(new QComboBox, QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setToolTip(QStringLiteral("点击网址，打开历史网页"));
    Combo1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Command3 = named(new QPushButton(QStringLiteral("打开")), QStringLiteral("Command3"));
    Command1 = named(new QPushButton(QStringLiteral("清空")), QStringLiteral("Command1"));
    auto* historyLayout = new QHBoxLayout(m_historyRow);
    historyLayout->setContentsMargins(4, 2, 4, 2);
    historyLayout->addWidget(Label5);
    historyLayout->addWidget(Combo1, 1);
    historyLayout->addWidget(Command3);
    historyLayout->addWidget(Command1);

    // Browser panel.
    PicPanWeb = named(new QFrame(m_central), QStringLiteral("PicPanWeb"));
    WebBrowser1 = named(new Browser(PicPanWeb), QStringLiteral("WebBrowser1"));
    app().useBrowserProfile();
    auto* webLayout = new QVBoxLayout(PicPanWeb);
    webLayout->setContentsMargins(0, 0, 1, 1);
    webLayout->addWidget(WebBrowser1);

    // Splitter.
    PicBar = named(new QFrame(m_central), QStringLiteral("PicBar"));
    PicBar->setFrameShape(QFrame::StyledPanel);
    PicBar->setCursor(Qt::SplitVCursor);
    PicBar->setGeometry(0, 0, 100, SplitterHeight);
    PicBar->installEventFilter(this);
    // The keyboard moves the splitter too: Up and Down, a line at a time.
    PicBar->setFocusPolicy(Qt::TabFocus);
    PicBar->setAccessibleName(QStringLiteral("分隔条"));

    // List panel.
    PicPanList = named(new QFrame(m_central), QStringLiteral("PicPanList"));
    Check1 = named(new QCheckBox(QStringLiteral("只提取网页勾选项")), QStringLiteral("Check1"));
    Check2 =
        named(new QCheckBox(QStringLiteral("禁止浏览器弹出脚本提示")), QStringLiteral("Check2"));
    Check3 = named(new QCheckBox(QStringLiteral("自动分析未分析项")), QStringLiteral("Check3"));
    Check4 = named(new QCheckBox(QStringLiteral("分析后直接下载")), QStringLiteral("Check4"));
    auto* delayCaption = new CaptionWithGap(QStringLiteral("限速延时：        秒"), nullptr);
    Label4 = named(delayCaption, QStringLiteral("Label4"));
    Combo2 = named(new QComboBox, QStringLiteral("Combo2"));
    Combo2->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Combo2->setMinimumContentsLength(2);
    delayCaption->setGapWidget(Combo2);
    Command9 = named(new QPushButton(QStringLiteral("加入本页到列表")), QStringLiteral("Command9"));
    Command4 = named(new QPushButton(QStringLiteral("加入全部到列表")), QStringLiteral("Command4"));
    Command2 = named(new QPushButton(QStringLiteral("分析下载")), QStringLiteral("Command2"));
    Command7 = named(new QPushButton(QStringLiteral("导出数据...")), QStringLiteral("Command7"));
    Label2 = named(new QLabel(QStringLiteral("待下载列表：")), QStringLiteral("Label2"));
    Label1 = named(new QLabel(QStringLiteral("0")), QStringLiteral("Label1"));
    ListView1 = named(new QTreeView, QStringLiteral("ListView1"));
    picLVbg = named(new QLabel, QStringLiteral("picLVbg"));
    picLVbg->hide();

    m_articles = new ArticleListModel(this);
    ListView1->setModel(m_articles);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->header()->setStretchLastSection(false);
    for (int c = 0; c < ArticleListModel::ColumnCount; ++c)
        ListView1->setColumnWidth(c, ArticleListModel::initialWidthTwips(c) /
                                         SearchLayoutRules::TwipsPerPixel);

    // The rows of options and buttons wrap rather than cut a caption when the
    // window is narrow or the font large.
    auto* optionsRow = new FlowLayout;
    optionsRow->addWidget(Check1);
    optionsRow->addWidget(Check2);
    optionsRow->addWidget(Check3);
    optionsRow->addWidget(Check4);
    optionsRow->addSpacing(12);
    optionsRow->addWidget(Label4);
    auto* buttonRow = new FlowLayout;
    buttonRow->addWidget(Command9);
    buttonRow->addWidget(Command4);
    buttonRow->addWidget(Command2);
    buttonRow->addWidget(Command7);
    buttonRow->addSpacing(12);
    auto* count = new QHBoxLayout;
    count->addWidget(Label2);
    count->addWidget(Label1);
    buttonRow->addLayout(count);
    auto* listLayout = new QVBoxLayout(PicPanList);
    listLayout->setContentsMargins(0, 2, 3, 3);
    listLayout->setSpacing(2);
    listLayout->addLayout(optionsRow);
    listLayout->addLayout(buttonRow);
    listLayout->addWidget(ListView1, 1);
    listLayout->addWidget(picLVbg);

    // Progress panel, floating over the list.
    PicPanPrograss = named(new QFrame(m_central), QStringLiteral("PicPanPrograss"));
    PicPanPrograss->setFrameShape(QFrame::Box);
    PicPanPrograss->setAutoFillBackground(true);
    Label11 = named(new QLabel, QStringLiteral("Label11"));
    Command5 = named(new QPushButton(QStringLiteral("停止")), QStringLiteral("Command5"));
    auto* progressLayout = new QHBoxLayout(PicPanPrograss);
    progressLayout->addWidget(Label11, 1);
    progressLayout->addWidget(Command5);
    PicPanPrograss->resize(320, 56);
    PicPanPrograss->installEventFilter(this);
    PicPanPrograss->hide();

    // Status bar with three panels.
    StatusBar1 = named(new QStatusBar(this), QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);
    for (int i = 0; i < 3; ++i) {
        m_statusPanels[i] = named(new QLabel(StatusBar1), QStringLiteral("Panel%1").arg(i + 1));
        m_statusPanels[i]->setFrameShape(QFrame::NoFrame);
    }
    m_statusPanels[0]->setText(QStringLiteral("ScienceDirect数据检索分析"));
    StatusBar1->addWidget(m_statusPanels[0]);
    StatusBar1->addWidget(m_statusPanels[1], 1);
    StatusBar1->addPermanentWidget(m_statusPanels[2]);

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(60000);

    // Read by a screen reader under the caption beside them.
    LabelFor(Label5, Combo1);
    LabelFor(Label2, ListView1);
    NameAfterCaption(WebBrowser1, QStringLiteral("ScienceDirect数据检索分析"));
    // The column widths the user sets come back with the window.
    KeepColumnWidths(ListView1, SettingsKeys::SectionWebSearch, ArticleListModel::TitleColumn);
    updateMinimumSize();

    connect(Command3, &QPushButton::clicked, this, &fWebSearch::openTypedAddress);
    // Enter in the address box opens the address as "打开" does (the box
    // inserts nothing itself, so its own Enter would do nothing).
    connect(Combo1->lineEdit(), &QLineEdit::returnPressed, this, &fWebSearch::openTypedAddress);
    connect(Command1, &QPushButton::clicked, Combo1, &QComboBox::clear);
    connect(Command9, &QPushButton::clicked, this, &fWebSearch::addThisPage);
    connect(Command5, &QPushButton::clicked, this, [this] { AnalyseStopped = true; });
    connect(Check2, &QCheckBox::toggled, WebBrowser1, &Browser::setSilent);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        menu清除->popup(ListView1->viewport()->mapToGlobal(pos));
    });

    connect(WebBrowser1, &Browser::navigationStarting, this, [this](const QString& address) {
        // None of the maker's own pages exist here, so the bar shows for every address.
        StatusBar1->show();
        记录url(address);
    });
    connect(WebBrowser1, &Browser::statusTextChanged, m_statusPanels[1], &QLabel::setText);
    connect(WebBrowser1, &Browser::titleChanged, this, [this] { 记录url({}); });
    connect(WebBrowser1, &Browser::documentComplete, this, [this] {
        PageLoading = false;
        记录url({});
    });
    // The browser opens the new window's address itself, in the same view.
    connect(WebBrowser1, &Browser::newWindowRequested, this,
            [this](const QString& address) { 记录url(address); });
}

void fWebSearch::buildMenus() {
    auto action = [this](QMenu* menu, const QString& name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        return a;
    };

    // The popup of "分析下载"; not on the menu bar.
    menu加入 = named(new QMenu(QStringLiteral("加入"), this), QStringLiteral("menu加入"));
    menu分析未分析项 =
        action(menu加入, QStringLiteral("menu分析未分析项"), QStringLiteral("分析未分析项"));
    menu加入分析失败项 =
        action(menu加入, QStringLiteral("menu加入分析失败项"), QStringLiteral("分析失败项"));
    menu选中加入 = action(menu加入, QStringLiteral("menu选中加入"), QStringLiteral("分析选中项"));
    menu全部加入 = action(menu加入, QStringLiteral("menu全部加入"), QStringLiteral("分析全部"));

    QMenuBar* bar = menuBar();
    menu浏览 = named(bar->addMenu(QStringLiteral("浏览(&B)")), QStringLiteral("menu浏览"));
    menu打开sciencedirect查询首页 =
        action(menu浏览, QStringLiteral("menu打开sciencedirect查询首页"),
               QStringLiteral("打开ScienceDirect首页"));
    menu浏览->addSeparator();
    menu打开指定网址 =
        action(menu浏览, QStringLiteral("menu打开指定网址"), QStringLiteral("打开指定网址..."));
    menu打开本地网页文件 = action(menu浏览, QStringLiteral("menu打开本地网页文件"),
                                  QStringLiteral("打开本地网页文件"));
    menu浏览->addSeparator();
    menu后退 = action(menu浏览, QStringLiteral("menu后退"), QStringLiteral("后退"));
    menu前进 = action(menu浏览, QStringLiteral("menu前进"), QStringLiteral("前进"));
    menu浏览->addSeparator();
    menu关闭本窗口 =
        action(menu浏览, QStringLiteral("menu关闭本窗口"), QStringLiteral("关闭本窗口"));

    menu清除 = named(bar->addMenu(QStringLiteral("清除(&C)")), QStringLiteral("menu清除"));
    menu清除选中项 =
        action(menu清除, QStringLiteral("menu清除选中项"), QStringLiteral("清除选中项"));
    menu清除分析成功项 =
        action(menu清除, QStringLiteral("menu清除分析成功项"), QStringLiteral("清除成功项"));
    menu清除->addSeparator();
    menu清除标题含指定字符项 = action(menu清除, QStringLiteral("menu清除标题含指定字符项"),
                                      QStringLiteral("清除标题含指定字符项"));
    menu清除标题不含指定字符项 = action(menu清除, QStringLiteral("menu清除标题不含指定字符项"),
                                        QStringLiteral("清除标题不含指定字符项"));
    menu清除->addSeparator();
    menu清空全部 = action(menu清除, QStringLiteral("menu清空全部"), QStringLiteral("清空全部"));

    menu工具 = named(bar->addMenu(QStringLiteral("工具(&T)")), QStringLiteral("menu工具"));
    menu设置 = action(menu工具, QStringLiteral("menu设置"), QStringLiteral("设置"));
    menu设置下载保存路径 = action(menu工具, QStringLiteral("menu设置下载保存路径"),
                                  QStringLiteral("设置下载保存路径"));
    menu工具->addSeparator();
    menu打开下载窗口 =
        action(menu工具, QStringLiteral("menu打开下载窗口"), QStringLiteral("打开下载窗口"));
    menu导出文献信息 =
        action(menu工具, QStringLiteral("menu导出文献信息"), QStringLiteral("导出文献信息..."));
    menu工具->addSeparator();
    menu查看IE浏览器缓存 = action(menu工具, QStringLiteral("menu查看IE浏览器缓存"),
                                  QStringLiteral("查看IE浏览器缓存"));
    menu清空IE浏览器缓存 = action(menu工具, QStringLiteral("menu清空IE浏览器缓存"),
                                  QStringLiteral("清空IE浏览器缓存"));
    menu工具->addSeparator();
    menu网页源码另存为 =
        action(menu工具, QStringLiteral("menu网页源码另存为"), QStringLiteral("网页源码另存为"));
    menu显示当前网址 =
        action(menu工具, QStringLiteral("menu显示当前网址"), QStringLiteral("显示当前网址"));

    menu帮助 = named(bar->addMenu(QStringLiteral("帮助(&H)")), QStringLiteral("menu帮助"));
    menu关于 = action(menu帮助, QStringLiteral("menu关于"), QStringLiteral("关于(&A)"));

    connect(menu打开sciencedirect查询首页, &QAction::triggered, this, &fWebSearch::openHomePage);
    connect(menu打开指定网址, &QAction::triggered, this, &fWebSearch::openOtherAddress);
    connect(menu打开本地网页文件, &QAction::triggered, this, &fWebSearch::openLocalPage);
    connect(menu后退, &QAction::triggered, this, [this] { WebBrowser1->goBack(); });
    connect(menu前进, &QAction::triggered, this, [this] { WebBrowser1->goForward(); });
    connect(menu关闭本窗口, &QAction::triggered, this, &QWidget::close);
    connect(menu清除选中项, &QAction::triggered, this, &fWebSearch::removeSelected);
    connect(menu导出文献信息, &QAction::triggered, this, &fWebSearch::exportRecords);
    connect(menu清除分析成功项, &QAction::triggered, this, &fWebSearch::removeSucceeded);
    connect(menu清除标题含指定字符项, &QAction::triggered, this,
            [this] { removeTitleContaining(true); });
    connect(menu清除标题不含指定字符项, &QAction::triggered, this,
            [this] { removeTitleContaining(false); });
    connect(menu清空全部, &QAction::triggered, this, &fWebSearch::removeAll);
    connect(menu设置下载保存路径, &QAction::triggered, this,
            [this] { fSeleFileSavePath::ask(this); });
    connect(menu设置, &QAction::triggered, this,
            [this] { app().flow().showModal(WindowNames::Option, this); });
    connect(menu关于, &QAction::triggered, this,
            [this] { app().flow().showModal(WindowNames::About, this); });
    connect(menu打开下载窗口, &QAction::triggered, this,
            [] { app().flow().show(WindowNames::FileDownload); });
    connect(menu查看IE浏览器缓存, &QAction::triggered, this,
            [this] { ShowBrowserCacheViewer(this); });
    connect(menu清空IE浏览器缓存, &QAction::triggered, this, [] { ClearBrowserCache(true); });
    connect(menu网页源码另存为, &QAction::triggered, this, &fWebSearch::savePageSource);
    connect(menu显示当前网址, &QAction::triggered, this, &fWebSearch::showCurrentAddress);
}

QString fWebSearch::documentAddress() const {
    if (!WebBrowser1 || !WebBrowser1->hasDocument())
        return {};
    return WebBrowser1->address();
}

// ---------------------------------------------------------------------------
// Article list

bool fWebSearch::加入LV1(const QString& title, const QString& link, const QString& pageAddress,
                         const QString& type, const QString& saveFolder, const QString& layout,
                         const ArticleRecord& record) {
    return m_articles->add(title, link, pageAddress, type, saveFolder, layout, record);
}

void fWebSearch::updateCountLabel() {
    Label1->setText(QString::number(m_articles->size()));
}

bool fWebSearch::refuseWhileAnalysing() {
    if (AnalyseStopped)
        return false;
    app().dialogs().error(this, QStringLiteral("正在分析，不能清除！"));
    return true;
}

void fWebSearch::filteredRemoval(const std::function<bool(int row)>& matches) {
    if (m_articles->isEmpty())
        return;
    // One repaint for the whole walk instead of one per removed row.
    ListView1->setUpdatesEnabled(false);
    QList<int> doomed;
    for (int r = 0; r < m_articles->size(); ++r) {
        if (matches(r))
            doomed << r;
    }
    m_articles->removeRowList(doomed);
    ListView1->setUpdatesEnabled(true);
    updateCountLabel();
}

void fWebSearch::removeSelected() {
    if (refuseWhileAnalysing())
        return;
    QSet<int> selected;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        selected.insert(index.row());
    filteredRemoval([&selected](int row) { return selected.contains(row); });
}

void fWebSearch::exportRecords() {
    QList<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        for (int r = 0; r < m_articles->size(); ++r)
            rows.append(r);
    }
    QList<ExportEntry> entries;
    for (int r : std::as_const(rows))
        entries.append({m_articles->at(r).record, m_articles->at(r).title, {}});
    AskAndExportRecords(this, entries,
                        rows.isEmpty() ? QString() : m_articles->at(rows.first()).saveFolder);
}

void fWebSearch::removeSucceeded() {
    if (refuseWhileAnalysing())
        return;
    filteredRemoval([this](int row) { return ArticleState::isSuccess(m_articles->at(row).state); });
}

void fWebSearch::removeTitleContaining(bool contains) {
    if (refuseWhileAnalysing())
        return;
    const QString answer =
        app()
            .dialogs()
            .inputText(this, QStringLiteral("请输入指定字符："), QString(), QString())
            .value_or(QString());
    if (answer.isEmpty())
        return;
    filteredRemoval([this, &answer, contains](int row) {
        return m_articles->at(row).title.contains(answer, Qt::CaseInsensitive) == contains;
    });
}

void fWebSearch::removeAll() {
    if (refuseWhileAnalysing())
        return;
    if (!app().dialogs().question(this, QStringLiteral("您确定要清空辛辛苦苦搜索的列表数据吗？")))
        return;
    m_articles->clear();
    Label1->setText(QStringLiteral("0"));
}

QString fWebSearch::extractionSaveFolder() const {
    return app().PromptSaveFolder == 1 ? app().CurrentSaveFolder : QString();
}

int fWebSearch::ExtractResultPage(const QString& saveFolder) {
    DocumentSnapshot document;
    {
        const WaitScope waiting(this);
        document = WebBrowser1->snapshot();
    }
    const ExtractionResult found = ::ExtractResultPage(document, saveFolder, Check1->isChecked());
    if (!found.documentFound)
        return 0;
    for (const ExtractedArticle& a : found.articles)
        加入LV1(a.title, a.link, a.pageAddress, a.type, a.saveFolder, a.layout, a.record);
    updateCountLabel();
    return found.offered();
}

void fWebSearch::addThisPage() {
    if (app().PromptSaveFolder == 1)
        fSeleFileSavePath::ask(this);
    ExtractResultPage(extractionSaveFolder());
    AutoSizeColumns(ListView1, -2);
}

// ---------------------------------------------------------------------------
// History and browsing

bool fWebSearch::查找Combo1(const QString& address) const {
    for (int i = 0; i < Combo1->count(); ++i) {
        if (Combo1->itemText(i).compare(address, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

void fWebSearch::记录url(const QString& address) {
    QString a = address;
    if (a.isEmpty())
        a = documentAddress().trimmed();
    if (a.isEmpty() || a.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0)
        return;
    if (查找Combo1(a))
        return;
    const QString shown = Combo1->currentText();
    Combo1->addItem(a);
    WidenDropDown(Combo1);
    Combo1->setEditText(shown);
}

void fWebSearch::openHomePage() {
    Check2->setChecked(true);
    WebBrowser1->navigate(app().SiteHomeAddress);
}

void fWebSearch::openTypedAddress() {
    const QString address = Combo1->currentText().trimmed();
    if (!address.isEmpty())
        WebBrowser1->navigate(address);
}

void fWebSearch::openOtherAddress() {
    AppValues& v = app();
    const QString answer = v.dialogs()
                               .inputText(this, QStringLiteral("请输入需要打开的网址："),
                                          QStringLiteral("请输入..."), v.settings().otherUrl())
                               .value_or(QString())
                               .trimmed();
    // Secure pages get their script messages; others are kept quiet.
    Check2->setChecked(answer.left(8).toLower() != QLatin1String("https://"));
    if (answer.isEmpty())
        return;
    v.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::OtherUrl, answer);
    WebBrowser1->navigate(answer);
}

void fWebSearch::openLocalPage() {
    const QString file =
        app().dialogs().openFile(this, QStringLiteral("打开本地网页文件"), QString(),
                                 QStringLiteral("网页文件 (*.htm *.html)"));
    if (file.isEmpty())
        return;
    WebBrowser1->navigate(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toString());
}

void fWebSearch::savePageSource() {
    // The dialog adds ".htm" itself, so its question about replacing a file
    // covers the file written here.
    const QString file =
        app().dialogs().saveFile(this, QStringLiteral("网页源码另存为"), QString(),
                                 QStringLiteral("网页文件 (*.htm)"), QStringLiteral("htm"));
    if (file.isEmpty() || !WebBrowser1->hasDocument())
        return;
    QByteArray html;
    {
        const WaitScope waiting(this);
        html = WebBrowser1->outerHtml().toUtf8();
    }
    // A source that could not be read (script failed or timed out, no root
    // element) is no page: nothing is written, and a file of that name stays
    // as it was. QSaveFile writes beside it and renames only when complete.
    QSaveFile out(file);
    if (html.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(html) != html.size() ||
        !out.commit()) {
        app().dialogs().error(this, SaveSourceFailedMessage);
        return;
    }
    app().dialogs().information(this, SaveSourceDoneMessage);
}

void fWebSearch::showCurrentAddress() {
    app().dialogs().information(this, documentAddress());
}

// ---------------------------------------------------------------------------
// Layout, splitter and the progress panel

int fWebSearch::splitterTop() const {
    return PicBar->y();
}

void fWebSearch::setSplitterTop(int top) {
    PicBar->move(PicBar->x(), top);
}

int fWebSearch::listPanelNeed(int rows) const {
    const int width = qMax(PicPanList->width(), PicPanList->minimumSizeHint().width());
    auto* layout = PicPanList->layout();
    // The options and buttons at this width, the list's header and its rows.
    int controls = 0;
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->widget() == ListView1 || item->isEmpty())
            continue;
        controls +=
            (item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height()) +
            layout->spacing();
    }
    const QMargins m = layout->contentsMargins();
    const int row = ListView1->fontMetrics().height() + 1;
    return controls + m.top() + m.bottom() + ListView1->header()->sizeHint().height() + rows * row +
           2 * ListView1->frameWidth();
}

void fWebSearch::updateMinimumSize() {
    // What the layouts need, and never less than the designed least size.
    const int side = (SearchLayoutRules::SideRoomTwips + SearchLayoutRules::TwipsPerPixel / 2) /
                     SearchLayoutRules::TwipsPerPixel;
    const int width = std::max({SearchLayoutRules::MinWidthTwips / SearchLayoutRules::TwipsPerPixel,
                                m_historyRow->minimumSizeHint().width(),
                                PicPanList->minimumSizeHint().width() + side});
    const int listWidth = width - side;
    auto* layout = PicPanList->layout();
    const int listHeight = layout->hasHeightForWidth() ? layout->totalHeightForWidth(listWidth)
                                                       : layout->totalMinimumSize().height();
    const int browser = fontMetrics().height() * BrowserLinesAtLeast;
    const int chrome = menuBar()->sizeHint().height() + StatusBar1->sizeHint().height();
    const int height =
        qMax((SearchLayoutRules::MinHeightTwips + SearchLayoutRules::TwipsPerPixel - 1) /
                 SearchLayoutRules::TwipsPerPixel,
             chrome + m_historyRow->sizeHint().height() + browser + SplitterHeight + listHeight +
                 ListView1->header()->sizeHint().height() +
                 ListRowsAtLeast * (ListView1->fontMetrics().height() + 1) + 8);
    setMinimumSize(width, height);
}

void fWebSearch::layoutPanels() {
    if (isMinimized())
        return;
    const int w = m_central->width();
    const int h = m_central->height();
    const int historyHeight = m_historyRow->sizeHint().height();
    m_historyRow->setGeometry(0, 0, w, historyHeight);
    const SearchLayout l =
        ComputeSearchLayout(w, h, historyHeight, PicBar->y(), PicBar->height(),
                            listPanelNeed(ListRowsAtLeast), listPanelNeed(ListRowsWanted));
    PicBar->setGeometry(l.bar);
    PicPanWeb->setGeometry(l.web);
    PicPanList->setGeometry(l.list);
    centreProgressPanel();
    PaintListStripes(ListView1, false, 0);
}

void fWebSearch::centreProgressPanel() {
    const QRect list = PicPanList->geometry();
    PicPanPrograss->move(list.center() -
                         QPoint(PicPanPrograss->width() / 2, PicPanPrograss->height() / 2));
}

void fWebSearch::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateMinimumSize();
}

void fWebSearch::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutPanels();
}

bool fWebSearch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PicBar) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            PicBar->raise();
            return true;
        case QEvent::MouseMove: {
            const auto* me = static_cast<QMouseEvent*>(event);
            if (me->buttons() & Qt::LeftButton)
                PicBar->move(PicBar->x(), PicBar->y() + qRound(me->position().y()));
            return true;
        }
        case QEvent::MouseButtonRelease:
            layoutPanels();
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Up && key != Qt::Key_Down)
                break;
            const int step = fontMetrics().height();
            PicBar->move(PicBar->x(), PicBar->y() + (key == Qt::Key_Up ? -step : step));
            layoutPanels();
            return true;
        }
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            // Shows where the keyboard is.
            PicBar->setFrameShape(PicBar->hasFocus() ? QFrame::Box : QFrame::StyledPanel);
            break;
        default:
            break;
        }
    } else if (watched == PicPanPrograss) {
        // The panel follows the pointer while a button is held on it.
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            m_dragOffset = static_cast<QMouseEvent*>(event)->position().toPoint();
            return true;
        case QEvent::MouseMove: {
            const auto* me = static_cast<QMouseEvent*>(event);
            if (me->buttons() != Qt::NoButton)
                PicPanPrograss->move(PicPanPrograss->pos() + me->position().toPoint() -
                                     m_dragOffset);
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Closing

fWebSearch::WaitScope::WaitScope(fWebSearch* window) : m_window(window) {
    ++m_window->m_waitDepth;
}

fWebSearch::WaitScope::~WaitScope() {
    if (--m_window->m_waitDepth == 0 && m_window->m_closeRequested) {
        m_window->m_closeRequested = false;
        // Closed from inside the wait: close for real once back in the main loop,
        // where destroying the window cannot pull it from under a running handler.
        QTimer::singleShot(0, m_window, &QWidget::close);
    }
}

void fWebSearch::closeEvent(QCloseEvent* event) {
    if (runActive()) {
        app().dialogs().error(this, QStringLiteral("正在工作，停止以后才能退出！"));
        event->ignore();
        return;
    }
    if (m_waitDepth > 0) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    AppValues& v = app();
    v.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::Delay, Combo2->currentIndex());
    if (!v.flow().IsFormLoaded(WindowNames::FileDownload))
        v.flow().show(WindowNames::Cover);
    const QString address = documentAddress();
    if (!address.isEmpty())
        v.settings().write(SettingsKeys::SectionWebSearch, SettingsKeys::Web1Url, address);
    WindowFlow::markUnloaded(this);
    event->accept();
}
