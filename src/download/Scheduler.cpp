#include "download/Scheduler.h"

#include "download/DownloadListModel.h"
#include "download/Downloader.h"
#include "download/FileType.h"
#include "download/Naming.h"
#include "net/SiteAnswer.h"
#include "platform/PartFile.h"
#include "shell/AppValues.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {
// Slack on a timer that waits out the pause between files, so it fires after
// the pause rather than a hair before it.
constexpr int PauseSlackMs = 20;
} // namespace

const QString Scheduler::RobotCheckText = QStringLiteral("需要在网页中完成验证");
const QString Scheduler::RobotCheckTimeoutText = QStringLiteral("等待网页验证超时，已停止下载");
const QString Scheduler::RunEndedText = QStringLiteral("下载完成");
const QString Scheduler::RobotCheckPassedText = QStringLiteral("网页验证已通过，继续下载");

Scheduler::Scheduler(DownloadListModel& model, QObject* parent)
    : Scheduler(model, std::make_unique<Values>(), parent) {}

Scheduler::Scheduler(DownloadListModel& model, std::unique_ptr<Values> own, QObject* parent)
    : QObject(parent), Busy(own->Busy), LastFinishTime(own->LastFinishTime),
      WorkerRow(own->WorkerRow), m_model(model), m_ownValues(std::move(own)),
      m_workers(m_ownValues->Downloader1) {
    LastFinishTime = app().clock().now();
    setUpStartTimers();
    setUpSiteWaits();
}

Scheduler::Scheduler(DownloadListModel& model, bool& busy, double& lastFinishTime,
                     std::array<int, 12>& workerRow, std::array<QPointer<QObject>, 7>& workers,
                     QObject* parent)
    : QObject(parent), Busy(busy), LastFinishTime(lastFinishTime), WorkerRow(workerRow),
      m_model(model), m_workers(workers) {
    setUpStartTimers();
    setUpSiteWaits();
}

void Scheduler::setUpStartTimers() {
    m_startTimer = new QTimer(this);
    m_startTimer->setSingleShot(true);
    connect(m_startTimer, &QTimer::timeout, this, &Scheduler::startQueued);
}

void Scheduler::setUpSiteWaits() {
    m_sitePauseTimer = new QTimer(this);
    m_sitePauseTimer->setInterval(1000);
    connect(m_sitePauseTimer, &QTimer::timeout, this, &Scheduler::sitePauseTick);
    // A coarse timer may fire a little early, which would leave the pause a
    // few milliseconds to go and put its end off to the next countdown tick.
    m_sitePauseEndTimer = new QTimer(this);
    m_sitePauseEndTimer->setObjectName(QStringLiteral("sitePauseEnd"));
    m_sitePauseEndTimer->setSingleShot(true);
    m_sitePauseEndTimer->setTimerType(Qt::PreciseTimer);
    connect(m_sitePauseEndTimer, &QTimer::timeout, this, &Scheduler::sitePauseTick);
    m_robotCheckLimitTimer = new QTimer(this);
    m_robotCheckLimitTimer->setSingleShot(true);
    connect(m_robotCheckLimitTimer, &QTimer::timeout, this, &Scheduler::robotCheckLimitReached);
    // A clock moved forward (tests) may end a pause or a check wait at once.
    connect(&app().clock(), &Clock::adjusted, this, [this] {
        if (m_sitePauseTimer->isActive())
            sitePauseTick();
        else if (timerDownEnabled())
            scheduleNextStart();
        armRobotCheckLimit();
    });
    // The row of a check that ends, one way or another, takes the check with it.
    connect(&m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& first, const QModelIndex& last) {
                if (m_robotCheckRow < first.row() || m_robotCheckRow > last.row() ||
                    m_robotCheckWaiting || !m_model.isValidRow(m_robotCheckRow))
                    return;
                const ItemState state = m_model.item(m_robotCheckRow).state;
                if (state != ItemState::Finished && state != ItemState::Failed)
                    return;
                m_robotCheckRow = -1;
                emit robotCheckEnded();
            });
    // Rows that move or go are no longer known by their position.
    const auto forgetRow = [this] { m_robotCheckRow = -1; };
    connect(&m_model, &QAbstractItemModel::modelReset, this, forgetRow);
    connect(&m_model, &QAbstractItemModel::layoutChanged, this, forgetRow);
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, forgetRow);
    connect(&m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first) {
                if (first <= m_robotCheckRow)
                    m_robotCheckRow = -1;
            });
}

// The workers and the transfer request are children: they go with the
// scheduler and abandon their transfers. The window values may already be gone
// when the window destroys its children, so they are not touched here.
Scheduler::~Scheduler() = default;

// ---------------------------------------------------------------- rows

DownloadItem Scheduler::row(int i) const {
    return m_model.item(i);
}

void Scheduler::commit(int i, const DownloadItem& c) {
    if (!m_model.isValidRow(i))
        return;
    const DownloadItem& o = m_model.item(i);
    if (o.name != c.name)
        m_model.setName(i, c.name);
    if (o.type != c.type)
        m_model.setType(i, c.type);
    if (o.size != c.size || o.received != c.received || o.percent != c.percent)
        m_model.setProgress(i, c.size, c.received, c.percent);
    if (o.folder != c.folder)
        m_model.setFolder(i, c.folder);
    if (o.baseHref != c.baseHref)
        m_model.setBaseHref(i, c.baseHref);
    if (o.key != c.key)
        m_model.setKey(i, c.key);
    if (o.tag != c.tag)
        m_model.setTag(i, c.tag);
    if (o.state != c.state)
        m_model.setState(i, c.state);
    if (o.placed != c.placed || o.placedBytes != c.placedBytes)
        m_model.setPlaced(i, c.placed, c.placedBytes);
    if (o.check != c.check)
        m_model.setCheck(i, c.check);
    if (o.plannedFolder != c.plannedFolder || o.fetchAnyway != c.fetchAnyway)
        m_model.setEarlierCopyFacts(i, c.plannedFolder, c.fetchAnyway);
}

SameNamePolicy Scheduler::policy() const {
    return sameNamePolicyFromCaption(options.duplicatePolicy);
}

int Scheduler::rowCount() const {
    return m_model.count();
}

QString Scheduler::rowPath(const DownloadItem& it) {
    return RowFilePath(it);
}

void Scheduler::announceTransferEnd(const DownloadItem& it, bool xmlIsWebPage,
                                    const QString& failureReason) {
    showActivity(failureReason.isEmpty() ? QStringLiteral("完成下载:") + it.name
                                         : FailureActivityText(it.name, failureReason));
    LastFinishTime = app().clock().now();
    // A file that came while nothing held the run: the site lets requests
    // through again, so a later check starts its time limit afresh.
    // (Transfers under way when the run was held may end meanwhile; they
    // prove nothing.) The site's pauses keep their own count (SitePacing).
    if (it.state == ItemState::Finished && !isWebType(it.type, xmlIsWebPage) && !sitePaused())
        m_robotCheckSinceMs = 0;
    if (options.sound) {
        if (isWebType(it.type, xmlIsWebPage))
            emit playSound(101);
        if (it.state == ItemState::Failed)
            emit playSound(103);
    }
    if (isWebType(it.type, xmlIsWebPage))
        m_lastWebPage = rowPath(it);
    // The site login runs when a web page came instead of a file.
    if (options.autoLogin && isWebType(it.type, xmlIsWebPage)) {
        m_autoLoginRan = true;
        SiteLogin(false);
    }
}

QString Scheduler::FailureActivityText(const QString& name, const QString& reason) {
    return QStringLiteral("下载失败:") + name + QStringLiteral("（") + reason +
           QStringLiteral("）");
}

bool Scheduler::isWebType(const QString& type, bool includeXml) const {
    const QString t = type.toLower();
    return t == QLatin1String("htm") || t == QLatin1String("html") ||
           (includeXml && t == QLatin1String("xml"));
}

// ---------------------------------------------------------------- timer state

void Scheduler::bindTimerDown(QTimer* timer) {
    m_timerDownControl = timer;
    m_timerDown = timer && timer->isActive();
}

bool Scheduler::timerDownEnabled() const {
    return m_timerDownControl ? m_timerDownControl->isActive() : m_timerDown;
}

void Scheduler::setTimerDownEnabled(bool on) {
    if (m_timerDownControl) {
        if (on && !m_timerDownControl->isActive())
            m_timerDownControl->start();
        else if (!on && m_timerDownControl->isActive())
            m_timerDownControl->stop();
    }
    if (on == m_timerDown)
        return;
    m_timerDown = on;
    emit timerDownChanged(on);
}

bool Scheduler::downloadRunning() const {
    return timerDownEnabled() || inetExecuting() || CountWorkers() > 1;
}

// ---------------------------------------------------------------- scheduler tick

// Looks for the first waiting row that still needs its file, marking the rows
// skipped as existing on the way. In mode two the folder is also created.
bool Scheduler::scanStartRow(int& found, bool ensureFolder) {
    const qint64 nowMs = app().clock().monotonicMs();
    const int ceiling = siteCeiling();
    for (int i = m_model.nextWaitingRow(0); i >= 0; i = m_model.nextWaitingRow(i + 1)) {
        DownloadItem it = row(i);
        // A site that paused, or that already has all the workers it is
        // given, waits; rows of other sites go on meanwhile.
        if (!m_pacing.isEmpty()) {
            const QString site = SitePacing::siteOf(选择url(it.key));
            if (!m_pacing.mayStart(site, runningFor(site), ceiling, nowMs))
                continue;
        }
        // A name that cleans to nothing would give the hidden file ".pdf".
        it.name = FileNameFor(it.name, 选择url(it.key));
        if (ensureFolder) {
            const QString folder = EnsureFolder(it.folder);
            if (folder.isEmpty()) {
                // No folder to write to: the row cannot be fetched (an empty
                // folder would otherwise mean the root folder).
                it.state = ItemState::Failed;
                it.size = QStringLiteral("下载失败");
                commit(i, it);
                continue;
            }
            it.folder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
        } else if (!it.folder.isEmpty() && !it.folder.endsWith(QLatin1Char('/'))) {
            it.folder += QLatin1Char('/');
        }
        // An article whose earlier file still stands is not fetched again.
        if (earlierCopyHook && earlierCopyHook(it)) {
            commit(i, it);
            continue;
        }
        const bool needed = 确定是需要下载(it, policy(), liveReservations());
        commit(i, it);
        if (needed) {
            found = i;
            return true;
        }
    }
    return false;
}

void Scheduler::schedulerTick() {
    const int n = rowCount();
    if (n == 0) {
        setTimerDownEnabled(false);
        return;
    }
    if (m_robotCheckWaiting)
        return;
    if (!pauseBetweenFilesOver())
        return;
    // Rows now start at once, many within one housekeeping tick: none starts
    // once the auto stop's count is reached, and the next tick ends the run.
    if (options.autoStop && m_model.CountErrorRows() >= 5)
        return;
    // Rows started now would meet the site before the login has ended.
    if (m_siteLoginDepth > 0)
        return;

    if (app().DownloadMode == 1) {
        if (Busy)
            return;
        int i = -1;
        if (!scanStartRow(i, false))
            return;
        DownloadItem it = row(i);
        it.state = ItemState::Downloading;
        it.size.clear();
        it.received.clear();
        it.percent.clear();
        commit(i, it);
        if (options.autoLocate)
            emit ensureRowVisible(i);
        WorkerRow[1] = i + 1;
        m_rowsStartedInRun = true;
        emit transferStarted(i);
        noteRequestSent(0, 选择url(it.key));
        QPointer<Scheduler> alive(this);
        Inet下载当前文件(i);
        // A site's refusal or check was told on the way; any other answer
        // is one that let the request through.
        if (alive)
            noteSiteAnswer(0, m_inet && m_inet->headersReceived() ? SiteOutcome::Accepted
                                                                  : SiteOutcome::Unknown);
        return;
    }

    const int w = qBound(1, options.workerCount, 6);
    for (int j = 1; j <= w; ++j) {
        if (ControlExists(j))
            continue;
        int i = -1;
        if (!scanStartRow(i, true))
            continue;
        DownloadItem it = row(i);
        it.state = ItemState::Downloading;
        commit(i, it);
        if (options.autoLocate)
            emit ensureRowVisible(i);
        QString newName;
        const QString path = plannedPath(it, newName);
        it.name = newName;
        commit(i, it);
        WorkerRow[j] = i + 1;
        const QString address = 选择url(it.key);
        m_rowsStartedInRun = true;
        emit transferStarted(i);
        noteRequestSent(j, address);
        多线程下载(j, i, address, path);
    }
}

// ---------------------------------------------------------------- housekeeping tick

void Scheduler::housekeepingTick() {
    // The end of a run is told once the files of its last rows have been looked at.
    if (m_endNoticeDue && !(checksPending && checksPending())) {
        m_endNoticeDue = false;
        tellUser(RunEndedText, runTotalsText());
    }
    // End of a run
    if (m_model.检测是否下载列表完毕()) {
        if (!m_startEnabled) {
            m_startEnabled = true;
            emit startCommandEnabledChanged(true);
        }
        if (timerDownEnabled()) {
            setTimerDownEnabled(false);
            endSiteWaits();
            if (options.sound)
                emit playSound(102);
            // Only a run that fetched something is news: the automatic
            // re-download turns the timer on over a finished list every tick.
            if (m_rowsStartedInRun && checksPending && checksPending())
                m_endNoticeDue = true;
            else if (m_rowsStartedInRun)
                tellUser(RunEndedText, runTotalsText());
            m_rowsStartedInRun = false;
        }
    } else if (m_startEnabled != !timerDownEnabled()) {
        m_startEnabled = !timerDownEnabled();
        emit startCommandEnabledChanged(m_startEnabled);
    }

    // Running indicator
    if (m_indicator != timerDownEnabled()) {
        m_indicator = timerDownEnabled();
        emit indicatorChanged(m_indicator);
    }

    // Busy flag
    if (app().DownloadMode == 1) {
        if (!inetExecuting() && !timerDownEnabled())
            Busy = false;
    } else {
        const int w = qBound(1, options.workerCount, 6);
        for (int j = 1; j <= w; ++j)
            if (ControlExists(j))
                Busy = true;
        if (!timerDownEnabled())
            Busy = false;
    }

    // The totals are the window's (UpdateStatusCounts), called beside this tick.

    // Auto start; a run stopped on a check nobody passed would only meet it
    // again and hold the list once more: the user starts that one.
    if (options.autoStart && !m_stoppedOnCheck && m_model.统计未下载项数目() >= 1) {
        if (!timerDownEnabled())
            m_model.requeueGoneFiles();
        setTimerDownEnabled(true);
    }

    // Auto re-download; a row put back during the site login would only bring
    // the same web page again, so the rows wait for the login to end.
    if (options.autoRedownload && !m_stoppedOnCheck && !timerDownEnabled() &&
        m_siteLoginDepth == 0) {
        switch (options.autoRedownloadChoice) {
        case 0:
            redownloadFailed();
            break;
        case 1:
            redownloadWebPages();
            break;
        default:
            redownloadFailed();
            redownloadWebPages();
            break;
        }
        setTimerDownEnabled(true);
    }

    // Auto stop
    if (options.autoStop && m_model.CountErrorRows() >= 5 && timerDownEnabled()) {
        setTimerDownEnabled(false);
        if (options.sound)
            emit playSound(102);
        // Rows that turned green as web pages say nothing of why: the user
        // sees the last page the site sent.
        const QString page = m_lastWebPage;
        const bool loginRan = m_autoLoginRan;
        endSiteWaits();
        QString why = QStringLiteral("已停止下载：有5个以上下载出错或者网页文件");
        if (loginRan)
            why += QStringLiteral("（自动登录后仍下载到网页）");
        if (!page.isEmpty() && FileExists(page))
            emit webPagesStopped(page, why);
        // Auto start turns the timer on again each tick, and this stops it
        // again: the notice is for the run that did the fetching.
        if (m_rowsStartedInRun)
            tellUser(why, runTotalsText());
        m_rowsStartedInRun = false;
    }
}

// ---------------------------------------------------------------- commands

void Scheduler::startDownload() {
    // A finished file the user deleted or replaced since is fetched again.
    if (!timerDownEnabled())
        m_model.requeueGoneFiles();
    // A run that starts does not wait out the pause after the last file of an
    // earlier one; "开始下载" also goes past a robot check the user passed
    // elsewhere.
    if (!timerDownEnabled() && options.pauseSeconds > 0)
        LastFinishTime = app().clock().now() - options.pauseSeconds - 1;
    const bool checkWaited = m_robotCheckWaiting;
    m_robotCheckWaiting = false;
    m_robotCheckSinceMs = 0;
    m_robotCheckLimitTimer->stop();
    m_stoppedOnCheck = false;
    setTimerDownEnabled(true);
    if (checkWaited)
        restoreActivity();
    scheduleNextStart();
}

void Scheduler::stopDownload() {
    if (options.autoStart || options.autoRedownload) {
        options.autoStart = false;
        options.autoRedownload = false;
    }
    emit checksUnticked();

    if (m_inet)
        m_inet->cancel();
    setTimerDownEnabled(false);
    Busy = false;
    if (m_inet)
        m_inet->cancel();

    for (int j = 1; j <= 6; ++j)
        unloadWorker(j);
    endSiteWaits();
    m_stoppedOnCheck = false;
    m_rowsStartedInRun = false;

    const int n = rowCount();
    for (int i = 0; i < n; ++i)
        if (m_model.item(i).state == ItemState::Downloading)
            m_model.setState(i, ItemState::Failed);
    Busy = false;
}

void Scheduler::withdrawRows(const QList<int>& selectedRows) {
    if (Busy) {
        app().dialogs().error(nullptr, QStringLiteral("停止下载后方可设置！"));
        return;
    }
    emit listHidden(true);
    for (int i : selectedRows) {
        if (i < 0 || i >= rowCount())
            continue;
        if (m_model.item(i).state == ItemState::Waiting)
            m_model.setState(i, ItemState::Failed);
    }
    emit listHidden(false);
}

void Scheduler::switchMode() {
    const int mode = app().DownloadMode == 2 ? 1 : 2;
    options.workerCount = 1;
    app().setDownloadMode(mode);
    emit modeChanged(mode);
}

QString Scheduler::plannedPath(const DownloadItem& it, QString& newName) const {
    // A row put back with its own file still in place plans its own name:
    // the new file replaces the old one in one rename, once it is whole.
    if (it.placed) {
        const QString own = 重命名保存路径(it.folder, it.name, it.type, SameNamePolicy::Overwrite,
                                           newName, liveReservations());
        if (FileExists(own))
            return own;
    }
    return 重命名保存路径(it.folder, it.name, it.type, policy(), newName, liveReservations());
}

void Scheduler::DeleteRowFile(int row) {
    // Commands and transfers hold positions across waits; a row gone since is no row.
    if (!m_model.isValidRow(row))
        return;
    const DownloadItem& it = m_model.item(row);
    // Only a file this row put in place: under "覆盖" a failed row points at
    // the user's file, which its transfer left intact.
    if (!it.placed)
        return;
    const QString path = rowPath(it);
    if (FileExists(path))
        QFile::remove(path);
    m_model.setPlaced(row, false);
}

void Scheduler::RequeueRow(int row, bool webVariant) {
    if (!m_model.isValidRow(row))
        return;
    const bool webPage = webVariant || isWebType(m_model.item(row).type, false);
    // A document the row put in place stays where it is until the next
    // attempt has a whole one to rename over it: a check or an error page
    // in answer must not cost the user a good file. A web page goes.
    if (webPage)
        DeleteRowFile(row);
    DownloadItem it = this->row(row);
    it.state = ItemState::Waiting;
    if (webPage)
        it.type = QStringLiteral("xxx");
    it.size.clear();
    it.received.clear();
    it.percent.clear();
    it.key = 对调url(it.key);
    commit(row, it);
}

void Scheduler::redownloadFailed() {
    emit listHidden(true);
    const int n = rowCount();
    for (int i = 0; i < n; ++i)
        if (m_model.item(i).state == ItemState::Failed)
            RequeueRow(i);
    emit listHidden(false);
}

void Scheduler::redownloadWebPages() {
    emit listHidden(true);
    const int n = rowCount();
    for (int i = 0; i < n; ++i) {
        const DownloadItem& it = m_model.item(i);
        if (!isWebType(it.type, true))
            continue;
        if (it.state != ItemState::Finished && it.state != ItemState::Failed)
            continue;
        RequeueRow(i, true);
    }
    emit listHidden(false);
}

void Scheduler::SiteLogin(bool showMessages) {
    if (!siteLoginHook)
        return;
    // The login waits on events, so ticks run in the middle of it.
    QPointer<Scheduler> alive(this);
    ++m_siteLoginDepth;
    siteLoginHook(showMessages);
    if (alive)
        --m_siteLoginDepth;
}

// ---------------------------------------------------------------- type commands

int Scheduler::checkAndCorrectFileTypes(QWidget* parent) {
    // The rows are corrected on copies and written back, so the list hears of
    // every changed cell.
    const int n = rowCount();
    QList<DownloadItem> copies;
    copies.reserve(n);
    for (int i = 0; i < n; ++i)
        copies.append(row(i));
    QList<DownloadItem*> rows;
    rows.reserve(n);
    for (DownloadItem& c : copies)
        rows.append(&c);
    return 检查并纠正磁盘文件类型(
        rows, downloadRunning(), [&](qsizetype i) { commit(static_cast<int>(i), copies.at(i)); },
        parent);
}

QString Scheduler::judgeFileType(QWidget* parent) {
    return 打开文件判断类型(parent);
}

// ---------------------------------------------------------------- mode two

bool Scheduler::ControlExists(int j) const {
    return j >= 1 && j <= 6 && !m_workers[j].isNull();
}

int Scheduler::CountWorkers() const {
    int n = 1; // the template member 0
    for (int j = 1; j <= 6; ++j)
        if (ControlExists(j))
            ++n;
    return n;
}

Downloader* Scheduler::worker(int j) const {
    return ControlExists(j) ? qobject_cast<Downloader*>(m_workers[j].data()) : nullptr;
}

void Scheduler::unloadWorker(int j) {
    if (j < 1 || j > 6 || m_workers[j].isNull())
        return;
    QObject* o = m_workers[j].data();
    m_workers[j].clear();
    o->disconnect(this);
    // unload() abandons the transfer (removing its part file and reservation)
    // and deletes the worker once it has returned from any signal it is in.
    if (auto* w = qobject_cast<Downloader*>(o))
        w->unload();
    else
        o->deleteLater();
}

void Scheduler::多线程下载(int j, int i, const QString& address, const QString& path) {
    if (j < 1 || j > 6)
        return;
    unloadWorker(j);
    auto* w = new Downloader(j, this);
    m_workers[j] = w;
    connect(w, &Downloader::DownloadProgress, this, &Scheduler::onDownloadProgress);
    connect(w, &Downloader::DownloadComplete, this, &Scheduler::onDownloadComplete);
    connect(w, &Downloader::DownloadError, this, &Scheduler::onDownloadError);
    connect(w, &Downloader::SiteAnswered, this, &Scheduler::onSiteAnswered);
    connect(w, &Downloader::AboutToPlace, this,
            [this](int index, const QString& finalPath, const QString& partPath) {
                if (index >= 1 && index <= 11)
                    m_model.notePlacing(WorkerRow[index] - 1, finalPath, partPath);
            });
    Busy = true;
    DownloadItem it = row(i);
    it.state = ItemState::Downloading;
    if (options.autoLocate)
        emit ensureRowVisible(i);
    it.size.clear();
    it.received.clear();
    it.percent.clear();
    commit(i, it);
    w->setPlannedType(it.type);
    w->BeginDownload(address, path, it.tag);
}

QString Scheduler::percentText(qint64 cur, qint64 max) {
    return QString::number(static_cast<qint64>(std::floor(double(cur) / double(max) * 100.0))) +
           QLatin1Char('%');
}

void Scheduler::onDownloadProgress(int index, qint64 curBytes, qint64 maxBytes,
                                   const QString& saveFile) {
    if (index < 1 || index > 11)
        return;
    const int i = WorkerRow[index] - 1;
    if (i < 0 || i >= rowCount())
        return;
    if (maxBytes > 0 && maxBytes >= curBytes) {
        DownloadItem it = row(i);
        it.size = QString::number(maxBytes);
        it.received = QString::number(curBytes);
        it.percent = percentText(curBytes, maxBytes);
        if (double(maxBytes) / 1024.0 / 1024.0 > app().MaxFileSizeMB) {
            it.state = ItemState::Finished;
            it.percent = QStringLiteral("大文件，跳过");
            LastFinishTime = app().clock().now();
            commit(i, it);
            noteSiteAnswer(index, SiteOutcome::Accepted);
            unloadWorker(index);
            // The row has ended: nothing of the file is wanted any more.
            PartFile::removeStaleParts(LocalPath(saveFile));
            scheduleNextStart();
            return;
        }
        commit(i, it);
    }
}

QString Scheduler::runTotalsText() const {
    const QString checks = checkSummary ? checkSummary() : QString();
    return checks.isEmpty() ? m_model.arrivalsText()
                            : m_model.arrivalsText() + QLatin1Char(' ') + checks;
}

QStringList Scheduler::liveReservations() const {
    QStringList paths;
    for (int j = 1; j <= 6; ++j)
        if (const Downloader* w = worker(j); w && w->isRunning())
            paths << w->saveFile();
    return paths;
}

void Scheduler::onDownloadComplete(int index, qint64 curBytes, qint64 maxBytes,
                                   const QString& saveFile) {
    if (index < 1 || index > 11)
        return;
    const int i = WorkerRow[index] - 1;
    if (i < 0 || i >= rowCount())
        return;
    DownloadItem it = row(i);
    if (maxBytes > 0 && maxBytes >= curBytes) {
        it.size = QString::number(maxBytes);
        it.received = QString::number(curBytes);
        it.percent = percentText(curBytes, maxBytes);
    }
    it.state = it.percent == QLatin1String("100%") ? ItemState::Finished : ItemState::Failed;
    // A short read leaves what stood under the name, the row's own file too.
    if (it.state == ItemState::Finished)
        it.placed = true;
    // A web page or another type than planned stands under a name of its own type.
    if (it.state == ItemState::Finished && !saveFile.isEmpty() && saveFile != rowPath(it)) {
        const QFileInfo arrived(saveFile);
        it.type = arrived.suffix();
        it.name = arrived.completeBaseName();
        if (it.type.isEmpty())
            it.name = arrived.fileName();
    }
    // Its size tells at the next start whether the file is still the one placed.
    it.placedBytes = it.placed ? QFileInfo(LocalPath(rowPath(it))).size() : 0;
    // The worker judged the file by its bytes before it took its name, so its
    // type needs no second look here.
    commit(i, it);
    noteSiteAnswer(index, SiteOutcome::Accepted);
    unloadWorker(index);
    QPointer<Scheduler> alive(this);
    announceTransferEnd(it, false);
    // The login of a web page may have waited; the scheduler may be gone.
    if (alive)
        scheduleNextStart();
}

void Scheduler::onDownloadError(int index, const QString&, const QString& missCode) {
    if (index < 1 || index > 11)
        return;
    const int i = WorkerRow[index] - 1;
    if (i >= 0 && i < rowCount()) {
        DownloadItem it = row(i);
        if (missCode == QStringLiteral("大文件，跳过")) {
            // The worker found the body past the size limit without an announced length.
            it.state = ItemState::Finished;
            it.percent = QStringLiteral("大文件，跳过");
        } else {
            it.state = ItemState::Failed;
            // An answer that is no file says so, as in mode one.
            if (missCode == QStringLiteral("下载失败"))
                it.size = missCode;
        }
        // No answer at all, for a reason the user can act on: as in mode one.
        const Downloader* w = worker(index);
        const QString reason = w ? w->failureReason() : QString();
        if (!reason.isEmpty()) {
            it.size = QStringLiteral("下载失败");
            it.percent = reason;
            showActivity(FailureActivityText(it.name, reason));
        }
        commit(i, it);
    }
    // Without an answer nothing is known of the site; any answer let the request through.
    const bool noAnswer =
        missCode == QStringLiteral("超时") || missCode == QStringLiteral("无法下载");
    noteSiteAnswer(index, noAnswer ? SiteOutcome::Unknown : SiteOutcome::Accepted);
    unloadWorker(index);
    LastFinishTime = app().clock().now();
    scheduleNextStart();
}

// ---------------------------------------------------------------- starting at once

bool Scheduler::pauseBetweenFilesOver() const {
    return options.pauseSeconds <= 0 ||
           std::fabs(LastFinishTime - app().clock().now()) > options.pauseSeconds;
}

void Scheduler::scheduleNextStart() {
    // A site's pause holds only its own rows (scanStartRow); a check holds all.
    if (!timerDownEnabled() || m_robotCheckWaiting)
        return;
    int waitMs = 0;
    if (!pauseBetweenFilesOver()) {
        const double left = options.pauseSeconds - std::fabs(LastFinishTime - app().clock().now());
        waitMs = static_cast<int>(std::ceil(qMax(0.0, left) * 1000.0)) + PauseSlackMs;
    }
    // One queued start at a time; an earlier one is moved, never doubled.
    if (!m_startTimer->isActive() || m_startTimer->remainingTime() > waitMs)
        m_startTimer->start(waitMs);
}

void Scheduler::startQueued() {
    if (!timerDownEnabled())
        return;
    // A mode-one transfer still running takes the next row itself when it ends.
    if (app().DownloadMode == 1 && (Busy || inetExecuting()))
        return;
    if (!pauseBetweenFilesOver()) {
        scheduleNextStart();
        return;
    }
    schedulerTick();
}

// ---------------------------------------------------------------- the site's requests

bool Scheduler::sitePaused() const {
    return m_robotCheckWaiting || sitePauseRemaining() > 0;
}

double Scheduler::sitePauseRemaining() const {
    return m_pacing.longestPauseLeftMs(app().clock().monotonicMs()) / 1000.0;
}

int Scheduler::siteWorkers(const QString& address) const {
    return m_pacing.workers(SitePacing::siteOf(address), siteCeiling());
}

int Scheduler::siteCeiling() const {
    return app().DownloadMode == 1 ? 1 : qBound(1, options.workerCount, 6);
}

int Scheduler::runningFor(const QString& site) const {
    if (app().DownloadMode == 1)
        return 0; // one at a time; Busy keeps a second one from starting
    int running = 0;
    for (int j = 1; j <= 6; ++j)
        running += ControlExists(j) && m_sent[j].site == site;
    return running;
}

void Scheduler::noteRequestSent(int slot, const QString& address) {
    SentRequest& sent = m_sent[slot];
    if (sent.ticket != 0)
        m_pacing.ended(sent.site, sent.ticket);
    sent.site = SitePacing::siteOf(address);
    sent.ticket = m_pacing.requestSent(sent.site);
}

void Scheduler::noteSiteAnswer(int slot, SiteOutcome outcome, const QString& retryAfter) {
    if (slot < 0 || slot > 6)
        return;
    SentRequest& sent = m_sent[slot];
    // A refusal counts for its site even when its request was not noted.
    if (sent.ticket == 0 && (outcome != SiteOutcome::Refused || sent.site.isEmpty()))
        return;
    const SitePacing::Ticket ticket = std::exchange(sent.ticket, 0);
    switch (outcome) {
    case SiteOutcome::Accepted:
        m_pacing.accepted(sent.site, ticket, siteCeiling(), app().clock().monotonicMs());
        return;
    case SiteOutcome::Unknown:
        m_pacing.ended(sent.site, ticket);
        return;
    case SiteOutcome::Refused:
        break;
    }
    const std::optional<double> asked = ParseRetryAfter(retryAfter, HttpNow(app().clock()));
    const double pause =
        m_pacing.refused(sent.site, ticket, asked, siteCeiling(), app().clock().monotonicMs());
    if (pause > 0)
        emit sitePauseBegan(sent.site, pause, m_pacing.workers(sent.site, siteCeiling()));
    m_sitePauseTimer->start();
    sitePauseTick();
}

QString Scheduler::holdReason() const {
    if (m_robotCheckWaiting)
        return RobotCheckText;
    const double left = sitePauseRemaining();
    if (left > 0)
        return QStringLiteral("站点要求暂停：") +
               QString::number(static_cast<qint64>(std::ceil(left))) + QStringLiteral("秒");
    return {};
}

void Scheduler::showActivity(const QString& text) {
    // Other workers keep finishing while the run is held; their texts would
    // hide at once why nothing else starts.
    const QString reason = holdReason();
    emit activityText(reason.isEmpty() ? text : reason);
}

void Scheduler::restoreActivity() {
    emit activityText(holdReason());
}

void Scheduler::tellUser(const QString& summary, const QString& body) {
    app().notices().notify(summary, body);
    emit attentionWanted();
}

void Scheduler::sitePauseTick() {
    const qint64 nowMs = app().clock().monotonicMs();
    const qint64 nextEndMs = m_pacing.nextPauseEndMs(nowMs);
    if (nextEndMs != 0) {
        // The next request goes out when the pause is over, not at the next
        // tick of the countdown.
        m_sitePauseEndTimer->start(
            static_cast<int>(qMin<qint64>(nextEndMs - nowMs, SitePauseMaxSeconds * 1000)));
        m_pauseShown = true;
        restoreActivity();
        // Another site's pause may have ended: its rows go on.
        scheduleNextStart();
        return;
    }
    m_sitePauseTimer->stop();
    m_sitePauseEndTimer->stop();
    if (std::exchange(m_pauseShown, false))
        restoreActivity();
    scheduleNextStart();
}

void Scheduler::endSiteWaits() {
    const bool waited = m_pauseShown || m_robotCheckWaiting;
    m_pacing.clear();
    m_sent = {};
    m_pauseShown = false;
    m_robotCheckWaiting = false;
    m_robotCheckSinceMs = 0;
    m_autoLoginRan = false;
    m_lastWebPage.clear();
    m_sitePauseTimer->stop();
    m_sitePauseEndTimer->stop();
    m_robotCheckLimitTimer->stop();
    if (waited)
        emit activityText(QString());
}

void Scheduler::holdRowForSite(int i, SiteAnswer answer, const QString& retryAfter, int slot) {
    LastFinishTime = app().clock().now();
    QString address;
    QString name;
    if (m_model.isValidRow(i)) {
        DownloadItem it = row(i);
        address = 选择url(it.key);
        name = it.name;
        it.state = ItemState::Waiting;
        it.size.clear();
        it.received.clear();
        it.percent.clear();
        commit(i, it);
    }
    if (answer == SiteAnswer::RobotCheck) {
        noteSiteAnswer(slot, SiteOutcome::Unknown);
        const bool firstOfSeries = m_robotCheckSinceMs == 0;
        if (firstOfSeries)
            m_robotCheckSinceMs = app().clock().monotonicMs();
        m_robotCheckWaiting = true;
        m_robotCheckRow = i;
        emit activityText(RobotCheckText);
        emit robotCheckShown(address);
        // Once for a series: the person who passes it is already there.
        if (firstOfSeries)
            tellUser(RobotCheckText, name.isEmpty() ? address : name);
        armRobotCheckLimit();
        return;
    }
    // A request that was not noted (its run was ended meanwhile) still
    // pauses the row's site.
    if (slot >= 0 && slot <= 6 && m_sent[slot].ticket == 0)
        m_sent[slot].site = SitePacing::siteOf(address);
    noteSiteAnswer(slot, SiteOutcome::Refused, retryAfter);
}

void Scheduler::onSiteAnswered(int index, int answer, const QString& retryAfter) {
    if (index < 1 || index > 6)
        return;
    const int i = WorkerRow[index] - 1;
    unloadWorker(index);
    holdRowForSite(i, static_cast<SiteAnswer>(answer), retryAfter, index);
    scheduleNextStart();
}

void Scheduler::robotCheckPassed() {
    // A run stopped at the check's limit goes on once someone passed it:
    // the rows it held still wait.
    if (m_stoppedOnCheck && !timerDownEnabled()) {
        startDownload();
        showActivity(RobotCheckPassedText);
        return;
    }
    if (!m_robotCheckWaiting)
        return;
    m_robotCheckWaiting = false;
    m_robotCheckLimitTimer->stop();
    // Said at once: the held row may take a while to arrive.
    showActivity(RobotCheckPassedText);
    scheduleNextStart();
}

void Scheduler::armRobotCheckLimit() {
    if (!m_robotCheckWaiting || m_robotCheckSinceMs == 0) {
        m_robotCheckLimitTimer->stop();
        return;
    }
    const qint64 limitMs = qint64(qMax(1, app().RobotCheckWaitMinutes)) * 60 * 1000;
    const qint64 leftMs = m_robotCheckSinceMs + limitMs - app().clock().monotonicMs();
    // Ended from the event loop, never inside the transfer that met the check.
    m_robotCheckLimitTimer->start(static_cast<int>(std::clamp<qint64>(leftMs, 0, limitMs)));
}

void Scheduler::robotCheckLimitReached() {
    if (!m_robotCheckWaiting || m_robotCheckSinceMs == 0)
        return;
    const qint64 limitMs = qint64(qMax(1, app().RobotCheckWaitMinutes)) * 60 * 1000;
    if (app().clock().monotonicMs() - m_robotCheckSinceMs < limitMs) {
        armRobotCheckLimit();
        return;
    }
    // Stopped as the auto stop stops a run: the rows keep waiting, nothing
    // is counted, the panel keeps the check for whoever comes back.
    setTimerDownEnabled(false);
    endSiteWaits();
    m_stoppedOnCheck = true;
    m_rowsStartedInRun = false;
    if (options.sound)
        emit playSound(102);
    emit activityText(RobotCheckTimeoutText);
    emit robotCheckTimedOut();
    tellUser(RobotCheckTimeoutText, m_model.arrivalsText());
}
