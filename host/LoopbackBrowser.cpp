// The loopback browser: page files, the stand-in's channel script, page calls and page scripts
// over HTTP on 127.0.0.1 (cpp-httplib).

#include "LoopbackBrowser.h"

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
#include <utility>

#include "DG.h"
#include "LocalHttpServer.h"
#include "MainThreadCalls.h"
#include "PageFolder.h"
#include "ScriptStream.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
using namespace std::chrono_literals;

// The stand-in's own paths beside the page files, and the header only its script sends.
constexpr std::string_view kChannelBase = "/__terraweft/";
constexpr const char* kChannelHeader = "X-Terraweft-Channel";
constexpr Int32 kLoadFailed = -1;

// How long a page call waits for the main thread.
constexpr auto kCallTimeout = 60s;

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

// The reply to a page call. Named with its charset, the short reply is sent as it is: the library
// compresses only bare "application/json", which costs more than it saves here.
constexpr const char* kReplyType = "application/json; charset=utf-8";

}  // namespace

// The HTTP side: runs on the server's own threads and reaches the program only through
// MainThreadCalls.
class LoopbackBrowser::Server {
public:
    using Invoke = std::function<std::string(const std::string& object, const std::string& function,
                                             GS::Ref<JS::Base> argument)>;

    Server(int port, Invoke invoke) : invoke_(std::move(invoke)), http_(port) {
        route();
        http_.start();
    }

    ~Server() {
        calls_.close();
        stream_.close();
        http_.stop();
    }

    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    int port() const { return http_.port(); }
    const std::string& error() const { return http_.error(); }
    std::string origin() const { return http_.origin(); }

    void serve(PageFolder folder, std::string pagePath, std::string script) {
        const std::lock_guard lock(mutex_);
        folder_ = std::move(folder);
        pagePath_ = std::move(pagePath);
        channelScript_ = std::move(script);
    }

    void push(const std::string& script) { stream_.push(script); }

private:
    void route() {
        httplib::Server& routes = http_.routes();
        routes.Get(channelPath("channel.js"),
                   [this](const httplib::Request&, httplib::Response& res) {
                       const std::lock_guard lock(mutex_);
                       res.set_header("Cache-Control", "no-store");
                       res.set_content(channelScript_, "text/javascript; charset=utf-8");
                   });
        // The scripts of the program, for as long as the page listens; pages of other sites get
        // no stream, so they cannot take our page's place.
        routes.Get(channelPath("events"),
                   [this](const httplib::Request& req, httplib::Response& res) {
                       http_.streamEvents(req, res, stream_);
                   });
        routes.Post(channelPath("call"),
                    [this](const httplib::Request& req, httplib::Response& res,
                           const httplib::ContentReader& read) { call(req, res, read); });
        routes.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            serveFile(req.path, res);
        });
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
        sendFile(res, file, withChannelScript);
    }

    // One call of a registered function by the page. The argument is read whole only up to the
    // size limit; the rest is read and dropped so that memory stays bounded. A call whose body
    // did not arrive whole is not made.
    void call(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader& read) {
        if (!req.has_header(kChannelHeader)) {
            refuse(res, 403, "Odmowa dostepu");
            return;
        }
        std::string text;
        bool tooLong = false;
        const bool whole = read([&](const char* data, std::size_t length) {
            if (!tooLong && text.size() + length <= kMaxMessageBytes) {
                text.append(data, length);
            } else if (!tooLong) {
                tooLong = true;
                std::string().swap(text);
            }
            return true;
        });
        if (!whole) {
            res.status = 400;
            res.set_content(callReply(false, "Wywolanie nie dotarlo w calosci"), kReplyType);
            return;
        }
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
    ScriptStream stream_{kMaxEventStreams};
    MainThreadCalls calls_;
    LocalHttpServer http_;

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
