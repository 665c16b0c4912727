#include "tools/CopyTool.h"

#include "platform/BrowserCache.h"
#include "platform/ConfinedFiles.h"
#include "platform/ContentDecoder.h"
#include "platform/FileBatch.h"
#include "shell/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

#include <sys/stat.h>

namespace {

// Large enough to copy at disk speed, small enough that a stop click or a
// repaint is never far off.
constexpr qint64 ChunkBytes = 1 << 20;

int lastSeparator(const QString& text) {
    return qMax(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\')));
}

QString canonicalFolder(const QString& folder) {
    return QFileInfo(folder).canonicalFilePath();
}

bool taken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool sameEntry(const BrowserCacheEntry& a, const BrowserCacheEntry& b) {
    return a.address == b.address && a.bodyOffset == b.bodyOffset && a.bodySize == b.bodySize &&
           a.hasBodyCrc == b.hasBodyCrc && a.bodyCrc == b.bodyCrc &&
           a.contentEncoding == b.contentEncoding;
}

// Whether the file open at fd is no longer what it was when the copy began.
// A rewrite of the same length leaves only its modification time behind
// (and, for an entry, its CRC when the browser wrote one); one in the same
// tick of the file system's clock cannot be seen at all.
bool changedSince(const struct stat& before, int fd) {
    struct stat now {};
    return ::fstat(fd, &now) != 0 || now.st_size != before.st_size ||
           now.st_mtim.tv_sec != before.st_mtim.tv_sec ||
           now.st_mtim.tv_nsec != before.st_mtim.tv_nsec;
}

// Writes the source's bytes, decoded, to a new temporary file of files meant
// for target; index receives it. On failure or stop nothing is left behind.
CopyResult writeSource(FileBatch& files, const CopySource& source, const QString& target,
                       const KeepGoing& keepGoing, int& index, QDateTime& modified) {
    index = -1;
    // Only a regular file is read, and the open never waits: cache folders
    // may hold a FIFO under an entry's name.
    QFile in;
    struct stat before {};
    if (!OpenRegularFile(in, source.path) || ::fstat(in.handle(), &before) != 0)
        return CopyResult::Failed;
    qint64 offset = source.offset;
    qint64 remaining =
        source.length < 0 ? qMax<qint64>(0, qint64(before.st_size) - offset) : source.length;
    if (offset < 0 || offset + remaining > qint64(before.st_size))
        return CopyResult::Failed;
    QString encoding = source.encoding;
    // The entry is read again now: the browser may have rewritten it since it
    // was listed, and the body is then elsewhere in the file, or gone.
    std::optional<BrowserCacheEntry> entry;
    if (source.isCacheEntry()) {
        entry = BrowserCache::readEntry(in);
        if (!entry || entry->address != source.address || !entry->hasBody())
            return CopyResult::Failed;
        offset = entry->bodyOffset;
        remaining = entry->bodySize;
        encoding = entry->contentEncoding;
    }
    const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::create(encoding);
    if (!decoder || !in.seek(offset))
        return CopyResult::Failed;
    modified = QDateTime::fromMSecsSinceEpoch(qint64(before.st_mtim.tv_sec) * 1000 +
                                              before.st_mtim.tv_nsec / 1000000);

    index = files.add(target);
    if (index < 0)
        return CopyResult::Failed;
    QIODevice* out = files.device(index);
    const auto fail = [&] {
        files.discard(index);
        index = -1;
        return CopyResult::Failed;
    };
    quint32 crc = BrowserCache::bodyCrc(0, {});
    QByteArray chunk;
    QByteArray decoded;
    while (remaining > 0) {
        chunk = in.read(qMin(remaining, ChunkBytes));
        if (chunk.isEmpty())
            return fail();
        remaining -= chunk.size();
        if (entry && entry->hasBodyCrc)
            crc = BrowserCache::bodyCrc(crc, chunk);
        decoder->feed(chunk);
        for (;;) {
            const ContentDecoder::Step step = decoder->step(decoded);
            if (!decoded.isEmpty() && out->write(decoded) != decoded.size())
                return fail();
            if (step == ContentDecoder::Step::Failed)
                return fail();
            if (step != ContentDecoder::Step::More)
                break;
        }
        if (remaining > 0 && keepGoing && !keepGoing()) {
            files.discard(index);
            index = -1;
            return CopyResult::Stopped;
        }
    }
    if (!decoder->finished())
        return fail();
    if (entry) {
        // A body rewritten in place while it was read shows in its checksum
        // or in the records read once more.
        if (entry->hasBodyCrc && crc != entry->bodyCrc)
            return fail();
        const std::optional<BrowserCacheEntry> after = BrowserCache::readEntry(in);
        if (!after || !sameEntry(*entry, *after))
            return fail();
    }
    // Rewritten while it was read: the copy may hold parts of two versions.
    if (changedSince(before, in.handle()))
        return fail();
    if (!files.close(index, modified)) {
        index = -1;
        return CopyResult::Failed;
    }
    return CopyResult::Copied;
}

} // namespace

CopySource CopySource::cacheEntry(const QString& entryFile, const QString& address,
                                  const QString& targetName) {
    CopySource source(entryFile);
    source.address = address;
    source.name = targetName;
    return source;
}

bool CopySource::exists() const {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    if (isCacheEntry())
        return true;
    if (offset < 0)
        return false;
    return length < 0 ? offset <= info.size() : offset + length <= info.size();
}

qint64 CopySource::size() const {
    const qint64 fileSize = QFileInfo(path).size();
    return length < 0 ? qMax<qint64>(0, fileSize - offset) : length;
}

QString CopySource::targetName() const {
    if (!name.isEmpty())
        return name;
    const QString trimmed = path.trimmed();
    return trimmed.mid(lastSeparator(trimmed) + 1);
}

QString SplitPath(const QString& path, QString& extension, QString& baseName) {
    const QString text = path.trimmed();
    const int slash = lastSeparator(text);
    const QString folder = text.left(slash + 1);
    const QString name = text.mid(slash + 1);
    extension.clear();
    baseName = name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && name.size() - dot - 1 < 7) {
        extension = name.mid(dot + 1).trimmed();
        baseName = name.left(dot).trimmed();
    } else {
        baseName = name.trimmed();
    }
    if (baseName.isEmpty()) {
        baseName = name;
        extension.clear();
    }
    return folder;
}

QString SplitCounter(const QString& name, QString& stem) {
    stem = name;
    QString counter;
    if (name.endsWith(QLatin1Char(']'))) {
        const int open = name.lastIndexOf(QLatin1Char('['), name.size() - 2);
        if (open >= 0) {
            const QString inner = name.mid(open + 1, name.size() - open - 2).trimmed();
            bool numeric = false;
            inner.toDouble(&numeric);
            if (numeric && !inner.isEmpty()) {
                stem = name.left(open);
                counter = inner;
            }
        }
    }
    if (stem.isEmpty()) {
        stem = name;
        counter.clear();
    }
    return counter;
}

QString JoinExtension(const QString& base, const QString& extension) {
    return extension.isEmpty() ? base : base + QLatin1Char('.') + extension;
}

CopyResult CopyToFile(const CopySource& source, const QString& target, const KeepGoing& keepGoing) {
    FileBatch files;
    int index = -1;
    QDateTime modified;
    const CopyResult result = writeSource(files, source, target, keepGoing, index, modified);
    if (result != CopyResult::Copied)
        return result;
    files.sync();
    if (files.place(index, target, true) != FileBatch::Placed::Done)
        return CopyResult::Failed;
    files.syncFolders();
    return CopyResult::Copied;
}

bool CopyWithFreeName(const CopySource& source, const QString& folder, QString& newName,
                      QString& stem, const KeepGoing& keepGoing) {
    QString extension;
    QString base;
    SplitPath(source.targetName(), extension, base);
    SplitCounter(base, stem);
    CopyBatch batch(folder, ExistingFileRule::Rename);
    batch.setAlwaysRename(true);
    if (batch.add(source, keepGoing))
        return false;
    QStringList names;
    const QList<CopyOutcome> outcomes = batch.commit(&names);
    newName = names.value(0);
    return outcomes.value(0, CopyOutcome::Failed) == CopyOutcome::Renamed;
}

CopyOutcome CopyOneFile(const CopySource& source, const QString& folder, ExistingFileRule rule,
                        const KeepGoing& keepGoing, QString* writtenName) {
    CopyBatch batch(folder, rule);
    if (const std::optional<CopyOutcome> now = batch.add(source, keepGoing))
        return *now;
    QStringList names;
    const QList<CopyOutcome> outcomes = batch.commit(&names);
    if (writtenName)
        *writtenName = names.value(0);
    return outcomes.value(0, CopyOutcome::Failed);
}

// --- Batches ---

CopyBatch::CopyBatch(const QString& folder, ExistingFileRule rule)
    : m_folder(folder), m_canonicalFolder(canonicalFolder(folder)), m_rule(rule),
      m_files(std::make_unique<FileBatch>()) {}

CopyBatch::~CopyBatch() = default;

std::optional<CopyOutcome> CopyBatch::add(const CopySource& source, const KeepGoing& keepGoing) {
    // A plain file already in the destination is not copied onto itself.
    if (source.name.isEmpty() && source.offset == 0 && source.length < 0 &&
        !source.isCacheEntry() && !m_canonicalFolder.isEmpty()) {
        const QString sourceFolder = QFileInfo(source.path).absolutePath();
        // Sources mostly come from one folder: it is resolved once.
        if (sourceFolder != m_lastSourceFolder) {
            m_lastSourceFolder = sourceFolder;
            m_lastSourceCanonical = canonicalFolder(sourceFolder);
        }
        if (m_lastSourceCanonical == m_canonicalFolder)
            return CopyOutcome::LeftAlone;
    }

    QString extension;
    QString base;
    SplitPath(source.targetName(), extension, base);
    const QString name = JoinExtension(base, extension);
    const QString target = JoinFolder(m_folder, name);
    if (m_rule == ExistingFileRule::Skip && !m_alwaysRename && taken(target))
        return CopyOutcome::Skipped;

    Staged staged;
    staged.name = name;
    switch (writeSource(*m_files, source, target, keepGoing, staged.file, staged.modified)) {
    case CopyResult::Copied:
        break;
    case CopyResult::Stopped:
        return CopyOutcome::Stopped;
    case CopyResult::Failed:
        return CopyOutcome::Failed;
    }
    staged.size = m_files->size(staged.file);
    m_staged.push_back(staged);
    return std::nullopt;
}

bool CopyBatch::full() const {
    return m_files->pending() >= MaxFiles || m_files->pendingBytes() >= MaxBytes;
}

QList<CopyOutcome> CopyBatch::commit(QStringList* names) {
    m_files->sync();
    QList<CopyOutcome> outcomes;
    for (const Staged& staged : m_staged) {
        QString name;
        const CopyOutcome outcome =
            m_files->isSynced(staged.file) ? place(staged, name) : CopyOutcome::Failed;
        m_files->discard(staged.file); // a file put in place is no longer the batch's
        outcomes << outcome;
        if (names)
            names->append(name);
    }
    m_files->syncFolders();
    m_staged.clear();
    m_files = std::make_unique<FileBatch>();
    return outcomes;
}

CopyOutcome CopyBatch::place(const Staged& staged, QString& name) {
    if (m_alwaysRename)
        return placeUnderFreeName(staged, name) ? CopyOutcome::Renamed : CopyOutcome::Failed;
    name = staged.name;
    const QString target = JoinFolder(m_folder, name);
    const auto replace = [&] {
        return m_files->place(staged.file, target, true) == FileBatch::Placed::Done
                   ? CopyOutcome::Overwritten
                   : CopyOutcome::Failed;
    };
    const auto rename = [&] {
        return placeUnderFreeName(staged, name) ? CopyOutcome::Renamed : CopyOutcome::Failed;
    };
    // The name is tried first: a rename that never replaces tells whether it is taken.
    switch (m_files->place(staged.file, target, false)) {
    case FileBatch::Placed::Done:
        return CopyOutcome::Copied;
    case FileBatch::Placed::Failed:
        return CopyOutcome::Failed;
    case FileBatch::Placed::NameTaken:
        break; // the rule decides
    }
    // Only a file is ever replaced; a folder or link of that name is renamed around.
    const QFileInfo existing(target);
    const bool replaceable = existing.isFile() && !existing.isSymLink();
    // Whole seconds: file systems keep times at different precisions.
    const bool sameTime =
        existing.lastModified().toSecsSinceEpoch() == staged.modified.toSecsSinceEpoch();
    switch (m_rule) {
    case ExistingFileRule::Skip:
        return CopyOutcome::Skipped;
    case ExistingFileRule::Overwrite:
        return replaceable ? replace() : CopyOutcome::Failed;
    case ExistingFileRule::Rename:
        return rename();
    case ExistingFileRule::SameSizeAndTimeOverwrite:
        return replaceable && existing.size() == staged.size && sameTime ? replace() : rename();
    case ExistingFileRule::SameSizeOverwrite:
        return replaceable && existing.size() == staged.size ? replace() : rename();
    }
    return CopyOutcome::Failed;
}

bool CopyBatch::placeUnderFreeName(const Staged& staged, QString& name) {
    QString extension;
    QString base;
    SplitPath(staged.name, extension, base);
    QString stem;
    SplitCounter(base, stem);
    name = JoinExtension(stem, extension);
    for (int n = 1;; ++n) {
        const QString candidate = JoinFolder(m_folder, name);
        // A name seen taken is not tried; a name that looks free is taken
        // only by a rename that never replaces.
        if (!taken(candidate)) {
            switch (m_files->place(staged.file, candidate, false)) {
            case FileBatch::Placed::Done:
                return true;
            case FileBatch::Placed::Failed:
                return false;
            case FileBatch::Placed::NameTaken:
                break;
            }
        }
        if (n > 1000000)
            return false;
        name =
            JoinExtension(stem + QStringLiteral("[%1]").arg(n, 3, 10, QLatin1Char('0')), extension);
    }
}
