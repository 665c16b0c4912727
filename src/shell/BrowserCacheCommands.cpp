#include "shell/BrowserCacheCommands.h"

#include "shell/AppValues.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

namespace {

// True (after the refusal) when the loaded viewer is in the middle of an
// operation. Waiting for it here would never end: the operation is further
// down this very call stack, paused while events are processed.
bool refusedWhileBusy(QWidget* owner) {
    auto* running = dynamic_cast<BrowserCacheClearing*>(app().flow().find(WindowNames::IEcache));
    if (!running || !running->cacheOperationRunning())
        return false;
    app().dialogs().error(owner, QStringLiteral("IE缓存正在处理中，请稍后再试！"));
    return true;
}

} // namespace

void ClearBrowserCache(bool showMessage) {
    if (refusedWhileBusy(nullptr))
        return;
    WindowFlow& flow = app().flow();
    const bool wasLoaded = flow.IsFormLoaded(WindowNames::IEcache);
    QPointer<QWidget> viewer = flow.load(WindowNames::IEcache);
    bool cleared = false;
    if (auto* clearing = dynamic_cast<BrowserCacheClearing*>(viewer.data()))
        cleared = clearing->ClearAllCaches();
    // A viewer the user has open stays; one loaded for the clearing goes.
    if (viewer && !wasLoaded)
        viewer->close();
    if (showMessage && cleared)
        app().dialogs().information(nullptr, QStringLiteral("IE缓存清空完毕！"));
}

void ShowBrowserCacheViewer(QWidget* owner) {
    if (refusedWhileBusy(owner))
        return;
    QPointer<QDialog> viewer = qobject_cast<QDialog*>(app().flow().load(WindowNames::IEcache));
    if (!viewer)
        return;
    if (owner && viewer->parentWidget() != owner)
        viewer->setParent(owner, viewer->windowFlags());
    viewer->setWindowModality(Qt::ApplicationModal);
    viewer->exec();
}
