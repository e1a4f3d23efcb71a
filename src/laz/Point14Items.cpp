// Layered items of the point formats 6 to 8: the 30-byte core record, RGB (with or without
// near infrared) and extra bytes. Every field group is coded in a layer of its own, and every
// scanner channel keeps its own models and previous record (its context).

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

constexpr std::uint32_t kChannels = 4;

struct Point14 {
    std::int32_t x = 0, y = 0, z = 0;
    std::uint16_t intensity = 0;
    std::uint32_t returnNumber = 0, numberOfReturns = 0;
    std::uint32_t classFlags = 0, scannerChannel = 0, scanDirection = 0, edge = 0;
    std::uint8_t classification = 0;
    std::uint8_t userData = 0;
    std::int16_t scanAngle = 0;
    std::uint16_t pointSource = 0;
    std::uint64_t gpsTime = 0;  // raw bits of the double
    bool gpsTimeChanged = false;

    void read(const std::uint8_t* p) {
        x = load<std::int32_t>(p);
        y = load<std::int32_t>(p + 4);
        z = load<std::int32_t>(p + 8);
        intensity = load<std::uint16_t>(p + 12);
        returnNumber = p[14] & 15u;
        numberOfReturns = p[14] >> 4;
        classFlags = p[15] & 15u;
        scannerChannel = (p[15] >> 4) & 3u;
        scanDirection = (p[15] >> 6) & 1u;
        edge = p[15] >> 7;
        classification = p[16];
        userData = p[17];
        scanAngle = load<std::int16_t>(p + 18);
        pointSource = load<std::uint16_t>(p + 20);
        gpsTime = load<std::uint64_t>(p + 22);
    }
    void write(std::uint8_t* p) const {
        store(p, x);
        store(p + 4, y);
        store(p + 8, z);
        store(p + 12, intensity);
        p[14] = static_cast<std::uint8_t>(returnNumber | (numberOfReturns << 4));
        p[15] = static_cast<std::uint8_t>(classFlags | (scannerChannel << 4) |
                                          (scanDirection << 6) | (edge << 7));
        p[16] = classification;
        p[17] = userData;
        store(p + 18, scanAngle);
        store(p + 20, pointSource);
        store(p + 22, gpsTime);
    }
};

// The layers of the core record, in their order in a chunk.
enum Layer : std::size_t {
    kXy,  // scanner channel, returns, x and y
    kZ,
    kClassification,
    kFlags,
    kIntensity,
    kScanAngle,
    kUserData,
    kPointSource,
    kGpsTime,
    kLayerCount
};

// Decoders of one byte range per layer. An empty layer leaves its fields unchanged; only the
// first layer is read for every record, and when a damaged chunk leaves it empty its decoder
// runs dry at once and marks the chunk damaged.
class Layers {
public:
    explicit Layers(std::size_t count) : dec_(count), present_(count, 0) {}
    void start(std::span<const ByteRange> layers) {
        for (std::size_t i = 0; i < dec_.size(); ++i) {
            present_[i] = i < layers.size() && !layers[i].empty();
            const ByteRange r = present_[i] ? layers[i] : ByteRange{};
            dec_[i].start(r.begin, r.end);
        }
    }
    bool present(std::size_t i) const { return present_[i] != 0; }
    ArithmeticDecoder& operator[](std::size_t i) { return dec_[i]; }
    bool damaged() const {
        return std::any_of(dec_.begin(), dec_.end(),
                           [](const ArithmeticDecoder& d) { return d.exhausted(); });
    }

private:
    std::vector<ArithmeticDecoder> dec_;
    std::vector<std::uint8_t> present_;
};

// Per-channel contexts made on first use and reseeded when a chunk first meets the channel.
template <typename Context>
class ChannelContexts {
public:
    void forgetAll() { used_.fill(false); }
    bool used(std::uint32_t c) const { return used_[c]; }
    Context& operator[](std::uint32_t c) { return *ctx_[c]; }
    Context& seed(std::uint32_t c) {
        if (!ctx_[c]) {
            ctx_[c] = std::make_unique<Context>();
        }
        used_[c] = true;
        return *ctx_[c];
    }

private:
    std::array<std::unique_ptr<Context>, kChannels> ctx_;
    std::array<bool, kChannels> used_{};
};

// The contexts that decode one record of an item following the point item: the models of the
// record's context, and the previous values the record is predicted from and written back to.
template <typename Context>
struct Followed {
    Context& models;
    Context& values;
};

// The context of the items that follow the point item. The point item hands them 0 for every
// record but one whose scanner channel changed, which gets the new channel. Moving to a context
// the chunk has not met seeds it from the current one's values; moving to one it has met takes
// that context's models, but this one record still continues from, and updates, the values of
// the context it comes from.
template <typename Context>
class FollowedContexts {
public:
    // The chunk's first context, for the caller to seed from the first record.
    Context& start(std::uint32_t context) {
        contexts_.forgetAll();
        current_ = context;
        return contexts_.seed(context);
    }

    // `reseed(to, from)` starts context `to` from the values of `from`.
    template <typename Reseed>
    Followed<Context> follow(std::uint32_t context, Reseed reseed) {
        Context& from = contexts_[current_];
        if (context == current_) {
            return {from, from};
        }
        current_ = context;
        if (contexts_.used(context)) {
            return {contexts_[context], from};
        }
        Context& to = contexts_.seed(context);
        reseed(to, from);
        return {to, to};
    }

private:
    ChannelContexts<Context> contexts_;
    std::uint32_t current_ = 0;
};

struct Point14Context {
    Point14 last;
    std::array<std::uint16_t, 8> lastIntensity{};
    std::array<Median5, 12> medianX;
    std::array<Median5, 12> medianY;
    std::array<std::int32_t, 8> lastZ{};
    std::vector<SymbolModel> changed = std::vector<SymbolModel>(8, SymbolModel(128));
    SymbolModel scannerChannel{3};
    SymbolModelTable numberOfReturns{16, 16};
    SymbolModel returnNumberGpsSame{13};
    SymbolModelTable returnNumber{16, 16};
    IntegerDecoder dx{32, 2};
    IntegerDecoder dy{32, 22};
    IntegerDecoder dz{32, 20};
    SymbolModelTable classification{64, 256};
    SymbolModelTable flags{64, 64};
    SymbolModelTable userData{64, 256};
    IntegerDecoder intensity{16, 4};
    IntegerDecoder scanAngle{16, 2};
    IntegerDecoder pointSource{16};
    GpsTimeDecoder gps{false};

    void reseed(const Point14& seed) {
        for (auto& m : changed) {
            m.reset();
        }
        scannerChannel.reset();
        numberOfReturns.reset();
        returnNumberGpsSame.reset();
        returnNumber.reset();
        dx.reset();
        dy.reset();
        for (auto& m : medianX) {
            m.reset();
        }
        for (auto& m : medianY) {
            m.reset();
        }
        dz.reset();
        lastZ.fill(seed.z);
        classification.reset();
        flags.reset();
        userData.reset();
        intensity.reset();
        lastIntensity.fill(seed.intensity);
        scanAngle.reset();
        pointSource.reset();
        gps.start(seed.gpsTime);
        last = seed;
        last.gpsTimeChanged = false;
    }
};

class Point14V3 final : public LayeredItem {
public:
    std::size_t layerCount() const override { return kLayerCount; }

    void start(const std::uint8_t* first, std::span<const ByteRange> layers,
               std::uint32_t& context) override {
        layers_.start(layers);
        contexts_.forgetAll();
        Point14 seed;
        seed.read(first);
        current_ = seed.scannerChannel;
        context = current_;
        contexts_.seed(current_).reseed(seed);
    }

    void decode(std::uint8_t* out, std::uint32_t& context) override {
        Point14Context* c = &contexts_[current_];
        const Point14& prev = c->last;
        const std::uint32_t lpr = (prev.returnNumber == 1 ? 1 : 0) +
                                  (prev.returnNumber >= prev.numberOfReturns ? 2 : 0) +
                                  (prev.gpsTimeChanged ? 4 : 0);
        const std::uint32_t changed = layers_[kXy].decodeSymbol(c->changed[lpr]);
        if (changed & 64) {
            c = &switchChannel(*c);
            context = current_;
        }
        Point14& p = c->last;
        const bool gpsChanged = (changed & 16) != 0;
        decodeReturns(*c, changed, gpsChanged);
        const Fields f = Fields::of(*c, changed, gpsChanged);
        // Each layer has a decoder of its own, and a record's layers depend on one another only
        // through the return fields decoded above and the x and y corrections' widths, which z
        // takes as its context. Their decoding is interleaved, so that the processor works on
        // several layers at once rather than on one layer's chain of symbols at a time.
        decodeGpsTime(f);
        decodeX(f);
        decodeClassification(f);
        decodeIntensity(f);
        decodeY(f);
        decodeFlags(f);
        decodeZ(f);
        decodeUserData(f);
        decodeScanAngle(f);
        decodePointSource(f);
        p.write(out);
        p.gpsTimeChanged = gpsChanged;
    }

    bool damaged() const override { return layers_.damaged(); }

private:
    // The next record comes from another scanner channel: continue from that channel's
    // previous record, seeding it from the current one when the chunk has not met it yet.
    Point14Context& switchChannel(Point14Context& from) {
        const std::uint32_t step = layers_[kXy].decodeSymbol(from.scannerChannel);
        const std::uint32_t channel = (current_ + step + 1) % kChannels;
        if (!contexts_.used(channel)) {
            contexts_.seed(channel).reseed(from.last);
        }
        current_ = channel;
        Point14Context& to = contexts_[channel];
        to.last.scannerChannel = channel;
        return to;
    }

    void decodeReturns(Point14Context& c, std::uint32_t changed, bool gpsChanged) {
        ArithmeticDecoder& dec = layers_[kXy];
        Point14& p = c.last;
        if (changed & 4) {
            p.numberOfReturns = dec.decodeSymbol(c.numberOfReturns[p.numberOfReturns]);
        }
        const std::uint32_t lastR = p.returnNumber;
        switch (changed & 3) {
            case 0:
                break;
            case 1:
                p.returnNumber = (lastR + 1) % 16;
                break;
            case 2:
                p.returnNumber = (lastR + 15) % 16;
                break;
            default:
                p.returnNumber = gpsChanged
                                     ? dec.decodeSymbol(c.returnNumber[lastR])
                                     : (lastR + dec.decodeSymbol(c.returnNumberGpsSame) + 2) % 16;
                break;
        }
    }

    // What the layers of one record share: its context, the changed-fields mask and the
    // return fields, decoded first.
    struct Fields {
        Point14Context& c;
        std::uint32_t changed;
        bool gpsChanged;
        std::uint32_t n;    // number of returns
        std::uint32_t r;    // return number
        std::uint32_t m;    // return kind, of 6
        std::uint32_t cpr;  // first return 2, last return 1

        static Fields of(Point14Context& c, std::uint32_t changed, bool gpsChanged) {
            const std::uint32_t n = c.last.numberOfReturns;
            const std::uint32_t r = c.last.returnNumber;
            return {c,
                    changed,
                    gpsChanged,
                    n,
                    r,
                    kReturnMap6[n][r],
                    (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u)};
        }
        std::size_t medianSlot() const { return (m << 1) | (gpsChanged ? 1u : 0u); }
        std::uint32_t single() const { return n == 1 ? 1 : 0; }
    };

    void decodeX(const Fields& f) {
        Point14& p = f.c.last;
        Median5& median = f.c.medianX[f.medianSlot()];
        const std::int32_t diff = f.c.dx.decode(layers_[kXy], median.get(), f.single());
        p.x = wrapAdd(p.x, diff);
        median.add(diff);
    }

    void decodeY(const Fields& f) {
        Point14& p = f.c.last;
        Median5& median = f.c.medianY[f.medianSlot()];
        const std::uint32_t kx = f.c.dx.k();
        const std::int32_t diff =
            f.c.dy.decode(layers_[kXy], median.get(), f.single() + (kx < 20 ? (kx & ~1u) : 20));
        p.y = wrapAdd(p.y, diff);
        median.add(diff);
    }

    void decodeZ(const Fields& f) {
        if (!layers_.present(kZ)) {
            return;
        }
        Point14& p = f.c.last;
        const std::uint32_t l = returnLevel(f.n, f.r);
        const std::uint32_t kxy = (f.c.dx.k() + f.c.dy.k()) / 2;
        p.z = f.c.dz.decode(layers_[kZ], f.c.lastZ[l], f.single() + (kxy < 18 ? (kxy & ~1u) : 18));
        f.c.lastZ[l] = p.z;
    }

    void decodeClassification(const Fields& f) {
        if (!layers_.present(kClassification)) {
            return;
        }
        Point14& p = f.c.last;
        const std::uint32_t ctx = ((p.classification & 0x1Fu) << 1) + (f.cpr == 3 ? 1 : 0);
        p.classification = static_cast<std::uint8_t>(
            layers_[kClassification].decodeSymbol(f.c.classification[ctx]));
    }

    void decodeFlags(const Fields& f) {
        if (!layers_.present(kFlags)) {
            return;
        }
        Point14& p = f.c.last;
        const std::uint32_t lastFlags = (p.edge << 5) | (p.scanDirection << 4) | p.classFlags;
        const std::uint32_t flags = layers_[kFlags].decodeSymbol(f.c.flags[lastFlags]);
        p.edge = (flags >> 5) & 1u;
        p.scanDirection = (flags >> 4) & 1u;
        p.classFlags = flags & 15u;
    }

    void decodeIntensity(const Fields& f) {
        if (!layers_.present(kIntensity)) {
            return;
        }
        Point14& p = f.c.last;
        const std::size_t slot = (f.cpr << 1) | (f.gpsChanged ? 1u : 0u);
        p.intensity = static_cast<std::uint16_t>(
            f.c.intensity.decode(layers_[kIntensity], f.c.lastIntensity[slot], f.cpr));
        f.c.lastIntensity[slot] = p.intensity;
    }

    void decodeScanAngle(const Fields& f) {
        if (!layers_.present(kScanAngle) || (f.changed & 8) == 0) {
            return;
        }
        Point14& p = f.c.last;
        p.scanAngle = static_cast<std::int16_t>(
            f.c.scanAngle.decode(layers_[kScanAngle], p.scanAngle, f.gpsChanged ? 1 : 0));
    }

    void decodeUserData(const Fields& f) {
        if (!layers_.present(kUserData)) {
            return;
        }
        Point14& p = f.c.last;
        p.userData = static_cast<std::uint8_t>(
            layers_[kUserData].decodeSymbol(f.c.userData[p.userData / 4u]));
    }

    void decodePointSource(const Fields& f) {
        if (!layers_.present(kPointSource) || (f.changed & 32) == 0) {
            return;
        }
        Point14& p = f.c.last;
        p.pointSource = static_cast<std::uint16_t>(
            f.c.pointSource.decode(layers_[kPointSource], p.pointSource));
    }

    void decodeGpsTime(const Fields& f) {
        if (!layers_.present(kGpsTime) || !f.gpsChanged) {
            return;
        }
        f.c.last.gpsTime = f.c.gps.decode(layers_[kGpsTime]);
    }

    Layers layers_{kLayerCount};
    ChannelContexts<Point14Context> contexts_;
    std::uint32_t current_ = 0;
};

// RGB (6 bytes) and, for RGBNIR, near infrared (2 more bytes) in a second layer.
struct ColourContext {
    std::uint16_t last[4] = {};
    RgbDecoder rgb;
    SymbolModel nirChanged{4};
    std::vector<SymbolModel> nirDiff = std::vector<SymbolModel>(2, SymbolModel(256));

    void reseed(const std::uint16_t* seed) {
        std::memcpy(last, seed, sizeof last);
        rgb.reset();
        nirChanged.reset();
        for (auto& m : nirDiff) {
            m.reset();
        }
    }
    std::uint16_t decodeNir(ArithmeticDecoder& dec, std::uint16_t prev) {
        const std::uint32_t mask = dec.decodeSymbol(nirChanged);
        std::int32_t lo = prev & 0xFF;
        std::int32_t hi = prev >> 8;
        if (mask & 1) {
            lo = fold8(static_cast<std::int32_t>(dec.decodeSymbol(nirDiff[0])) + lo);
        }
        if (mask & 2) {
            hi = fold8(static_cast<std::int32_t>(dec.decodeSymbol(nirDiff[1])) + hi);
        }
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }
};

class Colour14V3 final : public LayeredItem {
public:
    explicit Colour14V3(bool nir) : nir_(nir) {}
    std::size_t layerCount() const override { return nir_ ? 2 : 1; }

    void start(const std::uint8_t* first, std::span<const ByteRange> layers,
               std::uint32_t& context) override {
        layers_.start(layers);
        std::uint16_t seed[4] = {};
        std::memcpy(seed, first, nir_ ? 8 : 6);
        contexts_.start(context).reseed(seed);
    }

    void decode(std::uint8_t* out, std::uint32_t& context) override {
        const auto [c, values] = contexts_.follow(
            context, [](ColourContext& to, const ColourContext& from) { to.reseed(from.last); });
        std::uint16_t* last = values.last;
        if (layers_.present(0)) {
            std::uint16_t now[3];
            c.rgb.decode(layers_[0], last, now);
            std::memcpy(last, now, sizeof now);
        }
        if (nir_ && layers_.present(1)) {
            last[3] = c.decodeNir(layers_[1], last[3]);
        }
        std::memcpy(out, last, nir_ ? 8 : 6);
    }

    bool damaged() const override { return layers_.damaged(); }

private:
    bool nir_;
    Layers layers_{2};
    FollowedContexts<ColourContext> contexts_;
};

// Extra bytes: one layer per byte, each a correction of the same byte of the previous record.
struct BytesContext {
    std::vector<std::uint8_t> last;
    std::vector<SymbolModel> models;

    void reseed(const std::uint8_t* seed, std::size_t count) {
        last.assign(seed, seed + count);
        if (models.empty()) {
            models.assign(count, SymbolModel(256));
        }
        for (auto& m : models) {
            m.reset();
        }
    }
};

class Byte14V3 final : public LayeredItem {
public:
    explicit Byte14V3(std::size_t count) : count_(count), layers_(count) {}
    std::size_t layerCount() const override { return count_; }

    void start(const std::uint8_t* first, std::span<const ByteRange> layers,
               std::uint32_t& context) override {
        layers_.start(layers);
        contexts_.start(context).reseed(first, count_);
    }

    void decode(std::uint8_t* out, std::uint32_t& context) override {
        const auto [c, values] =
            contexts_.follow(context, [this](BytesContext& to, const BytesContext& from) {
                to.reseed(from.last.data(), count_);
            });
        std::uint8_t* last = values.last.data();
        for (std::size_t i = 0; i < count_; ++i) {
            if (layers_.present(i)) {
                last[i] = fold8(
                    static_cast<std::int32_t>(last[i] + layers_[i].decodeSymbol(c.models[i])));
            }
        }
        std::memcpy(out, last, count_);
    }

    bool damaged() const override { return layers_.damaged(); }

private:
    std::size_t count_;
    Layers layers_;
    FollowedContexts<BytesContext> contexts_;
};

}  // namespace

std::unique_ptr<LayeredItem> makeLayeredItem(const LazItem& item) {
    if (item.version != 3) {
        return nullptr;
    }
    switch (item.type) {
        case ItemType::Point14:
            return item.size == 30 ? std::make_unique<Point14V3>() : nullptr;
        case ItemType::Rgb14:
            return item.size == 6 ? std::make_unique<Colour14V3>(false) : nullptr;
        case ItemType::RgbNir14:
            return item.size == 8 ? std::make_unique<Colour14V3>(true) : nullptr;
        case ItemType::Byte14:
            return item.size > 0 ? std::make_unique<Byte14V3>(item.size) : nullptr;
        default:
            return nullptr;
    }
}

}  // namespace laz
