#include "search/Analysis.h"

#include "download/Naming.h"
#include "net/Codecs.h"
#include "platform/Clock.h"
#include "platform/PartFile.h"
#include "platform/Transport.h"
#include "platform/Wait.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// The characters that end the address after window.location=.
bool isAddressEnd(QChar c) {
    return c == QLatin1Char('\'') || c == QLatin1Char(';') || c == QLatin1Char('"');
}

} // namespace

QString DecodeAmpersands(const QString& text) {
    QString result = text;
    result.replace(QStringLiteral("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive);
    return result;
}

QString 提取SD2的pdf网址(const QString& pageText) {
    static const QString Marker = QStringLiteral("window.location=");
    QString text = pageText;
    text.remove(QLatin1Char(' '));
    const qsizetype at = text.indexOf(Marker, 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    // "&amp;" goes before the semicolons are cut, or the address would end at
    // its first "&amp".
    QString rest = DecodeAmpersands(text.mid(at + Marker.size()));
    for (QChar& c : rest) {
        if (isAddressEnd(c))
            c = QLatin1Char(' ');
    }
    rest = TrimSpaces(rest);
    const qsizetype space = rest.indexOf(QLatin1Char(' '));
    if (space < 0)
        return {};
    return rest.left(space);
}

QString RemoveLineBreaks(const QString& text) {
    QString result = text;
    result.remove(QStringLiteral("\r\n"));
    result.remove(QLatin1Char('\r'));
    result.remove(QLatin1Char('\n'));
    result.remove(QChar(0));
    return result;
}

QString FileNameFromPath(const QString& pathOrAddress, bool withoutExtension) {
    QString text = pathOrAddress;
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    QString name = TrimSpaces(slash < 0 ? text : text.mid(slash + 1));
    if (withoutExtension) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            name = TrimSpaces(name.left(dot));
    }
    return name;
}

int DelaySecondsFromText(const QString& text) {
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t.at(end) == QLatin1Char('+') || t.at(end) == QLatin1Char('-')))
        ++end;
    bool dot = false;
    while (end < t.size() && (t.at(end).isDigit() || (!dot && t.at(end) == QLatin1Char('.')))) {
        dot = dot || t.at(end) == QLatin1Char('.');
        ++end;
    }
    bool ok = false;
    const double value = t.left(end).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0;
    return static_cast<int>(std::clamp(std::floor(value), -1e9, 1e9));
}

void RateLimitDelay(Clock& clock, const std::function<QString()>& delayText,
                    const std::function<bool()>& stopped, double atLeastSeconds) {
    const double start = clock.now();
    const auto done = [&] {
        const double delay = std::max<double>(DelaySecondsFromText(delayText()), atLeastSeconds);
        return std::fabs(clock.now() - start) >= delay || stopped();
    };
    Wait::processEventsOnce();
    if (done())
        return;
    Wait::until(done, 50);
}

namespace {
// The status line must read 200 and OK, whatever the letter case.
bool statusLineIsOk(const QString& headerBlock) {
    const QString firstLine = headerBlock.section(QStringLiteral("\r\n"), 0, 0).toLower();
    return firstLine.contains(QStringLiteral("200")) && firstLine.contains(QStringLiteral("ok"));
}

// An empty web page: a bare html media type announcing no body at all.
bool isEmptyHtmlAnswer(const QString& contentType, qint64 expected) {
    const QStringList parts = contentType.trimmed().split(QLatin1Char(';'));
    if (parts.size() > 1)
        return false;
    const QStringList media = parts.value(0).split(QLatin1Char('/'));
    return media.size() > 1 && media.at(1).trimmed().toLower() == QStringLiteral("html") &&
           expected == 0;
}

qint64 announcedLength(const QString& value) {
    bool ok = false;
    const qint64 length = value.trimmed().toLongLong(&ok);
    return ok ? length : -1;
}
} // namespace

DirectFetchResult Inet下载文件(Transport& transport, const QString& address, const QString& referer,
                               const QString& fileName, const QString& folder, int timeout,
                               const std::function<bool()>& stopped) {
    DirectFetchResult result;
    Clock& clock = transport.clock();
    const double limit = timeout == 0 ? 60.0 : timeout;
    const auto isStopped = [&] { return stopped && stopped(); };

    RequestOptions options;
    options.headers = {{"Referer", (referer.isEmpty() ? UrlRoot(address) : referer).toUtf8()}};
    TransferRequest request(transport);
    const double requested = clock.now();
    request.execute(address, options);
    Wait::processEventsOnce();

    const auto answerLate = [&] { return std::fabs(clock.now() - requested) > limit; };
    request.waitForHeaders([&] { return isStopped() || answerLate(); });
    if (!request.headersReceived()) {
        request.cancel();
        return result;
    }
    const QString headerBlock = request.headerBlock();
    if (headerBlock.isEmpty() || !statusLineIsOk(headerBlock)) {
        request.cancel();
        return result;
    }
    const qint64 expected = announcedLength(request.header("Content-Length"));
    if (isEmptyHtmlAnswer(request.header("Content-Type"), expected)) {
        request.cancel();
        return result;
    }

    // The extension is kept whole however long the title; a title that leaves
    // nothing takes the address's file name.
    QString title;
    const QString extension = SplitFileName(fileName, title);
    const QString name = JoinNameAndExtension(FileNameFor(title, address), extension);
    result.folder = EnsureFolder(folder);
    if (result.folder.isEmpty()) {
        // No folder to write into: never fall back to the working folder.
        request.cancel();
        return result;
    }
    const QString path = JoinFolder(result.folder, name);
    // The body goes to a hidden file beside the target that takes the
    // target's name only once it is whole: a file of that name is replaced
    // then, and stays as it was when the fetch fails. The rename replaces a
    // symbolic link at the target itself, never the file it points to.
    PartFile part(LocalPath(path));
    if (!part.open()) {
        request.cancel();
        return result;
    }
    QIODevice& file = *part.device();
    qint64 length = 0;
    double lastGrowth = clock.now();
    bool stoppedEarly = false;
    bool writeFailed = false;
    const auto stalled = [&] { return std::fabs(clock.now() - lastGrowth) > limit; };
    for (;;) {
        Wait::processEventsOnce();
        if (isStopped()) {
            stoppedEarly = true;
            break;
        }
        const QByteArray chunk = request.readChunk(2048, [&] { return isStopped() || stalled(); });
        if (!chunk.isEmpty()) {
            if (file.write(chunk) != chunk.size()) {
                writeFailed = true;
                break;
            }
            length += chunk.size();
            lastGrowth = clock.now();
        }
        if (expected > 0 ? length >= expected : chunk.size() < 2 && request.bodyEnded())
            break;
        if (chunk.isEmpty() && (request.bodyEnded() || !request.isActive()))
            break;
        if (stalled())
            break;
    }
    const bool whole =
        !stoppedEarly && !writeFailed &&
        (expected > 0 ? length >= expected : request.bodyEnded() && !request.endedEarly());
    request.cancel();

    // A partial file would pass for the article: it is dropped (with the
    // part file), and the fetch failed. So is one the disk did not take.
    if (!whole || !part.finish() || !part.commitTo(LocalPath(path)))
        return result;
    if (!FileExists(path))
        return result;
    result.bytes = static_cast<double>(QFileInfo(LocalPath(path)).size());
    result.path = path;
    result.fileName = FileNameFromPath(path, false);
    return result;
}
