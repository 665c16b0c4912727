#include "download/Downloader.h"

#include "download/Arrival.h"
#include "download/Naming.h"
#include "download/Resume.h"
#include "net/SiteAnswer.h"

#include "platform/PartFile.h"
#include "platform/Transport.h"
#include "shell/AppValues.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace {

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
QString missCodeRejected() {
    return QStringLiteral("下载失败");
}

// The body length the server announced, 0 when none. A length below what has
// already arrived is not believed.
qint64 announcedLength(const TransferRequest& request) {
    const qint64 length = request.contentLength();
    return length >= 1 && length >= request.bytesWritten() ? length : 0;
}

} // namespace

// What the request streams the body into: the device routeBody() chose for
// the answer, asked at the first byte at the latest, so no byte lands before
// the answer has been judged. Never emits and never ends the transfer: the
// request is in the middle of its own notice while it writes.
class Downloader::BodySink : public QIODevice {
public:
    explicit BodySink(std::function<QIODevice*()> route) : m_route(std::move(route)) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        QIODevice* target = m_route();
        if (!target)
            return length; // a dropped answer: its bytes go nowhere
        if (target->write(data, length) != length) {
            setErrorString(target->errorString());
            return -1;
        }
        return length;
    }

private:
    std::function<QIODevice*()> m_route;
};

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
}

void Downloader::BeginDownload(const QString& url, const QString& saveFile,
                               const QString& referer) {
    abandon();
    ++m_run;
    if (!m_plannedTypeSet)
        m_plannedType = QFileInfo(saveFile).suffix();
    m_saveFile = saveFile;
    m_referer = referer;
    m_target = QString(url)
                   .replace(QStringLiteral("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive)
                   .trimmed();
    m_bytesExpected = 0;
    m_bytesRead = 0;
    m_bytesSeen = 0;
    m_noticed = false;
    m_mayResume = true;
    m_failureReason.clear();

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
    return m_part ? m_part->path() : QString();
}

void Downloader::startRead() {
    auto part = std::make_unique<PartFile>(m_saveFile);
    // A part an earlier transfer of this address left is continued where it
    // stopped, when the answer then still is the same file. One that
    // remembers no strong validator cannot prove that and starts over.
    PartFile::ResumeFacts facts;
    qint64 have = m_saveFile.isEmpty() || !m_mayResume ? 0 : part->openToResume(m_target, &facts);
    if (have > 0 && !IsStrongValidator(facts.validator)) {
        part->discard();
        have = 0;
    }
    if (m_saveFile.isEmpty() || (have == 0 && !part->open())) {
        failLater(missCodeFailed());
        return;
    }
    m_offset = have;
    m_resumeFacts = facts;
    m_dropping = false;
    m_routed = false;
    m_answerAside = false;
    m_bodyTarget = nullptr;
    m_wholeLength = 0;
    m_decoded = false;
    auto* request = new TransferRequest(app().transport(), this);
    m_request = request;
    m_part = std::move(part);
    m_sink = std::make_unique<BodySink>([this] { return routeBody(); });
    m_bytesRead = 0;
    m_bytesExpected = 0;
    m_noticed = false;
    m_noticePending = false;
    // Every arrival of bytes (and the headers) shows as changed(); the reply's
    // own progress notices are paced and may miss the last bytes before a pause.
    connect(request, &TransferRequest::headersArrived, this, &Downloader::onHeaders);
    connect(request, &TransferRequest::changed, this, &Downloader::onChanged);
    connect(request, &TransferRequest::finished, this, &Downloader::onFinished);

    RequestOptions options;
    options.proxy =
        ProxySettings::fromOptions(app().ProxyEnabled, app().ProxyAddress, app().ProxyPort);
    if (!m_referer.trimmed().isEmpty())
        options.headers.append({QByteArrayLiteral("Referer"), m_referer.trimmed().toUtf8()});
    if (m_offset > 0) {
        options.headers.append(
            {QByteArrayLiteral("Range"), "bytes=" + QByteArray::number(m_offset) + '-'});
        options.headers.append({QByteArrayLiteral("If-Range"), m_resumeFacts.validator});
    }
    m_requestStartMs = app().clock().monotonicMs();
    request->executeToDevice(m_target, m_sink.get(), options);
}

// Runs before any byte of the body reaches the part.
void Downloader::onHeaders() {
    if (!m_request || !m_part)
        return;
    // A site that asks to wait answers nothing about the file: the part stays
    // as it was for the attempt after the pause.
    if (siteAnswered(false))
        return;
    routeBody();
}

QIODevice* Downloader::routeBody() {
    TransferRequest* request = m_request;
    PartFile* part = m_part.get();
    if (m_routed || !request || !part)
        return m_bodyTarget;
    m_routed = true;
    const ResumeAnswer answer = ResumeAnswerOf(*request);
    const ResumeCheck check = CheckResumeAnswer(m_offset, m_resumeFacts, answer);
    const quint64 run = m_run;
    switch (check) {
    case ResumeCheck::Mismatch:
        // Not the rest of this file: its bytes go nowhere, the part goes, and
        // the file is asked for again from its start (without a range, so
        // this happens once).
        part->restart();
        m_dropping = true;
        QTimer::singleShot(0, this, [this, run] {
            if (run != m_run || m_phase == Phase::Idle)
                return;
            releaseRead(false);
            m_mayResume = false;
            startRead();
        });
        return m_bodyTarget = nullptr;
    case ResumeCheck::Refused:
        // A part of the file answered to a request for all of it.
        m_dropping = true;
        failLater(missCodeRejected());
        return m_bodyTarget = nullptr;
    case ResumeCheck::NotTheFile: {
        // A wait, a check or an error page in answer to the ranged request:
        // its body goes to a part of its own beside the kept one, which stays
        // locked and untouched, and is read only to tell which of them it is.
        m_answerAside = true;
        m_offset = 0;
        auto aside = std::make_unique<PartFile>(m_saveFile);
        if (!aside->open())
            return m_bodyTarget = nullptr; // judged as an answer without a body
        m_aside = std::move(aside);
        return m_bodyTarget = m_aside->device();
    }
    case ResumeCheck::Restart:
        part->restart(); // a whole answer: the file starts over from it
        m_offset = 0;
        break;
    case ResumeCheck::Continue:
        break;
    }
    if (m_offset > 0) {
        m_wholeLength = m_resumeFacts.total;
    } else {
        part->setResumable(ResumeFactsOf(m_target, answer));
        m_wholeLength = qMax<qint64>(0, answer.contentLength);
    }
    return m_bodyTarget = part->device();
}

void Downloader::onChanged() {
    TransferRequest* request = m_request;
    if (!request || m_dropping)
        return;
    if (request->headersReceived() && siteAnswered(false))
        return;
    const qint64 written = m_offset + request->bytesWritten();
    const qint64 total = expectedTotal();
    if (written == m_bytesRead && total == m_bytesExpected)
        return;
    m_bytesRead = written;
    m_bytesExpected = total;
    // An answer that is not the file is no file too big either: it is not
    // read past the limit, and the row must not end as one too big.
    if (m_answerAside && overLimit()) {
        endAnswerAside();
        return;
    }
    // Only an announced length gives progress; the first notice tells the
    // window the size at once, which it may act on itself.
    if (total >= 1 && !notifyProgress(!m_noticed || overLimit()))
        return;
    if (overLimit())
        fail(missCodeTooBig());
}

qint64 Downloader::expectedTotal() const {
    if (m_wholeLength > 0)
        return m_wholeLength;
    const qint64 announced = m_request ? announcedLength(*m_request) : 0;
    return announced > 0 ? m_offset + announced : 0;
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
    if (!request || m_dropping)
        return;
    m_bytesRead = m_offset + request->bytesWritten();
    m_bytesExpected = expectedTotal();
    // (A part being continued holds bytes of its own: what counts is what
    // this request brought.)
    if (request->bytesWritten() < 1 && !request->headersReceived()) {
        if (m_phase != Phase::Reading) {
            m_failureReason = NoAnswerReason(*request);
            fail(missCodeFailed());
            return;
        }
        // No answer at all: try the address once more before giving up.
        releaseRead(true);
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
    if (m_answerAside) {
        endAnswerAside();
        return;
    }
    if (!decodeBody())
        return;
    if (request->headersReceived() && siteAnswered(true))
        return;
    if (overLimit()) {
        fail(missCodeTooBig());
        return;
    }
    const qint64 written = m_bytesRead;
    const qint64 expected = m_bytesExpected;
    if (expected > 0 && written < expected) {
        // A short read (a rest without a length may end short of the whole
        // file too): the partial body is not the file. It is dropped, or kept
        // for the row's next attempt when the answer can be resumed.
        abandon();
        emit DownloadComplete(m_index, written, expected, m_saveFile);
        return;
    }
    PartFile* part = bodyPart();
    if (!part || !part->isOpen()) {
        fail(missCodeRejected());
        return;
    }
    // The disk takes the part on a thread of its own: the window, and the
    // other workers' bodies, go on meanwhile. A worker abandoned meanwhile
    // (stopped, unloaded, timed out) ignores the end of the sync.
    const quint64 run = m_run;
    part->finishThen(this, [this, run, written, expected](bool synced) {
        if (run != m_run || m_phase == Phase::Idle)
            return;
        QString missCode = missCodeRejected();
        const QString finalPath = synced ? commit(&missCode) : QString();
        if (finalPath.isEmpty()) {
            fail(missCode);
            return;
        }
        abandon();
        emit DownloadComplete(m_index, written, expected > 0 ? expected : written, finalPath);
    });
}

bool Downloader::decodeBody() {
    TransferRequest* request = m_request;
    const QString coding = request ? request->header("Content-Encoding") : QString();
    if (!m_part || !IsContentCoded(coding))
        return true;
    // A coded body cut short is judged as sent: it fails below.
    if (!request->bodyComplete() || (m_bytesExpected > 0 && m_bytesRead < m_bytesExpected))
        return true;
    DecodedBody decoded = DecodeCodedBody(m_part->path(), m_saveFile, coding, app().MaxFileSizeMB);
    if (decoded.outcome != DecodedBody::Outcome::Decoded) {
        fail(decoded.outcome == DecodedBody::Outcome::TooBig ? missCodeTooBig()
                                                             : missCodeRejected());
        return false;
    }
    m_part->discard();
    m_bodyTarget = nullptr; // the coded part is gone; the request has ended
    m_part = std::move(decoded.part);
    m_decoded = true;
    m_offset = 0;
    // From here on the counts are the decoded body's, which is what stays.
    m_bytesRead = m_bytesExpected = decoded.bytes;
    return true;
}

QString Downloader::commit(QString* missCode) {
    *missCode = missCodeRejected();
    TransferRequest* request = m_request;
    PartFile* part = bodyPart();
    if (!request || !part)
        return {};
    ArrivalFacts facts;
    facts.status = request->statusCode();
    facts.contentType = request->header("Content-Type");
    if (m_decoded) {
        // Whole as its coded stream ended by itself (decodeBody).
        facts.bytes = m_bytesRead;
        facts.complete = true;
        facts.lengthKnown = true;
    } else {
        facts.contentEncoding = request->header("Content-Encoding");
        facts.bytes = m_offset + request->bytesWritten();
        // Finished only with the whole representation on disk.
        facts.complete =
            request->bodyComplete() && (m_wholeLength <= 0 || facts.bytes == m_wholeLength);
        facts.lengthKnown = request->contentLength() >= 0;
    }
    const ArrivalJudgement judged = JudgeArrival(facts, part->path());
    if (judged.verdict == ArrivalVerdict::Failed)
        return {};
    const QString type = judged.type;
    QString finalPath = m_saveFile;
    if (!type.isEmpty() && type.compare(m_plannedType, Qt::CaseInsensitive) != 0) {
        // Another type than planned: the planned name keeps what stood there,
        // the file goes to a free name of its type.
        finalPath = ArrivalTargetPath(m_saveFile, m_plannedType, type);
    }
    emit AboutToPlace(m_index, finalPath, part->path());
    if (!part->commitTo(finalPath))
        return {};
    m_part.reset();
    return finalPath;
}

void Downloader::endAnswerAside() {
    // Its body was read only to tell a site's request from an ordinary error.
    if (m_request->headersReceived() && siteAnswered(true))
        return;
    // Any other answer ends the row as one that is no usable file; its body
    // goes, and the row's kept part and planned name stay for the next attempt.
    fail(missCodeRejected());
}

void Downloader::watchdogTick() {
    if (m_phase == Phase::Idle) {
        Timer1->stop();
        return;
    }
    const qint64 now = app().clock().monotonicMs();
    if (m_request && !m_request->headersReceived() &&
        now - m_requestStartMs >= static_cast<qint64>(ResponseWaitSeconds * 1000)) {
        fail(missCodeTimeout());
        return;
    }
    if (m_bytesRead != m_bytesSeen) {
        m_bytesSeen = m_bytesRead;
        m_lastProgressMs = now;
        return;
    }
    if (now - m_lastProgressMs >= static_cast<qint64>(WatchdogSeconds * 1000))
        fail(missCodeTimeout());
}

void Downloader::fail(const QString& missCode) {
    // Only a transfer that stopped early may leave its part for a resume; an
    // answer that is no usable file or too big leaves nothing of its own
    // (an answer kept aside leaves the part it stood beside).
    if (PartFile* part = bodyPart();
        part && (missCode == missCodeRejected() || missCode == missCodeTooBig()))
        part->discard();
    abandon();
    emit DownloadError(m_index, m_saveFile, missCode);
}

bool Downloader::siteAnswered(bool bodyEnded) {
    TransferRequest* request = m_request;
    const int status = request->statusCode();
    if (status != 403 && status != 429 && status != 503)
        return false;
    const QString retryAfter = request->header("Retry-After");
    SiteAnswer answer = SiteAnswer::Ordinary;
    if (IsPleaseWaitAtHeaders(status, retryAfter)) {
        answer = SiteAnswer::PleaseWait;
    } else if (bodyEnded && bodyPart()) {
        QFile head(bodyPart()->path());
        answer = ClassifySiteAnswer(status, retryAfter,
                                    head.open(QIODevice::ReadOnly) ? head.read(SiteAnswerHeadBytes)
                                                                   : QByteArray());
    }
    if (answer == SiteAnswer::Ordinary)
        return false;
    abandon();
    emit SiteAnswered(m_index, static_cast<int>(answer), retryAfter);
    return true;
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
    if (m_phase == Phase::Idle && !m_request && !m_part)
        return;
    ++m_run;
    m_phase = Phase::Idle;
    Timer1->stop();
    releaseRead(true);
}

void Downloader::releaseRead(bool keepPart) {
    TransferRequest* request = m_request;
    m_request = nullptr;
    if (request) {
        disconnect(request, nullptr, this, nullptr);
        request->cancel();
    }
    // A resumable part stays for the row's next attempt; any other is removed.
    m_aside.reset();
    if (m_part && keepPart)
        m_part->keep();
    m_part.reset();
    m_bodyTarget = nullptr;
    m_sink.reset();
    if (request) {
        // The request may be the sender of the notice being handled right now,
        // so it goes from the event loop.
        request->setParent(nullptr);
        request->deleteLater();
    }
}
