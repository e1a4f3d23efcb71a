#pragma once
// An element memo whose handles are released however its use ends.

#include "ACAPinc.h"

class MemoGuard {
public:
    MemoGuard() = default;
    MemoGuard(const MemoGuard&) = delete;
    MemoGuard& operator=(const MemoGuard&) = delete;
    ~MemoGuard() { ACAPI_DisposeElemMemoHdls(&memo_); }
    API_ElementMemo* get() { return &memo_; }
    const API_ElementMemo& operator*() const { return memo_; }

private:
    API_ElementMemo memo_{};
};
