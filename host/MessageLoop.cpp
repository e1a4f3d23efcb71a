// The main thread's task queue behind GS::MessageLoopExecutor, driven by host::pump.

#include <condition_variable>
#include <deque>
#include <mutex>

#include "GSMessageLoop.h"
#include "HostState.h"

namespace host {
namespace {

struct MainLoop {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<GS::RunnableTask> tasks;
};

MainLoop& loop() {
    static detail::Immortal<MainLoop> instance;
    return instance.get();
}

// Takes the first task, waiting until `until` for one to arrive; empty when none came.
GS::RunnableTask takeTask(std::chrono::steady_clock::time_point until) {
    MainLoop& l = loop();
    std::unique_lock lock(l.mutex);
    l.arrived.wait_until(lock, until, [&] { return !l.tasks.empty(); });
    if (l.tasks.empty())
        return nullptr;
    GS::RunnableTask task = std::move(l.tasks.front());
    l.tasks.pop_front();
    return task;
}

void requireMainThread(const char* function) {
    // Counted like a host call so that a pump from a worker is reported the same way.
    detail::enter(function);
}

}  // namespace

namespace detail {
void clearMainLoop() {
    MainLoop& l = loop();
    const std::lock_guard lock(l.mutex);
    l.tasks.clear();
}
}  // namespace detail

std::size_t pump(std::size_t maxTasks) {
    requireMainThread("host::pump");
    std::size_t ran = 0;
    while (ran < maxTasks) {
        GS::RunnableTask task = takeTask(std::chrono::steady_clock::now());
        if (task == nullptr)
            break;
        ++ran;
        task->Run();
    }
    return ran;
}

std::size_t pumpFor(std::chrono::milliseconds duration) {
    requireMainThread("host::pumpFor");
    const auto until = std::chrono::steady_clock::now() + duration;
    std::size_t ran = 0;
    while (GS::RunnableTask task = takeTask(until)) {
        ++ran;
        task->Run();
    }
    return ran;
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    requireMainThread("host::pumpUntil");
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return false;
        const auto step = std::min(until, now + std::chrono::milliseconds(10));
        if (GS::RunnableTask task = takeTask(step))
            task->Run();
    }
    return true;
}

std::size_t pendingTasks() {
    MainLoop& l = loop();
    const std::lock_guard lock(l.mutex);
    return l.tasks.size();
}

}  // namespace host

namespace GS {

void MessageLoopExecutor::Execute(const RunnableTask& task) {
    if (task == nullptr)
        return;
    auto& l = host::loop();
    {
        const std::lock_guard lock(l.mutex);
        l.tasks.push_back(task);
    }
    l.arrived.notify_all();
}

}  // namespace GS
