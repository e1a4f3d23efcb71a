#pragma once
// buildSurface written the plain way, every cell testing its four corners against the whole
// ring: the reference that the row-scanning builder must match face for face.

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "geometry/PlanPolygons.h"
#include "geometry/PlaneGeometry.h"
#include "geometry/Surface.h"

namespace surfaceref {

// Every face of a model as a ring of points: the planar faces, then the mesh's triangles.
inline std::vector<RoofFace> facesOf(const RoofModel& model) {
    std::vector<RoofFace> faces;
    model.forEachFace([&faces](std::span<const Pt3> corners) {
        faces.push_back({{corners.begin(), corners.end()}});
    });
    return faces;
}

inline RoofModel buildSurfacePlain(const PlanRing& ring, const NdsmModel& model,
                                   const SurfaceParams& params) {
    RoofModel out;
    out.flag = 1;
    if (ring.size() < 3) {
        return out;
    }
    double minx = ring[0].first, maxx = minx, miny = ring[0].second, maxy = miny;
    for (const auto& [x, y] : ring) {
        minx = std::min(minx, x);
        maxx = std::max(maxx, x);
        miny = std::min(miny, y);
        maxy = std::max(maxy, y);
    }
    if (params.clip) {
        minx = std::max(minx, params.clipBox.minx);
        miny = std::max(miny, params.clipBox.miny);
        maxx = std::min(maxx, params.clipBox.maxx);
        maxy = std::min(maxy, params.clipBox.maxy);
        if (!(maxx - minx > 0) || !(maxy - miny > 0)) {
            return out;
        }
    }
    const double step = params.step > 0 ? params.step : 1.0;
    const long nx = std::max(1L, static_cast<long>(std::floor((maxx - minx) / step)));
    const long ny = std::max(1L, static_cast<long>(std::floor((maxy - miny) / step)));
    const FloatGrid& grid = params.sampleTerrain ? model.terrain : model.surface;
    std::vector<double> firsts;
    long raised = 0;
    const auto corner = [&](double x, double y, double& z) {
        return pointInRing(x, y, ring) && grid.sampleZ(x, y, z);
    };
    for (long j = 0; j < ny; ++j) {
        for (long i = 0; i < nx; ++i) {
            const double x0 = minx + static_cast<double>(i) * step;
            const double x1 = minx + static_cast<double>(i + 1) * step;
            const double y0 = miny + static_cast<double>(j) * step;
            const double y1 = miny + static_cast<double>(j + 1) * step;
            double z00, z10, z11, z01;
            if (!corner(x0, y0, z00) || !corner(x1, y0, z10) || !corner(x1, y1, z11) ||
                !corner(x0, y1, z01)) {
                continue;
            }
            double h = 0;
            if (model.heightAbove((x0 + x1) * 0.5, (y0 + y1) * 0.5, h) && h > params.minHeight) {
                ++raised;
            }
            out.faces.push_back({{{x0, y0, z00}, {x1, y0, z10}, {x1, y1, z11}}});
            out.faces.push_back({{{x0, y0, z00}, {x1, y1, z11}, {x0, y1, z01}}});
            firsts.push_back(z00);
        }
    }
    out.quality = firsts.empty() ? 0.0 : static_cast<double>(raised) / firsts.size();
    if (!firsts.empty() && out.quality >= params.minQuality) {
        out.flag = 0;
        return out;
    }
    out.faces.clear();
    double level = 0;
    if (!firsts.empty()) {
        std::sort(firsts.begin(), firsts.end());
        level = firsts[firsts.size() / 2];
    } else if (!grid.sampleZ((minx + maxx) * 0.5, (miny + maxy) * 0.5, level)) {
        return out;
    }
    out.faces.push_back({projectRingToPlane(ring, Plane{0, 0, 1, -level})});
    return out;
}

}  // namespace surfaceref
