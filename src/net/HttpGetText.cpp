#include "net/HttpGetText.h"

#include <QLocale>
#include <QRandomGenerator>

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
