#include "laz/IntegerDecoder.h"

#include <limits>

namespace laz {

IntegerDecoder::IntegerDecoder(std::uint32_t bits, std::uint32_t contexts, std::uint32_t bitsHigh,
                               std::uint32_t range)
    : bitsHigh_(bitsHigh) {
    if (range != 0) {
        // Bits needed for the range, one fewer when it is an exact power of two.
        corrRange_ = range;
        for (std::uint32_t r = range; r != 0; r >>= 1) {
            ++corrBits_;
        }
        if (corrRange_ == (1u << (corrBits_ - 1))) {
            --corrBits_;
        }
        corrMin_ = -static_cast<std::int32_t>(corrRange_ / 2);
    } else if (bits > 0 && bits < 32) {
        corrBits_ = bits;
        corrRange_ = 1u << bits;
        corrMin_ = -static_cast<std::int32_t>(corrRange_ / 2);
    } else {
        corrBits_ = 32;
        corrRange_ = 0;
        corrMin_ = std::numeric_limits<std::int32_t>::min();
    }
    bitsModels_.assign(contexts, SymbolModel(corrBits_ + 1));
    correctors_.reserve(corrBits_);
    for (std::uint32_t i = 1; i <= corrBits_; ++i) {
        correctors_.emplace_back(1u << std::min(i, bitsHigh_));
    }
}

void IntegerDecoder::reset() {
    for (auto& m : bitsModels_) {
        m.reset();
    }
    corrector0_.reset();
    for (auto& m : correctors_) {
        m.reset();
    }
    k_ = 0;
}

std::int32_t IntegerDecoder::decode(ArithmeticDecoder& dec, std::int32_t pred,
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

std::int32_t IntegerDecoder::readCorrector(ArithmeticDecoder& dec, SymbolModel& bitsModel) {
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
    const std::int64_t half = std::int64_t{1} << (k_ - 1);
    c = c >= half ? c + 1 : c - (2 * half - 1);
    return static_cast<std::int32_t>(c);
}

}  // namespace laz
