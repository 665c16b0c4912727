#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <utility>

class QNetworkReply;
class QTimer;
class Transport;

// The Chinese description of an HTTP status code that hosts show with a
// failure; the empty text for a code the table lacks (transport failures
// report code 0).
QString HttpStatusDescription(int code);

// Fetches one address in the background on the program's transport and tells
// its host by signals: OnDateArrived once the answer is complete with status
// 200 (after the body was saved, when a save path was given), OnDateErr with
// the status description for any other complete answer, and with the empty
// text when no answer came (no connection, TLS error, proxy failure, a body
// cut short, or nothing received for StallSeconds on the program clock).
// While a request is pending, OnReadyStateChange arrives every 10 ms; hosts
// that animate progress rely on it.
//
// Call order: Open_, any number of SetRequestHeader, Send_, then wait for one
// of the two completion signals. One request at a time; a new Open_ drops the
// one still pending without an event.
class uXMLHTTP : public QObject {
    Q_OBJECT
public:
    // How long a pending request may go without receiving a byte.
    static constexpr double StallSeconds = 60;

    explicit uXMLHTTP(Transport& transport, QObject* parent = nullptr);
    ~uXMLHTTP() override;

    // Prepares a request: method (any case; sent in upper case), an http(s)
    // address, and optionally the file the body of a 200 answer is saved to.
    // False, with the previous request settings kept, when the method is empty
    // or the address is not http(s). DownOK is false afterwards either way.
    bool Open_(const QString& method, const QString& url, const QString& savePath = {});
    // Ignored unless a request is open and not yet sent.
    void SetRequestHeader(const QString& header, const QString& value);
    // Sends the opened request with the body (UTF-8); does nothing without a
    // successful Open_.
    void Send_(const QString& body = {});
    // Drops the pending request; no signal follows.
    void Abort_();

    bool DownOK() const { return m_downOK; }
    // 0 unsent or aborted, 1 opened or sent, 2 headers received, 3 body
    // arriving, 4 complete.
    qint32 ReadyState() const { return m_readyState; }
    qint32 Status() const { return m_status; }
    QString StatusText() const { return m_statusText; }
    QString GetResponseHeader(const QString& name) const;
    // "Name: value" lines separated by CR LF, as received.
    QString GetAllResponseHeaders() const;
    QByteArray ResponseBody() const { return m_body; }
    // The body decoded in the charset of its Content-Type, UTF-8 when none is
    // named (a byte order mark wins over both).
    QString ResponseText() const;

    QTimer* tmrReader;

signals:
    void OnDateArrived();
    void OnReadyStateChange();
    void OnDateErr(const QString& description);

private:
    void tick();
    void complete();
    void dropReply();
    // No status, headers or body: what a failed request leaves.
    void forgetAnswer();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void saveBody() const;

    Transport& m_transport;
    QPointer<QNetworkReply> m_reply;
    bool m_opened = false;
    bool m_sent = false;
    bool m_finished = false; // the reply ended; the next tick completes
    QString m_method;
    QUrl m_url;
    QString m_savePath;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    bool m_downOK = false;
    qint32 m_readyState = 0;
    qint32 m_status = 0;
    QString m_statusText;
    QList<std::pair<QByteArray, QByteArray>> m_responseHeaders;
    QByteArray m_body;
    qint64 m_lastActivityMs = 0;
};
