#pragma once
// Integers coded as a correction of a prediction: first the number of significant bits k of the
// correction (one adaptive model per caller-chosen context), then the correction itself within
// its k-bit band, its high bits modelled and any low bits beyond `bitsHigh` taken raw. The
// result wraps into the value range of `bits` bits.

#include <cstdint>
#include <vector>

#include "laz/ArithmeticDecoder.h"

namespace laz {

class IntegerDecoder {
public:
    explicit IntegerDecoder(std::uint32_t bits = 16, std::uint32_t contexts = 1,
                            std::uint32_t bitsHigh = 8, std::uint32_t range = 0);

    // Returns every model to its initial state (at the start of a chunk).
    void reset();

    std::int32_t decode(ArithmeticDecoder& dec, std::int32_t pred, std::uint32_t context = 0);

    // Significant bits of the last correction; neighbouring fields use it as their context.
    std::uint32_t k() const { return k_; }

private:
    std::int32_t readCorrector(ArithmeticDecoder& dec, SymbolModel& bitsModel);

    std::uint32_t corrBits_ = 0;
    std::uint32_t corrRange_ = 0;
    std::int32_t corrMin_ = 0;
    std::uint32_t bitsHigh_;
    std::uint32_t k_ = 0;
    std::vector<SymbolModel> bitsModels_;  // one per context
    BitModel corrector0_;                  // k = 0: the correction is 0 or 1
    std::vector<SymbolModel> correctors_;  // index k - 1 for k = 1 .. corrBits_
};

// ---- hot path, inline: coordinates and times are mostly corrections ----

inline std::int32_t IntegerDecoder::decode(ArithmeticDecoder& dec, std::int32_t pred,
                                           std::uint32_t context) {
    // Wrapping arithmetic: a damaged stream must not overflow a signed integer.
    std::uint32_t real = static_cast<std::uint32_t>(pred) +
                         static_cast<std::uint32_t>(readCorrector(dec, bitsModels_[context]));
    if (corrRange_ != 0) {
        const auto s = static_cast<std::int32_t>(real);
        if (s < 0) {
            real += corrRange_;
        } else if (real >= corrRange_) {
            real -= corrRange_;
        }
    }
    return static_cast<std::int32_t>(real);
}

inline std::int32_t IntegerDecoder::readCorrector(ArithmeticDecoder& dec, SymbolModel& bitsModel) {
    k_ = dec.decodeSymbol(bitsModel);
    if (k_ == 0) {
        return static_cast<std::int32_t>(dec.decodeBit(corrector0_));
    }
    if (k_ >= 32) {
        return corrMin_;
    }
    std::int64_t c;
    if (k_ <= bitsHigh_) {
        c = dec.decodeSymbol(correctors_[k_ - 1]);
    } else {
        const std::uint32_t lowBits = k_ - bitsHigh_;
        const std::uint64_t high = dec.decodeSymbol(correctors_[k_ - 1]);
        c = static_cast<std::int64_t>((high << lowBits) | dec.readBits(lowBits));
    }
    // Band k holds the corrections [-(2^k - 1), -2^(k-1)] and [2^(k-1) + 1, 2^k].
    // The sign is the top bit of the band: worked out, not branched on, as it is a coin toss.
    const std::int64_t below = c < (std::int64_t{1} << (k_ - 1)) ? 1 : 0;
    return static_cast<std::int32_t>(c + 1 - (below << k_));
}

}  // namespace laz
