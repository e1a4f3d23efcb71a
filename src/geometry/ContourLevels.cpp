#include "geometry/ContourLevels.h"

#include <cmath>
#include <utility>

namespace {

double polylineLength(const std::vector<GisPoint>& pts) {
    double length = 0.0;
    for (std::size_t i = 1; i < pts.size(); ++i) {
        length += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
    }
    return length;
}

// Level numbers beyond this are not heights on Earth at any sensible interval; clamping keeps
// the conversion to an integer defined.
constexpr double kLevelBound = 9.0e15;

std::int64_t levelNumber(double v) {
    return static_cast<std::int64_t>(std::fmax(-kLevelBound, std::fmin(kLevelBound, v)));
}

}  // namespace

const char* const ContourLevels::kLimitNotice =
    "Poziomice: za duzo danych dla wybranego ciecia - wynik ograniczony. Zwieksz ciecie albo "
    "zmniejsz kadr.";

ContourLevels::ContourLevels(double zmin, double zmax, double interval, int maxLines, int maxPoints)
    : interval_(interval), maxLines_(maxLines), maxPoints_(maxPoints) {
    first_ = levelNumber(std::ceil(zmin / interval));
    const std::int64_t last = levelNumber(std::floor(zmax / interval));
    count_ = last - first_ + 1;
    if (last - first_ >= maxLines) {
        count_ = maxLines;
        limited_ = true;
    }
    if (count_ < 1)
        count_ = 0;
}

void ContourLevels::add(std::int64_t n, std::vector<std::vector<GisPoint>> polylines) {
    for (auto& pts : polylines) {
        if (stopped_)
            return;
        if (pts.size() < 2 || polylineLength(pts) < 1e-9)
            continue;
        if (static_cast<std::int64_t>(lines_.size()) >= maxLines_) {
            limited_ = stopped_ = true;
            return;
        }
        points_ += static_cast<std::int64_t>(pts.size());
        lines_.push_back({static_cast<double>(n) * interval_, n % 5 == 0, std::move(pts)});
        if (points_ > maxPoints_)
            limited_ = stopped_ = true;
    }
}

std::vector<Warstwica> ContourLevels::finish(std::string& msg) {
    if (limited_) {
        if (!msg.empty())
            msg += ' ';
        msg += kLimitNotice;
    }
    return std::move(lines_);
}
