// The download window's part in looking inside arrived files: the history of
// placed articles, the checks, their commands and the first-page preview.

#include "download/fFileDownload.h"

#include "download/ArrivalChecks.h"
#include "download/ArticleHistory.h"
#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/PdfCheck.h"
#include "download/PdfPreview.h"
#include "download/Scheduler.h"
#include "shell/AppValues.h"
#include "shell/FileNames.h"

#include <QAction>
#include <QCursor>
#include <QEvent>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTreeView>

namespace {
// Hides the preview when the pointer leaves the list or the list scrolls.
class PreviewLeaveWatcher : public QObject {
public:
    PreviewLeaveWatcher(PdfPreview* preview, QObject* parent)
        : QObject(parent), m_preview(preview) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Leave:
        case QEvent::Wheel:
        case QEvent::MouseButtonPress:
        case QEvent::Hide:
            m_preview->hidePreview();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    PdfPreview* m_preview;
};

bool isPreviewable(const DownloadItem& it) {
    return it.state == ItemState::Finished &&
           it.type.compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0 &&
           FileExists(RowFilePath(it));
}
} // namespace

void fFileDownload::wireArticleChecks() {
    m_history = new ArticleHistory(app().keptLists(), this);
    m_checks = new ArrivalChecks(*m_list, m_history, this);
    m_scheduler->earlierCopyHook = [history = m_history](DownloadItem& row) {
        return MarkEarlierCopy(row, *history);
    };
    m_scheduler->checksPending = [checks = m_checks] { return checks->pending() > 0; };
    m_scheduler->checkSummary = [checks = m_checks] { return checks->summaryText(); };

    auto entry = [this](QMenu* menu, QAction* before, const QString& name, const QString& caption,
                        auto&& f) {
        auto* a = new QAction(caption, menu);
        a->setObjectName(name);
        menu->insertAction(before, a);
        connect(a, &QAction::triggered, this, f);
        return a;
    };
    menu选中需检查项 = entry(menu下载, menu随机排序列表, QStringLiteral("menu选中需检查项"),
                             QStringLiteral("选中需检查项"), [this] { SelectMarkedRows(); });
    menu重新下载需检查项 = entry(menu重新下载, nullptr, QStringLiteral("menu重新下载需检查项"),
                                 QStringLiteral("需检查的PDF项"),
                                 [this] { RedownloadRows(RedownloadRule::CheckMarked); });
    menu仍然下载选中项 =
        entry(menu重新下载, nullptr, QStringLiteral("menu仍然下载选中项"),
              QStringLiteral("仍然下载选中的已下载过项"), [this] { FetchSelectedAnyway(); });
    menu预览首页 = entry(menu下载, menu打开文件所在文件夹, QStringLiteral("menu预览首页"),
                         QStringLiteral("预览首页"), [this] { PreviewCurrentRow(); });

    m_preview = new PdfPreview(this);
    ListView3->setMouseTracking(true);
    connect(ListView3, &QAbstractItemView::entered, this,
            [this](const QModelIndex& index) { PreviewRow(index.row(), QCursor::pos()); });
    ListView3->viewport()->installEventFilter(new PreviewLeaveWatcher(m_preview, this));
}

void fFileDownload::SelectMarkedRows() {
    QItemSelection marked;
    const int last = DownloadListModel::ColumnCount - 1;
    for (int row = 0; row < m_list->count(); ++row)
        if (IsMarkedRow(m_list->item(row)))
            marked.select(m_list->index(row, 0), m_list->index(row, last));
    ListView3->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
}

void fFileDownload::FetchSelectedAnyway() {
    const QList<bool> marks = selectionMarks();
    for (int row = 0; row < marks.size() && row < m_list->count(); ++row) {
        if (!marks.at(row))
            continue;
        DownloadItem it = m_list->item(row);
        if (!FetchAnyway(it))
            continue;
        m_list->setFolder(row, it.folder);
        m_list->setEarlierCopyFacts(row, it.plannedFolder, it.fetchAnyway);
        m_list->setCheck(row, it.check);
        m_list->setPlaced(row, false);
        m_list->clearProgress(row);
        m_list->setState(row, it.state);
    }
}

void fFileDownload::PreviewCurrentRow() {
    const int row = currentRow();
    if (row < 0)
        return;
    const QRect cell = ListView3->visualRect(m_list->index(row, 0));
    PreviewRow(row, ListView3->viewport()->mapToGlobal(cell.center()));
}

void fFileDownload::PreviewRow(int row, const QPoint& globalPos) {
    if (!m_list->isValidRow(row) || !isPreviewable(m_list->item(row))) {
        m_preview->hidePreview();
        return;
    }
    m_preview->showFor(RowFilePath(m_list->item(row)), globalPos);
}
