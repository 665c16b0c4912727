#include "platform/BrowserCache.h"

#include "platform/BrowserProfile.h"
#include "platform/ConfinedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtEndian>
#include <zlib.h>

namespace {

constexpr quint64 InitialMagic = 0xfcfb6d1ba7725c30ULL;
constexpr quint64 FinalMagic = 0xf4fa6f45970d41d8ULL;
constexpr qint64 HeaderBytes = 24; // magic, version, key length, key hash, padding
constexpr qint64 EndBytes = 24;    // magic, flags, crc, stream size, padding
constexpr quint32 FlagHasCrc32 = 1;
constexpr quint32 FlagHasKeySha256 = 2;
constexpr qint64 KeySha256Bytes = 32;
// No address is this long; a larger key length means the file is not an entry.
constexpr quint32 MaxKeyBytes = 1 << 20;
// Response headers are small; anything larger is not a header block.
constexpr quint32 MaxHeaderBytes = 1 << 22;

struct EndRecord {
    quint32 flags = 0;
    quint32 crc = 0;
    quint32 streamSize = 0;
};

std::optional<EndRecord> readEnd(QFile& file, qint64 at) {
    if (at < 0 || !file.seek(at))
        return std::nullopt;
    const QByteArray raw = file.read(EndBytes);
    if (raw.size() != EndBytes)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(raw.constData());
    if (qFromLittleEndian<quint64>(p) != FinalMagic)
        return std::nullopt;
    EndRecord end;
    end.flags = qFromLittleEndian<quint32>(p + 8);
    end.crc = qFromLittleEndian<quint32>(p + 12);
    end.streamSize = qFromLittleEndian<quint32>(p + 16);
    return end;
}

// The source address in a cache key. Keys are "1/0/" + the address; with the
// network isolation key in use they carry "_dk_" and the isolating sites
// before the address, separated by spaces.
QString addressFromKey(const QByteArray& key) {
    QByteArray rest = key;
    // Leading "<digits>/" parts (the key's format and upload identifiers).
    for (;;) {
        int i = 0;
        while (i < rest.size() && rest.at(i) >= '0' && rest.at(i) <= '9')
            ++i;
        if (i == 0 || i >= rest.size() || rest.at(i) != '/')
            break;
        rest = rest.mid(i + 1);
    }
    if (rest.startsWith("_dk_") || rest.contains(' '))
        rest = rest.mid(rest.lastIndexOf(' ') + 1);
    return QString::fromUtf8(rest);
}

void readHeaders(const QByteArray& stream0, BrowserCacheEntry& entry) {
    const qsizetype start = stream0.indexOf("HTTP/");
    if (start < 0)
        return;
    qsizetype end = stream0.indexOf(QByteArray("\0\0", 2), start);
    if (end < 0)
        end = stream0.size();
    const QList<QByteArray> lines = stream0.mid(start, end - start).split('\0');
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QString value = QString::fromLatin1(line.mid(colon + 1).trimmed());
        if (name == "content-type")
            entry.contentType = value;
        else if (name == "content-encoding" &&
                 value.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0)
            entry.contentEncoding = value.toLower();
    }
}

QString canonicalFolder(const QString& folder) {
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QString() : c;
}

} // namespace

BrowserCache::BrowserCache(const QString& entryFolder) : m_folder(QDir::cleanPath(entryFolder)) {}

QString BrowserCache::profileEntryFolder() {
    // The profile puts its HTTP cache under <cachePath>/Cache/Cache_Data.
    QString cachePath;
    if (BrowserProfile* profile = BrowserProfile::existing())
        cachePath = profile->cachePath();
    else
        cachePath = BrowserProfile::storageRoot() + QStringLiteral("/cache");
    return QDir::cleanPath(cachePath + QStringLiteral("/Cache/Cache_Data"));
}

bool BrowserCache::exists() const {
    return QFileInfo(m_folder).isDir();
}

bool BrowserCache::unreadable() const {
    const QFileInfo info(m_folder);
    return info.isDir() && !(info.isReadable() && info.isExecutable());
}

quint32 BrowserCache::bodyCrc(quint32 running, const QByteArray& piece) {
    quint32 crc = running;
    const auto* p = reinterpret_cast<const Bytef*>(piece.constData());
    qsizetype left = piece.size();
    while (left > 0) {
        const uInt n = uInt(qMin<qsizetype>(left, 1 << 30));
        crc = quint32(crc32(crc, p, n));
        p += n;
        left -= n;
    }
    return crc;
}

bool BrowserCache::isEntryFileName(const QString& name) {
    if (name.size() != 18 || !name.endsWith(QLatin1String("_0")))
        return false;
    for (int i = 0; i < 16; ++i) {
        const QChar c = name.at(i);
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
              (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

bool BrowserCache::isBookkeepingFile(const QString& path) {
    const QFileInfo info(path);
    const QString name = info.fileName();
    return name == QLatin1String("index") || name == QLatin1String("the-real-index") ||
           info.dir().dirName() == QLatin1String("index-dir");
}

std::optional<BrowserCacheEntry> BrowserCache::readEntry(const QString& path) {
    // A FIFO or device named like an entry is no entry, and is never waited on.
    QFile file;
    if (!OpenRegularFile(file, path))
        return std::nullopt;
    std::optional<BrowserCacheEntry> entry = readEntry(file);
    if (entry)
        entry->file = path;
    return entry;
}

std::optional<BrowserCacheEntry> BrowserCache::readEntry(QFile& file) {
    const qint64 size = file.size();
    if (!file.seek(0))
        return std::nullopt;
    const QByteArray head = file.read(HeaderBytes);
    if (head.size() != HeaderBytes)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(head.constData());
    if (qFromLittleEndian<quint64>(p) != InitialMagic)
        return std::nullopt;
    const quint32 keyLength = qFromLittleEndian<quint32>(p + 12);
    if (keyLength == 0 || keyLength > MaxKeyBytes || HeaderBytes + keyLength > size)
        return std::nullopt;
    const QByteArray key = file.read(keyLength);
    if (key.size() != qsizetype(keyLength))
        return std::nullopt;

    BrowserCacheEntry entry;
    entry.file = file.fileName();
    entry.address = addressFromKey(key);
    const QUrl url(entry.address, QUrl::StrictMode);
    entry.normal = url.isValid() && !url.scheme().isEmpty();
    entry.bodyOffset = HeaderBytes + keyLength;

    // The body's end is found from the back: the last end record gives the
    // size of the headers before it, and the body's own end record precedes
    // them. A file without these records is still being written.
    const std::optional<EndRecord> last = readEnd(file, size - EndBytes);
    if (!last || last->streamSize > MaxHeaderBytes)
        return entry;
    const qint64 sha = (last->flags & FlagHasKeySha256) ? KeySha256Bytes : 0;
    const qint64 headersAt = size - EndBytes - sha - qint64(last->streamSize);
    const qint64 bodyEndAt = headersAt - EndBytes;
    if (bodyEndAt < entry.bodyOffset)
        return entry;
    const std::optional<EndRecord> bodyEnd = readEnd(file, bodyEndAt);
    if (!bodyEnd)
        return entry;
    const qint64 bodySize = bodyEndAt - entry.bodyOffset;
    if (bodyEnd->streamSize != 0 && qint64(bodyEnd->streamSize) != bodySize)
        return entry;
    if (file.seek(headersAt))
        readHeaders(file.read(last->streamSize), entry);
    entry.hasBodyCrc = (bodyEnd->flags & FlagHasCrc32) != 0;
    entry.bodyCrc = bodyEnd->crc;
    entry.bodySize = bodySize > 0 ? bodySize : -1;
    return entry;
}

BrowserCache::Reader::Reader(const QString& folder)
    : m_it(std::make_unique<QDirIterator>(folder, QStringList{QStringLiteral("*_0")},
                                          QDir::Files | QDir::Hidden | QDir::System |
                                              QDir::NoSymLinks)) {}

bool BrowserCache::Reader::readSome(int count, QList<BrowserCacheEntry>& out) {
    int read = 0;
    while (read < count) {
        if (!m_it->hasNext())
            return false;
        const QString path = m_it->next();
        if (!isEntryFileName(m_it->fileName()))
            continue;
        ++read;
        if (std::optional<BrowserCacheEntry> entry = readEntry(path))
            out.append(std::move(*entry));
    }
    return m_it->hasNext();
}

QList<BrowserCacheEntry> BrowserCache::entries() const {
    QList<BrowserCacheEntry> all;
    Reader reader(m_folder);
    while (reader.readSome(1000, all)) {
    }
    return all;
}

bool BrowserCache::removeEntry(const QString& entryFile) const {
    const QFileInfo info(entryFile);
    const QString root = canonicalFolder(m_folder);
    if (root.isEmpty() || !isEntryFileName(info.fileName()))
        return false;
    if (canonicalFolder(info.absolutePath()) != root)
        return false;
    const QString stem = info.fileName().chopped(2);
    bool removed = true;
    for (const char* suffix : {"_0", "_1", "_s"}) {
        const QString name = stem + QLatin1String(suffix);
        const QFileInfo companion(root + QLatin1Char('/') + name);
        if (!companion.exists() && !companion.isSymLink())
            continue;
        if (companion.isSymLink() || !companion.isFile())
            continue; // a link or folder under an entry's name is not the cache's
        if (!RemoveFileBelow(root, name) && QFileInfo::exists(companion.filePath()))
            removed = false;
    }
    return removed;
}

bool BrowserCache::isLive() const {
    BrowserProfile* profile = BrowserProfile::existing();
    if (!profile)
        return false;
    const QString live =
        canonicalFolder(profile->cachePath() + QStringLiteral("/Cache/Cache_Data"));
    const QString mine = canonicalFolder(m_folder);
    if (live.isEmpty() || mine.isEmpty())
        return QDir::cleanPath(profile->cachePath() + QStringLiteral("/Cache/Cache_Data")) ==
               m_folder;
    return live == mine;
}
