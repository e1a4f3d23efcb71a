#pragma once
// How many points a download of an area will keep, and what that weighs: the published point
// density over the area, capped by the voxel count of the area at the light and standard
// detail levels (a voxel keeps one point; full detail keeps them all).

#include <cstdint>

#include "cloud/Detail.h"

namespace cloud {

// The most points one download may keep (and the page is warned beyond).
inline constexpr std::int64_t kMaxKeptPoints = 8'000'000;
// Bytes per point that estimates count.
inline constexpr std::int64_t kBytesPerPoint = 16;

struct Estimate {
    std::int64_t points = 0;

    std::int64_t bytes() const;
    double sizeMB() const { return static_cast<double>(points) * kBytesPerPoint / 1e6; }
    bool overLimit() const { return points > kMaxKeptPoints; }
};

// area in m2, density in points per m2. The count is rounded half up, and held at the largest
// 64-bit value when it goes beyond.
Estimate estimateFor(double area, double density, cloudui::Detail detail);

}  // namespace cloud
