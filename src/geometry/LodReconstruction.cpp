#include "geometry/LodReconstruction.h"

#include <cmath>

#include "geometry/OpenRing.h"
#include "geometry/RoofClassifier.h"
#include "geometry/lod2fit/BuildingFrame.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/MeshResidual.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"
#include "geometry/lod2fit/RoofBand.h"

namespace lod2fit {
namespace {

// Heights assumed when the cloud holds too few roof points to estimate them, m above the ground.
constexpr double kDefaultEaveRise = 0.1;
constexpr double kDefaultRidgeRise = 3.0;

struct WorkingPoints {
    std::vector<Vec3> points;
    double eaveZ = 0.0;
    double ridgeZ = 0.0;
};

WorkingPoints workingPoints(const std::vector<Vec3>& cloud, double groundZ) {
    RoofBand band = extractRoofBand(cloud, groundZ);
    if (band.ok) {
        return {std::move(band.points), band.eaveZ, band.ridgeZ};
    }
    return {cloud, groundZ + kDefaultEaveRise, groundZ + kDefaultRidgeRise};
}

// A placement of the primitive over the aligned footprint.
struct Placement {
    Footprint footprint;
    RoofParams params;
};

// The placements to try. Off-centre roofs have a mirror image over the same footprint: the
// asymmetric gable's ridge may lie nearer either long wall, and the shed may rise towards either
// one; both are fitted and the one nearer the points is kept.
std::vector<Placement> placements(std::string_view roofType, const Footprint& fp,
                                  const RoofParams& params) {
    std::vector<Placement> out{{fp, params}};
    if (roofType == "AsymGabled" && fp.pts.size() == 4) {
        out.push_back({startingAt(fp, 2), params});
    } else if (roofType == "Shed") {
        RoofParams flipped = params;
        flipped.axis = -1.0 * params.axis;
        out.push_back({fp, flipped});
    }
    return out;
}

struct Fitted {
    RoofParams params;
    SolidMesh mesh;
    double residual = 0.0;
};

Fitted bestFit(const RoofPrimitive& primitive, const std::vector<Placement>& tries,
               const std::vector<Vec3>& points) {
    Fitted best;
    for (std::size_t i = 0; i < tries.size(); ++i) {
        SolidMesh mesh = primitive.emit(tries[i].params, tries[i].footprint);
        const double residual = meanCloudToMesh(points, mesh);
        if (i == 0 || residual < best.residual) {
            best = {tries[i].params, std::move(mesh), residual};
        }
    }
    return best;
}

std::vector<Vec3> finiteOnly(const std::vector<Vec3>& cloud) {
    std::vector<Vec3> out;
    out.reserve(cloud.size());
    for (const Vec3& p : cloud) {
        if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) {
            out.push_back(p);
        }
    }
    return out;
}

}  // namespace

std::vector<Plane> segmentBuilding(const std::vector<Vec3>& points, const SegParams& params) {
    std::vector<Pt3> pts;
    pts.reserve(points.size());
    for (const Vec3& p : points) {
        pts.push_back({p.x, p.y, p.z});
    }
    return segmentRoofPlanes(pts, params);
}

ReconResult reconstructBuilding(const BuildingInput& input) {
    static const Flat fallback;
    ReconResult result;

    // The local frame lays the longest wall along +x, and the ring starts with that wall, so that
    // the primitives' ridges follow the building's long side.
    const Footprint footprint{withoutClosingPoint(input.footprint.pts)};
    const BuildingFrame frame(footprint);
    const Footprint local = startingAt(frame.toLocal(footprint), longestEdge(footprint).from);
    const WorkingPoints work = workingPoints(frame.toLocal(finiteOnly(input.cloud)), input.groundZ);

    const std::vector<Plane> planes = segmentBuilding(work.points, SegParams{});
    const RoofClass roof = classifyModelDriven(planes, work.points, local);
    result.roofType = roof.roofType;
    result.confidence = roof.confidence;

    const RoofParams params =
        fitParams(roof.roofType, local, input.groundZ, work.eaveZ, work.ridgeZ, input.base);
    const RoofPrimitive* found = findPrimitive(roof.roofType);
    const Fitted fit = bestFit(found != nullptr ? *found : fallback,
                               placements(roof.roofType, local, params), work.points);
    result.params = fit.params;
    result.meanResidual = fit.residual;
    result.flag = flagFromResidual(fit.residual, roof.confidence);
    result.mesh = rotatedZ(fit.mesh, frame.theta, frame.centre.x, frame.centre.y);
    return result;
}

}  // namespace lod2fit
