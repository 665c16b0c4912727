#pragma once

#include "shell/WindowFlow.h"

#include <QString>

class QWidget;

namespace WindowNames {
inline const QString IEcache = QStringLiteral("fIEcache");
inline const QString CopyMove = QStringLiteral("Form_Copy_Move");
} // namespace WindowNames

// What the clearing routine needs of the cache viewer; the viewer implements
// it, so the main windows never include it.
class BrowserCacheClearing {
public:
    virtual ~BrowserCacheClearing() = default;
    // Empties the current user's cache and every cache of the all-users view.
    virtual void ClearAllCaches() = 0;
};

// Empties the embedded browser's cache through the cache viewer, loaded
// without being shown and closed afterwards; then, when showMessage is true,
// "IE缓存清空完毕！". Both main windows' "清空IE浏览器缓存" call it.
void ClearBrowserCache(bool showMessage);

// Shows the cache viewer modally over owner.
void ShowBrowserCacheViewer(QWidget* owner);
