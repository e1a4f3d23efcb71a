#pragma once
// Handing work from a worker thread to the host's main thread, where every host call and every
// message to a page must happen.

#include <functional>

// Hands fn to the host's main message loop and returns at once: fn runs later, once, on the main
// thread, after everything posted before it. Any thread may call it; nobody waits for fn.
void runOnMainThread(std::function<void()> fn);
