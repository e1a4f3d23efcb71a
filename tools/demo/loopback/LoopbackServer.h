#pragma once
// A scripted HTTP service on 127.0.0.1 for tests. Answers are chosen by path and query, every
// request is logged with its headers, body and arrival time. Mode::Http serves through
// cpp-httplib; Mode::Raw writes the answer bytes itself and can also break the protocol: drop the
// connection, send fewer body bytes than announced, or send arbitrary bytes.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace loopback {

using Headers = std::vector<std::pair<std::string, std::string>>;
using Clock = std::chrono::steady_clock;

// One scripted answer.
struct Answer {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    Headers headers;  // further header lines, sent as given

    std::chrono::milliseconds delay{0};  // wait before the status line is sent

    // The body goes out in pieces of chunkSize bytes with chunkDelay before every piece after the
    // first; 0 sends it whole.
    std::size_t chunkSize = 0;
    std::chrono::milliseconds chunkDelay{0};

    // Content-Length to announce instead of body.size(); a larger value gives a short body: the
    // connection closes after the body.
    std::optional<std::size_t> announcedLength;

    // No Content-Length: the body ends when the connection closes (chunked in Mode::Http).
    bool noLength = false;

    // Mode::Http only: an answer without end. The body goes out over and over, chunked, until
    // the client goes, the server stops or this many bytes went out (then the connection breaks
    // off, so that a client that keeps everything still ends); 0 sends the body once.
    std::size_t endlessUpTo = 0;

    // Mode::Raw only: close the connection without a byte of answer.
    bool drop = false;

    // Mode::Raw only: send exactly these bytes instead of an HTTP answer, then close.
    std::optional<std::string> raw;
};

// Shorthands for the common answers.
Answer ok(std::string body, std::string contentType = "text/plain");
Answer status(int code, std::string body = {});

// One request as it arrived.
struct Request {
    std::string method;
    std::string target;  // path and query as sent, undecoded
    std::string path;    // target before "?"
    std::string query;   // target after "?", undecoded; empty when none
    Headers headers;
    std::string body;
    Clock::time_point arrival;

    // The first header of that name (case-insensitive); empty when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

enum class Mode { Http, Raw };

using Responder = std::function<Answer(const Request&)>;

class LoopbackServer {
public:
    explicit LoopbackServer(Mode mode = Mode::Http);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const;
    std::string hostPort() const;  // "127.0.0.1:<port>"
    std::string url() const;       // "http://127.0.0.1:<port>", no trailing "/"
    std::string url(std::string_view pathAndQuery) const;

    // Scripts. The rule added last wins among those that match a request. A path matches
    // exactly; queryContains matches when the raw query contains that text.
    void on(std::string path, Answer answer);
    void on(std::string path, std::string queryContains, Answer answer);
    // The n-th matching request gets the n-th answer; the last one repeats.
    void onSequence(std::string path, std::vector<Answer> answers);
    // Computed answers (called on a server thread).
    void onRequest(std::string path, Responder responder);
    // What unmatched requests get; 404 "not scripted" unless set.
    void setFallback(Answer answer);

    // The log, in arrival order.
    std::vector<Request> requests() const;
    std::vector<Request> requests(std::string_view path) const;
    std::size_t count() const;
    std::size_t count(std::string_view path) const;
    void clearLog();

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// A loopback port on which nothing listens at the moment of return (refused connections).
int unusedPort();

}  // namespace loopback
