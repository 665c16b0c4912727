#pragma once

#include <QString>

// Notices on the desktop for a person who is not looking at the program: a
// robot check waits for them, a run has ended. They go to the freedesktop
// notification service over the session bus; with no bus or no service
// nothing happens and nothing waits. The windows ask through this interface
// so that tests can record the notices where no desktop session runs.
class DesktopNotices {
public:
    virtual ~DesktopNotices() = default;

    // Shows summary (one short line) and body under the program's name.
    // Returns at once: the service's answer is not awaited.
    virtual void notify(const QString& summary, const QString& body);

    // The bus name, object and interface of the service.
    static const QString Service;
    static const QString Path;
    static const QString Interface;
};
