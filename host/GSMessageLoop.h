#pragma once
// Running work on the host's main thread. Any thread may hand a task to the executor; the host
// runs the tasks on its main thread, one after another, in the order they were handed over.
// The caller does not wait. In the stand-in the main loop is driven by host::pump (HostTestApi.h).

#include <functional>

#include "GSRef.h"

namespace GS {

class Runnable {
public:
    Runnable() = default;
    Runnable(const Runnable&) = delete;
    Runnable& operator=(const Runnable&) = delete;
    virtual ~Runnable() = default;
    virtual void Run() = 0;
};

class FunctionRunnable : public Runnable {
public:
    explicit FunctionRunnable(std::function<void()> function) : function_(std::move(function)) {}
    void Run() override {
        if (function_)
            function_();
    }

private:
    std::function<void()> function_;
};

using RunnableTask = Ref<Runnable>;

class MessageLoopExecutor {
public:
    // Queues the task for the main thread and returns at once; safe from any thread.
    void Execute(const RunnableTask& task);
};

}  // namespace GS
