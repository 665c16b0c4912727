#include "net/HttpDate.h"

#include <QStringView>
#include <array>
#include <tuple>

namespace {

constexpr std::array<QLatin1StringView, 7> DayNames = {
    QLatin1StringView("Mon"), QLatin1StringView("Tue"), QLatin1StringView("Wed"),
    QLatin1StringView("Thu"), QLatin1StringView("Fri"), QLatin1StringView("Sat"),
    QLatin1StringView("Sun")};
constexpr std::array<QLatin1StringView, 7> LongDayNames = {
    QLatin1StringView("Monday"),   QLatin1StringView("Tuesday"), QLatin1StringView("Wednesday"),
    QLatin1StringView("Thursday"), QLatin1StringView("Friday"),  QLatin1StringView("Saturday"),
    QLatin1StringView("Sunday")};
constexpr std::array<QLatin1StringView, 12> MonthNames = {
    QLatin1StringView("Jan"), QLatin1StringView("Feb"), QLatin1StringView("Mar"),
    QLatin1StringView("Apr"), QLatin1StringView("May"), QLatin1StringView("Jun"),
    QLatin1StringView("Jul"), QLatin1StringView("Aug"), QLatin1StringView("Sep"),
    QLatin1StringView("Oct"), QLatin1StringView("Nov"), QLatin1StringView("Dec")};

// The fields as read; year is -1 until known (a two-digit year is decided last).
struct Fields {
    int year = -1;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Walks the text from the front; every step either takes what it wants or
// fails, and a failed form is never half taken.
class Reader {
public:
    explicit Reader(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_pos == m_text.size(); }

    bool take(QLatin1StringView word) {
        if (!m_text.sliced(m_pos).startsWith(word, Qt::CaseSensitive))
            return false;
        m_pos += word.size();
        return true;
    }

    // The 0-based index of the name that stands here, or -1. The names of a
    // list never begin with one another, so the first match is the only one.
    template <std::size_t N> int name(const std::array<QLatin1StringView, N>& names) {
        for (std::size_t i = 0; i < N; ++i)
            if (take(names[i]))
                return int(i);
        return -1;
    }

    // Exactly count ASCII digits; -1 when they are not there.
    int number(int count) {
        if (m_pos + count > m_text.size())
            return -1;
        int value = 0;
        for (int i = 0; i < count; ++i) {
            const char16_t c = m_text[m_pos + i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        m_pos += count;
        return value;
    }

    // hour ":" minute ":" second, within 00:00:00 and 23:59:60.
    bool timeOfDay(Fields& f) {
        f.hour = number(2);
        if (f.hour < 0 || f.hour > 23 || !take(QLatin1StringView(":")))
            return false;
        f.minute = number(2);
        if (f.minute < 0 || f.minute > 59 || !take(QLatin1StringView(":")))
            return false;
        f.second = number(2);
        return f.second >= 0 && f.second <= 60;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

const QLatin1StringView Space(" ");
const QLatin1StringView Gmt(" GMT");

// "Sun, 06 Nov 1994 08:49:37 GMT"
bool imfFixdate(QStringView text, Fields& f) {
    Reader r(text);
    if (r.name(DayNames) < 0 || !r.take(QLatin1StringView(", ")))
        return false;
    f.day = r.number(2);
    if (f.day < 0 || !r.take(Space))
        return false;
    f.month = r.name(MonthNames) + 1;
    if (f.month == 0 || !r.take(Space))
        return false;
    f.year = r.number(4);
    return f.year >= 0 && r.take(Space) && r.timeOfDay(f) && r.take(Gmt) && r.atEnd();
}

// "Sunday, 06-Nov-94 08:49:37 GMT"; returns the two digits of the year, or -1.
int rfc850Date(QStringView text, Fields& f) {
    Reader r(text);
    if (r.name(LongDayNames) < 0 || !r.take(QLatin1StringView(", ")))
        return -1;
    f.day = r.number(2);
    if (f.day < 0 || !r.take(QLatin1StringView("-")))
        return -1;
    f.month = r.name(MonthNames) + 1;
    if (f.month == 0 || !r.take(QLatin1StringView("-")))
        return -1;
    const int year = r.number(2);
    if (year < 0 || !r.take(Space) || !r.timeOfDay(f) || !r.take(Gmt) || !r.atEnd())
        return -1;
    return year;
}

// "Sun Nov  6 08:49:37 1994" (a day below 10 either after a second space or
// with its 0)
bool asctimeDate(QStringView text, Fields& f) {
    Reader r(text);
    if (r.name(DayNames) < 0 || !r.take(Space))
        return false;
    f.month = r.name(MonthNames) + 1;
    if (f.month == 0 || !r.take(Space))
        return false;
    f.day = r.take(Space) ? r.number(1) : r.number(2);
    if (f.day < 0 || !r.take(Space) || !r.timeOfDay(f) || !r.take(Space))
        return false;
    f.year = r.number(4);
    return f.year >= 0 && r.atEnd();
}

// Whether the moment of f, in year, lies more than 50 years after now.
bool beyondFiftyYears(int year, const Fields& f, const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return std::tuple(year - 50, f.month, f.day, f.hour, f.minute, f.second) >
           std::tuple(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

} // namespace

QDateTime ParseHttpDate(const QString& text, const QDateTime& nowUtc) {
    const QStringView value = QStringView(text).trimmed();
    Fields f;
    bool read = imfFixdate(value, f);
    if (!read) {
        f = Fields{};
        read = asctimeDate(value, f);
    }
    if (!read) {
        f = Fields{};
        const int twoDigits = rfc850Date(value, f);
        if (twoDigits < 0)
            return {};
        // Starting a century ahead, back until no more than 50 years ahead.
        const QDateTime now = nowUtc.toUTC();
        const int nowYear = now.date().year();
        int year = nowYear - nowYear % 100 + 100 + twoDigits;
        while (beyondFiftyYears(year, f, now))
            year -= 100;
        f.year = year;
    }
    const QDate date(f.year, f.month, f.day);
    if (!date.isValid())
        return {};
    const QDateTime when(date, QTime(f.hour, f.minute, qMin(f.second, 59)), Qt::UTC);
    return f.second == 60 ? when.addSecs(1) : when;
}
