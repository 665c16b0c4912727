#pragma once

#include <QByteArray>
#include <QString>

// Writes one entry file of the browser's disk cache in the format the browser
// engine uses (a header, the key "1/0/" + address, the body, an end record, the
// response headers, the key's SHA-256 and a last end record), so tests and
// benchmarks can build caches of any size without a browser. Returns the
// file's path, or "" when it could not be written.
QString WriteCacheEntryFile(const QString& folder, const QString& address, const QByteArray& body,
                            const QByteArray& contentType = "application/octet-stream");
