#include "download/Arrival.h"

#include "download/FileType.h"
#include "download/Naming.h"
#include "platform/ContentDecoder.h"
#include "platform/PartFile.h"
#include "platform/Transport.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 HeadBytes = 4096;
// A PDF ends with "%%EOF", perhaps followed by line ends and a little padding.
constexpr qint64 PdfTailBytes = 1024;
// Coded bytes read from disk at a time while a body is decoded.
constexpr qint64 DecodeInputBytes = 64 * 1024;

QByteArray readHead(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(HeadBytes);
}

QByteArray readTail(const QString& path, qint64 bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    if (size > bytes && !file.seek(size - bytes))
        return {};
    return file.read(bytes);
}

QString mediaType(const QString& contentType) {
    return contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
}

bool isWebMediaType(const QString& media) {
    return media == QLatin1String("text/html") || media == QLatin1String("application/xhtml+xml");
}

} // namespace

bool StartsAsWebPage(const QByteArray& head) {
    qsizetype i = 0;
    if (head.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < head.size() &&
           (head.at(i) == ' ' || head.at(i) == '\t' || head.at(i) == '\r' || head.at(i) == '\n'))
        ++i;
    const QByteArray start = head.mid(i, 64).toLower();
    for (const char* marker : {"<!doctype html", "<html", "<head", "<body", "<title", "<meta"})
        if (start.startsWith(marker))
            return true;
    // A comment or an XML declaration may stand before the document element.
    if (start.startsWith("<!--") || start.startsWith("<?xml")) {
        const QByteArray lowered = head.toLower();
        return lowered.contains("<html") || lowered.contains("<!doctype html");
    }
    return false;
}

ArrivalJudgement JudgeArrival(const ArrivalFacts& facts, const QString& partPath) {
    ArrivalJudgement failed;
    if (!facts.complete || facts.bytes <= 0)
        return failed;
    // Bodies are asked for as they are; a coded body would be saved as its
    // coding, not as the document.
    const QString coding = facts.contentEncoding.trimmed().toLower();
    if (!coding.isEmpty() && coding != QLatin1String("identity"))
        return failed;

    QString type = 打开文件判断文件类型(partPath);
    const bool webPage = type == QLatin1String("htm") ||
                         (type.isEmpty() && (isWebMediaType(mediaType(facts.contentType)) ||
                                             StartsAsWebPage(readHead(partPath))));
    if (webPage)
        return {ArrivalVerdict::WebPage, QStringLiteral("htm")};

    // An error status is never the document, whatever its body claims to be.
    if (facts.status < 200 || facts.status > 299)
        return failed;

    // Without a length nothing but the body itself can show that it is whole.
    if (type == QLatin1String("pdf") && !facts.lengthKnown &&
        !readTail(partPath, PdfTailBytes).contains("%%EOF"))
        return failed;
    return {ArrivalVerdict::Document, type};
}

QString ArrivalTargetPath(const QString& plannedPath, const QString& plannedType,
                          const QString& realType) {
    if (realType.isEmpty() || realType.compare(plannedType, Qt::CaseInsensitive) == 0)
        return plannedPath;
    QString base = plannedPath;
    if (!plannedType.isEmpty() &&
        base.endsWith(QLatin1Char('.') + plannedType, Qt::CaseInsensitive))
        base.chop(plannedType.size() + 1);
    return FreeFilePath(base + QLatin1Char('.') + realType);
}

DecodedBody DecodeCodedBody(const QString& codedPath, const QString& targetPath,
                            const QString& contentEncoding, double limitMB) {
    DecodedBody result;
    const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::create(contentEncoding);
    QFile in(codedPath);
    if (!decoder || !in.open(QIODevice::ReadOnly))
        return result;
    auto part = std::make_unique<PartFile>(targetPath);
    if (!part->open())
        return result;
    QIODevice* out = part->device();
    qint64 written = 0;
    QByteArray coded;
    QByteArray decoded;
    for (;;) {
        coded = in.read(DecodeInputBytes);
        if (coded.isEmpty())
            break;
        decoder->feed(coded);
        for (;;) {
            const ContentDecoder::Step step = decoder->step(decoded);
            written += decoded.size();
            if (double(written) / 1024.0 / 1024.0 > limitMB) {
                result.outcome = DecodedBody::Outcome::TooBig;
                return result;
            }
            if (!decoded.isEmpty() && out->write(decoded) != decoded.size())
                return result;
            if (step == ContentDecoder::Step::Failed)
                return result;
            if (step != ContentDecoder::Step::More)
                break;
        }
    }
    // A coded stream that did not reach its own end was cut short.
    if (in.error() != QFileDevice::NoError || !decoder->finished())
        return result;
    result.outcome = DecodedBody::Outcome::Decoded;
    result.part = std::move(part);
    result.bytes = written;
    return result;
}

QString NoAnswerReason(const TransferRequest& request) {
    if (!request.sslErrors().isEmpty())
        return QStringLiteral("网站证书不受信任");
    if (request.error() == QNetworkReply::SslHandshakeFailedError)
        return QStringLiteral("无法建立安全连接");
    return {};
}
