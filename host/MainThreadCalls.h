#pragma once
// Work that a server thread needs done on the host's main thread (every host call belongs there):
// the work is queued with GS::MessageLoopExecutor and the server thread waits for its result. The
// main thread never waits here.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace host {

class MainThreadCalls {
public:
    MainThreadCalls();
    MainThreadCalls(const MainThreadCalls&) = delete;
    MainThreadCalls& operator=(const MainThreadCalls&) = delete;
    ~MainThreadCalls();

    // Any thread but the main one: queues the work and waits up to `timeout` for its result.
    // Nothing when the time ran out or the calls were closed first; work that has not started by
    // then is dropped when its turn comes.
    std::optional<std::string> run(std::function<std::string()> work,
                                   std::chrono::milliseconds timeout);

    // Main thread: every waiting caller returns at once, queued work is dropped and later calls
    // return nothing. The destructor closes too.
    void close();

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace host
