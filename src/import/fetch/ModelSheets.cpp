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

Turns::Turns(std::size_t total, std::function<void(int, int)> progress,
             std::function<bool()> cancelled)
    : total_(static_cast<int>(total)),
      progress_(std::move(progress)),
      cancelled_(std::move(cancelled)) {}

bool Turns::next() {
    if (cancelled())
        return false;
    progress_(done_++, total_);
    return true;
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
          const std::vector<sheetindex::Tile>& tiles, const Grid& grid, Turns& turns) {
    SheetMosaic mosaic(grid.keep, grid.maxCells);
    Read outcome;
    ReachTally downloads;
    for (const sheetindex::Tile& tile : tiles) {
        if (!turns.next()) {
            outcome.cancelled = true;
            return outcome;
        }
        ServiceReach answered;
        const std::string text = index.download(tile, answered);
        if (turns.cancelled()) {
            outcome.cancelled = true;
            return outcome;
        }
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
