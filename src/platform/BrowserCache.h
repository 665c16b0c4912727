#pragma once

#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

// One entry of the embedded browser's disk cache.
//
// Chromium keeps each entry in one file, <16 hex digits>_0, in the cache's
// Cache_Data folder: a 24-byte header (magic, version, key length, key hash),
// the key ("1/0/" and the source address), the body as the server sent it, an
// end record, the response headers (stream 0), an optional SHA-256 of the key
// and a last end record that gives the size of the headers. The body therefore
// sits between the key and the first end record; it is never the whole file.
struct BrowserCacheEntry {
    QString address;         // the source address
    QString file;            // the entry file (<hash>_0)
    qint64 bodyOffset = 0;   // where the body starts in the file
    qint64 bodySize = -1;    // -1: the body is not (or not yet) in this file
    QString contentType;     // from the stored response headers, may be empty
    QString contentEncoding; // "gzip", "br", ... when the body is stored encoded
    bool normal = false;     // a cached response with a source address
    bool hasBodyCrc = false; // the body's end record carries a CRC-32 of the body
    quint32 bodyCrc = 0;

    bool hasBody() const { return bodySize > 0; }
};

// The browser's HTTP disk cache in one folder (the folder of the entry files).
// Reading never changes the cache. Removing entries unlinks their files: the
// cache backend treats a missing file as a miss and mends its index, so this is
// safe while the browser runs, and the browser goes on caching. (The profile's
// own clearHttpCache() is not used: with this engine a later request for an
// address that had been served from the cache never completed.)
class BrowserCache {
public:
    explicit BrowserCache(const QString& entryFolder);

    // The entry folder of the program's browser profile (whether or not the
    // profile has been started in this process).
    static QString profileEntryFolder();

    QString folder() const { return m_folder; }
    bool exists() const;
    // True when the folder exists but cannot be listed.
    bool unreadable() const;

    // Reads one entry file; nothing when it is not an entry file at all
    // (only a regular file is read: the open never waits on a FIFO or device).
    // A file still being written (no end records yet) gives an entry without
    // a body.
    static std::optional<BrowserCacheEntry> readEntry(const QString& file);
    // The same from a file already open for reading, so a caller can check
    // the records and then read the body from the very same file (open it
    // with OpenRegularFile; the entry's file is then the QFile's name).
    static std::optional<BrowserCacheEntry> readEntry(QFile& file);

    // The CRC-32 the end records use, carried on by piece (start with 0).
    static quint32 bodyCrc(quint32 running, const QByteArray& piece);

    // Whether a file name is one of the backend's entry files (<16 hex>_0).
    static bool isEntryFileName(const QString& name);
    // The backend's own bookkeeping files (its index), which a running browser
    // keeps open and rewrites.
    static bool isBookkeepingFile(const QString& path);

    // Reads the folder a slice at a time, so a caller on the user-interface
    // thread can process events between slices.
    class Reader {
    public:
        explicit Reader(const QString& folder);
        // Appends up to count entries (normal or not); false when the folder
        // is exhausted.
        bool readSome(int count, QList<BrowserCacheEntry>& out);

    private:
        std::unique_ptr<QDirIterator> m_it;
    };

    // Every entry at once (tests, benchmarks).
    QList<BrowserCacheEntry> entries() const;

    // Removes the entry's files (<hash>_0 and its _1 and _s companions) when
    // they lie in this cache's folder; links are never followed, on the way
    // to the folder nor in it.
    bool removeEntry(const QString& entryFile) const;

    // Whether the program's own browser profile is running on this folder.
    bool isLive() const;

private:
    QString m_folder;
};
