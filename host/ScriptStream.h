#pragma once
// The scripts a loopback browser runs in its page, on their way to every page that listens. Each
// listener gets every script pushed after it subscribed, in push order; a listener that is slow
// or gone holds only its own backlog. Thread-safe: the main thread pushes, server threads take.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host {

class ScriptStream {
public:
    using ListenerId = std::uint64_t;

    ListenerId subscribe();
    void unsubscribe(ListenerId listener);

    // Hands the script to every listener.
    void push(const std::string& script);

    // The listener's scripts pushed since its last take, waiting up to `timeout` for the first
    // one (empty when none came); nothing once the stream is closed or the listener is unknown.
    std::optional<std::vector<std::string>> take(ListenerId listener,
                                                 std::chrono::milliseconds timeout);

    // Ends every take, now and later.
    void close();

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<ListenerId, std::deque<std::string>> backlogs_;
    ListenerId next_ = 1;
    bool closed_ = false;
};

}  // namespace host
