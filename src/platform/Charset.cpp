#include "platform/Charset.h"

#include <unicode/ucnv.h>

#include <memory>

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Labels whose ICU meaning differs from what the servers that send them mean.
// Pages labelled GB2312 are in practice written in its superset code page 936
// (browsers read them so too); "Unicode" and "unicodeFFFE" are the
// traditional labels of little- and big-endian UTF-16.
QByteArray icuName(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("gb2312") || n == QLatin1String("gb_2312-80") ||
        n == QLatin1String("x-gbk") || n == QLatin1String("csgb2312"))
        return "windows-936-2000";
    if (n == QLatin1String("unicode"))
        return "UTF-16LE";
    if (n == QLatin1String("unicodefffe"))
        return "UTF-16BE";
    return n.toLatin1();
}

Converter open(const QString& name) {
    const QByteArray id = icuName(name);
    for (const char ch : id)
        if (static_cast<unsigned char>(ch) > 0x7e || ch == '?')
            return Converter{}; // no charset has such a name
    if (id.isEmpty())
        return Converter{};
    UErrorCode err = U_ZERO_ERROR;
    Converter c{ucnv_open(id.constData(), &err)};
    if (U_FAILURE(err))
        return Converter{};
    return c;
}

} // namespace

namespace Charset {

bool isKnown(const QString& name) {
    return open(name) != nullptr;
}

QString decode(const QByteArray& bytes, const QString& name, bool* known) {
    Converter c = open(name);
    if (known)
        *known = c != nullptr;
    if (!c || bytes.isEmpty())
        return {};
    // A byte never yields more than two UTF-16 units (a supplementary character
    // from a four-byte sequence yields two), so this capacity always suffices.
    QString out(bytes.size() * 2 + 2, Qt::Uninitialized);
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c.get(), reinterpret_cast<UChar*>(out.data()),
                                    static_cast<int32_t>(out.size()), bytes.constData(),
                                    static_cast<int32_t>(bytes.size()), &err);
    if (U_FAILURE(err))
        return {};
    out.truncate(n);
    return out;
}

QByteArray encode(const QString& text, const QString& name, bool* known) {
    Converter c = open(name);
    if (known)
        *known = c != nullptr;
    if (!c || text.isEmpty())
        return {};
    UErrorCode err = U_ZERO_ERROR;
    ucnv_setSubstChars(c.get(), "?", 1, &err);
    err = U_ZERO_ERROR;
    const auto* src = reinterpret_cast<const UChar*>(text.constData());
    const auto srcLength = static_cast<int32_t>(text.size());
    QByteArray out(static_cast<qsizetype>(srcLength) * ucnv_getMaxCharSize(c.get()) + 16,
                   Qt::Uninitialized);
    int32_t n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()), src,
                                srcLength, &err);
    if (err == U_BUFFER_OVERFLOW_ERROR) { // stateful sets may add escape sequences
        err = U_ZERO_ERROR;
        out.resize(n + 1);
        n = ucnv_fromUChars(c.get(), out.data(), static_cast<int32_t>(out.size()), src, srcLength,
                            &err);
    }
    if (U_FAILURE(err))
        return {};
    out.truncate(n);
    return out;
}

QString fromGbk(const QByteArray& bytes) {
    return decode(bytes, QStringLiteral("GBK"));
}

QByteArray toGbk(const QString& text) {
    return encode(text, QStringLiteral("GBK"));
}

} // namespace Charset
