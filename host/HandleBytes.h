#pragma once
// Memory handles as blocks of bytes, and plain values written into and read back from such
// blocks: how the stand-in keeps memos and encodes morph bodies and drawing data. Not for add-on
// code.

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

#include "BM.h"

namespace host::detail {

// The bytes of the handle's block; empty for a null handle.
inline std::string bytesOf(GSConstHandle handle) {
    if (handle == nullptr)
        return {};
    return std::string(*handle, static_cast<std::size_t>(BMGetHandleSize(handle)));
}

// A new handle holding the bytes, or null when none can be had.
inline GSHandle handleOf(const std::string& bytes) {
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(bytes.size()));
    if (handle != nullptr && !bytes.empty())
        std::memcpy(*handle, bytes.data(), bytes.size());
    return handle;
}

template <class T>
void put(std::string& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads the value at `at` and moves past it; false (nothing read) when the bytes end before it.
template <class T>
bool take(const std::string& in, std::size_t& at, T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (at > in.size() || in.size() - at < sizeof value)
        return false;
    std::memcpy(&value, in.data() + at, sizeof value);
    at += sizeof value;
    return true;
}

}  // namespace host::detail
