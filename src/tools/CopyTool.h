#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class FileBatch;

// The copy tool's rules, apart from its window.
//
// A source is a file, a stretch of one, or the document in a browser cache
// entry, with the name it gets in the destination. Every copy writes a
// temporary file beside the target and renames it into place only when it is
// complete and durable, so a failed or stopped copy never leaves a half file
// under a target name and never costs the file that was there.

struct CopySource {
    QString path;       // the file the bytes come from
    qint64 offset = 0;  // where they start in it
    qint64 length = -1; // how many; -1: to the end of the file
    QString name;       // target file name; empty: the source file's own name
    QString encoding;   // HTTP content encoding the bytes are stored in ("gzip", "br", ...)
    // A cache entry: the address it held when it was listed. The entry's
    // records are read again when it is copied, and the copy fails unless the
    // entry still holds this address and a whole body (offset, length and
    // encoding then come from the entry as it is).
    QString address;

    CopySource() = default;
    CopySource(const QString& file) : path(file) {} // NOLINT: a plain path is a source
    CopySource(const QString& file, qint64 from, qint64 bytes, const QString& targetName)
        : path(file), offset(from), length(bytes), name(targetName) {}
    static CopySource cacheEntry(const QString& entryFile, const QString& address,
                                 const QString& targetName);

    bool isCacheEntry() const { return !address.isEmpty(); }
    // The file exists and holds the whole stretch (an entry file: it exists).
    bool exists() const;
    // The number of bytes read from the file.
    qint64 size() const;
    // The name in the destination: name, or the file name of path.
    QString targetName() const;
};

// The rule for a file whose name is taken in the destination (the index of its
// button in the window).
enum class ExistingFileRule {
    Skip = 1,
    Overwrite = 2,
    Rename = 3,
    SameSizeAndTimeOverwrite = 4, // else rename
    SameSizeOverwrite = 5,        // else rename
};

// Splits a path into its folder (up to and including the last "/" or "\",
// empty when none), base name and extension. The extension is the text after
// the name's last "." when it has fewer than 7 characters; otherwise it is
// empty and the base name is the whole name. A base name that comes out empty
// is the whole name, with no extension.
QString SplitPath(const QString& path, QString& extension, QString& baseName);

// A name ending in "[<number>]" gives the text before "[" as stem and the
// number's text as result; any other name is its own stem, with an empty result.
QString SplitCounter(const QString& name, QString& stem);

// base + "." + extension, or base alone when there is no extension.
QString JoinExtension(const QString& base, const QString& extension);

// Called between chunks and files; false stops the copy. It may process events.
using KeepGoing = std::function<bool()>;

enum class CopyResult { Copied, Failed, Stopped };

// Copies the source's bytes (decoded, when they carry a content encoding) to
// target through a temporary file beside it and gives the result the source
// file's modification time. Bytes in an unknown or broken encoding fail, and
// so do a cache entry that changed, a source whose size or modification time
// changed while it was read, and anything but a regular file (never waited
// on). On failure or stop the temporary file is removed and whatever stood at
// target is unchanged.
CopyResult CopyToFile(const CopySource& source, const QString& target,
                      const KeepGoing& keepGoing = {});

// Copies the source into folder under a free numbered name: the source's name
// without any "[n]" counter, then stem[001], stem[002], ... newName receives
// the name used and stem the stem. False when the source is missing or the
// copy did not complete.
bool CopyWithFreeName(const CopySource& source, const QString& folder, QString& newName,
                      QString& stem, const KeepGoing& keepGoing = {});

// What became of one source of a run.
enum class CopyOutcome {
    Copied, // a new file in the destination
    Overwritten,
    Renamed,   // copied under a numbered name
    Skipped,   // the rule kept the existing file
    LeftAlone, // the source already lies in the destination folder
    Failed,
    Stopped,
};

// One source of a run into folder (ending in "/") by the rule. writtenName
// receives the name the file got in the destination.
CopyOutcome CopyOneFile(const CopySource& source, const QString& folder, ExistingFileRule rule,
                        const KeepGoing& keepGoing = {}, QString* writtenName = nullptr);

// The sources of a run into one folder, copied a batch at a time: each is
// written whole to a temporary file beside its target, then the batch is
// made durable in one pass and each file takes its name by the rule, in the
// order they came. The rule sees the file as it will be written: its size is
// the decoded size, and a name taken by an earlier file of the run counts as
// taken.
class CopyBatch {
public:
    // A batch takes this many files or bytes before it is put in place.
    static constexpr int MaxFiles = 256;
    static constexpr qint64 MaxBytes = 64 * 1024 * 1024;

    CopyBatch(const QString& folder, ExistingFileRule rule);
    // Removes the temporary files of sources not put in place.
    ~CopyBatch();
    CopyBatch(const CopyBatch&) = delete;
    CopyBatch& operator=(const CopyBatch&) = delete;

    // Writes the source's file. Nothing when it waits in the batch; else the
    // outcome, decided at once (left alone, skipped, failed, stopped).
    std::optional<CopyOutcome> add(const CopySource& source, const KeepGoing& keepGoing = {});
    // Whether the batch should be put in place before the next add().
    bool full() const;
    // Makes the waiting files durable and gives each its name by the rule.
    // Their outcomes, in the order added; names receives the names used.
    QList<CopyOutcome> commit(QStringList* names = nullptr);

    // Always copy under a free numbered name, as for the renaming rule, even
    // when the source's own name is free.
    void setAlwaysRename(bool on) { m_alwaysRename = on; }

private:
    struct Staged {
        int file = -1;
        QString name; // the name the rule starts from
        qint64 size = 0;
        QDateTime modified;
    };
    CopyOutcome place(const Staged& staged, QString& name);
    bool placeUnderFreeName(const Staged& staged, QString& name);

    QString m_folder;
    QString m_canonicalFolder;
    QString m_lastSourceFolder;
    QString m_lastSourceCanonical;
    ExistingFileRule m_rule;
    bool m_alwaysRename = false;
    std::unique_ptr<FileBatch> m_files;
    std::vector<Staged> m_staged;
};

// What the cache viewer hands the copy dialog: the files to copy. The dialog
// implements it, so the viewer reaches it through the window flow.
class CopyFileDialog {
public:
    virtual ~CopyFileDialog() = default;
    virtual void setCopyFiles(const QList<CopySource>& files) = 0;
};
