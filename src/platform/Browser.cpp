#include "platform/Browser.h"

#include "platform/BrowserProfile.h"
#include "platform/Wait.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEngineHistory>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <memory>

// ---------------------------------------------------------------- BrowserPage

BrowserPage::BrowserPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    BrowserProfile::pageCreated();
}

BrowserPage::~BrowserPage() {
    BrowserProfile::pageDestroyed();
}

QWebEnginePage* BrowserPage::createWindow(WebWindowType) {
    return nullptr;
}

void BrowserPage::javaScriptAlert(const QUrl& securityOrigin, const QString& msg) {
    if (silent) {
        emit scriptDialogSuppressed(msg);
        return;
    }
    QWebEnginePage::javaScriptAlert(securityOrigin, msg);
}

bool BrowserPage::javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) {
    if (silent) {
        emit scriptDialogSuppressed(msg);
        return false;
    }
    return QWebEnginePage::javaScriptConfirm(securityOrigin, msg);
}

bool BrowserPage::javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                                   const QString& defaultValue, QString* result) {
    if (silent) {
        emit scriptDialogSuppressed(msg);
        return false;
    }
    return QWebEnginePage::javaScriptPrompt(securityOrigin, msg, defaultValue, result);
}

void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                           const QString&) {}

bool BrowserPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (isMainFrame)
        emit mainFrameNavigation(url);
    return true;
}

// -------------------------------------------------------------------- Browser

Browser::Browser(QWidget* parent) : QWidget(parent) {
    m_page = new BrowserPage(BrowserProfile::shared().profile(), this);
    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_page, &BrowserPage::mainFrameNavigation, this,
            [this](const QUrl& url) { emit navigationStarting(url.toString()); });
    m_startWatch.setSingleShot(true);
    m_startWatch.setInterval(kLoadStartMs);
    connect(&m_startWatch, &QTimer::timeout, this, [this] { m_busy = false; });
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] {
        m_startWatch.stop();
        m_busy = true;
        emit loadStarted();
    });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_startWatch.stop();
        m_busy = false;
        emit documentComplete(ok);
    });
    connect(m_page, &QWebEnginePage::titleChanged, this, &Browser::titleChanged);
    connect(m_page, &QWebEnginePage::urlChanged, this,
            [this](const QUrl& url) { emit addressChanged(url.toString()); });
    connect(m_page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        m_statusText = url;
        emit statusTextChanged(url);
    });
    connect(m_page, &QWebEnginePage::newWindowRequested, this, &Browser::onNewWindow);
    // Nothing closes the view: a page's window.close() is only reported.
    connect(m_page, &QWebEnginePage::windowCloseRequested, this, &Browser::closeRefused);
    connect(m_page, &BrowserPage::scriptDialogSuppressed, this, &Browser::scriptDialogSuppressed);
}

Browser::~Browser() {
    // The view refers to the page; it goes first.
    delete m_view;
    m_view = nullptr;
    delete m_page;
    m_page = nullptr;
}

void Browser::navigate(const QString& address) {
    const QString text = address.trimmed();
    if (text.isEmpty())
        return;
    navigate(QUrl::fromUserInput(text));
}

void Browser::navigate(const QUrl& url) {
    if (!url.isValid())
        return;
    // Busy from the request on, so a wait started right after the call does
    // not end before the engine reports the start of the load. A jump to a
    // part of the page shown loads nothing and reports nothing, and a request
    // the engine drops unreported must not leave the browser busy for ever.
    const QUrl current = m_page->url();
    const bool samePage =
        url.hasFragment() && !current.isEmpty() &&
        url.adjusted(QUrl::RemoveFragment) == current.adjusted(QUrl::RemoveFragment);
    if (!samePage) {
        m_busy = true;
        m_startWatch.start();
    }
    m_page->load(url);
}

bool Browser::goBack() {
    if (!m_page->history()->canGoBack())
        return false;
    m_page->history()->back();
    return true;
}

bool Browser::goForward() {
    if (!m_page->history()->canGoForward())
        return false;
    m_page->history()->forward();
    return true;
}

void Browser::reload() {
    if (hasDocument())
        m_page->triggerAction(QWebEnginePage::Reload);
}

void Browser::stop() {
    m_page->triggerAction(QWebEnginePage::Stop);
}

bool Browser::hasDocument() const {
    return !m_page->url().isEmpty();
}

QString Browser::address() const {
    return m_page->url().toString();
}

QString Browser::title() const {
    return m_page->title();
}

void Browser::setSilent(bool silent) {
    m_page->silent = silent;
}

bool Browser::silent() const {
    return m_page->silent;
}

void Browser::onNewWindow(QWebEngineNewWindowRequest& request) {
    // The request is left unanswered, so the engine opens no window; the
    // address goes to this browser instead.
    const QUrl url = request.requestedUrl();
    const QString text = url.toString().trimmed();
    if (text.isEmpty() || text.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0)
        return;
    QPointer<Browser> self(this);
    emit newWindowRequested(text);
    if (self)
        navigate(url);
}

QVariant Browser::evaluate(const QString& script, int timeoutMs, bool* ok) {
    if (ok)
        *ok = false;
    if (!hasDocument())
        return {};
    struct Result {
        bool done = false;
        QVariant value;
    };
    // Shared with the callback: it may come after this wait has given up.
    auto result = std::make_shared<Result>();
    QPointer<Browser> self(this);
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [result](const QVariant& value) {
                              result->value = value;
                              result->done = true;
                          });
    QElapsedTimer elapsed;
    elapsed.start();
    Wait::until([&] { return result->done || !self || elapsed.elapsed() >= timeoutMs; }, 5);
    if (!result->done)
        return {};
    if (ok)
        *ok = true;
    return result->value;
}

QString Browser::outerHtml(int timeoutMs) {
    const QVariant v =
        evaluate(QStringLiteral("(function () { try { var r = document.documentElement;"
                                " return r ? r.outerHTML : ''; } catch (e) { return ''; } })()"),
                 timeoutMs);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

DocumentSnapshot Browser::snapshot(int timeoutMs) {
    const QVariant v = evaluate(DocumentSnapshot::readScript(), timeoutMs);
    if (v.typeId() != QMetaType::QString)
        return {};
    DocumentSnapshot snapshot = DocumentSnapshot::parse(v.toString());
    // The same form of address as address() gives.
    if (snapshot.present)
        snapshot.url = QUrl(snapshot.url).toString();
    return snapshot;
}

QVariant Browser::runOnElement(int index, const QString& expectedTag, const QString& body,
                               const QVariantList& args, int timeoutMs) {
    if (index < 0)
        return {};
    const QByteArray argsJson =
        QJsonDocument(QJsonArray::fromVariantList(QVariantList{index, expectedTag} + args))
            .toJson(QJsonDocument::Compact);
    const QString script = QStringLiteral("(function (args) { try {"
                                          " var el = document.getElementsByTagName('*')[args[0]];"
                                          " if (!el) return null;"
                                          " if (args[1] && String(el.tagName).toUpperCase() !== "
                                          "String(args[1]).toUpperCase()) return null;"
                                          " %1 } catch (e) { return null; } })(%2)")
                               .arg(body, QString::fromUtf8(argsJson));
    return evaluate(script, timeoutMs);
}

bool Browser::click(int index, const QString& expectedTag, int timeoutMs) {
    const QVariant v =
        runOnElement(index, expectedTag, QStringLiteral("el.click(); return true;"), {}, timeoutMs);
    return v.typeId() == QMetaType::Bool && v.toBool();
}

bool Browser::setInputValue(int index, const QString& value, const QString& expectedTag,
                            int timeoutMs) {
    const QVariant v =
        runOnElement(index, expectedTag,
                     QStringLiteral("el.value = args[2];"
                                    " el.dispatchEvent(new Event('input', { bubbles: true }));"
                                    " el.dispatchEvent(new Event('change', { bubbles: true }));"
                                    " return true;"),
                     {value}, timeoutMs);
    return v.typeId() == QMetaType::Bool && v.toBool();
}

QString Browser::innerText(int index, const QString& expectedTag, int timeoutMs) {
    const QVariant v = runOnElement(
        index, expectedTag,
        QStringLiteral(
            "var t = el.innerText; return typeof t === 'string' ? t : (el.textContent || '');"),
        {}, timeoutMs);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}
