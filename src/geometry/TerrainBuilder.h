#pragma once
// Terrain mesh tiles: a height sampler sampled on a regular node grid over a frame, cut into at
// most 4 x 4 tiles of at most 201 nodes per axis. Neighbouring tiles share their edge nodes, so
// their meshes meet without gaps.

#include <optional>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/HeightSampler.h"

struct TerrainPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// `bounds` runs from the tile's first node to its last, whether or not they had data; `pts` are
// the nodes where the sampler gave a height, row by row from the south, each row from the west.
struct TerrainTile {
    Bbox bounds;
    std::vector<TerrainPoint> pts;
};

class TerrainBuilder {
public:
    // Nodes at (minx + i * step, miny + j * step) within the frame (a step not above 0 is taken
    // as 1). A frame that needs more than 4 tiles along an axis keeps the 4 from its south-west
    // corner and `message` tells which step would cover it; otherwise the message is empty.
    // Tiles without any height are left out.
    static std::vector<TerrainTile> build(const Bbox& frame, double step,
                                          const HeightSampler& sampler, std::string& message);

    // The part of the frame whose nodes build samples (from its first node to its last) when it
    // keeps fewer tiles than the frame needs; nothing when its tiles cover the frame.
    static std::optional<Bbox> sampledPart(const Bbox& frame, double step);
};
