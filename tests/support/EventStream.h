#pragma once
// A page's event stream (server-sent events) read on a thread of its own as a browser reads it,
// until the server ends it or the object goes. Header-only; for test programs that link
// cpp-httplib (those of the stand-in host do).

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace loopback {

// How often `part` occurs in `text`, overlaps counted.
inline std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class EventStream {
public:
    // Starts reading the stream at `path` of the server on 127.0.0.1:port.
    EventStream(int port, std::string path, httplib::Headers headers = {})
        : client_("127.0.0.1", port),
          reader_([this, path = std::move(path), headers = std::move(headers)] {
              read(path, headers);
          }) {}
    ~EventStream() {
        client_.stop();
        reader_.join();
    }
    EventStream(const EventStream&) = delete;
    EventStream& operator=(const EventStream&) = delete;

    // Waits until the stream's text holds `part` `times` times; false when it ended before or the
    // time ran out.
    bool waitFor(std::string_view part, std::size_t times = 1,
                 std::chrono::seconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            return ended_ || occurrences(text_, part) >= times;
        }) && occurrences(text_, part) >= times;
    }
    bool waitForEnd(std::chrono::seconds timeout = std::chrono::seconds(10)) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return ended_; });
    }
    std::string text() const {
        const std::lock_guard lock(mutex_);
        return text_;
    }
    int status() const {
        const std::lock_guard lock(mutex_);
        return status_;
    }

private:
    void read(const std::string& path, const httplib::Headers& headers) {
        client_.set_tcp_nodelay(true);
        const auto res = client_.Get(
            path, headers,
            [this](const httplib::Response& head) {
                const std::lock_guard lock(mutex_);
                status_ = head.status;
                return true;
            },
            [this](const char* data, std::size_t length) {
                {
                    const std::lock_guard lock(mutex_);
                    text_.append(data, length);
                }
                changed_.notify_all();
                return true;
            });
        {
            const std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

    httplib::Client client_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string text_;
    int status_ = 0;
    bool ended_ = false;
    std::thread reader_;
};

}  // namespace loopback
