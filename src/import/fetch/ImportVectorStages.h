#pragma once
// The parts of the vector stages that work on plain records: which plan zones meet the frame,
// features repeated across download cells or damaged, and the utility lines of a county WFS.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

namespace vectorstages {

// Whether a plan zone belongs to the frame: its label point lies in it (edges included), or one
// of its polygons, holes taken into account, shares a point with it.
bool zoneMeetsFrame(const GisFeature& zone, const Bbox& frame);

// Keeps the first of features that are equal in kind, geometry and properties: a feature without
// identifier comes once from every download cell it crosses.
void dropRepeatedFeatures(std::vector<GisFeature>& features);

// Leaves out the features with a point (of a polygon, a hole, a line or their own) farther than
// geobounds::kFarthestFromFrame from the frame: no service sends such a feature for the frame
// whole. When any went, tells how many with the kind's prefix.
void dropDamagedFeatures(std::vector<GisFeature>& features, const Bbox& frame,
                         std::string_view prefix,
                         const std::function<void(const std::string&)>& warn);

// The progress callback of a stage with that label.
using ProgressFor = std::function<WfsClient::CellProgress(const char* label)>;

// What the utility lines of a county WFS came to.
struct UtilityLines {
    std::vector<GisFeature> lines;
    ServiceReach reach;  // its capabilities, and then any download of a line type, answered
    // With the service reached: a sentence for every line type that did not come, or some of
    // whose download cells did not come whole, naming the type.
    std::vector<std::string> shortfall;
};

// The utility lines of a county WFS: for every line type its capabilities list, in order, one
// tiled download of the frame under the stage "GESUT (WFS)"; each feature is tagged with its
// type name as "rodzajSieci". No line when the service does not answer or has none in the
// frame; reach tells which. stop is asked before every request of the downloads.
UtilityLines utilityLines(WfsClient& client, const std::string& wfsUrl, const Bbox& frame,
                          const ProgressFor& progressFor,
                          const WfsClient::StopRequested& stop = {});

}  // namespace vectorstages
