#include "net/uXMLHTTP.h"

#include "platform/Charset.h"
#include "platform/Clock.h"
#include "platform/Transport.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <QTimer>
#include <array>

namespace {
struct StatusRow {
    int code;
    const char* text;
};

// The texts hosts show to users; kept exactly as they have always read.
constexpr std::array<StatusRow, 41> StatusTable{{
    {100, "客户必须继续发出请求"},
    {101, "客户要求服务器根据请求转换HTTP协议版本"},
    {200, "交易成功"},
    {201, "提示知道新文件的URL"},
    {202, "接受和处理?但处理未完成"},
    {203, "返回信息不确定或不完整"},
    {204, "请求收到，但返回信息为空"},
    {205, "服务器完成了请求，用户代理必须复位当前已经浏览过的文件"},
    {206, "服务器已经完成了部分用户的GET请求"},
    {300, "请求的资源可在多处得到"},
    {301, "删除请求数据"},
    {302, "在其他地址发现了请求数据"},
    {303, "建议客户访问其他URL或访问方式"},
    {304, "客户端已经执行了GET，但文件未变化"},
    {305, "请求的资源必须从服务器指定的地址得到"},
    {306, "前一版本HTTP中使用的代码，现行版本中不再使用"},
    {307, "申明请求的资源临时性删除"},
    {400, "错误请求，如语法错误"},
    {401, "请求授权失败"},
    {402, "保留有效ChargeTo头响应"},
    {403, "请求不允许"},
    {404, "没有发现文件?查询或URl"},
    {405, "用户在Request -Line字段定义的方法不允许"},
    {406, "根据用户发送的Accept拖，请求资源不可访问"},
    {407, "类似401，用户必须首先在代理服务器上得到授权"},
    {408, "客户端没有在用户指定的饿时间内完成请求"},
    {409, "对当前资源状态，请求不能完成"},
    {410, "服务器上不再有此资源且无进一步的参考地址"},
    {411, "服务器拒绝用户定义的Content -Length属性请求"},
    {412, "一个或多个请求头字段在当前请求中错误"},
    {413, "请求的资源大于服务器允许的大小"},
    {414, "请求的资源URL长于服务器允许的长度"},
    {415, "请求资源不支持请求项目格式"},
    {416, "请求中包含Range请求头字段，在当前请求资源范围内没有range指示值，请求也不包含If-"
          "Range请求头字段"},
    {417, "服务器不满足请求Expect头字段指定的期望值，如果是代理服务器，可能是下一级服务器不能满足"
          "请求"},
    {500, "服务器产生内部错误"},
    {501, "服务器不支持请求的函数"},
    {502, "服务器暂时不可用，有时是为了防止发生系统过载"},
    {503, "服务器过载或暂停维修"},
    {504, "关口过载，服务器使用另一个关口或服务来响应用户，等待时间设定值较长"},
    {505, "服务器不支持或拒绝支请求头中指定的HTTP版本"},
}};

// The file a save path names: surrounding blanks dropped, a file:// address
// turned into its local path.
QString localSavePath(const QString& savePath) {
    const QString path = savePath.trimmed();
    if (path.startsWith(QLatin1String("file://"), Qt::CaseInsensitive))
        return QUrl(path).toLocalFile();
    return path;
}

bool sameName(const QByteArray& a, const QByteArray& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

QString HttpStatusDescription(int code) {
    for (const StatusRow& row : StatusTable) {
        if (row.code == code)
            return QString::fromUtf8(row.text);
    }
    return {};
}

uXMLHTTP::uXMLHTTP(Transport& transport, QObject* parent)
    : QObject(parent), m_transport(transport) {
    setObjectName(QStringLiteral("uXMLHTTP"));
    tmrReader = new QTimer(this);
    tmrReader->setObjectName(QStringLiteral("tmrReader"));
    tmrReader->setInterval(10);
    connect(tmrReader, &QTimer::timeout, this, &uXMLHTTP::tick);
}

uXMLHTTP::~uXMLHTTP() {
    tmrReader->stop();
    dropReply();
}

bool uXMLHTTP::Open_(const QString& method, const QString& url, const QString& savePath) {
    m_downOK = false;
    const QString verb = method.trimmed().toUpper();
    const QUrl address = Transport::requestUrl(url);
    if (verb.isEmpty() || !address.isValid())
        return false;
    // A request still pending is dropped silently: the host has moved on.
    tmrReader->stop();
    dropReply();
    m_method = verb;
    m_url = address;
    m_headers.clear();
    m_sent = false;
    m_finished = false;
    m_readyState = 1;
    m_status = 0;
    m_statusText.clear();
    m_responseHeaders.clear();
    m_body.clear();
    m_opened = true;
    m_savePath = savePath;
    return true;
}

void uXMLHTTP::SetRequestHeader(const QString& header, const QString& value) {
    const QByteArray name = header.trimmed().toLatin1();
    if (!m_opened || m_sent || name.isEmpty() || name.contains(':'))
        return;
    m_headers.append({name, value.toUtf8()});
}

void uXMLHTTP::Send_(const QString& body) {
    if (!m_opened || m_sent)
        return;
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(Transport::MaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    request.setSslConfiguration(m_transport.sslConfiguration());
    // The stall limit below reads the program clock instead.
    request.setTransferTimeout(0);
    bool ownAgent = false;
    for (const auto& [name, value] : m_headers) {
        ownAgent = ownAgent || sameName(name, "User-Agent");
        request.setRawHeader(name, value);
    }
    if (!ownAgent)
        request.setRawHeader("User-Agent", m_transport.userAgent().toUtf8());

    // The options' proxy serves the downloads; a background request goes the
    // way the system goes. The manager takes its proxy when the request starts.
    QNetworkAccessManager& manager = m_transport.manager();
    const QNetworkProxy systemWay(QNetworkProxy::DefaultProxy);
    if (manager.proxy() != systemWay)
        manager.setProxy(systemWay);

    QNetworkReply* reply = nullptr;
    if (m_method == QLatin1String("GET") && body.isEmpty())
        reply = manager.get(request);
    else
        reply = manager.sendCustomRequest(request, m_method.toLatin1(), body.toUtf8());
    m_reply = reply;
    m_sent = true;
    m_lastActivityMs = m_transport.clock().monotonicMs();
    connect(reply, &QNetworkReply::metaDataChanged, this, &uXMLHTTP::onMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &uXMLHTTP::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &uXMLHTTP::onFinished);
    tmrReader->start();
}

void uXMLHTTP::Abort_() {
    tmrReader->stop();
    dropReply();
    if (m_sent && !m_downOK)
        m_readyState = 0;
    m_finished = false;
}

QString uXMLHTTP::GetResponseHeader(const QString& name) const {
    const QByteArray wanted = name.trimmed().toLatin1();
    QStringList values;
    for (const auto& [key, value] : m_responseHeaders) {
        if (sameName(key, wanted))
            values << QString::fromLatin1(value);
    }
    return values.join(QStringLiteral(", "));
}

QString uXMLHTTP::GetAllResponseHeaders() const {
    QString all;
    for (const auto& [key, value] : m_responseHeaders)
        all += QString::fromLatin1(key) + QStringLiteral(": ") + QString::fromLatin1(value) +
               QStringLiteral("\r\n");
    return all;
}

QString uXMLHTTP::ResponseText() const {
    if (m_body.isEmpty())
        return {};
    if (const auto bom = QStringConverter::encodingForData(m_body)) {
        QStringDecoder decoder(*bom);
        return decoder.decode(m_body);
    }
    static const QRegularExpression charsetPattern(
        QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m =
        charsetPattern.match(GetResponseHeader(QStringLiteral("Content-Type")));
    if (m.hasMatch()) {
        bool known = false;
        const QString text = Charset::decode(m_body, m.captured(1), &known);
        if (known)
            return text;
    }
    return QString::fromUtf8(m_body);
}

void uXMLHTTP::onMetaData() {
    m_lastActivityMs = m_transport.clock().monotonicMs();
    if (m_readyState < 2)
        m_readyState = 2;
}

void uXMLHTTP::onReadyRead() {
    if (!m_reply)
        return;
    m_lastActivityMs = m_transport.clock().monotonicMs();
    m_body += m_reply->readAll();
    m_readyState = 3;
}

void uXMLHTTP::onFinished() {
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    m_body += reply->readAll();
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // An error of the network layer (refused, closed early, TLS, redirect
    // rules) means no whole answer came, even when a status line did.
    const bool networkFailure =
        error > QNetworkReply::NoError && error <= QNetworkReply::UnknownNetworkError;
    if (code.isValid() && code.toInt() > 0 && !networkFailure) {
        m_status = code.toInt();
        m_statusText = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        if (m_statusText.isEmpty())
            m_statusText = Transport::standardReasonPhrase(m_status);
        m_responseHeaders = reply->rawHeaderPairs();
    } else {
        forgetAnswer();
    }
    m_readyState = 4;
    m_finished = true;
    dropReply();
    // Complete on the next pass of the event loop rather than inside the
    // network reply's own signal.
    QTimer::singleShot(0, this, &uXMLHTTP::tick);
}

void uXMLHTTP::tick() {
    if (!tmrReader->isActive())
        return;
    QPointer<uXMLHTTP> self(this);
    emit OnReadyStateChange();
    if (!self || !tmrReader->isActive())
        return;
    if (!m_finished) {
        const qint64 quietMs = m_transport.clock().monotonicMs() - m_lastActivityMs;
        if (quietMs < qint64(StallSeconds * 1000))
            return;
        // Nothing arrived for too long: the answer is given up as missing.
        dropReply();
        forgetAnswer();
        m_readyState = 4;
        m_finished = true;
    }
    complete();
}

void uXMLHTTP::forgetAnswer() {
    m_status = 0;
    m_statusText.clear();
    m_responseHeaders.clear();
    m_body.clear();
}

void uXMLHTTP::complete() {
    tmrReader->stop();
    m_finished = false;
    m_downOK = true;
    if (m_status == 200) {
        saveBody();
        emit OnDateArrived();
    } else {
        emit OnDateErr(HttpStatusDescription(m_status));
    }
}

void uXMLHTTP::saveBody() const {
    const QString path = localSavePath(m_savePath);
    if (path.isEmpty() || m_body.isEmpty())
        return;
    // The body goes to a temporary file beside the target that replaces it
    // only when whole; a failed save leaves the old file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    if (file.write(m_body) != m_body.size()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

void uXMLHTTP::dropReply() {
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}
