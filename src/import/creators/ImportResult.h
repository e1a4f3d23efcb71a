#pragma once
// The tally of one placement: what was placed per kind, what was left out, why the placement
// fails (when it does), and where the placed vectors lie in the project.

#include <algorithm>
#include <map>
#include <string>

#include "geodata/GisTypes.h"

struct ImportResult {
    std::map<std::string, int> counts;  // elements placed, by counts key
    int skipped = 0;                    // faulty geometries or solids left out
    std::string message;                // not empty: the placement fails with this text
    bool hasLocalExtent = false;
    Bbox localExtent;  // of the placed vectors, project coordinates in metres

    // Widens the extent by a point in project coordinates; the first point sets it.
    void includeInExtent(const GisPoint& local) {
        if (!hasLocalExtent) {
            localExtent = {local.x, local.y, local.x, local.y};
            hasLocalExtent = true;
            return;
        }
        localExtent.minx = std::min(localExtent.minx, local.x);
        localExtent.miny = std::min(localExtent.miny, local.y);
        localExtent.maxx = std::max(localExtent.maxx, local.x);
        localExtent.maxy = std::max(localExtent.maxy, local.y);
    }
};
