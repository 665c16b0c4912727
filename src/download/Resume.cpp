#include "download/Resume.h"

#include "net/HttpDate.h"
#include "platform/Transport.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

// A Last-Modified date is a strong validator for a client only when the
// server's clock says it lies this far back: a file changed twice within one
// second keeps its date.
constexpr qint64 StrongDateSeconds = 60;

// A strong entity tag: an opaque tag in double quotes, no "W/" before it.
bool isStrongEntityTag(const QByteArray& tag) {
    if (tag.size() < 2 || !tag.startsWith('"') || !tag.endsWith('"'))
        return false;
    for (qsizetype i = 1; i + 1 < tag.size(); ++i) {
        const auto c = static_cast<unsigned char>(tag.at(i));
        if (c == '"' || c < 0x21 || c == 0x7F)
            return false;
    }
    return true;
}

} // namespace

bool IsContentCoded(const QString& contentEncoding) {
    const QString coding = contentEncoding.trimmed();
    return !coding.isEmpty() && coding.compare(QLatin1String("identity"), Qt::CaseInsensitive) != 0;
}

ResumeAnswer ResumeAnswerOf(const TransferRequest& request) {
    ResumeAnswer answer;
    answer.status = request.statusCode();
    answer.contentLength = request.contentLength();
    answer.contentRange = request.header("Content-Range");
    answer.acceptRanges = request.header("Accept-Ranges");
    answer.contentEncoding = request.header("Content-Encoding");
    answer.etag = request.header("ETag");
    answer.lastModified = request.header("Last-Modified");
    answer.date = request.header("Date");
    return answer;
}

ResumeCheck CheckResumeAnswer(qint64 offset, const PartFile::ResumeFacts& facts,
                              const ResumeAnswer& answer) {
    const int status = answer.status;
    if (offset <= 0)
        return status == 206 ? ResumeCheck::Refused : ResumeCheck::Continue;
    if (status < 200 || status > 299)
        // A 416 speaks of the file: the part does not fit what the server
        // holds now, and asking for the same range again would never end.
        return status == 416 ? ResumeCheck::Mismatch : ResumeCheck::NotTheFile;
    if (status == 200)
        return ResumeCheck::Restart;
    if (status != 206)
        return ResumeCheck::Mismatch;
    // The range was asked for as the file is stored; a coded part counts
    // coded bytes and would splice a coding into the plain bytes kept.
    if (IsContentCoded(answer.contentEncoding))
        return ResumeCheck::Mismatch;
    static const QRegularExpression range(QStringLiteral(R"(^\s*bytes\s+(\d+)-(\d+)/(\d+)\s*$)"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = range.match(answer.contentRange);
    if (!m.hasMatch())
        return ResumeCheck::Mismatch;
    const qint64 first = m.captured(1).toLongLong();
    const qint64 last = m.captured(2).toLongLong();
    const qint64 total = m.captured(3).toLongLong();
    if (first != offset || total != facts.total || last != total - 1)
        return ResumeCheck::Mismatch;
    if (answer.contentLength >= 0 && answer.contentLength != total - first)
        return ResumeCheck::Mismatch;
    // The rest of another version of the file would splice two versions: a
    // server that ignores If-Range shows it only by the validator it sends.
    const bool rememberedTag = facts.validator.startsWith('"');
    const QByteArray sent =
        (rememberedTag ? answer.etag : answer.lastModified).trimmed().toLatin1();
    if (facts.validator.isEmpty() || sent != facts.validator)
        return ResumeCheck::Mismatch;
    return ResumeCheck::Continue;
}

QByteArray StrongValidatorOf(const ResumeAnswer& answer) {
    const QByteArray tag = answer.etag.trimmed().toLatin1();
    if (!tag.isEmpty())
        return isStrongEntityTag(tag) ? tag : QByteArray();
    const QString modified = answer.lastModified.trimmed();
    const QDateTime changed = ParseHttpDate(modified);
    const QDateTime sent = ParseHttpDate(answer.date);
    if (!changed.isValid() || !sent.isValid() || changed.secsTo(sent) < StrongDateSeconds)
        return {};
    return modified.toLatin1();
}

bool IsStrongValidator(const QByteArray& validator) {
    return isStrongEntityTag(validator) ||
           (!validator.startsWith("W/") && ParseHttpDate(QString::fromLatin1(validator)).isValid());
}

PartFile::ResumeFacts ResumeFactsOf(const QString& address, const ResumeAnswer& answer) {
    PartFile::ResumeFacts facts;
    if (answer.status != 200 || answer.contentLength <= 0)
        return facts;
    if (!answer.acceptRanges.contains(QLatin1String("bytes"), Qt::CaseInsensitive))
        return facts;
    // A coded body's ranges count coded bytes, not the file's.
    if (IsContentCoded(answer.contentEncoding))
        return facts;
    facts.address = address;
    facts.validator = StrongValidatorOf(answer);
    facts.total = answer.contentLength;
    return facts.isValid() ? facts : PartFile::ResumeFacts{};
}

PartFile::ResumeFacts ResumeFactsOf(const QString& address, const TransferRequest& request) {
    return ResumeFactsOf(address, ResumeAnswerOf(request));
}
