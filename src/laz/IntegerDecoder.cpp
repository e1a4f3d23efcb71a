#include "laz/IntegerDecoder.h"

#include <bit>
#include <limits>

namespace laz {

IntegerDecoder::IntegerDecoder(std::uint32_t bits, std::uint32_t contexts, std::uint32_t bitsHigh,
                               std::uint32_t range)
    : bitsHigh_(bitsHigh) {
    if (range != 0) {
        // Bits needed for the range, one fewer when it is an exact power of two.
        corrRange_ = range;
        corrBits_ = static_cast<std::uint32_t>(std::bit_width(range - 1));
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

}  // namespace laz
