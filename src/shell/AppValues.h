#pragma once

#include "platform/Clock.h"
#include "platform/DesktopNotices.h"
#include "platform/DesktopShell.h"
#include "platform/Dialogs.h"
#include "platform/KeptDatabase.h"
#include "platform/Registry.h"
#include "platform/Transport.h"
#include "shell/SettingsStore.h"

#include <QObject>
#include <QString>
#include <memory>

class WindowFlow;

// The one object that holds the program-wide values and the services every
// window shares (settings, clock, dialogs, window flow). It lives for the whole
// run; main() creates it, tests create one per test case.
//
// Values that another window must follow when they change carry a signal.
class AppValues : public QObject {
    Q_OBJECT
public:
    explicit AppValues(std::unique_ptr<SettingsStore> settings = std::make_unique<SettingsStore>(),
                       QObject* parent = nullptr);
    ~AppValues() override;

    static AppValues& instance();
    static bool exists();

    SettingsStore& settings() { return *m_settings; }
    Clock& clock() { return m_clock; }
    Transport& transport() { return *m_transport; }
    // Called by every window that embeds a browser: from then on the transport
    // carries the browser's cookies and user agent.
    void useBrowserProfile();
    // The registry file, beside the settings file.
    Registry& registry() { return m_registry; }
    Dialogs& dialogs() { return *m_dialogs; }
    void setDialogs(std::unique_ptr<Dialogs> dialogs);
    // Opening files and folders, the text editor, the clipboard.
    DesktopShell& desktop() { return *m_desktop; }
    void setDesktop(std::unique_ptr<DesktopShell> desktop);
    // Notices for a person who is not looking at the program.
    DesktopNotices& notices() { return *m_notices; }
    void setNotices(std::unique_ptr<DesktopNotices> notices);
    WindowFlow& flow() { return *m_flow; }
    // The lists kept across runs. Nothing is kept until it is opened (main
    // opens it at start; tests that keep open one in their own folder); its
    // notices are said through dialogs().
    KeptDatabase& keptLists() { return *m_kept; }

    // --- values loaded by the start-up window ---
    QString CurrentSaveFolder;
    double MaxFileSizeMB = 10;
    QString OsBitness;
    QString OsDisplayName;
    QString BrowserEmulationVersion;
    // --- values of the dialogs ---
    int PromptSaveFolder = 1;
    bool UseOriginalFileName = false;
    // How files are named from their article's record ("作者 - 年份 - 标题",
    // ...); empty: by title or address as chosen above.
    QString FileNamePattern;
    bool SaveFolderCancelled = false;
    // --- download settings shared by the download window and the options dialog ---
    int DownloadMode = 2;
    QString DuplicatePolicy = QStringLiteral("重命名");
    int ProxyEnabled = 0;
    QString ProxyAddress;
    QString ProxyPort;
    // Minutes a run waits for a robot check to be passed before it stops.
    int RobotCheckWaitMinutes = SettingsStore::RobotCheckWaitDefault;
    // --- the article site ---
    // The search window's home page; tests point it at a local page.
    QString SiteHomeAddress = QStringLiteral("https://www.sciencedirect.com/");

    // Setters for values that other windows follow; each emits when the value changes.
    void setDownloadMode(int mode);
    void setMaxFileSizeMB(double mb);
    void setProxy(int enabled, const QString& address, const QString& port);
    void setCurrentSaveFolder(const QString& folder);
    void setPromptSaveFolder(int prompt);

signals:
    void downloadModeChanged(int mode);
    void maxFileSizeChanged(double mb);
    void proxyChanged();
    void currentSaveFolderChanged(const QString& folder);
    void promptSaveFolderChanged(int prompt);

private:
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<Dialogs> m_dialogs;
    Registry m_registry;
    std::unique_ptr<DesktopShell> m_desktop;
    std::unique_ptr<DesktopNotices> m_notices;
    Clock m_clock;
    std::unique_ptr<Transport> m_transport; // after m_clock, which it reads
    WindowFlow* m_flow = nullptr;
    KeptDatabase* m_kept = nullptr;
    bool m_browserMirrored = false;
};

// Short access to the program-wide values.
inline AppValues& app() {
    return AppValues::instance();
}
