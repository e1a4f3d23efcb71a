#include "cloud/CloudEstimate.h"

#include <algorithm>
#include <limits>

namespace cloud {
namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();

double pointsAt(double area, double density, cloudui::Detail detail) {
    const double all = density * area;
    switch (detail) {
        case cloudui::Detail::Light:
            return std::min(area / (0.5 * 0.5), all);
        case cloudui::Detail::Standard:
            return std::min(area / (0.2 * 0.2), all);
        default:
            return all;
    }
}

}  // namespace

std::int64_t Estimate::bytes() const {
    return points > kLargest / kBytesPerPoint ? kLargest : points * kBytesPerPoint;
}

Estimate estimateFor(double area, double density, cloudui::Detail detail) {
    const double rounded = pointsAt(area, density, detail) + 0.5;
    constexpr double kBeyond = 9223372036854775808.0;  // 2^63
    if (!(rounded < kBeyond))
        return {kLargest};
    return {static_cast<std::int64_t>(rounded)};
}

}  // namespace cloud
