#pragma once

#include <QObject>

class BrowserProfile;
class Transport;

// Makes the transport present itself as the embedded browser does: the
// browser profile's cookies, as they come and go, and its user agent. A login
// done in the browser then serves the downloads, and the site sees one client.
// Lives as long as the transport it feeds (make it the transport's child).
class CookieMirror : public QObject {
    Q_OBJECT
public:
    CookieMirror(BrowserProfile& profile, Transport& transport);
};
