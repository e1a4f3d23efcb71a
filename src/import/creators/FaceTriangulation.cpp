#include "import/creators/FaceTriangulation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <utility>

namespace facetri {
namespace {

// A cross product longer than this spans a plane.
constexpr double kSpanning = 1e-6;
// A turn within this of straight has no direction.
constexpr double kStraight = 1e-9;
// An edge shorter than this has no direction for an angle.
constexpr double kNoEdge = 1e-12;
// How far inside the circumcircle a point must lie for its edge to be flipped.
constexpr double kInCircle = 1e-9;
// Faces of at least this many points get the edge flips.
constexpr std::size_t kFlipFrom = 7;

Point3 minus(const Point3& a, const Point3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Point3 cross(const Point3& a, const Point3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double dot(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// Twice the signed area of the triangle o, a, b: positive when it turns counter-clockwise.
double turn(const Point2& o, const Point2& a, const Point2& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

double turn(const std::vector<Point2>& p, const Triangle& t) {
    return turn(p[t.a], p[t.b], p[t.c]);
}

double signedArea(const std::vector<Point2>& ring) {
    double twice = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point2& a = ring[i];
        const Point2& b = ring[(i + 1) % ring.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

// Whether p lies inside the triangle or on its border.
bool inTriangle(const Point2& a, const Point2& b, const Point2& c, const Point2& p) {
    const double d1 = turn(a, b, p), d2 = turn(b, c, p), d3 = turn(c, a, p);
    return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
}

// Cosine of the angle at corner o between the edges to a and b; 1 when an edge has no length.
double cosineAt(const Point2& o, const Point2& a, const Point2& b) {
    const double ux = a.x - o.x, uy = a.y - o.y, vx = b.x - o.x, vy = b.y - o.y;
    const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
    if (lu < kNoEdge || lv < kNoEdge)
        return 1.0;
    return (ux * vx + uy * vy) / (lu * lv);
}

// Higher for better-shaped triangles: minus the cosine of the smallest angle.
double earScore(const Point2& a, const Point2& b, const Point2& c) {
    return -std::max({cosineAt(a, b, c), cosineAt(b, c, a), cosineAt(c, a, b)});
}

// Whether a remaining point other than the ear's own corners lies in the ear.
bool earHoldsPoint(const std::vector<Point2>& ring, const std::vector<int>& remaining, int prev,
                   int cur, int next) {
    return std::any_of(remaining.begin(), remaining.end(), [&](int r) {
        return r != prev && r != cur && r != next &&
               inTriangle(ring[prev], ring[cur], ring[next], ring[r]);
    });
}

// Position in `remaining` of the best ear, or -1 when there is none.
int bestEar(const std::vector<Point2>& ring, const std::vector<int>& remaining) {
    const std::size_t m = remaining.size();
    int best = -1;
    double bestScore = -std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < m; ++k) {
        const int prev = remaining[(k + m - 1) % m], cur = remaining[k],
                  next = remaining[(k + 1) % m];
        if (turn(ring[prev], ring[cur], ring[next]) <= 0 ||
            earHoldsPoint(ring, remaining, prev, cur, next)) {
            continue;
        }
        const double score = earScore(ring[prev], ring[cur], ring[next]);
        if (score > bestScore) {
            bestScore = score;
            best = static_cast<int>(k);
        }
    }
    return best;
}

Triangle counterClockwise(const std::vector<Point2>& p, Triangle t) {
    if (turn(p, t) < 0)
        std::swap(t.b, t.c);
    return t;
}

// Positive when d lies inside the circumcircle of the counter-clockwise triangle a, b, c.
double inCircle(const Point2& a, const Point2& b, const Point2& c, const Point2& d) {
    const double adx = a.x - d.x, ady = a.y - d.y;
    const double bdx = b.x - d.x, bdy = b.y - d.y;
    const double cdx = c.x - d.x, cdy = c.y - d.y;
    return (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) -
           (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
           (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
}

// One side strictly positive, the other not.
bool onOppositeSides(double s, double t) {
    return (s > 0 && t <= 0) || (t > 0 && s <= 0);
}

struct EdgeUse {
    std::size_t triangle;
    int opposite;
};

// Every undirected edge (lower vertex first) with the triangles that use it.
std::map<std::pair<int, int>, std::vector<EdgeUse>> edgeUses(
    const std::vector<Triangle>& triangles) {
    std::map<std::pair<int, int>, std::vector<EdgeUse>> uses;
    for (std::size_t t = 0; t < triangles.size(); ++t) {
        const Triangle& tri = triangles[t];
        const int corners[3] = {tri.a, tri.b, tri.c};
        for (int k = 0; k < 3; ++k) {
            const int u = corners[k], v = corners[(k + 1) % 3], w = corners[(k + 2) % 3];
            uses[{std::min(u, v), std::max(u, v)}].push_back({t, w});
        }
    }
    return uses;
}

// Whether the edge a-b between the triangles with far corners c and d should give way to c-d.
bool shouldFlip(const std::vector<Point2>& p, int a, int b, int c, int d) {
    if (!onOppositeSides(turn(p[a], p[b], p[c]), turn(p[a], p[b], p[d])) ||
        !onOppositeSides(turn(p[c], p[d], p[a]), turn(p[c], p[d], p[b]))) {
        return false;
    }
    const Triangle abc = counterClockwise(p, {a, b, c});
    return inCircle(p[abc.a], p[abc.b], p[abc.c], p[d]) > kInCircle;
}

// Flips the first edge that should be flipped; false when there is none.
bool flipOne(const std::vector<Point2>& p, std::vector<Triangle>& triangles) {
    for (const auto& [edge, uses] : edgeUses(triangles)) {
        if (uses.size() != 2)
            continue;
        const auto [a, b] = edge;
        const int c = uses[0].opposite, d = uses[1].opposite;
        if (!shouldFlip(p, a, b, c, d))
            continue;
        triangles[uses[0].triangle] = counterClockwise(p, {a, c, d});
        triangles[uses[1].triangle] = counterClockwise(p, {b, d, c});
        return true;
    }
    return false;
}

// Each triangle turned to run as the ring does in its plane, so that its normal points to the
// side of the ring's own (Newell) normal; a ring without area leaves them as they are.
void orientLikeRing(const std::vector<Point2>& ring, std::vector<Triangle>& triangles) {
    const double ringArea = signedArea(ring);
    for (Triangle& t : triangles) {
        if (turn(ring, t) * ringArea < 0)
            std::swap(t.b, t.c);
    }
}

}  // namespace

Point3 newellNormal(const std::vector<Point3>& face) {
    Point3 n;
    for (std::size_t i = 0; i < face.size(); ++i) {
        const Point3& p = face[i];
        const Point3& q = face[(i + 1) % face.size()];
        n.x += (p.y - q.y) * (p.z + q.z);
        n.y += (p.z - q.z) * (p.x + q.x);
        n.z += (p.x - q.x) * (p.y + q.y);
    }
    return n;
}

std::optional<Point3> firstNormal(const std::vector<Point3>& face) {
    for (std::size_t i = 1; i < face.size(); ++i) {
        for (std::size_t j = i + 1; j < face.size(); ++j) {
            const Point3 c = cross(minus(face[i], face[0]), minus(face[j], face[0]));
            const double length = std::sqrt(dot(c, c));
            if (length > kSpanning)
                return Point3{c.x / length, c.y / length, c.z / length};
        }
    }
    return std::nullopt;
}

bool isPlanar(const std::vector<Point3>& face, const Point3& unitNormal, double tolerance) {
    return std::all_of(face.begin(), face.end(), [&](const Point3& p) {
        return std::abs(dot(minus(p, face[0]), unitNormal)) <= tolerance;
    });
}

std::vector<Point2> projectAlong(const std::vector<Point3>& face, const Point3& normal) {
    const double ax = std::abs(normal.x), ay = std::abs(normal.y), az = std::abs(normal.z);
    std::vector<Point2> plane;
    plane.reserve(face.size());
    for (const Point3& p : face) {
        if (az >= ax && az >= ay)
            plane.push_back({p.x, p.y});
        else if (ax >= ay)
            plane.push_back({p.y, p.z});
        else
            plane.push_back({p.x, p.z});
    }
    return plane;
}

bool isConvex(const std::vector<Point2>& ring) {
    int sign = 0;
    const std::size_t n = ring.size();
    for (std::size_t i = 0; i < n; ++i) {
        const double t = turn(ring[i], ring[(i + 1) % n], ring[(i + 2) % n]);
        if (std::abs(t) <= kStraight)
            continue;
        const int s = t > 0 ? 1 : -1;
        if (sign == 0)
            sign = s;
        else if (s != sign)
            return false;
    }
    return true;
}

std::vector<Triangle> earClip(const std::vector<Point2>& ring) {
    const std::size_t n = ring.size();
    std::vector<int> remaining(n);
    std::iota(remaining.begin(), remaining.end(), 0);
    if (!(signedArea(ring) > 0))
        std::reverse(remaining.begin(), remaining.end());
    std::vector<Triangle> triangles;
    for (std::size_t step = 0; step < 3 * n && remaining.size() > 3; ++step) {
        const int k = bestEar(ring, remaining);
        if (k < 0)
            break;
        const std::size_t m = remaining.size(), at = static_cast<std::size_t>(k);
        triangles.push_back({remaining[(at + m - 1) % m], remaining[at], remaining[(at + 1) % m]});
        remaining.erase(remaining.begin() + k);
    }
    if (remaining.size() != 3)
        return {};
    triangles.push_back({remaining[0], remaining[1], remaining[2]});
    return triangles;
}

std::vector<Triangle> fan(std::size_t n) {
    std::vector<Triangle> triangles;
    for (std::size_t i = 2; i < n; ++i)
        triangles.push_back({0, static_cast<int>(i - 1), static_cast<int>(i)});
    return triangles;
}

void flipEdges(const std::vector<Point2>& points, std::vector<Triangle>& triangles) {
    for (Triangle& t : triangles)
        t = counterClockwise(points, t);
    const std::size_t limit = 4 * triangles.size() + 8;
    std::size_t flips = 0;
    while (flips < limit && flipOne(points, triangles))
        ++flips;
}

bool looksLikeFan(const std::vector<Triangle>& triangles, std::size_t pointCount) {
    const std::size_t count = triangles.size();
    if (count <= 4)
        return false;
    std::vector<std::size_t> uses(pointCount, 0);
    for (const Triangle& t : triangles) {
        ++uses[static_cast<std::size_t>(t.a)];
        ++uses[static_cast<std::size_t>(t.b)];
        ++uses[static_cast<std::size_t>(t.c)];
    }
    const auto most = *std::max_element(uses.begin(), uses.end());
    return static_cast<double>(most) >= std::floor(0.6 * static_cast<double>(count));
}

Result triangulate(const std::vector<Point3>& face) {
    const std::vector<Point2> plane = projectAlong(face, newellNormal(face));
    Result result;
    result.triangles = earClip(plane);
    result.earClipped = !result.triangles.empty();
    if (result.earClipped)
        result.fanLike = looksLikeFan(result.triangles, face.size());
    else
        result.triangles = fan(face.size());
    if (face.size() >= kFlipFrom) {
        flipEdges(plane, result.triangles);
        result.fanLikeAfterFlips = looksLikeFan(result.triangles, face.size());
    }
    orientLikeRing(plane, result.triangles);
    return result;
}

}  // namespace facetri
