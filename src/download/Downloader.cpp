#include "download/Downloader.h"

#include "download/ReplacedFile.h"

#include "platform/Transport.h"
#include "shell/AppValues.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryFile>
#include <QTimer>
#include <filesystem>
#include <system_error>

namespace {

const QByteArray ReservationBytes("\x01\x00", 2);

// Progress notices are paced for the list that shows them; the watchdog and
// the size limit look at every byte regardless.
constexpr qint64 NoticeIntervalMs = 200;

constexpr double BytesPerMB = 1024.0 * 1024.0;

QString missCodeTimeout() {
    return QStringLiteral("超时");
}
QString missCodeFailed() {
    return QStringLiteral("无法下载");
}
QString missCodeTooBig() {
    return QStringLiteral("大文件，跳过");
}

// The body length the server announced, 0 when none. A length below what has
// already arrived is not believed.
qint64 announcedLength(const TransferRequest& request) {
    const qint64 length = request.contentLength();
    return length >= 1 && length >= request.bytesWritten() ? length : 0;
}

} // namespace

Downloader::Downloader(int index, QObject* parent) : QObject(parent), m_index(index) {
    setObjectName(QStringLiteral("Downloader1"));
    setProperty("Index", index);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &Downloader::watchdogTick);
}

Downloader::~Downloader() {
    blockSignals(true);
    abandon();
    settleReplaced();
}

void Downloader::BeginDownload(const QString& url, const QString& saveFile,
                               const QString& referer) {
    abandon();
    settleReplaced();
    ++m_run;
    m_saveFile = saveFile;
    m_referer = referer;
    m_target = QString(url)
                   .replace(QStringLiteral("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive)
                   .trimmed();
    m_bytesExpected = 0;
    m_bytesRead = 0;
    m_bytesSeen = 0;
    m_noticed = false;

    reserveTarget();
    m_lastProgressMs = app().clock().monotonicMs();
    Timer1->start();
    m_phase = Phase::Reading;
    startRead();
}

void Downloader::CancelAsyncRead() {
    abandon();
}

void Downloader::unload() {
    abandon();
    blockSignals(true);
    deleteLater();
}

QString Downloader::partFile() const {
    return m_part ? m_part->fileName() : QString();
}

void Downloader::startRead() {
    const QString folder = QFileInfo(m_saveFile).absolutePath();
    auto* request = new TransferRequest(app().transport(), this);
    // The part file lives as long as the request that writes into it.
    auto* part = new QTemporaryFile(folder + QStringLiteral("/.varnelle-XXXXXX.part"), request);
    if (m_saveFile.isEmpty() || !part->open()) {
        delete request;
        failLater(missCodeFailed());
        return;
    }
    m_request = request;
    m_part = part;
    m_bytesRead = 0;
    m_bytesExpected = 0;
    m_noticed = false;
    m_noticePending = false;
    // Every arrival of bytes (and the headers) shows as changed(); the reply's
    // own progress notices are paced and may miss the last bytes before a pause.
    connect(request, &TransferRequest::changed, this, &Downloader::onChanged);
    connect(request, &TransferRequest::finished, this, &Downloader::onFinished);

    RequestOptions options;
    options.proxy =
        ProxySettings::fromOptions(app().ProxyEnabled, app().ProxyAddress, app().ProxyPort);
    if (!m_referer.trimmed().isEmpty())
        options.headers.append({QByteArrayLiteral("Referer"), m_referer.trimmed().toUtf8()});
    request->executeToDevice(m_target, part, options);
}

void Downloader::onChanged() {
    TransferRequest* request = m_request;
    if (!request)
        return;
    const qint64 written = request->bytesWritten();
    const qint64 total = announcedLength(*request);
    if (written == m_bytesRead && total == m_bytesExpected)
        return;
    m_bytesRead = written;
    m_bytesExpected = total;
    // Only an announced length gives progress; the first notice tells the
    // window the size at once, which it may act on itself.
    if (total >= 1 && !notifyProgress(!m_noticed || overLimit()))
        return;
    if (overLimit())
        fail(missCodeTooBig());
}

bool Downloader::notifyProgress(bool force) {
    if (!force && m_sinceNotice.isValid() && m_sinceNotice.elapsed() < NoticeIntervalMs) {
        // Paced, but the last state before a pause is still shown.
        if (!m_noticePending) {
            m_noticePending = true;
            const quint64 run = m_run;
            const qint64 wait = qMax<qint64>(0, NoticeIntervalMs - m_sinceNotice.elapsed());
            QTimer::singleShot(wait, this, [this, run] {
                if (run == m_run && m_noticePending && m_bytesExpected >= 1)
                    notifyProgress(true);
            });
        }
        return true;
    }
    m_noticed = true;
    m_noticePending = false;
    m_sinceNotice.start();
    QPointer<Downloader> self(this);
    const quint64 run = m_run;
    emit DownloadProgress(m_index, m_bytesRead, m_bytesExpected, m_saveFile);
    return self && run == m_run && m_phase != Phase::Idle;
}

bool Downloader::overLimit() const {
    const double limitMB = app().MaxFileSizeMB;
    const qint64 size = m_bytesExpected > 0 ? m_bytesExpected : m_bytesRead;
    return size / BytesPerMB > limitMB;
}

void Downloader::onFinished() {
    TransferRequest* request = m_request;
    if (!request)
        return;
    const qint64 written = request->bytesWritten();
    m_bytesRead = written;
    m_bytesExpected = announcedLength(*request);
    if (written < 1) {
        if (m_phase != Phase::Reading) {
            fail(missCodeFailed());
            return;
        }
        // Nothing came: try the address once more before giving up.
        releaseRead();
        ++m_run;
        m_phase = Phase::Fallback;
        m_bytesSeen = 0;
        m_lastProgressMs = app().clock().monotonicMs();
        const quint64 run = m_run;
        QTimer::singleShot(0, this, [this, run] {
            if (run == m_run && m_phase == Phase::Fallback)
                startRead();
        });
        return;
    }
    if (overLimit()) {
        fail(missCodeTooBig());
        return;
    }
    const qint64 expected = m_bytesExpected;
    if (!request->bodyComplete()) {
        // A short read: the partial body is not the file, so it is dropped.
        abandon();
        emit DownloadComplete(m_index, written, expected, m_saveFile);
        return;
    }
    if (!commit()) {
        fail(missCodeFailed());
        return;
    }
    abandon();
    QPointer<Downloader> self(this);
    emit DownloadComplete(m_index, written, expected > 0 ? expected : written, m_saveFile);
    // A handler that wants to settle the replaced file after its own checks
    // takes it; otherwise it is settled now.
    if (self)
        settleReplaced();
}

void Downloader::settleReplaced() {
    const ReplacedFile replaced(m_saveFile, takeReplacedAside());
}

bool Downloader::commit() {
    QTemporaryFile* part = m_part;
    if (!part || !part->flush())
        return false;
    const QString partPath = part->fileName();
    part->close();
    // Part files are created private; the downloaded file gets the usual rights.
    QFile::setPermissions(partPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // A file the overwrite policy gives up is moved aside, not lost: the
    // handler puts it back when what arrived does not stay under its name.
    ReplacedFile replaced;
    if (!m_ownsReservation && QFileInfo::exists(m_saveFile))
        replaced.moveAside(m_saveFile);
    std::error_code error;
    // Replaces the reservation in one step.
    std::filesystem::rename(std::filesystem::path(QFile::encodeName(partPath).toStdString()),
                            std::filesystem::path(QFile::encodeName(m_saveFile).toStdString()),
                            error);
    if (error)
        return false;
    m_replacedAside = replaced.release();
    part->setAutoRemove(false);
    m_part = nullptr;
    m_ownsReservation = false;
    return true;
}

void Downloader::watchdogTick() {
    if (m_phase == Phase::Idle) {
        Timer1->stop();
        return;
    }
    const qint64 now = app().clock().monotonicMs();
    if (m_bytesRead != m_bytesSeen) {
        m_bytesSeen = m_bytesRead;
        m_lastProgressMs = now;
        return;
    }
    if (now - m_lastProgressMs >= static_cast<qint64>(WatchdogSeconds * 1000))
        fail(missCodeTimeout());
}

void Downloader::fail(const QString& missCode) {
    abandon();
    emit DownloadError(m_index, m_saveFile, missCode);
}

void Downloader::failLater(const QString& missCode) {
    const quint64 run = m_run;
    QMetaObject::invokeMethod(
        this,
        [this, run, missCode] {
            if (run == m_run && m_phase != Phase::Idle)
                fail(missCode);
        },
        Qt::QueuedConnection);
}

void Downloader::abandon() {
    if (m_phase == Phase::Idle && !m_request && !m_part && !m_ownsReservation)
        return;
    ++m_run;
    m_phase = Phase::Idle;
    Timer1->stop();
    releaseRead();
    removeReservation();
}

void Downloader::releaseRead() {
    TransferRequest* request = m_request;
    m_request = nullptr;
    if (request) {
        disconnect(request, nullptr, this, nullptr);
        request->cancel();
    }
    if (QTemporaryFile* part = m_part) {
        m_part = nullptr;
        const QString path = part->fileName();
        part->close();
        part->setAutoRemove(false);
        QFile::remove(path);
    }
    if (request) {
        // The request may be the sender of the notice being handled right now,
        // so it (and the part file object it owns) goes from the event loop.
        request->setParent(nullptr);
        request->deleteLater();
    }
}

void Downloader::reserveTarget() {
    m_ownsReservation = false;
    if (m_saveFile.isEmpty())
        return;
    // A file already there (the overwrite policy) is not ours to hold or remove:
    // it is replaced only by a complete download.
    QFile file(m_saveFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return;
    m_ownsReservation = file.write(ReservationBytes) == ReservationBytes.size();
    file.close();
    if (!m_ownsReservation)
        file.remove();
}

void Downloader::removeReservation() {
    if (!m_ownsReservation)
        return;
    m_ownsReservation = false;
    // Only while it is still our two bytes: under the overwrite policy another
    // worker may have completed the same name since.
    QFile file(m_saveFile);
    if (file.size() != ReservationBytes.size() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = file.readAll();
    file.close();
    if (content == ReservationBytes)
        file.remove();
}
