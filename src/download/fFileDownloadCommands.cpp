// The download window's list commands and the list's own events.

#include "download/fFileDownload.h"

#include "download/RecordExportDialog.h"

#include "download/Naming.h"
#include "download/Scheduler.h"
#include "download/UrlReplace.h"
#include "shell/AppValues.h"
#include "shell/FileNames.h"
#include "shell/WindowRoutines.h"

#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

namespace {
const QString RefusedWhileRunning = QStringLiteral("停止下载以后，才能执行此操作！");
const QString FileMissing = QStringLiteral("该文件不存在！");
const QString OpenFailed = QStringLiteral("打开失败！");

// Runs an action when the left mouse button is released over the watched widget.
class ClickWatcher : public QObject {
public:
    ClickWatcher(std::function<void()> action, QObject* parent)
        : QObject(parent), m_action(std::move(action)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_action();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};
} // namespace

void fFileDownload::wireListCommands() {
    auto wire = [this](QAction* a, auto&& f) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, f);
    };
    wire(menu全选专利列表, [this] { SelectAllRows(); });
    wire(menu全不选, [this] { SelectNoRows(); });
    wire(menu随机排序列表, [this] { ShuffleRows(); });
    wire(menu自动列宽, [this] { FitColumns(); });
    wire(menu重新下载选中项, [this] { RedownloadRows(RedownloadRule::Selected); });
    wire(menu重新下载出错项和网页项, [this] { RedownloadRows(RedownloadRule::FailedOrWebPages); });
    wire(menu重新下载文件大小小于指定数字的项, [this] { RedownloadSmallerThanAnswer(); });
    wire(menu清除选中项, [this] { ClearRows(ClearRule::Selected); });
    wire(menu清除全部出错项, [this] { ClearRows(ClearRule::Failed); });
    wire(menu清除完成项, [this] { ClearRows(ClearRule::Finished); });
    wire(menu清空, [this] { ClearRows(ClearRule::All); });
    wire(menu删除网页类型文件项, [this] { DeleteRowFiles(DeleteFileRule::WebPages); });
    wire(menu删除出错项, [this] { DeleteRowFiles(DeleteFileRule::Failed); });
    wire(menu打开下载文件, [this] { OpenCurrentFile(); });
    wire(menu打开文件所在文件夹, [this] { OpenCurrentFolder(); });
    wire(menu用记事本打开文件, [this] { OpenCurrentInTextEditor(); });
    wire(menu复制名称, [this] { CopyCurrentName(); });
    wire(menu批量替换网址, [this] { OpenUrlReplace(); });
    wire(menu导出全部名称, [this] { ExportNames(false); });
    wire(menu导出未完成项名称, [this] { ExportNames(true); });
    wire(menu导出选中项文献信息, [this] { ExportRecords(false); });
    wire(menu导出本次完成项文献信息, [this] { ExportRecords(true); });
    // A run's rows are those it started; the next run starts afresh.
    connect(m_scheduler, &Scheduler::transferStarted, this, [this](int row) {
        if (m_runOver)
            m_runRows.clear();
        m_runOver = false;
        if (m_list->isValidRow(row))
            m_runRows.insert(m_list->item(row).id);
    });
    connect(m_scheduler, &Scheduler::timerDownChanged, this, [this](bool enabled) {
        if (!enabled)
            m_runOver = true;
    });
    wire(menu检查文件是否存在, [this] { CheckFilesExist(); });

    QHeaderView* header = ListView3->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    connect(header, &QHeaderView::sectionClicked, this, &fFileDownload::SortByColumn);
    connect(ListView3, &QAbstractItemView::clicked, this, &fFileDownload::RowClicked);
    connect(ListView3, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { RowDoubleClicked(); });
    connect(ListView3, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ShowListMenu(ListView3->viewport()->mapToGlobal(pos)); });

    QLabel* panel2 = m_panels[1];
    panel2->installEventFilter(new ClickWatcher([this] { PanelClicked(2); }, panel2));

    // The count beside the list follows every row that comes or goes.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_list, signal, this, &fFileDownload::updateRowCountLabel);
    connect(m_list, &QAbstractItemModel::modelReset, this, &fFileDownload::updateRowCountLabel);
    connect(m_list, &QAbstractItemModel::layoutChanged, this, &fFileDownload::updateRowCountLabel);
}

bool fFileDownload::listMayChange() {
    if (downloadRunning() || Busy) {
        app().dialogs().information(this, RefusedWhileRunning);
        return false;
    }
    return true;
}

int fFileDownload::currentRow() const {
    const QModelIndex current = ListView3->currentIndex();
    return current.isValid() && m_list->isValidRow(current.row()) ? current.row() : -1;
}

QList<bool> fFileDownload::selectionMarks() const {
    QList<bool> marks(m_list->count(), false);
    for (const QItemSelectionRange& range : ListView3->selectionModel()->selection()) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            if (r >= 0 && r < marks.size())
                marks[r] = true;
    }
    return marks;
}

// ---------------------------------------------------------------- selection, order

void fFileDownload::SelectAllRows() {
    ListView3->selectAll();
}

void fFileDownload::SelectNoRows() {
    ListView3->selectionModel()->clearSelection();
}

void fFileDownload::ShuffleRows() {
    if (!listMayChange())
        return;
    ListView3->setUpdatesEnabled(false);
    ListView3->selectionModel()->clearSelection();
    m_list->reorder(m_shuffler.order(m_list->count()));
    ListView3->setUpdatesEnabled(true);
    app().dialogs().information(this, QStringLiteral("随机排序完成！"));
}

void fFileDownload::FitColumns() {
    AutoSizeColumns(ListView3, -2);
    PaintListStripes(ListView3, false, 17);
}

void fFileDownload::SortByColumn(int column) {
    if (Timer_Down->isActive() || Busy || downloadRunning()) {
        app().dialogs().information(this, QStringLiteral("停止下载后方可排序！"));
        return;
    }
    if (column < 0 || column >= DownloadListModel::ColumnCount)
        return;
    const Qt::SortOrder order = m_sortOrder.next();
    ListView3->setUpdatesEnabled(false);
    m_list->reorder(SortedOrder(m_list->items(), column, order));
    ListView3->setUpdatesEnabled(true);
    ListView3->header()->setSortIndicatorShown(true);
    ListView3->header()->setSortIndicator(column, order);
}

// ---------------------------------------------------------------- re-download

void fFileDownload::RedownloadRows(RedownloadRule rule, float limit) {
    const QList<int> rows = RowsToRedownload(m_list->items(), rule, selectionMarks(), limit);
    const bool placeholder = RedownloadForcesPlaceholderType(rule);
    ListView3->setUpdatesEnabled(false);
    for (int row : rows)
        m_scheduler->RequeueRow(row, placeholder);
    ListView3->setUpdatesEnabled(true);
}

void fFileDownload::RedownloadSmallerThanAnswer() {
    const std::optional<float> limit = ParseSizeLimit(app().dialogs().inputText(
        this, QStringLiteral("请输入数字："), Dialogs::applicationTitle(), QString()));
    if (!limit)
        return;
    RedownloadRows(RedownloadRule::CompleteAndSmaller, *limit);
}

// ---------------------------------------------------------------- clear, delete

void fFileDownload::ClearRows(ClearRule rule) {
    if (!listMayChange())
        return;
    if (rule == ClearRule::All &&
        !app().dialogs().question(this, QStringLiteral("您确定要清空列表的所有信息吗？")))
        return;
    const QList<bool> marks = rule == ClearRule::Selected ? selectionMarks() : QList<bool>();
    ListView3->setUpdatesEnabled(false);
    // Parts kept for a resume go with their rows.
    if (rule == ClearRule::All) {
        for (const DownloadItem& item : m_list->items())
            ForgetRowPart(item);
        m_list->clear();
    } else {
        m_list->removeRowsIf([&](const DownloadItem& item, int row) {
            const bool cleared = ClearSelects(rule, item, row < marks.size() && marks.at(row));
            if (cleared)
                ForgetRowPart(item);
            return cleared;
        });
    }
    ListView3->setUpdatesEnabled(true);
    updateRowCountLabel();
}

void fFileDownload::DeleteRowFiles(DeleteFileRule rule) {
    ListView3->setUpdatesEnabled(false);
    for (int i = 0; i < m_list->count(); ++i) {
        if (!DeleteFileSelects(rule, m_list->item(i)))
            continue;
        m_list->clearProgress(i);
        m_scheduler->DeleteRowFile(i);
    }
    ListView3->setUpdatesEnabled(true);
}

// ---------------------------------------------------------------- the current row

void fFileDownload::OpenWithAssociatedProgram(const QString& path) {
    if (!FileExists(path)) {
        app().dialogs().error(this, QStringLiteral("文件不存在！"));
        return;
    }
    if (!app().desktop().openPath(LocalPath(path)))
        app().dialogs().error(this, OpenFailed);
}

QString fFileDownload::CurrentRowFile() {
    const int row = currentRow();
    if (row < 0)
        return {};
    const QString path = RowFilePath(m_list->item(row));
    if (!FileExists(path)) {
        app().dialogs().error(this, FileMissing);
        return {};
    }
    return path;
}

void fFileDownload::OpenCurrentFile() {
    const QString path = CurrentRowFile();
    if (!path.isEmpty())
        OpenWithAssociatedProgram(path);
}

void fFileDownload::OpenCurrentFolder() {
    const int row = currentRow();
    if (row < 0)
        return;
    const DownloadItem& item = m_list->item(row);
    if (!FolderExists(item.folder)) {
        app().dialogs().error(this, QStringLiteral("文件夹不存在！"));
        return;
    }
    const QString path = RowFilePath(item);
    const bool shown = FileExists(path) ? app().desktop().showInFolder(LocalPath(path))
                                        : app().desktop().openPath(LocalPath(item.folder));
    if (!shown)
        app().dialogs().error(this, OpenFailed);
}

void fFileDownload::OpenCurrentInTextEditor() {
    const QString path = CurrentRowFile();
    if (path.isEmpty())
        return;
    if (QFileInfo(LocalPath(path)).size() > TextEditorMaxBytes) {
        app().dialogs().error(this, QStringLiteral("该文件太大，超过了2M，不便于用记事本打开！"));
        return;
    }
    if (!app().desktop().openInTextEditor(LocalPath(path)))
        app().dialogs().error(this, OpenFailed);
}

void fFileDownload::CopyCurrentName() {
    const int row = currentRow();
    if (row < 0)
        return;
    app().desktop().setClipboardText(m_list->item(row).name);
}

void fFileDownload::ExportNames(bool unfinishedOnly) {
    if (m_list->count() == 0)
        return;
    // The dialog adds ".txt" itself, so its question about replacing a file
    // covers the file written here.
    const QString path = app().dialogs().saveFile(
        this, QString(), QString(), QStringLiteral("*.txt (*.txt)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const QString failure = WriteTextFile(path, ExportNamesText(m_list->items(), unfinishedOnly));
    if (!failure.isEmpty())
        app().dialogs().error(this, failure);
}

void fFileDownload::ExportRecords(bool finishedThisRun) {
    QList<DownloadItem> rows;
    const QList<bool> marks = selectionMarks();
    const bool anyChosen = marks.contains(true);
    for (int r = 0; r < m_list->count(); ++r) {
        const DownloadItem& row = m_list->item(r);
        const bool taken = finishedThisRun
                               ? row.state == ItemState::Finished && m_runRows.contains(row.id)
                               : !anyChosen || marks.at(r);
        if (taken)
            rows.append(row);
    }
    // Beside the PDFs, so that importing the file attaches them.
    AskAndExportRecords(this, ExportEntriesOf(rows),
                        rows.isEmpty() ? QString() : rows.first().folder);
}

// ---------------------------------------------------------------- tools

void fFileDownload::OpenUrlReplace() {
    QPointer<UrlReplace> dialog = new UrlReplace(*m_list, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->exec();
}

void fFileDownload::CheckFilesExist() {
    MarkMissingFiles(*m_list);
}

// ---------------------------------------------------------------- list events

void fFileDownload::RowClicked(const QModelIndex& index) {
    if (!index.isValid() || !m_list->isValidRow(index.row()))
        return;
    const QString path = RowFilePath(m_list->item(index.row()));
    setPanelText(2, FileExists(path) ? path : QString());
}

void fFileDownload::RowDoubleClicked() {
    const int row = currentRow();
    if (row < 0)
        return;
    const DownloadItem& item = m_list->item(row);
    switch (DoubleClickActionFor(item.state)) {
    case DoubleClickAction::OpenFile:
        OpenWithAssociatedProgram(RowFilePath(item));
        break;
    case DoubleClickAction::Requeue:
        // As "重新下载": a document the row placed stays until a new one
        // replaces it; a web page goes.
        if (DownloadListModel::isWebPageType(item.type))
            m_scheduler->DeleteRowFile(row);
        m_list->setState(row, ItemState::Waiting);
        m_list->clearProgress(row);
        break;
    case DoubleClickAction::Nothing:
        break;
    }
}

void fFileDownload::PanelClicked(int panel) {
    // Panel 2 holds the path of the row clicked last: open that file.
    if (panel != 2 || panelText(2).isEmpty())
        return;
    if (!app().desktop().openPath(LocalPath(panelText(2))))
        app().dialogs().error(this, OpenFailed);
}

void fFileDownload::updateListMenuStates() {
    const bool running = Busy || Timer_Down->isActive();
    menu清除->menuAction()->setEnabled(!running);
    menu清空->setEnabled(!running);
    menu全选专利列表->setEnabled(!running);
    menu停止下载->setEnabled(running);
}

void fFileDownload::ShowListMenu(const QPoint& globalPos) {
    updateListMenuStates();
    menu下载->popup(globalPos);
}
