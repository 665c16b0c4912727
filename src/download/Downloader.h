#pragma once

#include <memory>

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include "platform/PartFile.h"

class QTimer;
class TransferRequest;

// One worker of the multi-worker transfer: fetches one address into one file
// in the background and reports by signals, each carrying the worker's index
// (1 to 6) first.
//
// The body streams into a hidden part file in the target's folder and is renamed
// into place only when it arrived whole and was judged (JudgeArrival): a
// document takes the target's name (replacing what stood there in one step), a
// web page goes to a free name of type htm beside it, anything else is dropped.
// So memory does not grow with the file, and a user's file under the target
// name is replaced only by a complete document. Nothing is written under the
// target name before that: while the transfer runs, the name is held by the
// worker (the scheduler asks saveFile()) and by its locked part file. A whole
// body in a content coding the request did not ask for is decoded into a new
// part first (DecodeCodedBody) and judged as what it codes.
//
// A part an earlier transfer of the address kept is continued with a ranged
// request (see CheckResumeAnswer). An answer to it that is not the file (a
// request to wait, a robot check, an error page) is read into a part of its
// own beside the kept one, only to tell which it is, and never kept: a site's
// request ends as SiteAnswered, any other as DownloadError "下载失败". The
// kept part stays as it was for the next attempt.
//
// After DownloadComplete or DownloadError the worker is idle and emits nothing
// more; the window unloads it. Destroying a worker (delete, or unload() from any
// handler, including one of its own signals) abandons a running transfer: its
// part file is removed (a resumable one is kept for the next attempt) and no
// signal follows.
class Downloader : public QObject {
    Q_OBJECT
public:
    // No growth for this long ends the transfer as "超时".
    static constexpr double WatchdogSeconds = 300;
    // No complete response header block this long after the request ends the
    // transfer as "超时" too: while the headers arrive, nothing counts as
    // growth, and a block that never ends must not be read for 300 s.
    static constexpr double ResponseWaitSeconds = 30;

    explicit Downloader(int index, QObject* parent = nullptr);
    ~Downloader() override;

    // Starts fetching url into saveFile. referer, when not empty, is sent as the
    // "Referer" header. A transfer this worker is still running is abandoned
    // first. Never emits before returning: even a start that fails at once
    // reports from the event loop.
    void BeginDownload(const QString& url, const QString& saveFile, const QString& referer);
    // Abandons the running transfer quietly (no signal): the part file is
    // removed (a resumable one kept), the watchdog stops, the worker becomes idle.
    void CancelAsyncRead();
    // Abandons the transfer at once, like CancelAsyncRead(), and deletes the
    // worker from the event loop. Use it from the worker's own signal handlers:
    // nothing is emitted after it, even before the deletion has happened.
    void unload();

    int index() const { return m_index; }
    QString saveFile() const { return m_saveFile; }
    // The extension the save file was named with ("" for none); set before
    // BeginDownload. Unset, it is taken from the save file's name.
    void setPlannedType(const QString& type) {
        m_plannedType = type;
        m_plannedTypeSet = true;
    }
    // The address being read ("&amp;" already turned into "&").
    QString target() const { return m_target; }
    // The announced total of the body; 0 while unknown.
    qint64 bytesExpected() const { return m_bytesExpected; }
    // Body bytes received so far in the current read.
    qint64 bytesRead() const { return m_bytesRead; }
    // A transfer is running (reading or in the fallback read).
    bool isRunning() const { return m_phase != Phase::Idle; }
    // True while the running transfer is the second, fallback read.
    bool inFallback() const { return m_phase == Phase::Fallback; }
    // The part file the body is streaming into; empty when none.
    QString partFile() const;
    // Why the last transfer got no answer at all, when the user can act on it
    // (NoAnswerReason); empty otherwise. Read it in the DownloadError handler.
    QString failureReason() const { return m_failureReason; }

signals:
    // Body bytes received and the announced total; only when a total is known.
    void DownloadProgress(int Index, qint64 CurBytes, qint64 MaxBytes, const QString& SaveFile);
    // The read has ended with content. The file at SaveFile is complete exactly
    // when CurBytes equals MaxBytes (a body of unannounced length reports its
    // length as both); SaveFile is where it now stands, which is the save file
    // unless a web page or another type than planned arrived. A read that ended
    // short of an announced length reports the bytes it got and that length;
    // its partial content is discarded and the save file is left as it was.
    void DownloadComplete(int Index, qint64 CurBytes, qint64 MaxBytes, const QString& SaveFile);
    // The transfer ended without content. MissCode: "超时" (no growth for
    // WatchdogSeconds), "无法下载" (nothing could be fetched, even by the
    // fallback read), "下载失败" (an answer came that is no usable file: an
    // error status without a web page, an empty or cut-off body, a body that
    // could not be written whole, any answer to a ranged request that is not
    // the file) or "大文件，跳过" (the body is larger than MaxFileSizeMB:
    // announced, or grown past it).
    void DownloadError(int Index, const QString& SaveFile, const QString& MissCode);
    // The site asked to wait (429/503) or put a robot check in front of the
    // file; Answer is a SiteAnswer. Nothing of the answer stays on disk.
    void SiteAnswered(int Index, int Answer, const QString& RetryAfter);
    // The whole body is about to be renamed from PartPath to FinalPath; the
    // rename follows when the handlers have returned.
    void AboutToPlace(int Index, const QString& FinalPath, const QString& PartPath);

private:
    enum class Phase { Idle, Reading, Fallback };
    class BodySink;

    void startRead();
    void onHeaders();
    void onChanged();
    void onFinished();
    void watchdogTick();
    // The body is (announced as, or has grown) larger than the size limit.
    bool overLimit() const;
    // Emits DownloadProgress unless one was emitted very recently (then it
    // follows shortly); force skips that pacing. Returns false when the
    // transfer ended during the emission (the handler unloaded or restarted the
    // worker).
    bool notifyProgress(bool force);
    // Ends the transfer without content and emits DownloadError.
    void fail(const QString& missCode);
    void failLater(const QString& missCode);
    // Ends the transfer with SiteAnswered when the answer is the site's
    // request to wait or a robot check; bodyEnded: the whole body is in.
    bool siteAnswered(bool bodyEnded);
    // Ends the transfer of an answer set aside (read whole, or past the size
    // limit): SiteAnswered or DownloadError "下载失败", its body removed.
    void endAnswerAside();
    // Decides, once per request and before any body byte is written, where
    // the body goes: onto the part (the file or its rest), aside (an answer
    // to a ranged request that is not the file: the kept part stays as it
    // was), or nowhere (an answer that is dropped). Returns that device.
    QIODevice* routeBody();
    // The part the body of the current answer streams into; none when an
    // answer set aside could not get one.
    PartFile* bodyPart() const { return m_answerAside ? m_aside.get() : m_part.get(); }
    // The whole length the body is on its way to, counted from the start of
    // the file; 0 while unknown.
    qint64 expectedTotal() const;
    // A whole body in a content coding nobody asked for is decoded into a
    // new part before it is judged. False when that failed and the transfer
    // ended (DownloadError "下载失败" or "大文件，跳过").
    bool decodeBody();
    // Judges the part file, synced by now, and renames it into place; the final path,
    // or empty with the part dropped when nothing may stay.
    QString commit(QString* missCode);
    // Stops the read and the watchdog; a resumable part stays for the row's
    // next attempt, any other is removed. Emits nothing.
    void abandon();
    // Ends the request; keepPart leaves a resumable part on disk.
    void releaseRead(bool keepPart);

    const int m_index;
    QTimer* Timer1 = nullptr;
    Phase m_phase = Phase::Idle;
    // Counts transfers and their ends, so notices queued for a transfer that
    // has ended since are dropped.
    quint64 m_run = 0;

    QString m_saveFile;
    QString m_target;
    QString m_referer;
    qint64 m_bytesExpected = 0;
    qint64 m_bytesRead = 0;
    qint64 m_bytesSeen = 0;
    qint64 m_lastProgressMs = 0; // program clock, monotonic
    qint64 m_requestStartMs = 0;
    // Bytes the part held before this request (a resumed transfer).
    qint64 m_offset = 0;
    PartFile::ResumeFacts m_resumeFacts;
    bool m_mayResume = true;
    // The current answer is being dropped (asked again whole, or refused):
    // its notices are ignored until the worker acts on it.
    bool m_dropping = false;
    bool m_routed = false;
    // The current answer is not the file: its body goes to m_aside.
    bool m_answerAside = false;
    QIODevice* m_bodyTarget = nullptr;
    // The bytes the finished part must hold: the whole representation when
    // the answer tells it (the total of a continued part, an announced
    // length); 0 when unknown.
    qint64 m_wholeLength = 0;
    // m_part holds the decoded body of a coded answer.
    bool m_decoded = false;
    QString m_failureReason;
    QString m_plannedType;
    bool m_plannedTypeSet = false;

    QPointer<TransferRequest> m_request;
    std::unique_ptr<PartFile> m_part;
    // The body of an answer that is not the file, kept apart from m_part.
    std::unique_ptr<PartFile> m_aside;
    std::unique_ptr<BodySink> m_sink;
    bool m_noticed = false;
    bool m_noticePending = false;
    QElapsedTimer m_sinceNotice;
};
