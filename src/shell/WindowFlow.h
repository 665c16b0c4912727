#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>

class QWidget;
struct ArticleRecord;

// What the search window's hand-off needs of the download list; the download
// window implements it, so the search window never includes the download window.
class DownloadListSink {
public:
    virtual ~DownloadListSink() = default;
    virtual void AddDownloadItem(const QString& address, const QString& name, const QString& type,
                                 const QString& folder, const QString& referer) = 0;
    // The same, with what the pages said of the article; a list that keeps
    // no records takes the row alone.
    virtual void AddArticleItem(const QString& address, const QString& name, const QString& type,
                                const QString& folder, const QString& referer,
                                const ArticleRecord& record) {
        (void)record;
        AddDownloadItem(address, name, type, folder, referer);
    }
};

// How the windows reach each other. Each top-level window registers a factory
// under its objectName; the others load, show, find or hide it by that name.
//
// Loading creates the window (its constructor is its load step) without showing
// it; showing loads it first when needed. Closing a window unloads it: it is
// marked unloaded at once (IsFormLoaded no longer sees it) and destroyed once
// every wait that was running inside it has returned.
class WindowFlow : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QWidget*()>;

    explicit WindowFlow(QObject* parent = nullptr);

    void registerWindow(const QString& name, Factory factory);

    // The live, loaded window with this name (case-insensitive), or null.
    QWidget* find(const QString& name) const;
    bool IsFormLoaded(const QString& name) const;
    QWidget* load(const QString& name);
    QWidget* show(const QString& name);
    void hide(const QString& name);
    // Puts a loaded, shown window in front of the others and gives it the
    // focus; a minimised one stays minimised. Never loads or shows it.
    void bringForward(const QString& name);
    // Loads the named dialog and runs it modally over owner; returns when it
    // has closed (it unloads then).
    void showModal(const QString& name, QWidget* owner);

    // Call from a window's accepted close: from now on it counts as unloaded.
    static void markUnloaded(QWidget* window);

    // The download list, loading its window (without showing it) when needed.
    DownloadListSink* downloadList();

    // Ends the program at once, from any depth of nested waits: no other window
    // runs its closing steps. Tests replace the handler.
    void exitProgram();
    void setExitHandler(std::function<void()> handler);

private:
    std::map<QString, Factory> m_factories;
    std::function<void()> m_exitHandler;
};

// Window names used by the flow.
namespace WindowNames {
inline const QString Cover = QStringLiteral("fCover");
inline const QString WebSearch = QStringLiteral("fWebSearch");
inline const QString FileDownload = QStringLiteral("fFileDownload");
inline const QString Option = QStringLiteral("fOption");
inline const QString About = QStringLiteral("frmAbout");
} // namespace WindowNames
