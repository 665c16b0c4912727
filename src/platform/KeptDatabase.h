#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QSqlDatabase;
class QTimer;

// Something that keeps part of its state in the kept database. It remembers
// what changed since its last write; the database asks it to write that inside
// one transaction of a batch and tells it when the batch is committed.
class KeptWriter {
public:
    virtual ~KeptWriter() = default;
    // Writes what is pending with statements on db, inside the open
    // transaction. False when a statement failed: the whole batch is undone
    // and the writer keeps what is pending for the next batch.
    virtual bool writePending(QSqlDatabase& db) = 0;
    // The batch that held the writes is committed: what was pending is kept.
    virtual void pendingWritten() = 0;
};

// The program state that outlives a run (the lists), in one SQLite file in the
// data folder, written in WAL mode.
//
// The file is opened only as a regular file under its own name: a link
// there (to an empty file of the user's or one with content) is moved aside
// like a bad file, its target never opened nor changed; the file the
// connection opened is checked, not only the name.
//
// Only one process keeps its lists at a time: a lock file beside the database
// is held (flock) for as long as this object lives, and a second copy of the
// program runs without keeping. A file that is no database of ours, or a
// damaged one, is moved aside under a name with the time and the lists start
// empty; a database of a newer format is left untouched and nothing is kept.
// Each of these is said once, through the notifier, after the open returns.
//
// Writes come in batches: a writer that has changes calls changed(), and
// within about a second every attached writer writes what it has, in one
// transaction. synchronous=FULL: a committed batch is on the disk, so a write
// that must precede a rename (writeNow()) really does precede it, even across
// a power cut.
class KeptDatabase : public QObject {
    Q_OBJECT
public:
    // The format this program writes (PRAGMA user_version).
    static constexpr int FormatVersion = 1;
    // PRAGMA application_id of our files ("VRNL").
    static constexpr int ApplicationId = 0x56524e4c;
    static constexpr int BatchDelayMs = 1000;

    enum class State {
        Closed,  // not opened: nothing is kept
        Keeping, // open, locked, writable
        NotKept, // the open failed; the program runs without keeping
    };
    enum class Reason {
        None,
        CannotWrite, // the data folder is read-only, full or otherwise unusable
        NewerFormat, // the file was written by a newer program
        SecondCopy,  // another running copy keeps its lists here
    };

    explicit KeptDatabase(QObject* parent = nullptr);
    ~KeptDatabase() override;

    // The data folder of this user (AppDataLocation).
    static QString defaultFolder();
    // The database's file in folder.
    static QString fileIn(const QString& folder);

    // Opens (creating when needed) the database in folder. True when keeping.
    bool open(const QString& folder = defaultFolder());
    // Ends keeping: writes what is pending, closes the file, frees the lock.
    void close();
    State state() const { return m_state; }
    Reason reason() const { return m_reason; }
    bool isKeeping() const { return m_state == State::Keeping; }
    QString filePath() const { return m_path; }
    // Where a bad file was moved this run (empty when none).
    QString movedAsidePath() const { return m_movedAside; }

    // Every notice goes here, each kind once per run, never from inside the
    // call that found it. Unset: notices are dropped.
    void setNotifier(std::function<void(const QString&)> notifier);

    // For writers: the connection (valid only while keeping). A writer runs
    // its CREATE TABLE IF NOT EXISTS statements here when it attaches and
    // reads its rows with it.
    QSqlDatabase connection() const;
    // Runs statements (schema) in one transaction; false when one failed.
    bool execute(const QStringList& statements);
    void attach(KeptWriter* writer);
    void detach(KeptWriter* writer);
    // A writer has something pending: a batch runs within BatchDelayMs.
    void changed();
    // Runs the batch now (the timer's batch, if any, is this one). True when
    // everything pending is on the disk (or nothing is kept).
    bool writeNow();
    // Runs statements in a transaction of their own, on the disk when this
    // returns true; for the one write that must not wait for the batch.
    bool writeAtOnce(const std::function<bool(QSqlDatabase& db)>& statements);

    // Texts said to the user.
    static QString movedAsideText(const QString& newName);
    // A link stood under the database's name: moved aside, its target untouched.
    static QString linkMovedAsideText(const QString& newName);
    // Writes fail in the middle of a run (a full disk): keeping waits, and
    // goes on by itself with the next batch that succeeds.
    static QString pausedText();
    static QString resumedText();
    static QString newerFormatText();
    static QString cannotWriteText();
    static QString secondCopyText();

signals:
    // A batch was committed (tests and benchmarks watch it).
    void batchWritten();
    // The connection is about to go: writers drop the statements they hold.
    void closing();

private:
    bool openIn(const QString& folder);
    bool openConnection();
    void closeConnection();
    // 1: ours (or new and empty), 0: not a database of ours, -1: newer format.
    int inspect();
    bool moveAside();
    bool initialise();
    void fail(Reason reason);
    void say(const QString& text, int kind);
    void post(const QString& text);
    // Keeping pauses at the first failed write and goes on at the next one
    // that succeeds; each is said once.
    void writesFailed();
    void writesSucceeded();
    bool opensRegularFile() const;
    bool runBatch();

    State m_state = State::Closed;
    Reason m_reason = Reason::None;
    QString m_folder;
    QString m_path;
    QString m_connection;
    QString m_movedAside;
    bool m_movedLink = false; // what was moved aside was a link
    bool m_paused = false;    // the last write failed
    int m_lockFd = -1;
    QList<KeptWriter*> m_writers;
    QTimer* m_timer = nullptr;
    bool m_writing = false;
    int m_said = 0; // bit per kind of notice already given
    std::function<void(const QString&)> m_notifier;
};

// The identity of a file on its file system (st_dev, st_ino); zero when the
// path names nothing. A rename keeps it, so it tells a file this program put
// in place from another one standing under the same name.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    bool isNull() const { return device == 0 && inode == 0; }
    bool operator==(const FileIdentity&) const = default;
    // Of the path itself (a link is not followed).
    static FileIdentity of(const QString& path);
};
