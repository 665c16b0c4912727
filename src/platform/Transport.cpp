#include "platform/Transport.h"

#include "platform/Clock.h"
#include "platform/TransportCookieJar.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QIODevice>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <QSslSocket>
#include <QTimer>

namespace {

// A streamed body goes to its file in pieces of up to this size, through one
// buffer per request: no allocation per piece. Larger pieces save nothing
// measurable, and six workers' buffers count in mode two's peak memory.
constexpr qint64 SinkSlice = 64 * 1024;
constexpr qint64 FetchSlice = 256 * 1024;
constexpr qint64 ReadSlice = 64 * 1024;

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Errors Qt derives from the HTTP status of a response that otherwise arrived
// whole: the body of such an answer (an error page) is a complete body.
bool isStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || code == QNetworkReply::ProtocolInvalidOperationError ||
           (code >= 401 && code <= 499);
}

bool hasHeader(const QList<std::pair<QByteArray, QByteArray>>& headers, const QByteArray& name) {
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The proxy the system's configuration names for a request made without the
// options' proxy (the http_proxy/https_proxy/no_proxy variables, or the
// desktop's settings), as a browser on this machine would use. Loopback
// addresses never go through one, as in Qt's own use of that configuration.
QNetworkProxy systemProxyFor(const QUrl& url) {
    const QString host = url.host();
    QHostAddress address;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        (address.setAddress(host) && address.isLoopback()))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QList<QNetworkProxy> found =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy& proxy : found) {
        if (proxy.type() == QNetworkProxy::HttpProxy || proxy.type() == QNetworkProxy::Socks5Proxy)
            return proxy;
        if (proxy.type() == QNetworkProxy::NoProxy)
            break;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

} // namespace

// ---------------------------------------------------------------------------
// ProxySettings / RequestOptions

ProxySettings ProxySettings::fromOptions(int proxyEnabled, const QString& address,
                                         const QString& port) {
    return ProxySettings{proxyEnabled == 1, address, port};
}

std::optional<QNetworkProxy> ProxySettings::networkProxy() const {
    if (!enabled)
        return QNetworkProxy(QNetworkProxy::DefaultProxy);
    QString host = address.trimmed();
    // Accept "http://host" and "host/" as people type them.
    if (host.contains(QStringLiteral("://")))
        host = QUrl(host).host();
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    bool ok = false;
    const int number = port.trimmed().toInt(&ok);
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || !ok || number < 1 || number > 65535)
        return std::nullopt;
    return QNetworkProxy(QNetworkProxy::HttpProxy, host, static_cast<quint16>(number));
}

void RequestOptions::addHeaderText(const QString& text) {
    const QStringList lines = QString(text).replace(QLatin1Char('\r'), QString()).split('\n');
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLatin1();
        if (name.isEmpty())
            continue;
        headers.append({name, line.mid(colon + 1).trimmed().toUtf8()});
    }
}

// ---------------------------------------------------------------------------
// TransferRequest

TransferRequest::TransferRequest(Transport& transport, QObject* parent)
    : QObject(parent), m_transport(transport) {}

TransferRequest::~TransferRequest() {
    dropReply();
}

void TransferRequest::execute(const QString& address, const RequestOptions& options) {
    start(address, nullptr, options);
}

void TransferRequest::executeToDevice(const QString& address, QIODevice* sink,
                                      const RequestOptions& options) {
    start(address, sink, options);
}

void TransferRequest::start(const QString& address, QIODevice* sink,
                            const RequestOptions& options) {
    dropReply();
    ++m_generation;
    m_sink = sink;
    m_options = options;
    m_redirects = 0;
    m_redirectPending = false;
    m_headerBlockFailed = false;
    m_state = NoState;
    m_headersReceived = false;
    m_finished = false;
    m_cancelled = false;
    m_received = 0;
    m_written = 0;
    m_sinkFailed = false;
    m_error = QNetworkReply::NoError;
    m_errorString.clear();
    m_sslErrors.clear();
    m_url = Transport::requestUrl(address);
    setState(Connecting);

    if (!m_url.isValid()) {
        fail(QNetworkReply::ProtocolUnknownError,
             QStringLiteral("Not an http or https address: %1").arg(address));
        return;
    }
    if (sink && !sink->isWritable()) {
        fail(QNetworkReply::UnknownContentError, QStringLiteral("The target cannot be written"));
        return;
    }
    send(m_url);
}

void TransferRequest::send(const QUrl& url) {
    QString errorText;
    QNetworkReply* reply = m_transport.get(url, m_options, &errorText);
    if (!reply) {
        fail(QNetworkReply::ProxyNotFoundError, errorText);
        return;
    }
    // The request owns its reply, so a transfer that is dropped takes its
    // connection with it.
    reply->setParent(this);
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &TransferRequest::onMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &TransferRequest::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &TransferRequest::onFinished);
    connect(reply, &QNetworkReply::requestSent, this, [this] { setState(RequestSent); });
    // Errors are never ignored, so any of these ends the request; they tell
    // a certificate the system does not trust from other failed handshakes.
    connect(reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError>& errors) { m_sslErrors += errors; });
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        if (m_redirectPending)
            return;
        m_received = qMax(m_received, received);
        emit progress(m_received, total);
        emit changed();
    });
}

// Redirects are followed here rather than by the manager, whose followed
// replies can carry the redirect's headers joined to the final ones (two
// Content-Length values in one).
QUrl TransferRequest::redirectTarget(QNetworkReply::NetworkError* error, QString* why) const {
    const QUrl next = m_reply->url().resolved(QUrl::fromEncoded(m_reply->rawHeader("Location")));
    const QString scheme = next.scheme().toLower();
    if (!next.isValid() || next.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        *error = QNetworkReply::ProtocolUnknownError;
        *why = QStringLiteral("Redirected to an unusable address");
        return {};
    }
    if (m_redirects >= Transport::MaxRedirects) {
        *error = QNetworkReply::TooManyRedirectsError;
        *why = QStringLiteral("More than %1 redirects").arg(Transport::MaxRedirects);
        return {};
    }
    if (m_reply->url().scheme().toLower() == QLatin1String("https") &&
        scheme != QLatin1String("https")) {
        *error = QNetworkReply::InsecureRedirectError;
        *why = QStringLiteral("Redirected from https to http");
        return {};
    }
    return next;
}

// A request that cannot even start ends the way a failed one does, but its
// notices arrive from the event loop, as they would for a network failure, so
// a caller can connect after execute() returns.
void TransferRequest::fail(QNetworkReply::NetworkError error, const QString& text) {
    m_error = error;
    m_errorString = text;
    m_finished = true;
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_generation)
                return;
            setState(Failed);
            emit changed();
            emit finished();
        },
        Qt::QueuedConnection);
}

void TransferRequest::setState(State state) {
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

// Qt reports an error status as an error of the reply once the answer's
// body is in. An abort reports one more (the cancel), and whichever of the
// two comes second has Qt warn that an error was reported twice; a site that
// refuses with 429 or 503 (a rate limiter's short page) left that warning for
// many refusals of a run. Such a reply is not aborted: it is let go, and
// deleting it ends its connection as an abort would.
bool TransferRequest::abortable(const QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply.isRunning() && status != 429 && status != 503;
}

void TransferRequest::dropReply() {
    clearPending();
    m_slice = QByteArray();
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    if (abortable(*reply))
        reply->abort();
    reply->deleteLater();
}

// Qt drops every header of a block over its limits (more than 100 fields, or
// one over 100 KB) and hands on the status line alone. Such an answer cannot
// be judged (no length, type or encoding), so it is not an answer.
bool TransferRequest::headerBlockDropped() const {
    return m_reply && statusCode() > 0 && m_reply->rawHeaderList().isEmpty();
}

void TransferRequest::failHeaderBlock(bool abort) {
    m_headerBlockFailed = true;
    m_error = QNetworkReply::ProtocolFailure;
    m_errorString = QStringLiteral("The response header block is too large");
    if (abort)
        m_reply->abort(); // emits finished, which ends the request as failed
}

void TransferRequest::onMetaData() {
    if (!m_reply || m_headersReceived || m_headerBlockFailed)
        return;
    const int status = statusCode();
    if (status <= 0)
        return;
    if (headerBlockDropped()) {
        failHeaderBlock();
        return;
    }
    // The answer of a redirect is not the response; its body is dropped.
    if (isRedirectStatus(status) && m_reply->hasRawHeader("Location")) {
        m_redirectPending = true;
        return;
    }
    m_headersReceived = true;
    setState(ReceivingResponse);
    emit headersArrived();
    emit changed();
}

void TransferRequest::onReadyRead() {
    if (!m_reply || m_headerBlockFailed)
        return;
    if (m_redirectPending) {
        m_reply->readAll();
        return;
    }
    if (!m_headersReceived) {
        if (headerBlockDropped()) {
            failHeaderBlock();
            return;
        }
        m_headersReceived = true;
        setState(ReceivingResponse);
        emit headersArrived();
    }
    if (m_sink)
        drainToSink();
    emit changed();
}

void TransferRequest::drainToSink() {
    while (m_reply && m_sink && m_reply->bytesAvailable() > 0) {
        const qint64 moved = moveFromReply(*m_sink, SinkSlice);
        if (moved == 0)
            break;
        if (moved < 0) {
            m_sinkFailed = true;
            m_error = QNetworkReply::UnknownNetworkError;
            m_errorString =
                QStringLiteral("Writing the body failed: %1").arg(m_sink->errorString());
            m_reply->abort(); // finishes the reply, which ends the request as failed
            return;
        }
        m_written += moved;
    }
}

qint64 TransferRequest::moveFromReply(QIODevice& sink, qint64 maxBytes) {
    const qint64 want = qMin(maxBytes, SinkSlice);
    if (m_slice.size() < want)
        m_slice.resize(want);
    const qint64 n = m_reply->read(m_slice.data(), want);
    if (n <= 0)
        return 0;
    return sink.write(m_slice.constData(), n) == n ? n : -1;
}

void TransferRequest::onFinished() {
    if (!m_reply || m_finished)
        return;
    if (!m_headersReceived && !m_headerBlockFailed && !m_redirectPending && headerBlockDropped())
        failHeaderBlock(false); // the block came with the end of the answer
    if (!m_headersReceived && isRedirectStatus(statusCode()) && m_reply->hasRawHeader("Location"))
        m_redirectPending = true;
    if (m_redirectPending && !m_cancelled && m_error == QNetworkReply::NoError) {
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
        QString why;
        const QUrl next = redirectTarget(&error, &why);
        if (next.isValid()) {
            ++m_redirects;
            m_redirectPending = false;
            m_received = 0;
            dropReply();
            send(next);
            emit changed();
            return;
        }
        m_error = error;
        m_errorString = why;
    }
    if (m_sink && m_error == QNetworkReply::NoError)
        drainToSink();
    m_finished = true;
    if (m_error == QNetworkReply::NoError) {
        m_error = m_reply->error();
        m_errorString = m_error == QNetworkReply::NoError ? QString() : m_reply->errorString();
    }
    if (!m_headersReceived && !m_headerBlockFailed && statusCode() > 0) {
        m_headersReceived = true;
        emit headersArrived();
    }
    const qint64 announced = contentLength();
    if (m_error == QNetworkReply::NoError && announced >= 0 && m_received < announced) {
        m_error = QNetworkReply::RemoteHostClosedError;
        m_errorString = QStringLiteral("The connection closed after %1 of %2 bytes")
                            .arg(m_received)
                            .arg(announced);
    }
    if (bodyComplete()) {
        setState(ResponseReceived);
        setState(ResponseCompleted);
    } else {
        setState(Failed);
    }
    emit changed();
    emit finished();
}

bool TransferRequest::stillExecuting() const {
    return m_reply && !m_headersReceived && !m_finished;
}

bool TransferRequest::isActive() const {
    return m_reply && (!m_finished || bufferedBytes() > 0);
}

qint64 TransferRequest::bufferedBytes() const {
    // Bytes of a cancelled request are dropped, even those a finished reply
    // still holds (Qt's close() leaves a finished reply open).
    if (m_cancelled)
        return 0;
    return pendingBytes() + (m_reply && m_reply->isOpen() ? m_reply->bytesAvailable() : 0);
}

bool TransferRequest::wait(const std::function<bool()>& ready, const std::function<bool()>& giveUp,
                           int pollMs) {
    if (ready())
        return true;
    if (giveUp && giveUp())
        return false;
    QPointer<TransferRequest> self(this);
    QEventLoop loop;
    bool isReady = false;
    // Woken by the reply's own notices (so a chunk read costs no poll delay),
    // by a moved program clock, and by a slow timer for the caller's limit.
    auto check = [&] {
        if (!self) {
            loop.quit();
            return;
        }
        if (ready()) {
            isReady = true;
            loop.quit();
        } else if (giveUp && giveUp()) {
            loop.quit();
        }
    };
    QTimer tick;
    tick.setInterval(qMax(1, pollMs));
    connect(&tick, &QTimer::timeout, &loop, check);
    connect(this, &TransferRequest::changed, &loop, check);
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    connect(&m_transport.clock(), &Clock::adjusted, &loop, check);
    tick.start();
    loop.exec(QEventLoop::AllEvents);
    return self && isReady;
}

bool TransferRequest::waitForHeaders(const std::function<bool()>& giveUp, int pollMs) {
    QPointer<TransferRequest> self(this);
    wait([this] { return !m_reply || m_headersReceived || m_finished; }, giveUp, pollMs);
    return self && m_headersReceived;
}

bool TransferRequest::awaitBody(const std::function<bool()>& giveUp, int pollMs) {
    if (!m_reply)
        return false;
    if (!m_finished && m_reply->bytesAvailable() <= 0) {
        QPointer<TransferRequest> self(this);
        wait([this] { return !m_reply || m_finished || bufferedBytes() > 0; }, giveUp, pollMs);
        if (!self)
            return false;
    }
    return m_reply && m_reply->isOpen() && !m_cancelled;
}

qint64 TransferRequest::readInto(QIODevice& sink, qint64 maxBytes,
                                 const std::function<bool()>& giveUp, int pollMs) {
    if (m_sink || maxBytes <= 0)
        return 0;
    if (pendingBytes() > 0) {
        // What an earlier readChunk left goes first.
        const qint64 n = qMin(maxBytes, pendingBytes());
        const bool ok = sink.write(m_pending.constData() + m_pendingPos, n) == n;
        m_pendingPos += n;
        if (m_pendingPos >= m_pending.size())
            clearPending();
        return ok ? n : -1;
    }
    if (!awaitBody(giveUp, pollMs))
        return 0;
    return moveFromReply(sink, maxBytes);
}

QByteArray TransferRequest::readChunk(qint64 maxBytes, const std::function<bool()>& giveUp,
                                      int pollMs) {
    if (m_sink || maxBytes <= 0)
        return {};
    if (pendingBytes() == 0) {
        if (!awaitBody(giveUp, pollMs))
            return {};
        // Each read from the reply tells the network thread that buffer space
        // is free again; reading a slice at a time keeps that traffic low
        // when callers ask for small chunks.
        m_pending = m_reply->read(ReadSlice);
        m_pendingPos = 0;
        if (m_pending.isEmpty())
            return {};
    }
    const qsizetype n = static_cast<qsizetype>(qMin(maxBytes, pendingBytes()));
    QByteArray chunk = m_pending.mid(m_pendingPos, n);
    m_pendingPos += n;
    if (m_pendingPos >= m_pending.size())
        clearPending();
    return chunk;
}

void TransferRequest::clearPending() {
    m_pending.clear();
    m_pendingPos = 0;
}

bool TransferRequest::bodyEnded() const {
    return m_finished && bufferedBytes() == 0;
}

bool TransferRequest::bodyComplete() const {
    if (!m_finished || m_cancelled || m_sinkFailed)
        return false;
    if (m_error != QNetworkReply::NoError && !(isStatusError(m_error) && statusCode() > 0))
        return false;
    const qint64 announced = contentLength();
    return announced < 0 || m_received >= announced;
}

bool TransferRequest::endedEarly() const {
    return m_finished && !m_cancelled && m_headersReceived && !bodyComplete();
}

int TransferRequest::statusCode() const {
    return m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
}

QString TransferRequest::reasonPhrase() const {
    if (!m_reply)
        return {};
    const QString sent =
        QString::fromLatin1(
            m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray())
            .trimmed();
    return sent.isEmpty() ? Transport::standardReasonPhrase(statusCode()) : sent;
}

qint64 TransferRequest::contentLength() const {
    if (!m_reply)
        return -1;
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() ? length.toLongLong() : -1;
}

QString TransferRequest::headerBlock() const {
    if (!m_reply || !m_headersReceived)
        return {};
    const int status = statusCode();
    if (status <= 0)
        return {};
    const bool http2 = m_reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
    QString status_line = QStringLiteral("%1 %2").arg(
        http2 ? QStringLiteral("HTTP/2") : QStringLiteral("HTTP/1.1"), QString::number(status));
    const QString reason = reasonPhrase();
    if (!reason.isEmpty())
        status_line += QLatin1Char(' ') + reason;
    QStringList lines{status_line};
    for (const auto& [name, value] : m_reply->rawHeaderPairs()) {
        // Qt joins repeated Set-Cookie headers with a line feed; give each its line.
        for (const QByteArray& part : value.split('\n'))
            lines << QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromLatin1(part);
    }
    return lines.join(QStringLiteral("\r\n"));
}

QString TransferRequest::header(const QByteArray& name) const {
    return QString::fromLatin1(rawHeader(name));
}

QByteArray TransferRequest::rawHeader(const QByteArray& name) const {
    if (!m_reply || !m_headersReceived)
        return {};
    return m_reply->rawHeader(name);
}

QUrl TransferRequest::finalUrl() const {
    return m_reply ? m_reply->url() : m_url;
}

void TransferRequest::cancel() {
    if (!m_reply) {
        return;
    }
    if (!m_finished) {
        m_cancelled = true;
        m_error = QNetworkReply::OperationCanceledError;
        // Qt's own words for an aborted reply, so the toolkit's translation
        // shows in the row like every other network error.
        m_errorString = QCoreApplication::translate("QNetworkReplyHttpImpl", "Operation canceled");
        clearPending();
        if (abortable(*m_reply)) {
            m_reply->abort(); // emits finished, which normally ends the request
        } else {
            // A refusal: no abort (see abortable()); the reply says
            // nothing more and goes with the next request or this one, its
            // headers still readable until then.
            disconnect(m_reply, nullptr, this, nullptr);
        }
        // A reply that Qt already counts as over emits nothing more; the
        // request ends here then, or the transfer would look busy for ever.
        if (!m_finished) {
            m_finished = true;
            setState(Failed);
            emit changed();
            emit finished();
        }
        return;
    }
    // Over already: drop what the caller has not read.
    if (bufferedBytes() > 0) {
        m_cancelled = true;
        clearPending();
        m_reply->close();
        emit changed();
    }
}

// ---------------------------------------------------------------------------
// Transport

Transport::Transport(Clock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_manager(new QNetworkAccessManager(this)),
      m_cookies(new TransportCookieJar), m_userAgent(defaultUserAgent()),
      m_ssl(QSslConfiguration::defaultConfiguration()) {
    m_manager->setCookieJar(m_cookies); // the manager takes ownership
    // TransferRequest follows redirects itself (at most MaxRedirects, never
    // from https to http).
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_manager->setTransferTimeout(0); // the callers apply their own limits on the program clock
    m_ssl.setPeerVerifyMode(QSslSocket::VerifyPeer);
}

Transport::~Transport() {
    // Replies belong to their requests, which may outlive the transport at the
    // end of the program; none may outlive the manager it runs in.
    for (const QPointer<QNetworkReply>& reply : std::as_const(m_replies))
        delete reply.data();
}

QString Transport::defaultUserAgent() {
    // What the embedded browser of Qt 6.4 (Chromium 102) says, without its Qt tag.
    return QStringLiteral("Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                          "Chrome/102.0.5005.177 Safari/537.36");
}

void Transport::setUserAgent(const QString& userAgent) {
    m_userAgent = userAgent.trimmed().isEmpty() ? defaultUserAgent() : userAgent.trimmed();
}

void Transport::setReadBufferSize(qint64 bytes) {
    m_readBufferSize = qMax<qint64>(16 * 1024, bytes);
}

void Transport::addCaCertificates(const QList<QSslCertificate>& certificates) {
    m_ssl.addCaCertificates(certificates);
}

QUrl Transport::requestUrl(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

QNetworkReply* Transport::get(const QUrl& url, const RequestOptions& options, QString* errorText) {
    const std::optional<QNetworkProxy> proxy =
        options.proxy.enabled ? options.proxy.networkProxy() : systemProxyFor(url);
    if (!proxy) {
        if (errorText)
            *errorText = QStringLiteral("The proxy \"%1:%2\" cannot be used")
                             .arg(options.proxy.address, options.proxy.port);
        return nullptr;
    }
    // The manager resolves its proxy while get() runs, so setting it just before
    // makes the proxy a property of this request.
    if (m_manager->proxy() != *proxy)
        m_manager->setProxy(*proxy);

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setSslConfiguration(m_ssl);
    // HTTP/1.1 only: its replies honour the read buffer limit, which keeps
    // memory flat however large the file.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setTransferTimeout(0);
    if (!hasHeader(options.headers, "User-Agent"))
        request.setRawHeader("User-Agent", m_userAgent.toUtf8());
    // The body as the server sends it: no content coding, so Content-Length
    // counts the bytes the caller reads.
    if (!hasHeader(options.headers, "Accept-Encoding"))
        request.setRawHeader("Accept-Encoding", "identity");
    for (const auto& [name, value] : options.headers)
        request.setRawHeader(name, value);

    QNetworkReply* reply = m_manager->get(request);
    reply->setReadBufferSize(m_readBufferSize);
    m_replies.removeIf([](const QPointer<QNetworkReply>& r) { return r.isNull(); });
    m_replies.append(reply);
    return reply;
}

FetchResult Transport::fetch(const QString& address, const RequestOptions& options,
                             const std::function<bool()>& giveUp, qint64 maxBytes) {
    FetchResult result;
    TransferRequest request(*this);
    qint64 lastGrowthMs = m_clock.monotonicMs();
    const auto stop = [&] {
        if (giveUp)
            return giveUp();
        return m_clock.monotonicMs() - lastGrowthMs >= qint64(DefaultFetchStallSeconds * 1000);
    };
    request.execute(address, options);
    request.waitForHeaders(stop);
    bool gaveUp = false;
    bool tooBig = false;
    while (true) {
        const QByteArray chunk = request.readChunk(FetchSlice, stop);
        if (!chunk.isEmpty()) {
            result.body += chunk;
            lastGrowthMs = m_clock.monotonicMs();
            if (maxBytes >= 0 && result.body.size() > maxBytes) {
                tooBig = true;
                break;
            }
            continue;
        }
        if (request.bodyEnded() || !request.isActive())
            break;
        if (stop()) {
            gaveUp = true;
            break;
        }
    }
    result.statusCode = request.statusCode();
    if (gaveUp || tooBig) {
        request.cancel();
        result.error = gaveUp ? QNetworkReply::TimeoutError : QNetworkReply::UnknownContentError;
        result.errorString = gaveUp
                                 ? QStringLiteral("No data arrived in time")
                                 : QStringLiteral("The body is larger than %1 bytes").arg(maxBytes);
    } else {
        result.error = request.error();
        result.errorString = request.errorString();
        result.complete = request.bodyComplete();
    }
    if (!result.complete)
        result.body.clear();
    return result;
}

QByteArray Transport::fetchWhole(const QString& address, const RequestOptions& options,
                                 const std::function<bool()>& giveUp, qint64 maxBytes) {
    return fetch(address, options, giveUp, maxBytes).body;
}

QString Transport::standardReasonPhrase(int statusCode) {
    switch (statusCode) {
    case 100:
        return QStringLiteral("Continue");
    case 101:
        return QStringLiteral("Switching Protocols");
    case 200:
        return QStringLiteral("OK");
    case 201:
        return QStringLiteral("Created");
    case 202:
        return QStringLiteral("Accepted");
    case 203:
        return QStringLiteral("Non-Authoritative Information");
    case 204:
        return QStringLiteral("No Content");
    case 205:
        return QStringLiteral("Reset Content");
    case 206:
        return QStringLiteral("Partial Content");
    case 300:
        return QStringLiteral("Multiple Choices");
    case 301:
        return QStringLiteral("Moved Permanently");
    case 302:
        return QStringLiteral("Found");
    case 303:
        return QStringLiteral("See Other");
    case 304:
        return QStringLiteral("Not Modified");
    case 307:
        return QStringLiteral("Temporary Redirect");
    case 308:
        return QStringLiteral("Permanent Redirect");
    case 400:
        return QStringLiteral("Bad Request");
    case 401:
        return QStringLiteral("Unauthorized");
    case 402:
        return QStringLiteral("Payment Required");
    case 403:
        return QStringLiteral("Forbidden");
    case 404:
        return QStringLiteral("Not Found");
    case 405:
        return QStringLiteral("Method Not Allowed");
    case 406:
        return QStringLiteral("Not Acceptable");
    case 407:
        return QStringLiteral("Proxy Authentication Required");
    case 408:
        return QStringLiteral("Request Timeout");
    case 409:
        return QStringLiteral("Conflict");
    case 410:
        return QStringLiteral("Gone");
    case 411:
        return QStringLiteral("Length Required");
    case 412:
        return QStringLiteral("Precondition Failed");
    case 413:
        return QStringLiteral("Payload Too Large");
    case 414:
        return QStringLiteral("URI Too Long");
    case 415:
        return QStringLiteral("Unsupported Media Type");
    case 416:
        return QStringLiteral("Range Not Satisfiable");
    case 429:
        return QStringLiteral("Too Many Requests");
    case 500:
        return QStringLiteral("Internal Server Error");
    case 501:
        return QStringLiteral("Not Implemented");
    case 502:
        return QStringLiteral("Bad Gateway");
    case 503:
        return QStringLiteral("Service Unavailable");
    case 504:
        return QStringLiteral("Gateway Timeout");
    case 505:
        return QStringLiteral("HTTP Version Not Supported");
    default:
        return {};
    }
}
