// Every primitive on a set of footprints: the solid it gives is closed, and after orientation
// every part of it is wound outward with a positive volume.

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "MeshChecks.h"
#include "PrimitiveNames.h"
#include "geometry/lod2fit/AsymGabled.h"
#include "geometry/lod2fit/Barrel.h"
#include "geometry/lod2fit/BerlinRoof.h"
#include "geometry/lod2fit/BerlinShedCorner.h"
#include "geometry/lod2fit/Cone.h"
#include "geometry/lod2fit/Dome.h"
#include "geometry/lod2fit/FiveSidedGabled.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/Gabled.h"
#include "geometry/lod2fit/GabledCorner.h"
#include "geometry/lod2fit/GabledCross.h"
#include "geometry/lod2fit/GabledDormer.h"
#include "geometry/lod2fit/GabledTElement.h"
#include "geometry/lod2fit/HalfHipped.h"
#include "geometry/lod2fit/Hipped.h"
#include "geometry/lod2fit/HippedOneSided.h"
#include "geometry/lod2fit/Mansard.h"
#include "geometry/lod2fit/MeshClosure.h"
#include "geometry/lod2fit/MeshComponents.h"
#include "geometry/lod2fit/MeshOrientation.h"
#include "geometry/lod2fit/Nave.h"
#include "geometry/lod2fit/Shed.h"
#include "geometry/lod2fit/ShedBerlinCross.h"
#include "geometry/lod2fit/ShedCornerInvers.h"
#include "geometry/lod2fit/ShedDormer.h"
#include "geometry/lod2fit/ShedGabledCorner.h"
#include "geometry/lod2fit/ShedGabledCross.h"
#include "geometry/lod2fit/Tent.h"

namespace lod2fit {
namespace {

using testing::everyEdgeOnceEachWay;
using testing::signedVolume;

std::vector<std::unique_ptr<RoofPrimitive>> allPrimitives() {
    std::vector<std::unique_ptr<RoofPrimitive>> all;
    all.push_back(std::make_unique<Flat>());
    all.push_back(std::make_unique<Shed>());
    all.push_back(std::make_unique<Gabled>());
    all.push_back(std::make_unique<Hipped>());
    all.push_back(std::make_unique<Tent>());
    all.push_back(std::make_unique<HalfHipped>());
    all.push_back(std::make_unique<HippedOneSided>());
    all.push_back(std::make_unique<Mansard>());
    all.push_back(std::make_unique<FiveSidedGabled>());
    all.push_back(std::make_unique<AsymGabled>());
    all.push_back(std::make_unique<BerlinRoof>());
    all.push_back(std::make_unique<Barrel>());
    all.push_back(std::make_unique<Cone>());
    all.push_back(std::make_unique<Dome>());
    all.push_back(std::make_unique<Nave>());
    all.push_back(std::make_unique<GabledCross>());
    all.push_back(std::make_unique<GabledCorner>());
    all.push_back(std::make_unique<GabledTElement>());
    all.push_back(std::make_unique<ShedGabledCross>());
    all.push_back(std::make_unique<ShedBerlinCross>());
    all.push_back(std::make_unique<ShedCornerInvers>());
    all.push_back(std::make_unique<ShedGabledCorner>());
    all.push_back(std::make_unique<BerlinShedCorner>());
    all.push_back(std::make_unique<ShedDormer>());
    all.push_back(std::make_unique<GabledDormer>());
    return all;
}

std::map<std::string, Footprint> footprints() {
    return {
        {"rectangle", {{{0, 0}, {10, 0}, {10, 6}, {0, 6}}}},
        {"square", {{{0, 0}, {8, 0}, {8, 8}, {0, 8}}}},
        {"clockwise", {{{0, 0}, {0, 6}, {10, 6}, {10, 0}}}},
        {"clockwise from its wall along x", {{{0, 6}, {10, 6}, {10, 0}, {0, 0}}}},
        {"turned", {{{0, 0}, {8, 6}, {5, 10}, {-3, 4}}}},
        {"trapezoid", {{{0, 0}, {12, 0}, {9, 5}, {3, 5}}}},
        {"triangle", {{{0, 0}, {9, 0}, {3, 7}}}},
        {"L", {{{0, 0}, {12, 0}, {12, 4}, {4, 4}, {4, 9}, {0, 9}}}},
        {"U", {{{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}}}},
        {"map",
         {{{512340.25, 301220.5},
           {512352.75, 301220.5},
           {512352.75, 301228.0},
           {512340.25, 301228.0}}}},
    };
}

// Volume of each separate part, so that an inside-out part cannot hide behind a larger one.
std::vector<double> partVolumes(const SolidMesh& mesh) {
    const std::vector<std::int32_t> label = vertexComponents(mesh);
    std::map<std::int32_t, SolidMesh> parts;
    for (const Face& f : mesh.faces) {
        SolidMesh& part = parts[label[f[0]]];
        part.faces.push_back(f);
    }
    std::vector<double> volumes;
    for (auto& [root, part] : parts) {
        part.vertices = mesh.vertices;
        volumes.push_back(signedVolume(part));
    }
    return volumes;
}

TEST(AllPrimitives, ClosedAndOutwardOnEveryFootprint) {
    RoofParams params;
    params.groundZ = 100;
    params.eaveZ = 103;
    params.ridgeZ = 107;
    params.hipInset = 1.5;
    for (const auto& primitive : allPrimitives()) {
        for (const auto& [shape, fp] : footprints()) {
            SCOPED_TRACE(std::string(primitive->name()) + " on " + shape);
            SolidMesh mesh = primitive->emit(params, fp);
            ASSERT_FALSE(mesh.faces.empty());
            EXPECT_TRUE(isWatertightMulti(mesh));
            normalizeOutwardNormals(mesh);
            EXPECT_TRUE(everyEdgeOnceEachWay(mesh));
            for (const double v : partVolumes(mesh)) {
                EXPECT_GT(v, 1.0);
            }
            // Oriented once, the solid is left as it is.
            SolidMesh again = mesh;
            EXPECT_EQ(normalizeOutwardNormals(again), 0);
        }
    }
}

TEST(AllPrimitives, NamesAreTheClassNames) {
    std::vector<std::string> names;
    for (const auto& primitive : allPrimitives()) {
        names.emplace_back(primitive->name());
    }
    EXPECT_EQ(names, lod2fit::test::kPrimitiveNames);
}

TEST(AllPrimitives, FootprintsWithoutAreaGiveNoSolid) {
    const std::vector<Footprint> unbuildable{
        {},
        {{{0, 0}}},
        {{{0, 0}, {5, 5}}},
        {{{0, 0}, {5, 5}, {10, 10}}},
        {{{0, 0}, {10, 0}, {10, 0}, {0, 0}}},
    };
    for (const auto& primitive : allPrimitives()) {
        for (const Footprint& fp : unbuildable) {
            SCOPED_TRACE(std::string(primitive->name()) + " on " + std::to_string(fp.pts.size()) +
                         " points");
            EXPECT_EQ(primitive->emit(RoofParams{}, fp), SolidMesh{});
        }
    }
}

}  // namespace
}  // namespace lod2fit
