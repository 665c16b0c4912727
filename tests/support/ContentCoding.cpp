#include "ContentCoding.h"

#include <brotli/encode.h>
#include <zlib.h>

QByteArray EncodeContent(const QString& encoding, const QByteArray& plain) {
    if (encoding.isEmpty())
        return plain;
    if (encoding == QLatin1String("br")) {
        QByteArray out(qsizetype(BrotliEncoderMaxCompressedSize(size_t(plain.size()))), '\0');
        size_t size = size_t(out.size());
        if (!BrotliEncoderCompress(5, 22, BROTLI_MODE_GENERIC, size_t(plain.size()),
                                   reinterpret_cast<const uint8_t*>(plain.constData()), &size,
                                   reinterpret_cast<uint8_t*>(out.data())))
            return {};
        out.resize(qsizetype(size));
        return out;
    }
    z_stream z{};
    const int bits = encoding == QLatin1String("gzip") ? 15 + 16 : 15;
    if (deflateInit2(&z, 6, Z_DEFLATED, bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&z, uLong(plain.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.constData()));
    z.avail_in = uInt(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int result = deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return result == Z_STREAM_END ? out : QByteArray();
}
