#pragma once
// The parts of the terrain stages that work on plain records: the step of the point-cloud grid,
// and the reading of the ground and water points of a LiDAR sheet; and the words of the stages
// that read the terrain-model sheets.

#include <atomic>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "import/fetch/SheetPoints.h"

namespace terrainstages {

// The most nodes the point-cloud grid has along an axis.
inline constexpr double kCloudNodesPerAxis = 800.0;

// The words of a stage that reads the terrain-model sheets of its frame.
struct NmtTexts {
    const char* prefix;    // of the stage's sentences
    const char* progress;  // label while the sheets are downloaded
    const char* noSheet;   // the index lists none for the frame
    const char* noGrid;    // none of them came as a grid
};

// The step of the point-cloud grid: the requested one, or, when the frame would need more than
// 800 nodes along an axis at it (a step not above 0 always would), the longer side spread over
// 800; `message` then says so and is otherwise left empty.
double cloudStep(const Bbox& frame, double requested, std::string& message);

// The points of one sheet that build terrain and water: class 2 (ground) and class 9 (water)
// inside the frame, edges included, in PL-1992 (a sheet in a PL-2000 zone, epsg 2176 to 2179,
// is moved; any other code is read as PL-1992).
struct CloudPoints {
    std::vector<ClPoint> ground;
    std::vector<ClPoint> water;
};

// Adds the sheet's ground and water points to `points` (sheetpoints::readFramePoints).
sheetpoints::SheetRead readSheet(const std::string& path, int epsg, const Bbox& frame,
                                 const std::atomic<bool>& stop, CloudPoints& points);

}  // namespace terrainstages
