#pragma once
// Fixed-size integer names, error codes and handle types of the host runtime.

#include <cstdint>

using Int8 = std::int8_t;
using UInt8 = std::uint8_t;
using Int16 = std::int16_t;
using UInt16 = std::uint16_t;
using Int32 = std::int32_t;
using UInt32 = std::uint32_t;
using Int64 = std::int64_t;
using UInt64 = std::uint64_t;

using GSErrCode = Int32;
using GSFlags = UInt32;
using GSSize = Int64;

// A memory handle: a pointer to the (movable) pointer of a block. See BM.h.
using GSHandle = char**;
using GSConstHandle = const char* const*;
using GSPtr = char*;

// Resources: a module is a number, a resource type is four characters packed big-endian.
using GSResModule = Int32;
using GSResID = Int16;
using GSResType = UInt32;

inline constexpr GSErrCode NoError = 0;

namespace GS {
using IntPtr = std::intptr_t;
using UIntPtr = std::uintptr_t;
using USize = UInt32;
}  // namespace GS
