#include "net/HttpGetText.h"

#include "net/Codecs.h"
#include "platform/Clock.h"
#include "platform/Transport.h"

#include <QLocale>
#include <QRandomGenerator>
#include <cmath>

namespace {
const QString Alphabet =
    QStringLiteral("1234567890abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");

// The long time format without a time-zone name: the stamp is meant to hold
// the time of day, and a zone name only adds letters that vary by machine.
QString longTimeFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}
} // namespace

QString RandomString(int count) {
    QString text;
    if (count <= 0)
        return text;
    text.reserve(count);
    auto* random = QRandomGenerator::global();
    for (int i = 0; i < count; ++i)
        text +=
            Alphabet.at(static_cast<int>(random->bounded(static_cast<quint32>(Alphabet.size()))));
    return text;
}

QString CacheBustingDateTime(const QDateTime& when) {
    const QLocale locale = QLocale::system();
    QString stamp = locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                    locale.toString(when.time(), longTimeFormat(locale));
    for (const QChar c : {QLatin1Char('-'), QLatin1Char(':'), QLatin1Char('/'), QLatin1Char(' ')})
        stamp.remove(c);
    return stamp;
}

QString AddCacheBuster(const QString& url, const QDateTime& when) {
    const QString stamp = CacheBustingDateTime(when) + RandomString(5);
    return url +
           (url.contains(QLatin1Char('?')) ? QStringLiteral("&llll=") : QStringLiteral("?llll=")) +
           stamp;
}

QString HttpGetText(Transport& transport, QString& url, const QString& charset, QString& referer,
                    bool noCacheBuster, const std::function<bool()>& abandon,
                    HttpTextAnswer* answer) {
    Clock& clock = transport.clock();
    if (referer.isEmpty())
        referer = UrlRoot(url);
    if (!noCacheBuster) {
        const QDateTime now =
            QDateTime::currentDateTime().addMSecs(static_cast<qint64>(clock.offset() * 1000.0));
        url = AddCacheBuster(url, now);
    }

    RequestOptions options;
    options.headers = {
        {"Referer", referer.toUtf8()},
        {"Accept", "*/*"},
        {"Content-Type", "text/xml;charset=" + charset.toUtf8()},
        {"Pragma", "no-cache"},
        {"Cache-Control", "no-cache"},
        {"User-Agent", "Mozilla/4.0(compatible; MSIE 6.0; Windows NT 5.1)"},
        {"Connection", "Close"},
    };
    options.proxy = ProxySettings{};

    const double start = clock.now();
    const auto timedOut = [&] {
        return (abandon && abandon()) ||
               std::fabs(clock.now() - start) >= HttpGetTextTimeoutSeconds;
    };

    TransferRequest request(transport);
    request.execute(url, options);
    QByteArray body;
    // An announced length over the limit fails before a byte is read;
    // without one, the body fails once it would grow past the limit.
    const auto tooLarge = [&](qint64 more) {
        return request.contentLength() > HttpGetTextMaxBytes ||
               body.size() + more > HttpGetTextMaxBytes;
    };
    while (!timedOut()) {
        if (request.headersReceived() && tooLarge(0)) {
            request.cancel();
            return {};
        }
        const QByteArray chunk = request.readChunk(64 * 1024, timedOut);
        if (!chunk.isEmpty()) {
            if (tooLarge(chunk.size())) {
                request.cancel();
                return {};
            }
            body += chunk;
            continue;
        }
        if (request.bodyEnded() || !request.isActive())
            break;
    }
    if (answer) {
        answer->status = request.statusCode();
        answer->retryAfter = request.header("Retry-After");
    }
    // Only a whole body is a page: a body without a length that a reset cut
    // short is a failure, as it is for the transfers, not the text so far.
    if (!request.isFinished() || !request.bodyEnded() || !request.bodyComplete()) {
        // No complete answer in time (or no one waits for it any more): the
        // request goes with this routine.
        request.cancel();
        return {};
    }
    return BytesToText(body, charset.isEmpty() ? QStringLiteral("GB2312") : charset);
}
