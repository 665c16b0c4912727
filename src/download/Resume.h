#pragma once

#include "platform/PartFile.h"

#include <QByteArray>
#include <QString>

class TransferRequest;

// Whether a cut transfer can be continued, decided from what the server said.
// Both transfer modes ask here.
//
// A part is continued only with bytes of the very representation it holds:
// the answer that began it must have carried a strong validator, which the
// part remembers and sends in If-Range, and a 206 is appended only when it
// carries that validator again. Anything short of that costs the part, never
// the file's integrity.

// What an answer said that matters for resuming it, or for continuing with it.
struct ResumeAnswer {
    int status = 0;
    qint64 contentLength = -1; // -1: none announced
    QString contentRange;
    QString acceptRanges;
    QString contentEncoding;
    QString etag;
    QString lastModified;
    QString date;
};
ResumeAnswer ResumeAnswerOf(const TransferRequest& request);

// Whether a Content-Encoding value names a coding: anything but nothing or
// "identity".
bool IsContentCoded(const QString& contentEncoding);

// What to make of the answer to a request for a part that holds `offset`
// bytes of the file `facts` tell (a request with Range from offset on when
// offset > 0, a whole request otherwise).
enum class ResumeCheck {
    // The rest of the file, to be appended; to a whole request, an answer to be
    // judged as usual.
    Continue,
    // A whole answer (200) to a ranged request: the file starts over from it.
    Restart,
    // A success that is not the rest of this part (another range, total or
    // version, or a part in a content coding; 416): the part is dropped and
    // the file asked for whole.
    Mismatch,
    // No answer about the file (a request to wait, a robot check, an error
    // page): the part and what it remembers stay as they are.
    NotTheFile,
    // A partial answer (206) to a whole request: no file can come of it.
    Refused,
};
ResumeCheck CheckResumeAnswer(qint64 offset, const PartFile::ResumeFacts& facts,
                              const ResumeAnswer& answer);

// The validator an answer gives for If-Range: its entity tag when that is
// strong; without any entity tag, its Last-Modified date when that is strong
// too (the answer's Date is at least 60 seconds later). Empty otherwise: a
// weak tag, a date that may have changed within its second, or none at all.
QByteArray StrongValidatorOf(const ResumeAnswer& answer);
// Whether a remembered validator may be sent in If-Range: a strong entity tag
// or an HTTP date. A part that remembers anything else is not continued.
bool IsStrongValidator(const QByteArray& validator);

// The facts a whole answer gives for resuming it later: only when the server
// announced "Accept-Ranges: bytes", a strong validator and the length, and
// sent the body as it is stored. Otherwise invalid facts.
PartFile::ResumeFacts ResumeFactsOf(const QString& address, const ResumeAnswer& answer);
PartFile::ResumeFacts ResumeFactsOf(const QString& address, const TransferRequest& request);
