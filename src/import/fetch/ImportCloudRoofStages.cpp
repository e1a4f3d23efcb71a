// The point-cloud roof stages of the fetch: flat roofs and LoD2 reconstruction over the LoD1
// footprints from the classified LiDAR points of the frame. The reconstruction fits one building
// per core at a time.

#include "import/fetch/ImportCloudRoofStages.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "geodata/CityGmlReader.h"
#include "geodata/LidarResolver.h"
#include "geodata/NumberText.h"
#include "geometry/CellKey.h"
#include "geometry/GroundModel.h"
#include "geometry/LodReconstruction.h"
#include "geometry/PlanPolygons.h"
#include "geometry/RoofPlacement.h"
#include "geometry/lod2fit/MeshOrientation.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"
#include "import/fetch/FetchRun.h"
#include "import/fetch/ImportSurfaceStages.h"
#include "import/fetch/SheetPoints.h"

namespace {

constexpr double kGroundCell = 2.0;       // cells of the ground model of the flat roofs, m
constexpr double kGroundShare = 0.02;     // the ground under a footprint: this low a quantile
constexpr std::size_t kFewInside = 20;    // fewer points inside: take those above the ground
constexpr double kAboveGround = 1.0;      // ... by more than this, m
constexpr std::size_t kTooFewPoints = 7;  // this many or fewer: no reconstruction
constexpr std::size_t kLoggedFootprints = 20;
constexpr std::size_t kLongestLogLine = 255;

constexpr BuildParams kFlatRoofParams{.minCoverage = 0.6,
                                      .minPoints = 30,
                                      .minAboveGround = 3.0,
                                      .fallbackAboveGround = 3.0,
                                      .cellSize = 1.0};

// The fixed texts of one stage.
struct CloudTexts {
    std::string prefix;
    std::string noFootprints;
};
constexpr const char* kFootprintsUnreached =
    "pominiete - obrysy budynkow (LOD1) nie zostaly pobrane, bo ich usluga nie odpowiada.";

const CloudTexts kRoofTexts{
    "Dachy z chmury: ",
    "Dachy z chmury: brak obrysow budynkow (Building3D) dla tego kadru - nie ma na czym oprzec "
    "dachu."};
const CloudTexts kRekonTexts{
    "Rekonstrukcja LOD2: ",
    "Rekonstrukcja LOD2: brak obrysow budynkow (Building3D) dla tego kadru."};

// The stage's sentence for a frame without footprints: why there are none.
std::string noFootprints(bool unreached, const CloudTexts& texts) {
    return unreached ? texts.prefix + kFootprintsUnreached : texts.noFootprints;
}

// The LiDAR points of the frame and how many tiles they came from.
struct FrameCloud {
    std::size_t tiles = 0;
    std::vector<ClPoint> points;
};

// The points of the frame from every tile of the frame, downloaded one after another through the
// cache and read in PL-1992 (a tile in a PL-2000 zone is moved point by point); nothing, after
// one warning, when a cancel came meanwhile, when the index or the tiles' service was not
// reached, when no tile gave a file or the files hold no point of the frame. Tiles that did not
// come or read whole beside others that did are named. A cancel ends a download or a reading
// early and leaves the tiles after it.
std::optional<FrameCloud> frameCloud(WfsClient& client, const Bbox& frame, const CloudTexts& texts,
                                     const std::atomic<bool>& stop,
                                     const std::function<void(int, int)>& progress,
                                     const std::function<void(const std::string&)>& warn) {
    LidarResolver lidar(client);
    const sheetindex::Listing<LidarResolver::LidarTile> listing = lidar.listFor(frame);
    if (!fetchstages::acceptListing(texts.prefix, "LiDAR", listing, warn))
        return std::nullopt;
    FrameCloud cloud;
    const sheetpoints::SheetsRead read = sheetpoints::readSheets(
        lidar, listing.sheets, stop, progress,
        [&](const std::string& path, const LidarResolver::LidarTile& tile) {
            return sheetpoints::readFramePoints(
                path, tile.epsg, frame, stop, [](const ClPoint&) { return true; },
                [&cloud](const ClPoint& p) { cloud.points.push_back(p); });
        });
    cloud.tiles = read.read;
    if (!sheetpoints::acceptSheets(texts.prefix, read, warn))
        return std::nullopt;
    if (cloud.tiles == 0) {
        warn(texts.prefix + "brak danych LiDAR dla tego obszaru.");
        return std::nullopt;
    }
    if (cloud.points.empty()) {
        warn(texts.prefix + "chmura pusta w kadrze.");
        return std::nullopt;
    }
    return cloud;
}

// The low quantile of the heights; 0 without points.
double groundOf(const std::vector<ClPoint>& points) {
    if (points.empty())
        return 0.0;
    std::vector<double> z;
    z.reserve(points.size());
    for (const ClPoint& p : points)
        z.push_back(p.z);
    const auto at = z.begin() + static_cast<std::ptrdiff_t>(
                                    std::floor(static_cast<double>(z.size() - 1) * kGroundShare));
    std::nth_element(z.begin(), at, z.end());
    return *at;
}

// The points of the building: those inside the footprint (even-odd), or, when fewer than 20 are,
// every candidate more than 1 m above the ground.
std::vector<lod2fit::Vec3> buildingCloud(const std::vector<ClPoint>& candidates,
                                         const PlanRing& ring, double ground) {
    std::vector<lod2fit::Vec3> cloud;
    for (const ClPoint& p : candidates) {
        if (pointInRing(p.x, p.y, ring))
            cloud.push_back({p.x, p.y, p.z});
    }
    if (cloud.size() >= kFewInside)
        return cloud;
    cloud.clear();
    for (const ClPoint& p : candidates) {
        if (p.z > ground + kAboveGround)
            cloud.push_back({p.x, p.y, p.z});
    }
    return cloud;
}

// One face a mesh face, in its corner order; flag 1 for a fit that is not trusted.
RoofModel modelOf(const lod2fit::SolidMesh& mesh, int flag) {
    RoofModel model;
    model.flag = flag == 0 ? 0 : 1;
    model.faces.reserve(mesh.faces.size());
    for (const lod2fit::Face& face : mesh.faces) {
        RoofFace roof;
        for (const std::int32_t corner : face) {
            const lod2fit::Vec3& v = mesh.vertices[static_cast<std::size_t>(corner)];
            roof.pts.push_back({v.x, v.y, v.z});
        }
        model.faces.push_back(std::move(roof));
    }
    return model;
}

// Calls body(i) for every i below count on every core, the calling thread among them. progress
// hears (0, count) before the first item and then, as items finish in whatever order, the number
// finished, up to count - 1: the page sees the counts one after another as on one thread. Its
// calls never overlap; each comes from the thread that finished the item. When starting a thread
// fails, the ones already running do the work. The first exception stops the rest of the items
// and is thrown here once every thread has ended. stop() is asked before each item; once it
// holds, the items not yet taken are left out. Whether every item was done.
bool onAllCores(std::size_t count, const std::function<void(std::size_t)>& body,
                const std::function<void(int, int)>& progress, const std::function<bool()>& stop) {
    if (count == 0)
        return true;
    std::atomic<std::size_t> next{0};
    std::mutex reporting;
    std::size_t done = 0;  // guarded by reporting, so that the counts go out in their order
    std::atomic<bool> stopped{false};
    std::atomic_flag failed;
    std::exception_ptr failure;
    const auto finished = [&] {
        const std::lock_guard lock(reporting);
        if (++done < count)
            progress(static_cast<int>(done), static_cast<int>(count));
    };
    const auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            if (stop()) {
                stopped = true;
                next = count;
                break;
            }
            try {
                body(i);
                finished();
            } catch (...) {
                if (!failed.test_and_set())
                    failure = std::current_exception();
                next = count;
            }
        }
    };
    progress(0, static_cast<int>(count));
    const std::size_t cores = std::max(std::thread::hardware_concurrency(), 1u);
    std::vector<std::jthread> helpers;
    for (std::size_t k = 1; k < std::min(cores, count); ++k) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    helpers.clear();  // joins
    if (failure)
        std::rethrow_exception(failure);
    return !stopped;
}

std::string logLine(std::size_t index, const cloudroofs::Reconstructed& r) {
    using numbertext::fixed;
    std::string line = "  #" + std::to_string(index) + " " + r.roofType + " [" +
                       (r.ok ? "Ok" : "Fallback") + "] centroid2180=" + fixed(r.centre.x, 1) + "," +
                       fixed(r.centre.y, 1) + " nDach=" + std::to_string(r.cloudPoints) +
                       " groundZ=" + fixed(r.groundZ, 2) + " eaveZ=" + fixed(r.eaveZ, 2) +
                       " ridgeZ=" + fixed(r.ridgeZ, 2) + " wys=" + fixed(r.ridgeZ - r.groundZ, 2);
    line.resize(std::min(line.size(), kLongestLogLine - 1));
    return line + "\n";
}

}  // namespace

namespace cloudroofs {

PointBuckets::PointBuckets(const std::vector<ClPoint>& points) : points_(points) {
    if (!points.empty()) {
        x0_ = std::min_element(points.begin(), points.end(), [](auto& a, auto& b) {
                  return a.x < b.x;
              })->x;
        y0_ = std::min_element(points.begin(), points.end(), [](auto& a, auto& b) {
                  return a.y < b.y;
              })->y;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        const std::int64_t col = cellIndex(points[i].x - x0_, kSize);
        const std::int64_t row = cellIndex(points[i].y - y0_, kSize);
        lastCol_ = std::max(lastCol_, col);
        lastRow_ = std::max(lastRow_, row);
        buckets_[packCellKey(col, row)].push_back(static_cast<std::uint32_t>(i));
    }
}

std::vector<ClPoint> PointBuckets::around(const Bbox& box) const {
    std::vector<ClPoint> found;
    if (!std::isfinite(box.minx) || !std::isfinite(box.miny) || !std::isfinite(box.maxx) ||
        !std::isfinite(box.maxy))
        return found;
    // No bucket lies before column and row 0 or after the last ones.
    const std::int64_t firstCol = std::max<std::int64_t>(cellIndex(box.minx - x0_, kSize) - 1, 0);
    const std::int64_t endCol = std::min(cellIndex(box.maxx - x0_, kSize) + 1, lastCol_);
    const std::int64_t firstRow = std::max<std::int64_t>(cellIndex(box.miny - y0_, kSize) - 1, 0);
    const std::int64_t endRow = std::min(cellIndex(box.maxy - y0_, kSize) + 1, lastRow_);
    for (std::int64_t col = firstCol; col <= endCol; ++col) {
        for (std::int64_t row = firstRow; row <= endRow; ++row) {
            const auto bucket = buckets_.find(packCellKey(col, row));
            if (bucket == buckets_.end())
                continue;
            for (const std::uint32_t i : bucket->second)
                found.push_back(points_[i]);
        }
    }
    return found;
}

Reconstructed reconstructFootprint(const std::vector<GisPoint>& footprint,
                                   const PointBuckets& buckets) {
    Reconstructed out;
    if (footprint.empty())
        return out;
    const Bbox box = citygml::boxOf(footprint);
    out.centre = {(box.minx + box.maxx) * 0.5, (box.miny + box.maxy) * 0.5};
    const std::vector<ClPoint> candidates = buckets.around(box);
    out.groundZ = groundOf(candidates);
    lod2fit::BuildingInput input;
    input.cloud = buildingCloud(candidates, surfacestages::planRingOf(footprint), out.groundZ);
    out.cloudPoints = input.cloud.size();
    if (out.cloudPoints <= kTooFewPoints)
        return out;
    for (const GisPoint& p : footprint)
        input.footprint.pts.push_back({p.x, p.y});
    input.groundZ = out.groundZ;
    input.base.groundZ = out.groundZ;
    lod2fit::ReconResult result = lod2fit::reconstructBuilding(input);
    lod2fit::normalizeOutwardNormals(result.mesh);
    out.model = modelOf(result.mesh, result.flag);
    out.fitted = true;
    out.roofType = std::move(result.roofType);
    out.ok = result.flag == 0;
    out.eaveZ = result.params.eaveZ;
    out.ridgeZ = result.params.ridgeZ;
    return out;
}

std::optional<std::vector<Reconstructed>> reconstructAll(
    const std::vector<Building3D>& buildings, const PointBuckets& buckets,
    const std::function<void(int, int)>& progress, const std::function<bool()>& stop) {
    std::vector<Reconstructed> all(buildings.size());
    const bool whole = onAllCores(
        buildings.size(),
        [&](std::size_t i) { all[i] = reconstructFootprint(buildings[i].footprint, buckets); },
        progress, stop);
    if (!whole)
        return std::nullopt;
    return all;
}

std::string reconstructionStatus(std::size_t tiles, std::size_t points,
                                 const std::vector<Reconstructed>& all) {
    std::map<std::string, int> types;
    int ok = 0;
    int fitted = 0;
    double heightSum = 0.0;
    double lowest = 1e18;
    double highest = -1e18;
    double groundSum = 0.0;
    std::string log;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Reconstructed& r = all[i];
        if (!r.fitted)
            continue;
        ++types[r.roofType];
        ok += r.ok ? 1 : 0;
        if (i < kLoggedFootprints)
            log += logLine(i, r);
        const double height = r.ridgeZ - r.eaveZ;
        heightSum += height;
        lowest = std::min(lowest, height);
        highest = std::max(highest, height);
        groundSum += r.groundZ;
        ++fitted;
    }
    std::string typeList;
    for (const auto& [type, count] : types)
        typeList += " " + type + "=" + std::to_string(count);
    if (types.empty())
        typeList = " (brak)";
    using numbertext::fixed;
    const auto mean = [fitted](double sum) { return fitted > 0 ? sum / fitted : 0.0; };
    const std::string heights =
        " | wys.dachu(ridge-eave) min=" + fixed(fitted > 0 ? lowest : 0.0, 2) +
        " sr=" + fixed(mean(heightSum), 2) + " max=" + fixed(fitted > 0 ? highest : 0.0, 2) +
        " | groundZ sr=" + fixed(mean(groundSum), 2) + " (npm, przed zOff)";
    return "Rekonstrukcja LOD2: " + std::to_string(tiles) + " kafli, " + std::to_string(points) +
           " pkt, " + std::to_string(all.size()) + " budynkow, Ok(class)=" + std::to_string(ok) +
           "; typy:" + typeList + heights + "\n" + log;
}

}  // namespace cloudroofs

void ImportController::fetchCloudRoofs(FetchRun& run) {
    const std::vector<Building3D>& buildings = run.data.lod1;
    if (buildings.empty()) {
        run.appendWarning(noFootprints(run.footprintsUnreached, kRoofTexts));
        return;
    }
    const std::optional<FrameCloud> cloud =
        frameCloud(client_, run.bbox, kRoofTexts, cancel_,
                   cancellableProgress("Dachy z chmury: pobieranie kafli LiDAR"),
                   [&run](const std::string& text) { run.appendWarning(text); });
    if (!cloud)
        return;
    stageProgress("Dachy z chmury: model terenu")(0, 1);
    const GroundModel ground(cloud->points, kGroundCell);
    const cloudroofs::PointBuckets buckets(cloud->points);
    // Placement takes the roofs only with one for every footprint: a cancel drops them all.
    std::optional<std::vector<RoofModel>> roofs = fetchstages::itemsUnlessCutShort(
        buildings.size(), cancel_, cancellableProgress("Dachy z chmury: dopasowanie dachow"),
        [&](std::size_t i) {
            const std::vector<GisPoint>& footprint = buildings[i].footprint;
            const std::vector<ClPoint> candidates = footprint.empty()
                                                        ? std::vector<ClPoint>()
                                                        : buckets.around(citygml::boxOf(footprint));
            return buildRoof(surfacestages::planRingOf(footprint), candidates, ground,
                             kFlatRoofParams);
        });
    if (!roofs) {
        run.appendWarning(fetchstages::cutShortSentence(kRoofTexts.prefix));
        return;
    }
    run.data.roofsCloud = std::move(*roofs);
    run.data.roofsCloudStatus = "Dachy z chmury: " + std::to_string(cloud->tiles) + " kafli, " +
                                std::to_string(cloud->points.size()) + " pkt, " +
                                std::to_string(run.data.roofsCloud.size()) + " obrysow.";
}

void ImportController::fetchReconstruction(FetchRun& run) {
    const std::vector<Building3D>& buildings = run.data.lod1;
    if (buildings.empty()) {
        run.appendWarning(noFootprints(run.footprintsUnreached, kRekonTexts));
        return;
    }
    const std::optional<FrameCloud> cloud =
        frameCloud(client_, run.bbox, kRekonTexts, cancel_,
                   cancellableProgress("Rekonstrukcja LOD2: pobieranie kafli LiDAR"),
                   [&run](const std::string& text) { run.appendWarning(text); });
    if (!cloud)
        return;
    lod2fit::registerAllPrimitives();  // before the threads: they only read the registry
    const cloudroofs::PointBuckets buckets(cloud->points);
    std::optional<std::vector<cloudroofs::Reconstructed>> all = cloudroofs::reconstructAll(
        buildings, buckets, cancellableProgress("Rekonstrukcja LOD2: dopasowanie"), isCancelled());
    // As with the flat roofs, the solids of only some footprints are not kept.
    if (!all) {
        run.appendWarning(fetchstages::cutShortSentence(kRekonTexts.prefix));
        return;
    }
    run.data.roofsRekon.reserve(all->size());
    for (cloudroofs::Reconstructed& r : *all)
        run.data.roofsRekon.push_back(std::move(r.model));
    run.data.roofsRekonStatus =
        cloudroofs::reconstructionStatus(cloud->tiles, cloud->points.size(), *all);
}
