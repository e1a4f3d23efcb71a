#pragma once
// Synthetic CityGML sheets for the reader, archive and benchmark tests.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"

namespace citygmltest {

using Pos = std::array<double, 3>;

inline std::string numbers(const std::vector<Pos>& positions) {
    std::string text;
    char buffer[96];
    for (const Pos& p : positions) {
        std::snprintf(buffer, sizeof buffer, "%s%.3f %.3f %.3f", text.empty() ? "" : " ", p[0],
                      p[1], p[2]);
        text += buffer;
    }
    return text;
}

inline std::string ring(const std::vector<Pos>& positions) {
    return "<gml:LinearRing><gml:posList srsDimension=\"3\">" + numbers(positions) +
           "</gml:posList></gml:LinearRing>";
}

// One surface of a building holding one polygon; holes become inner rings.
inline std::string surface(const std::string& kind, const std::vector<Pos>& outer,
                           const std::vector<std::vector<Pos>>& holes = {}) {
    std::string polygon = "<gml:Polygon><gml:exterior>" + ring(outer) + "</gml:exterior>";
    for (const auto& hole : holes)
        polygon += "<gml:interior>" + ring(hole) + "</gml:interior>";
    polygon += "</gml:Polygon>";
    return "<bldg:boundedBy><bldg:" + kind + "><bldg:lod2MultiSurface><gml:MultiSurface>" +
           "<gml:surfaceMember>" + polygon + "</gml:surfaceMember></gml:MultiSurface>" +
           "</bldg:lod2MultiSurface></bldg:" + kind + "></bldg:boundedBy>";
}

// A closed plan rectangle at height z, the first position repeated at the end.
inline std::vector<Pos> rect(double x0, double y0, double x1, double y1, double z) {
    return {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}, {x0, y0, z}};
}

// A box-shaped building: ground at base, flat roof at top, four walls. extra goes inside the
// Building element before its surfaces (measuredHeight, roofType, nested buildings).
inline std::string boxBuilding(const std::string& id, double x0, double y0, double x1, double y1,
                               double base, double top, const std::string& extra = "") {
    std::string text = "<bldg:Building" + (id.empty() ? "" : " gml:id=\"" + id + "\"") + ">";
    text += extra;
    text += surface("GroundSurface", rect(x0, y0, x1, y1, base));
    text += surface("RoofSurface", rect(x0, y0, x1, y1, top));
    text += surface("WallSurface",
                    {{x0, y0, base}, {x1, y0, base}, {x1, y0, top}, {x0, y0, top}, {x0, y0, base}});
    text += surface("WallSurface",
                    {{x1, y0, base}, {x1, y1, base}, {x1, y1, top}, {x1, y0, top}, {x1, y0, base}});
    text += surface("WallSurface",
                    {{x1, y1, base}, {x0, y1, base}, {x0, y1, top}, {x1, y1, top}, {x1, y1, base}});
    text += surface("WallSurface",
                    {{x0, y1, base}, {x0, y0, base}, {x0, y0, top}, {x0, y1, top}, {x0, y1, base}});
    return text + "</bldg:Building>";
}

inline std::string member(const std::string& building) {
    return "<core:cityObjectMember>" + building + "</core:cityObjectMember>";
}

// A whole sheet: the envelope of box (corners with z), optionally pushed back behind a comment of
// fillerBytes bytes, then the members.
inline std::string sheet(const std::string& members, const Bbox& box, std::size_t fillerBytes = 0) {
    char corners[256];
    std::snprintf(corners, sizeof corners,
                  "<gml:lowerCorner>%.3f %.3f 0.0</gml:lowerCorner>"
                  "<gml:upperCorner>%.3f %.3f 100.0</gml:upperCorner>",
                  box.minx, box.miny, box.maxx, box.maxy);
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<core:CityModel xmlns:core=\"http://www.opengis.net/citygml/2.0\" "
        "xmlns:bldg=\"http://www.opengis.net/citygml/building/2.0\" "
        "xmlns:gml=\"http://www.opengis.net/gml\">\n";
    if (fillerBytes > 0)
        text += "<!--" + std::string(fillerBytes, 'x') + "-->\n";
    text += "<gml:boundedBy><gml:Envelope srsName=\"EPSG:2180\" srsDimension=\"3\">";
    text += corners;
    text += "</gml:Envelope></gml:boundedBy>\n";
    return text + members + "\n</core:CityModel>\n";
}

}  // namespace citygmltest
