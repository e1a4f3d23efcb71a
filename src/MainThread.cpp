#include "MainThread.h"

#include "GSMessageLoop.h"

void runOnMainThread(std::function<void()> fn) {
    GS::MessageLoopExecutor executor;
    executor.Execute(GS::NewRef<GS::FunctionRunnable>(std::move(fn)));
}
