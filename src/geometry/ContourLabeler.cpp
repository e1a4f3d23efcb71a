#include "geometry/ContourLabeler.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kFirstStation = 25.0;
constexpr double kStationSpacing = 50.0;

// c[k]: length of the line from its first point to point k.
std::vector<double> cumulativeLengths(const std::vector<GisPoint>& pts) {
    std::vector<double> c(pts.size(), 0.0);
    for (std::size_t k = 1; k < pts.size(); ++k) {
        c[k] = c[k - 1] + std::hypot(pts[k].x - pts[k - 1].x, pts[k].y - pts[k - 1].y);
    }
    return c;
}

// A line longer than the Earth's circumference has corrupt coordinates: it gets no labels rather
// than an endless station walk.
constexpr double kLongestLine = 4.0e7;

std::vector<double> stations(double length) {
    if (length < kStationSpacing) {
        return {length / 2.0};
    }
    std::vector<double> s;
    for (double at = kFirstStation; at < length; at += kStationSpacing) {
        s.push_back(at);
    }
    return s;
}

}  // namespace

std::vector<PodpisRzednej> ContourLabeler::rozmiesc(const Warstwica& line) {
    const std::vector<GisPoint>& p = line.pts;
    if (!line.major || p.size() < 2) {
        return {};
    }
    const std::vector<double> c = cumulativeLengths(p);
    const double length = c.back();
    if (!(length > 0.0) || !(length <= kLongestLine)) {
        return {};
    }
    const std::string text = formatRzednej(line.z);
    std::vector<PodpisRzednej> labels;
    // The segment of a station ends at the first point k (1 .. n-2) at least that far along the
    // line, or is the last one; stations grow, so the search goes on from the previous one.
    std::size_t k = 1;
    for (const double s : stations(length)) {
        while (k < p.size() - 1 && c[k] < s) {
            ++k;
        }
        const GisPoint& a = p[k - 1];
        const GisPoint& b = p[k];
        const double seg = c[k] - c[k - 1];
        const double t = seg > 1e-12 ? (s - c[k - 1]) / seg : 0.0;
        labels.push_back({{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)},
                          normalizujKat(std::atan2(b.y - a.y, b.x - a.x)),
                          text});
    }
    return labels;
}

double ContourLabeler::katLokalny(double angle, double reference) {
    return normalizujKat(angle - reference);
}

double ContourLabeler::normalizujKat(double angle) {
    if (!std::isfinite(angle)) {
        return 0.0;
    }
    constexpr double kPi = std::numbers::pi;
    // The remainder lies in [-pi/2, pi/2] and is exact; only -pi/2 itself needs a half turn.
    double a = std::remainder(angle, kPi);
    if (a <= -kPi / 2.0) {
        a += kPi;
    }
    return a;
}

std::string ContourLabeler::formatRzednej(double z) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", z);
    std::string text(buf);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}
