#pragma once
// Memory handles: a handle points at the pointer of a block, so that a block can move when it is
// resized while the handle stays the same. Blocks are zero-filled and aligned for any type. These
// calls may be made from any thread.

#include "GSTypes.h"

inline constexpr GSFlags ALLOCATE_CLEAR = 0x2;

// A new block of nBytes, or null when it cannot be had.
GSHandle BMAllocateHandle(GSSize nBytes, GSFlags flags = ALLOCATE_CLEAR, GSSize reserved = 0);
// Resizes the block; new bytes are zero. Returns the handle, or null (block unchanged) on failure.
GSHandle BMReallocHandle(GSHandle handle, GSSize newBytes, GSFlags flags = ALLOCATE_CLEAR,
                         GSSize reserved = 0);
// Size of the block in bytes; 0 for a null or unknown handle.
GSSize BMGetHandleSize(GSConstHandle handle);
// Frees the block and sets *handle to null; a null handle is accepted.
void BMKillHandle(GSHandle* handle);

// Typed convenience over the above: (*handle)[i] addresses entry i.
template <class T>
T** BMAllocateTypedHandle(GSSize count) {
    return reinterpret_cast<T**>(BMAllocateHandle(count * GSSize(sizeof(T))));
}
template <class T>
void BMKillTypedHandle(T**& handle) {
    GSHandle raw = reinterpret_cast<GSHandle>(handle);
    BMKillHandle(&raw);
    handle = nullptr;
}
template <class T>
GSSize BMGetTypedCount(T** handle) {
    return BMGetHandleSize(reinterpret_cast<GSConstHandle>(handle)) / GSSize(sizeof(T));
}
