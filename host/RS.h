#pragma once
// The add-on's resources: string lists and typed data blocks, by module and id.

#include "GSRoot.h"

// The four-character resource type as one number: RSType("DATA").
constexpr GSResType RSType(const char (&code)[5]) {
    return (GSResType(UInt8(code[0])) << 24) | (GSResType(UInt8(code[1])) << 16) |
           (GSResType(UInt8(code[2])) << 8) | GSResType(UInt8(code[3]));
}
inline constexpr GSResType RSTypeData = RSType("DATA");

// Item index (1-based) of string list resID; false, and str emptied, when there is none.
bool RSGetIndString(GS::UniString* str, GSResID resID, Int32 index, GSResModule resModule);

// A new handle with a copy of the resource's bytes, or null when there is none. The caller
// frees it with BMKillHandle.
GSHandle RSLoadResource(GSResType resType, GSResModule resModule, GSResID resID);
