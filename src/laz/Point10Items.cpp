// Point-wise items of the point formats 0 to 5: the 20-byte core record, GPS time, RGB colour
// and extra bytes, as coded by versions 1 and 2 of the point-wise compressor.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "laz/Bytes.h"
#include "laz/GpsTimeDecoder.h"
#include "laz/IntegerDecoder.h"
#include "laz/ItemDecoder.h"
#include "laz/Median5.h"
#include "laz/ReturnContexts.h"
#include "laz/RgbDecoder.h"

namespace laz {
namespace {

// The core record: x, y, z, intensity, the return byte (return number, number of returns,
// scan direction, edge of flight line), classification, scan angle rank, user data, point
// source.
struct Point10 {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t intensity = 0;
    std::uint8_t returnByte = 0;
    std::uint8_t classification = 0;
    std::uint8_t scanAngle = 0;
    std::uint8_t userData = 0;
    std::uint16_t pointSource = 0;

    void read(const std::uint8_t* p) {
        x = load<std::int32_t>(p);
        y = load<std::int32_t>(p + 4);
        z = load<std::int32_t>(p + 8);
        intensity = load<std::uint16_t>(p + 12);
        returnByte = p[14];
        classification = p[15];
        scanAngle = p[16];
        userData = p[17];
        pointSource = load<std::uint16_t>(p + 18);
    }
    void write(std::uint8_t* p) const {
        store(p, x);
        store(p + 4, y);
        store(p + 8, z);
        store(p + 12, intensity);
        p[14] = returnByte;
        p[15] = classification;
        p[16] = scanAngle;
        p[17] = userData;
        store(p + 18, pointSource);
    }
    std::uint32_t returnNumber() const { return returnByte & 7u; }
    std::uint32_t numberOfReturns() const { return (returnByte >> 3) & 7u; }
    std::uint32_t scanDirection() const { return (returnByte >> 6) & 1u; }
};

// Version 2: a 6-bit mask of changed attributes first; x and y as corrections of the median of
// recent steps of points of the same return kind; z from the last z of the same return level.
class Point10V2 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override {
        last_.read(first);
        last_.intensity = 0;
        lastIntensity_.fill(0);
        for (auto& m : medianX_) {
            m.reset();
        }
        for (auto& m : medianY_) {
            m.reset();
        }
        lastZ_.fill(0);
        changed_.reset();
        intensity_.reset();
        for (auto& m : scanAngle_) {
            m.reset();
        }
        pointSource_.reset();
        returnByte_.reset();
        classification_.reset();
        userData_.reset();
        dx_.reset();
        dy_.reset();
        dz_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        const std::uint32_t changed = dec.decodeSymbol(changed_);
        if (changed & 32) {
            last_.returnByte =
                static_cast<std::uint8_t>(dec.decodeSymbol(returnByte_[last_.returnByte]));
        }
        const std::uint32_t r = last_.returnNumber();
        const std::uint32_t n = last_.numberOfReturns();
        const std::uint32_t m = kReturnMap8[n][r];
        const std::uint32_t l = returnLevel(n, r);
        if (changed & 16) {
            last_.intensity = static_cast<std::uint16_t>(
                intensity_.decode(dec, lastIntensity_[m], m < 3 ? m : 3));
            lastIntensity_[m] = last_.intensity;
        } else {
            last_.intensity = lastIntensity_[m];
        }
        if (changed & 8) {
            last_.classification =
                static_cast<std::uint8_t>(dec.decodeSymbol(classification_[last_.classification]));
        }
        if (changed & 4) {
            const std::uint32_t c = dec.decodeSymbol(scanAngle_[last_.scanDirection()]);
            last_.scanAngle = fold8(static_cast<std::int32_t>(c + last_.scanAngle));
        }
        if (changed & 2) {
            last_.userData = static_cast<std::uint8_t>(dec.decodeSymbol(userData_[last_.userData]));
        }
        if (changed & 1) {
            last_.pointSource =
                static_cast<std::uint16_t>(pointSource_.decode(dec, last_.pointSource));
        }
        decodeXyz(dec, n, m, l);
        last_.write(out);
    }

private:
    void decodeXyz(ArithmeticDecoder& dec, std::uint32_t n, std::uint32_t m, std::uint32_t l) {
        const std::uint32_t single = n == 1 ? 1 : 0;
        std::int32_t diff = dx_.decode(dec, medianX_[m].get(), single);
        last_.x = wrapAdd(last_.x, diff);
        medianX_[m].add(diff);

        std::uint32_t kBits = dx_.k();
        diff = dy_.decode(dec, medianY_[m].get(), single + (kBits < 20 ? (kBits & ~1u) : 20));
        last_.y = wrapAdd(last_.y, diff);
        medianY_[m].add(diff);

        kBits = (dx_.k() + dy_.k()) / 2;
        last_.z = dz_.decode(dec, lastZ_[l], single + (kBits < 18 ? (kBits & ~1u) : 18));
        lastZ_[l] = last_.z;
    }

    Point10 last_;
    std::array<std::uint16_t, 16> lastIntensity_{};
    std::array<Median5, 16> medianX_;
    std::array<Median5, 16> medianY_;
    std::array<std::int32_t, 8> lastZ_{};
    SymbolModel changed_{64};
    IntegerDecoder intensity_{16, 4};
    std::vector<SymbolModel> scanAngle_ = std::vector<SymbolModel>(2, SymbolModel(256));
    IntegerDecoder pointSource_{16};
    SymbolModelTable returnByte_{256, 256};
    SymbolModelTable classification_{256, 256};
    SymbolModelTable userData_{256, 256};
    IntegerDecoder dx_{32, 2};
    IntegerDecoder dy_{32, 22};
    IntegerDecoder dz_{32, 20};
};

class GpsTime11V2 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override { gps_.start(load<std::uint64_t>(first)); }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        store(out, gps_.decode(dec));
    }

private:
    GpsTimeDecoder gps_{true};
};

class Rgb12V2 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override {
        std::memcpy(last_, first, sizeof last_);
        rgb_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        std::uint16_t now[3];
        rgb_.decode(dec, last_, now);
        std::memcpy(last_, now, sizeof last_);
        std::memcpy(out, now, sizeof now);
    }

private:
    std::uint16_t last_[3] = {};
    RgbDecoder rgb_;
};

// Extra bytes: each byte a correction of the same byte of the previous record.
class ByteV2 final : public PointwiseItem {
public:
    explicit ByteV2(std::size_t count) : last_(count), models_(count, SymbolModel(256)) {}
    void start(const std::uint8_t* first) override {
        std::memcpy(last_.data(), first, last_.size());
        for (auto& m : models_) {
            m.reset();
        }
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        for (std::size_t i = 0; i < last_.size(); ++i) {
            last_[i] = fold8(static_cast<std::int32_t>(last_[i] + dec.decodeSymbol(models_[i])));
        }
        std::memcpy(out, last_.data(), last_.size());
    }

private:
    std::vector<std::uint8_t> last_;
    std::vector<SymbolModel> models_;
};

// Version 1: x and y as corrections of the median of the last three steps, z of the last z;
// then a mask of the other attributes that changed.
class Point10V1 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override {
        last_.read(first);
        lastDx_.fill(0);
        lastDy_.fill(0);
        nextDiff_ = 0;
        dx_.reset();
        dy_.reset();
        dz_.reset();
        intensity_.reset();
        scanAngle_.reset();
        pointSource_.reset();
        changed_.reset();
        returnByte_.reset();
        classification_.reset();
        userData_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        const std::int32_t dx = dx_.decode(dec, median3(lastDx_));
        last_.x = wrapAdd(last_.x, dx);
        std::uint32_t kBits = dx_.k();
        const std::int32_t dy = dy_.decode(dec, median3(lastDy_), kBits < 19 ? kBits : 19);
        last_.y = wrapAdd(last_.y, dy);
        kBits = (kBits + dy_.k()) / 2;
        last_.z = dz_.decode(dec, last_.z, kBits < 19 ? kBits : 19);

        const std::uint32_t changed = dec.decodeSymbol(changed_);
        if (changed & 32) {
            last_.intensity = static_cast<std::uint16_t>(intensity_.decode(dec, last_.intensity));
        }
        if (changed & 16) {
            last_.returnByte =
                static_cast<std::uint8_t>(dec.decodeSymbol(returnByte_[last_.returnByte]));
        }
        if (changed & 8) {
            last_.classification =
                static_cast<std::uint8_t>(dec.decodeSymbol(classification_[last_.classification]));
        }
        if (changed & 4) {
            last_.scanAngle = static_cast<std::uint8_t>(
                scanAngle_.decode(dec, last_.scanAngle, kBits < 3 ? 1 : 0));
        }
        if (changed & 2) {
            last_.userData = static_cast<std::uint8_t>(dec.decodeSymbol(userData_[last_.userData]));
        }
        if (changed & 1) {
            last_.pointSource =
                static_cast<std::uint16_t>(pointSource_.decode(dec, last_.pointSource));
        }
        lastDx_[nextDiff_] = dx;
        lastDy_[nextDiff_] = dy;
        nextDiff_ = (nextDiff_ + 1) % 3;
        last_.write(out);
    }

private:
    static std::int32_t median3(const std::array<std::int32_t, 3>& v) {
        return std::max(std::min(v[0], v[1]), std::min(std::max(v[0], v[1]), v[2]));
    }

    Point10 last_;
    std::array<std::int32_t, 3> lastDx_{};
    std::array<std::int32_t, 3> lastDy_{};
    std::size_t nextDiff_ = 0;
    IntegerDecoder dx_{32};
    IntegerDecoder dy_{32, 20};
    IntegerDecoder dz_{32, 20};
    IntegerDecoder intensity_{16};
    IntegerDecoder scanAngle_{8, 2};
    IntegerDecoder pointSource_{16};
    SymbolModel changed_{64};
    SymbolModelTable returnByte_{256, 256};
    SymbolModelTable classification_{256, 256};
    SymbolModelTable userData_{256, 256};
};

// Version 1 GPS time: one sequence, its step predicted by multiples of the last step.
class GpsTime11V1 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override {
        time_ = load<std::uint64_t>(first);
        step_ = 0;
        extremeCount_ = 0;
        multi_.reset();
        zeroDiff_.reset();
        steps_.reset();
    }

    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        if (step_ == 0) {
            const std::uint32_t code = dec.decodeSymbol(zeroDiff_);
            if (code == 1) {
                step_ = steps_.decode(dec, 0, 0);
                advance(step_);
            } else if (code == 2) {
                time_ = dec.readInt64();
            }
        } else {
            const auto multi = static_cast<std::int32_t>(dec.decodeSymbol(multi_));
            if (multi < kMultiMax - 2) {
                advance(decodeStep(dec, multi));
            } else if (multi < kMultiMax - 1) {
                time_ = dec.readInt64();
            }
        }
        store(out, time_);
    }

private:
    static constexpr std::int32_t kMultiMax = 512;

    std::int32_t decodeStep(ArithmeticDecoder& dec, std::int32_t multi) {
        const auto times = [&](std::int32_t m) {
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(m) *
                                             static_cast<std::uint32_t>(step_));
        };
        if (multi == 1) {
            step_ = steps_.decode(dec, step_, 1);
            extremeCount_ = 0;
            return step_;
        }
        std::int32_t diff;
        if (multi == 0) {
            diff = steps_.decode(dec, step_ / 4, 2);
            noteExtremeStep(diff);
        } else if (multi < 10) {
            diff = steps_.decode(dec, times(multi), 3);
        } else if (multi < 50) {
            diff = steps_.decode(dec, times(multi), 4);
        } else {
            diff = steps_.decode(dec, times(multi), 5);
            if (multi == kMultiMax - 3) {
                noteExtremeStep(diff);
            }
        }
        return diff;
    }
    void noteExtremeStep(std::int32_t diff) {
        if (++extremeCount_ > 3) {
            step_ = diff;
            extremeCount_ = 0;
        }
    }
    void advance(std::int32_t diff) {
        time_ += static_cast<std::uint64_t>(static_cast<std::int64_t>(diff));
    }

    std::uint64_t time_ = 0;
    std::int32_t step_ = 0;
    std::int32_t extremeCount_ = 0;
    SymbolModel multi_{kMultiMax};
    SymbolModel zeroDiff_{3};
    IntegerDecoder steps_{32, 6};
};

// Version 1 colour: each changed byte a correction of the same byte of the previous colour.
class Rgb12V1 final : public PointwiseItem {
public:
    void start(const std::uint8_t* first) override {
        std::memcpy(last_, first, sizeof last_);
        changed_.reset();
        bytes_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        const std::uint32_t mask = dec.decodeSymbol(changed_);
        for (std::uint32_t c = 0; c < 3; ++c) {
            std::int32_t lo = last_[c] & 0xFF;
            std::int32_t hi = last_[c] >> 8;
            if (mask & (1u << (2 * c))) {
                lo = bytes_.decode(dec, lo, 2 * c) & 0xFF;
            }
            if (mask & (2u << (2 * c))) {
                hi = bytes_.decode(dec, hi, 2 * c + 1) & 0xFF;
            }
            last_[c] = static_cast<std::uint16_t>(lo | (hi << 8));
        }
        std::memcpy(out, last_, sizeof last_);
    }

private:
    std::uint16_t last_[3] = {};
    SymbolModel changed_{64};
    IntegerDecoder bytes_{8, 6};
};

// Version 1 extra bytes: each byte a correction of the same byte of the previous record.
class ByteV1 final : public PointwiseItem {
public:
    explicit ByteV1(std::size_t count)
        : last_(count), bytes_(8, static_cast<std::uint32_t>(count)) {}
    void start(const std::uint8_t* first) override {
        std::memcpy(last_.data(), first, last_.size());
        bytes_.reset();
    }
    void decode(ArithmeticDecoder& dec, std::uint8_t* out) override {
        for (std::size_t i = 0; i < last_.size(); ++i) {
            last_[i] = static_cast<std::uint8_t>(
                bytes_.decode(dec, last_[i], static_cast<std::uint32_t>(i)));
        }
        std::memcpy(out, last_.data(), last_.size());
    }

private:
    std::vector<std::uint8_t> last_;
    IntegerDecoder bytes_;
};

}  // namespace

std::unique_ptr<PointwiseItem> makePointwiseItem(const LazItem& item) {
    if (item.version != 1 && item.version != 2) {
        return nullptr;
    }
    const bool v2 = item.version == 2;
    switch (item.type) {
        case ItemType::Point10:
            if (item.size != 20) {
                return nullptr;
            }
            return v2 ? std::unique_ptr<PointwiseItem>(std::make_unique<Point10V2>())
                      : std::make_unique<Point10V1>();
        case ItemType::GpsTime11:
            if (item.size != 8) {
                return nullptr;
            }
            return v2 ? std::unique_ptr<PointwiseItem>(std::make_unique<GpsTime11V2>())
                      : std::make_unique<GpsTime11V1>();
        case ItemType::Rgb12:
            if (item.size != 6) {
                return nullptr;
            }
            return v2 ? std::unique_ptr<PointwiseItem>(std::make_unique<Rgb12V2>())
                      : std::make_unique<Rgb12V1>();
        case ItemType::Byte:
            if (item.size == 0) {
                return nullptr;
            }
            return v2 ? std::unique_ptr<PointwiseItem>(std::make_unique<ByteV2>(item.size))
                      : std::make_unique<ByteV1>(item.size);
        default:
            return nullptr;
    }
}

}  // namespace laz
