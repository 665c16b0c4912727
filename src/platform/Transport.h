#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>
#include <utility>

class Clock;
class QIODevice;
class QNetworkAccessManager;
class Transport;
class TransportCookieJar;

// The proxy of the options: used when enabled is true, as an HTTP proxy at
// address:port. An enabled proxy without an address or with a port that is not
// a number from 1 to 65535 is unusable; a request made with it fails at once
// (sending it directly instead would bypass a proxy the user relies on).
struct ProxySettings {
    bool enabled = false;
    QString address;
    QString port;

    // The options keep the switch as a number; 1 means on.
    static ProxySettings fromOptions(int proxyEnabled, const QString& address, const QString& port);
    // The proxy a request goes through: the application default when disabled
    // (Transport then uses the system's proxy configuration instead), the HTTP
    // proxy when enabled and usable, nothing when enabled but unusable.
    std::optional<QNetworkProxy> networkProxy() const;
};

// What a request carries besides its address.
struct RequestOptions {
    // Extra request headers, sent in this order. A User-Agent here replaces the
    // transport's own.
    QList<std::pair<QByteArray, QByteArray>> headers;
    ProxySettings proxy;

    // Adds the headers of a header text: "Name: value" lines separated by CR LF
    // (or LF); lines without a colon are ignored.
    void addHeaderText(const QString& text);
};

// One HTTP GET in progress, the way a transfer sees it: execute, wait for the
// header block, read the body chunk by chunk (or let it stream into a device),
// cancel. One object per transfer; it may be reused for the next request.
//
// Everything runs on the thread that owns the transport; the waits below run a
// local event loop, so other handlers run meanwhile. Destroying the object from
// such a handler is safe: the wait returns at once with nothing.
class TransferRequest : public QObject {
    Q_OBJECT
public:
    // The connection states, numbered as the transfer control's state events.
    enum State {
        NoState = 0,
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Failed = 11,
        ResponseCompleted = 12,
    };
    Q_ENUM(State)

    explicit TransferRequest(Transport& transport, QObject* parent = nullptr);
    ~TransferRequest() override;

    // Starts a GET of address without waiting. A request still open is
    // cancelled first. An address that is not an http(s) URL, or an unusable
    // proxy, ends the request at once as failed (finished() is emitted).
    void execute(const QString& address, const RequestOptions& options = {});
    // Like execute, but every byte of the body is written to sink as it arrives
    // (sink must be open for writing and outlive the request). readChunk() then
    // returns nothing. A failed write cancels the request as failed.
    void executeToDevice(const QString& address, QIODevice* sink,
                         const RequestOptions& options = {});

    // True from execute() until the response headers are in hand or the
    // request has ended: what a caller waits on before reading the headers.
    bool stillExecuting() const;
    // True while a request is open: headers pending, body still arriving, or
    // body bytes not yet read.
    bool isActive() const;
    bool headersReceived() const { return m_headersReceived; }

    // Waits on events until the headers arrived, the request ended, or
    // giveUp() returns true (checked on every event from the request, when the
    // program clock is moved, and every pollMs). Returns headersReceived().
    bool waitForHeaders(const std::function<bool()>& giveUp = {}, int pollMs = 100);

    // The response header block: a status line such as "HTTP/1.1 200 OK" (the
    // standard reason phrase when the server sent none), then each header as
    // "Name: value"; lines separated by CR LF. Bytes are taken as Latin-1, so
    // toLatin1() gives the server's bytes back. Empty when no response arrived.
    QString headerBlock() const;
    // The value of one header (name case ignored), empty when absent. Repeated
    // headers come joined by ", ".
    QString header(const QByteArray& name) const;
    QByteArray rawHeader(const QByteArray& name) const;
    int statusCode() const;
    QString reasonPhrase() const;
    // The announced body length; -1 when the response has none.
    qint64 contentLength() const;

    // Reads up to maxBytes of the body. When nothing is buffered yet it waits on
    // events until at least one byte arrived, the body ended, or giveUp()
    // returns true (checked as in waitForHeaders). An empty result therefore
    // means the body ended, the request is not open, or the caller gave up;
    // bodyEnded() tells them apart.
    QByteArray readChunk(qint64 maxBytes = 2048, const std::function<bool()>& giveUp = {},
                         int pollMs = 100);
    // Like readChunk, but the bytes go straight into sink through one buffer
    // the request keeps while its body arrives, so a large body costs no
    // allocation per piece. Returns the bytes written; 0 where readChunk
    // returns nothing; -1 when sink did not take them all (they are lost).
    qint64 readInto(QIODevice& sink, qint64 maxBytes, const std::function<bool()>& giveUp = {},
                    int pollMs = 100);

    // The request is over and every body byte has been read (or streamed).
    bool bodyEnded() const;
    // The request ended without error and, when a length was announced, every
    // announced byte arrived.
    bool bodyComplete() const;
    // The request ended before the body was whole: the connection closed before
    // the announced length, or a transfer error after the headers.
    bool endedEarly() const;
    bool isFinished() const { return m_finished; }
    bool wasCancelled() const { return m_cancelled; }

    // Body bytes received from the network so far (read or not).
    qint64 bytesReceived() const { return m_received; }
    // Body bytes received but not yet read by the caller.
    qint64 bufferedBytes() const;
    // Body bytes written to the sink of executeToDevice().
    qint64 bytesWritten() const { return m_written; }

    QNetworkReply::NetworkError error() const { return m_error; }
    // What the TLS handshake found wrong with the server's certificate
    // (untrusted issuer, wrong host, expired, ...); empty when nothing was.
    QList<QSslError> sslErrors() const { return m_sslErrors; }
    QString errorString() const { return m_errorString; }
    State state() const { return m_state; }
    QUrl url() const { return m_url; }
    // The address the body came from, after redirects.
    QUrl finalUrl() const;

    // Ends the request at once; buffered bytes are dropped. Safe to call when
    // nothing is open.
    void cancel();

signals:
    void stateChanged(int state);
    // The response headers are in hand (after redirects).
    void headersArrived();
    // Body bytes received from the network and the announced total (-1 when unknown).
    void progress(qint64 received, qint64 total);
    // The request is over: complete, failed or cancelled.
    void finished();
    // Something changed that a wait may be waiting for.
    void changed();

private:
    void start(const QString& address, QIODevice* sink, const RequestOptions& options);
    void send(const QUrl& url);
    bool headerBlockDropped() const;
    void failHeaderBlock(bool abort = true);
    QUrl redirectTarget(QNetworkReply::NetworkError* error, QString* why) const;
    void fail(QNetworkReply::NetworkError error, const QString& text);
    void setState(State state);
    void dropReply();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void drainToSink();
    // Waits, when nothing is buffered, as readChunk does; false when there is
    // nothing to read (the request is gone, over or cancelled).
    bool awaitBody(const std::function<bool()>& giveUp, int pollMs);
    // Moves up to maxBytes the reply holds into sink through m_slice: the
    // bytes moved, 0 when none, -1 when sink did not take them all.
    qint64 moveFromReply(QIODevice& sink, qint64 maxBytes);
    void clearPending();
    qint64 pendingBytes() const { return m_pending.size() - m_pendingPos; }
    bool wait(const std::function<bool()>& ready, const std::function<bool()>& giveUp, int pollMs);

    // A running reply that may be aborted without Qt reporting a second error.
    static bool abortable(const QNetworkReply& reply);

    Transport& m_transport;
    QPointer<QNetworkReply> m_reply;
    QPointer<QIODevice> m_sink;
    RequestOptions m_options;
    int m_redirects = 0;
    bool m_redirectPending = false;
    bool m_headerBlockFailed = false;
    QUrl m_url;
    State m_state = NoState;
    bool m_headersReceived = false;
    bool m_finished = false;
    bool m_cancelled = false;
    qint64 m_received = 0;
    qint64 m_written = 0;
    bool m_sinkFailed = false;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    QString m_errorString;
    QList<QSslError> m_sslErrors;
    quint64 m_generation = 0;
    // Body bytes taken from the reply and not yet handed out by readChunk.
    QByteArray m_pending;
    qsizetype m_pendingPos = 0;
    // The buffer every piece of a streamed body passes through, made once per
    // body and released when the request ends.
    QByteArray m_slice;
};

// The outcome of a whole-body fetch.
struct FetchResult {
    QByteArray body;
    int statusCode = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QString errorString;
    // Ended without error and with every announced byte.
    bool complete = false;
};

// The program's HTTP(S) client: one QNetworkAccessManager, its cookie jar, the
// trusted certificates and the User-Agent every transfer sends.
//
// Redirects are followed, at most 10, never from HTTPS to HTTP. Certificates
// are verified; an error fails the request and is never ignored. Bodies come
// as sent (no content coding is asked for), so Content-Length counts the bytes
// a caller reads. Each reply buffers at most readBufferSize() bytes that the
// caller has not read, so memory does not grow with the size of a file
// (requests use HTTP/1.1, where Qt's replies honour that limit).
//
// What Qt 6.4 does on its own, and the tests hold it to: a request whose
// kept-alive connection closes before an answer's status line arrived is sent
// once more on a new connection. A header block over Qt's limits (more than
// 100 fields, or one over 100 KB) loses all its headers; TransferRequest fails
// such an answer. A header block that never ends gives no sign before the
// headers: over HTTP Qt stops reading it after about 128 KB, over HTTPS Qt's
// TLS layer keeps buffering what arrives, so the caller's limit on the wait
// for the response is what ends it (and releases the connection).
class Transport : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxRedirects = 10;
    // Bytes a reply may hold before the network stops reading. The kernel's
    // socket buffer holds more behind it, so this only has to bridge a short
    // pause of the user-interface thread; Qt's network thread reads ahead by
    // several times this much, so it is what six workers' memory grows with.
    static constexpr qint64 DefaultReadBufferSize = 512 * 1024;
    // The longest a whole fetch waits without receiving a byte (on the program
    // clock) when its caller gives no limit of its own.
    static constexpr double DefaultFetchStallSeconds = 120;

    explicit Transport(Clock& clock, QObject* parent = nullptr);
    ~Transport() override;

    QNetworkAccessManager& manager() { return *m_manager; }
    TransportCookieJar& cookieJar() { return *m_cookies; }
    Clock& clock() const { return m_clock; }

    QString userAgent() const { return m_userAgent; }
    void setUserAgent(const QString& userAgent);
    static QString defaultUserAgent();

    qint64 readBufferSize() const { return m_readBufferSize; }
    void setReadBufferSize(qint64 bytes);

    // Adds certificate authorities trusted besides the system's (the tests'
    // own authority). Certificate errors still fail requests.
    void addCaCertificates(const QList<QSslCertificate>& certificates);
    QSslConfiguration sslConfiguration() const { return m_ssl; }

    // Fetches a whole address as bytes, waiting on events. Gives up when
    // giveUp() returns true, or, without giveUp, when no byte arrived for
    // DefaultFetchStallSeconds on the program clock; fails when the body grows
    // past maxBytes (when maxBytes >= 0). On failure the body is empty.
    FetchResult fetch(const QString& address, const RequestOptions& options = {},
                      const std::function<bool()>& giveUp = {}, qint64 maxBytes = -1);
    // The body of a successful fetch, or empty.
    QByteArray fetchWhole(const QString& address, const RequestOptions& options = {},
                          const std::function<bool()>& giveUp = {}, qint64 maxBytes = -1);

    // The URL a request address means: http and https only, surrounding blanks
    // dropped; invalid otherwise.
    static QUrl requestUrl(const QString& address);
    // The standard reason phrase of an HTTP status code, empty when unknown.
    static QString standardReasonPhrase(int statusCode);

    // Starts a GET with this transport's settings; redirects are not followed
    // here (TransferRequest follows them). nullptr with *errorText set when the
    // proxy is unusable.
    QNetworkReply* get(const QUrl& url, const RequestOptions& options, QString* errorText);

private:
    Clock& m_clock;
    QNetworkAccessManager* m_manager = nullptr;
    TransportCookieJar* m_cookies = nullptr;
    QString m_userAgent;
    qint64 m_readBufferSize = DefaultReadBufferSize;
    QSslConfiguration m_ssl;
    QList<QPointer<QNetworkReply>> m_replies;
};
