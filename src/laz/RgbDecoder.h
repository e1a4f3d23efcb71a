#pragma once
// Colour of a point as corrections of the previous colour: a 7-bit mask names the bytes that
// changed (low and high byte of red, green, blue, and whether the colour is not a grey); green
// and blue are predicted from the previous value moved by red's change.

#include <cstdint>
#include <vector>

#include "laz/ArithmeticDecoder.h"
#include "laz/Bytes.h"

namespace laz {

class RgbDecoder {
public:
    void reset() {
        changed_.reset();
        for (auto& m : diff_) {
            m.reset();
        }
    }

    // last and out: red, green, blue as 16-bit values.
    void decode(ArithmeticDecoder& dec, const std::uint16_t* last, std::uint16_t* out) {
        const std::uint32_t mask = dec.decodeSymbol(changed_);
        auto lo = [](std::uint16_t v) { return static_cast<std::int32_t>(v & 0xFF); };
        auto hi = [](std::uint16_t v) { return static_cast<std::int32_t>(v >> 8); };

        const std::int32_t r0 = (mask & 1) ? fold8(correction(dec, 0) + lo(last[0])) : lo(last[0]);
        const std::int32_t r1 = (mask & 2) ? fold8(correction(dec, 1) + hi(last[0])) : hi(last[0]);
        out[0] = static_cast<std::uint16_t>(r0 | (r1 << 8));
        if ((mask & 64) == 0) {
            out[1] = out[2] = out[0];
            return;
        }
        std::int32_t d = r0 - lo(last[0]);
        const std::int32_t g0 =
            (mask & 4) ? fold8(correction(dec, 2) + clamp8(d + lo(last[1]))) : lo(last[1]);
        std::int32_t b0 = lo(last[2]);
        if (mask & 16) {
            d = (d + g0 - lo(last[1])) / 2;
            b0 = fold8(correction(dec, 4) + clamp8(d + lo(last[2])));
        }
        d = r1 - hi(last[0]);
        const std::int32_t g1 =
            (mask & 8) ? fold8(correction(dec, 3) + clamp8(d + hi(last[1]))) : hi(last[1]);
        std::int32_t b1 = hi(last[2]);
        if (mask & 32) {
            d = (d + g1 - hi(last[1])) / 2;
            b1 = fold8(correction(dec, 5) + clamp8(d + hi(last[2])));
        }
        out[1] = static_cast<std::uint16_t>(g0 | (g1 << 8));
        out[2] = static_cast<std::uint16_t>(b0 | (b1 << 8));
    }

private:
    std::int32_t correction(ArithmeticDecoder& dec, int byte) {
        return static_cast<std::int32_t>(dec.decodeSymbol(diff_[static_cast<std::size_t>(byte)]));
    }

    SymbolModel changed_{128};
    std::vector<SymbolModel> diff_ = std::vector<SymbolModel>(6, SymbolModel(256));
};

}  // namespace laz
