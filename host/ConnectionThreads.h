#pragma once
// The threads of the loopback browser's server. Every open connection keeps a thread for as long
// as it lasts (a page's script stream holds one for the life of the page), so a fixed pool would
// let a few long connections stop every other one. Here a connection that finds no free thread
// gets a new one, up to a limit; only past the limit does it wait for a thread to come free.
// Threads stay, waiting for the next connection, until the server stops.

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace host {

class ConnectionThreads : public httplib::TaskQueue {
public:
    explicit ConnectionThreads(std::size_t maxThreads);
    ConnectionThreads(const ConnectionThreads&) = delete;
    ConnectionThreads& operator=(const ConnectionThreads&) = delete;
    ~ConnectionThreads() override;

    // Runs the connection's work on a free thread, a new one when none is free and the limit
    // allows, else on the first thread that comes free.
    void enqueue(std::function<void()> connection) override;

    // Lets the waiting work run to its end (each piece owns a connection that it closes), then
    // joins every thread.
    void shutdown() override;

    std::size_t threadCount() const;

private:
    void serve();
    bool needsThread() const;  // with mutex_ held

    const std::size_t maxThreads_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> waiting_;
    std::vector<std::thread> threads_;
    std::size_t free_ = 0;  // threads waiting for work
    bool stopping_ = false;
};

}  // namespace host
