#pragma once
// Synthetic CityGML sheets for the reader, archive and benchmark tests and the fake building
// packages.

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

// A closed ring of the plan points (an open or closed ring) at height z.
inline std::vector<Pos> ringAt(const std::vector<GisPoint>& plan, double z) {
    std::vector<Pos> ring;
    for (const GisPoint& p : plan)
        ring.push_back({p.x, p.y, z});
    if (!ring.empty() && ring.front() != ring.back())
        ring.push_back(ring.front());
    return ring;
}

// The opening tag of a building, with its gml:id unless id is empty.
inline std::string buildingTag(const std::string& id) {
    return "<bldg:Building" + (id.empty() ? "" : " gml:id=\"" + id + "\"") + ">";
}

// A building standing on a footprint (open or closed): ground at base, flat roof at top, one wall
// per edge. extra goes inside the Building element before its surfaces (measuredHeight,
// roofType, nested buildings).
inline std::string blockBuilding(const std::string& id, const std::vector<GisPoint>& footprint,
                                 double base, double top, const std::string& extra = "") {
    const std::vector<Pos> ground = ringAt(footprint, base);
    std::string text = buildingTag(id) + extra;
    text += surface("GroundSurface", ground);
    text += surface("RoofSurface", ringAt(footprint, top));
    for (std::size_t i = 0; i + 1 < ground.size(); ++i) {
        const Pos& a = ground[i];
        const Pos& b = ground[i + 1];
        text += surface("WallSurface", {a, b, {b[0], b[1], top}, {a[0], a[1], top}, a});
    }
    return text + "</bldg:Building>";
}

// A box-shaped building over the plan rectangle, its footprint listed from (x0, y0) towards x1.
inline std::string boxBuilding(const std::string& id, double x0, double y0, double x1, double y1,
                               double base, double top, const std::string& extra = "") {
    return blockBuilding(id, {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, base, top, extra);
}

// A building made of the given faces, each one the ring of a surface of its own.
inline std::string facesBuilding(const std::string& id, const std::vector<Lod2Face>& faces) {
    std::string text = buildingTag(id);
    for (const Lod2Face& face : faces) {
        std::vector<Pos> ring;
        for (std::size_t i = 0; i < face.xy.size() && i < face.z.size(); ++i)
            ring.push_back({face.xy[i].x, face.xy[i].y, face.z[i]});
        text += surface("RoofSurface", ring);
    }
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
