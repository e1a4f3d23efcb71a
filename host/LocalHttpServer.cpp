// The stand-in's own HTTP server on 127.0.0.1: binding, the host-name check, files and event
// streams.

#include "LocalHttpServer.h"

#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string_view>
#include <utility>

#include "ConnectionThreads.h"
#include "PageFolder.h"

namespace host {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHost = "127.0.0.1";

// A page's browser opens several connections at once and keeps one for its events; idle ones
// are let go quickly so that stopping the server does not wait for them. Event streams hold a
// bounded number of threads, so the rest serve calls and files.
constexpr std::size_t kMaxServerThreads = 64;
constexpr time_t kKeepAliveSeconds = 1;
// Calls over one connection before it is closed; a page calls one after another on the same one.
constexpr std::size_t kKeepAliveCalls = 1000;
// How often a quiet event stream is probed so that a page that went away is noticed.
constexpr auto kStreamHeartbeat = 10s;

// The first words of every stream: the browser tries again a second after losing it.
constexpr std::string_view kStreamHello = "retry: 1000\n\n";
// Ends the stream of a page whose place a newer one took.
constexpr std::string_view kReplacedEvent = "event: replaced\ndata: \n\n";

// One text as a server-sent event: a data line per line of the text.
std::string eventOf(const std::string& text) {
    std::string event;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of("\r\n", start);
        event += "data: ";
        event.append(text, start, end == std::string::npos ? std::string::npos : end - start);
        event += '\n';
        if (end == std::string::npos)
            break;
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return event + '\n';
}

}  // namespace

LocalHttpServer::LocalHttpServer(int port) {
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (addressedToUs(req.get_header_value("Host")))
            return httplib::Server::HandlerResponse::Unhandled;
        refuse(res, 403, "Odmowa dostepu");
        return httplib::Server::HandlerResponse::Handled;
    });
    // Address reuse only: with the library's default (port sharing) a second server on a busy
    // port would bind anyway and take some of the first one's connections.
    http_.set_socket_options([this](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        listening_ = sock;
    });
    // The library takes ownership of the queue it is handed.
    http_.new_task_queue = [] { return new ConnectionThreads(kMaxServerThreads); };
    http_.set_keep_alive_timeout(kKeepAliveSeconds);
    http_.set_keep_alive_max_count(kKeepAliveCalls);
    // Answers and events are small writes: without this each would wait for the browser's
    // delayed acknowledgement of the one before.
    http_.set_tcp_nodelay(true);
    port_ =
        port == 0 ? http_.bind_to_any_port(kHost) : (http_.bind_to_port(kHost, port) ? port : -1);
    if (port_ <= 0) {
        error_ = "Nie mozna nasluchiwac na " + std::string(kHost) +
                 (port == 0 ? std::string() : ":" + std::to_string(port)) +
                 " (port zajety lub niedostepny)";
        port_ = 0;
    }
}

LocalHttpServer::~LocalHttpServer() {
    stop();
}

void LocalHttpServer::start() {
    if (port_ == 0 || listener_.joinable())
        return;
    // The library listens with a queue of 5 connections; a page opening its connections at
    // once, or many callers, would overflow it, and a refused connection is tried again only a
    // second later. Listening again on the socket only lengthens the queue.
    ::listen(listening_, SOMAXCONN);
    listener_ = std::thread([this] { http_.listen_after_bind(); });
    // stop() only ends a server that already runs.
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!http_.is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
}

void LocalHttpServer::stop() {
    if (!listener_.joinable())
        return;
    http_.stop();
    listener_.join();
}

std::string LocalHttpServer::origin() const {
    return "http://" + std::string(kHost) + ":" + std::to_string(port_);
}

bool LocalHttpServer::addressedToUs(std::string_view host) const {
    const std::string port = ":" + std::to_string(port_);
    return host == kHost + port || host == "localhost" + port;
}

bool LocalHttpServer::fromOwnPageOrNone(const std::string& origin) const {
    constexpr std::string_view scheme = "http://";
    return origin.empty() || (origin.starts_with(scheme) &&
                              addressedToUs(std::string_view(origin).substr(scheme.size())));
}

// The page is subscribed before the response starts: once its stream is open it misses nothing.
void LocalHttpServer::streamEvents(const httplib::Request& req, httplib::Response& res,
                                   ScriptStream& stream) {
    if (!fromOwnPageOrNone(req.get_header_value("Origin"))) {
        refuse(res, 403, "Odmowa dostepu");
        return;
    }
    const ScriptStream::ListenerId listener = stream.subscribe();
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [&stream, listener, first = true](std::size_t, httplib::DataSink& sink) mutable {
            if (std::exchange(first, false))
                return sink.write(kStreamHello.data(), kStreamHello.size());
            const ScriptStream::Taken taken = stream.take(listener, kStreamHeartbeat);
            if (taken.state == ScriptStream::State::Replaced)
                sink.write(kReplacedEvent.data(), kReplacedEvent.size());
            if (taken.state != ScriptStream::State::Listening)
                return false;
            // One write per batch: the texts that came together leave together.
            std::string chunk = taken.scripts.empty() ? ": \n\n" : std::string();
            for (const std::string& text : taken.scripts)
                chunk += eventOf(text);
            return sink.write(chunk.data(), chunk.size());
        },
        [&stream, listener](bool) { stream.unsubscribe(listener); });
}

// The library compresses a body set whole, never one given with its length by a provider (nor an
// empty one).
void sendUncompressed(httplib::Response& res, std::string body, const std::string& contentType) {
    if (body.empty()) {
        res.set_content(body, contentType);
        return;
    }
    auto text = std::make_shared<const std::string>(std::move(body));
    const std::size_t length = text->size();
    res.set_content_provider(length, contentType,
                             [text](std::size_t offset, std::size_t size, httplib::DataSink& sink) {
                                 return sink.write(text->data() + offset, size);
                             });
}

void refuse(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain; charset=utf-8");
}

void sendFile(httplib::Response& res, const std::optional<std::filesystem::path>& file,
              const std::function<std::string(const std::string&)>& html) {
    const std::optional<std::string> content = file ? readFile(*file) : std::nullopt;
    if (!content) {
        refuse(res, 404, "Nie ma takiego pliku");
        return;
    }
    res.set_header("Cache-Control", "no-store");
    sendUncompressed(res, html && file->extension() == ".html" ? html(*content) : *content,
                     contentTypeOf(*file));
}

}  // namespace host
