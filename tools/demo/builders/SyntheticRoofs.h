#pragma once
// Point clouds of buildings with known roofs, for the roof and reconstruction tests and
// benchmarks and the fake LiDAR sheets.
//
// A building is a rectangle of length L along its local u axis and width W along v, turned by an
// angle about a corner placed at PL-1992 map coordinates (kCorner unless given). Its roof height is
// a function of (u, v); the points lie on a regular grid over the rectangle with a small
// deterministic height noise.

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/Vec3.h"

namespace synthetic {

using lod2fit::Footprint;
using lod2fit::Vec2;
using lod2fit::Vec3;

constexpr double kGroundZ = 152.0;
constexpr double kEaveZ = 158.0;
const Vec2 kCorner{512340.25, 301220.5};

using RoofShape = std::function<double(double u, double v)>;

struct Building {
    double length = 16.0;
    double width = 10.0;
    double angleDeg = 30.0;
    Vec2 corner = kCorner;

    Vec2 toMap(double u, double v) const {
        const double a = angleDeg * std::numbers::pi / 180.0;
        return {corner.x + u * std::cos(a) - v * std::sin(a),
                corner.y + u * std::sin(a) + v * std::cos(a)};
    }

    // Local (u, v) of a map point.
    Vec2 toLocal(Vec2 p) const {
        const double a = angleDeg * std::numbers::pi / 180.0;
        const Vec2 d = p - corner;
        return {d.x * std::cos(a) + d.y * std::sin(a), -d.x * std::sin(a) + d.y * std::cos(a)};
    }

    // The corners counter-clockwise, starting at corner `start` of (0,0), (L,0), (L,W), (0,W).
    Footprint footprint(int start = 0) const {
        const Vec2 local[4] = {{0, 0}, {length, 0}, {length, width}, {0, width}};
        Footprint fp;
        for (int k = 0; k < 4; ++k) {
            const Vec2 c = local[(start + k) % 4];
            fp.pts.push_back(toMap(c.x, c.y));
        }
        return fp;
    }

    // About `count` points over the footprint.
    std::vector<Vec3> cloud(const RoofShape& roof, int count, double noise = 0.03) const {
        const double step = std::sqrt(length * width / count);
        std::uint32_t state = 12345u;
        std::vector<Vec3> pts;
        for (double u = step / 2; u < length; u += step) {
            for (double v = step / 2; v < width; v += step) {
                state = state * 1664525u + 1013904223u;
                const double jitter = noise * (static_cast<double>(state >> 8) / 8388608.0 - 1.0);
                const Vec2 p = toMap(u, v);
                pts.push_back({p.x, p.y, roof(u, v) + jitter});
            }
        }
        return pts;
    }
};

inline double tanDeg(double deg) {
    return std::tan(deg * std::numbers::pi / 180.0);
}

// Two planes rising from eaves along v = 0 and v = W to the ridge where they meet.
inline RoofShape gable(double width, double slopeNearDeg, double slopeFarDeg) {
    const double tn = tanDeg(slopeNearDeg);
    const double tf = tanDeg(slopeFarDeg);
    return [=](double, double v) { return kEaveZ + std::min(v * tn, (width - v) * tf); };
}

// Four planes of one slope: two long slopes and two hips.
inline RoofShape hip(double length, double width, double slopeDeg) {
    const double t = tanDeg(slopeDeg);
    return [=](double u, double v) {
        return kEaveZ + t * std::min(std::min(u, length - u), std::min(v, width - v));
    };
}

// One plane rising from the eave along v = 0 (or, with towardsNear, along v = W).
inline RoofShape shed(double width, double slopeDeg, bool towardsNear = false) {
    const double t = tanDeg(slopeDeg);
    return [=](double, double v) { return kEaveZ + t * (towardsNear ? width - v : v); };
}

inline RoofShape flat(double height) {
    return [=](double, double) { return height; };
}

// LAS classes of the points of a building scene.
constexpr std::uint8_t kGroundClass = 2;
constexpr std::uint8_t kBuildingClass = 6;

inline ClPoint classified(Vec3 v, std::uint8_t cls) {
    ClPoint p;
    p.x = v.x;
    p.y = v.y;
    p.z = v.z;
    p.cls = cls;
    return p;
}

// The building's roof points (about `count`, building class) and, every 0.5 m, the ground points
// (ground class, at kGroundZ) of a band `band` metres wide around its walls.
inline std::vector<ClPoint> lidarPoints(const Building& b, const RoofShape& roof, int count,
                                        double band = 3.0) {
    std::vector<ClPoint> points;
    for (const Vec3& v : b.cloud(roof, count))
        points.push_back(classified(v, kBuildingClass));
    for (double u = -band; u <= b.length + band; u += 0.5) {
        for (double v = -band; v <= b.width + band; v += 0.5) {
            if (u < 0 || v < 0 || u > b.length || v > b.width) {
                const Vec2 p = b.toMap(u, v);
                points.push_back(classified({p.x, p.y, kGroundZ}, kGroundClass));
            }
        }
    }
    return points;
}

}  // namespace synthetic
