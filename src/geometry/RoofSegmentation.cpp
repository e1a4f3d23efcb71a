#include "geometry/RoofSegmentation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "geometry/PlanPolygons.h"
#include "geometry/PlaneGeometry.h"

namespace {

constexpr int kPlasterDepth = 2;
constexpr int kLeastVotes = 15;
constexpr double kLeastTriangleArea = 1e-9;

// 32-bit xorshift (shifts 13, 17, 5) with its fixed seed.
class Xorshift32 {
public:
    std::uint32_t next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }

private:
    std::uint32_t s_ = 0x9e3779b9u;
};

std::vector<std::size_t> freeIndices(const std::vector<bool>& taken) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (!taken[i]) {
            out.push_back(i);
        }
    }
    return out;
}

// The free points side by side, so that the counting runs over contiguous memory.
std::vector<Pt3> gather(const std::vector<Pt3>& points, const std::vector<std::size_t>& free) {
    std::vector<Pt3> out;
    out.reserve(free.size());
    for (const std::size_t i : free) {
        out.push_back(points[i]);
    }
    return out;
}

std::size_t countNear(const std::vector<Pt3>& points, const Plane& plane, double tol) {
    std::size_t count = 0;
    for (const Pt3& p : points) {
        count += planeDistance(plane, p) <= tol ? 1 : 0;
    }
    return count;
}

struct Sampled {
    Plane plane;
    std::size_t count = 0;
};

// The plane through three random free points that most free points lie near; the first of equal
// counts stays. A count of 0 means no sample gave a usable plane.
Sampled bestSampledPlane(const std::vector<Pt3>& free, const SegParams& params, Xorshift32& rng) {
    Sampled best;
    const std::size_t m = free.size();
    for (int it = 0; it < params.iterations; ++it) {
        const std::size_t r1 = rng.next() % m;
        const std::size_t r2 = rng.next() % m;
        const std::size_t r3 = rng.next() % m;
        if (r1 == r2 || r1 == r3 || r2 == r3) {
            continue;
        }
        Plane plane;
        if (!fitPlane({free[r1], free[r2], free[r3]}, plane) ||
            std::abs(plane.nz) < params.minAbsNz) {
            continue;
        }
        const std::size_t count = countNear(free, plane, params.distTol);
        if (count > best.count) {
            best = {plane, count};
        }
    }
    return best;
}

// The smaller of the population standard deviations of x and of y.
double planSpread(const std::vector<Pt3>& pts) {
    const double n = static_cast<double>(pts.size());
    double mx = 0.0;
    double my = 0.0;
    for (const Pt3& p : pts) {
        mx += p.x;
        my += p.y;
    }
    mx /= n;
    my /= n;
    double vx = 0.0;
    double vy = 0.0;
    for (const Pt3& p : pts) {
        vx += (p.x - mx) * (p.x - mx);
        vy += (p.y - my) * (p.y - my);
    }
    return std::sqrt(std::min(vx, vy) / n);
}

// Index of the plane nearest to p (the first of equal distances) and that distance.
std::pair<std::size_t, double> nearestPlane(const std::vector<Plane>& planes, const Pt3& p) {
    std::size_t best = 0;
    double bestDist = planeDistance(planes[0], p);
    for (std::size_t k = 1; k < planes.size(); ++k) {
        const double d = planeDistance(planes[k], p);
        if (d < bestDist) {
            best = k;
            bestDist = d;
        }
    }
    return {best, bestDist};
}

// Index of the largest count, the first of equal counts.
std::size_t mostVoted(const std::vector<int>& votes) {
    return static_cast<std::size_t>(std::max_element(votes.begin(), votes.end()) - votes.begin());
}

std::vector<Triangle> plasterTriangles(const PlanRing& ring) {
    std::vector<Triangle> small;
    for (const Triangle& t : earClip(ring)) {
        subdivide(t, kPlasterDepth, small);
    }
    return small;
}

}  // namespace

std::vector<Plane> segmentRoofPlanes(const std::vector<Pt3>& points, const SegParams& params) {
    std::vector<Plane> planes;
    if (params.maxPlanes < 1) {
        return planes;
    }
    std::vector<bool> taken(points.size(), false);
    Xorshift32 rng;
    const int passes = std::max(3 * params.maxPlanes, 1);
    const std::size_t leastLeft = static_cast<std::size_t>(std::max(params.minInliers, 3));
    for (int pass = 0; pass < passes && static_cast<int>(planes.size()) < params.maxPlanes;
         ++pass) {
        const std::vector<std::size_t> free = freeIndices(taken);
        if (free.size() < leastLeft) {
            break;
        }
        const std::vector<Pt3> freePts = gather(points, free);
        const Sampled best = bestSampledPlane(freePts, params, rng);
        if (best.count == 0 || static_cast<long long>(best.count) < params.minInliers) {
            break;
        }
        std::vector<Pt3> inliers;
        for (std::size_t k = 0; k < free.size(); ++k) {
            if (planeDistance(best.plane, freePts[k]) <= params.distTol) {
                inliers.push_back(freePts[k]);
                taken[free[k]] = true;
            }
        }
        Plane refit;
        if (planSpread(inliers) >= params.spread && fitPlane(inliers, refit) &&
            std::abs(refit.nz) >= params.minAbsNz) {
            planes.push_back(refit);
        }
    }
    return planes;
}

std::vector<RoofFace> buildRoofFacesPlaster1(const std::vector<Plane>& planes,
                                             const std::vector<Pt3>& points, const PlanRing& ring,
                                             double maxDistance) {
    std::vector<RoofFace> faces;
    if (planes.size() < 2 || ring.size() < 3) {
        return faces;
    }
    std::vector<int> votes(planes.size(), 0);
    for (const Pt3& p : points) {
        ++votes[nearestPlane(planes, p).first];
    }
    const std::size_t favourite = mostVoted(votes);
    if (std::count_if(votes.begin(), votes.end(), [](int v) { return v >= kLeastVotes; }) < 2) {
        return faces;
    }
    for (const Triangle& t : plasterTriangles(ring)) {
        if (std::abs(signedArea(t)) < kLeastTriangleArea) {
            continue;
        }
        std::vector<int> local(planes.size(), 0);
        bool anyVote = false;
        for (const Pt3& p : points) {
            if (!pointInTriangle(p.x, p.y, t)) {
                continue;
            }
            const auto [k, dist] = nearestPlane(planes, p);
            if (dist <= maxDistance) {
                ++local[k];
                anyVote = true;
            }
        }
        const Plane& plane = planes[anyVote ? mostVoted(local) : favourite];
        faces.push_back({projectRingToPlane(t, plane)});
    }
    return faces;
}
