#include "geometry/ContourBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "geometry/ContourCells.h"
#include "geometry/ContourLevels.h"

namespace {

constexpr const char* kCancelText = "Poziomice: przerwano przez uzytkownika.";
constexpr double kNoData = std::numeric_limits<double>::quiet_NaN();

// A point's key: its coordinates rounded to whole millimetres, kept as a pair so that distinct
// millimetre points never collide whatever their sign or size.
struct MmKey {
    long long x = 0;
    long long y = 0;
    bool operator==(const MmKey&) const = default;
};

// std::llround (halves away from zero) without the library call: v - trunc(v) is exact.
long long roundHalfAway(double v) {
    constexpr double kExact = 4503599627370496.0;  // 2^52: from here on every double is whole
    if (!(std::fabs(v) < kExact)) {
        return std::llround(v);
    }
    const double t = std::trunc(v);
    const auto r = static_cast<long long>(t);
    if (std::fabs(v - t) >= 0.5) {
        return v < 0.0 ? r - 1 : r + 1;
    }
    return r;
}

MmKey keyOf(const GisPoint& p) {
    return {roundHalfAway(p.x * 1000.0), roundHalfAway(p.y * 1000.0)};
}

std::uint64_t hashOf(const MmKey& k) {
    std::uint64_t h = static_cast<std::uint64_t>(k.x) * 0x9E3779B97F4A7C15ULL +
                      static_cast<std::uint64_t>(k.y) * 0xC2B2AE3D27D4EB4FULL;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return h ^ (h >> 32);
}

// Segment ends by key. End e is end (e & 1) of segment e >> 1: 0 for `a`, 1 for `b`. The ends of
// one key form a chain in increasing e, which is the order in which they were filed (for each
// segment in turn, first `a`, then `b`).
class EndIndex {
    // An unused slot has no tail; the head runs empty once all its ends are taken.
    struct Slot {
        MmKey key;
        std::int32_t head = -1;
        std::int32_t tail = -1;
    };

public:
    void build(const std::vector<Odcinek>& segs) {
        const std::size_t ends = segs.size() * 2;
        keys_.resize(ends);
        next_.assign(ends, -1);
        std::size_t capacity = 16;
        while (capacity < 2 * ends) {  // at most half full, whatever the ends' sharing
            capacity *= 2;
        }
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        partner_.assign(ends, kLookUp);
        for (std::size_t e = 0; e < ends; ++e) {
            const Odcinek& s = segs[e >> 1];
            keys_[e] = keyOf((e & 1) != 0 ? s.b : s.a);
            append(find(keys_[e]), static_cast<std::int32_t>(e));
        }
    }

    const MmKey& key(std::size_t end) const { return keys_[end]; }

    // The first end with the key of end `from` whose segment is still free, or -1; `from`'s own
    // segment is taken.
    std::int32_t firstFreeBeside(std::size_t from, const std::vector<char>& taken) {
        const std::int32_t p = partner_[from];
        if (p == kLookUp) {
            return firstFree(keys_[from], taken);
        }
        return taken[static_cast<std::size_t>(p) >> 1] != 0 ? -1 : p;
    }

private:
    // Files end e last in the chain of its slot. A key held by exactly two ends, the common case
    // of a line running on, names each end's partner directly, so that following the line needs
    // no table lookup.
    void append(Slot& slot, std::int32_t e) {
        const auto at = [](std::int32_t end) { return static_cast<std::size_t>(end); };
        if (slot.tail < 0) {
            slot.key = keys_[at(e)];
            slot.head = e;
        } else {
            next_[at(slot.tail)] = e;
            if (slot.head == slot.tail) {
                partner_[at(slot.head)] = e;
                partner_[at(e)] = slot.head;
            } else if (partner_[at(slot.tail)] != kLookUp) {
                partner_[at(slot.head)] = kLookUp;
                partner_[at(slot.tail)] = kLookUp;
            }
        }
        slot.tail = e;
    }

    // The first end with this key whose segment is still free, or -1. Ends of taken segments are
    // dropped from the front of the chain, since a segment is never freed again.
    std::int32_t firstFree(const MmKey& k, const std::vector<char>& taken) {
        Slot& slot = find(k);
        while (slot.head >= 0 && taken[static_cast<std::size_t>(slot.head) >> 1] != 0) {
            slot.head = next_[static_cast<std::size_t>(slot.head)];
        }
        return slot.head;
    }

    // The slot holding the key, or the empty slot where it belongs.
    Slot& find(const MmKey& k) {
        std::size_t i = hashOf(k) & mask_;
        while (slots_[i].tail >= 0 && !(slots_[i].key == k)) {
            i = (i + 1) & mask_;
        }
        return slots_[i];
    }

    static constexpr std::int32_t kLookUp = -2;

    std::vector<MmKey> keys_;
    std::vector<std::int32_t> next_;
    std::vector<std::int32_t> partner_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
};

class Stitcher {
public:
    std::vector<std::vector<GisPoint>> run(const std::vector<Odcinek>& segs) {
        index_.build(segs);
        taken_.assign(segs.size(), 0);
        std::vector<std::vector<GisPoint>> lines;
        for (std::size_t s = 0; s < segs.size(); ++s) {
            if (taken_[s] != 0) {
                continue;
            }
            taken_[s] = 1;
            forward_.assign({segs[s].a, segs[s].b});
            walk(segs, 2 * s + 1, forward_);
            backward_.clear();
            walk(segs, 2 * s, backward_);
            std::vector<GisPoint> line;
            line.reserve(backward_.size() + forward_.size());
            line.assign(backward_.rbegin(), backward_.rend());
            line.insert(line.end(), forward_.begin(), forward_.end());
            lines.push_back(std::move(line));
        }
        return lines;
    }

private:
    // From the chain's end `from`, keeps taking the first free segment filed under its key and
    // appending that segment's other end.
    void walk(const std::vector<Odcinek>& segs, std::size_t from, std::vector<GisPoint>& out) {
        for (std::int32_t end = index_.firstFreeBeside(from, taken_); end >= 0;
             end = index_.firstFreeBeside(from, taken_)) {
            const std::size_t s = static_cast<std::size_t>(end) >> 1;
            taken_[s] = 1;
            const bool fromA = index_.key(2 * s) == index_.key(from);
            out.push_back(fromA ? segs[s].b : segs[s].a);
            from = fromA ? 2 * s + 1 : 2 * s;
        }
    }

    EndIndex index_;
    std::vector<char> taken_;
    std::vector<GisPoint> forward_;
    std::vector<GisPoint> backward_;
};

std::vector<std::vector<GisPoint>> zszyjOdcinki(const std::vector<Odcinek>& segs) {
    return Stitcher{}.run(segs);
}

// The span count of one axis; an extent too large for a 32-bit node count gives none.
// Beyond this many nodes a grid would not fit in memory: such a frame is not sampled.
constexpr double kMostSampledNodes = 64.0 * 1024 * 1024;

std::int32_t spanCount(double extent, double step) {
    const double spans = std::floor(extent / step);
    if (!(spans >= 1.0 && spans < std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(spans);
}

}  // namespace

SiatkaWysokosci ContourBuilder::probkuj(const Bbox& frame, double step,
                                        const HeightSampler& sampler) {
    SiatkaWysokosci g;
    g.step = step > 0.0 ? step : 1.0;
    g.x0 = frame.minx;
    g.y0 = frame.miny;
    const std::int32_t sx = spanCount(frame.maxx - frame.minx, g.step);
    const std::int32_t sy = spanCount(frame.maxy - frame.miny, g.step);
    if (sx < 1 || sy < 1 || (sx + 1.0) * (sy + 1.0) > kMostSampledNodes) {
        return g;
    }
    g.nx = sx + 1;
    g.ny = sy + 1;
    g.z.resize(static_cast<std::size_t>(g.nx) * static_cast<std::size_t>(g.ny));
    std::size_t at = 0;
    for (std::int32_t j = 0; j < g.ny; ++j) {
        const double y = g.y0 + j * g.step;
        for (std::int32_t i = 0; i < g.nx; ++i) {
            double z = 0.0;
            g.z[at++] = sampler(g.x0 + i * g.step, y, z) ? z : kNoData;
        }
    }
    return g;
}

std::vector<Warstwica> ContourBuilder::build(const SiatkaWysokosci& grid, double interval,
                                             std::string& msg, int maxLines, int maxPoints,
                                             const std::function<bool()>& cancel, bool* cancelled,
                                             const std::function<void(int, int)>& progress) {
    if (cancelled != nullptr) {
        *cancelled = false;
    }
    msg.clear();
    if (grid.nx < 2 || grid.ny < 2 || !(interval > 0.0) || !std::isfinite(interval) ||
        grid.z.size() != static_cast<std::size_t>(grid.nx) * static_cast<std::size_t>(grid.ny)) {
        return {};
    }
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const double z : grid.z) {
        if (std::isfinite(z)) {
            lowest = std::min(lowest, z);
            highest = std::max(highest, z);
        }
    }
    if (!(lowest <= highest)) {
        return {};  // no height with data
    }

    ContourLevels levels(lowest, highest, interval, maxLines, maxPoints);
    // At most maxLines levels: the count fits an int.
    const auto count = static_cast<std::int32_t>(levels.count());
    ContourCells cells(grid, interval, levels.first(), count);
    Stitcher stitcher;
    bool wasCancelled = false;
    for (std::int64_t n = levels.first(); levels.wants(n); ++n) {
        const auto k = static_cast<std::int32_t>(n - levels.first());
        if (cancel && cancel()) {
            wasCancelled = true;
            break;
        }
        if (progress) {
            progress(k, count);
        }
        const std::vector<Odcinek>& segs = cells.segments(k);
        if (!segs.empty()) {
            levels.add(n, stitcher.run(segs));
        }
    }
    if (wasCancelled) {
        msg = kCancelText;
        if (cancelled != nullptr) {
            *cancelled = true;
        }
    }
    return levels.finish(msg);
}

std::vector<std::vector<GisPoint>> ContourBuilder::zszyj(
    const std::vector<std::pair<GisPoint, GisPoint>>& segments) {
    std::vector<Odcinek> segs;
    segs.reserve(segments.size());
    for (const auto& [a, b] : segments) {
        segs.push_back({a, b});
    }
    return zszyjOdcinki(segs);
}
