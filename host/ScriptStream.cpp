// Fan-out of page scripts to the pages that listen.

#include "ScriptStream.h"

#include <iterator>

namespace host {

ScriptStream::ListenerId ScriptStream::subscribe() {
    const std::lock_guard lock(mutex_);
    const ListenerId id = next_++;
    backlogs_[id];
    return id;
}

void ScriptStream::unsubscribe(ListenerId listener) {
    const std::lock_guard lock(mutex_);
    backlogs_.erase(listener);
}

void ScriptStream::push(const std::string& script) {
    {
        const std::lock_guard lock(mutex_);
        for (auto& [id, backlog] : backlogs_)
            backlog.push_back(script);
    }
    arrived_.notify_all();
}

std::optional<std::vector<std::string>> ScriptStream::take(ListenerId listener,
                                                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] {
        const auto it = backlogs_.find(listener);
        return closed_ || it == backlogs_.end() || !it->second.empty();
    };
    arrived_.wait_for(lock, timeout, ready);
    const auto it = backlogs_.find(listener);
    if (closed_ || it == backlogs_.end())
        return std::nullopt;
    std::vector<std::string> scripts(std::make_move_iterator(it->second.begin()),
                                     std::make_move_iterator(it->second.end()));
    it->second.clear();
    return scripts;
}

void ScriptStream::close() {
    {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

}  // namespace host
