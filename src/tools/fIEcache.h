#pragma once

#include "platform/BrowserCache.h"
#include "shell/BrowserCacheCommands.h"
#include "tools/CacheFolders.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class CacheListModel;
class QLabel;
class QPushButton;
class QTreeView;
class QTreeWidget;

// The browser cache viewer: lists the embedded browser's cached documents
// (the current user's cache, or the same cache folder of every user), copies
// chosen documents out with the copy dialog and deletes entries. Loaded
// without being shown it also empties the cache (ClearBrowserCache).
//
// Long listings and deletions read and process a slice of entries at a time,
// so the window stays responsive; while one runs the command buttons are off
// and a close waits for it to end.
class fIEcache : public QDialog, public BrowserCacheClearing {
    Q_OBJECT
public:
    // home: the user's home folder; cacheFolder: the folder of the cache
    // entry files. Empty: the real ones (the program profile's cache).
    explicit fIEcache(QWidget* parent = nullptr, const QString& home = {},
                      const QString& cacheFolder = {});
    ~fIEcache() override;

    // Current user's view.
    void Command1_Click();
    // Delete every listed file.
    void Command3_Click();
    // All users' view.
    void Command7_Click();
    // Delete the selected files.
    void Command2_Click();
    // Copy the selected documents with the copy dialog: in both views, an
    // entry file gives its document, named after its address.
    void Command6_Click();

    // Reads the current user's cache into ListView1.
    void GetCacheURLList();
    // Drops the path and size of every row whose document file has gone.
    void 判断文件在缓存中文件路径();
    // Deletes one file of a listed cache folder; anything else is left alone,
    // and no link is followed on the way to it.
    void 强制删除(const QString& path);
    // Removes the empty folders found below the listed cache folders.
    void 删除空文件夹();

    bool ClearAllCaches() override;
    bool cacheOperationRunning() const override { return m_busy || m_clearing; }

    // "我的缓存" or "所有缓存": the view shown last.
    QString ListView1Tag;
    CacheListModel* model() const { return m_model; }
    QString cacheFolder() const { return m_cache.folder(); }
    bool busy() const { return m_busy; }

    QTreeView* ListView1;
    QTreeWidget* ListView2;
    QTreeWidget* ListView3;
    QLabel* Label1;
    QPushButton* Command1; // "查看我的缓存"
    QPushButton* Command7; // "查看所有用户缓存"
    QPushButton* Command6; // "复制选中..."
    QPushButton* Command2; // "删除所选文件"
    QPushButton* Command3; // "全部删除"
    QPushButton* Command4; // "关闭"

public slots:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void deleteRows(const QList<int>& rows);
    void refreshView();
    void sortByColumn(int column);
    void setBusy(bool busy);
    // Processes events between slices; false when the window is going.
    bool slice();
    void countLine(bool failed = false);
    QList<int> selectedRows() const;

    BrowserCache m_cache;
    QString m_home;
    CacheListModel* m_model;
    QStringList m_userFolders;     // always ends with one empty element
    QStringList m_cacheSubfolders; // always ends with one empty element
    CacheRoots m_roots;            // the cache folders listed; nothing outside is deleted
    bool m_descending = false;
    bool m_busy = false;
    bool m_clearing = false; // the four steps of ClearAllCaches, as one operation
    bool m_closeRequested = false;
};
