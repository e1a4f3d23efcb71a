#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "builders/SyntheticRoofs.h"
#include "geometry/LodReconstruction.h"
#include "geometry/RoofClassifier.h"
#include "geometry/lod2fit/MeshClosure.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"

namespace lod2fit {
namespace {

using synthetic::Building;

class Reconstruction : public ::testing::Test {
protected:
    static void SetUpTestSuite() { registerAllPrimitives(); }

    static BuildingInput inputFor(const Building& b, const synthetic::RoofShape& roof,
                                  int start = 0, int count = 1200) {
        BuildingInput in;
        in.cloud = b.cloud(roof, count);
        in.footprint = b.footprint(start);
        in.groundZ = synthetic::kGroundZ;
        in.base.groundZ = synthetic::kGroundZ;
        return in;
    }
};

// The two highest vertices of the solid in the building's local (u, v) frame.
std::pair<Vec2, Vec2> ridgeEnds(const ReconResult& r, const Building& b) {
    std::vector<Vec3> v = r.mesh.vertices;
    std::sort(v.begin(), v.end(), [](const Vec3& a, const Vec3& c) { return a.z > c.z; });
    return {b.toLocal({v[0].x, v[0].y}), b.toLocal({v[1].x, v[1].y})};
}

// Whether the mesh's bottom ring (its first n vertices) is the footprint's ring, from any start.
bool bottomRingIs(const SolidMesh& mesh, const Footprint& fp, double z) {
    const std::size_t n = fp.pts.size();
    if (mesh.vertices.size() < n) {
        return false;
    }
    for (std::size_t shift = 0; shift < n; ++shift) {
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) {
            const Vec3 v = mesh.vertices[i];
            const Vec2 p = fp.pts[(i + shift) % n];
            same = std::abs(v.x - p.x) < 1e-6 && std::abs(v.y - p.y) < 1e-6 &&
                   std::abs(v.z - z) < 1e-9;
        }
        if (same) {
            return true;
        }
    }
    return false;
}

TEST_F(Reconstruction, GableOnTurnedFootprintHasItsRidgeAlongTheLongSideFromAnyStartCorner) {
    const Building b;  // 16 x 10 m, turned 30 degrees
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE(start);
        const ReconResult r = reconstructBuilding(inputFor(b, synthetic::gable(10, 30, 35), start));
        EXPECT_EQ(r.roofType, "Gabled");
        EXPECT_DOUBLE_EQ(r.confidence, 0.9);
        EXPECT_EQ(r.flag, 0);
        EXPECT_LT(r.meanResidual, 0.3);
        const auto [a, c] = ridgeEnds(r, b);
        // Along u, over the middle of the width, spanning the length.
        EXPECT_NEAR(std::abs(c.x - a.x), 16.0, 1e-6);
        EXPECT_NEAR(a.y, 5.0, 1e-6);
        EXPECT_NEAR(c.y, 5.0, 1e-6);
        EXPECT_TRUE(isWatertight(r.mesh));
    }
}

TEST_F(Reconstruction, UnequalSlopesGiveAnOffCentreRidgeNearerTheSteepWall) {
    const Building b;
    for (int start = 0; start < 4; ++start) {
        SCOPED_TRACE(start);
        const ReconResult r = reconstructBuilding(inputFor(b, synthetic::gable(10, 20, 40), start));
        EXPECT_EQ(r.roofType, "AsymGabled");
        EXPECT_DOUBLE_EQ(r.confidence, 0.8);
        EXPECT_EQ(r.flag, 0);
        const auto [a, c] = ridgeEnds(r, b);
        // The shallow slope rises from v = 0 and spans 68 % of the width.
        EXPECT_NEAR(a.y, 6.8, 1e-6);
        EXPECT_NEAR(c.y, 6.8, 1e-6);
    }
}

TEST_F(Reconstruction, ShedRisesTowardsTheWallItsPointsRiseTo) {
    const Building b;
    for (const bool towardsNear : {false, true}) {
        SCOPED_TRACE(towardsNear);
        const ReconResult r =
            reconstructBuilding(inputFor(b, synthetic::shed(10, 15, towardsNear)));
        EXPECT_EQ(r.roofType, "Shed");
        EXPECT_EQ(r.flag, 0);
        EXPECT_LT(r.meanResidual, 0.3);
        const auto [a, c] = ridgeEnds(r, b);
        const double high = towardsNear ? 0.0 : 10.0;
        EXPECT_NEAR(a.y, high, 1e-6);
        EXPECT_NEAR(c.y, high, 1e-6);
    }
}

TEST_F(Reconstruction, LevelRoofIsFlatAndTrusted) {
    const Building b;
    const ReconResult r = reconstructBuilding(inputFor(b, synthetic::flat(synthetic::kEaveZ)));
    EXPECT_EQ(r.roofType, "Flat");
    EXPECT_DOUBLE_EQ(r.confidence, 1.0);
    EXPECT_EQ(r.flag, 0);
    EXPECT_LT(r.meanResidual, 0.1);
    EXPECT_NEAR(r.params.eaveZ, synthetic::kEaveZ, 0.05);
}

TEST_F(Reconstruction, PointsLevelWithTheRoofButBesideTheBuildingAreAPoorFit) {
    // A level cloud three times as long as the footprint: two thirds of it lies beside the
    // walls, in the roof's plane but metres away from the solid.
    Building wide;
    wide.length = 48.0;
    BuildingInput in = inputFor(wide, synthetic::flat(synthetic::kEaveZ));
    in.footprint = Building{}.footprint();
    const ReconResult r = reconstructBuilding(in);
    EXPECT_EQ(r.roofType, "Flat");
    EXPECT_GT(r.meanResidual, 5.0);
    EXPECT_EQ(r.flag, 1);
}

TEST_F(Reconstruction, FourHipsAreHippedButNeverTrusted) {
    const Building b;
    const ReconResult r = reconstructBuilding(inputFor(b, synthetic::hip(16, 10, 30)));
    EXPECT_EQ(r.roofType, "Hipped");
    EXPECT_DOUBLE_EQ(r.confidence, 0.35);
    EXPECT_EQ(r.flag, 1);
    EXPECT_LT(r.meanResidual, 1.6);
}

TEST_F(Reconstruction, RepeatedRunsAreBitIdentical) {
    const Building b;
    const BuildingInput in = inputFor(b, synthetic::gable(10, 20, 40), 1);
    const ReconResult first = reconstructBuilding(in);
    for (int run = 0; run < 3; ++run) {
        const ReconResult again = reconstructBuilding(in);
        EXPECT_EQ(again.roofType, first.roofType);
        EXPECT_EQ(again.mesh, first.mesh);
        EXPECT_EQ(again.meanResidual, first.meanResidual);
        EXPECT_EQ(again.params.eaveZ, first.params.eaveZ);
        EXPECT_EQ(again.params.ridgeZ, first.params.ridgeZ);
        EXPECT_EQ(again.params.axis, first.params.axis);
    }
}

TEST_F(Reconstruction, BuildingsOnSeveralThreadsGiveWhatTheyGiveOneByOne) {
    const Building b;
    std::vector<BuildingInput> inputs;
    for (int k = 0; k < 8; ++k) {
        const synthetic::RoofShape roof = k % 3 == 0   ? synthetic::gable(10, 30, 35)
                                          : k % 3 == 1 ? synthetic::gable(10, 20, 40)
                                                       : synthetic::hip(16, 10, 30);
        inputs.push_back(inputFor(b, roof, k % 4));
    }
    std::vector<ReconResult> serial;
    for (const BuildingInput& in : inputs) {
        serial.push_back(reconstructBuilding(in));
    }
    std::vector<ReconResult> parallel(inputs.size());
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            for (std::size_t i = t; i < inputs.size(); i += 4) {
                parallel[i] = reconstructBuilding(inputs[i]);
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        EXPECT_EQ(parallel[i].roofType, serial[i].roofType);
        EXPECT_EQ(parallel[i].mesh, serial[i].mesh);
        EXPECT_EQ(parallel[i].meanResidual, serial[i].meanResidual);
    }
}

TEST_F(Reconstruction, SolidStandsOnTheGivenFootprintEvenWithARepeatedClosingPoint) {
    const Building b;
    BuildingInput in = inputFor(b, synthetic::gable(10, 30, 35), 2);
    const Footprint open = in.footprint;
    in.footprint.pts.push_back(in.footprint.pts.front());
    const ReconResult r = reconstructBuilding(in);
    EXPECT_EQ(r.roofType, "Gabled");
    EXPECT_TRUE(bottomRingIs(r.mesh, open, synthetic::kGroundZ));
    // Floor, four walls and the four roof faces of the gable, not a flat five-corner block.
    EXPECT_EQ(r.mesh.faces.size(), 9u);
    const auto [a, c] = ridgeEnds(r, b);
    EXPECT_NEAR(std::abs(c.x - a.x), 16.0, 1e-6);
}

TEST_F(Reconstruction, LongestEdgeRunningNorthIsTurnedBackOntoTheFootprint) {
    Building b;
    b.angleDeg = 90.0;
    const ReconResult r = reconstructBuilding(inputFor(b, synthetic::gable(10, 30, 30)));
    EXPECT_EQ(r.roofType, "Gabled");
    EXPECT_NEAR(r.params.axis.x, 1.0, 1e-12);
    EXPECT_NEAR(r.params.axis.y, 0.0, 1e-12);
    EXPECT_TRUE(bottomRingIs(r.mesh, b.footprint(), synthetic::kGroundZ));
}

TEST_F(Reconstruction, SparseCloudFallsBackToDefaultHeightsAndIsNotTrusted) {
    const Building b;
    BuildingInput in = inputFor(b, synthetic::gable(10, 30, 35));
    in.cloud.resize(7);
    const ReconResult r = reconstructBuilding(in);
    EXPECT_EQ(r.roofType, "Flat");
    EXPECT_DOUBLE_EQ(r.params.eaveZ, synthetic::kGroundZ + 0.1);
    EXPECT_DOUBLE_EQ(r.params.ridgeZ, synthetic::kGroundZ + 3.0);
    // Seven roof points lie 6 m and more above a 0.1 m block.
    EXPECT_EQ(r.flag, 1);
}

TEST_F(Reconstruction, FootprintWithoutAreaGivesNoSolidAndAFlag) {
    BuildingInput in;
    in.cloud = Building{}.cloud(synthetic::flat(synthetic::kEaveZ), 200);
    in.footprint.pts = {{0, 0}, {10, 0}};
    const ReconResult r = reconstructBuilding(in);
    EXPECT_TRUE(r.mesh.faces.empty());
    EXPECT_EQ(r.meanResidual, 1e9);
    EXPECT_EQ(r.flag, 1);
}

}  // namespace
}  // namespace lod2fit
