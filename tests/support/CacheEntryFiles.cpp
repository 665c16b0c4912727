#include "CacheEntryFiles.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtEndian>
#include <zlib.h>

namespace {

void put32(QByteArray& out, quint32 value) {
    char raw[4];
    qToLittleEndian(value, raw);
    out.append(raw, 4);
}

void put64(QByteArray& out, quint64 value) {
    char raw[8];
    qToLittleEndian(value, raw);
    out.append(raw, 8);
}

QByteArray endRecord(quint32 flags, quint32 streamSize, quint32 crc = 0) {
    QByteArray out;
    put64(out, 0xf4fa6f45970d41d8ULL);
    put32(out, flags);
    put32(out, crc); // only read when the flags claim it
    put32(out, streamSize);
    put32(out, 0);
    return out;
}

} // namespace

QString WriteCacheEntryFile(const QString& folder, const QString& address, const QByteArray& body,
                            const QByteArray& contentType, const QByteArray& contentEncoding,
                            bool bodyCrc) {
    const QByteArray key = "1/0/" + address.toUtf8();
    const QByteArray sha1 = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    const QString name = QString::fromLatin1(sha1.left(8).toHex()) + QStringLiteral("_0");

    QByteArray data;
    put64(data, 0xfcfb6d1ba7725c30ULL);
    put32(data, 5);
    put32(data, quint32(key.size()));
    put32(data, qFromLittleEndian<quint32>(sha1.constData() + 8));
    put32(data, 0);
    data += key;
    data += body;
    if (bodyCrc) {
        const quint32 crc =
            quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
        data += endRecord(1, quint32(body.size()), crc);
    } else {
        data += endRecord(0, quint32(body.size()));
    }

    QByteArray headers = "HTTP/1.1 200 OK";
    headers += '\0';
    headers += "Content-Type: " + contentType;
    headers += '\0';
    headers += "Content-Length: " + QByteArray::number(body.size());
    headers += '\0';
    if (!contentEncoding.isEmpty()) {
        headers += "Content-Encoding: " + contentEncoding;
        headers += '\0';
    }
    headers += '\0';
    QByteArray stream0;
    put32(stream0, 0); // payload size, set below
    put32(stream0, 0); // flags
    put64(stream0, 0); // request time
    put64(stream0, 0); // response time
    put32(stream0, quint32(headers.size()));
    stream0 += headers;
    while (stream0.size() % 4)
        stream0 += '\0';
    qToLittleEndian(quint32(stream0.size() - 4), stream0.data());
    data += stream0;
    data += QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    data += endRecord(2, quint32(stream0.size()));

    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return {};
    return path;
}
