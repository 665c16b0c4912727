#include "platform/PdfReader.h"

#include <QFile>
#include <QMutex>
#include <QPdfDocument>
#include <QPdfSelection>
#include <memory>
#include <openssl/evp.h>
#include <sys/stat.h>

namespace {
// The PDF library keeps state of its own across documents: one document at a
// time, whichever thread asks.
QMutex& pdfLibrary() {
    static QMutex mutex;
    return mutex;
}
} // namespace

bool FileStamp(const QString& path, qint64& size, qint64& modifiedNs) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    size = qint64(st.st_size);
    modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + qint64(st.st_mtim.tv_nsec);
    return true;
}

QByteArray FileSha256(const QString& path, qint64* size) {
    if (size)
        *size = -1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // OpenSSL's SHA-256 uses the processor's SHA instructions where there are
    // any: several times the speed of a portable one, on files of many megabytes.
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                      &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1)
        return {};
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (n == 0)
            break;
        if (EVP_DigestUpdate(ctx.get(), buffer.constData(), size_t(n)) != 1)
            return {};
        total += n;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest, &length) != 1)
        return {};
    if (size)
        *size = total;
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

PdfFacts ReadPdfFacts(const QString& path) {
    PdfFacts facts;
    qint64 size = -1;
    qint64 before = 0;
    qint64 after = 0;
    qint64 sizeAfter = -1;
    if (FileStamp(path, size, before)) {
        facts.sha256 = FileSha256(path, &facts.size);
        // A file rewritten while it was read has no one hash.
        facts.fileRead = !facts.sha256.isEmpty() && FileStamp(path, sizeAfter, after) &&
                         after == before && sizeAfter == facts.size && size == facts.size;
        facts.modifiedNs = before;
    }
    if (!facts.fileRead)
        return facts;

    QMutexLocker lock(&pdfLibrary());
    QPdfDocument doc;
    if (doc.load(path) != QPdfDocument::Error::None || doc.pageCount() <= 0)
        return facts;
    facts.opened = true;
    facts.pageCount = doc.pageCount();
    facts.title = doc.metaData(QPdfDocument::MetaDataField::Title).toString().trimmed();
    facts.author = doc.metaData(QPdfDocument::MetaDataField::Author).toString().trimmed();
    facts.firstPageText = doc.getAllText(0).text();
    return facts;
}

QImage RenderFirstPdfPage(const QString& path, QSize bounds) {
    if (bounds.isEmpty())
        return {};
    QMutexLocker lock(&pdfLibrary());
    QPdfDocument doc;
    if (doc.load(path) != QPdfDocument::Error::None || doc.pageCount() <= 0)
        return {};
    const QSizeF points = doc.pagePointSize(0);
    if (points.isEmpty())
        return {};
    const QSize size = points.scaled(QSizeF(bounds), Qt::KeepAspectRatio).toSize();
    if (size.isEmpty())
        return {};
    return doc.render(0, size);
}
