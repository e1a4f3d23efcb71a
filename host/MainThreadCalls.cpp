// Server threads waiting for work done on the main thread.

#include "MainThreadCalls.h"

#include <condition_variable>
#include <mutex>

#include "GSMessageLoop.h"

namespace host {

struct MainThreadCalls::Shared {
    std::mutex mutex;
    std::condition_variable done;
    bool closed = false;
};

namespace {

struct Slot {
    std::optional<std::string> result;
};

}  // namespace

MainThreadCalls::MainThreadCalls() : shared_(std::make_shared<Shared>()) {}

MainThreadCalls::~MainThreadCalls() {
    close();
}

std::optional<std::string> MainThreadCalls::run(std::function<std::string()> work,
                                                std::chrono::milliseconds timeout) {
    const auto slot = std::make_shared<Slot>();
    // The task holds the shared state, not this object: it may run after the owner is gone, and
    // then it finds the calls closed. Both close() and the task run on the main thread, so the
    // closed flag cannot change between the check and the work.
    auto task = [shared = shared_, slot, work = std::move(work)] {
        {
            const std::lock_guard lock(shared->mutex);
            if (shared->closed)
                return;
        }
        std::string result = work();
        {
            const std::lock_guard lock(shared->mutex);
            slot->result = std::move(result);
        }
        shared->done.notify_all();
    };
    {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->closed)
            return std::nullopt;
    }
    GS::MessageLoopExecutor().Execute(GS::NewRef<GS::FunctionRunnable>(std::move(task)));

    std::unique_lock lock(shared_->mutex);
    shared_->done.wait_for(lock, timeout, [&] { return shared_->closed || slot->result; });
    return slot->result;
}

void MainThreadCalls::close() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->closed = true;
    }
    shared_->done.notify_all();
}

}  // namespace host
