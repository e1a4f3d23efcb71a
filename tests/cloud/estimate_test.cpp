// Download estimates: the count at each detail level, its rounding and limits.

#include "cloud/CloudEstimate.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using cloudui::Detail;

TEST(CloudEstimate, CountsByDetailLevel) {
    struct Case {
        double area, density;
        Detail detail;
        std::int64_t points;
        double sizeMB;
        bool overLimit;
    };
    const Case cases[] = {
        {1e6, 12.0, Detail::Standard, 12'000'000, 192.0, true},  // density below 25 per m2
        {1e6, 12.0, Detail::Light, 4'000'000, 64.0, false},      // 4 voxels per m2
        {1e6, 30.0, Detail::Standard, 25'000'000, 400.0, true},  // 25 voxels per m2
        {1e6, 3.0, Detail::Full, 3'000'000, 48.0, false},
        {0.0, 12.0, Detail::Standard, 0, 0.0, false},         // a frame of zero width
        {2e6, 12.0, Detail::Light, 8'000'000, 128.0, false},  // the limit itself
        {2'000'000.25, 12.0, Detail::Light, 8'000'001, 128.000016, true},
        {10.0, 0.1, Detail::Full, 1, 16e-6, false},                    // 1.0 rounds to 1
        {10.0, 0.04, Detail::Full, 0, 0.0, false},                     // 0.4 rounds to 0
        {10.0, 0.05, Detail::Full, 1, 16e-6, false},                   // 0.5 rounds up
        {1e6, 12.0, static_cast<Detail>(7), 12'000'000, 192.0, true},  // unknown: full
    };
    for (const Case& c : cases) {
        const cloud::Estimate e = cloud::estimateFor(c.area, c.density, c.detail);
        EXPECT_EQ(e.points, c.points) << c.area << " " << c.density;
        EXPECT_DOUBLE_EQ(e.sizeMB(), c.sizeMB) << c.area;
        EXPECT_EQ(e.bytes(), c.points * 16);
        EXPECT_EQ(e.overLimit(), c.overLimit) << c.area;
    }
}

TEST(CloudEstimate, AnEstimateBeyondThe64BitRangeIsHeldAtItsTop) {
    constexpr auto kTop = std::numeric_limits<std::int64_t>::max();
    const cloud::Estimate e = cloud::estimateFor(1e12, 1e300, Detail::Full);
    EXPECT_EQ(e.points, kTop);
    EXPECT_EQ(e.bytes(), kTop);
    EXPECT_TRUE(e.overLimit());
    EXPECT_GT(e.sizeMB(), 1e13);
}

}  // namespace
