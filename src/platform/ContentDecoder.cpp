#include "platform/ContentDecoder.h"

#include <brotli/decode.h>
#include <climits>
#include <cstring>
#include <zlib.h>

namespace {

class PassThrough : public ContentDecoder {
protected:
    Step decode(const char*& input, qsizetype& available, char* out, qsizetype capacity,
                qsizetype& written) override {
        written = qMin(available, capacity);
        if (written > 0)
            std::memcpy(out, input, size_t(written));
        input += written;
        available -= written;
        return available == 0 ? Step::NeedsInput : Step::More;
    }
    bool endsItself() const override { return false; }
};

class ZlibDecoder : public ContentDecoder {
public:
    explicit ZlibDecoder(bool gzip) : m_gzip(gzip) {
        // 32 + 15: a gzip or zlib header, told apart by the stream itself.
        m_ok = inflateInit2(&m_stream, 32 + MAX_WBITS) == Z_OK;
    }
    ~ZlibDecoder() override { inflateEnd(&m_stream); }

protected:
    Step decode(const char*& input, qsizetype& available, char* out, qsizetype capacity,
                qsizetype& written) override {
        written = 0;
        if (!m_ok)
            return Step::Failed;
        if (m_done) {
            // Some servers send bytes after the end; the browser ignores them too.
            input += available;
            available = 0;
            return Step::Finished;
        }
        const bool replaying = m_replayAt < m_replay.size();
        const char* from = replaying ? m_replay.constData() + m_replayAt : input;
        const qsizetype have =
            qMin<qsizetype>(replaying ? m_replay.size() - m_replayAt : available, UINT_MAX);
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(from));
        m_stream.avail_in = uInt(have);
        m_stream.next_out = reinterpret_cast<Bytef*>(out);
        m_stream.avail_out = uInt(capacity);
        const int result = inflate(&m_stream, Z_NO_FLUSH);
        const qsizetype used = have - qsizetype(m_stream.avail_in);
        written = capacity - qsizetype(m_stream.avail_out);

        if (result == Z_DATA_ERROR && !m_gzip && !m_triedRaw && m_stream.total_out == 0 &&
            m_keepPrefix) {
            // Some servers send "deflate" without the zlib header: start again
            // raw, from the first byte.
            m_triedRaw = true;
            inflateEnd(&m_stream);
            m_stream = z_stream{};
            m_ok = inflateInit2(&m_stream, -MAX_WBITS) == Z_OK;
            m_replay = m_prefix;
            m_replayAt = 0;
            m_prefix.clear();
            written = 0;
            return m_ok ? Step::More : Step::Failed;
        }
        if (replaying) {
            m_replayAt += used;
        } else {
            if (m_keepPrefix && m_stream.total_out == 0) {
                m_prefix.append(input, used);
                m_keepPrefix = m_prefix.size() <= PrefixLimit;
            }
            input += used;
            available -= used;
        }
        if (m_stream.total_out > 0) {
            m_keepPrefix = false;
            m_prefix.clear();
        }
        if (result == Z_STREAM_END) {
            m_done = true;
            m_replay.clear();
            input += available;
            available = 0;
            return Step::Finished;
        }
        if (result != Z_OK && result != Z_BUF_ERROR)
            return Step::Failed;
        if (written == capacity || m_replayAt < m_replay.size())
            return Step::More;
        if (available == 0)
            return Step::NeedsInput;
        // Input and room left, yet no progress: the stream is broken.
        return used > 0 || written > 0 ? Step::More : Step::Failed;
    }

private:
    // A zlib stream gives output within its first bytes; input kept longer
    // than this without any cannot be a raw stream worth a second try.
    static constexpr qsizetype PrefixLimit = 64 * 1024;

    z_stream m_stream{};
    bool m_gzip;
    bool m_ok = false;
    bool m_done = false;
    bool m_triedRaw = false;
    bool m_keepPrefix = true;
    QByteArray m_prefix; // input used before the first output, for the raw retry
    QByteArray m_replay;
    qsizetype m_replayAt = 0;
};

class BrotliDecoder : public ContentDecoder {
public:
    BrotliDecoder() : m_state(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
    ~BrotliDecoder() override { BrotliDecoderDestroyInstance(m_state); }

protected:
    Step decode(const char*& input, qsizetype& available, char* out, qsizetype capacity,
                qsizetype& written) override {
        written = 0;
        if (!m_state)
            return Step::Failed;
        if (m_done)
            return available == 0 ? Step::Finished : Step::Failed;
        size_t availableIn = size_t(available);
        const auto* nextIn = reinterpret_cast<const uint8_t*>(input);
        size_t availableOut = size_t(capacity);
        auto* nextOut = reinterpret_cast<uint8_t*>(out);
        const BrotliDecoderResult result = BrotliDecoderDecompressStream(
            m_state, &availableIn, &nextIn, &availableOut, &nextOut, nullptr);
        written = capacity - qsizetype(availableOut);
        input = reinterpret_cast<const char*>(nextIn);
        available = qsizetype(availableIn);
        switch (result) {
        case BROTLI_DECODER_RESULT_SUCCESS:
            m_done = true;
            return available == 0 ? Step::Finished : Step::Failed;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT:
            return Step::More;
        case BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT:
            return Step::NeedsInput;
        case BROTLI_DECODER_RESULT_ERROR:
            break;
        }
        return Step::Failed;
    }

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

void ContentDecoder::feed(const QByteArray& piece) {
    if (m_available > 0)
        m_input = QByteArray(m_next, m_available) + piece;
    else
        m_input = piece;
    m_next = m_input.constData();
    m_available = m_input.size();
}

ContentDecoder::Step ContentDecoder::step(QByteArray& out) {
    if (m_failed) {
        out.resize(0);
        return Step::Failed;
    }
    // The buffer keeps its capacity from step to step: no allocation per step.
    out.resize(OutputBound);
    qsizetype written = 0;
    const Step result = decode(m_next, m_available, out.data(), OutputBound, written);
    out.resize(qBound<qsizetype>(0, written, OutputBound));
    if (result == Step::Failed)
        m_failed = true;
    else if (result == Step::Finished)
        m_finished = true;
    return result;
}
