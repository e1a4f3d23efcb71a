// Fan-out of page scripts to the pages that listen.

#include "ScriptStream.h"

#include <algorithm>
#include <iterator>

namespace host {

ScriptStream::ScriptStream(std::size_t maxListeners)
    : maxListeners_(std::max<std::size_t>(maxListeners, 1)) {}

ScriptStream::ListenerId ScriptStream::subscribe() {
    const std::lock_guard lock(mutex_);
    makeRoom();
    const ListenerId id = next_++;
    listeners_[id];
    return id;
}

// Makes room for one more listener: the longest listening one that is still listening is
// replaced. Replaced ones are not counted; they leave at their next take.
void ScriptStream::makeRoom() {
    const auto listening = [](const auto& entry) { return !entry.second.replaced; };
    const auto count =
        static_cast<std::size_t>(std::count_if(listeners_.begin(), listeners_.end(), listening));
    if (count < maxListeners_)
        return;
    const auto oldest = std::find_if(listeners_.begin(), listeners_.end(), listening);
    oldest->second.replaced = true;
    oldest->second.backlog.clear();
    arrived_.notify_all();
}

void ScriptStream::unsubscribe(ListenerId listener) {
    {
        const std::lock_guard lock(mutex_);
        listeners_.erase(listener);
    }
    arrived_.notify_all();
}

void ScriptStream::push(const std::string& script) {
    {
        const std::lock_guard lock(mutex_);
        for (auto& [id, listener] : listeners_) {
            if (!listener.replaced)
                listener.backlog.push_back(script);
        }
    }
    arrived_.notify_all();
}

ScriptStream::Taken ScriptStream::take(ListenerId listener, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] {
        const auto it = listeners_.find(listener);
        return closed_ || it == listeners_.end() || it->second.replaced ||
               !it->second.backlog.empty();
    };
    arrived_.wait_for(lock, timeout, ready);
    const auto it = listeners_.find(listener);
    if (closed_ || it == listeners_.end())
        return {};
    if (it->second.replaced) {
        listeners_.erase(it);
        return {State::Replaced, {}};
    }
    std::deque<std::string>& backlog = it->second.backlog;
    Taken taken{State::Listening,
                {std::make_move_iterator(backlog.begin()), std::make_move_iterator(backlog.end())}};
    backlog.clear();
    return taken;
}

void ScriptStream::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

}  // namespace host
