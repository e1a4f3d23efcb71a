#include "geometry/Corridor.h"

#include <algorithm>
#include <cmath>

#include "geometry/SurfaceLattice.h"

namespace {

constexpr double kShortest = 1e-9;  // shorter directions have no normal

// The unit normal to the left of direction (dx, dy); (0, 0) for a direction shorter than
// kShortest.
PlanPoint leftNormal(double dx, double dy) {
    const double length = std::hypot(dx, dy);
    if (length < kShortest) {
        return {0.0, 0.0};
    }
    return {-dy / length, dx / length};
}

// The left normal at point i, from its neighbours on both sides (its one neighbour at an end).
PlanPoint normalAt(const PlanRing& line, std::size_t i) {
    const PlanPoint& before = line[i == 0 ? 0 : i - 1];
    const PlanPoint& after = line[std::min(i + 1, line.size() - 1)];
    return leftNormal(after.first - before.first, after.second - before.second);
}

PlanPoint moved(const PlanPoint& p, const PlanPoint& direction, double distance) {
    return {p.first + distance * direction.first, p.second + distance * direction.second};
}

double median3(double a, double b, double c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Running median of three over the unsmoothed values; the ends keep the greater of themselves
// and their one neighbour.
std::vector<double> smoothed(const std::vector<double>& v) {
    const std::size_t n = v.size();
    std::vector<double> out(v);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        out[i] = median3(v[i - 1], v[i], v[i + 1]);
    }
    out.front() = std::max(v[0], v[1]);
    out.back() = std::max(v[n - 1], v[n - 2]);
    return out;
}

// Points every `spacing` along each segment of positive length, from its start and short of its
// end, with the segment's left normal; then the line's last point with the last normal.
void resample(const PlanRing& line, double spacing, PlanRing& points,
              std::vector<PlanPoint>& normals) {
    for (std::size_t k = 0; k + 1 < line.size(); ++k) {
        const double dx = line[k + 1].first - line[k].first;
        const double dy = line[k + 1].second - line[k].second;
        const double length = std::hypot(dx, dy);
        if (!(length >= kShortest) || !std::isfinite(length)) {
            continue;
        }
        const PlanPoint along{dx / length, dy / length};
        for (std::int64_t s = 0; static_cast<double>(s) * spacing < length; ++s) {
            points.push_back(moved(line[k], along, static_cast<double>(s) * spacing));
            normals.push_back(leftNormal(dx, dy));
        }
    }
    if (!normals.empty()) {
        points.push_back(line.back());
        normals.push_back(normals.back());
    }
}

// The last probe distance along the direction, from 0 in probe steps up to the reach, where the
// surface still stands more than minHeight above the terrain; the default offset when that
// distance is not above 0.
double reachOf(const PlanPoint& p, const PlanPoint& direction, const NdsmModel& model,
               const BridgeParams& params) {
    const double probe = usableStep(params.probeStep);
    double passed = 0.0;
    for (std::int64_t k = 0; static_cast<double>(k) * probe <= params.reach; ++k) {
        const double d = static_cast<double>(k) * probe;
        const PlanPoint q = moved(p, direction, d);
        double standing = 0.0;
        if (!model.heightAbove(q.first, q.second, standing) || !(standing > params.minHeight)) {
            break;
        }
        passed = d;
    }
    return passed > 0.0 ? passed : params.defaultOffset;
}

}  // namespace

PlanRing buildCorridor(const PlanRing& centreLine, const std::vector<double>& left,
                       const std::vector<double>& right, BridgeShapeMode mode) {
    const std::size_t n = centreLine.size();
    if (n < 2 || left.size() != n || right.size() != n) {
        return {};
    }
    std::vector<double> l(left);
    std::vector<double> r(right);
    if (mode == kMedianOffsets) {
        l.assign(n, upperMedian(left));
        r.assign(n, upperMedian(right));
    }
    PlanRing corridor;
    corridor.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        corridor.push_back(moved(centreLine[i], normalAt(centreLine, i), l[i]));
    }
    for (std::size_t i = n; i-- > 0;) {
        corridor.push_back(moved(centreLine[i], normalAt(centreLine, i), -r[i]));
    }
    return corridor;
}

void measureOffsets(const PlanRing& centreLine, const NdsmModel& model, const BridgeParams& params,
                    PlanRing& points, std::vector<double>& left, std::vector<double>& right) {
    points.clear();
    left.clear();
    right.clear();
    std::vector<PlanPoint> normals;
    resample(centreLine, usableStep(params.spacing), points, normals);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const PlanPoint& m = normals[i];
        left.push_back(reachOf(points[i], m, model, params));
        right.push_back(reachOf(points[i], {-m.first, -m.second}, model, params));
    }
    if (points.size() >= 3) {
        left = smoothed(left);
        right = smoothed(right);
    }
}
