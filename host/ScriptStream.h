#pragma once
// The scripts a loopback browser runs in its page, on their way to every page that listens. Each
// listener gets every script pushed after it subscribed, in push order; a listener that is slow
// or gone holds only its own backlog. Listeners are bounded: a new one past the limit replaces
// the one that has listened longest (most likely a page that was reloaded or closed, whose
// connection is not yet known to be gone). Thread-safe: the main thread pushes, server threads
// take.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace host {

class ScriptStream {
public:
    using ListenerId = std::uint64_t;

    enum class State {
        Listening,
        Replaced,  // a newer listener took its place
        Closed,    // the stream closed, or the listener unsubscribed
    };

    // What one take found: the scripts pushed since the last take (while listening).
    struct Taken {
        State state = State::Closed;
        std::vector<std::string> scripts;
    };

    explicit ScriptStream(std::size_t maxListeners);

    ListenerId subscribe();
    void unsubscribe(ListenerId listener);

    // Hands the script to every listener.
    void push(const std::string& script);

    // The listener's scripts pushed since its last take, waiting up to `timeout` for the first
    // one (none when none came). A replaced listener learns it once; after that, and once the
    // stream is closed, the listener is unknown (Closed).
    Taken take(ListenerId listener, std::chrono::milliseconds timeout);

    // Ends every take, now and later.
    void close();

private:
    struct Listener {
        std::deque<std::string> backlog;
        bool replaced = false;
    };

    void makeRoom();  // with mutex_ held

    const std::size_t maxListeners_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::map<ListenerId, Listener> listeners_;  // by id: the first listens longest
    ListenerId next_ = 1;
    bool closed_ = false;
};

}  // namespace host
