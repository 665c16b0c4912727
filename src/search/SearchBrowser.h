#pragma once

#include <QString>
#include <QWidget>

class QWebEngineView;
class SearchBrowserPage;

// The search window's embedded browser: one QWebEngineView with the
// operations and events the window uses. A page that asks for a new window
// has the address opened in this same browser (newWindowRequested reports it
// first); a page's window.close() is refused; silent mode suppresses the
// page's script dialogs.
class SearchBrowser : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScriptTimeoutMs = 15000;

    explicit SearchBrowser(QWidget* parent = nullptr);
    ~SearchBrowser() override;

    void navigate(const QString& address);
    bool goBack();
    bool goForward();
    bool busy() const { return m_busy; }
    bool hasDocument() const;
    QString address() const;
    QString title() const;

    void setSilent(bool silent);
    bool silent() const;

    // The outer markup of the document's root element; empty without a
    // document. Waits (processing events) for the page to answer.
    QString outerHtml(int timeoutMs = kScriptTimeoutMs);

    QWebEngineView* view() const { return m_view; }

signals:
    void navigationStarting(const QString& address);
    void statusTextChanged(const QString& text);
    void titleChanged(const QString& title);
    // The top-level document finished loading (frames do not count).
    void documentComplete(bool ok);
    // The page asked for a new window at this address; the browser opens the
    // address itself right after this signal.
    void newWindowRequested(const QString& address);

private:
    QWebEngineView* m_view;
    SearchBrowserPage* m_page;
    bool m_busy = false;
};
