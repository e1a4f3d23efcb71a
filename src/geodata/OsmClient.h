#pragma once
// Centre lines of bridges and roads from an Overpass API endpoint (OpenStreetMap data), in
// PL-1992, each with a carriageway width taken from its tags. The endpoint's base address is
// services::endpoints().overpass.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

// One way of the answer.
struct OsmWay {
    std::vector<GisPoint> points;  // PL-1992, in the way's node order; at least 2
    std::string name;              // the "name" tag, "" without one
    std::string wayClass;          // the "highway" tag, else the "railway" tag, else ""
    double width = 0.0;            // carriageway width, m (widthFromTags)
    bool bridge = false;           // the "bridge" tag is exactly "yes" or "viaduct"
};

// The usable ways of an answer, how many of its ways were left out as damaged, and the service's
// remark when it cut its answer short: Overpass stops a query that runs out of time or memory and
// answers, still with status 200, the ways found so far and a "remark" saying why ("" when the
// remark is no text). An answer is read when it is a JSON object with an "elements" array or a
// remark; one that breaks off mid-way (a dropped connection, a proxy) or has another shape is
// not, and says nothing of the area.
struct OsmWays {
    std::vector<OsmWay> ways;
    int damaged = 0;
    std::optional<std::string> remark;
    bool read = false;
};

class OsmClient {
public:
    // The bridges and/or roads of the area, asked with one GET on the client. Nothing is asked
    // without either flag. The error text is cleared first and set, with an empty result, for
    // an area above 25 km2 and for an answer other than status 200; an answer without usable
    // ways is no error, nor is one the service cut short: its ways and remark are given. Besides
    // the answer's damaged ways, a way with a point farther than geobounds::kFarthestFromFrame
    // from the area is left out as damaged.
    static OsmWays fetchWays(const Bbox& area, WfsClient& client, bool bridges, bool roads,
                             std::string& error);
    // The same; reach tells whether the endpoint gave an answer that reads (OsmWays::read; no
    // request: it counts as reached).
    static OsmWays fetchWays(const Bbox& area, WfsClient& client, bool bridges, bool roads,
                             std::string& error, ServiceReach& reach);

    // The ways of an Overpass JSON answer ("out geom"), in answer order, and its remark. A text
    // that is not JSON or has no "elements" array gives no way (and is not read unless it holds a
    // remark); a way with fewer than 2 points is left out, and one with a coordinate that is not
    // a number or a point that is no position on the globe is left out as damaged.
    static OsmWays parseOverpass(std::string_view text);

    // Carriageway width, m: the width tag's leading number when it lies strictly between 0.5 and
    // 60; else 3.5 m per lane plus 1.0 for a lanes tag of 1 to 12; else by class.
    static double widthFromTags(std::string_view wayClass, std::string_view widthTag,
                                std::string_view lanesTag, bool bridge);
};
