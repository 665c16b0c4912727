#pragma once

#include <QByteArray>
#include <QString>

// Writes one entry file of the browser's disk cache in the format the browser
// engine uses (a header, the key "1/0/" + address, the body, an end record, the
// response headers, the key's SHA-256 and a last end record), so tests and
// benchmarks can build caches of any size without a browser. The body is
// stored as given: with a contentEncoding it must already be encoded so.
// bodyCrc: the body's end record carries its CRC-32, as when the browser
// wrote the body in one go. Returns the file's path, or "" when it could not
// be written.
QString WriteCacheEntryFile(const QString& folder, const QString& address, const QByteArray& body,
                            const QByteArray& contentType = "application/octet-stream",
                            const QByteArray& contentEncoding = QByteArray(), bool bodyCrc = false);
