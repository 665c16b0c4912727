#include "search/SearchBrowser.h"

#include "platform/Wait.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <functional>

// The page of the embedded browser: reports top-level navigations, turns new
// windows into reports, and keeps script dialogs quiet in silent mode.
class SearchBrowserPage : public QWebEnginePage {
public:
    SearchBrowserPage(QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent) {}

    std::function<void(const QString&)> onNavigate;
    std::function<void(const QString&)> onNewWindow;
    bool silent = false;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (isMainFrame && onNavigate)
            onNavigate(url.toString());
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    QWebEnginePage* createWindow(WebWindowType type) override;

    void javaScriptAlert(const QUrl& origin, const QString& msg) override {
        if (!silent)
            QWebEnginePage::javaScriptAlert(origin, msg);
    }
    bool javaScriptConfirm(const QUrl& origin, const QString& msg) override {
        return silent ? false : QWebEnginePage::javaScriptConfirm(origin, msg);
    }
    bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& defaultValue,
                          QString* result) override {
        return silent ? false : QWebEnginePage::javaScriptPrompt(origin, msg, defaultValue, result);
    }
};

namespace {
// Stands in for a new window just long enough to learn where it would go.
class NewWindowCatcher : public QWebEnginePage {
public:
    NewWindowCatcher(QWebEngineProfile* profile, std::function<void(const QString&)> report)
        : QWebEnginePage(profile), m_report(std::move(report)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        if (isMainFrame && !m_done) {
            m_done = true;
            const QString address = url.toString();
            // Reported after this call returns: the catcher goes away then.
            QMetaObject::invokeMethod(
                this,
                [this, address] {
                    if (m_report)
                        m_report(address);
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void(const QString&)> m_report;
    bool m_done = false;
};
} // namespace

QWebEnginePage* SearchBrowserPage::createWindow(WebWindowType) {
    return new NewWindowCatcher(profile(), onNewWindow);
}

SearchBrowser::SearchBrowser(QWidget* parentWidget) : QObject(parentWidget) {
    m_view = new QWebEngineView(parentWidget);
    m_view->setObjectName(QStringLiteral("WebBrowser1"));
    m_page = new SearchBrowserPage(QWebEngineProfile::defaultProfile(), m_view);
    m_view->setPage(m_page);

    QPointer<SearchBrowser> self(this);
    m_page->onNavigate = [self](const QString& address) {
        if (self)
            emit self->beforeNavigate(address);
    };
    m_page->onNewWindow = [self](const QString& address) {
        if (self)
            emit self->newWindow(address);
    };
    connect(m_page, &QWebEnginePage::linkHovered, this, &SearchBrowser::statusTextChanged);
    connect(m_page, &QWebEnginePage::titleChanged, this, &SearchBrowser::titleChanged);
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_busy = true; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_busy = false;
        emit documentComplete(ok);
    });
    // windowCloseRequested is deliberately left unconnected: the view stays.
}

SearchBrowser::~SearchBrowser() = default;

QWidget* SearchBrowser::widget() const {
    return m_view;
}

void SearchBrowser::navigate(const QString& address) {
    QUrl url = QUrl::fromUserInput(address);
    if (!url.isValid())
        url = QUrl(address);
    m_view->setUrl(url);
}

void SearchBrowser::back() {
    m_view->back();
}

void SearchBrowser::forward() {
    m_view->forward();
}

bool SearchBrowser::hasDocument() const {
    return !m_view->url().isEmpty();
}

QString SearchBrowser::address() const {
    return m_view->url().toString();
}

QString SearchBrowser::title() const {
    return m_view->title();
}

void SearchBrowser::setSilent(bool silent) {
    m_page->silent = silent;
}

bool SearchBrowser::isSilent() const {
    return m_page->silent;
}

QString SearchBrowser::outerHtml() {
    if (!hasDocument())
        return {};
    bool done = false;
    QString html;
    auto alive = std::make_shared<bool>(true);
    m_page->runJavaScript(
        QStringLiteral("document.documentElement ? document.documentElement.outerHTML : ''"),
        QWebEngineScript::ApplicationWorld, [&done, &html, alive](const QVariant& result) {
            if (!*alive)
                return;
            html = result.toString();
            done = true;
        });
    QPointer<QWebEngineView> view(m_view);
    // A page that never answers (renderer gone) must not hang the window.
    QElapsedTimer waited;
    waited.start();
    Wait::until([&] { return done || !view || waited.elapsed() > 10000; });
    *alive = false;
    return html;
}
