#include "geodata/CityGmlReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "geodata/GeoBounds.h"

namespace citygml {
namespace {

// Moves p past whitespace and a leading '+', which from_chars does not take.
void skipToNumber(const char*& p, const char* end) {
    while (p != end && isSpace(*p))
        ++p;
    if (p != end && *p == '+')
        ++p;
}

template <class Number>
bool readAny(const char*& p, const char* end, Number& value) {
    const char* start = p;
    skipToNumber(start, end);
    const auto [next, ec] = std::from_chars(start, end, value);
    // "nan" and "inf" are spelled like numbers but measure nothing.
    if (ec != std::errc() || !std::isfinite(static_cast<double>(value)))
        return false;
    p = next;
    return true;
}

template <class Number>
Number leading(const char* text) {
    const char* p = text;
    Number value{};
    return readAny(p, text + std::strlen(text), value) ? value : Number{};
}

}  // namespace

bool readNumber(const char*& p, const char* end, double& value) {
    return readAny(p, end, value);
}

double leadingNumber(const char* text) {
    return leading<double>(text);
}

std::int32_t leadingInteger(const char* text) {
    return leading<std::int32_t>(text);
}

std::string_view localName(pugi::xml_node element) {
    const std::string_view name = element.name();
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::vector<pugi::xml_node> findAll(pugi::xml_node root, std::string_view name) {
    std::vector<pugi::xml_node> found;
    walkElements(root, [&](pugi::xml_node element) {
        if (localName(element) == name)
            found.push_back(element);
        return true;
    });
    return found;
}

pugi::xml_node findChild(pugi::xml_node element, std::string_view name) {
    for (pugi::xml_node child = element.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element && localName(child) == name)
            return child;
    }
    return {};
}

std::vector<P3> parsePosList(const char* text, std::size_t maxPositions) {
    std::vector<P3> positions;
    if (text == nullptr)
        return positions;
    const char* p = text;
    const char* const end = text + std::strlen(text);
    P3 q;
    while (positions.size() < maxPositions && readNumber(p, end, q.x) && readNumber(p, end, q.y) &&
           readNumber(p, end, q.z)) {
        positions.push_back(q);
    }
    return positions;
}

Bbox boxOf(const std::vector<GisPoint>& points) {
    Bbox box{points.front().x, points.front().y, points.front().x, points.front().y};
    for (const GisPoint& p : points) {
        box.minx = std::min(box.minx, p.x);
        box.miny = std::min(box.miny, p.y);
        box.maxx = std::max(box.maxx, p.x);
        box.maxy = std::max(box.maxy, p.y);
    }
    return box;
}

Bbox merged(const Bbox& a, const Bbox& b) {
    return {std::min(a.minx, b.minx), std::min(a.miny, b.miny), std::max(a.maxx, b.maxx),
            std::max(a.maxy, b.maxy)};
}

bool boxesMeet(const Bbox& a, const Bbox& b) {
    return a.minx <= b.maxx && a.miny <= b.maxy && b.minx <= a.maxx && b.miny <= a.maxy;
}

}  // namespace citygml

namespace {

using citygml::P3;
using Ring = std::vector<P3>;

// Every ring below the element (walls, roofs, ground, building parts, inner rings) with at least
// three positions, in document order. Only posList children of a LinearRing are read.
std::vector<Ring> collectRings(pugi::xml_node element) {
    std::vector<Ring> rings;
    citygml::walkElements(element, [&](pugi::xml_node node) {
        if (citygml::localName(node) != "LinearRing")
            return true;
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            if (child.type() != pugi::node_element || citygml::localName(child) != "posList") {
                continue;
            }
            Ring ring = citygml::parsePosList(child.child_value());
            if (ring.size() >= 3)
                rings.push_back(std::move(ring));
        }
        return false;
    });
    return rings;
}

struct HeightRange {
    double lowest = 0.0;
    double highest = 0.0;
};

HeightRange heightRange(const std::vector<Ring>& rings) {
    HeightRange range{rings.front().front().z, rings.front().front().z};
    for (const Ring& ring : rings) {
        for (const P3& p : ring) {
            range.lowest = std::min(range.lowest, p.z);
            range.highest = std::max(range.highest, p.z);
        }
    }
    return range;
}

// Shoelace area in plan, the index wrapping from the last position to the first.
double planArea(const Ring& ring) {
    double twice = 0.0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const P3& a = ring[i];
        const P3& b = ring[(i + 1) % ring.size()];
        twice += a.x * b.y - a.y * b.x;
    }
    return std::abs(twice) / 2.0;
}

double meanHeight(const Ring& ring) {
    double sum = 0.0;
    for (const P3& p : ring)
        sum += p.z;
    return sum / static_cast<double>(ring.size());
}

bool liesAtHeight(const Ring& ring, double z) {
    constexpr double kTolerance = 0.01;
    return std::all_of(ring.begin(), ring.end(),
                       [&](const P3& p) { return std::abs(p.z - z) <= kTolerance; });
}

// The ground ring: the largest ring lying wholly at the lowest height; on sloping ground, where
// no ring does, the ring with the lowest mean height. Earlier rings win ties.
const Ring& chooseFootprint(const std::vector<Ring>& rings, double lowest) {
    const Ring* best = nullptr;
    double bestArea = 0.0;
    for (const Ring& ring : rings) {
        if (!liesAtHeight(ring, lowest))
            continue;
        const double area = planArea(ring);
        if (best == nullptr || area > bestArea) {
            best = &ring;
            bestArea = area;
        }
    }
    if (best != nullptr)
        return *best;
    best = &rings.front();
    double bestMean = meanHeight(*best);
    for (const Ring& ring : rings) {
        const double mean = meanHeight(ring);
        if (mean < bestMean) {
            best = &ring;
            bestMean = mean;
        }
    }
    return *best;
}

// measuredHeight when the sheet gives a positive one, else the height span of the rings.
double buildingHeight(pugi::xml_node building, const HeightRange& range) {
    const pugi::xml_node measured = citygml::findChild(building, "measuredHeight");
    if (measured) {
        const double height = citygml::leadingNumber(measured.child_value());
        if (height > 0.0)
            return height;
    }
    return range.highest - range.lowest;
}

std::optional<Building3D> readBuilding(pugi::xml_node element) {
    const std::vector<Ring> rings = collectRings(element);
    if (rings.empty())
        return std::nullopt;
    const HeightRange range = heightRange(rings);
    const Ring& ground = chooseFootprint(rings, range.lowest);
    if (ground.size() < 3)
        return std::nullopt;
    Building3D building;
    building.id = element.attribute("gml:id").value();
    building.baseZ = range.lowest;
    building.height = buildingHeight(element, range);
    if (!(building.height > 0.0))
        return std::nullopt;
    building.footprint.reserve(ground.size());
    for (const P3& p : ground)
        building.footprint.push_back({p.x, p.y});
    return building;
}

// Whether the footprint, the base and the top lie within reach of the frame.
bool isNear(const Building3D& building, const Bbox& frame) {
    return geobounds::allNearFrame(building.footprint, frame) &&
           geobounds::heightNearFrame(building.baseZ) &&
           geobounds::heightNearFrame(building.baseZ + building.height);
}

}  // namespace

std::vector<Building3D> CityGmlReader::parseSheet(std::string_view xml, const Bbox& box,
                                                  citygml::SheetTally* tally) {
    std::vector<Building3D> buildings;
    pugi::xml_document doc;
    citygml::SheetTally unused;
    citygml::SheetTally& told = tally != nullptr ? *tally : unused;
    told.parsed = static_cast<bool>(doc.load_buffer(xml.data(), xml.size()));
    if (!told.parsed)
        return buildings;
    for (const pugi::xml_node element : citygml::findAll(doc, "Building")) {
        auto building = readBuilding(element);
        if (!building || !citygml::boxesMeet(citygml::boxOf(building->footprint), box))
            continue;
        if (isNear(*building, box))
            buildings.push_back(std::move(*building));
        else
            ++told.damaged;
    }
    return buildings;
}

bool CityGmlReader::parseEnvelope(std::string_view xml, Bbox& out) {
    pugi::xml_document doc;
    doc.load_buffer(xml.data(), xml.size());  // a cut-off text keeps the tree read so far
    pugi::xml_node envelope;
    citygml::walkElements(doc, [&](pugi::xml_node element) {
        if (!envelope && citygml::localName(element) == "Envelope")
            envelope = element;
        return !envelope;
    });
    if (!envelope)
        return false;
    const pugi::xml_node lower = citygml::findChild(envelope, "lowerCorner");
    const pugi::xml_node upper = citygml::findChild(envelope, "upperCorner");
    if (!lower || !upper)
        return false;
    const auto low = citygml::parsePosList(lower.child_value(), 1);
    const auto high = citygml::parsePosList(upper.child_value(), 1);
    if (low.empty() || high.empty())
        return false;
    out = Bbox{low.front().x, low.front().y, high.front().x, high.front().y};
    return true;
}
