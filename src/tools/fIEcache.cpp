#include "tools/fIEcache.h"

#include "platform/ConfinedFiles.h"
#include "platform/Dialogs.h"
#include "platform/Wait.h"
#include "shell/AppValues.h"
#include "shell/FileNames.h"
#include "shell/WindowFlow.h"
#include "shell/WindowPlacement.h"
#include "shell/WindowRoutines.h"
#include "tools/CacheListModel.h"
#include "tools/CopyTool.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString MyCacheTag = QStringLiteral("我的缓存");
const QString AllCachesTag = QStringLiteral("所有缓存");
const QString UserPrefix = QStringLiteral("用户:");
// Entries read, or rows handled, between two passes of the event loop.
constexpr int SliceSize = 500;

QTreeWidget* makeFolderList(QWidget* parent, const QString& name, const QStringList& columns) {
    auto* list = named(new QTreeWidget(parent), name);
    list->setHeaderLabels(columns);
    list->setRootIsDecorated(false);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QString lastComponent(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace

fIEcache::fIEcache(QWidget* parent, const QString& home, const QString& cacheFolder)
    : QDialog(parent),
      m_cache(cacheFolder.isEmpty() ? BrowserCache::profileEntryFolder() : cacheFolder),
      m_home(home.isEmpty() ? QDir::homePath() : home), m_userFolders{QString()}, m_cacheSubfolders{
                                                                                      QString()} {
    setObjectName(WindowNames::IEcache);
    setWindowTitle(QStringLiteral("IE浏览器Cookie 缓存和历史列表-") + Dialogs::applicationTitle());

    m_model = new CacheListModel(this);
    ListView1 = named(new QTreeView(this), QStringLiteral("ListView1"));
    ListView1->setModel(m_model);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAlternatingRowColors(true);
    ListView1->header()->setSectionsClickable(true);
    ListView1->header()->setSortIndicatorShown(false);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this, &fIEcache::sortByColumn);

    ListView2 = makeFolderList(this, QStringLiteral("ListView2"),
                               {QStringLiteral("用户名"), QStringLiteral("文件夹")});
    ListView3 = makeFolderList(this, QStringLiteral("ListView3"), {QStringLiteral("文件夹")});

    Label1 = named(new QLabel(QStringLiteral("000"), this), QStringLiteral("Label1"));
    const auto button = [this](const QString& name, const QString& caption) {
        auto* b = named(new QPushButton(caption, this), name);
        b->setAutoDefault(false);
        return b;
    };
    Command1 = button(QStringLiteral("Command1"), QStringLiteral("查看我的缓存"));
    Command7 = button(QStringLiteral("Command7"), QStringLiteral("查看所有用户缓存"));
    Command6 = button(QStringLiteral("Command6"), QStringLiteral("复制选中..."));
    Command2 = button(QStringLiteral("Command2"), QStringLiteral("删除所选文件"));
    Command3 = button(QStringLiteral("Command3"), QStringLiteral("全部删除"));
    Command4 = button(QStringLiteral("Command4"), QStringLiteral("关闭"));

    auto* folders = new QSplitter(Qt::Horizontal);
    folders->addWidget(ListView2);
    folders->addWidget(ListView3);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(ListView1);
    split->addWidget(folders);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Label1, 1);
    for (QPushButton* b : {Command1, Command7, Command6, Command2, Command3, Command4})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    // Tab goes from the lists, top to bottom, to the buttons, left to right.
    QWidget* previous = ListView1;
    for (QWidget* next : std::initializer_list<QWidget*>{ListView2, ListView3, Command1, Command7,
                                                         Command6, Command2, Command3, Command4}) {
        setTabOrder(previous, next);
        previous = next;
    }
    // Read by a screen reader under these names: the lists have no caption.
    NameAfterCaption(ListView1, QStringLiteral("缓存文件"));
    NameAfterCaption(ListView2, QStringLiteral("用户缓存文件夹"));
    NameAfterCaption(ListView3, QStringLiteral("文件夹"));
    // 900 x 600 where the screen has room, over the window that opened it.
    ManageWindowPlacement(this, QSize(900, 600), PlacementMemory::Size);

    connect(Command1, &QPushButton::clicked, this, &fIEcache::Command1_Click);
    connect(Command7, &QPushButton::clicked, this, &fIEcache::Command7_Click);
    connect(Command6, &QPushButton::clicked, this, &fIEcache::Command6_Click);
    connect(Command2, &QPushButton::clicked, this, &fIEcache::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &fIEcache::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &QWidget::close);
}

fIEcache::~fIEcache() = default;

void fIEcache::setBusy(bool busy) {
    m_busy = busy;
    for (QPushButton* b : {Command1, Command7, Command6, Command2, Command3})
        b->setEnabled(!busy);
    if (!busy && !m_clearing && m_closeRequested)
        close();
}

bool fIEcache::slice() {
    QPointer<fIEcache> self(this);
    Wait::processEventsOnce();
    return !self.isNull();
}

void fIEcache::countLine(bool failed) {
    Label1->setText((failed ? QStringLiteral("出错!!!共有") : QStringLiteral("共有")) +
                    QString::number(m_model->rowCount()) + QStringLiteral(" 个文件"));
}

QList<int> fIEcache::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : ListView1->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

// --- Current user's view ---

void fIEcache::Command1_Click() {
    if (m_busy)
        return;
    QPointer<fIEcache> self(this);
    setBusy(true);
    GetCacheURLList();
    if (!self)
        return;
    AutoSizeColumns(ListView1);
    ListView1Tag = MyCacheTag;
    setBusy(false);
}

void fIEcache::GetCacheURLList() {
    m_model->clear();
    m_roots.clear();
    m_roots.add(QFileInfo(m_cache.folder()).canonicalFilePath());
    if (m_cache.unreadable()) {
        countLine(true);
        return;
    }
    BrowserCache::Reader reader(m_cache.folder());
    QList<BrowserCacheEntry> entries;
    bool more = true;
    while (more && !m_closeRequested) {
        entries.clear();
        more = reader.readSome(SliceSize, entries);
        QList<CacheRow> rows;
        rows.reserve(entries.size());
        for (const BrowserCacheEntry& entry : std::as_const(entries)) {
            if (!entry.normal)
                continue;
            CacheRow row;
            row.text = entry.address;
            QString name;
            row.type = ExtensionFromUrl(entry.address, name);
            row.entryFile = entry.file;
            if (entry.hasBody()) {
                row.filePath = entry.file;
                row.size = entry.bodySize;
            }
            rows.append(std::move(row));
        }
        m_model->append(rows);
        countLine();
        if (more && !slice())
            return;
    }
    countLine();
    判断文件在缓存中文件路径();
}

void fIEcache::判断文件在缓存中文件路径() {
    for (int i = 0; i < m_model->rowCount(); ++i) {
        CacheRow& row = m_model->row(i);
        if (row.isUserFile() || row.filePath.isEmpty() || FileExists(row.filePath))
            continue;
        row.filePath.clear();
        row.size = -1;
        m_model->rowChanged(i);
    }
}

// --- All users' view ---

void fIEcache::Command7_Click() {
    if (m_busy)
        return;
    QPointer<fIEcache> self(this);
    setBusy(true);
    m_model->clear();
    m_userFolders = {QString()};
    m_cacheSubfolders = {QString()};
    ListView2->clear();
    ListView3->clear();
    m_roots.clear();

    const QString relative = RelativeCachePath(m_home, m_cache.folder());
    QString root = ProfilesRoot(m_home);
    if (!relative.isEmpty() && !root.isEmpty()) {
        QStringList users;
        ListSubfolders(root, users, false);
        QStringList subfolders;
        for (const QString& user : std::as_const(users)) {
            // Another user may have put a link anywhere on the way to the
            // cache folder; a folder that resolves outside its home is not a
            // cache folder of that user, and below it nothing is followed.
            const QString candidate = ResolvedInside(user + QLatin1Char('/') + relative, user);
            const QFileInfo info(candidate);
            if (candidate.isEmpty() || !info.isReadable() || !info.isExecutable())
                continue;
            auto* item = new QTreeWidgetItem(ListView2, {lastComponent(user), candidate});
            Q_UNUSED(item);
            m_roots.add(candidate);
            QString folder = candidate;
            ListSubfolders(folder, subfolders, true);
        }
        m_userFolders = users;
        m_userFolders << QString();
        for (const QString& folder : std::as_const(subfolders))
            new QTreeWidgetItem(ListView3, {folder});
        m_cacheSubfolders = subfolders;
        m_cacheSubfolders << QString();
    }

    for (int u = 0; u < ListView2->topLevelItemCount() && !m_closeRequested; ++u) {
        const QString user = ListView2->topLevelItem(u)->text(0);
        QString folder = ListView2->topLevelItem(u)->text(1);
        QStringList files;
        ListFiles(folder, files, true);
        QList<CacheRow> rows;
        for (const QString& path : std::as_const(files)) {
            if (path.isEmpty())
                continue;
            CacheRow row;
            row.text = UserPrefix + user;
            QString name;
            row.type = ExtensionFromUrl(path, name);
            row.size = QFileInfo(path).size();
            row.filePath = path;
            rows.append(std::move(row));
            if (rows.size() >= SliceSize) {
                m_model->append(rows);
                rows.clear();
                countLine();
                if (!slice())
                    return;
            }
        }
        m_model->append(rows);
    }
    countLine();
    AutoSizeColumns(ListView1);
    ListView2->resizeColumnToContents(0);
    ListView2->resizeColumnToContents(1);
    ListView3->resizeColumnToContents(0);
    ListView1Tag = AllCachesTag;
    if (self)
        setBusy(false);
}

// --- Deleting ---

void fIEcache::Command2_Click() {
    if (!m_busy)
        deleteRows(selectedRows());
}

void fIEcache::Command3_Click() {
    if (m_busy)
        return;
    QList<int> rows(m_model->rowCount());
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = i;
    deleteRows(rows);
}

void fIEcache::deleteRows(const QList<int>& rows) {
    QPointer<fIEcache> self(this);
    setBusy(true);
    const auto kept = [](const CacheRow& row) {
        return row.text.isEmpty() ||
               row.text.contains(QLatin1String("cookie"), Qt::CaseInsensitive);
    };
    int handled = 0;
    for (int i : rows) {
        if (m_closeRequested)
            break;
        const CacheRow row = m_model->row(i);
        if (row.isUserFile()) {
            if (row.type.toLower() != QLatin1String("txt") && !row.filePath.isEmpty())
                强制删除(row.filePath);
        } else if (!kept(row)) {
            m_cache.removeEntry(row.entryFile);
        }
        if (++handled % SliceSize == 0 && !slice())
            return;
    }
    删除空文件夹();
    if (m_closeRequested) {
        setBusy(false);
        return;
    }
    m_busy = false;
    refreshView();
}

void fIEcache::强制删除(const QString& path) {
    const QString root = m_roots.rootOf(path);
    if (root.isEmpty())
        return;
    // The running browser keeps its index open and rewrites it; only entries go.
    if (BrowserCache::isBookkeepingFile(path) && m_cache.isLive() &&
        root == QFileInfo(m_cache.folder()).canonicalFilePath())
        return;
    m_roots.removeFile(path);
}

void fIEcache::删除空文件夹() {
    for (qsizetype i = m_cacheSubfolders.size() - 1; i >= 0; --i) {
        const QString folder = m_cacheSubfolders.at(i);
        if (!folder.isEmpty())
            m_roots.removeEmptyFolder(folder); // fails, as it should, for a folder with contents
    }
}

void fIEcache::refreshView() {
    if (ListView1Tag == MyCacheTag)
        Command1_Click();
    else if (ListView1Tag == AllCachesTag)
        Command7_Click();
}

bool fIEcache::ClearAllCaches() {
    if (cacheOperationRunning())
        return false;
    QPointer<fIEcache> self(this);
    m_clearing = true;
    for (auto step : {&fIEcache::Command1_Click, &fIEcache::Command3_Click,
                      &fIEcache::Command7_Click, &fIEcache::Command3_Click}) {
        (this->*step)();
        if (!self)
            return false;
        if (m_closeRequested)
            break;
    }
    m_clearing = false;
    const bool completed = !m_closeRequested;
    if (m_closeRequested)
        close();
    return completed;
}

// --- Copying ---

void fIEcache::Command6_Click() {
    if (m_busy)
        return;
    QList<CopySource> sources;
    for (int i : selectedRows()) {
        const CacheRow& row = m_model->row(i);
        if (row.filePath.isEmpty())
            continue;
        // The document an entry file holds is copied, under the name its
        // address gives; the entry is read again when it is copied.
        QString address = row.isUserFile() ? QString() : row.text;
        const QString entryFile = row.isUserFile() ? row.filePath : row.entryFile;
        if (row.isUserFile() && BrowserCache::isEntryFileName(QFileInfo(entryFile).fileName())) {
            const std::optional<BrowserCacheEntry> entry = BrowserCache::readEntry(entryFile);
            if (entry && entry->normal)
                address = entry->address;
        }
        if (address.isEmpty()) {
            sources << CopySource(row.filePath);
            continue;
        }
        const QString fallback = QFileInfo(entryFile).fileName().chopped(2);
        sources << CopySource::cacheEntry(entryFile, address,
                                          CachedDocumentName(address, fallback));
    }
    QPointer<QWidget> window = app().flow().load(WindowNames::CopyMove);
    auto* target = dynamic_cast<CopyFileDialog*>(window.data());
    auto* dialog = qobject_cast<QDialog*>(window.data());
    if (!target || !dialog)
        return;
    target->setCopyFiles(sources);
    dialog->setWindowTitle(QStringLiteral("复制文件：") + QString::number(sources.size()) +
                           QStringLiteral(" 个文件..."));
    dialog->setParent(this, dialog->windowFlags());
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->exec();
}

// --- Sorting ---

void fIEcache::sortByColumn(int column) {
    if (m_busy)
        return;
    m_descending = !m_descending;
    m_model->sortBy(column, m_descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

// --- Closing ---

void fIEcache::done(int result) {
    if (cacheOperationRunning()) {
        m_closeRequested = true;
        return;
    }
    WindowFlow::markUnloaded(this);
    QDialog::done(result);
}

void fIEcache::closeEvent(QCloseEvent* event) {
    if (cacheOperationRunning()) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    WindowFlow::markUnloaded(this);
    QDialog::closeEvent(event);
}
