#include "import/fetch/ModelSheets.h"

#include <algorithm>
#include <utility>

#include "import/fetch/SheetMosaic.h"

namespace modelsheets {

namespace {

// A sheet by its model and map-sheet name, or by its address when the index gives no name.
std::string nameOf(std::string_view model, const sheetindex::Tile& tile) {
    return std::string(model) + " " + (tile.godlo.empty() ? tile.url : tile.godlo);
}

}  // namespace

Turn turns(std::size_t total, std::function<void(int, int)> progress,
           std::function<bool()> cancelled) {
    return [total = static_cast<int>(total), done = 0, progress = std::move(progress),
            cancelled = std::move(cancelled)]() mutable {
        if (cancelled())
            return false;
        progress(done++, total);
        return true;
    };
}

Grid gridFor(const Bbox& keep, double cell, double mostArea) {
    constexpr double kMost = 9e18;  // within 64 bits
    const double cells = std::max(mostArea / (cell * cell), SheetMosaic::cellsOver(keep, cell));
    return {keep, static_cast<std::int64_t>(cells < kMost ? cells : kMost)};
}

double areaOf(const Bbox& box) {
    return (box.maxx - box.minx) * (box.maxy - box.miny);
}

Read read(sheetindex::IndexClient& index, std::string_view model,
          const std::vector<sheetindex::Tile>& tiles, const Grid& grid, const Turn& turn) {
    SheetMosaic mosaic(grid.keep, grid.maxCells);
    Read outcome;
    ReachTally downloads;
    for (const sheetindex::Tile& tile : tiles) {
        if (!turn()) {
            outcome.cancelled = true;
            return outcome;
        }
        ServiceReach answered;
        const std::string text = index.download(tile, answered);
        downloads.note(answered);
        if (mosaic.add(text))
            ++outcome.usable;
        else
            outcome.unusable.push_back(nameOf(model, tile));
    }
    outcome.reach = downloads.result();
    outcome.grid = mosaic.take();
    return outcome;
}

}  // namespace modelsheets
