// Point-wise items of the point formats 0 to 5: the 20-byte core record, GPS time, RGB colour
// and extra bytes, as coded by version 2 of the point-wise compressor.

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

}  // namespace

std::unique_ptr<PointwiseItem> makePointwiseItem(const LazItem& item) {
    if (item.version != 2) {
        return nullptr;
    }
    switch (item.type) {
        case ItemType::Point10:
            return item.size == 20 ? std::make_unique<Point10V2>() : nullptr;
        case ItemType::GpsTime11:
            return item.size == 8 ? std::make_unique<GpsTime11V2>() : nullptr;
        case ItemType::Rgb12:
            return item.size == 6 ? std::make_unique<Rgb12V2>() : nullptr;
        case ItemType::Byte:
            return item.size > 0 ? std::make_unique<ByteV2>(item.size) : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace laz
