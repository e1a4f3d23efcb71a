#include "geometry/PlaneGeometry.h"

#include <cmath>

namespace {

constexpr double kSingularFit = 1e-9;
constexpr double kParallel = 1e-9;
constexpr double kSingularLine = 1e-12;
constexpr double kVertical = 1e-9;

double det3(const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// Cramer's rule for m * x = r; the caller has checked the determinant.
void solve3(const double m[3][3], const double r[3], double det, double x[3]) {
    for (int col = 0; col < 3; ++col) {
        double mc[3][3];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                mc[i][j] = j == col ? r[i] : m[i][j];
            }
        }
        x[col] = det3(mc) / det;
    }
}

}  // namespace

bool fitPlane(const std::vector<Pt3>& points, Plane& plane) {
    if (points.size() < 3) {
        return false;
    }
    // Centred on the means so that map coordinates keep their precision in the sums.
    double mx = 0.0;
    double my = 0.0;
    for (const Pt3& p : points) {
        mx += p.x;
        my += p.y;
    }
    const double n = static_cast<double>(points.size());
    mx /= n;
    my /= n;
    double suu = 0, suv = 0, su = 0, svv = 0, sv = 0, szu = 0, szv = 0, sz = 0;
    for (const Pt3& p : points) {
        const double u = p.x - mx;
        const double v = p.y - my;
        suu += u * u;
        suv += u * v;
        su += u;
        svv += v * v;
        sv += v;
        szu += p.z * u;
        szv += p.z * v;
        sz += p.z;
    }
    const double m[3][3] = {{suu, suv, su}, {suv, svv, sv}, {su, sv, n}};
    const double det = det3(m);
    if (std::abs(det) < kSingularFit) {
        return false;
    }
    const double r[3] = {szu, szv, sz};
    double abc[3];
    solve3(m, r, det, abc);
    const double a = abc[0];
    const double b = abc[1];
    const double c = abc[2] - a * mx - b * my;
    const double s = std::sqrt(a * a + b * b + 1.0);
    plane = {-a / s, -b / s, 1.0 / s, -c / s};
    return true;
}

double heightOnPlane(const Plane& plane, double x, double y) {
    if (std::abs(plane.nz) < kVertical) {
        return 0.0;
    }
    return -(plane.nx * x + plane.ny * y + plane.d) / plane.nz;
}

std::vector<Pt3> projectRingToPlane(const PlanRing& ring, const Plane& plane) {
    std::vector<Pt3> out;
    out.reserve(ring.size());
    for (const auto& [x, y] : ring) {
        out.push_back({x, y, heightOnPlane(plane, x, y)});
    }
    return out;
}

bool planeIntersect(const Plane& a, const Plane& b, Pt3& point, Pt3& direction) {
    const double u[3] = {a.ny * b.nz - a.nz * b.ny, a.nz * b.nx - a.nx * b.nz,
                         a.nx * b.ny - a.ny * b.nx};
    const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    if (len < kParallel) {
        return false;
    }
    direction = {u[0] / len, u[1] / len, u[2] / len};
    // The line's point that also lies on the plane through the origin normal to the line.
    const double m[3][3] = {{a.nx, a.ny, a.nz}, {b.nx, b.ny, b.nz}, {u[0], u[1], u[2]}};
    const double det = det3(m);
    if (std::abs(det) < kSingularLine) {
        return false;
    }
    const double r[3] = {-a.d, -b.d, 0.0};
    double p[3];
    solve3(m, r, det, p);
    point = {p[0], p[1], p[2]};
    return true;
}

std::vector<RoofFace> faceFromPlanes(const std::vector<Plane>& planes, const PlanRing& ring) {
    if (planes.empty() || ring.size() < 3) {
        return {};
    }
    double cx = 0.0;
    double cy = 0.0;
    for (const auto& [x, y] : ring) {
        cx += x;
        cy += y;
    }
    const double n = static_cast<double>(ring.size());
    const double h = heightOnPlane(planes.front(), cx / n, cy / n);
    return {RoofFace{projectRingToPlane(ring, Plane{0.0, 0.0, 1.0, -h})}};
}
