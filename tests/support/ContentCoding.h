#pragma once

#include <QByteArray>
#include <QString>

// A body as a server sends it in a content coding: "gzip", "deflate" (a zlib
// stream) or "br"; an empty coding gives the body as it is. Empty on failure.
QByteArray EncodeContent(const QString& encoding, const QByteArray& plain);
