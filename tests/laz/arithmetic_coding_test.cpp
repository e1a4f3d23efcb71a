// Symbols, bits and integers coded by the test encoder with the same adaptive models decode to
// what was coded. The model sizes and distributions reach every way the decoder finds a symbol:
// the search of small models, the table cell's first and second symbol, the rare walk past them,
// the last symbol, and renormalisations of one byte and of several.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "laz/ArithmeticDecoder.h"
#include "laz/IntegerDecoder.h"
#include "support/LazChunks.h"

namespace {

enum class Spread {
    Uniform,   // every symbol alike: many narrow symbols a cell
    Skewed,    // halving probabilities: one wide symbol, long tail
    LastOnly,  // nearly always the last symbol
    Spikes,    // a few likely symbols far apart among rare ones: walks past the second symbol
};

std::vector<double> weights(std::uint32_t symbols, Spread spread) {
    std::vector<double> w(symbols, 1.0);
    for (std::uint32_t s = 0; s < symbols; ++s) {
        switch (spread) {
            case Spread::Uniform:
                break;
            case Spread::Skewed:
                w[s] = std::ldexp(1.0, -static_cast<int>(std::min<std::uint32_t>(s, 60)));
                break;
            case Spread::LastOnly:
                w[s] = s + 1 == symbols ? 1000.0 * symbols : 1.0;
                break;
            case Spread::Spikes:
                w[s] = s % 7 == 3 ? 200.0 : 1.0;
                break;
        }
    }
    return w;
}

struct Step {
    std::uint32_t symbol;
    std::uint32_t bit;
    std::uint32_t rawBits;  // 0: none this step
    std::uint32_t raw;
};

// Symbols of the given spread, with a modelled bit and, at every fifth step, 1 to 32 raw bits.
std::vector<Step> script(std::uint32_t symbols, Spread spread, std::size_t steps) {
    std::mt19937 random(symbols * 7 + static_cast<std::uint32_t>(spread));
    const std::vector<double> w = weights(symbols, spread);
    std::discrete_distribution<std::uint32_t> pick(w.begin(), w.end());
    std::vector<Step> out;
    for (std::size_t i = 0; i < steps; ++i) {
        const auto rawBits = static_cast<std::uint32_t>(i % 5 == 0 ? 1 + (i / 5) % 32 : 0);
        const std::uint32_t raw =
            rawBits == 0 ? 0 : static_cast<std::uint32_t>(random() >> (32 - rawBits));
        out.push_back({pick(random), (random() % 8 == 0) ? 1u : 0u, rawBits, raw});
    }
    return out;
}

struct SymbolCase {
    std::uint32_t symbols;
    Spread spread;
};

class SymbolRoundTrip : public ::testing::TestWithParam<SymbolCase> {};

TEST_P(SymbolRoundTrip, DecodesWhatWasCoded) {
    const auto [symbols, spread] = GetParam();
    const std::vector<Step> steps = script(symbols, spread, 20000);

    laz::ArithmeticEncoder enc;
    laz::SymbolModel encSymbols(symbols);
    laz::BitModel encBits;
    for (const Step& s : steps) {
        enc.encodeSymbol(encSymbols, s.symbol);
        enc.encodeBit(encBits, s.bit);
        if (s.rawBits != 0) {
            enc.writeBits(s.rawBits, s.raw);
        }
    }
    const std::vector<std::uint8_t> bytes = enc.finish();

    laz::ArithmeticDecoder dec;
    dec.start(bytes.data(), bytes.data() + bytes.size());
    laz::SymbolModel decSymbols(symbols);
    laz::BitModel decBits;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        ASSERT_EQ(dec.decodeSymbol(decSymbols), steps[i].symbol) << "step " << i;
        ASSERT_EQ(dec.decodeBit(decBits), steps[i].bit) << "step " << i;
        if (steps[i].rawBits != 0) {
            ASSERT_EQ(dec.readBits(steps[i].rawBits), steps[i].raw) << "step " << i;
        }
    }
    EXPECT_FALSE(dec.exhausted());
}

std::string caseName(const ::testing::TestParamInfo<SymbolCase>& info) {
    static const char* const kSpread[] = {"Uniform", "Skewed", "LastOnly", "Spikes"};
    return "Symbols" + std::to_string(info.param.symbols) +
           kSpread[static_cast<int>(info.param.spread)];
}

INSTANTIATE_TEST_SUITE_P(
    Models, SymbolRoundTrip,
    ::testing::Values(SymbolCase{2, Spread::Skewed}, SymbolCase{3, Spread::LastOnly},
                      SymbolCase{16, Spread::Uniform}, SymbolCase{17, Spread::Uniform},
                      SymbolCase{17, Spread::LastOnly}, SymbolCase{33, Spread::Skewed},
                      SymbolCase{33, Spread::Spikes}, SymbolCase{256, Spread::Uniform},
                      SymbolCase{256, Spread::Skewed}, SymbolCase{256, Spread::Spikes},
                      SymbolCase{517, Spread::LastOnly}, SymbolCase{2048, Spread::Uniform},
                      SymbolCase{2048, Spread::Spikes}),
    caseName);

// Corrections of every width, the extremes of 32 bits included, in two contexts.
TEST(IntegerRoundTrip, EveryCorrectionWidthDecodesToItsValue) {
    std::vector<std::int32_t> values;
    std::int32_t pred = 0;
    for (int k = 0; k <= 31; ++k) {
        for (const std::int64_t step : {std::int64_t{1} << k, -(std::int64_t{1} << k)}) {
            values.push_back(static_cast<std::int32_t>(pred + step));
            values.push_back(static_cast<std::int32_t>(pred + step + 1));
            pred = values.back();
        }
    }
    values.push_back(std::numeric_limits<std::int32_t>::min());
    values.push_back(std::numeric_limits<std::int32_t>::max());
    values.push_back(std::numeric_limits<std::int32_t>::min());  // a correction of -2^31
    values.push_back(0);

    laz::ArithmeticEncoder enc;
    laz::IntegerEncoder ints(2);
    std::int32_t last = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        ints.encode(enc, last, values[i], static_cast<std::uint32_t>(i % 2));
        last = values[i];
    }
    const std::vector<std::uint8_t> bytes = enc.finish();

    laz::ArithmeticDecoder dec;
    dec.start(bytes.data(), bytes.data() + bytes.size());
    laz::IntegerDecoder decoder(32, 2);
    last = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        last = decoder.decode(dec, last, static_cast<std::uint32_t>(i % 2));
        ASSERT_EQ(last, values[i]) << "value " << i;
    }
    EXPECT_FALSE(dec.exhausted());
}

}  // namespace
