#include "shell/BrowserCacheCommands.h"

#include "shell/AppValues.h"

#include <QDialog>
#include <QPointer>
#include <QWidget>

void ClearBrowserCache(bool showMessage) {
    WindowFlow& flow = app().flow();
    const bool wasLoaded = flow.IsFormLoaded(WindowNames::IEcache);
    QPointer<QWidget> viewer = flow.load(WindowNames::IEcache);
    if (auto* clearing = dynamic_cast<BrowserCacheClearing*>(viewer.data()))
        clearing->ClearAllCaches();
    // A viewer the user has open stays; one loaded for the clearing goes.
    if (viewer && !wasLoaded)
        viewer->close();
    if (showMessage)
        app().dialogs().information(nullptr, QStringLiteral("IE缓存清空完毕！"));
}

void ShowBrowserCacheViewer(QWidget* owner) {
    QPointer<QDialog> viewer = qobject_cast<QDialog*>(app().flow().load(WindowNames::IEcache));
    if (!viewer)
        return;
    if (owner && viewer->parentWidget() != owner)
        viewer->setParent(owner, viewer->windowFlags());
    viewer->setWindowModality(Qt::ApplicationModal);
    viewer->exec();
}
