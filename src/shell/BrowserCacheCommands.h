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
    // Empties the current user's cache and every cache of the all-users view;
    // false when it was cut short (the window went meanwhile).
    virtual bool ClearAllCaches() = 0;
    // Whether a listing, a deletion or a clearing is under way. One cache
    // operation runs at a time: another asked for meanwhile is refused.
    virtual bool cacheOperationRunning() const = 0;
};

// Empties the embedded browser's cache through the cache viewer, loaded
// without being shown and closed afterwards; then, when showMessage is true
// and the clearing has ended, "IE缓存清空完毕！". Both main windows'
// "清空IE浏览器缓存" call it. While a cache operation runs (the clearing
// processes events, so a second click can come in the middle of it) it is
// refused with a message.
void ClearBrowserCache(bool showMessage);

// Shows the cache viewer modally over owner; refused with a message while a
// cache operation runs. The refusal in both: "IE缓存正在处理中，请稍后再试！".
void ShowBrowserCacheViewer(QWidget* owner);
