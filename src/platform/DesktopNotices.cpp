#include "platform/DesktopNotices.h"

#include "platform/Dialogs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

const QString DesktopNotices::Service = QStringLiteral("org.freedesktop.Notifications");
const QString DesktopNotices::Path = QStringLiteral("/org/freedesktop/Notifications");
const QString DesktopNotices::Interface = QStringLiteral("org.freedesktop.Notifications");

void DesktopNotices::notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    // (-1: the server's own).
    call << Dialogs::applicationTitle() << quint32(0) << QString() << summary << body
         << QStringList() << QVariantMap() << qint32(-1);
    // Sent without waiting for the answer: a service that is slow or missing
    // must not hold the user-interface thread.
    bus.send(call);
}
