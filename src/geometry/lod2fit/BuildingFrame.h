#pragma once
// The building-local frame of the reconstruction: the longest wall, the turn that lays it along
// +x, and the parameters fitted in that frame.

#include <cstddef>
#include <string_view>
#include <vector>

#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/RoofParams.h"
#include "geometry/lod2fit/Vec3.h"

namespace lod2fit {

// The longest footprint edge, from corner `from` to the next corner (the last edge closing back
// to the first corner); the first of equal lengths.
struct LongestEdge {
    bool found = false;  // false for an empty footprint
    std::size_t from = 0;
    Vec2 delta;
    double length = 0.0;
};
LongestEdge longestEdge(const Footprint& fp);

// The turn about the mean of the footprint's corners that lays the longest edge along +x.
struct BuildingFrame {
    double theta = 0.0;  // direction of the longest edge, radians; 0 for an empty footprint
    Vec2 centre;

    explicit BuildingFrame(const Footprint& fp);

    // Turned by -theta about the centre, heights unchanged.
    std::vector<Vec3> toLocal(const std::vector<Vec3>& points) const;
    Footprint toLocal(const Footprint& fp) const;
};

// The same ring starting at corner `first`.
Footprint startingAt(const Footprint& fp, std::size_t first);

// A copy of base with groundZ, eaveZ, ridgeZ (at least eaveZ + 0.1) and the unit direction of the
// longest edge as axis ((1, 0) for an empty footprint; an edge shorter than 1e-9 unscaled). Every
// roof type gets the same parameters.
RoofParams fitParams(std::string_view roofType, const Footprint& fp, double groundZ, double eaveZ,
                     double ridgeZ, const RoofParams& base);

}  // namespace lod2fit
