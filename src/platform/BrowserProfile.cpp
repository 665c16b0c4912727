#include "platform/BrowserProfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace {

// The profile is a service of the browser engine with the lifetime of the
// process, like the engine itself; it cannot belong to any one window.
BrowserProfile* g_shared = nullptr;
QString g_storageRoot;
int g_livePages = 0;

bool sameCookie(const QNetworkCookie& a, const QNetworkCookie& b) {
    return a.name() == b.name() && a.domain() == b.domain() && a.path() == b.path();
}

} // namespace

BrowserProfile& BrowserProfile::shared() {
    if (!g_shared) {
        g_shared = new BrowserProfile;
        // Registered after the engine's own clean-up, so it runs before it:
        // the profile must go before the engine does.
        qAddPostRoutine(&BrowserProfile::releaseShared);
    }
    return *g_shared;
}

BrowserProfile* BrowserProfile::existing() {
    return g_shared;
}

void BrowserProfile::releaseShared() {
    BrowserProfile* profile = g_shared;
    g_shared = nullptr;
    // A page that outlives its profile crashes the engine; with pages still
    // around (windows never destroyed) the profile is left to the process end.
    if (profile && g_livePages == 0)
        delete profile;
}

int BrowserProfile::livePages() {
    return g_livePages;
}

void BrowserProfile::pageCreated() {
    ++g_livePages;
}

void BrowserProfile::pageDestroyed() {
    --g_livePages;
}

void BrowserProfile::setStorageRoot(const QString& folder) {
    g_storageRoot = folder;
}

bool BrowserProfile::hasStorageRoot() {
    return !g_storageRoot.isEmpty();
}

QString BrowserProfile::storageRoot() {
    if (!g_storageRoot.isEmpty())
        return g_storageRoot;
    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data) + QStringLiteral("/Varnelle/browser");
}

BrowserProfile::BrowserProfile(QObject* parent) : QObject(parent) {
    const QString root = storageRoot();
    QDir().mkpath(root);
    m_profile = new QWebEngineProfile(QStringLiteral("Varnelle"), this);
    m_profile->setPersistentStoragePath(root + QStringLiteral("/storage"));
    m_profile->setCachePath(root + QStringLiteral("/cache"));
    m_profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);

    QWebEngineCookieStore* store = m_profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, &BrowserProfile::onCookieAdded);
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, &BrowserProfile::onCookieRemoved);
    // Cookies kept on disk from earlier runs are announced too.
    store->loadAllCookies();
}

BrowserProfile::~BrowserProfile() = default;

QString BrowserProfile::userAgent() const {
    return m_profile->httpUserAgent();
}

QString BrowserProfile::cachePath() const {
    return m_profile->cachePath();
}

QString BrowserProfile::persistentStoragePath() const {
    return m_profile->persistentStoragePath();
}

void BrowserProfile::clearHttpCache() {
    m_profile->clearHttpCache();
}

void BrowserProfile::onCookieAdded(const QNetworkCookie& cookie) {
    for (QNetworkCookie& known : m_cookies) {
        if (sameCookie(known, cookie)) {
            known = cookie;
            emit cookieAdded(cookie);
            return;
        }
    }
    m_cookies.append(cookie);
    emit cookieAdded(cookie);
}

void BrowserProfile::onCookieRemoved(const QNetworkCookie& cookie) {
    for (qsizetype i = 0; i < m_cookies.size(); ++i) {
        if (sameCookie(m_cookies.at(i), cookie)) {
            m_cookies.removeAt(i);
            break;
        }
    }
    emit cookieRemoved(cookie);
}
