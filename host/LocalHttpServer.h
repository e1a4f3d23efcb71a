#pragma once
// An HTTP server of the stand-in's own pages on 127.0.0.1 (cpp-httplib), shared by the loopback
// browser and terraweft-host's views of the project. It answers only requests addressed to its
// own host name (127.0.0.1 or localhost, with its port): any other name gets 403, so that a site
// whose name is made to point here cannot read it. Every connection has a thread of its own up
// to a limit (ConnectionThreads), and small answers and events leave without waiting for the
// browser's acknowledgements.

#include <httplib.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "ScriptStream.h"

namespace host {

class LocalHttpServer {
public:
    // Binds to the port on 127.0.0.1 (0: any free port); error() says why it could not.
    explicit LocalHttpServer(int port);
    ~LocalHttpServer();

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Where the routes are added, before start().
    httplib::Server& routes() { return http_; }
    // Starts answering on a thread of its own; does nothing when the server is not bound.
    void start();
    // Stops answering and waits for every connection to end: whatever a handler waits for (a
    // stream, a call on the main thread) must be closed first. The destructor stops too.
    void stop();

    // The bound port, or 0 when the server could not bind.
    int port() const { return port_; }
    // Why the server does not run (a text for the user); empty when it runs.
    const std::string& error() const { return error_; }
    // "http://127.0.0.1:PORT".
    std::string origin() const;

    // Whether a request with this Origin header comes from one of our own pages or names no
    // origin (plain reads of the browser do not): pages of other sites name theirs.
    bool fromOwnPageOrNone(const std::string& origin) const;

    // Answers with the texts pushed to the stream from now on as server-sent events (one event a
    // text, a data line a line), for as long as the page listens; a quiet stream is probed now and
    // then so that a page that went away is noticed. A page that loses its place to a newer one
    // gets the event "replaced" and its stream ends. Pages of other sites get 403 and no place.
    void streamEvents(const httplib::Request& req, httplib::Response& res, ScriptStream& stream);

private:
    bool addressedToUs(std::string_view host) const;

    httplib::Server http_;
    std::thread listener_;
    socket_t listening_ = INVALID_SOCKET;
    int port_ = 0;
    std::string error_;
};

// Answers with the body as it is, never compressed: on 127.0.0.1 compressing costs more than it
// saves, and the library would compress text for a browser with Brotli at its highest quality,
// which takes tens of seconds for some megabytes.
void sendUncompressed(httplib::Response& res, std::string body, const std::string& contentType);

// An answer with a short Polish text saying why the request was refused.
void refuse(httplib::Response& res, int status, const std::string& text);

// Answers with the file's content and type, not to be kept by the browser, or with 404 when there
// is no file or it cannot be read. `html`, when given, rewrites the content of HTML files.
void sendFile(httplib::Response& res, const std::optional<std::filesystem::path>& file,
              const std::function<std::string(const std::string&)>& html = {});

}  // namespace host
