#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "RawHttpServer.h"

namespace loopback {
namespace {

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

const char* reasonFor(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

struct Rule {
    std::string path;
    std::optional<std::string> queryContains;
    std::vector<Answer> sequence;  // used when responder is empty
    Responder responder;
    std::size_t served = 0;

    bool matches(const Request& r) const {
        return r.path == path &&
               (!queryContains || r.query.find(*queryContains) != std::string::npos);
    }
};

// Sleeps that end early when the server stops, so no server thread outlives a test.
class Pause {
public:
    // False when the server is stopping.
    bool wait(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !cv_.wait_for(lock, duration, [this] { return stopping_; });
    }
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false;
};

std::size_t pieceSize(const Answer& a) {
    return a.chunkSize == 0 ? std::max<std::size_t>(a.body.size(), 1) : a.chunkSize;
}

}  // namespace

Answer ok(std::string body, std::string contentType) {
    Answer a;
    a.body = std::move(body);
    a.contentType = std::move(contentType);
    return a;
}

Answer status(int code, std::string body) {
    Answer a;
    a.status = code;
    a.body = std::move(body);
    return a;
}

std::string Request::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name))
            return value;
    }
    return {};
}

bool Request::hasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return sameName(h.first, name); });
}

class LoopbackServer::Impl {
public:
    explicit Impl(Mode mode) {
        if (mode == Mode::Raw) {
            raw_ = std::make_unique<RawHttpServer>([this](RawConnection& c) { serveRaw(c); });
            port_ = raw_->port();
        } else {
            startHttp();
        }
    }

    ~Impl() {
        pause_.stop();
        if (http_) {
            http_->stop();
            httpThread_.join();
        }
        raw_.reset();
    }

    int port() const { return port_; }

    void add(Rule rule) {
        const std::lock_guard lock(mutex_);
        rules_.push_back(std::move(rule));
    }

    void setFallback(Answer a) {
        const std::lock_guard lock(mutex_);
        fallback_ = std::move(a);
    }

    std::vector<Request> log() const {
        const std::lock_guard lock(mutex_);
        return log_;
    }

    void clearLog() {
        const std::lock_guard lock(mutex_);
        log_.clear();
    }

private:
    // Logs the request and picks its answer.
    Answer answerFor(Request request) {
        Responder responder;
        Answer answer;
        {
            const std::lock_guard lock(mutex_);
            log_.push_back(request);
            const auto rule = std::find_if(rules_.rbegin(), rules_.rend(),
                                           [&](const Rule& r) { return r.matches(request); });
            if (rule == rules_.rend())
                return fallback_;
            if (rule->responder) {
                responder = rule->responder;
            } else {
                answer = rule->sequence[std::min(rule->served, rule->sequence.size() - 1)];
                ++rule->served;
            }
        }
        return responder ? responder(request) : answer;
    }

    void startHttp() {
        http_ = std::make_unique<httplib::Server>();
        http_->set_keep_alive_max_count(1);
        // Method routes rather than a pre-routing hook: those see the request body as well.
        const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
            serveHttp(req, res);
        };
        http_->Get(".*", handler);
        http_->Post(".*", handler);
        http_->Put(".*", handler);
        http_->Patch(".*", handler);
        http_->Delete(".*", handler);
        http_->Options(".*", handler);
        port_ = http_->bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            throw std::runtime_error("loopback: cannot listen on 127.0.0.1");
        httpThread_ = std::thread([this] { http_->listen_after_bind(); });
        // A stop before the listening loop runs would be missed and the join would hang.
        for (int waited = 0; waited < 5000 && !http_->is_running(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    void serveHttp(const httplib::Request& req, httplib::Response& res) {
        Request request;
        request.arrival = Clock::now();
        request.method = req.method;
        request.target = req.target;
        const auto q = req.target.find('?');
        request.path = req.target.substr(0, q);
        request.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
        for (const auto& [key, value] : req.headers)
            request.headers.emplace_back(key, value);
        request.body = req.body;

        Answer a = answerFor(std::move(request));
        if (a.drop || a.raw) {
            // A misuse of the kit: the test sees a server error instead of what it scripted.
            a = status(500, "loopback: dropped connections and raw bytes need Mode::Raw");
        }
        if (!pause_.wait(a.delay))
            return;
        res.status = a.status;
        for (const auto& [key, value] : a.headers)
            res.set_header(key, value);
        if (a.endlessUpTo > 0) {
            res.set_chunked_content_provider(a.contentType,
                                             [a](std::size_t offset, httplib::DataSink& sink) {
                                                 return offset < a.endlessUpTo && !a.body.empty() &&
                                                        sink.write(a.body.data(), a.body.size());
                                             });
            return;
        }
        const bool plain = a.chunkSize == 0 && !a.announcedLength && !a.noLength;
        if (plain) {
            res.set_content(a.body, a.contentType);
            return;
        }
        auto provider = [this, a](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= a.body.size()) {
                if (a.announcedLength)
                    return false;  // the short body ends here
                sink.done();
                return true;
            }
            if (offset > 0 && !pause_.wait(a.chunkDelay))
                return false;
            const std::size_t n = std::min(pieceSize(a), a.body.size() - offset);
            return sink.write(a.body.data() + offset, n);
        };
        if (a.noLength) {
            res.set_chunked_content_provider(a.contentType,
                                             [provider](std::size_t offset, httplib::DataSink& s) {
                                                 return provider(offset, s);
                                             });
        } else {
            res.set_content_provider(
                a.announcedLength.value_or(a.body.size()), a.contentType,
                [provider](std::size_t offset, std::size_t, httplib::DataSink& s) {
                    return provider(offset, s);
                });
        }
    }

    void serveRaw(RawConnection& connection) {
        auto request = connection.readRequest();
        if (!request)
            return;
        request->arrival = Clock::now();
        const Answer a = answerFor(std::move(*request));
        if (!pause_.wait(a.delay) || a.drop)
            return;
        if (a.raw) {
            connection.write(*a.raw);
            return;
        }
        std::string head =
            "HTTP/1.1 " + std::to_string(a.status) + " " + reasonFor(a.status) + "\r\n";
        head += "Content-Type: " + a.contentType + "\r\n";
        if (!a.noLength) {
            head += "Content-Length: " + std::to_string(a.announcedLength.value_or(a.body.size())) +
                    "\r\n";
        }
        for (const auto& [key, value] : a.headers)
            head += key + ": " + value + "\r\n";
        head += "Connection: close\r\n\r\n";
        if (!connection.write(head))
            return;
        for (std::size_t offset = 0; offset < a.body.size(); offset += pieceSize(a)) {
            if (offset > 0 && !pause_.wait(a.chunkDelay))
                return;
            const std::size_t n = std::min(pieceSize(a), a.body.size() - offset);
            if (!connection.write(std::string_view(a.body).substr(offset, n)))
                return;
        }
    }

    int port_ = 0;
    Pause pause_;
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::vector<Request> log_;
    Answer fallback_ = status(404, "not scripted");
    std::unique_ptr<httplib::Server> http_;
    std::thread httpThread_;
    std::unique_ptr<RawHttpServer> raw_;
};

LoopbackServer::LoopbackServer(Mode mode) : impl_(std::make_unique<Impl>(mode)) {}
LoopbackServer::~LoopbackServer() = default;

int LoopbackServer::port() const {
    return impl_->port();
}
std::string LoopbackServer::hostPort() const {
    return "127.0.0.1:" + std::to_string(port());
}
std::string LoopbackServer::url() const {
    return "http://" + hostPort();
}
std::string LoopbackServer::url(std::string_view pathAndQuery) const {
    return url() + std::string(pathAndQuery);
}

void LoopbackServer::on(std::string path, Answer answer) {
    impl_->add(Rule{std::move(path), std::nullopt, {std::move(answer)}, {}});
}

void LoopbackServer::on(std::string path, std::string queryContains, Answer answer) {
    impl_->add(Rule{std::move(path), std::move(queryContains), {std::move(answer)}, {}});
}

void LoopbackServer::onSequence(std::string path, std::vector<Answer> answers) {
    if (answers.empty())
        answers.push_back(status(404, "not scripted"));
    impl_->add(Rule{std::move(path), std::nullopt, std::move(answers), {}});
}

void LoopbackServer::onRequest(std::string path, Responder responder) {
    impl_->add(Rule{std::move(path), std::nullopt, {}, std::move(responder)});
}

void LoopbackServer::setFallback(Answer answer) {
    impl_->setFallback(std::move(answer));
}

std::vector<Request> LoopbackServer::requests() const {
    return impl_->log();
}

std::vector<Request> LoopbackServer::requests(std::string_view path) const {
    std::vector<Request> all = impl_->log();
    std::erase_if(all, [&](const Request& r) { return r.path != path; });
    return all;
}

std::size_t LoopbackServer::count() const {
    return impl_->log().size();
}
std::size_t LoopbackServer::count(std::string_view path) const {
    return requests(path).size();
}
void LoopbackServer::clearLog() {
    impl_->clearLog();
}

int unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace loopback
