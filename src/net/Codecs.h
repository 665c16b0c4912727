#pragma once

#include <QByteArray>
#include <QString>

// Conversions shared by the network code and the naming of saved files:
// decoding answer bodies and percent-escaped file names, header clean-up and
// cutting texts to a byte length. None keeps state; none fails loudly: a step
// that cannot be done is skipped and what has been built is returned.

// The scheme-and-host prefix of an address ("https://host/a?b" gives
// "https://host"); the default referring address of a request.
QString UrlRoot(const QString& address);

// The character set an empty charset argument means: "Unicode", that is
// little-endian UTF-16.
inline constexpr const char* DefaultTextCharset = "Unicode";

// The bytes decoded as text in the named character set ("GB2312" reads as code
// page 936, "utf-8", ...). A leading byte-order mark is dropped. An empty
// (or blank) charset uses DefaultTextCharset; an unknown one gives the empty text.
QString BytesToText(const QByteArray& bytes, const QString& charset);

// Percent-decoding with escaped bytes read as UTF-8. "%uXXXX" (lower-case u)
// is one UTF-16 unit, "+" a space. A run of byte escapes is decoded on its own
// and ends at the first zero byte (an escape of 00 or of non-hex digits).
QString UrlDecodeUtf8(const QString& text);

// Percent-decoding that decides once per text whether escaped bytes of 0x80 and
// above are UTF-8 or code page 936 double-byte characters; "%u"/"%U" escapes
// are UTF-16 units and "+" a space.
QString UrlDecodeAuto(const QString& text);

// The text of UTF-8 bytes, up to the first zero byte; malformed sequences
// become U+FFFD.
QString Utf8BytesToText(const QByteArray& bytes);

// The value that the text (spaces around it ignored) writes in hexadecimal, or
// -1 when it is empty or not hexadecimal.
qint64 HexValue(const QString& text);

// The text without line breaks, NUL characters and tabs, trimmed.
QString CleanHeaderValue(const QString& text);

// Which byte form of a text LeftBytes counts.
enum class ByteForm {
    Utf8, // the form of file names on this system
    Gbk,  // code page 936
};

// The longest start of the text whose byte form is at most n bytes; a character
// is never cut in two. File names are counted in UTF-8 because that is what the
// file system stores and limits (255 bytes a name); a double-byte code page
// count would let 100 CJK characters (300 UTF-8 bytes) through. Code page 936
// counting is kept for texts meant for that code page. A text within the limit
// comes back unchanged; characters outside code page 936 count as one byte, as
// the "?" they would become.
QString LeftBytes(const QString& text, int n, ByteForm form = ByteForm::Utf8);

// The text without leading and trailing spaces; other white space (tabs, line
// breaks) is part of the text and stays.
QString TrimSpaces(const QString& text);
