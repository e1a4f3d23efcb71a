#pragma once
// GPS times predicted from up to four interleaved sequences (as from alternating flight lines):
// each sequence keeps its last time and its typical 32-bit step; a coded multiplier says how
// many steps the next time lies ahead (or behind), when a sequence switch happens, or when a
// full 64-bit time starts a new sequence.

#include <cstdint>

#include "laz/ArithmeticDecoder.h"
#include "laz/IntegerDecoder.h"

namespace laz {

class GpsTimeDecoder {
public:
    // unchangedCode: the point-wise coding has a code for "time unchanged"; the layered one
    // flags an unchanged time outside this decoder.
    explicit GpsTimeDecoder(bool unchangedCode);

    // Models afresh, the first time of the chunk as the one live sequence (its raw bits).
    void start(std::uint64_t firstBits);
    // The raw bits of the next time.
    std::uint64_t decode(ArithmeticDecoder& dec);

private:
    bool decodeAfterZeroStep(ArithmeticDecoder& dec);
    bool decodeAfterStep(ArithmeticDecoder& dec);
    void startSequence(ArithmeticDecoder& dec);
    void noteExtremeStep(std::int32_t step);

    std::int32_t unchanged_;
    std::int32_t codeFull_;
    SymbolModel multi_;
    SymbolModel zeroDiff_;
    IntegerDecoder steps_;
    std::uint32_t last_ = 0;
    std::uint32_t next_ = 0;
    std::uint64_t time_[4] = {};
    std::int32_t step_[4] = {};
    std::int32_t extremeCount_[4] = {};
};

}  // namespace laz
