#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

// Undoes an HTTP content encoding ("gzip", "x-gzip", "deflate", "br") piece
// by piece, so a cached body stored as the server sent it can be written out
// as the document itself without holding it whole in memory.
class ContentDecoder {
public:
    virtual ~ContentDecoder() = default;

    // A decoder for the encoding; null when the encoding is unknown. An empty
    // encoding or "identity" gives a decoder that passes bytes through.
    static std::unique_ptr<ContentDecoder> create(const QString& encoding);
    // Whether create() knows the encoding.
    static bool supports(const QString& encoding);

    // Appends the decoded bytes of the next piece to out; false on corrupt data.
    virtual bool feed(const QByteArray& piece, QByteArray& out) = 0;
    // True when the encoded stream ended completely.
    virtual bool finished() const = 0;
};
