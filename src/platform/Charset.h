#pragma once

#include <QByteArray>
#include <QString>

// Character sets by name, as servers and pages label them ("GB2312", "utf-8",
// "GBK", "big5", ...), on top of ICU converters. Stateless; every call opens
// and closes its own converter.
namespace Charset {

// True when the name (trimmed, any case) names a character set we can convert.
bool isKnown(const QString& name);

// The bytes decoded in the named character set. Malformed sequences become
// U+FFFD. An unknown name gives the empty text and sets *known to false.
QString decode(const QByteArray& bytes, const QString& name, bool* known = nullptr);

// The text encoded in the named character set. Characters the set lacks become
// "?". An unknown name gives no bytes and sets *known to false.
QByteArray encode(const QString& text, const QString& name, bool* known = nullptr);

// Code page 936 (GBK), the double-byte code page the program reads server data in.
QString fromGbk(const QByteArray& bytes);
QByteArray toGbk(const QString& text);

} // namespace Charset
