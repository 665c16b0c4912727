// The single-connection transfer of mode one: one row at a time through the
// window's transfer request, streamed to disk chunk by chunk inside the
// scheduler tick that started it.

#include "download/Arrival.h"
#include "download/DownloadListModel.h"
#include "download/FileType.h"
#include "download/Naming.h"
#include "download/Resume.h"
#include "download/Scheduler.h"
#include "net/Codecs.h"
#include "net/SiteAnswer.h"
#include "platform/PartFile.h"
#include "platform/Transport.h"
#include "platform/Wait.h"
#include "shell/AppValues.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <cmath>
#include <optional>

namespace {

// Each read takes what the reply holds, up to this much, straight into the
// part file: no piece of the body is copied into a buffer of its own, and the
// checks made after every read cost nothing next to the bytes.
constexpr qint64 ChunkBytes = 64 * 1024;
constexpr double ResponseWaitSeconds = 30;
constexpr double StallSeconds = 120;
// Cells and status texts are refreshed at most this often while a body streams;
// the final counts are always written.
constexpr qint64 CellRefreshMs = 100;
// Bytes read from the buffer between two passes of the message loop.
constexpr qint64 YieldBytes = 512 * 1024;

bool isNumber(const QString& text, double* value = nullptr) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (value)
        *value = v;
    return ok;
}

QByteArray readFileHead(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(SiteAnswerHeadBytes) : QByteArray();
}

// Time limits run on the program clock's monotonic scale: cheap to read for
// every chunk, and not fooled by midnight.
double secondsSince(qint64 thenMs) {
    return double(app().clock().monotonicMs() - thenMs) / 1000.0;
}

} // namespace

bool Scheduler::inetExecuting() const {
    return m_inet && m_inet->isActive();
}

QString Scheduler::connectionStateText(int state, int code, const QString& text) {
    switch (state) {
    case 0:
        return QStringLiteral("0 无状态可报告。");
    case 1:
        return QStringLiteral("1 正在查询所指定的主机的 IP 地址...");
    case 2:
        return QStringLiteral("2 已成功地找到所指定的主机的 IP 地址。");
    case 3:
        return QStringLiteral("3 正在与主机连接...");
    case 4:
        return QStringLiteral("4 已与主机连接成功。");
    case 5:
        return QStringLiteral("5 正在向主机发送请求...");
    case 6:
        return QStringLiteral("6 发送请求已成功。");
    case 7:
        return QStringLiteral("7 正在接收主机的响应...");
    case 8:
        return QStringLiteral("8 已成功地接收到主机的响应。");
    case 9:
        return QStringLiteral("9 正在解除与主机的连接...");
    case 10:
        return QStringLiteral("10 已成功地与主机解除了连接。");
    case 11:
        return QStringLiteral("11 与主机通讯时出现了错误:") + QString::number(code) +
               QLatin1Char(':') + text;
    case 12:
        return QStringLiteral("12 该请求已经完成，并且所有数据均已接收到。");
    default:
        return QString::number(code) + QLatin1Char(':') + text;
    }
}

void Scheduler::monoState(int state) {
    int code = 0;
    QString text;
    if (m_inet) {
        code = static_cast<int>(m_inet->error());
        text = m_inet->errorString();
    }
    emit connectionText(connectionStateText(state, code, text));
}

bool Scheduler::Inet下载当前文件(int i) {
    if (inetExecuting() || Busy) {
        DownloadItem it = row(i);
        it.state = ItemState::Waiting;
        it.size = QStringLiteral("等待重新下载");
        commit(i, it);
        return false;
    }
    Busy = true;
    QPointer<Scheduler> alive(this);
    const bool result = Inet下载文件(i);
    // The window (and this scheduler with it) may have closed while the
    // transfer waited.
    if (alive) {
        Busy = false;
        scheduleNextStart();
    }
    return result;
}

bool Scheduler::Inet下载文件(int i) {
    if (!m_model.isValidRow(i))
        return false;
    if (!m_inet) {
        m_inet = new TransferRequest(app().transport(), this);
        connect(m_inet.data(), &TransferRequest::stateChanged, this, &Scheduler::monoState);
    }
    TransferRequest* inet = m_inet.data();
    QPointer<Scheduler> alive(this);
    // The row stays at its position while a transfer runs (commands that move
    // rows are refused meanwhile); guard anyway against a list emptied under us.
    auto rowGone = [this, i] { return !m_model.isValidRow(i); };

    DownloadItem it = row(i);
    m_monoPlannedType = it.type;
    const QString address = 选择url(it.key);
    const qint64 start = app().clock().monotonicMs();
    qint64 lastProgress = start;

    // The proxy of the options applies per request; the port is the address's own.
    RequestOptions request;
    request.proxy =
        ProxySettings::fromOptions(app().ProxyEnabled, app().ProxyAddress, app().ProxyPort);

    Busy = true;
    emit activityText(QStringLiteral("正在下载:") + it.name);

    const QString referer = it.tag.isEmpty() ? UrlRoot(address) : it.tag;
    request.addHeaderText(QStringLiteral("Referer: ") + referer + QStringLiteral("\r\n"));
    // A part an earlier attempt of this row left at the path it will most
    // likely take: ask for the rest of it, when what it remembers can prove
    // that the rest belongs to the same file.
    PartFile::ResumeFacts resumeFacts;
    qint64 resumeFrom = 0;
    QString resumePath;
    if (!m_inetNoResume) {
        DownloadItem planned = it;
        planned.name = FileNameFor(planned.name, address);
        if (!planned.folder.isEmpty() && !planned.folder.endsWith(QLatin1Char('/')))
            planned.folder += QLatin1Char('/');
        QString plannedName;
        resumePath = policy() == SameNamePolicy::Rename ? plannedPath(planned, plannedName)
                                                        : RowFilePath(planned);
        resumeFrom = PartFile::peekResume(LocalPath(resumePath), address, &resumeFacts);
        if (resumeFrom > 0 && !IsStrongValidator(resumeFacts.validator))
            resumeFrom = 0; // then the part is replaced by the whole file
    }
    if (resumeFrom > 0)
        request.addHeaderText(QStringLiteral("Range: bytes=%1-\r\nIf-Range: %2\r\n")
                                  .arg(resumeFrom)
                                  .arg(QString::fromLatin1(resumeFacts.validator)));
    m_inetOffset = 0;
    inet->execute(address, request);

    bool result = false;
    QString path;
    QString failureReason;

    // At most 30 seconds for the response.
    inet->waitForHeaders(
        [&] { return !alive || secondsSince(start) > ResponseWaitSeconds || rowGone(); });
    if (!alive)
        return false;
    if (rowGone()) {
        inet->cancel();
        return false;
    }

    // The kept part is no use any more: the file changed or starts over.
    const auto dropKeptPart = [&] {
        if (resumeFrom <= 0)
            return;
        PartFile kept(LocalPath(resumePath));
        PartFile::ResumeFacts ignored;
        if (kept.openToResume(address, &ignored) > 0)
            kept.discard();
    };
    // Not the rest of the part: the file is asked for again, whole (once:
    // that request carries no range).
    const auto askForTheWholeFile = [&] {
        inet->cancel();
        dropKeptPart();
        m_inetNoResume = true;
        const bool again = Inet下载文件(i);
        if (alive)
            m_inetNoResume = false;
        return again;
    };

    const QString headers = inet->headerBlock();
    const ResumeAnswer answer = ResumeAnswerOf(*inet);
    const ResumeCheck check = headers.isEmpty()
                                  ? ResumeCheck::Continue
                                  : CheckResumeAnswer(resumeFrom, resumeFacts, answer);
    // The rest of the kept part, or no answer about the file at all: the row
    // keeps the name and type it was planned with, whatever type the answer says.
    const bool keepPlannedName =
        resumeFrom > 0 && (check == ResumeCheck::Continue || check == ResumeCheck::NotTheFile);
    qint64 size = 0;
    QString type;
    bool statusOk = false;
    if (headers.isEmpty()) {
        failureReason = NoAnswerReason(*inet);
        inet->cancel();
        it = row(i);
        it.state = ItemState::Failed;
        // The cells say why when the user can do something about it.
        if (!failureReason.isEmpty()) {
            it.size = QStringLiteral("下载失败");
            it.percent = failureReason;
        }
        commit(i, it);
        result = false;
    } else if (IsPleaseWaitAtHeaders(inet->statusCode(), inet->header("Retry-After"))) {
        // The site asks to come back later: nothing of this answer is kept.
        const QString retryAfter = inet->header("Retry-After");
        inet->cancel();
        holdRowForSite(i, SiteAnswer::PleaseWait, retryAfter);
        return false;
    } else if (check == ResumeCheck::Mismatch) {
        return askForTheWholeFile();
    } else if (check == ResumeCheck::Refused) {
        // A part of the file answered to a request for all of it: no whole
        // file can come of this answer.
        inet->cancel();
        it = row(i);
        it.state = ItemState::Failed;
        it.size = QStringLiteral("下载失败");
        commit(i, it);
        result = false;
    } else {
        bool ok = false;
        const qint64 length = inet->header("Content-Length").trimmed().toLongLong(&ok);
        size = ok && length > 0 ? length : 0;
        // The rest of a part makes the whole file: that is what must arrive.
        if (check == ResumeCheck::Continue && resumeFrom > 0)
            size = resumeFacts.total;

        const bool tooBig = double(size) / 1024.0 / 1024.0 > app().MaxFileSizeMB;
        if (tooBig && check == ResumeCheck::NotTheFile) {
            // Not the file, so no file too big either: nothing of it is read.
            inet->cancel();
            endAnswerAside(i, {});
            result = false;
        } else if (tooBig) {
            inet->cancel();
            it = row(i);
            it.state = ItemState::Finished;
            it.percent = QStringLiteral("大文件，跳过");
            commit(i, it);
            result = true;
        } else {
            const QStringList contentType =
                inet->header("Content-Type").trimmed().split(QLatin1Char(';'));
            QString charset;
            if (contentType.size() > 1) {
                // "; charset=gbk" is written with a space as often as without.
                const QString second = contentType.at(1).trimmed();
                if (second.left(8).toLower() == QLatin1String("charset="))
                    charset = second.mid(8);
            }
            type = MimeTypeToExtension(contentType.at(0).trimmed());

            QString extension;
            从下载头信息ContentDisposition获取文件名(
                从网络文件Header获取ContentDisposition(headers), extension);
            if (!extension.isEmpty() && type.isEmpty())
                type = extension;
            if (!charset.isEmpty() && type.isEmpty())
                type = QStringLiteral("htm");

            const QString firstLine = headers.section(QStringLiteral("\r\n"), 0, 0);
            statusOk = firstLine.contains(QLatin1String("200")) &&
                       firstLine.contains(QLatin1String("OK"), Qt::CaseInsensitive);

            // Prepare the row.
            it = row(i);
            // A name that cleans to nothing would give the hidden file ".pdf".
            it.name = FileNameFor(it.name, address);
            const QString folder = EnsureFolder(it.folder);
            if (!folder.isEmpty())
                it.folder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
            // A row that still holds its own file keeps the name and type of
            // that file until a new one has arrived: the answer's type says
            // nothing yet, and the row must not claim another file as its own.
            if (!type.isEmpty() && !keepPlannedName && !it.placed)
                it.type = type;
            if (policy() == SameNamePolicy::Rename) {
                QString newName;
                path = plannedPath(it, newName);
                it.name = newName;
            } else {
                path = it.folder + it.name;
                if (!it.type.isEmpty())
                    path += QLatin1Char('.') + it.type;
            }
            commit(i, it);

            // A folder that could not be made fails the row here: "/" + name
            // would land in the root folder.
            if (folder.isEmpty()) {
                it.state = ItemState::Failed;
                it.size = QStringLiteral("下载失败");
                commit(i, it);
                inet->cancel();
            } else {
                if (check == ResumeCheck::Continue && resumeFrom > 0 &&
                    LocalPath(path) != LocalPath(resumePath))
                    return askForTheWholeFile();
                if (check == ResumeCheck::Restart)
                    dropKeptPart();
                // An answer that is not the file is read into a part of its
                // own beside the kept one, only to tell a site's request from
                // an ordinary error; the kept part stays locked and untouched
                // meanwhile and is left for the next attempt afterwards.
                std::optional<PartFile> kept;
                if (check == ResumeCheck::NotTheFile) {
                    kept.emplace(LocalPath(resumePath));
                    PartFile::ResumeFacts ignored;
                    kept->openToResume(address, &ignored);
                }
                const auto leaveKept = qScopeGuard([&] {
                    if (kept)
                        kept->keep();
                });
                // What stands at the path (the user's file under the overwrite
                // policy) is replaced only when a whole document has arrived.
                PartFile part(path);
                if (check == ResumeCheck::Continue && resumeFrom > 0) {
                    PartFile::ResumeFacts held;
                    m_inetOffset = part.openToResume(address, &held);
                    if (m_inetOffset != resumeFrom || held.validator != resumeFacts.validator) {
                        part.discard();
                        return askForTheWholeFile();
                    }
                } else if (part.open() && check != ResumeCheck::NotTheFile) {
                    part.setResumable(ResumeFactsOf(address, answer));
                }
                StreamOutcome outcome = StreamOutcome::Failed;
                m_inetAside = check == ResumeCheck::NotTheFile;
                if (size > 0 || statusOk) {
                    it.size = size != 0 ? QString::number(size) : QStringLiteral("未知");
                    commit(i, it);
                    outcome = streamBody(i, part, size, lastProgress);
                } else {
                    outcome = fetchWholeBody(i, part);
                }
                if (!alive)
                    return false;
                m_inetAside = false;
                if (check == ResumeCheck::NotTheFile) {
                    // Whatever it is, its body is not kept. (A body that broke
                    // off has already failed the row.)
                    const bool read =
                        outcome == StreamOutcome::Complete || outcome == StreamOutcome::TooBig;
                    const QByteArray head = read ? readFileHead(part.path()) : QByteArray();
                    part.discard();
                    if (read)
                        endAnswerAside(i, head);
                    result = false;
                } else {
                    result = outcome == StreamOutcome::TooBig;
                    if (outcome == StreamOutcome::Complete)
                        result = settleArrival(i, part, path);
                }
            }
        }
    }

    if (m_inet)
        m_inet->cancel();
    if (!m_model.isValidRow(i))
        return result;
    it = row(i);
    // A row the site held back has not ended.
    if (it.state == ItemState::Waiting)
        return result;
    // Mode one also counts "xml" as a web page.
    announceTransferEnd(it, true, failureReason);
    return result;
}

// Streams the body into the part file. Every end but a complete body writes
// the row's end state and drops the part.
Scheduler::StreamOutcome Scheduler::streamBody(int i, PartFile& part, qint64 size,
                                               qint64& lastProgress) {
    TransferRequest* inet = m_inet.data();
    QPointer<Scheduler> alive(this);
    auto rowGone = [this, i] { return !m_model.isValidRow(i); };
    DownloadItem it = row(i);

    it.received = QString::number(m_inetOffset);
    commit(i, it);
    if (!part.isOpen() && !part.open()) {
        inet->cancel();
        it.size = QStringLiteral("下载失败");
        it.state = ItemState::Failed;
        commit(i, it);
        return StreamOutcome::Failed;
    }
    QIODevice& file = *part.device();

    // A resumed part already holds the first bytes of the file.
    qint64 received = m_inetOffset;
    qint64 written = m_inetOffset;
    qint64 lastRefresh = 0;
    qint64 shown = m_inetOffset;
    auto refreshCells = [&](bool force) {
        const qint64 nowMs = app().clock().monotonicMs();
        if (!force && nowMs - lastRefresh < CellRefreshMs)
            return;
        lastRefresh = nowMs;
        shown = received;
        DownloadItem c = row(i);
        c.received = QString::number(received);
        double total = 0;
        if (isNumber(c.size, &total) && total > 0)
            c.percent = percentText(received, static_cast<qint64>(total));
        commit(i, c);
    };
    // Drops the partial body (or keeps it for a resume when the transfer was
    // only cut short) and marks the row failed with the given size text.
    auto fail = [&](const QString& sizeText, bool mayKeep = true) {
        inet->cancel();
        if (mayKeep)
            part.keep();
        else
            part.discard();
        if (alive && m_model.isValidRow(i)) {
            if (shown < received)
                refreshCells(true);
            DownloadItem c = row(i);
            c.size = sizeText;
            c.state = ItemState::Failed;
            commit(i, c);
        }
        return StreamOutcome::Failed;
    };

    // Each chunk is written at once; the loop yields to the message loop
    // whenever it has to wait for the network, and at least every 512 KB.
    qint64 sinceYield = 0;
    for (;;) {
        const bool stop = !Busy;
        qint64 chunk = 0;
        if (!stop && !rowGone()) {
            if (inet->bufferedBytes() == 0) {
                sinceYield = 0;
                // About to wait: show what has arrived so far.
                if (shown < received)
                    refreshCells(true);
                chunk = inet->readInto(file, ChunkBytes, [&] {
                    return !alive || !Busy || rowGone() ||
                           secondsSince(lastProgress) > StallSeconds;
                });
            } else {
                // Yield now and then while bytes are buffered, so the window
                // stays live and the network keeps refilling the buffer.
                if (sinceYield >= YieldBytes) {
                    sinceYield = 0;
                    Wait::processEventsOnce();
                    if (!alive)
                        return StreamOutcome::Cancelled; // the part goes with its owner
                }
                chunk = inet->readInto(file, ChunkBytes);
            }
            if (!alive)
                return StreamOutcome::Cancelled;
        }
        if (chunk < 0) {
            // The disk refused the bytes (full, gone): nothing complete can come of it.
            return fail(QStringLiteral("下载失败"), false);
        }
        sinceYield += chunk;
        written += chunk;

        if (written > received) {
            received = written;
            lastProgress = app().clock().monotonicMs();
            refreshCells(size > 0 && received >= size);
        }

        if (size > 0) {
            if (written >= size)
                break;
            // The connection closed, or the reply ended, short of the announced
            // length: the rest will never come.
            if (inet->bodyEnded() && !inet->wasCancelled())
                return fail(QStringLiteral("下载失败"));
        } else if (chunk == 0 && Busy && !inet->wasCancelled() && inet->bodyEnded()) {
            // A body of unknown length ends with its connection; an error
            // after the headers means it was cut off.
            if (!inet->bodyComplete())
                return fail(QStringLiteral("下载失败"));
            break;
        } else if (double(written) / 1024.0 / 1024.0 > app().MaxFileSizeMB) {
            // Too big: nothing of it is kept, and a file under the name stays.
            inet->cancel();
            // An answer set aside is not the file: its caller ends the row.
            if (m_inetAside)
                return StreamOutcome::TooBig;
            part.discard();
            refreshCells(true);
            DownloadItem c = row(i);
            c.state = ItemState::Finished;
            c.percent = QStringLiteral("大文件，跳过");
            commit(i, c);
            return StreamOutcome::TooBig;
        }

        if (secondsSince(lastProgress) > StallSeconds)
            return fail(QStringLiteral("下载失败"));
        if (!Busy || rowGone())
            return fail(QStringLiteral("下载取消"));
    }

    // Bytes past an announced length would be a different answer than the one
    // announced; so would a disk that failed to take the last bytes.
    if (size > 0 && written != size)
        return fail(QStringLiteral("下载失败"), false);
    // The disk takes the bytes while the window stays live.
    const bool synced = part.finishWaiting();
    if (!alive)
        return StreamOutcome::Cancelled;
    if (!synced)
        return fail(QStringLiteral("下载失败"), false);
    refreshCells(true);
    return StreamOutcome::Complete;
}

// The body of an answer that gave neither a length nor a success status,
// read to its end under the same silence limit and size limit as any body.
// The answer already on its way is read rather than asked for again: the
// server sees the request once.
Scheduler::StreamOutcome Scheduler::fetchWholeBody(int i, PartFile& part) {
    DownloadItem it = row(i);
    it.size = QStringLiteral("未知");
    commit(i, it);
    qint64 lastProgress = app().clock().monotonicMs();
    return streamBody(i, part, 0, lastProgress);
}

bool Scheduler::FetchWholeFile(int i, const QString& path) {
    if (!m_inet || !m_model.isValidRow(i))
        return false;
    PartFile part(path);
    m_inetOffset = 0; // a whole body, never a resumed one
    m_inetAside = false;
    QPointer<Scheduler> alive(this);
    const StreamOutcome outcome = fetchWholeBody(i, part);
    if (!alive || outcome != StreamOutcome::Complete)
        return false;
    return settleArrival(i, part, path);
}

void Scheduler::endAnswerAside(int i, const QByteArray& bodyHead) {
    if (!m_model.isValidRow(i))
        return;
    TransferRequest* inet = m_inet.data();
    const QString retryAfter = inet ? inet->header("Retry-After") : QString();
    const SiteAnswer answer =
        ClassifySiteAnswer(inet ? inet->statusCode() : 0, retryAfter, bodyHead);
    if (answer != SiteAnswer::Ordinary) {
        holdRowForSite(i, answer, retryAfter);
        return;
    }
    // Failed as any answer that is no file: "重新下载" and the automatic
    // re-download put it back with the name its kept part is found under.
    DownloadItem it = row(i);
    it.state = ItemState::Failed;
    it.size = QStringLiteral("下载失败");
    commit(i, it);
}

// Judges the whole body in the part file and gives it its final name: the
// planned path for the document, a free name of its own type for a web page
// or another document type. The row ends Finished (true) or, when the answer
// is no usable file or cannot be put in place, Failed with "下载失败".
bool Scheduler::settleArrival(int i, PartFile& part, const QString& path) {
    if (!m_model.isValidRow(i))
        return false;
    TransferRequest* inet = m_inet.data();
    DownloadItem it = row(i);
    ArrivalFacts facts;
    if (inet) {
        facts.status = inet->statusCode();
        facts.contentType = inet->header("Content-Type");
        facts.contentEncoding = inet->header("Content-Encoding");
        facts.lengthKnown = inet->contentLength() >= 0;
    }
    facts.bytes = part.size();
    // Every announced byte read proves the body whole even before the reply
    // has reported its end; without a length only the end itself does.
    if (inet)
        facts.complete =
            inet->bodyComplete() || (!inet->isFinished() && facts.lengthKnown &&
                                     facts.bytes - m_inetOffset == inet->contentLength() &&
                                     inet->error() == QNetworkReply::NoError);
    // A whole body in a coding nobody asked for is judged as what it codes.
    PartFile* body = &part;
    std::unique_ptr<PartFile> decodedPart;
    if (facts.complete && IsContentCoded(facts.contentEncoding)) {
        DecodedBody decoded =
            DecodeCodedBody(part.path(), path, facts.contentEncoding, app().MaxFileSizeMB);
        part.discard();
        if (decoded.outcome == DecodedBody::Outcome::TooBig) {
            it.state = ItemState::Finished;
            it.percent = QStringLiteral("大文件，跳过");
            commit(i, it);
            return true;
        }
        if (decoded.outcome == DecodedBody::Outcome::Decoded && decoded.part->finish()) {
            decodedPart = std::move(decoded.part);
            body = decodedPart.get();
            // The coded stream ended by itself: the decoded body is whole.
            facts.contentEncoding.clear();
            facts.lengthKnown = true;
            facts.bytes = decoded.bytes;
            it.size = it.received = QString::number(decoded.bytes);
            it.percent = QStringLiteral("100%");
        } else {
            facts.complete = false;
        }
    }
    if (inet) {
        // A request to wait or a robot check is no page of the row: it waits
        // again, and nothing of the answer stays.
        const QString retryAfter = inet->header("Retry-After");
        const SiteAnswer answer =
            ClassifySiteAnswer(facts.status, retryAfter, readFileHead(body->path()));
        if (answer != SiteAnswer::Ordinary) {
            body->discard();
            it.type = m_monoPlannedType;
            commit(i, it);
            holdRowForSite(i, answer, retryAfter);
            return false;
        }
    }
    const ArrivalJudgement judged = JudgeArrival(facts, body->path());
    const QString finalPath = judged.verdict == ArrivalVerdict::Failed
                                  ? QString()
                                  : ArrivalTargetPath(path, it.type, judged.type);
    if (!finalPath.isEmpty())
        m_model.notePlacing(i, finalPath, body->path()); // kept before the rename
    if (finalPath.isEmpty() || !body->commitTo(finalPath)) {
        body->discard();
        it.state = ItemState::Failed;
        const QFileInfo standing(finalPath);
        if (!finalPath.isEmpty() && (standing.exists() || standing.isSymLink())) {
            // Something stands at the name that cannot be replaced (a folder).
            const QString existing = QString::number(standing.size());
            it.size = existing;
            it.received = existing;
            it.percent = QStringLiteral("无法替换");
        } else {
            it.size = QStringLiteral("下载失败");
        }
        commit(i, it);
        return false;
    }
    if (finalPath != path) {
        const QFileInfo arrived(finalPath);
        it.type = arrived.suffix();
        it.name = arrived.completeBaseName();
    }
    it.state = ItemState::Finished;
    it.placed = true;
    it.placedBytes = QFileInfo(LocalPath(finalPath)).size();
    if (isNumber(it.received) && it.size == QStringLiteral("未知")) {
        it.size = it.received;
        it.percent = QStringLiteral("100%");
    }
    commit(i, it);
    return true;
}
