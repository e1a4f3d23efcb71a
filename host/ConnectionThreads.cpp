// A thread per open connection, up to a limit.

#include "ConnectionThreads.h"

#include <system_error>
#include <utility>

namespace host {

ConnectionThreads::ConnectionThreads(std::size_t maxThreads) : maxThreads_(maxThreads) {}

ConnectionThreads::~ConnectionThreads() {
    shutdown();
}

void ConnectionThreads::enqueue(std::function<void()> connection) {
    {
        const std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(connection));
        if (needsThread()) {
            try {
                threads_.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                // No thread to be had now: the work waits for one that comes free.
            }
        }
    }
    arrived_.notify_one();
}

bool ConnectionThreads::needsThread() const {
    return !stopping_ && waiting_.size() > free_ && threads_.size() < maxThreads_;
}

void ConnectionThreads::serve() {
    std::unique_lock lock(mutex_);
    while (true) {
        ++free_;
        arrived_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        --free_;
        if (waiting_.empty())
            return;  // stopping, and nothing left to run
        std::function<void()> connection = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        connection();
        lock.lock();
    }
}

void ConnectionThreads::shutdown() {
    std::vector<std::thread> threads;
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        threads.swap(threads_);
    }
    arrived_.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

std::size_t ConnectionThreads::threadCount() const {
    const std::lock_guard lock(mutex_);
    return threads_.size();
}

}  // namespace host
