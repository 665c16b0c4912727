#pragma once

#include <QObject>
#include <QString>

class QWidget;
class QWebEngineView;
class SearchBrowserPage;

// The search window's view of its embedded browser: the operations and events
// the window uses, on one QWebEngineView. New windows never open: the page's
// request is reported by newWindow() with its address and the window decides.
// A page's window.close() is refused.
class SearchBrowser : public QObject {
    Q_OBJECT
public:
    explicit SearchBrowser(QWidget* parentWidget);
    ~SearchBrowser() override;

    QWidget* widget() const;
    QWebEngineView* view() const { return m_view; }

    void navigate(const QString& address);
    void back();
    void forward();
    bool isBusy() const { return m_busy; }
    // Whether a document is shown, and its address.
    bool hasDocument() const;
    QString address() const;
    QString title() const;

    // Silent mode: the page's script dialogs (alert, confirm, prompt) are suppressed.
    void setSilent(bool silent);
    bool isSilent() const;

    // The outer markup of the document's root element; empty without a
    // document. Waits (processing events) for the page to answer.
    QString outerHtml();

signals:
    // A top-level navigation is about to start.
    void beforeNavigate(const QString& address);
    void statusTextChanged(const QString& text);
    void titleChanged(const QString& title);
    // The top-level document finished loading (frames do not count).
    void documentComplete(bool ok);
    // The page asked for a new window showing this address; none was opened.
    void newWindow(const QString& address);

private:
    QWebEngineView* m_view;
    SearchBrowserPage* m_page;
    bool m_busy = false;
};
