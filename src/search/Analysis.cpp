#include "search/Analysis.h"

#include "platform/Clock.h"
#include "platform/Wait.h"

#include <algorithm>
#include <cmath>

namespace {
// The characters that end the address after window.location=.
bool isAddressEnd(QChar c) {
    return c == QLatin1Char('\'') || c == QLatin1Char(';') || c == QLatin1Char('"');
}

// Trims spaces only: other white space belongs to the text being cut.
QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
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
    rest = trimSpaces(rest);
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
    QString name = trimSpaces(slash < 0 ? text : text.mid(slash + 1));
    if (withoutExtension) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot >= 0)
            name = trimSpaces(name.left(dot));
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
                    const std::function<bool()>& stopped) {
    const double start = clock.now();
    const auto done = [&] {
        const int delay = DelaySecondsFromText(delayText());
        return std::fabs(clock.now() - start) >= delay || stopped();
    };
    Wait::processEventsOnce();
    if (done())
        return;
    Wait::until(done, 50);
}
