#pragma once

#include "platform/PartFile.h"

#include <QString>

class TransferRequest;

// Whether a cut transfer can be continued, decided from what the server said.
// Both transfer modes ask here.

// What to make of the answer to a request (Range from `offset` on, when
// offset > 0) for a part that holds `offset` bytes of the file `facts` tell.
enum class ResumeCheck {
    Continue, // the answer is the rest of the file (or, at offset 0, the file)
    Restart,  // a whole answer (200): the file starts over from it
    Mismatch, // not the rest of this file (another range, another length, 416, ...)
};
ResumeCheck CheckResumeAnswer(qint64 offset, const PartFile::ResumeFacts& facts, int status,
                              const QString& contentRange, qint64 contentLength);

// The facts a whole answer gives for resuming it later: only when the server
// announced "Accept-Ranges: bytes", a strong validator (ETag, else
// Last-Modified) and the length, and sent the body as it is stored.
// Otherwise invalid facts.
PartFile::ResumeFacts ResumeFactsOf(const QString& address, const TransferRequest& request);
