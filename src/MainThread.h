#pragma once
// Handing work from a worker thread to the host's main thread, where every host call and every
// message to a page must happen.

#include <functional>
#include <utility>

#include "GSMessageLoop.h"

// Queues fn to run once on the main thread, after everything queued before it; returns at once
// and never waits for fn. Safe from any thread.
inline void runOnMainThread(std::function<void()> fn) {
    const GS::RunnableTask task = GS::NewRef<GS::FunctionRunnable>(std::move(fn));
    GS::MessageLoopExecutor().Execute(task);
}
