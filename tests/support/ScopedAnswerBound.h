#pragma once
// Lowers the memory bound of net::request for the life of the object, so that a test can go past
// it without sending half a gigabyte; the default comes back afterwards:
//   loopback::ScopedAnswerBound bound(64 * 1024);
// Header-only: only test programs that link the geodata library include it.

#include <cstdint>

#include "geodata/Net.h"

namespace loopback {

class ScopedAnswerBound {
public:
    explicit ScopedAnswerBound(int64_t bytes) { net::setMaxAnswerBytes(bytes); }
    ~ScopedAnswerBound() { net::setMaxAnswerBytes(0); }
    ScopedAnswerBound(const ScopedAnswerBound&) = delete;
    ScopedAnswerBound& operator=(const ScopedAnswerBound&) = delete;
};

}  // namespace loopback
