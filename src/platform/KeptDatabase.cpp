#include "platform/KeptDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimer>
#include <QVariant>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Driver = QStringLiteral("QSQLITE");
const QString FileName = QStringLiteral("lists.db");
const QString LockName = QStringLiteral("lists.lock");

// Bits of the notices already given.
enum Notice : int {
    MovedAside = 1,
    NewerFormat = 2,
    CannotWrite = 4,
    SecondCopy = 8,
};

// SQLite's own codes for a file that is no database, or a damaged one.
bool isDamage(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("26") || code == QLatin1String("11");
}

int connectionSerial = 0;

struct stat statOf(const QString& path, bool* found) {
    struct stat st {};
    *found = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
    return st;
}

// Something stands under the name (a dangling link too).
bool stands(const QString& path) {
    bool found = false;
    statOf(path, &found);
    return found;
}

bool isLink(const QString& path) {
    bool found = false;
    const struct stat st = statOf(path, &found);
    return found && S_ISLNK(st.st_mode);
}

// Something stands under the name that is not a regular file of its own: a
// folder, a special file, or a link (to a file or not).
bool standsButIsNoFile(const QString& path) {
    bool found = false;
    const struct stat st = statOf(path, &found);
    return found && !S_ISREG(st.st_mode);
}

// Another descriptor of this process than except is open on file.
bool heldElsewhere(const struct stat& file, int except) {
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList names = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool number = false;
        const int fd = name.toInt(&number);
        struct stat st {};
        if (number && fd != except && ::fstat(fd, &st) == 0 && st.st_dev == file.st_dev &&
            st.st_ino == file.st_ino)
            return true;
    }
    return false;
}
} // namespace

KeptDatabase::KeptDatabase(QObject* parent) : QObject(parent) {
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(BatchDelayMs);
    connect(m_timer, &QTimer::timeout, this, [this] { runBatch(); });
}

KeptDatabase::~KeptDatabase() {
    close();
}

QString KeptDatabase::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString KeptDatabase::fileIn(const QString& folder) {
    return folder + QLatin1Char('/') + FileName;
}

void KeptDatabase::setNotifier(std::function<void(const QString&)> notifier) {
    m_notifier = std::move(notifier);
}

bool KeptDatabase::open(const QString& folder) {
    if (m_state != State::Closed)
        return isKeeping();
    m_folder = folder;
    m_path = fileIn(folder);
    if (openIn(folder)) {
        m_state = State::Keeping;
        return true;
    }
    closeConnection();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    m_state = State::NotKept;
    return false;
}

bool KeptDatabase::openIn(const QString& folder) {
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        fail(Reason::CannotWrite);
        return false;
    }
    // The lock first: while another copy holds it, its file is not even read.
    const QByteArray lockPath = QFile::encodeName(folder + QLatin1Char('/') + LockName);
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0)
        m_lockFd = ::open(lockPath.constData(), O_RDONLY | O_CLOEXEC);
    if (m_lockFd < 0) {
        fail(Reason::CannotWrite);
        return false;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        fail(errno == EWOULDBLOCK ? Reason::SecondCopy : Reason::CannotWrite);
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(Driver)) {
        fail(Reason::CannotWrite);
        return false;
    }
    if (standsButIsNoFile(m_path) || isLink(m_path + QLatin1String("-wal")) ||
        isLink(m_path + QLatin1String("-shm"))) {
        // A folder, a special file or a link under our names: never ours to
        // open. A link is moved itself; the file it points to is not touched.
        if (!moveAside()) {
            fail(Reason::CannotWrite);
            return false;
        }
    }
    if (!openConnection()) {
        if (!stands(m_path) || !moveAside() || !openConnection()) {
            fail(Reason::CannotWrite);
            return false;
        }
    }
    int kind = inspect();
    if (kind == -1) {
        // Written by a newer program: not a byte of it is changed.
        fail(Reason::NewerFormat);
        return false;
    }
    if (kind == 0) {
        if (!moveAside() || !openConnection() || inspect() != 1) {
            fail(Reason::CannotWrite);
            return false;
        }
    }
    if (!initialise()) {
        fail(Reason::CannotWrite);
        return false;
    }
    if (!m_movedAside.isEmpty()) {
        const QString name = QFileInfo(m_movedAside).fileName();
        say(m_movedLink ? linkMovedAsideText(name) : movedAsideText(name), MovedAside);
    }
    return true;
}

bool KeptDatabase::openConnection() {
    closeConnection();
    m_connection = QStringLiteral("varnelle-kept-%1").arg(++connectionSerial);
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(Driver, m_connection);
        db.setDatabaseName(m_path);
        // A link that took the file's place between the look at the name and
        // the open fails it: the caller moves the link aside.
        opened = db.open() && opensRegularFile();
        if (opened) {
            QSqlQuery q(db);
            // Nothing else writes this file while the lock is held; a short
            // wait only covers the driver's own checkpoints.
            q.exec(QStringLiteral("PRAGMA busy_timeout=2000"));
        }
    }
    if (!opened)
        closeConnection();
    return opened;
}

bool KeptDatabase::opensRegularFile() const {
    // The name itself, never a link's target; non-blocking so that a FIFO
    // put there is never waited on.
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat own {};
    bool ours = ::fstat(fd, &own) == 0 && S_ISREG(own.st_mode);
    // The file the connection holds open is this one: a link swapped in
    // before the open and out again after would otherwise pass. Without
    // /proc the look at the name has to do.
    if (ours && QFileInfo(QStringLiteral("/proc/self/fd")).isDir())
        ours = heldElsewhere(own, fd);
    // Nothing of ours is locked yet: closing this descriptor frees no lock
    // the connection holds.
    ::close(fd);
    return ours;
}

void KeptDatabase::closeConnection() {
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

int KeptDatabase::inspect() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    const auto number = [&](const QString& sql, bool* ok) -> qint64 {
        *ok = q.exec(sql) && q.next();
        return *ok ? q.value(0).toLongLong() : 0;
    };
    bool ok = false;
    const qint64 applicationId = number(QStringLiteral("PRAGMA application_id"), &ok);
    if (!ok)
        return isDamage(q.lastError()) ? 0 : -2;
    const qint64 version = number(QStringLiteral("PRAGMA user_version"), &ok);
    if (!ok)
        return isDamage(q.lastError()) ? 0 : -2;
    const qint64 objects = number(QStringLiteral("SELECT count(*) FROM sqlite_master"), &ok);
    if (!ok)
        return isDamage(q.lastError()) ? 0 : -2;
    if (applicationId == 0 && version == 0 && objects == 0)
        return 1; // new and empty: ours to set up
    if (applicationId != ApplicationId)
        return 0; // another program's database
    if (version > FormatVersion)
        return -1;
    if (version < 1)
        return 0;
    // A damaged file is found now, not in the middle of the run.
    if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next())
        return isDamage(q.lastError()) ? 0 : -2;
    return q.value(0).toString() == QLatin1String("ok") ? 1 : 0;
}

bool KeptDatabase::moveAside() {
    closeConnection();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_path + QStringLiteral(".bad-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = m_path + QStringLiteral(".bad-") + stamp + QLatin1Char('-') + QString::number(n);
    const bool link = isLink(m_path);
    // The name alone moves: a link is renamed, never followed.
    if (stands(m_path) &&
        ::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(aside).constData()) != 0)
        return false;
    // The journal goes with its file, so the two can still be read together.
    for (const char* suffix : {"-wal", "-shm"}) {
        if (stands(m_path + QLatin1String(suffix)))
            ::rename(QFile::encodeName(m_path + QLatin1String(suffix)).constData(),
                     QFile::encodeName(aside + QLatin1String(suffix)).constData());
    }
    m_movedAside = aside;
    m_movedLink = m_movedLink || link;
    return true;
}

bool KeptDatabase::initialise() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next() ||
        q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return false;
    // Every commit reaches the disk before it returns: the intent a row writes
    // before its file is renamed must be there if the power goes after the rename.
    if (!q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
        return false;
    bool ok = q.exec(QStringLiteral("PRAGMA user_version")) && q.next();
    if (!ok)
        return false;
    if (q.value(0).toInt() == 0) {
        q.finish();
        return execute({QStringLiteral("PRAGMA application_id=%1").arg(ApplicationId),
                        QStringLiteral("PRAGMA user_version=%1").arg(FormatVersion)});
    }
    return true;
}

void KeptDatabase::fail(Reason reason) {
    m_reason = reason;
    switch (reason) {
    case Reason::CannotWrite:
        say(cannotWriteText(), CannotWrite);
        break;
    case Reason::NewerFormat:
        say(newerFormatText(), NewerFormat);
        break;
    case Reason::SecondCopy:
        say(secondCopyText(), SecondCopy);
        break;
    case Reason::None:
        break;
    }
}

void KeptDatabase::say(const QString& text, int kind) {
    if (m_said & kind)
        return;
    m_said |= kind;
    post(text);
}

void KeptDatabase::writesFailed() {
    if (m_paused)
        return;
    m_paused = true;
    post(pausedText());
}

void KeptDatabase::writesSucceeded() {
    if (!m_paused)
        return;
    m_paused = false;
    post(resumedText());
}

void KeptDatabase::post(const QString& text) {
    // Never from inside the open or a batch: the caller may be in a timer,
    // and a dialog runs an event loop of its own.
    QTimer::singleShot(0, this, [this, text] {
        if (m_notifier)
            m_notifier(text);
    });
}

void KeptDatabase::close() {
    if (m_state == State::Keeping)
        writeNow();
    emit closing();
    m_timer->stop();
    closeConnection();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    m_state = State::Closed;
}

QSqlDatabase KeptDatabase::connection() const {
    if (m_connection.isEmpty())
        return {};
    return QSqlDatabase::database(m_connection, false);
}

bool KeptDatabase::execute(const QStringList& statements) {
    QSqlDatabase db = connection();
    if (!db.isOpen() || !db.transaction())
        return false;
    {
        QSqlQuery q(db);
        for (const QString& s : statements) {
            if (!q.exec(s)) {
                q.finish();
                db.rollback();
                return false;
            }
        }
    }
    return db.commit();
}

void KeptDatabase::attach(KeptWriter* writer) {
    if (!m_writers.contains(writer))
        m_writers.append(writer);
}

void KeptDatabase::detach(KeptWriter* writer) {
    m_writers.removeAll(writer);
}

void KeptDatabase::changed() {
    if (isKeeping() && !m_timer->isActive())
        m_timer->start();
}

bool KeptDatabase::writeNow() {
    m_timer->stop();
    return runBatch();
}

bool KeptDatabase::writeAtOnce(const std::function<bool(QSqlDatabase& db)>& statements) {
    if (!isKeeping() || m_writing)
        return false;
    QSqlDatabase db = connection();
    if (!db.transaction())
        return false;
    if (statements(db) && db.commit()) {
        writesSucceeded();
        return true;
    }
    db.rollback();
    writesFailed();
    return false;
}

bool KeptDatabase::runBatch() {
    if (!isKeeping() || m_writers.isEmpty())
        return true;
    if (m_writing)
        return false;
    m_writing = true;
    QSqlDatabase db = connection();
    bool ok = db.transaction();
    if (ok) {
        for (KeptWriter* w : std::as_const(m_writers)) {
            if (!w->writePending(db)) {
                ok = false;
                break;
            }
        }
        if (ok)
            ok = db.commit();
        if (!ok)
            db.rollback();
    }
    if (ok) {
        const QList<KeptWriter*> writers = m_writers;
        for (KeptWriter* w : writers)
            w->pendingWritten();
        writesSucceeded();
    } else {
        // A full or vanished disk: what is pending stays pending and is
        // tried again every batch; the user hears when keeping pauses and
        // when it goes on.
        writesFailed();
        m_timer->start();
    }
    m_writing = false;
    if (ok)
        emit batchWritten();
    return ok;
}

QString KeptDatabase::movedAsideText(const QString& newName) {
    return QStringLiteral("保存的列表文件已经损坏，已改名为“%1”保留，列表从空白开始。")
        .arg(newName);
}

QString KeptDatabase::linkMovedAsideText(const QString& newName) {
    return QStringLiteral("保存的列表文件是一个链接，已改名为“%1”，链接指向的文件没有改动，"
                          "列表从空白开始。")
        .arg(newName);
}

QString KeptDatabase::pausedText() {
    return QStringLiteral("无法保存列表（磁盘已满或者数据文件夹不可写），列表暂停保存，"
                          "恢复后会自动继续保存。");
}

QString KeptDatabase::resumedText() {
    return QStringLiteral("列表已恢复保存。");
}

QString KeptDatabase::newerFormatText() {
    return QStringLiteral("保存的列表来自更新版本的软件，本次运行不保存列表，原文件保持不变。");
}

QString KeptDatabase::cannotWriteText() {
    return QStringLiteral("无法保存列表（数据文件夹不可写或者磁盘已满），本次运行的列表不会保留！");
}

QString KeptDatabase::secondCopyText() {
    return QStringLiteral("软件已经在运行，本次运行不保存列表。");
}

FileIdentity FileIdentity::of(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {quint64(st.st_dev), quint64(st.st_ino)};
}
