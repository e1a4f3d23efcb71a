#include "support/fakes/KnownRoofs.h"

namespace fakes {
namespace {

constexpr int kPerRow = 25;
constexpr double kSpacing = 40.0;
constexpr double kBlockHeight = 9.0;

KnownRoof roofOfKind(int kind, const synthetic::Building& b) {
    switch (kind) {
        case 0:
            return {b, synthetic::gable(b.width, 30, 35), "Gabled"};
        case 1:
            return {b, synthetic::hip(b.length, b.width, 30), "Hipped"};
        case 2:
            return {b, synthetic::shed(b.width, 15), "Shed"};
        default:
            return {b, synthetic::flat(synthetic::kEaveZ), "Flat"};
    }
}

}  // namespace

std::vector<KnownRoof> knownRoofs(GisPoint corner, int count) {
    std::vector<KnownRoof> roofs;
    for (int i = 0; i < count; ++i) {
        synthetic::Building b;
        b.corner = {corner.x + (i % kPerRow) * kSpacing, corner.y + (i / kPerRow) * kSpacing};
        roofs.push_back(roofOfKind(i % 4, b));
    }
    return roofs;
}

std::vector<Building3D> blocksOf(const std::vector<KnownRoof>& roofs) {
    std::vector<Building3D> blocks;
    for (std::size_t i = 0; i < roofs.size(); ++i) {
        Building3D block{"dach." + std::to_string(i), {}, synthetic::kGroundZ, kBlockHeight};
        for (const lod2fit::Vec2& c : roofs[i].building.footprint().pts)
            block.footprint.push_back({c.x, c.y});
        block.footprint.push_back(block.footprint.front());
        blocks.push_back(std::move(block));
    }
    return blocks;
}

std::vector<ClPoint> lidarPointsOf(const std::vector<KnownRoof>& roofs, int roofPoints) {
    std::vector<ClPoint> points;
    for (const KnownRoof& r : roofs) {
        const std::vector<ClPoint> own = synthetic::lidarPoints(r.building, r.roof, roofPoints);
        points.insert(points.end(), own.begin(), own.end());
    }
    return points;
}

}  // namespace fakes
