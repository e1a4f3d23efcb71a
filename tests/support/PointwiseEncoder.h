#pragma once
// Writes point-wise LAZ files of point format 1 (the 20-byte core record and GPS time, version 2
// of the point-wise compressor) from given records, so that benchmarks and tests have long
// files of real points in that format. The encoders mirror the decoders step by step and use
// their models, contexts and tables: a round trip shows that they agree, not that either is
// right; the shared samples and their independently decoded records do that.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "builders/LasBuilder.h"
#include "laz/Median5.h"
#include "laz/ReturnContexts.h"
#include "support/LazChunks.h"

namespace laz {

// The 20-byte core record, as Point10V2 decodes it.
class Point10Encoder {
public:
    explicit Point10Encoder(const std::uint8_t* first) { std::memcpy(last_, first, sizeof last_); }

    void encode(ArithmeticEncoder& enc, const std::uint8_t* p) {
        const std::uint32_t n = (p[14] >> 3) & 7u;
        const std::uint32_t r = p[14] & 7u;
        const std::uint32_t m = kReturnMap8[n][r];
        const std::uint32_t l = returnLevel(n, r);
        const auto intensity = field<std::uint16_t>(p, 12);
        const std::uint32_t changed =
            (p[14] != last_[14] ? 32u : 0u) | (intensity != lastIntensity_[m] ? 16u : 0u) |
            (p[15] != last_[15] ? 8u : 0u) | (p[16] != last_[16] ? 4u : 0u) |
            (p[17] != last_[17] ? 2u : 0u) |
            (field<std::uint16_t>(p, 18) != field<std::uint16_t>(last_, 18) ? 1u : 0u);
        enc.encodeSymbol(changed_, changed);
        if (changed & 32) {
            enc.encodeSymbol(returnByte_[last_[14]], p[14]);
        }
        if (changed & 16) {
            intensity_.encode(enc, lastIntensity_[m], intensity, m < 3 ? m : 3);
            lastIntensity_[m] = intensity;
        }
        if (changed & 8) {
            enc.encodeSymbol(classification_[last_[15]], p[15]);
        }
        if (changed & 4) {
            enc.encodeSymbol(scanAngle_[(p[14] >> 6) & 1u], (p[16] - last_[16]) & 0xFFu);
        }
        if (changed & 2) {
            enc.encodeSymbol(userData_[last_[17]], p[17]);
        }
        if (changed & 1) {
            pointSource_.encode(enc, field<std::uint16_t>(last_, 18), field<std::uint16_t>(p, 18),
                                0);
        }
        encodeXyz(enc, p, n == 1 ? 1 : 0, m, l);
        std::memcpy(last_, p, sizeof last_);
    }

private:
    template <typename T>
    static std::int32_t field(const std::uint8_t* p, std::size_t at) {
        T v;
        std::memcpy(&v, p + at, sizeof v);
        return v;
    }

    void encodeXyz(ArithmeticEncoder& enc, const std::uint8_t* p, std::uint32_t single,
                   std::uint32_t m, std::uint32_t l) {
        const auto step = [&](std::size_t at) {
            return static_cast<std::int32_t>(
                static_cast<std::uint32_t>(field<std::int32_t>(p, at)) -
                static_cast<std::uint32_t>(field<std::int32_t>(last_, at)));
        };
        const std::int32_t dx = step(0);
        dx_.encode(enc, medianX_[m].get(), dx, single);
        medianX_[m].add(dx);
        const std::uint32_t kx = dx_.k();
        const std::int32_t dy = step(4);
        dy_.encode(enc, medianY_[m].get(), dy, single + (kx < 20 ? (kx & ~1u) : 20));
        medianY_[m].add(dy);
        const std::uint32_t kxy = (dx_.k() + dy_.k()) / 2;
        const std::int32_t z = field<std::int32_t>(p, 8);
        dz_.encode(enc, lastZ_[l], z, single + (kxy < 18 ? (kxy & ~1u) : 18));
        lastZ_[l] = z;
    }

    std::uint8_t last_[20] = {};
    std::int32_t lastIntensity_[16] = {};
    Median5 medianX_[16];
    Median5 medianY_[16];
    std::int32_t lastZ_[8] = {};
    SymbolModel changed_{64};
    IntegerEncoder intensity_{16, 4};
    std::vector<SymbolModel> scanAngle_ = std::vector<SymbolModel>(2, SymbolModel(256));
    IntegerEncoder pointSource_{16, 1};
    std::vector<SymbolModel> returnByte_ = std::vector<SymbolModel>(256, SymbolModel(256));
    std::vector<SymbolModel> classification_ = std::vector<SymbolModel>(256, SymbolModel(256));
    std::vector<SymbolModel> userData_ = std::vector<SymbolModel>(256, SymbolModel(256));
    IntegerEncoder dx_{32, 2};
    IntegerEncoder dy_{32, 22};
    IntegerEncoder dz_{32, 20};
};

// GPS time, as GpsTimeDecoder decodes it with the point-wise "unchanged" code: a time a whole
// number of steps from the current sequence's last one is coded as that multiple, corrected;
// one out of 32-bit reach of it moves to another sequence within reach, or starts a new one.
class GpsTimeEncoder {
public:
    explicit GpsTimeEncoder(std::uint64_t first) { time_[0] = first; }

    void encode(ArithmeticEncoder& enc, std::uint64_t t) {
        while (!encodeFrom(enc, t)) {
        }
    }

private:
    static constexpr std::int32_t kMulti = 500;
    static constexpr std::int32_t kMultiMinus = -10;
    static constexpr std::uint32_t kUnchanged = kMulti - kMultiMinus + 1;
    static constexpr std::uint32_t kFull = kUnchanged + 1;

    static bool within32(std::uint64_t t, std::uint64_t from) {
        const auto d = static_cast<std::int64_t>(t - from);
        return d >= INT32_MIN && d <= INT32_MAX;
    }
    static std::int32_t times(std::int64_t m, std::int32_t step) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(m) *
                                         static_cast<std::uint32_t>(step));
    }

    // False after a switch to another sequence, from which `t` is then coded.
    bool encodeFrom(ArithmeticEncoder& enc, std::uint64_t t) {
        const bool zeroStep = step_[last_] == 0;
        if (t == time_[last_]) {
            enc.encodeSymbol(zeroStep ? zeroDiff_ : multi_, zeroStep ? 0 : kUnchanged);
            return true;
        }
        if (within32(t, time_[last_])) {
            const auto d = static_cast<std::int32_t>(t - time_[last_]);
            if (zeroStep) {
                enc.encodeSymbol(zeroDiff_, 1);
                steps_.encode(enc, 0, d, 0);
                step_[last_] = d;
                extremeCount_[last_] = 0;
            } else {
                encodeStep(enc, d);
            }
            time_[last_] = t;
            return true;
        }
        for (std::uint32_t i = 1; i < 4; ++i) {
            if (within32(t, time_[(last_ + i) & 3])) {
                enc.encodeSymbol(zeroStep ? zeroDiff_ : multi_, zeroStep ? i + 2 : kFull + i);
                last_ = (last_ + i) & 3;
                return false;
            }
        }
        enc.encodeSymbol(zeroStep ? zeroDiff_ : multi_, zeroStep ? 2 : kFull);
        steps_.encode(enc, static_cast<std::int32_t>(time_[last_] >> 32),
                      static_cast<std::int32_t>(t >> 32), 8);
        enc.writeBits(16, static_cast<std::uint32_t>(t & 0xFFFFu));
        enc.writeBits(16, static_cast<std::uint32_t>((t >> 16) & 0xFFFFu));
        next_ = (next_ + 1) & 3;
        last_ = next_;
        time_[last_] = t;
        step_[last_] = 0;
        extremeCount_[last_] = 0;
        return true;
    }

    // A difference from a sequence with a step: the nearest multiple of the step.
    void encodeStep(ArithmeticEncoder& enc, std::int32_t d) {
        const std::int32_t step = step_[last_];
        const auto multi = static_cast<std::int64_t>(std::llround(static_cast<double>(d) / step));
        if (multi == 1) {
            enc.encodeSymbol(multi_, 1);
            steps_.encode(enc, step, d, 1);
            extremeCount_[last_] = 0;
        } else if (multi == 0) {
            enc.encodeSymbol(multi_, 0);
            steps_.encode(enc, 0, d, 7);
            noteExtremeStep(d);
        } else if (multi > 1 && multi < kMulti) {
            enc.encodeSymbol(multi_, static_cast<std::uint32_t>(multi));
            steps_.encode(enc, times(multi, step), d, multi < 10 ? 2 : 3);
        } else if (multi >= kMulti) {
            enc.encodeSymbol(multi_, kMulti);
            steps_.encode(enc, times(kMulti, step), d, 4);
            noteExtremeStep(d);
        } else if (multi > kMultiMinus) {
            enc.encodeSymbol(multi_, static_cast<std::uint32_t>(kMulti - multi));
            steps_.encode(enc, times(multi, step), d, 5);
        } else {
            enc.encodeSymbol(multi_, kMulti - kMultiMinus);
            steps_.encode(enc, times(kMultiMinus, step), d, 6);
            noteExtremeStep(d);
        }
    }
    void noteExtremeStep(std::int32_t d) {
        if (++extremeCount_[last_] > 3) {
            step_[last_] = d;
            extremeCount_[last_] = 0;
        }
    }

    SymbolModel multi_{kFull + 4};
    SymbolModel zeroDiff_{6};
    IntegerEncoder steps_{32, 9};
    std::uint32_t last_ = 0;
    std::uint32_t next_ = 0;
    std::uint64_t time_[4] = {};
    std::int32_t step_[4] = {};
    std::int32_t extremeCount_[4] = {};
};

}  // namespace laz

namespace fixtures {

// One chunk of format 1 records (28 bytes each): the first stored raw, the others coded.
inline LazChunk format1Chunk(const std::uint8_t* records, std::size_t count) {
    constexpr std::size_t kLength = 28;
    laz::ArithmeticEncoder enc;
    laz::Point10Encoder core(records);
    std::uint64_t firstTime;
    std::memcpy(&firstTime, records + 20, 8);
    laz::GpsTimeEncoder time(firstTime);
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint8_t* p = records + i * kLength;
        core.encode(enc, p);
        std::uint64_t t;
        std::memcpy(&t, p + 20, 8);
        time.encode(enc, t);
    }
    const std::vector<std::uint8_t> coded = enc.finish();
    LazChunk chunk{std::string(reinterpret_cast<const char*>(records), kLength), count};
    chunk.bytes.append(reinterpret_cast<const char*>(coded.data()), coded.size());
    return chunk;
}

// Writes to `to` a LAS 1.2 file of point format 1 holding `records` (28 bytes each, in order),
// compressed point-wise in chunks of the given numbers of points, the chunks repeated `times`
// times; false when the chunks hold more points than there are records.
inline bool writeFormat1Laz(const std::string& to, const std::vector<std::uint8_t>& records,
                            const std::vector<std::size_t>& chunkPoints, int times = 1) {
    constexpr std::size_t kLength = 28;
    std::size_t first = 0;
    std::vector<LazChunk> chunks;
    for (const std::size_t points : chunkPoints) {
        if ((first + points) * kLength > records.size()) {
            return false;
        }
        chunks.push_back(format1Chunk(records.data() + first * kLength, points));
        first += points;
    }
    LasSpec spec;
    spec.pointFormat = 1;
    spec.recordLength = kLength;
    spec.compressed = true;
    spec.declaredCount = first;
    spec.lazRecord = lazRecordPayload(2, laz::LazInfo::kVariableChunks, {{6, 20, 2}, {7, 8, 2}});
    return writeChunkedLaz(to, buildLas(spec, {}), 2, chunks, times);
}

// The same in chunks of `chunkPoints` each, the last one shorter.
inline bool writeFormat1Laz(const std::string& to, const std::vector<std::uint8_t>& records,
                            std::size_t chunkPoints, int times = 1) {
    const std::size_t count = records.size() / 28;
    std::vector<std::size_t> sizes;
    for (std::size_t first = 0; first < count; first += chunkPoints) {
        sizes.push_back(std::min(chunkPoints, count - first));
    }
    return writeFormat1Laz(to, records, sizes, times);
}

}  // namespace fixtures
