#include "download/Resume.h"

#include "platform/Transport.h"

#include <QRegularExpression>

ResumeCheck CheckResumeAnswer(qint64 offset, const PartFile::ResumeFacts& facts, int status,
                              const QString& contentRange, qint64 contentLength) {
    if (offset <= 0)
        return ResumeCheck::Continue;
    if (status == 200)
        return ResumeCheck::Restart;
    if (status != 206)
        return ResumeCheck::Mismatch;
    static const QRegularExpression range(QStringLiteral(R"(^\s*bytes\s+(\d+)-(\d+)/(\d+)\s*$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = range.match(contentRange);
    if (!m.hasMatch())
        return ResumeCheck::Mismatch;
    const qint64 first = m.captured(1).toLongLong();
    const qint64 last = m.captured(2).toLongLong();
    const qint64 total = m.captured(3).toLongLong();
    if (first != offset || total != facts.total || last != total - 1)
        return ResumeCheck::Mismatch;
    if (contentLength >= 0 && contentLength != total - first)
        return ResumeCheck::Mismatch;
    return ResumeCheck::Continue;
}

PartFile::ResumeFacts ResumeFactsOf(const QString& address, const TransferRequest& request) {
    PartFile::ResumeFacts facts;
    if (request.statusCode() != 200 || request.contentLength() <= 0)
        return facts;
    if (!request.header("Accept-Ranges").contains(QLatin1String("bytes"), Qt::CaseInsensitive))
        return facts;
    // A coded body's ranges count coded bytes, not the file's.
    const QString coding = request.header("Content-Encoding").trimmed();
    if (!coding.isEmpty() && coding.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0)
        return facts;
    QString validator = request.header("ETag").trimmed();
    if (validator.startsWith(QLatin1String("W/"))) // a weak tag cannot vouch for bytes
        validator.clear();
    if (validator.isEmpty())
        validator = request.header("Last-Modified").trimmed();
    facts.address = address;
    facts.validator = validator.toLatin1();
    facts.total = request.contentLength();
    return facts.isValid() ? facts : PartFile::ResumeFacts{};
}
