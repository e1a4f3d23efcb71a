// Memory handles (any thread) and the resource calls over the installed resource sets.

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "BM.h"
#include "HostState.h"
#include "RS.h"

namespace {

// One block: `pointer` is what a handle points at; the bytes are kept in max_align_t units so
// that any record can live in them.
struct Block {
    char* pointer = nullptr;
    std::unique_ptr<std::max_align_t[]> storage;
    GSSize size = 0;
};

struct HandleTable {
    std::mutex mutex;
    std::map<const void*, std::unique_ptr<Block>> blocks;  // keyed by the handle
};

HandleTable& table() {
    static host::detail::Immortal<HandleTable> instance;
    return instance.get();
}

std::unique_ptr<std::max_align_t[]> zeroedStorage(GSSize bytes) {
    const std::size_t units =
        (static_cast<std::size_t>(bytes) + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    auto storage = std::make_unique_for_overwrite<std::max_align_t[]>(units == 0 ? 1 : units);
    // Every byte, padding included: value-initialising max_align_t leaves its padding as it was.
    std::memset(storage.get(), 0, (units == 0 ? 1 : units) * sizeof(std::max_align_t));
    return storage;
}

constexpr GSSize kLargestBlock = GSSize(1) << 40;

}  // namespace

GSHandle BMAllocateHandle(GSSize nBytes, GSFlags, GSSize) {
    if (host::detail::enterAnyThread("BMAllocateHandle"))
        return nullptr;
    if (nBytes < 0 || nBytes > kLargestBlock)
        return nullptr;
    auto block = std::make_unique<Block>();
    block->storage = zeroedStorage(nBytes);
    block->pointer = reinterpret_cast<char*>(block->storage.get());
    block->size = nBytes;
    GSHandle handle = &block->pointer;
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    t.blocks.emplace(handle, std::move(block));
    return handle;
}

GSHandle BMReallocHandle(GSHandle handle, GSSize newBytes, GSFlags, GSSize) {
    if (host::detail::enterAnyThread("BMReallocHandle"))
        return nullptr;
    if (newBytes < 0 || newBytes > kLargestBlock)
        return nullptr;
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.blocks.find(handle);
    if (it == t.blocks.end())
        return nullptr;
    Block& block = *it->second;
    auto storage = zeroedStorage(newBytes);
    std::memcpy(storage.get(), block.storage.get(),
                static_cast<std::size_t>(std::min(block.size, newBytes)));
    block.storage = std::move(storage);
    block.pointer = reinterpret_cast<char*>(block.storage.get());
    block.size = newBytes;
    return handle;
}

GSSize BMGetHandleSize(GSConstHandle handle) {
    if (handle == nullptr)
        return 0;
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.blocks.find(handle);
    return it == t.blocks.end() ? 0 : it->second->size;
}

void BMKillHandle(GSHandle* handle) {
    if (handle == nullptr || *handle == nullptr)
        return;
    auto& t = table();
    {
        const std::lock_guard lock(t.mutex);
        t.blocks.erase(*handle);
    }
    *handle = nullptr;
}

namespace host {

std::size_t liveHandles() {
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    return t.blocks.size();
}

void installResources(ResourceSet resources, GSResModule module) {
    detail::state().resources[module] = std::move(resources);
}

const ResourceSet& installedResources(GSResModule module) {
    return detail::state().resources[module];
}

}  // namespace host

bool RSGetIndString(GS::UniString* str, GSResID resID, Int32 index, GSResModule resModule) {
    const bool failed = host::detail::enter("RSGetIndString").has_value();
    if (str == nullptr)
        return false;
    *str = GS::UniString();
    if (failed)
        return false;
    const auto& lists = host::detail::state().resources[resModule].stringLists;
    const auto it = lists.find(resID);
    if (it == lists.end() || index < 1 || static_cast<std::size_t>(index) > it->second.size()) {
        return false;
    }
    *str = GS::UniString(it->second[static_cast<std::size_t>(index) - 1]);
    return true;
}

GSHandle RSLoadResource(GSResType resType, GSResModule resModule, GSResID resID) {
    if (host::detail::enter("RSLoadResource"))
        return nullptr;
    const auto& data = host::detail::state().resources[resModule].data;
    const auto it = data.find({resType, resID});
    if (it == data.end())
        return nullptr;
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(it->second.size()));
    if (handle != nullptr && !it->second.empty()) {
        std::memcpy(*handle, it->second.data(), it->second.size());
    }
    return handle;
}
