#include "platform/ContentDecoder.h"

#include <brotli/decode.h>
#include <zlib.h>

namespace {

constexpr int OutputBytes = 256 * 1024;

class PassThrough : public ContentDecoder {
public:
    bool feed(const QByteArray& piece, QByteArray& out) override {
        out += piece;
        return true;
    }
    bool finished() const override { return true; }
};

class ZlibDecoder : public ContentDecoder {
public:
    explicit ZlibDecoder(bool gzip) : m_gzip(gzip) {
        // 32 + 15: a gzip or zlib header, told apart by the stream itself.
        m_ok = inflateInit2(&m_stream, 32 + MAX_WBITS) == Z_OK;
    }
    ~ZlibDecoder() override { inflateEnd(&m_stream); }

    bool feed(const QByteArray& piece, QByteArray& out) override {
        if (!m_ok)
            return false;
        if (m_done)
            return piece.isEmpty();
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.constData()));
        m_stream.avail_in = uInt(piece.size());
        char buffer[OutputBytes];
        while (m_stream.avail_in > 0 || m_stream.avail_out == 0) {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = sizeof buffer;
            int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result == Z_DATA_ERROR && !m_gzip && !m_triedRaw && m_stream.total_out == 0) {
                // Some servers send "deflate" without the zlib header.
                m_triedRaw = true;
                inflateEnd(&m_stream);
                m_stream = z_stream{};
                if (inflateInit2(&m_stream, -MAX_WBITS) != Z_OK)
                    return m_ok = false;
                return feed(m_fed + piece, out);
            }
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
                return m_ok = false;
            out.append(buffer, qsizetype(sizeof buffer - m_stream.avail_out));
            if (result == Z_STREAM_END) {
                m_done = true;
                break;
            }
            if (result == Z_BUF_ERROR)
                break;
        }
        if (!m_triedRaw && m_stream.total_out == 0)
            m_fed += piece;
        return true;
    }
    bool finished() const override { return m_done; }

private:
    z_stream m_stream{};
    bool m_gzip;
    bool m_ok = false;
    bool m_done = false;
    bool m_triedRaw = false;
    QByteArray m_fed; // input kept until the first output, for the raw retry
};

class BrotliDecoder : public ContentDecoder {
public:
    BrotliDecoder() : m_state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~BrotliDecoder() override { BrotliDecoderDestroyInstance(m_state); }

    bool feed(const QByteArray& piece, QByteArray& out) override {
        if (!m_state)
            return false;
        size_t availableIn = size_t(piece.size());
        const auto* nextIn = reinterpret_cast<const uint8_t*>(piece.constData());
        uint8_t buffer[OutputBytes];
        for (;;) {
            size_t availableOut = sizeof buffer;
            uint8_t* nextOut = buffer;
            const BrotliDecoderResult result = BrotliDecoderDecompressStream(
                m_state, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
            out.append(reinterpret_cast<const char*>(buffer),
                       qsizetype(sizeof buffer - availableOut));
            if (result == BROTLI_DECODER_RESULT_ERROR)
                return false;
            if (result == BROTLI_DECODER_RESULT_SUCCESS) {
                m_done = true;
                return availableIn == 0;
            }
            if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT)
                return true;
        }
    }
    bool finished() const override { return m_done; }

private:
    BrotliDecoderState* m_state;
    bool m_done = false;
};

QString normalised(const QString& encoding) {
    return encoding.trimmed().toLower();
}

} // namespace

bool ContentDecoder::supports(const QString& encoding) {
    const QString e = normalised(encoding);
    return e.isEmpty() || e == QLatin1String("identity") || e == QLatin1String("gzip") ||
           e == QLatin1String("x-gzip") || e == QLatin1String("deflate") ||
           e == QLatin1String("br");
}

std::unique_ptr<ContentDecoder> ContentDecoder::create(const QString& encoding) {
    const QString e = normalised(encoding);
    if (e.isEmpty() || e == QLatin1String("identity"))
        return std::make_unique<PassThrough>();
    if (e == QLatin1String("gzip") || e == QLatin1String("x-gzip"))
        return std::make_unique<ZlibDecoder>(true);
    if (e == QLatin1String("deflate"))
        return std::make_unique<ZlibDecoder>(false);
    if (e == QLatin1String("br"))
        return std::make_unique<BrotliDecoder>();
    return nullptr;
}
