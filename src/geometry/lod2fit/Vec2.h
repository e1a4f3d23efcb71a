#pragma once
// A point or direction in plan, in metres.

namespace lod2fit {

struct Vec2 {
    double x = 0.0;
    double y = 0.0;

    bool operator==(const Vec2&) const = default;
};

inline Vec2 operator+(Vec2 a, Vec2 b) {
    return {a.x + b.x, a.y + b.y};
}
inline Vec2 operator-(Vec2 a, Vec2 b) {
    return {a.x - b.x, a.y - b.y};
}
inline Vec2 operator*(double s, Vec2 a) {
    return {s * a.x, s * a.y};
}
inline double dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
// z of the 3D cross product: positive when b turns counter-clockwise from a.
inline double cross(Vec2 a, Vec2 b) {
    return a.x * b.y - a.y * b.x;
}

}  // namespace lod2fit
