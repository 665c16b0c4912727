#include "FixtureServer.h"

#include "platform/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

namespace {

constexpr size_t Slice = 64 * 1024;
constexpr int PatternPeriod = 251;
const char PdfPrefix[] = "%PDF-1.4\n";
constexpr size_t PdfPrefixLength = sizeof(PdfPrefix) - 1;

char patternByte(qint64 offset) {
    return static_cast<char>(((offset % PatternPeriod) * 7 + 13) % PatternPeriod);
}

// One period of slack on top of the largest slice, so any slice of the pattern
// is one contiguous copy.
const std::string& patternBlock() {
    static const std::string block = [] {
        std::string b(Slice + PatternPeriod, '\0');
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = patternByte(static_cast<qint64>(i));
        return b;
    }();
    return block;
}

// Generated bodies end like a whole PDF does, so a body that arrives whole
// can be told from one that was cut short even without a length.
const char PdfTrailer[] = "\n%%EOF\n";
constexpr size_t PdfTrailerLength = sizeof(PdfTrailer) - 1;
constexpr size_t TrailerMinimum = 64;

size_t trailerStart(size_t total) {
    return total >= TrailerMinimum ? total - PdfTrailerLength : total;
}

// Writes up to length bytes of the generated content of `total` bytes from
// offset on.
bool writeGenerated(httplib::DataSink& sink, size_t offset, size_t length, size_t total) {
    length = std::min(length, Slice);
    if (length == 0)
        return true;
    if (offset < PdfPrefixLength) {
        const size_t n = std::min(length, PdfPrefixLength - offset);
        return sink.write(PdfPrefix + offset, n);
    }
    const size_t trailer = trailerStart(total);
    if (offset >= trailer) {
        const size_t n = std::min(length, total - offset);
        return sink.write(PdfTrailer + (offset - trailer), n);
    }
    length = std::min(length, trailer - offset);
    return sink.write(patternBlock().data() + offset % PatternPeriod, length);
}

size_t toSize(const std::string& digits) {
    try {
        return static_cast<size_t>(std::stoull(digits));
    } catch (...) {
        return 0;
    }
}

std::string escapeRegex(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

const char* mediaTypeFor(const QString& file) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("pdf"))
        return "application/pdf";
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        return "text/html";
    if (suffix == QLatin1String("txt"))
        return "text/plain";
    if (suffix == QLatin1String("xml"))
        return "text/xml";
    return "application/octet-stream";
}

// Streams a file from disk, a slice at a time.
void serveFile(httplib::Response& res, const QString& localFile, const std::string& type) {
    auto stream = std::make_shared<std::ifstream>(QFile::encodeName(localFile).toStdString(),
                                                  std::ios::binary);
    const qint64 size = QFileInfo(localFile).size();
    if (!*stream || size < 0) {
        res.status = 404;
        return;
    }
    res.set_content_provider(static_cast<size_t>(size), type,
                             [stream](size_t offset, size_t length, httplib::DataSink& sink) {
                                 std::vector<char> buffer(std::min(length, Slice));
                                 stream->seekg(static_cast<std::streamoff>(offset));
                                 stream->read(buffer.data(),
                                              static_cast<std::streamsize>(buffer.size()));
                                 const auto got = static_cast<size_t>(stream->gcount());
                                 return got > 0 && sink.write(buffer.data(), got);
                             });
}

} // namespace

QByteArray FixtureRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

// ---------------------------------------------------------------------------

struct FixtureServer::Impl {
    struct Route {
        std::shared_ptr<const std::regex> pattern;
        Handler handler;
    };
    struct Listener {
        QString name;
        std::unique_ptr<httplib::Server> server;
        int port = -1;
        std::thread thread;
    };

    std::vector<Listener> listeners; // http, https, untrusted, proxy

    mutable std::mutex mutex; // routes and log
    std::vector<Route> routes;
    QList<FixtureRequest> log;
    qint64 sequence = 0;

    std::mutex stallMutex;
    std::condition_variable stallChanged;
    bool stopping = false;
    quint64 releases = 0;

    quint64 releaseCount() {
        std::lock_guard lock(stallMutex);
        return releases;
    }
    // Blocks until releaseStalls() after the count seen, or the end of the
    // server; false at the end.
    bool waitForRelease(quint64 seen) {
        std::unique_lock lock(stallMutex);
        stallChanged.wait(lock, [&] { return stopping || releases != seen; });
        return !stopping;
    }

    void addRoute(const std::string& pattern, Handler handler) {
        auto re = std::make_shared<const std::regex>(pattern);
        std::lock_guard lock(mutex);
        routes.push_back({std::move(re), std::move(handler)});
    }

    void record(const QString& listener, const httplib::Request& req, const std::string& path) {
        FixtureRequest entry;
        entry.listener = listener;
        entry.method = QByteArray::fromStdString(req.method);
        entry.target = QByteArray::fromStdString(req.target);
        entry.path = QString::fromStdString(path);
        entry.time = QDateTime::currentDateTime();
        for (const auto& [key, value] : req.headers)
            entry.headers.append(
                {QByteArray::fromStdString(key), QByteArray::fromStdString(value)});
        std::lock_guard lock(mutex);
        entry.sequence = ++sequence;
        log.append(entry);
    }

    void dispatch(const httplib::Request& req, httplib::Response& res, const std::string& path) {
        std::vector<Route> snapshot;
        {
            std::lock_guard lock(mutex);
            snapshot = routes;
        }
        for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
            httplib::Request routed = req;
            routed.path = path;
            if (std::regex_match(routed.path, routed.matches, *it->pattern)) {
                it->handler(routed, res);
                return;
            }
        }
        res.status = 404;
        res.set_content("<html><body>Not Found</body></html>", "text/html");
    }

    // The path of an absolute request target ("http://host:port/p" gives "/p").
    static std::string proxiedPath(const std::string& target) {
        const size_t scheme = target.find("://");
        if (scheme == std::string::npos)
            return {};
        const size_t slash = target.find('/', scheme + 3);
        return slash == std::string::npos ? std::string("/") : target.substr(slash);
    }

    void setUp(Listener& l, bool proxy) {
        httplib::Server& s = *l.server;
        // Enough threads for six parallel transfers plus stalled answers on the
        // main listeners; the others see little traffic.
        const size_t threads =
            (l.name == QLatin1String("http") || l.name == QLatin1String("https")) ? 24 : 8;
        s.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        s.set_keep_alive_timeout(1);
        const QString name = l.name;
        s.set_pre_routing_handler(
            [this, name, proxy](const httplib::Request& req, httplib::Response&) {
                if (proxy)
                    record(name, req, proxiedPath(req.path));
                else
                    record(name, req, req.path);
                return httplib::Server::HandlerResponse::Unhandled;
            });
        const httplib::Server::Handler handler = [this, proxy](const httplib::Request& req,
                                                               httplib::Response& res) {
            if (!proxy) {
                dispatch(req, res, req.path);
                return;
            }
            const std::string path = proxiedPath(req.path);
            if (path.empty()) {
                res.status = 400;
                res.set_content("not a proxy request", "text/plain");
                return;
            }
            // The proxy serves the address itself from the same routes; its log
            // entry under "proxy" is the proof that the request came this way.
            dispatch(req, res, path);
        };
        s.Get(".*", handler);
        s.Post(".*", handler);
        l.port = s.bind_to_any_port("127.0.0.1");
    }

    void addBuiltInRoutes(FixtureServer& owner);
    void addSiteAnswerRoutes();

    // Answers given so far per request target, for routes that change their
    // answer after the first ones (under mutex).
    std::map<std::string, int> answered;
    int countAnswer(const std::string& target) {
        std::lock_guard lock(mutex);
        return answered[target]++;
    }
};

void FixtureServer::Impl::addBuiltInRoutes(FixtureServer& owner) {
    using httplib::DataSink;
    using httplib::Request;
    using httplib::Response;

    addRoute(R"(/gen/(\d+))", [](const Request& req, Response& res) {
        const size_t n = toSize(req.matches[1]);
        const std::string type =
            req.has_param("type") ? req.get_param_value("type") : std::string("application/pdf");
        if (n == 0) {
            res.set_content("", type); // an explicit "Content-Length: 0"
            return;
        }
        res.set_content_provider(n, type, [n](size_t offset, size_t length, DataSink& sink) {
            return writeGenerated(sink, offset, length, n);
        });
    });
    addRoute(R"(/nolength/(\d+))", [](const Request& req, Response& res) {
        const size_t n = toSize(req.matches[1]);
        res.set_header("Connection", "close");
        res.set_content_provider("application/pdf", [n](size_t offset, DataSink& sink) {
            if (offset >= n) {
                sink.done();
                return true;
            }
            return writeGenerated(sink, offset, n - offset, n);
        });
    });
    addRoute(R"(/chunked/(\d+))", [](const Request& req, Response& res) {
        const size_t n = toSize(req.matches[1]);
        res.set_chunked_content_provider("application/pdf", [n](size_t offset, DataSink& sink) {
            if (offset >= n) {
                sink.done();
                return true;
            }
            return writeGenerated(sink, offset, std::min<size_t>(n - offset, 16 * 1024), n);
        });
    });
    addRoute(R"(/early/(\d+)/(\d+))", [](const Request& req, Response& res) {
        const size_t sent = toSize(req.matches[1]);
        const size_t announced = toSize(req.matches[2]);
        res.set_content_provider(announced, "application/pdf",
                                 [sent, announced](size_t offset, size_t length, DataSink& sink) {
                                     if (offset >= sent)
                                         return false; // closes the connection
                                     return writeGenerated(
                                         sink, offset, std::min(length, sent - offset), announced);
                                 });
    });
    addRoute(R"(/stall/(\d+)/(\d+))", [this](const Request& req, Response& res) {
        const size_t before = toSize(req.matches[1]);
        const size_t announced = toSize(req.matches[2]);
        const quint64 seen = releaseCount();
        auto released = std::make_shared<bool>(false);
        res.set_content_provider(announced, "application/pdf",
                                 [this, before, announced, seen,
                                  released](size_t offset, size_t length, DataSink& sink) {
                                     if (offset >= before && !*released) {
                                         if (!waitForRelease(seen))
                                             return false;
                                         *released = true;
                                     }
                                     if (offset < before)
                                         length = std::min(length, before - offset);
                                     return writeGenerated(sink, offset, length, announced);
                                 });
    });
    addRoute("/hang", [this](const Request&, Response& res) {
        if (waitForRelease(releaseCount()))
            res.set_content("released", "text/plain");
        else
            res.status = 503;
    });
    addRoute("/file.pdf", [](const Request&, Response& res) {
        const QByteArray body = FixtureServer::generatedContent(4096);
        res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
    });
    // An address whose path names no file.
    addRoute("/noname/", [](const Request&, Response& res) {
        const QByteArray body = FixtureServer::generatedContent(4096);
        res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
    });
    addRoute(R"(/redirect(/(\d+))?)", [](const Request& req, Response& res) {
        const size_t k = req.matches[2].matched ? toSize(req.matches[2]) : 1;
        res.set_redirect(k > 1 ? "/redirect/" + std::to_string(k - 1) : std::string("/file.pdf"),
                         302);
    });
    addRoute("/to-http", [&owner](const Request&, Response& res) {
        res.set_redirect(owner.url(QStringLiteral("/file.pdf")).toStdString(), 302);
    });
    addRoute("/error.pdf", [](const Request&, Response& res) {
        res.set_content("<!DOCTYPE html>\n<html><head><title>Sign in</title></head>"
                        "<body><form action=\"/login\"><input name=\"user\"></form></body></html>",
                        "text/html");
    });
    addRoute("/missing.pdf", [](const Request&, Response& res) {
        res.status = 404;
        res.set_content("<html><body>Not Found</body></html>", "text/html");
    });
    const auto disposition = [this](const std::string& path, const std::string& value) {
        addRoute(escapeRegex(path), [value](const Request&, Response& res) {
            res.set_header("Content-Disposition", value);
            const QByteArray body = FixtureServer::generatedContent(2048);
            res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
        });
    };
    disposition("/cd/quoted", "attachment; filename=\"paper one.pdf\"");
    disposition("/cd/utf8", "attachment; filename=%E6%B5%8B%E8%AF%95.pdf");
    disposition("/cd/gbk", "attachment; filename=%B2%E2%CA%D4.pdf");
    disposition("/cd/star", "attachment; filename*=UTF-8''%E6%B5%8B%E8%AF%95.pdf");
    disposition("/cd/raw", "attachment; filename=\"\xE6\xB5\x8B\xE8\xAF\x95.pdf\"");
    addRoute("/charset", [](const Request&, Response& res) {
        res.set_content("<html><head><title>\xE6\xB5\x8B\xE8\xAF\x95</title></head></html>",
                        "text/html; charset=utf-8");
    });
    addRoute("/octet-charset", [](const Request&, Response& res) {
        res.set_content("<html><body>\xB2\xE2\xCA\xD4</body></html>",
                        "application/octet-stream; charset=gbk");
    });
    addRoute(R"(/status/(\d+))", [](const Request& req, Response& res) {
        res.status = static_cast<int>(toSize(req.matches[1]));
    });
    addRoute("/set-cookie", [](const Request& req, Response& res) {
        for (const auto& [name, value] : req.params)
            res.headers.emplace("Set-Cookie", name + "=" + value + "; Path=/");
        res.set_content("ok", "text/plain");
    });
    addRoute("/echo", [](const Request& req, Response& res) {
        std::string text;
        for (const auto& [name, value] : req.headers)
            text += name + ": " + value + "\n";
        res.set_content(text, "text/plain");
    });
}

// A site that asks the client to wait, or to prove it is a person.
void FixtureServer::Impl::addSiteAnswerRoutes() {
    using httplib::Request;
    using httplib::Response;

    addRoute(R"(/busy/(\d+)/(\d+))", [this](const Request& req, Response& res) {
        const int status = static_cast<int>(toSize(req.matches[1]));
        const int times = static_cast<int>(toSize(req.matches[2]));
        if (countAnswer(req.target) >= times) {
            const QByteArray body = FixtureServer::generatedContent(4096);
            res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
            return;
        }
        res.status = status;
        if (req.has_param("ra"))
            res.set_header("Retry-After", req.get_param_value("ra"));
        if (req.get_param_value("body") == "html")
            res.set_content(
                "<!DOCTYPE html><html><head><title>Too Many Requests</title></head>"
                "<body><h1>Too Many Requests</h1><p>Please slow down.</p></body></html>",
                "text/html");
        else
            res.set_content("Too Many Requests", "text/plain");
    });
    // A robot check in front of a PDF; "/slowcheck/..." holds a picture of
    // the check page (/hang) so that the page never completes before the
    // person sends its form.
    addRoute(R"(/(slow)?check/(.+))", [](const Request& req, Response& res) {
        if (req.get_header_value("Cookie").find("passed=1") != std::string::npos) {
            const QByteArray body = FixtureServer::generatedContent(4096);
            res.set_content(body.constData(), static_cast<size_t>(body.size()), "application/pdf");
            return;
        }
        res.status = 403;
        res.set_content("<!DOCTYPE html><html><head><title>Just a moment</title>"
                        "<script>window.checkStarted = Date.now();</script></head><body>" +
                            (req.path.rfind("/slow", 0) == 0
                                 ? "<img src=\"/hang?for=" + req.path + "\">"
                                 : std::string()) +
                            "<form id=\"check\" method=\"post\" action=\"/check-pass\">"
                            "<input type=\"hidden\" name=\"back\" value=\"" +
                            req.path +
                            "\"><input type=\"submit\" value=\"I am a person\"></form>"
                            "</body></html>",
                        "text/html");
    });
    addRoute("/check-pass", [](const Request& req, Response& res) {
        res.headers.emplace("Set-Cookie", "passed=1; Path=/");
        const std::string back = req.get_param_value("back");
        const bool check = back.rfind("/check/", 0) == 0 || back.rfind("/slowcheck/", 0) == 0;
        res.set_redirect(check ? back : std::string("/"), 303);
    });
}

// ---------------------------------------------------------------------------

FixtureServer::FixtureServer() : d(std::make_unique<Impl>()) {
    const QByteArray dir = QFile::encodeName(certsDir());
    const std::string cert = (dir + "/server.pem").toStdString();
    const std::string key = (dir + "/server.key").toStdString();
    const std::string untrustedCert = (dir + "/untrusted.pem").toStdString();
    const std::string untrustedKey = (dir + "/untrusted.key").toStdString();

    d->listeners.resize(4);
    d->listeners[0] = {QStringLiteral("http"), std::make_unique<httplib::Server>(), -1, {}};
    d->listeners[1] = {QStringLiteral("https"),
                       std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str()),
                       -1,
                       {}};
    d->listeners[2] = {
        QStringLiteral("untrusted"),
        std::make_unique<httplib::SSLServer>(untrustedCert.c_str(), untrustedKey.c_str()),
        -1,
        {}};
    d->listeners[3] = {QStringLiteral("proxy"), std::make_unique<httplib::Server>(), -1, {}};

    d->addBuiltInRoutes(*this);
    d->addSiteAnswerRoutes();
    for (size_t i = 0; i < d->listeners.size(); ++i) {
        Impl::Listener& l = d->listeners[i];
        if (!l.server->is_valid())
            continue;
        d->setUp(l, i == 3);
        if (l.port <= 0)
            continue;
        httplib::Server* server = l.server.get();
        l.thread = std::thread([server] { server->listen_after_bind(); });
    }
    // stop() only takes effect on a running server; make sure each one is.
    for (int waited = 0; waited < 5000; ++waited) {
        bool all = true;
        for (const Impl::Listener& l : d->listeners)
            all = all && (!l.thread.joinable() || l.server->is_running());
        if (all)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FixtureServer::~FixtureServer() {
    {
        std::lock_guard lock(d->stallMutex);
        d->stopping = true;
    }
    d->stallChanged.notify_all();
    for (Impl::Listener& l : d->listeners)
        if (l.thread.joinable())
            l.server->stop();
    for (Impl::Listener& l : d->listeners)
        if (l.thread.joinable())
            l.thread.join();
}

bool FixtureServer::isRunning() const {
    for (const Impl::Listener& l : d->listeners)
        if (l.port <= 0 || !l.server->is_running())
            return false;
    return true;
}

int FixtureServer::httpPort() const {
    return d->listeners[0].port;
}
int FixtureServer::httpsPort() const {
    return d->listeners[1].port;
}
int FixtureServer::untrustedPort() const {
    return d->listeners[2].port;
}
int FixtureServer::proxyPort() const {
    return d->listeners[3].port;
}

QString FixtureServer::host() {
    return QStringLiteral("127.0.0.1");
}

QString FixtureServer::url(const QString& path) const {
    return QStringLiteral("http://%1:%2%3").arg(host()).arg(httpPort()).arg(path);
}
QString FixtureServer::httpsUrl(const QString& path) const {
    return QStringLiteral("https://%1:%2%3").arg(host()).arg(httpsPort()).arg(path);
}
QString FixtureServer::untrustedUrl(const QString& path) const {
    return QStringLiteral("https://%1:%2%3").arg(host()).arg(untrustedPort()).arg(path);
}

void FixtureServer::addRoute(const QString& pattern, Handler handler) {
    d->addRoute(pattern.toStdString(), std::move(handler));
}

void FixtureServer::addPage(const QString& path, const FixturePage& page) {
    d->addRoute(escapeRegex(path.toStdString()),
                [page](const httplib::Request&, httplib::Response& res) {
                    res.status = page.status;
                    for (const auto& [name, value] : page.headers)
                        res.headers.emplace(name.toStdString(), value.toStdString());
                    res.set_content(page.body.constData(), static_cast<size_t>(page.body.size()),
                                    page.contentType.toStdString());
                });
}

void FixtureServer::addPage(const QString& path, const QByteArray& body,
                            const QByteArray& contentType, int status) {
    FixturePage page;
    page.status = status;
    page.body = body;
    page.contentType = contentType;
    addPage(path, page);
}

void FixtureServer::addFile(const QString& path, const QString& localFile,
                            const QByteArray& contentType) {
    const std::string type = contentType.toStdString();
    d->addRoute(escapeRegex(path.toStdString()),
                [localFile, type](const httplib::Request&, httplib::Response& res) {
                    serveFile(res, localFile, type);
                });
}

void FixtureServer::addFolder(const QString& prefix, const QString& localFolder) {
    const QString root = QDir(localFolder).absolutePath();
    d->addRoute(escapeRegex(prefix.toStdString()) + "(.*)",
                [root](const httplib::Request& req, httplib::Response& res) {
                    const QString relative = QString::fromStdString(req.matches[1]);
                    const QString file = QDir::cleanPath(root + QLatin1Char('/') + relative);
                    if (!file.startsWith(root + QLatin1Char('/')) || !QFileInfo(file).isFile()) {
                        res.status = 404;
                        return;
                    }
                    serveFile(res, file, mediaTypeFor(file));
                });
}

QList<FixtureRequest> FixtureServer::requests() const {
    std::lock_guard lock(d->mutex);
    return d->log;
}

QList<FixtureRequest> FixtureServer::requestsFor(const QString& path,
                                                 const QString& listener) const {
    QList<FixtureRequest> found;
    std::lock_guard lock(d->mutex);
    for (const FixtureRequest& r : std::as_const(d->log))
        if (r.path == path && (listener.isEmpty() || r.listener == listener))
            found.append(r);
    return found;
}

void FixtureServer::clearRequests() {
    std::lock_guard lock(d->mutex);
    d->log.clear();
}

bool FixtureServer::waitForRequests(const QString& path, int count, int timeoutMs) const {
    QElapsedTimer timer;
    timer.start();
    Wait::until([&] { return requestsFor(path).size() >= count || timer.elapsed() >= timeoutMs; },
                10);
    return requestsFor(path).size() >= count;
}

void FixtureServer::releaseStalls() {
    {
        std::lock_guard lock(d->stallMutex);
        ++d->releases;
    }
    d->stallChanged.notify_all();
}

char FixtureServer::generatedByte(qint64 offset, qint64 length) {
    if (offset >= 0 && offset < static_cast<qint64>(PdfPrefixLength))
        return PdfPrefix[offset];
    if (length >= 0) {
        const qint64 trailer = static_cast<qint64>(trailerStart(static_cast<size_t>(length)));
        if (offset >= trailer && offset < length)
            return PdfTrailer[offset - trailer];
    }
    return patternByte(offset);
}

QByteArray FixtureServer::generatedContent(qint64 length) {
    QByteArray content(qMax<qint64>(0, length), Qt::Uninitialized);
    for (qint64 i = 0; i < content.size(); ++i)
        content[i] = generatedByte(i, length);
    return content;
}

QString FixtureServer::certsDir() {
    QString data = qEnvironmentVariable("VARNELLE_TEST_DATA");
    if (data.isEmpty())
        data = QStringLiteral(VARNELLE_TEST_DATA_DIR);
    return data + QStringLiteral("/certs");
}

QList<QSslCertificate> FixtureServer::caCertificates() {
    return QSslCertificate::fromPath(certsDir() + QStringLiteral("/ca.pem"));
}
