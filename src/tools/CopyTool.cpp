#include "tools/CopyTool.h"

#include "platform/ContentDecoder.h"
#include "shell/FileNames.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>

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

bool sameModificationTime(const CopySource& source, const QString& target) {
    // Whole seconds: file systems keep times at different precisions.
    const qint64 a = QFileInfo(source.path).lastModified().toSecsSinceEpoch();
    const qint64 b = QFileInfo(target).lastModified().toSecsSinceEpoch();
    return a == b;
}

} // namespace

bool CopySource::exists() const {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
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
    if (!source.exists())
        return CopyResult::Failed;
    QFile in(source.path);
    if (!in.open(QIODevice::ReadOnly) || !in.seek(source.offset))
        return CopyResult::Failed;
    const QDateTime modified = QFileInfo(source.path).lastModified();
    qint64 remaining = source.size();

    const std::unique_ptr<ContentDecoder> decoder = ContentDecoder::create(source.encoding);
    if (!decoder)
        return CopyResult::Failed;

    QSaveFile out(target);
    // Never write into the target itself: the old file stays until the new one is whole.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return CopyResult::Failed;
    QByteArray buffer;
    QByteArray decoded;
    while (remaining > 0) {
        buffer = in.read(qMin(remaining, ChunkBytes));
        decoded.clear();
        if (buffer.isEmpty() || !decoder->feed(buffer, decoded) ||
            out.write(decoded) != decoded.size()) {
            out.cancelWriting();
            return CopyResult::Failed;
        }
        remaining -= buffer.size();
        if (remaining > 0 && keepGoing && !keepGoing()) {
            out.cancelWriting();
            return CopyResult::Stopped;
        }
    }
    if (!decoder->finished()) {
        out.cancelWriting();
        return CopyResult::Failed;
    }
    // A copy keeps the source's time, so the same file copied again is
    // recognised by the size-and-time rule. Every byte is written first: a
    // write after the time is set would set it to now again.
    if (!out.flush()) {
        out.cancelWriting();
        return CopyResult::Failed;
    }
    out.setFileTime(modified, QFileDevice::FileModificationTime);
    return out.commit() ? CopyResult::Copied : CopyResult::Failed;
}

bool CopyWithFreeName(const CopySource& source, const QString& folder, QString& newName,
                      QString& stem, const KeepGoing& keepGoing) {
    if (!source.exists())
        return false;
    QString extension;
    QString base;
    SplitPath(source.targetName(), extension, base);
    SplitCounter(base, stem);
    const QString root = JoinFolder(folder, QString());
    newName = JoinExtension(stem, extension);
    QString candidate = root + newName;
    for (int n = 1; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n) {
        newName =
            JoinExtension(stem + QStringLiteral("[%1]").arg(n, 3, 10, QLatin1Char('0')), extension);
        candidate = root + newName;
    }
    return CopyToFile(source, candidate, keepGoing) == CopyResult::Copied;
}

CopyOutcome CopyOneFile(const CopySource& source, const QString& folder, ExistingFileRule rule,
                        const KeepGoing& keepGoing, QString* writtenName) {
    const QString sourceFolder = QFileInfo(source.path).absolutePath();
    // A plain file already in the destination is not copied onto itself.
    if (source.name.isEmpty() && source.offset == 0 && source.length < 0 &&
        canonicalFolder(sourceFolder) == canonicalFolder(folder) &&
        !canonicalFolder(folder).isEmpty())
        return CopyOutcome::LeftAlone;

    QString extension;
    QString base;
    SplitPath(source.targetName(), extension, base);
    const QString name = JoinExtension(base, extension);
    const QString target = JoinFolder(folder, name);
    if (writtenName)
        *writtenName = name;

    const auto copyTo = [&](CopyOutcome success) {
        switch (CopyToFile(source, target, keepGoing)) {
        case CopyResult::Copied:
            return success;
        case CopyResult::Stopped:
            return CopyOutcome::Stopped;
        case CopyResult::Failed:
            break;
        }
        return CopyOutcome::Failed;
    };
    const auto rename = [&] {
        QString newName;
        QString stem;
        if (CopyWithFreeName(source, folder, newName, stem, keepGoing)) {
            if (writtenName)
                *writtenName = newName;
            return CopyOutcome::Renamed;
        }
        return keepGoing && !keepGoing() ? CopyOutcome::Stopped : CopyOutcome::Failed;
    };

    if (!QFileInfo::exists(target) && !QFileInfo(target).isSymLink())
        return copyTo(CopyOutcome::Copied);
    // Only a file is ever replaced; a folder or link of that name is renamed around.
    const QFileInfo existing(target);
    const bool replaceable = existing.isFile() && !existing.isSymLink();
    switch (rule) {
    case ExistingFileRule::Skip:
        return CopyOutcome::Skipped;
    case ExistingFileRule::Overwrite:
        return replaceable ? copyTo(CopyOutcome::Overwritten) : CopyOutcome::Failed;
    case ExistingFileRule::Rename:
        return rename();
    case ExistingFileRule::SameSizeAndTimeOverwrite:
        if (replaceable && existing.size() == source.size() && sameModificationTime(source, target))
            return copyTo(CopyOutcome::Overwritten);
        return rename();
    case ExistingFileRule::SameSizeOverwrite:
        if (replaceable && existing.size() == source.size())
            return copyTo(CopyOutcome::Overwritten);
        return rename();
    }
    return CopyOutcome::Failed;
}
