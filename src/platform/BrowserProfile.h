#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QObject>
#include <QString>

class QWebEngineProfile;

// The one browser profile of the program, shared by every embedded browser:
// its disk HTTP cache (read by the cache viewer), its persistent cookies and
// its user-agent string. Created on first use; lives until the program ends.
//
// The cookie store is mirrored: every cookie the browsers receive or drop is
// announced by cookieAdded/cookieRemoved, and cookies() holds the current set,
// so the HTTP transport can present the same site cookies as the browsers (a
// login done in a browser then serves the downloads).
class BrowserProfile : public QObject {
    Q_OBJECT
public:
    // The program's profile, created on first call (needs a QApplication).
    static BrowserProfile& shared();
    // The program's profile when it has been created, else null (never creates it).
    static BrowserProfile* existing();
    // Folder under which the profile keeps its storage and cache; takes effect
    // only before the first shared() call. Tests point it at a temporary folder.
    // Default: the program's data location + "/browser".
    static void setStorageRoot(const QString& folder);
    static QString storageRoot();
    // Whether setStorageRoot() named a folder.
    static bool hasStorageRoot();

    QWebEngineProfile* profile() const { return m_profile; }
    QString userAgent() const;
    // The folder of the HTTP disk cache (entries in its Cache/Cache_Data/).
    QString cachePath() const;
    QString persistentStoragePath() const;
    void clearHttpCache();

    // The cookies the browsers hold now, as far as they have been reported.
    QList<QNetworkCookie> cookies() const { return m_cookies; }

    // Pages created on this profile and not yet destroyed; the profile is only
    // released at exit when none is left.
    static int livePages();
    static void pageCreated();
    static void pageDestroyed();

signals:
    void cookieAdded(const QNetworkCookie& cookie);
    void cookieRemoved(const QNetworkCookie& cookie);

private:
    explicit BrowserProfile(QObject* parent = nullptr);
    ~BrowserProfile() override;
    static void releaseShared();
    void onCookieAdded(const QNetworkCookie& cookie);
    void onCookieRemoved(const QNetworkCookie& cookie);

    QWebEngineProfile* m_profile = nullptr;
    QList<QNetworkCookie> m_cookies;
};
