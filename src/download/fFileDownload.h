#pragma once

#include "download/DownloadListModel.h"
#include "download/ListCommands.h"
#include "shell/WindowFlow.h"

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class QTreeView;
class ArrivalChecks;
class ArticleHistory;
class DownloadListKeeper;
class PdfPreview;
class Scheduler;
class SiteLoginPanel;
class SoundPlayer;

// Where the control panel and the list go in the window's client area (pixels):
// the panel at 20 twips from the top left corner, as wide as the window less
// 300 twips; the list right below it with the panel's width, down to 140 twips
// above the client area's bottom.
struct DownloadWindowLayout {
    QRect panel;
    QRect list;
};
DownloadWindowLayout LayoutDownloadWindow(int windowWidth, int clientHeight, int panelHeight);

// The download window: the list of files to fetch, its controls and totals.
// Constructing it is loading it; closing it unloads it.
class fFileDownload : public QMainWindow, public DownloadListSink {
    Q_OBJECT
public:
    explicit fFileDownload(QWidget* parent = nullptr);
    ~fFileDownload() override;

    DownloadListModel* list() const { return m_list; }
    // The scheduler and both transfers, driven by Timer_Down and Timer1.
    Scheduler* scheduler() const { return m_scheduler; }

    // --- the list (other windows reach it through DownloadListSink) ---
    void AddDownloadItem(const QString& address, const QString& name, const QString& type,
                         const QString& folder, const QString& referer) override;
    void AddArticleItem(const QString& address, const QString& name, const QString& type,
                        const QString& folder, const QString& referer,
                        const ArticleRecord& record) override;
    // Writes the chosen rows' records (or those of the rows this run
    // finished) for a reference manager, next to their PDFs by default.
    void ExportRecords(bool finishedThisRun);
    int 统计未下载项数目() const { return m_list->统计未下载项数目(); }
    bool 检测是否下载列表完毕() const { return m_list->检测是否下载列表完毕(); }
    int CountErrorRows() const { return m_list->CountErrorRows(); }
    // The worker template plus every loaded worker.
    int CountWorkers() const;
    // Status-bar panel 4 := the totals per state.
    void UpdateStatusCounts();
    // Plays prompt sound 101, 102 or 103.
    void PlaySound(int id);

    // Status-bar panels, numbered 1 to 4. Panel 2: current activity; panel 3:
    // connection state; panel 4: totals.
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString& text);

    // Label1 := number of rows + "条".
    void updateRowCountLabel();
    // Empties panel 3 when it shows a robot check's page title.
    void dropCheckTitle();
    // Label7 and Combo1 after the options dialog changed the download mode.
    void followDownloadMode(int mode);

    // A transfer or the scheduler is at work: rows must not be removed or reordered.
    bool downloadRunning() const;
    // The single-connection transfer is executing a request.
    bool transferExecuting() const;
    // The close must be questioned: a transfer runs, a worker is loaded, the
    // list is not finished, or the scheduler is on.
    bool closeNeedsQuestion() const;

    // The stop command: untick auto start and auto re-download, stop the
    // scheduler, unload the workers, fail every Downloading row.
    void StopDownload();

    // One housekeeping tick (Timer1, every second).
    void HousekeepingTick();

    // --- list commands (fFileDownloadCommands.cpp) ---
    // Rows may be removed or reordered: no transfer, worker or scheduler runs.
    // Otherwise shows "停止下载以后，才能执行此操作！" and returns false.
    bool listMayChange();
    void SelectAllRows(); // "全选"
    void SelectNoRows();  // "全不选"
    void ShuffleRows();   // "随机排序列表(打乱)"
    void FitColumns();    // "自动调整列宽"
    // "重新下载" > one of its rules; limit: bytes, for CompleteAndSmaller only.
    void RedownloadRows(RedownloadRule rule, float limit = 0);
    void RedownloadSmallerThanAnswer();       // "文件大小小于指定数字的项"
    void ClearRows(ClearRule rule);           // "清除" > ..., "清空"
    void DeleteRowFiles(DeleteFileRule rule); // "删除文件" > ...
    // The current row's file path; empty, after saying so, when there is no
    // current row or no file.
    QString CurrentRowFile();
    void OpenCurrentFile();                // "打开下载文件"
    void OpenCurrentFolder();              // "打开所在文件夹"
    void OpenCurrentInTextEditor();        // "用记事本打开文件"
    void CopyCurrentName();                // "复制名称"
    void ExportNames(bool unfinishedOnly); // "导出名称" > "全部" / "未完成项"
    void OpenUrlReplace();                 // "批量替换网址"
    void CheckFilesExist();                // "检查文件是否存在"
    // Opens the file with the desktop's program for it; "文件不存在！" when missing.
    void OpenWithAssociatedProgram(const QString& path);
    // --- list events ---
    void SortByColumn(int column);              // header click
    void RowClicked(const QModelIndex& index);  // ItemClick
    void RowDoubleClicked();                    // DblClick on the current row
    void PanelClicked(int panel);               // a click on a status-bar panel (1..4)
    void ShowListMenu(const QPoint& globalPos); // right button
    // The entries the right-click menu enables or disables by the download state.
    void updateListMenuStates();
    // The current row (0-based), or -1.
    int currentRow() const;
    // One selection mark per row, in list order.
    QList<bool> selectionMarks() const;

    // --- window values ---
    bool Busy = false;
    double LastFinishTime = 0; // seconds since midnight
    // For each worker index the 1-based list position of the row it serves;
    // index 1 is also the single-connection transfer's.
    std::array<int, 12> WorkerRow{};
    // The worker array: index 0 is the template, 1..6 the loaded workers (null
    // when not loaded). The workers fill and clear it.
    std::array<QPointer<QObject>, 7> Downloader1;

    // --- controls ---
    QWidget* Picture3;
    QTreeView* ListView3;
    QLabel* Label4;
    QLabel* Label1;
    QLabel* Label7;
    QPushButton* Command26;
    QLabel* Label2;
    QComboBox* Combo1;
    QLabel* Label5;
    QComboBox* Combo2;
    QLabel* Label8;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QRadioButton* Option3;
    QPushButton* Command4;
    QPushButton* Command31;
    QCheckBox* Check4;
    QCheckBox* Check5;
    QCheckBox* Check6;
    QCheckBox* Check3;
    QComboBox* Combo4;
    QComboBox* Combo3; // the login panel's
    QFrame* Shape1;
    QStatusBar* StatusBar1;
    QTimer* Timer_Down;
    QTimer* Timer1;
    QTimer* Timer2; // the login panel's keep-alive
    // The login panel with its browser, over the list when shown.
    SiteLoginPanel* PicWebBK;

    // --- menus ---
    QMenu* menu下载; // "列表操作(&D)", also the list's right-click menu
    QMenu* menu窗口;
    QMenu* menu工具;
    QMenu* menu帮助;
    QMenu* menu重新下载;
    QMenu* menu清除;
    QMenu* menu删除文件;
    QMenu* menu导出名称;
    QAction* menu全选专利列表;
    QAction* menu全不选;
    QAction* menu随机排序列表;
    QAction* menu自动列宽;
    QAction* menu重新下载选中项;
    QAction* menu重新下载出错项;
    QAction* menu重新下载文件类型为HTM和HTML项;
    QAction* menu重新下载出错项和网页项;
    QAction* menu重新下载文件大小小于指定数字的项;
    QAction* menu清除选中项;
    QAction* menu清除全部出错项;
    QAction* menu清除完成项;
    QAction* menu清空;
    QAction* menu删除网页类型文件项;
    QAction* menu删除出错项;
    QAction* menu下载全部;
    QAction* menu停止下载;
    QAction* menu取消下载选中项;
    QAction* menu打开下载文件;
    QAction* menu打开文件所在文件夹;
    QAction* menu用记事本打开文件;
    QAction* menu复制名称;
    QAction* menu批量替换网址;
    QAction* menu导出全部名称;
    QAction* menu导出未完成项名称;
    QMenu* menu导出文献信息;
    QAction* menu导出选中项文献信息;     // the chosen rows, or all
    QAction* menu导出本次完成项文献信息; // the rows this run finished
    QAction* menu退出本下载窗口;
    QAction* menu资料检索分析窗口;
    QAction* 设置;
    QAction* menu自动定位到下载项;
    QAction* menu检查文件是否存在;
    QAction* menu检查并纠正磁盘文件类型;
    QAction* menu清空IE浏览器缓存;
    QAction* menu打开文件判断类型;
    QAction* 关于;
    // What the look inside arrived files adds (fFileDownloadChecks.cpp).
    QAction* menu选中需检查项;     // "选中需检查项"
    QAction* menu重新下载需检查项; // "重新下载" > "需检查的PDF项"
    QAction* menu仍然下载选中项;   // "重新下载" > "仍然下载选中的已下载过项"
    QAction* menu预览首页;         // "预览首页"

    // --- looks inside arrived files (fFileDownloadChecks.cpp) ---
    ArrivalChecks* arrivalChecks() const { return m_checks; }
    ArticleHistory* articleHistory() const { return m_history; }
    PdfPreview* pdfPreview() const { return m_preview; }
    void SelectMarkedRows();    // "选中需检查项"
    void FetchSelectedAnyway(); // "仍然下载选中的已下载过项"
    void PreviewCurrentRow();   // "预览首页"
    // The first page of the row under the pointer, or nothing when it is no finished PDF.
    void PreviewRow(int row, const QPoint& globalPos);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void load();
    // The window's own choices go to the settings store as they change.
    void keepChoicesWhenChanged();
    void layoutControls();
    // The least size at which the panel and the list cut nothing.
    void updateMinimumSize();
    void switchDownloadMode();
    void unloadWorkers();
    // The trimmed caption of the chosen duplicate-policy option.
    QString chosenPolicy() const;

    // Connects the controls to the scheduler and its notices to the controls.
    void wireScheduler();
    // The controls' choices as the scheduler reads them.
    void syncSchedulerOptions();
    // Connects the list commands and the list's events.
    void wireListCommands();
    // The history of placed articles, the look inside arrived files, their
    // commands and the first-page preview.
    void wireArticleChecks();

    // The rows the last run started (by id); emptied when the next run starts one.
    QSet<qint64> m_runRows;
    bool m_runOver = true;
    DownloadListModel* m_list;
    SoundPlayer* m_sounds;
    Scheduler* m_scheduler = nullptr;
    DownloadListKeeper* m_keeper = nullptr;
    ArticleHistory* m_history = nullptr;
    ArrivalChecks* m_checks = nullptr;
    PdfPreview* m_preview = nullptr;
    std::array<QLabel*, 4> m_panels{};
    // Panel 3 shows the title of a robot check's page.
    bool m_checkTitleShown = false;
    // The run was going at the last housekeeping tick.
    bool m_runGoing = false;
    QTimer* m_countsTimer = nullptr;
    ListShuffler m_shuffler;
    HeaderSortOrder m_sortOrder;
};
