#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// What a look inside a PDF file found: whether a PDF library could open it,
// its pages, its document information and the text of its first page, with
// the file's size, modification time and SHA-256 as they were read.
//
// Reading never writes the file. Both calls below are slow (they read the
// whole file) and are meant for a worker thread; nothing in them touches the
// user-interface thread's objects.
struct PdfFacts {
    bool fileRead = false; // the file could be read to its end (size, time, hash are valid)
    bool opened = false;   // the PDF library opened it
    int pageCount = 0;
    QString title;  // document information; empty when absent
    QString author; // as the file wrote it (often several names in one text)
    QString firstPageText;
    qint64 size = -1;
    qint64 modifiedNs = 0; // st_mtim, nanoseconds since the epoch
    QByteArray sha256;     // lower-case hex
};

// Reads path: its bytes for the hash, then the PDF through the library.
PdfFacts ReadPdfFacts(const QString& path);

// The SHA-256 of a file (lower-case hex) and its size; empty and -1 when it
// cannot be read whole.
QByteArray FileSha256(const QString& path, qint64* size = nullptr);

// The modification time of path in nanoseconds since the epoch, and its size;
// false when path names no regular file.
bool FileStamp(const QString& path, qint64& size, qint64& modifiedNs);

// The first page of the PDF at path drawn to fit within bounds, keeping its
// proportions; a null image when the file cannot be opened.
QImage RenderFirstPdfPage(const QString& path, QSize bounds);
