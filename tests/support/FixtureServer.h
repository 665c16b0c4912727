#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// One request as the fixture server received it.
struct FixtureRequest {
    QString listener;  // "http", "https", "untrusted" or "proxy"
    QByteArray method; // "GET", ...
    QByteArray target; // as on the request line: absolute ("http://host:port/p") through the proxy
    QString path;      // the path the routes saw (without the query)
    QDateTime time;
    qint64 sequence = 0; // order of arrival over all listeners
    QList<std::pair<QByteArray, QByteArray>> headers;

    // The value of a request header, name case ignored; empty when absent.
    QByteArray header(const QByteArray& name) const;
};

// A page served as it stands.
struct FixturePage {
    int status = 200;
    QByteArray body;
    QByteArray contentType = "text/html";
    QList<std::pair<QByteArray, QByteArray>> headers;
};

// The tests' own web server on 127.0.0.1, run on threads of the test process:
// plain HTTP, HTTPS with a certificate of the test authority, HTTPS with an
// untrusted self-signed certificate, and an HTTP forward proxy. Every listener
// takes a free port. All listeners serve the same routes; the proxy serves a
// request for an absolute address ("GET http://host:port/path") from the same
// routes; such a request is logged once, under "proxy", with its absolute
// target. (The proxy does not tunnel: no CONNECT, so no HTTPS through it.)
//
// Built-in routes (n is a byte count; generated bodies are made lazily, never
// held in memory; their bytes are generatedContent()):
//   /gen/<n>           n bytes with Content-Length; ?type=<media type> sets the
//                      Content-Type (default application/pdf)
//   /nolength/<n>      n bytes without length, ended by closing the connection
//   /chunked/<n>       n bytes in chunked encoding
//   /early/<n>/<m>     announces m bytes, sends n (< m), closes the connection
//   /stall/<n>/<m>     announces m bytes, sends n, then sends nothing until
//                      releaseStalls() or the end of the server, then the rest
//   /hang              sends no response until releaseStalls() or the end
//   /file.pdf          a small PDF (generatedContent(4096))
//   /redirect          302 to /file.pdf; /redirect/<k> a chain of k redirects
//                      ending at /file.pdf
//   /to-http           302 to the same server's plain-HTTP /file.pdf (HTTPS
//                      listeners: a less safe redirect)
//   /error.pdf         200 with an HTML login page; /missing.pdf 404 with HTML
//   /cd/quoted         Content-Disposition: attachment; filename="paper one.pdf"
//   /cd/utf8           attachment; filename=%E6%B5%8B%E8%AF%95.pdf (UTF-8 escaped)
//   /cd/gbk            attachment; filename=%B2%E2%CA%D4.pdf (GBK escaped)
//   /cd/star           attachment; filename*=UTF-8''%E6%B5%8B%E8%AF%95.pdf
//   /cd/raw            attachment; filename="测试.pdf" (raw UTF-8 bytes)
//   /charset           text/html; charset=utf-8 page
//   /octet-charset     application/octet-stream; charset=gbk body
//   /status/<code>     an empty answer with that status
//   /set-cookie?name=value  sets that cookie (Path=/)
//   /echo              the request headers as text/plain, one per line
//
// A site that asks to wait or to prove the client is a person:
//   /busy/<status>/<k>?ra=<Retry-After>&body=html|text
//                      the first k requests of this exact target answer status
//                      (with Retry-After when ra is given, an HTML or text
//                      body), later ones a small PDF (generatedContent(4096))
//   /check/<name>      a 403 robot check page (a form and a script) unless the
//                      request carries the cookie passed=1; then a small PDF
//   /check-pass        (the check's form, POST back=<path>) sets passed=1 and
//                      sends the browser back to the checked path
//
// Tests add their own: addPage() for fixed answers, addFile()/addFolder() for
// files on disk, addRoute() for any handler (the raw cpp-httplib request and
// response; include <httplib.h> to use them).
class FixtureServer {
public:
    // Handlers run on server threads: they must not touch Qt objects of the
    // test thread. The request is a copy whose path and matches (the regular
    // expression's groups) are those of the route.
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    FixtureServer();
    // Releases every stall, stops all listeners and joins their threads.
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    // All four listeners are up.
    bool isRunning() const;

    int httpPort() const;
    int httpsPort() const;
    int untrustedPort() const;
    int proxyPort() const;

    // Addresses on the listeners; path starts with "/".
    QString url(const QString& path) const;
    QString httpsUrl(const QString& path) const;
    QString untrustedUrl(const QString& path) const;
    // "127.0.0.1", for the options' proxy address.
    static QString host();

    // A route: pattern is a regular expression that must match the whole path.
    // Later routes take precedence over earlier ones (and the built-in ones).
    void addRoute(const QString& pattern, Handler handler);
    // A fixed answer at an exact path.
    void addPage(const QString& path, const FixturePage& page);
    void addPage(const QString& path, const QByteArray& body,
                 const QByteArray& contentType = "text/html", int status = 200);
    // A file on disk at an exact path, streamed from disk when requested.
    void addFile(const QString& path, const QString& localFile,
                 const QByteArray& contentType = "application/octet-stream");
    // Every file under localFolder at prefix + its relative path.
    void addFolder(const QString& prefix, const QString& localFolder);

    // The request log, in order of arrival.
    QList<FixtureRequest> requests() const;
    // Requests whose path is path, optionally only those of one listener.
    QList<FixtureRequest> requestsFor(const QString& path, const QString& listener = {}) const;
    void clearRequests();
    // Waits on events (real time) until at least count requests for path were
    // logged; false when timeoutMs passed first.
    bool waitForRequests(const QString& path, int count = 1, int timeoutMs = 5000) const;

    // Lets every stalled or hanging answer go on.
    void releaseStalls();

    // The bytes of the generated bodies: "%PDF-1.4\n" followed by a pattern
    // that repeats every 251 bytes, cut at length; a body of 64 bytes or more
    // ends with "\n%%EOF\n" as a whole PDF does.
    static QByteArray generatedContent(qint64 length);
    // Byte offset of the generated body of the given length (-1: the pattern
    // without its end).
    static char generatedByte(qint64 offset, qint64 length = -1);

    // The certificate files (tests/data/certs).
    static QString certsDir();
    // The test authority that signed the HTTPS listener's certificate.
    static QList<QSslCertificate> caCertificates();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
