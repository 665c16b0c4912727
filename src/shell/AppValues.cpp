#include "shell/AppValues.h"

#include "platform/BrowserProfile.h"
#include "platform/CookieMirror.h"
#include "shell/WindowFlow.h"

#include <QFileInfo>
#include <QtGlobal>

static void initShellResources() {
    // The shell's resources live in a static library; name them so the linker keeps them.
    Q_INIT_RESOURCE(shell);
}

namespace {
AppValues* current = nullptr;
}

AppValues::AppValues(std::unique_ptr<SettingsStore> settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_dialogs(std::make_unique<Dialogs>()),
      m_registry(QFileInfo(m_settings->fileName()).absolutePath() +
                 QStringLiteral("/registry.ini")),
      m_desktop(std::make_unique<DesktopShell>()), m_notices(std::make_unique<DesktopNotices>()),
      m_transport(std::make_unique<Transport>(m_clock)), m_flow(new WindowFlow(this)),
      m_kept(new KeptDatabase(this)) {
    Q_ASSERT(!current);
    current = this;
    m_kept->setNotifier([this](const QString& text) { m_dialogs->information(nullptr, text); });
    initShellResources();
    CurrentSaveFolder = SettingsStore::defaultSaveFolder();
}

AppValues::~AppValues() {
    if (current == this)
        current = nullptr;
}

AppValues& AppValues::instance() {
    Q_ASSERT(current);
    return *current;
}

bool AppValues::exists() {
    return current != nullptr;
}

void AppValues::setDialogs(std::unique_ptr<Dialogs> dialogs) {
    m_dialogs = dialogs ? std::move(dialogs) : std::make_unique<Dialogs>();
}

void AppValues::setDesktop(std::unique_ptr<DesktopShell> desktop) {
    m_desktop = desktop ? std::move(desktop) : std::make_unique<DesktopShell>();
}

void AppValues::setNotices(std::unique_ptr<DesktopNotices> notices) {
    m_notices = notices ? std::move(notices) : std::make_unique<DesktopNotices>();
}

void AppValues::setDownloadMode(int mode) {
    if (mode == DownloadMode)
        return;
    DownloadMode = mode;
    emit downloadModeChanged(mode);
}

void AppValues::setMaxFileSizeMB(double mb) {
    if (mb == MaxFileSizeMB)
        return;
    MaxFileSizeMB = mb;
    emit maxFileSizeChanged(mb);
}

void AppValues::setProxy(int enabled, const QString& address, const QString& port) {
    if (enabled == ProxyEnabled && address == ProxyAddress && port == ProxyPort)
        return;
    ProxyEnabled = enabled;
    ProxyAddress = address;
    ProxyPort = port;
    emit proxyChanged();
}

void AppValues::setCurrentSaveFolder(const QString& folder) {
    if (folder == CurrentSaveFolder)
        return;
    CurrentSaveFolder = folder;
    emit currentSaveFolderChanged(folder);
}

void AppValues::setPromptSaveFolder(int prompt) {
    if (prompt == PromptSaveFolder)
        return;
    PromptSaveFolder = prompt;
    emit promptSaveFolderChanged(prompt);
}

void AppValues::useBrowserProfile() {
    if (m_browserMirrored)
        return;
    m_browserMirrored = true;
    new CookieMirror(BrowserProfile::shared(), *m_transport);
}
