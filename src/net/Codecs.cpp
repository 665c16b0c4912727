#include "net/Codecs.h"

#include "platform/Charset.h"

namespace {

// Lower bounds of the UTF-8 lead bytes: [bound k, bound k+1) opens a sequence
// with k+1 continuation bytes.
constexpr int LeadBounds[6] = {192, 224, 240, 248, 252, 254};

// The k of a lead byte, or -1 when b opens no sequence.
int leadIndex(qint64 b) {
    for (int k = 4; k >= 0; --k)
        if (b >= LeadBounds[k] && b < LeadBounds[k + 1])
            return k;
    return -1;
}

// The value of the byte escape "%hh" at pos, or -1 when there is none there.
qint64 byteEscapeAt(const QString& s, qsizetype pos) {
    if (pos < 0 || pos + 2 >= s.size() || s.at(pos) != QLatin1Char('%'))
        return -1;
    return HexValue(s.mid(pos + 1, 2));
}

bool isContinuation(qint64 b) {
    return b >= 128 && b <= 191;
}

void appendCodePoint(QString& out, qint64 value) {
    if (value < 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return;
    const char32_t cp = static_cast<char32_t>(value);
    out.append(QString::fromUcs4(&cp, 1));
}

} // namespace

QString UrlRoot(const QString& address) {
    const qsizetype scheme = address.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        const qsizetype hostStart = scheme + 3;
        const qsizetype slash = address.indexOf(QLatin1Char('/'), hostStart);
        if (slash < 0 || slash == hostStart)
            return address;
        return address.left(slash);
    }
    const qsizetype slash = address.indexOf(QLatin1Char('/'));
    if (slash > 2)
        return address.left(slash);
    return address;
}

QString BytesToText(const QByteArray& bytes, const QString& charset) {
    const QString name = TrimSpaces(charset);
    QString text =
        Charset::decode(bytes, name.isEmpty() ? QString::fromLatin1(DefaultTextCharset) : name);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString Utf8BytesToText(const QByteArray& bytes) {
    const qsizetype zero = bytes.indexOf('\0');
    return Charset::decode(zero < 0 ? bytes : bytes.left(zero), QStringLiteral("UTF-8"));
}

qint64 HexValue(const QString& text) {
    const QString t = TrimSpaces(text);
    // Eight digits is the widest value the decoders can use; more is no escape.
    if (t.isEmpty() || t.size() > 8)
        return -1;
    qint64 value = 0;
    for (const QChar c : t) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

QString UrlDecodeUtf8(const QString& text) {
    QString result;
    QByteArray pending;
    const auto flush = [&] {
        if (!pending.isEmpty()) {
            result += Utf8BytesToText(pending);
            pending.clear();
        }
    };
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const QChar d = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (c == QLatin1Char('%') && d != QLatin1Char('u')) {
            const qint64 b = HexValue(text.mid(i + 1, 2));
            pending.append(static_cast<char>(b < 0 ? 0 : b));
            i += 3;
            continue;
        }
        flush();
        if (c == QLatin1Char('%')) {
            const qint64 unit = HexValue(text.mid(i + 2, 4));
            if (unit >= 0)
                result.append(QChar(static_cast<char16_t>(unit)));
            i += 6;
        } else if (c == QLatin1Char('+')) {
            result.append(QLatin1Char(' '));
            ++i;
        } else {
            // Kept as it is: a round trip through a code page would only turn
            // the characters that page lacks into "?".
            result.append(c);
            ++i;
        }
    }
    flush();
    return result;
}

QString UrlDecodeAuto(const QString& input) {
    enum class Mode { Undecided, Utf8, Ansi, Ambiguous };
    QString s = input;
    s.replace(QLatin1Char('+'), QLatin1Char(' '));

    Mode mode = Mode::Undecided;
    QString result;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s.at(i);
        if (c != QLatin1Char('%')) {
            result.append(c);
            ++i;
            continue;
        }
        const QChar d = i + 1 < s.size() ? s.at(i + 1) : QChar();
        if (d == QLatin1Char('u') || d == QLatin1Char('U')) {
            const qint64 unit = HexValue(s.mid(i + 2, 4));
            if (unit >= 0)
                result.append(QChar(static_cast<char16_t>(unit)));
            i += 6;
            continue;
        }
        const qint64 b = HexValue(s.mid(i + 1, 2));
        i += 3;
        if (b < 0)
            continue;
        if (b < 128) {
            result.append(QChar(static_cast<char16_t>(b)));
            continue;
        }

        const int k = leadIndex(b);
        if (mode == Mode::Undecided || mode == Mode::Ambiguous) {
            Mode verdict = Mode::Ansi;
            if (k >= 0) {
                verdict = Mode::Utf8;
                for (int j = 0; j <= k; ++j)
                    if (!isContinuation(byteEscapeAt(s, i + 3 * j)))
                        verdict = Mode::Ansi;
                if (verdict == Mode::Utf8 && k == 0)
                    verdict = Mode::Ambiguous; // also a valid double-byte character
            }
            if (mode == Mode::Ambiguous && verdict != Mode::Ambiguous) {
                // The earlier two-byte sequences were read under a guess; read
                // the whole text again now that the guess is settled.
                mode = verdict;
                result.clear();
                i = 0;
                continue;
            }
            mode = verdict;
        }

        if (mode == Mode::Utf8) {
            if (k < 0)
                continue; // a stray continuation byte: nothing to show
            qint64 value = (b ^ LeadBounds[k]);
            bool whole = true;
            for (int j = k; j >= 0; --j) {
                const qint64 t = byteEscapeAt(s, i);
                if (i < s.size() && s.at(i) == QLatin1Char('%'))
                    i += 3; // the escape is consumed even when it does not fit
                if (!isContinuation(t)) {
                    whole = false;
                    break;
                }
                value = value * 64 + (t & 63);
            }
            if (whole)
                appendCodePoint(result, value);
            continue;
        }

        // Code page 936: b leads a double-byte character. The trail byte is the
        // next escape or, as browsers leave printable trail bytes unescaped
        // ("%81@"), the literal character after the lead escape.
        QByteArray pair(1, static_cast<char>(b));
        const qint64 t = byteEscapeAt(s, i);
        if (t > 0) {
            pair.append(static_cast<char>(t));
            i += 3;
        } else if (i < s.size() && s.at(i).unicode() < 0x80) {
            pair.append(static_cast<char>(s.at(i).unicode()));
            ++i;
        }
        result += Charset::fromGbk(pair);
    }
    return result;
}

QString CleanHeaderValue(const QString& text) {
    QString s = text;
    s.remove(QLatin1String("\r\n"));
    s.remove(QChar(0));
    s.remove(QLatin1Char('\n'));
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\t'));
    return TrimSpaces(s);
}

QString LeftBytes(const QString& text, int n, ByteForm form) {
    if (n <= 0)
        return {};
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        qsizetype width = 0;
        if (form == ByteForm::Utf8) {
            const char16_t u = text.at(i).unicode();
            width = pair ? 4 : u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        } else {
            width = text.at(i).unicode() < 0x80 ? 1 : Charset::toGbk(text.mid(i, units)).size();
        }
        if (bytes + width > n)
            break;
        bytes += width;
        i += units;
    }
    return text.left(i);
}

QString TrimSpaces(const QString& s) {
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && s.at(to - 1) == QLatin1Char(' '))
        --to;
    return s.mid(from, to - from);
}
