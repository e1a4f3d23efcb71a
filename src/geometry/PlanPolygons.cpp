#include "geometry/PlanPolygons.h"

#include <algorithm>
#include <cstddef>

namespace {

// Most ears cut from one ring; bounds the work on rings that are not simple.
constexpr int kEarLimit = 100000;
constexpr double kInsideTolerance = 1e-12;
constexpr double kZeroDenominator = 1e-12;

double turn(const PlanPoint& a, const PlanPoint& b, const PlanPoint& p) {
    return (b.first - a.first) * (p.second - a.second) -
           (b.second - a.second) * (p.first - a.first);
}

PlanPoint midpoint(const PlanPoint& a, const PlanPoint& b) {
    return {(a.first + b.first) / 2, (a.second + b.second) / 2};
}

// Where the segment prev->cur crosses the line through the clip edge a->b.
PlanPoint crossing(const PlanPoint& prev, const PlanPoint& cur, const PlanPoint& a,
                   const PlanPoint& b) {
    const double num = (prev.first - a.first) * (a.second - b.second) -
                       (a.first - b.first) * (prev.second - a.second);
    double den = (prev.first - cur.first) * (a.second - b.second) -
                 (prev.second - cur.second) * (a.first - b.first);
    if (den == 0.0) {
        den = kZeroDenominator;
    }
    const double t = num / den;
    return {prev.first + t * (cur.first - prev.first),
            prev.second + t * (cur.second - prev.second)};
}

PlanRing clipByEdge(const PlanRing& polygon, const PlanPoint& a, const PlanPoint& b) {
    PlanRing out;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PlanPoint& cur = polygon[i];
        const PlanPoint& prev = polygon[(i + n - 1) % n];
        const bool curIn = turn(a, b, cur) >= -kInsideTolerance;
        const bool prevIn = turn(a, b, prev) >= -kInsideTolerance;
        if (curIn != prevIn) {
            out.push_back(crossing(prev, cur, a, b));
        }
        if (curIn) {
            out.push_back(cur);
        }
    }
    return out;
}

// One chain of the monotone-chain hull over the points in the given order.
void extendChain(PlanRing& chain, std::size_t floor, const PlanPoint& p) {
    while (chain.size() >= floor + 2 && turn(chain[chain.size() - 2], chain.back(), p) <= 0) {
        chain.pop_back();
    }
    chain.push_back(p);
}

// An ear: a convex corner whose triangle holds no other remaining corner (boundary included).
bool isEar(const PlanRing& ring, const std::vector<std::size_t>& idx, std::size_t i) {
    const std::size_t m = idx.size();
    const std::size_t ip = idx[(i + m - 1) % m];
    const std::size_t ic = idx[i];
    const std::size_t in = idx[(i + 1) % m];
    if (turn(ring[ip], ring[ic], ring[in]) <= 0) {
        return false;
    }
    const Triangle t{ring[ip], ring[ic], ring[in]};
    for (const std::size_t k : idx) {
        if (k != ip && k != ic && k != in && pointInTriangle(ring[k].first, ring[k].second, t)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool pointInRing(double x, double y, const PlanRing& ring) {
    bool inside = false;
    const std::size_t n = ring.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const auto [xi, yi] = ring[i];
        const auto [xj, yj] = ring[j];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) {
            inside = !inside;
        }
    }
    return inside;
}

PlanRing clipToFootprint(const PlanRing& subject, const PlanRing& clip) {
    PlanRing polygon = subject;
    const std::size_t k = clip.size();
    for (std::size_t e = 0; e < k && !polygon.empty(); ++e) {
        polygon = clipByEdge(polygon, clip[e], clip[(e + 1) % k]);
    }
    return polygon;
}

PlanRing convexHull2D(PlanRing points) {
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (points.size() < 3) {
        return points;
    }
    PlanRing hull;
    for (const PlanPoint& p : points) {
        extendChain(hull, 0, p);
    }
    const std::size_t lower = hull.size() - 1;
    for (std::size_t i = points.size() - 1; i-- > 0;) {
        extendChain(hull, lower, points[i]);
    }
    hull.pop_back();  // the closing point, equal to the first
    return hull;
}

std::vector<Triangle> earClip(const PlanRing& ring) {
    std::vector<Triangle> out;
    if (ring.size() < 3) {
        return out;
    }
    PlanRing r = ring;
    if (signedArea(r) < 0) {
        std::reverse(r.begin(), r.end());
    }
    std::vector<std::size_t> idx(r.size());
    for (std::size_t i = 0; i < idx.size(); ++i) {
        idx[i] = i;
    }
    for (int ears = 0; idx.size() >= 4 && ears < kEarLimit; ++ears) {
        std::size_t i = 0;
        while (i < idx.size() && !isEar(r, idx, i)) {
            ++i;
        }
        if (i == idx.size()) {
            break;
        }
        const std::size_t m = idx.size();
        out.push_back({r[idx[(i + m - 1) % m]], r[idx[i]], r[idx[(i + 1) % m]]});
        idx.erase(idx.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (idx.size() == 3) {
        out.push_back({r[idx[0]], r[idx[1]], r[idx[2]]});
    }
    return out;
}

void subdivide(const Triangle& triangle, int depth, std::vector<Triangle>& out) {
    if (depth <= 0 || triangle.size() != 3) {
        out.push_back(triangle);
        return;
    }
    const PlanPoint& a = triangle[0];
    const PlanPoint& b = triangle[1];
    const PlanPoint& c = triangle[2];
    const PlanPoint ab = midpoint(a, b);
    const PlanPoint ac = midpoint(a, c);
    const PlanPoint bc = midpoint(b, c);
    subdivide({a, ab, ac}, depth - 1, out);
    subdivide({ab, b, bc}, depth - 1, out);
    subdivide({ac, bc, c}, depth - 1, out);
    subdivide({ab, bc, ac}, depth - 1, out);
}

double signedArea(const PlanRing& ring) {
    // Fan about the first corner, so that map coordinates keep their centimetres.
    double twice = 0.0;
    for (std::size_t i = 1; i + 1 < ring.size(); ++i) {
        twice += turn(ring[0], ring[i], ring[i + 1]);
    }
    return twice / 2;
}

bool pointInTriangle(double x, double y, const Triangle& t) {
    const PlanPoint p{x, y};
    const double d0 = turn(t[0], t[1], p);
    const double d1 = turn(t[1], t[2], p);
    const double d2 = turn(t[2], t[0], p);
    const bool anyNeg = d0 < 0 || d1 < 0 || d2 < 0;
    const bool anyPos = d0 > 0 || d1 > 0 || d2 > 0;
    return !(anyNeg && anyPos);
}
