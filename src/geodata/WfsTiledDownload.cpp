// WfsClient's tiled feature download: the area is cut into cells of 500 m, each cell is asked
// for separately (page by page when it holds more features than one answer may carry), every
// answer is kept in the download cache, and the features are spliced into one document. A stop
// ends the download before its next page.

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "geodata/DownloadCache.h"
#include "geodata/GmlSplice.h"
#include "geodata/Net.h"
#include "geodata/WfsClient.h"

namespace {

constexpr double kCellSize = 500.0;
constexpr int kPageSize = 1000;
constexpr int kMaxPages = 50;

bool hasArea(const Bbox& b) {
    const bool finite = std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) &&
                        std::isfinite(b.maxy);
    return finite && b.maxx > b.minx && b.maxy > b.miny;
}

double cellsAlong(double from, double to) {
    return std::max(1.0, std::ceil((to - from) / kCellSize));
}

// The cells of a box, column by column (west to east, each column south to north); those of the
// last column and row are clipped to the box.
struct CellGrid {
    Bbox box;
    int nx = 0;
    int ny = 0;

    int count() const { return nx * ny; }
    Bbox cell(int k) const {
        const double x = box.minx + (k / ny) * kCellSize;
        const double y = box.miny + (k % ny) * kCellSize;
        return {x, y, std::min(x + kCellSize, box.maxx), std::min(y + kCellSize, box.maxy)};
    }
};

// Nothing for a box without area or with more cells than can be counted.
std::optional<CellGrid> gridOf(const Bbox& box) {
    if (!hasArea(box))
        return std::nullopt;
    const double nx = cellsAlong(box.minx, box.maxx);
    const double ny = cellsAlong(box.miny, box.maxy);
    if (nx * ny > INT_MAX)
        return std::nullopt;
    return CellGrid{box, static_cast<int>(nx), static_cast<int>(ny)};
}

enum class CellOutcome { Complete, Truncated, Failed, Stopped };

}  // namespace

std::string WfsClient::getFeaturesCached(const std::string& base, const std::string& typeName,
                                         const Bbox& box, const CellProgress& progress,
                                         bool swapAxes, bool wfs110, int epsg,
                                         const StopRequested& stop) {
    return getFeaturesTiled(base, typeName, box, progress, swapAxes, wfs110, epsg, stop).document;
}

WfsClient::TiledResult WfsClient::getFeaturesTiled(const std::string& base,
                                                   const std::string& typeName, const Bbox& box,
                                                   const CellProgress& progress, bool swapAxes,
                                                   bool wfs110, int epsg,
                                                   const StopRequested& stop) {
    const std::optional<CellGrid> grid = gridOf(box);
    GmlSplice splice(wfs110);
    ReachTally reach;

    // One page of a cell: from the cache, else from the service. Only an answer that is a
    // feature collection is kept, so a failure is asked again next time.
    const auto addPage = [&](const Bbox& cell, int page) -> std::optional<GmlSplice::Added> {
        const std::string url = buildGetFeatureUrl(base, typeName, cell, kPageSize,
                                                   page * kPageSize, swapAxes, wfs110, epsg);
        const GmlSplice::Page order = page == 0 ? GmlSplice::Page::First : GmlSplice::Page::Later;
        const std::string path = cachePathFor(url);
        if (const auto cached = DownloadCache::read(path)) {
            const auto added = splice.add(*cached, order);
            reach.note({});  // it was answered once
            return added.collection ? std::optional(added) : std::nullopt;
        }
        const HttpResult answer = get(url);
        const auto added =
            net::is2xx(answer.status) ? splice.add(answer.body, order) : GmlSplice::Added{};
        reach.note(reachOf(answer, added.collection));
        if (!added.collection)
            return std::nullopt;
        DownloadCache::shared().store(path, answer.body);
        return added;
    };

    // A full page is followed by the next one. WFS 1.1.0 has no paging, and a page that only
    // repeats the cell's earlier ones comes from a service that ignores the start index: the
    // cell may hold more than it gives.
    const auto fetchCell = [&](const Bbox& cell) {
        for (int page = 0; page < kMaxPages; ++page) {
            if (stop && stop())
                return CellOutcome::Stopped;
            const auto added = addPage(cell, page);
            if (!added)
                return CellOutcome::Failed;
            if (added->repeated)
                return CellOutcome::Truncated;
            if (added->features < kPageSize)
                return CellOutcome::Complete;
            if (wfs110)
                return CellOutcome::Truncated;
        }
        return CellOutcome::Truncated;
    };

    TiledResult result;
    result.cells = grid ? grid->count() : 0;
    for (int k = 0; k < result.cells; ++k) {
        const CellOutcome outcome = fetchCell(grid->cell(k));
        if (outcome == CellOutcome::Stopped) {
            result.stopped = true;
            break;
        }
        result.failedCells += outcome == CellOutcome::Failed ? 1 : 0;
        result.truncatedCells += outcome == CellOutcome::Truncated ? 1 : 0;
        if (progress)
            progress(k + 1, result.cells);
    }
    result.document = splice.take();
    result.reach = reach.result();
    return result;
}
