#pragma once

#include "download/DownloadItem.h"
#include "net/SitePacing.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <functional>
#include <memory>

enum class SiteAnswer;
class DownloadListModel;
class Downloader;
class PartFile;
class TransferRequest;
enum class SameNamePolicy;
class QTimer;
class QWidget;

// The download window's scheduler and its two transfers, kept apart from the
// window so that tests can drive it tick by tick. The window owns the
// controls; it mirrors them into `Options` when they change and follows the
// scheduler's signals (timer on/off, indicator, status-bar panels, sounds).
//
// Everything runs on the user-interface thread. A mode-one transfer runs inside
// the scheduler tick that started it and processes events while it waits, so
// ticks, clicks and worker events are handled in the middle of it; `Busy` and
// the transfer's own busy state keep a second mode-one transfer from starting.
class Scheduler : public QObject {
    Q_OBJECT
public:
    // Choices made with the window's controls, read at the moment they are used.
    struct Options {
        int workerCount = 1;                                // Combo1, "1".."6"
        int pauseSeconds = 0;                               // Combo2, "0".."600"
        bool autoStart = false;                             // Check4
        bool autoStop = false;                              // Check5
        bool sound = false;                                 // Check6
        bool autoRedownload = false;                        // Check3
        int autoRedownloadChoice = 0;                       // Combo4: 0 failed, 1 web pages, 2 both
        bool autoLocate = false;                            // menu自动定位到下载项
        bool autoLogin = false;                             // Check2 of the login panel
        QString duplicatePolicy = QStringLiteral("重命名"); // caption of the chosen Option1..3
    };

    // The window values the scheduler shares with the window that hosts it.
    struct Values {
        bool Busy = false;
        double LastFinishTime = 0;
        std::array<int, 12> WorkerRow{};
        std::array<QPointer<QObject>, 7> Downloader1; // 1..6: loaded workers
    };

    // A scheduler that keeps the window values itself (tests, benchmarks).
    explicit Scheduler(DownloadListModel& model, QObject* parent = nullptr);
    // A scheduler working on the values of its window.
    Scheduler(DownloadListModel& model, bool& busy, double& lastFinishTime,
              std::array<int, 12>& workerRow, std::array<QPointer<QObject>, 7>& workers,
              QObject* parent = nullptr);
    ~Scheduler() override;

    Options options;

    // --- window values ---
    bool& Busy;
    double& LastFinishTime;
    std::array<int, 12>& WorkerRow; // 1-based list positions; index 1 also serves mode one

    // The scheduler timer `Timer_Down`. Bound to the window's QTimer, the
    // scheduler starts and stops that timer and reads its state; unbound (tests)
    // it is a flag and the caller ticks by hand.
    void bindTimerDown(QTimer* timer);
    bool timerDownEnabled() const;
    void setTimerDownEnabled(bool on);
    // `menu下载全部` and `Shape1` as the housekeeping tick last set them.
    bool startCommandEnabled() const { return m_startEnabled; }
    bool indicatorVisible() const { return m_indicator; }

    // --- ticks ---
    void schedulerTick();    // Timer_Down
    void housekeepingTick(); // Timer1 (the totals of panel 4 are the window's)

    // --- commands ---
    void startDownload();                              // "开始下载"
    void stopDownload();                               // "停止下载"
    void withdrawRows(const QList<int>& selectedRows); // "取消下载选中项"; 0-based rows
    void switchMode();                                 // "切换"
    void redownloadFailed();                           // "重新下载" > "出错项"
    void redownloadWebPages(); // "重新下载" > "网页类型文件(HTM/HTML/xml)项"
    void RequeueRow(int row, bool webVariant = false); // 0-based row
    void DeleteRowFile(int row);

    // Type commands of the tools menu; messages go through app().dialogs().
    int checkAndCorrectFileTypes(QWidget* parent); // "检查并纠正磁盘文件类型"
    QString judgeFileType(QWidget* parent);        // "打开文件判断类型"

    // True while a transfer of either mode may run: the scheduler timer is on,
    // the mode-one transfer is executing, or a worker is loaded.
    bool downloadRunning() const;

    // --- mode one ---
    bool Inet下载当前文件(int row);
    bool Inet下载文件(int row);
    bool FetchWholeFile(int row, const QString& path);
    bool inetExecuting() const;
    static QString connectionStateText(int state, int code = 0, const QString& text = {});

    // --- mode two ---
    void 多线程下载(int j, int i, const QString& address, const QString& path);
    bool ControlExists(int j) const;
    int CountWorkers() const; // the template counts as one, like a control array
    Downloader* worker(int j) const;
    void unloadWorker(int j);
    void onDownloadProgress(int index, qint64 curBytes, qint64 maxBytes, const QString& saveFile);
    void onDownloadComplete(int index, qint64 curBytes, qint64 maxBytes, const QString& saveFile);
    void onDownloadError(int index, const QString& saveFile, const QString& missCode);

    // The site login, run with false after a transfer brought a web page while
    // auto login (Check2) is ticked. The login panel plugs itself in through
    // siteLoginHook; until it does, the call does nothing.
    void SiteLogin(bool showMessages);
    std::function<void(bool showMessages)> siteLoginHook;
    // Asked for each waiting row before it starts: true when the row's article
    // is already in a folder and the hook has marked the row so (it then
    // does not start). Unset: every row is fetched.
    std::function<bool(DownloadItem& row)> earlierCopyHook;
    // The files of finished rows are still being looked at: the notice at the
    // end of a run waits for them, and counts what they found apart.
    std::function<bool()> checksPending;
    std::function<QString()> checkSummary;
    // A site login is running: no row starts and none is put back meanwhile.
    bool siteLoginRunning() const { return m_siteLoginDepth > 0; }

    // --- the site's requests ---
    // A site that asked to wait (429/503) gets no request until its pause is
    // over, then one that goes first; while it refuses some requests and
    // accepts others it gets fewer workers at once (SitePacing). The seconds
    // left of the longest pause running, 0 when none runs.
    double sitePauseRemaining() const;
    // The workers at once the site of address is given now: the worker count
    // of the options, or fewer while the site refuses.
    int siteWorkers(const QString& address) const;
    // A row met a robot check: the run starts nothing until the check is passed
    // in the login panel (robotCheckPassed), "开始下载" or "停止下载", or until
    // nobody has passed it for `RobotCheckWaitMinutes` (program clock): then
    // the run stops as the auto stop stops it, its rows still waiting.
    bool waitingForRobotCheck() const { return m_robotCheckWaiting; }
    // The login panel's page changed while a check was waiting: the run goes on
    // from the row; a row that meets the check again waits again. The time
    // limit counts from the first check of the series: only a file that
    // arrives, or the user's start or stop, begins a new one. The status line
    // says at once that the check was passed (RobotCheckPassedText); a run
    // that stopped at the limit starts again, for the user has now passed it.
    void robotCheckPassed();
    // The run stopped because nobody passed a check in time; neither auto
    // start nor the automatic re-download starts it again, the user does (by
    // "开始下载", or by passing the check).
    bool stoppedOnRobotCheck() const { return m_stoppedOnCheck; }
    // What holds the run, kept in the status bar while it holds: the check,
    // or the site's pause with its countdown; empty when nothing holds it.
    QString holdReason() const;
    static const QString RobotCheckText;        // "需要在网页中完成验证"
    static const QString RobotCheckTimeoutText; // "等待网页验证超时，已停止下载"
    static const QString RobotCheckPassedText;  // "网页验证已通过，继续下载"
    static const QString RunEndedText;          // "下载完成"
    // Both transfers hand a row here when the site answered with a request to
    // wait or with a robot check: the row waits again and nothing of it stays.
    // slot: the worker index in mode two, 0 for the mode-one transfer.
    void holdRowForSite(int row, SiteAnswer answer, const QString& retryAfter, int slot = 0);
    void onSiteAnswered(int index, int answer, const QString& retryAfter);

    // The row path of the type check and the list commands: folder, name, and
    // "." with the type when there is one.
    static QString rowPath(const DownloadItem& item);

signals:
    void timerDownChanged(bool enabled);
    void startCommandEnabledChanged(bool enabled);
    void indicatorChanged(bool visible);
    void activityText(const QString& text);   // status-bar panel 2
    void connectionText(const QString& text); // status-bar panel 3
    void playSound(int id);
    void ensureRowVisible(int row);
    void checksUnticked(); // the stop command unticked auto start and auto re-download
    void modeChanged(int mode);
    void listHidden(bool hidden); // hide the list while a command changes many rows
    void transferStarted(int row);
    // A row met a robot check: show address in the login panel's browser.
    void robotCheckShown(const QString& address);
    // The row of the last check has ended (its file came, or it failed for
    // another reason): the check is behind the run.
    void robotCheckEnded();
    // Nobody passed the check in time; the run has stopped.
    void robotCheckTimedOut();
    // A site's refusal began a pause of seconds; the site now gets workers at once.
    void sitePauseBegan(const QString& site, double seconds, int workers);
    // The user has been told something on the desktop (a check waits, the run
    // ended or stopped): the window asks for attention too.
    void attentionWanted();
    // The run stopped on web pages: show the last one (a saved file) and why.
    void webPagesStopped(const QString& pagePath, const QString& why);

private:
    Scheduler(DownloadListModel& model, std::unique_ptr<Values> own, QObject* parent);
    DownloadItem row(int i) const;
    // Writes the cells, key and state of a changed copy back into the list.
    void commit(int i, const DownloadItem& changed);
    int rowCount() const;
    bool scanStartRow(int& found, bool ensureFolder);
    void endSingleTransfer(int row, bool failedSound);
    void monoState(int state);
    enum class StreamOutcome { Complete, TooBig, Failed, Cancelled };
    StreamOutcome streamBody(int i, PartFile& part, qint64 size, qint64& lastProgress);
    StreamOutcome fetchWholeBody(int i, PartFile& part);
    bool settleArrival(int i, PartFile& part, const QString& path);
    // Ends a mode-one answer to a ranged request that is not the file: a
    // site's request to wait or a check holds the row, any other answer fails
    // it; the row keeps its planned name and type either way.
    void endAnswerAside(int i, const QByteArray& bodyHead);
    void finishRowSounds(int row, bool includeXml);
    bool isWebType(const QString& type, bool includeXml) const;
    // The percent cell: whole percent, rounded down, and "%".
    static QString percentText(qint64 cur, qint64 max);
    // What every transfer does when it ends: status text, pause clock, sounds,
    // login. failureReason: why no answer came (NoAnswerReason), for the status line.
    void announceTransferEnd(const DownloadItem& it, bool xmlIsWebPage,
                             const QString& failureReason = {});
    // The status line of a row that failed for a reason the user can act on.
    static QString FailureActivityText(const QString& name, const QString& reason);
    SameNamePolicy policy() const;
    // Where the row's next file goes (and its name in newName): its own file's
    // path while the row holds one, else as the same-name policy says.
    QString plannedPath(const DownloadItem& it, QString& newName) const;
    // The next row starts as soon as the pause between files allows, not at
    // the next tick: a queued start, so that it never runs inside the handler
    // (or the transfer's wait) that asked for it.
    void setUpStartTimers();
    void scheduleNextStart();
    void startQueued();
    bool pauseBetweenFilesOver() const;
    void setUpSiteWaits();
    bool sitePaused() const;
    void sitePauseTick();
    void endSiteWaits();
    // The request of a transfer (slot 0: mode one, 1..6: the workers) goes
    // out, and how its site answered it.
    void noteRequestSent(int slot, const QString& address);
    enum class SiteOutcome { Accepted, Refused, Unknown };
    void noteSiteAnswer(int slot, SiteOutcome outcome, const QString& retryAfter = {});
    int siteCeiling() const;
    int runningFor(const QString& site) const;
    // Texts for status-bar panel 2 go through here: while the run is held, the
    // reason stays in view instead.
    void showActivity(const QString& text);
    void restoreActivity();
    void armRobotCheckLimit();
    void robotCheckLimitReached();
    // A desktop notice for a person who may not be looking.
    void tellUser(const QString& summary, const QString& body);
    // The totals of the end-of-run notice, with the rows whose files need a look.
    QString runTotalsText() const;
    // The targets running workers are on their way to: names taken meanwhile.
    QStringList liveReservations() const;

    DownloadListModel& m_model;
    bool m_timerDown = false;
    QPointer<QTimer> m_timerDownControl;
    bool m_startEnabled = true;
    bool m_indicator = false;
    std::unique_ptr<Values> m_ownValues;
    std::array<QPointer<QObject>, 7>& m_workers; // the window's `Downloader1` array
    QPointer<TransferRequest> m_inet;            // `Inet1`'s request
    int m_siteLoginDepth = 0;
    // Mode one: bytes a resumed part held before the current answer; set
    // while one row's transfer runs.
    qint64 m_inetOffset = 0;
    bool m_inetNoResume = false;
    // Mode one: the answer streaming now is not the file, set aside beside
    // the row's kept part; it never ends as a file, too big or not.
    bool m_inetAside = false;
    QTimer* m_startTimer = nullptr;        // the queued start
    QTimer* m_sitePauseTimer = nullptr;    // counts a site pause down, each second
    QTimer* m_sitePauseEndTimer = nullptr; // ends it on the very time
    SitePacing m_pacing;                   // program clock, monotonic
    struct SentRequest {
        QString site;
        SitePacing::Ticket ticket = 0; // 0: none under way
    };
    std::array<SentRequest, 7> m_sent; // 0: mode one, 1..6: the workers
    bool m_pauseShown = false;         // the countdown is in the status bar
    bool m_robotCheckWaiting = false;
    qint64 m_robotCheckSinceMs = 0; // the series of checks began; program clock; 0: none
    QTimer* m_robotCheckLimitTimer = nullptr;
    int m_robotCheckRow = -1; // the row the last check held
    bool m_stoppedOnCheck = false;
    bool m_rowsStartedInRun = false; // for the notice at the end of a run
    bool m_endNoticeDue = false;     // the run ended while its last files were looked at
    QString m_monoPlannedType;       // the row's type before the mode-one answer named it
    QString m_lastWebPage; // the last web page of this run, shown when the run stops on them
    bool m_autoLoginRan = false;
};
