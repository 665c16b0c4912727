#pragma once

#include "platform/DocumentSnapshot.h"

#include <QString>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWidget>

class QWebEngineNewWindowRequest;
class QWebEngineView;

// The page behind a Browser: keeps page scripts from opening dialogs while
// the browser is silent, and reports top-level navigations before they start.
// Page console messages are dropped (the program writes no console output).
class BrowserPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit BrowserPage(QWebEngineProfile* profile, QObject* parent = nullptr);
    ~BrowserPage() override;

    bool silent = false;

signals:
    void mainFrameNavigation(const QUrl& url);
    void scriptDialogSuppressed(const QString& message);

protected:
    // No page ever gets a window of its own (see Browser::newWindowRequested).
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptConfirm(const QUrl& securityOrigin, const QString& msg) override;
    bool javaScriptPrompt(const QUrl& securityOrigin, const QString& msg,
                          const QString& defaultValue, QString* result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

// The embedded web browser of the windows: a QWebEngineView on the program's
// one browser profile (BrowserProfile), with the operations and events the
// search window and the login panel use.
//
// - A page that opens a new window (a link with a target, window.open) has
//   the new address opened in this same browser; newWindowRequested reports it
//   first so the window can record it. A new window for an empty address or
//   "about:blank" is swallowed: the page shown stays.
// - A page's window.close() is refused: the browser stays (closeRefused).
// - Silent mode keeps page scripts from showing alert, confirm and prompt
//   dialogs (confirm and prompt then answer "cancel").
//
// The document is read through scripts in the application's isolated world
// (snapshot(), outerHtml(), click(), setInputValue()). Each waits on events
// for the result (handlers may run meanwhile) and ends after timeoutMs; a
// missing document, a failing script, a timeout or the browser being
// destroyed during the wait give the empty result, and snapshot() also gives
// it for a document still loading.
class Browser : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScriptTimeoutMs = 15000;

    explicit Browser(QWidget* parent = nullptr);
    ~Browser() override;

    // Opens an address as typed by a person: "https://...", "file:///...", a
    // local file path, "about:blank". Empty text does nothing.
    void navigate(const QString& address);
    void navigate(const QUrl& url);
    // Back and forward in the history; false (and nothing happens) when the
    // history has no page in that direction.
    bool goBack();
    bool goForward();
    void reload();
    void stop();

    // True from a navigation's start (from navigate() on) until its top-level
    // document completes. A jump within the page shown is not busy.
    bool busy() const { return m_busy; }
    // True once the browser has been sent anywhere (about:blank included).
    bool hasDocument() const;
    // The current document's address ("" when there is none).
    QString address() const;
    QString title() const;
    // The link under the mouse pointer, as the status text of a browser.
    QString statusText() const { return m_statusText; }

    void setSilent(bool silent);
    bool silent() const;

    // The outer markup of the document's root element; "" without document.
    QString outerHtml(int timeoutMs = kScriptTimeoutMs);
    // The elements of the shown document (see DocumentSnapshot).
    DocumentSnapshot snapshot(int timeoutMs = kScriptTimeoutMs);
    // Clicks the element at a snapshot index. With expectedTag the element
    // must still carry that tag (the document may have changed since the
    // snapshot). True when the element was found and clicked.
    bool click(int index, const QString& expectedTag = QString(), int timeoutMs = kScriptTimeoutMs);
    // Sets the value of the input at a snapshot index, and tells the page
    // (input and change events) as typing would. True when it was set.
    bool setInputValue(int index, const QString& value, const QString& expectedTag = QString(),
                       int timeoutMs = kScriptTimeoutMs);
    // The inner text of the element at a snapshot index, for elements whose
    // text the snapshot leaves out; "" when it is not there (or not expectedTag).
    QString innerText(int index, const QString& expectedTag = QString(),
                      int timeoutMs = kScriptTimeoutMs);
    // Runs a script in the isolated world and waits for its result; an
    // invalid QVariant when it failed (ok, when given, says whether a result came).
    QVariant evaluate(const QString& script, int timeoutMs = kScriptTimeoutMs, bool* ok = nullptr);

    QWebEngineView* view() const { return m_view; }
    BrowserPage* page() const { return m_page; }

signals:
    // A top-level navigation is about to start (links, forms, scripts, history).
    void navigationStarting(const QString& address);
    void loadStarted();
    // The top-level document completed (frames of a page do not count); ok is
    // false when the page failed and the engine's error page is shown.
    void documentComplete(bool ok);
    void titleChanged(const QString& title);
    void addressChanged(const QString& address);
    void statusTextChanged(const QString& text);
    // A page asked for a new window at address; the browser opens the address
    // itself right after this signal.
    void newWindowRequested(const QString& address);
    void closeRefused();
    void scriptDialogSuppressed(const QString& message);

private:
    void onNewWindow(QWebEngineNewWindowRequest& request);
    // Runs body with `el` bound to the element at index and `args` to
    // [index, expectedTag, ...args]; body's return value is the result, an
    // invalid QVariant when the element is gone or has another tag.
    QVariant runOnElement(int index, const QString& expectedTag, const QString& body,
                          const QVariantList& args, int timeoutMs);

    QWebEngineView* m_view = nullptr;
    BrowserPage* m_page = nullptr;
    QString m_statusText;
    bool m_busy = false;
    // Ends the busy state of a navigate() whose load never started.
    QTimer m_startWatch;
    static constexpr int kLoadStartMs = 5000;
};
