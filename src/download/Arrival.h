#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class PartFile;
class TransferRequest;

// What a transfer is allowed to make of a body that has reached its part file.
// Both transfer modes ask here before anything gets a final name, so a row is
// Finished with a document only when a complete, successful answer arrived.

// What the transfer saw of the answer.
struct ArrivalFacts {
    int status = 0;           // the HTTP status, 0 when none arrived
    QString contentType;      // the Content-Type value as sent
    QString contentEncoding;  // the Content-Encoding value as sent
    bool complete = false;    // ended without error, every announced byte arrived
    bool lengthKnown = false; // a Content-Length was announced
    qint64 bytes = 0;         // body bytes in the part file
};

enum class ArrivalVerdict {
    Document, // keep it under the document's name (type: what the bytes are, "" unknown)
    WebPage,  // a web page (an error or sign-in page): keep it as "htm"
    Failed,   // nothing usable: "下载失败", nothing stays on disk
};

struct ArrivalJudgement {
    ArrivalVerdict verdict = ArrivalVerdict::Failed;
    QString type; // lower-case extension: sniffed for a document, "htm" for a web page
};

ArrivalJudgement JudgeArrival(const ArrivalFacts& facts, const QString& partPath);

// Whether the start of a body is an HTML document, whatever its size and
// whether or not it has title, head or body markers.
bool StartsAsWebPage(const QByteArray& head);

// Where an arrived file belongs: the planned path when its type is unknown or
// the planned one (case ignored), otherwise the first free name of that type
// beside it ("name.htm", "name[0001].htm", ...), so that a page arriving
// instead of a document never takes the place of the user's document.
// plannedType is the extension the planned path was made with ("" for none).
QString ArrivalTargetPath(const QString& plannedPath, const QString& plannedType,
                          const QString& realType);

// A whole body in a content coding the request did not ask for (a server that
// codes whatever it sends) is decoded before it is judged: into a new part of
// the same target, step by step, so memory stays within the decoder's bound
// whatever the size of the file.
struct DecodedBody {
    enum class Outcome {
        Decoded, // part holds the decoded body, still open for finish()
        Failed,  // an unknown coding, corrupt or cut data, a disk that refused it
        TooBig,  // the decoded body grew past limitMB megabytes
    };
    Outcome outcome = Outcome::Failed;
    std::unique_ptr<PartFile> part;
    qint64 bytes = 0;
};
// codedPath: the file holding the body as it came; targetPath: the target the
// new part is made for. The coded file is left as it is.
DecodedBody DecodeCodedBody(const QString& codedPath, const QString& targetPath,
                            const QString& contentEncoding, double limitMB);

// Why a request got no answer at all, in the user's words, when the reason is
// one the user can act on: "网站证书不受信任" for a certificate the system does
// not trust (or that does not fit the site), "无法建立安全连接" for another
// failed TLS handshake. Empty otherwise.
QString NoAnswerReason(const TransferRequest& request);
