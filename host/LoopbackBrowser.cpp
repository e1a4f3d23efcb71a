// The loopback browser: page files, the stand-in's channel script, page calls and page scripts
// over HTTP on 127.0.0.1 (cpp-httplib).

#include "LoopbackBrowser.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "ConnectionThreads.h"
#include "DG.h"
#include "MainThreadCalls.h"
#include "PageFolder.h"
#include "ScriptStream.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kHost = "127.0.0.1";
// The stand-in's own paths beside the page files, and the header only its script sends.
constexpr std::string_view kChannelBase = "/__terraweft/";
constexpr const char* kChannelHeader = "X-Terraweft-Channel";
constexpr Int32 kLoadFailed = -1;

// A page's browser opens several connections at once and keeps one for the scripts; idle ones
// are let go quickly so that stopping the server does not wait for them. Script streams hold at
// most kMaxEventStreams threads, so the rest serve calls and files.
constexpr std::size_t kMaxServerThreads = 64;
constexpr time_t kKeepAliveSeconds = 1;
// Calls over one connection before it is closed; a page calls one after another on the same one.
constexpr std::size_t kKeepAliveCalls = 1000;
// How long a page call waits for the main thread, and how often a quiet script stream is probed
// so that a page that went away is noticed.
constexpr auto kCallTimeout = 60s;
constexpr auto kStreamHeartbeat = 10s;

std::string channelPath(std::string_view name) {
    return std::string(kChannelBase) + std::string(name);
}

// Added to every page (@BASE@ and @HEADER@ as above): defines the registered objects (@OBJECTS@:
// object name -> function names) and runs the program's scripts. Calls leave one after another,
// after the script stream is open, so that every answer finds the page listening.
constexpr std::string_view kChannelScript = R"JS((function () {
  "use strict";
  var base = "@BASE@";
  var objects = @OBJECTS@;
  var opened;
  var previous = new Promise(function (resolve) { opened = resolve; });
  var events = new EventSource(base + "events");
  events.onopen = function () { opened(); };
  // A newer page took this one's place: listening again would only take it back.
  events.addEventListener("replaced", function () { events.close(); });
  events.onmessage = function (event) {
    try {
      (0, eval)(event.data);
    } catch (e) {
      console.error(e);
    }
  };
  function kindOf(args) {
    if (args.length === 0) return "none";
    var value = args[0];
    if (value === null) return "null";
    if (Array.isArray(value)) return "array";
    var type = typeof value;
    if (type === "bigint") return "number";
    return type === "string" || type === "number" || type === "boolean" || type === "undefined"
      ? type : "object";
  }
  function call(object, name, args) {
    var kind = kindOf(args);
    var body = kind === "string" ? args[0]
      : kind === "number" || kind === "boolean" ? String(args[0]) : "";
    var url = base + "call?o=" + encodeURIComponent(object) + "&f=" + encodeURIComponent(name) +
      "&t=" + kind;
    var result = previous.then(function () {
      return fetch(url, {
        method: "POST",
        headers: { "Content-Type": "text/plain;charset=utf-8", "@HEADER@": "1" },
        body: body
      });
    }).then(function (response) {
      return response.json();
    }).then(function (reply) {
      if (!reply.ok) throw new Error(reply.error);
      return reply.value;
    });
    previous = result.catch(function () {});
    return result;
  }
  Object.keys(objects).forEach(function (object) {
    var target = {};
    objects[object].forEach(function (name) {
      target[name] = function () { return call(object, name, arguments); };
    });
    window[object] = target;
  });
})();
)JS";

// The names of the registered objects and their functions, as the channel script lists them.
std::string channelScript(const std::vector<GS::Ref<JS::Object>>& objects) {
    json names = json::object();
    for (const auto& object : objects) {
        json functions = json::array();
        for (const auto& function : object->GetItemArray())
            functions.push_back(function->GetName().ToUtf8());
        names[object->GetName().ToUtf8()] = std::move(functions);
    }
    std::string script(kChannelScript);
    const std::pair<std::string_view, std::string> fills[] = {
        {"@BASE@", std::string(kChannelBase)},
        {"@HEADER@", kChannelHeader},
        {"@OBJECTS@", names.dump()},
    };
    for (const auto& [placeholder, text] : fills)
        script.replace(script.find(placeholder), placeholder.size(), text);
    return script;
}

// The HTML with the channel script at the start of its head (at the very start without one).
std::string withChannelScript(const std::string& html) {
    const std::string tag = "<script src=\"" + channelPath("channel.js") + "\"></script>";
    std::string lower(html.size(), '\0');
    std::transform(html.begin(), html.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::size_t at = lower.find("<head"); at != std::string::npos;
         at = lower.find("<head", at + 1)) {
        const std::size_t next = at + 5;
        if (next < lower.size() &&
            (lower[next] == '>' || std::isspace(static_cast<unsigned char>(lower[next])))) {
            const std::size_t close = lower.find('>', next);
            if (close != std::string::npos)
                return std::string(html).insert(close + 1, tag);
        }
    }
    return tag + html;
}

// The file of a "file://" URL, or nothing for another scheme.
std::optional<fs::path> fileOfUrl(const std::string& url) {
    constexpr std::string_view scheme = "file://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return std::nullopt;
    return fs::path(url.substr(scheme.size()));
}

// The file name as one URL path segment.
std::string urlSegment(const std::string& name) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

GS::Ref<JS::Base> numberValue(const std::string& text) {
    const double value = std::strtod(text.c_str(), nullptr);
    const bool integral = std::isfinite(value) && value == std::trunc(value) &&
                          value >= std::numeric_limits<Int32>::min() &&
                          value <= std::numeric_limits<Int32>::max();
    if (integral)
        return GS::NewRef<JS::Value>(static_cast<Int32>(value));
    return GS::NewRef<JS::Value>(value);
}

// The page's argument as the program receives it, from its kind and text (see the channel
// script). An argument over the size limit arrives as a value that is not a string.
GS::Ref<JS::Base> argumentOf(const std::string& kind, const std::string& text, bool tooLong) {
    if (tooLong)
        return GS::NewRef<JS::Value>();
    if (kind == "none")
        return nullptr;
    if (kind == "string")
        return GS::NewRef<JS::Value>(GS::UniString(text));
    if (kind == "number")
        return numberValue(text);
    if (kind == "boolean")
        return GS::NewRef<JS::Value>(text == "true");
    if (kind == "undefined" || kind == "null")
        return GS::NewRef<JS::Value>();
    if (kind == "array")
        return GS::NewRef<JS::Array>();
    return GS::NewRef<JS::Object>(GS::UniString());
}

json valueJson(const GS::Ref<JS::Base>& result) {
    const GS::Ref<JS::Value> value = GS::DynamicCast<JS::Value>(result);
    if (value == nullptr)
        return nullptr;
    switch (value->GetType()) {
        case JS::Value::BOOL:
            return value->GetBool();
        case JS::Value::INTEGER:
            return value->GetInteger();
        case JS::Value::DOUBLE:
            return std::isfinite(value->GetDouble()) ? json(value->GetDouble()) : json(nullptr);
        case JS::Value::STRING:
            return value->GetString().ToUtf8();
        case JS::Value::UNDEFINED:
            break;
    }
    return nullptr;
}

std::string callReply(bool ok, json payload) {
    return json{{"ok", ok}, {ok ? "value" : "error", std::move(payload)}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
}

// One script as a server-sent event: a data line per line of the script.
std::string eventOf(const std::string& script) {
    std::string event;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = script.find_first_of("\r\n", start);
        event += "data: ";
        event.append(script, start, end == std::string::npos ? std::string::npos : end - start);
        event += '\n';
        if (end == std::string::npos)
            break;
        start = end + (script.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return event + '\n';
}

// The reply to a page call. Named with its charset, the short reply is sent as it is: the library
// compresses only bare "application/json", which costs more than it saves here.
constexpr const char* kReplyType = "application/json; charset=utf-8";

// Ends the stream of a page whose place a newer one took.
constexpr std::string_view kReplacedEvent = "event: replaced\ndata: \n\n";

void refuse(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text, "text/plain; charset=utf-8");
}

}  // namespace

// The HTTP side: runs on the server's own threads and reaches the program only through
// MainThreadCalls.
class LoopbackBrowser::Server {
public:
    using Invoke = std::function<std::string(const std::string& object, const std::string& function,
                                             GS::Ref<JS::Base> argument)>;

    Server(int port, Invoke invoke) : invoke_(std::move(invoke)) {
        route();
        listen(port);
    }

    ~Server() {
        calls_.close();
        stream_.close();
        if (listener_.joinable()) {
            http_.stop();
            listener_.join();
        }
    }

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const { return port_; }
    const std::string& error() const { return error_; }
    std::string origin() const {
        return "http://" + std::string(kHost) + ":" + std::to_string(port_);
    }

    void serve(PageFolder folder, std::string pagePath, std::string script) {
        const std::lock_guard lock(mutex_);
        folder_ = std::move(folder);
        pagePath_ = std::move(pagePath);
        channelScript_ = std::move(script);
    }

    void push(const std::string& script) { stream_.push(script); }

private:
    void listen(int port) {
        // Address reuse only: with the library's default (port sharing) a second server on a
        // busy port would bind anyway and take some of the first one's connections.
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
        port_ = port == 0 ? http_.bind_to_any_port(kHost)
                          : (http_.bind_to_port(kHost, port) ? port : -1);
        if (port_ <= 0) {
            error_ = "Nie mozna nasluchiwac na " + std::string(kHost) +
                     (port == 0 ? std::string() : ":" + std::to_string(port)) +
                     " (port zajety lub niedostepny)";
            port_ = 0;
            return;
        }
        // The library listens with a queue of 5 connections; a page opening its connections at
        // once, or many callers, would overflow it, and a refused connection is tried again only
        // a second later. Listening again on the socket only lengthens the queue.
        ::listen(listening_, SOMAXCONN);
        listener_ = std::thread([this] { http_.listen_after_bind(); });
        // stop() only ends a server that already runs.
        const auto giveUp = std::chrono::steady_clock::now() + 5s;
        while (!http_.is_running() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(1ms);
    }

    void route() {
        http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            if (addressedToUs(req.get_header_value("Host")))
                return httplib::Server::HandlerResponse::Unhandled;
            refuse(res, 403, "Odmowa dostepu");
            return httplib::Server::HandlerResponse::Handled;
        });
        http_.Get(channelPath("channel.js"),
                  [this](const httplib::Request&, httplib::Response& res) {
                      const std::lock_guard lock(mutex_);
                      res.set_header("Cache-Control", "no-store");
                      res.set_content(channelScript_, "text/javascript; charset=utf-8");
                  });
        http_.Get(channelPath("events"),
                  [this](const httplib::Request& req, httplib::Response& res) {
                      streamScripts(req, res);
                  });
        http_.Post(channelPath("call"),
                   [this](const httplib::Request& req, httplib::Response& res,
                          const httplib::ContentReader& read) { call(req, res, read); });
        http_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            serveFile(req.path, res);
        });
    }

    bool addressedToUs(std::string_view host) const {
        const std::string port = ":" + std::to_string(port_);
        return host == kHost + port || host == "localhost" + port;
    }

    // A request from a page of another site names that site as its origin; our own page's
    // requests name our address or, for plain reads, nothing.
    bool fromOwnPageOrNone(const std::string& origin) const {
        constexpr std::string_view scheme = "http://";
        return origin.empty() || (origin.starts_with(scheme) &&
                                  addressedToUs(std::string_view(origin).substr(scheme.size())));
    }

    void serveFile(const std::string& path, httplib::Response& res) {
        std::optional<fs::path> file;
        {
            const std::lock_guard lock(mutex_);
            if (path == "/" && !pagePath_.empty()) {
                res.set_redirect(pagePath_);
                return;
            }
            file = folder_.resolve(path);
        }
        const std::optional<std::string> content = file ? readFile(*file) : std::nullopt;
        if (!content) {
            refuse(res, 404, "Nie ma takiego pliku");
            return;
        }
        res.set_header("Cache-Control", "no-store");
        res.set_content(file->extension() == ".html" ? withChannelScript(*content) : *content,
                        contentTypeOf(*file));
    }

    // The scripts of the program as server-sent events, for as long as the page listens. The
    // page is subscribed before the response starts: once its stream is open it misses nothing.
    // Pages of other sites get no stream, so they cannot take our page's place.
    void streamScripts(const httplib::Request& req, httplib::Response& res) {
        if (!fromOwnPageOrNone(req.get_header_value("Origin"))) {
            refuse(res, 403, "Odmowa dostepu");
            return;
        }
        const ScriptStream::ListenerId listener = stream_.subscribe();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, listener, first = true](std::size_t, httplib::DataSink& sink) mutable {
                if (std::exchange(first, false)) {
                    const std::string hello = "retry: 1000\n\n";
                    return sink.write(hello.data(), hello.size());
                }
                const ScriptStream::Taken taken = stream_.take(listener, kStreamHeartbeat);
                if (taken.state == ScriptStream::State::Replaced)
                    sink.write(kReplacedEvent.data(), kReplacedEvent.size());
                if (taken.state != ScriptStream::State::Listening)
                    return false;
                // One write per batch: the scripts that came together leave together.
                std::string chunk = taken.scripts.empty() ? ": \n\n" : std::string();
                for (const std::string& script : taken.scripts)
                    chunk += eventOf(script);
                return sink.write(chunk.data(), chunk.size());
            },
            [this, listener](bool) { stream_.unsubscribe(listener); });
    }

    // One call of a registered function by the page. The argument is read whole only up to the
    // size limit; the rest is read and dropped so that memory stays bounded.
    void call(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader& read) {
        if (!req.has_header(kChannelHeader)) {
            refuse(res, 403, "Odmowa dostepu");
            return;
        }
        std::string text;
        bool tooLong = false;
        read([&](const char* data, std::size_t length) {
            if (!tooLong && text.size() + length <= kMaxMessageBytes) {
                text.append(data, length);
            } else if (!tooLong) {
                tooLong = true;
                std::string().swap(text);
            }
            return true;
        });
        GS::Ref<JS::Base> argument = argumentOf(req.get_param_value("t"), text, tooLong);
        std::string().swap(text);
        const std::optional<std::string> reply = calls_.run(
            [this, object = req.get_param_value("o"), function = req.get_param_value("f"),
             argument = std::move(argument)] { return invoke_(object, function, argument); },
            kCallTimeout);
        if (!reply) {
            res.status = 503;
            res.set_content(callReply(false, "Program nie odpowiada"), kReplyType);
            return;
        }
        res.set_content(*reply, kReplyType);
    }

    Invoke invoke_;
    httplib::Server http_;
    std::thread listener_;
    socket_t listening_ = INVALID_SOCKET;
    int port_ = 0;
    std::string error_;
    ScriptStream stream_{kMaxEventStreams};
    MainThreadCalls calls_;

    mutable std::mutex mutex_;  // guards what LoadURL sets
    PageFolder folder_{fs::path()};
    std::string pagePath_;
    std::string channelScript_;
};

LoopbackBrowser::LoopbackBrowser(DG::Browser& browser, Options options)
    : BrowserBackend(browser),
      server_(std::make_unique<Server>(
          options.port, [this](const std::string& object, const std::string& function,
                               GS::Ref<JS::Base> argument) {
              return callFromPage(object, function, std::move(argument));
          })) {}

LoopbackBrowser::~LoopbackBrowser() = default;

bool LoopbackBrowser::LoadURL(const GS::UniString& url) {
    const std::optional<fs::path> file = fileOfUrl(url.ToUtf8());
    std::error_code ec;
    if (server_->port() == 0 || !file || !fs::is_regular_file(*file, ec)) {
        GetBrowser().onLoadError.Fire(kLoadFailed, url);
        return false;
    }
    const std::string pagePath = "/" + urlSegment(file->filename().string());
    server_->serve(PageFolder(file->parent_path()), pagePath, channelScript(Objects()));
    pageAddress_ = server_->origin() + pagePath;
    return true;
}

bool LoopbackBrowser::ExecuteJS(const GS::UniString& script) {
    server_->push(script.ToUtf8());
    return true;
}

std::string LoopbackBrowser::Origin() const {
    return server_->port() == 0 ? std::string() : server_->origin();
}

std::string LoopbackBrowser::Error() const {
    return server_->error();
}

// Main thread. Whatever the function throws stays here: the page learns only that it failed.
std::string LoopbackBrowser::callFromPage(const std::string& object, const std::string& function,
                                          GS::Ref<JS::Base> argument) {
    try {
        return callReply(true, valueJson(CallFromPage(object, function, std::move(argument))));
    } catch (const std::exception& e) {
        return callReply(false, e.what());
    } catch (const GS::Exception& e) {
        return callReply(false, e.GetMessage());
    } catch (...) {
        return callReply(false, "nieznany wyjatek");
    }
}

}  // namespace host
