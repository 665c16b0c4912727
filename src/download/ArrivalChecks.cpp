#include "download/ArrivalChecks.h"

#include "download/ArticleHistory.h"
#include "download/DownloadListModel.h"
#include "download/Naming.h"
#include "download/PdfCheck.h"
#include "platform/PdfReader.h"

#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace {
bool isWebPage(const QString& type) {
    return DownloadListModel::isWebPageType(type) ||
           type.compare(QLatin1String("xml"), Qt::CaseInsensitive) == 0;
}
} // namespace

ArrivalChecks::ArrivalChecks(DownloadListModel& model, ArticleHistory* history, QObject* parent)
    : QObject(parent), m_model(model), m_history(history) {
    // One file at a time: a look costs a small part of a transfer, and the
    // transfers keep the other core.
    m_pool.setMaxThreadCount(1);
    connect(&model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& a, const QModelIndex& b) { note(a.row(), b.row()); });
    connect(&model, &DownloadListModel::rowFactsChanged, this, [this](int row) { note(row, row); });
}

ArrivalChecks::~ArrivalChecks() {
    m_pool.clear();
    m_pool.waitForDone();
}

void ArrivalChecks::note(int first, int last) {
    for (int row = qMax(0, first); row <= last && m_model.isValidRow(row); ++row)
        m_dirty.insert(m_model.item(row).id);
    // Transfers change a row's cells one after another; the row is looked at
    // once they are done, not in the middle.
    if (!m_sweepQueued && !m_dirty.isEmpty()) {
        m_sweepQueued = true;
        QTimer::singleShot(0, this, &ArrivalChecks::sweep);
    }
}

void ArrivalChecks::sweep() {
    m_sweepQueued = false;
    const QSet<qint64> ids = std::exchange(m_dirty, {});
    for (qint64 id : ids) {
        const int row = m_model.findId(id);
        if (row < 0)
            continue;
        const DownloadItem& it = m_model.item(row);
        if (it.state == ItemState::Waiting || it.state == ItemState::Downloading) {
            // Another attempt: what was found of the last file is of no use.
            m_done.remove(id);
            if (!it.plannedFolder.isEmpty() && it.check == EarlierCopyText) {
                const QString folder = it.plannedFolder;
                m_model.setFolder(row, folder);
                m_model.setEarlierCopyFacts(row, QString(), it.fetchAnyway);
            }
            if (!it.check.isEmpty())
                m_model.setCheck(row, QString());
            continue;
        }
        if (it.state != ItemState::Finished || !it.placed || isWebPage(it.type))
            continue;
        const QString path = RowFilePath(it);
        if (m_done.value(id) == path || m_running.value(id) == path)
            continue;
        start(id, path);
    }
    if (pending() == 0)
        emit allChecked();
}

void ArrivalChecks::start(qint64 id, const QString& path) {
    m_running.insert(id, path);
    auto* watcher = new QFutureWatcher<PdfFacts>(this);
    connect(watcher, &QFutureWatcher<PdfFacts>::finished, this, [this, watcher, id, path] {
        watcher->deleteLater();
        if (watcher->future().isValid() && watcher->future().resultCount() > 0)
            arrived(id, path, watcher->future().result());
        else if (m_running.value(id) == path)
            m_running.remove(id);
        if (pending() == 0)
            emit allChecked();
    });
    watcher->setFuture(QtConcurrent::run(&m_pool, [path] { return ReadPdfFacts(path); }));
}

void ArrivalChecks::arrived(qint64 id, const QString& path, const PdfFacts& facts) {
    if (m_running.value(id) == path)
        m_running.remove(id);
    m_done.insert(id, path);
    const int row = m_model.findId(id);
    if (row < 0 || !facts.fileRead)
        return;
    // The row may have moved on while its file was read.
    const DownloadItem& it = m_model.item(row);
    if (it.state != ItemState::Finished || !it.placed || RowFilePath(it) != path)
        return;
    const bool pdf = it.type.compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0;
    if (pdf) {
        m_model.fillRecord(row, RecordFromPdf(facts));
        m_model.setCheck(row, PdfCheckText(facts, m_model.item(row).record));
    }
    if (m_model.item(row).fetchAnyway)
        m_model.setEarlierCopyFacts(row, m_model.item(row).plannedFolder, false);
    const ArticleRecord& record = m_model.item(row).record;
    if (m_history)
        m_history->remember(
            {record.doi, record.pii, path, facts.size, facts.modifiedNs, facts.sha256});
    emit rowChecked(id);
}

int ArrivalChecks::markedRows() const {
    int n = 0;
    for (const DownloadItem& it : m_model.items())
        n += IsMarkedRow(it) ? 1 : 0;
    return n;
}

int ArrivalChecks::earlierCopyRows() const {
    int n = 0;
    for (const DownloadItem& it : m_model.items())
        n += it.state == ItemState::Finished && it.check == EarlierCopyText ? 1 : 0;
    return n;
}

QString ArrivalChecks::summaryText() const {
    QStringList parts;
    if (const int marked = markedRows())
        parts << QStringLiteral("需检查的PDF:%1").arg(marked);
    if (const int earlier = earlierCopyRows())
        parts << QStringLiteral("已下载过:%1").arg(earlier);
    return parts.join(QLatin1Char(' '));
}
