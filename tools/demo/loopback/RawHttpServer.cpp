#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace loopback {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr auto kReadLimit = std::chrono::seconds(10);

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

// Fills method, target, path, query and headers from the head (request line and header lines).
bool parseHead(std::string_view head, Request& request) {
    const auto lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const auto sp1 = requestLine.find(' ');
    const auto sp2 = requestLine.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1)
        return false;
    request.method = std::string(requestLine.substr(0, sp1));
    request.target = std::string(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    const auto q = request.target.find('?');
    request.path = request.target.substr(0, q);
    request.query = q == std::string::npos ? std::string() : request.target.substr(q + 1);

    std::size_t pos = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        auto end = head.find("\r\n", pos);
        if (end == std::string_view::npos)
            end = head.size();
        const std::string_view line = head.substr(pos, end - pos);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            request.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
        }
        pos = end + 2;
    }
    return true;
}

}  // namespace

bool RawConnection::fill() {
    const auto deadline = std::chrono::steady_clock::now() + kReadLimit;
    while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char chunk[8192];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    return false;
}

std::optional<Request> RawConnection::readRequest() {
    std::size_t headEnd;
    while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (buffer_.size() > kMaxHead || !fill())
            return std::nullopt;
    }
    Request request;
    if (!parseHead(std::string_view(buffer_).substr(0, headEnd), request))
        return std::nullopt;
    const std::string length = request.header("Content-Length");
    const std::size_t bodyLength = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    const std::size_t bodyStart = headEnd + 4;
    while (buffer_.size() - bodyStart < bodyLength) {
        if (!fill())
            return std::nullopt;
    }
    request.body = buffer_.substr(bodyStart, bodyLength);
    buffer_.erase(0, bodyStart + bodyLength);
    return request;
}

bool RawConnection::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("loopback: socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listenFd_, 64) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("loopback: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

RawHttpServer::~RawHttpServer() {
    stopping_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptor_.join();
    ::close(listenFd_);
    const std::lock_guard lock(connectionsMutex_);
    for (auto& t : connections_)
        t.join();
}

void RawHttpServer::acceptLoop() {
    while (!stopping_) {
        const int fd = ::accept(listenFd_, nullptr, nullptr);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        const std::lock_guard lock(connectionsMutex_);
        connections_.emplace_back([this, fd] {
            RawConnection connection(fd, stopping_);
            handler_(connection);
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
        });
    }
}

}  // namespace loopback
