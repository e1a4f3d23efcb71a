// Server threads waiting for work done on the main thread.

#include "MainThreadCalls.h"

#include <condition_variable>
#include <mutex>
#include <set>

#include "GSMessageLoop.h"

namespace host {
namespace {

// One call's meeting point. Each caller waits on a condition of its own, so that finished work
// wakes its own caller only, however many others wait.
struct Slot {
    std::condition_variable done;
    std::optional<std::string> result;
    bool abandoned = false;  // the caller stopped waiting: work not yet started is dropped
};

}  // namespace

struct MainThreadCalls::Shared {
    std::mutex mutex;  // guards the slots too
    bool closed = false;
    std::set<Slot*> waiting;  // each stays alive while its caller waits here
};

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
            if (shared->closed || slot->abandoned)
                return;
        }
        std::string result = work();
        {
            const std::lock_guard lock(shared->mutex);
            slot->result = std::move(result);
        }
        slot->done.notify_one();
    };
    std::unique_lock lock(shared_->mutex);
    if (shared_->closed)
        return std::nullopt;
    shared_->waiting.insert(slot.get());
    lock.unlock();
    GS::MessageLoopExecutor().Execute(GS::NewRef<GS::FunctionRunnable>(std::move(task)));

    lock.lock();
    slot->done.wait_for(lock, timeout, [&] { return shared_->closed || slot->result; });
    shared_->waiting.erase(slot.get());
    slot->abandoned = !slot->result;
    return std::move(slot->result);
}

void MainThreadCalls::close() {
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    for (Slot* slot : shared_->waiting)
        slot->done.notify_all();
}

}  // namespace host
