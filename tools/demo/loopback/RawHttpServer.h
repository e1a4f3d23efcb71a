#pragma once
// A minimal HTTP/1.1 listener on plain sockets: one request per connection, no keep-alive. It
// parses the request and hands the open connection to a handler, which writes whatever bytes it
// likes, so a test can produce answers that a conforming server library never sends.

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"

namespace loopback {

class RawConnection {
public:
    // Reading gives up when stopping turns true (the server is going away).
    RawConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    // The request head and a body of its Content-Length; nullopt when the client sent no
    // complete request within the read limit.
    std::optional<Request> readRequest();
    // False once the peer has gone away.
    bool write(std::string_view bytes);

private:
    bool fill();
    int fd_;
    const std::atomic<bool>& stopping_;
    std::string buffer_;
};

class RawHttpServer {
public:
    using Handler = std::function<void(RawConnection&)>;

    explicit RawHttpServer(Handler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return port_; }

private:
    void acceptLoop();

    Handler handler_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex connectionsMutex_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace loopback
