#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// Undoes an HTTP content encoding ("gzip", "x-gzip", "deflate", "br") as a
// stream, so a cached body stored as the server sent it can be written out as
// the document itself. Output comes in steps of at most OutputBound bytes,
// however much the input expands: a small body that inflates to gigabytes
// never has more than one step's output in memory.
//
// Use: feed() a piece of input, then call step() until it asks for more input
// (NeedsInput), reports the end (Finished) or fails (Failed); write each
// step's output before the next step.
class ContentDecoder {
public:
    static constexpr qsizetype OutputBound = 256 * 1024;

    enum class Step {
        More,       // output given; call step() again before feeding
        NeedsInput, // the fed input is used up (output may still be given)
        Finished,   // the encoded stream ended (output may still be given)
        Failed,     // corrupt data, or bytes after the end of the stream
    };

    virtual ~ContentDecoder() = default;

    // A decoder for the encoding; null when the encoding is unknown. An empty
    // encoding or "identity" gives a decoder that passes bytes through.
    static std::unique_ptr<ContentDecoder> create(const QString& encoding);
    // Whether create() knows the encoding.
    static bool supports(const QString& encoding);

    // Hands over the next piece of input. Only after NeedsInput (or first).
    void feed(const QByteArray& piece);
    // Replaces out with the next decoded bytes, at most OutputBound of them.
    Step step(QByteArray& out);
    // True once the encoded stream ended completely (always, for bytes
    // that carry no encoding: they have no end of their own).
    bool finished() const { return m_finished || !endsItself(); }

protected:
    virtual bool endsItself() const { return true; }
    // Decodes from input (advancing it) into at most capacity bytes at out;
    // written receives how many were written.
    virtual Step decode(const char*& input, qsizetype& available, char* out, qsizetype capacity,
                        qsizetype& written) = 0;

private:
    QByteArray m_input;
    const char* m_next = nullptr;
    qsizetype m_available = 0;
    bool m_finished = false;
    bool m_failed = false;
};
