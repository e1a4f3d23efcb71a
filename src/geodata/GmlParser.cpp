#include "geodata/GmlParser.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "geodata/CityGmlReader.h"
#include "geodata/ProjConv.h"

namespace {

// The default EPSG code of the document being read on this thread.
thread_local int g_epsgDoc = 0;

struct SrsInfo {
    int epsg = 0;
    bool northingFirst = false;  // the first number of a position is the northing
};

bool isPl2000(int epsg) {
    return epsg >= 2176 && epsg <= 2179;
}

// The part of the element's name after its first ':'.
std::string_view localName(pugi::xml_node element) {
    const char* name = element.name();
    const char* colon = std::strchr(name, ':');
    return colon != nullptr ? std::string_view(colon + 1) : std::string_view(name);
}

bool isGeometryName(std::string_view name) {
    static constexpr std::array<std::string_view, 10> kGeometryNames = {
        "Point",           "Polygon", "LineString", "MultiPoint", "MultiSurface",
        "MultiLineString", "Curve",   "MultiCurve", "Surface",    "MultiGeometry"};
    for (const std::string_view geometry : kGeometryNames) {
        if (name == geometry)
            return true;
    }
    return false;
}

// The element itself when its name matches, then every matching element inside it, pre-order.
void findAll(pugi::xml_node element, std::string_view name, std::vector<pugi::xml_node>& out) {
    if (localName(element) == name)
        out.push_back(element);
    citygml::walkElements(element, [&](pugi::xml_node node) {
        if (localName(node) == name)
            out.push_back(node);
        return true;
    });
}

// The first element of that pre-order whose name matches; an empty handle when there is none.
pugi::xml_node findFirst(pugi::xml_node element, std::string_view name) {
    if (!element || localName(element) == name)
        return element;
    pugi::xml_node found;
    citygml::walkElements(element, [&](pugi::xml_node node) {
        if (!found && localName(node) == name)
            found = node;
        return !found;
    });
    return found;
}

// The nearest "srsName" on the element or its ancestors decides; without one, the document's
// default, which reads positions easting first unless it is a PL-2000 zone.
SrsInfo srsForNode(pugi::xml_node geometry) {
    for (pugi::xml_node node = geometry; node.type() == pugi::node_element; node = node.parent()) {
        const pugi::xml_attribute srsName = node.attribute("srsName");
        if (srsName) {
            const int epsg = GmlParser::epsgFromSrsName(srsName.value());
            return {epsg, epsg == 2180 || isPl2000(epsg)};
        }
    }
    return {g_epsgDoc, isPl2000(g_epsgDoc)};
}

// Blank-separated decimal numbers; reading stops at the first token that is not a finite number.
std::vector<double> parseDoubles(const char* text) {
    std::vector<double> values;
    const char* p = text;
    const char* const end = text + std::strlen(text);
    double value = 0.0;
    while (citygml::readNumber(p, end, value) && std::isfinite(value))
        values.push_back(value);
    return values;
}

// The pair (a, b) as written, as a PL-1992 point. In a PL-2000 zone the number that carries the
// zone digit in its millions is the easting; when both or neither do, the second one is.
GisPoint interpretPair(double a, double b, const SrsInfo& srs) {
    if (isPl2000(srs.epsg)) {
        const double zone = srs.epsg - 2171;
        const bool aIsEasting = std::trunc(a / 1e6) == zone && std::trunc(b / 1e6) != zone;
        return aIsEasting ? ProjConv::pl2000toPl1992(a, b, srs.epsg)
                          : ProjConv::pl2000toPl1992(b, a, srs.epsg);
    }
    return srs.northingFirst ? GisPoint{b, a} : GisPoint{a, b};
}

std::vector<GisPoint> parsePosList(const char* text, const SrsInfo& srs) {
    const std::vector<double> numbers = parseDoubles(text);
    std::vector<GisPoint> points;
    points.reserve(numbers.size() / 2);
    for (std::size_t i = 0; i + 1 < numbers.size(); i += 2)
        points.push_back(interpretPair(numbers[i], numbers[i + 1], srs));
    return points;
}

// The position of a "pos" element, when it holds at least two numbers.
bool readPos(pugi::xml_node pos, const SrsInfo& srs, GisPoint& out) {
    const std::vector<double> numbers = parseDoubles(pos.child_value());
    if (numbers.size() < 2)
        return false;
    out = interpretPair(numbers[0], numbers[1], srs);
    return true;
}

// The points of a ring or line: its first "posList", else its "pos" elements one by one.
std::vector<GisPoint> readPoints(pugi::xml_node element, const SrsInfo& srs) {
    if (const pugi::xml_node posList = findFirst(element, "posList"))
        return parsePosList(posList.child_value(), srs);
    std::vector<pugi::xml_node> positions;
    findAll(element, "pos", positions);
    std::vector<GisPoint> points;
    GisPoint point;
    for (const pugi::xml_node pos : positions) {
        if (readPos(pos, srs, point))
            points.push_back(point);
    }
    return points;
}

bool isExteriorRing(pugi::xml_node ring) {
    const std::string_view parent = localName(ring.parent());
    return parent == "exterior" || parent == "outerBoundaryIs";
}

// The first exterior ring as the outer ring (further ones ignored), every other ring as a hole.
GisPolygon parsePolygon(pugi::xml_node polygon) {
    const SrsInfo srs = srsForNode(polygon);
    std::vector<pugi::xml_node> rings;
    findAll(polygon, "LinearRing", rings);
    GisPolygon result;
    bool outerRead = false;
    for (const pugi::xml_node ring : rings) {
        if (!isExteriorRing(ring))
            result.holes.push_back(readPoints(ring, srs));
        else if (!outerRead) {
            result.outer = readPoints(ring, srs);
            outerRead = true;
        }
    }
    return result;
}

struct GeometryElements {
    std::vector<pugi::xml_node> polygons;
    std::vector<pugi::xml_node> lines;
    std::vector<pugi::xml_node> points;
};

GeometryElements geometryOf(pugi::xml_node feature) {
    GeometryElements found;
    const auto sort = [&found](pugi::xml_node node) {
        const std::string_view name = localName(node);
        if (name == "Polygon")
            found.polygons.push_back(node);
        else if (name == "LineString")
            found.lines.push_back(node);
        else if (name == "Point")
            found.points.push_back(node);
        return true;
    };
    sort(feature);
    citygml::walkElements(feature, sort);
    return found;
}

void readGeometry(pugi::xml_node element, GisFeature& feature) {
    const GeometryElements geometry = geometryOf(element);
    for (const pugi::xml_node polygon : geometry.polygons) {
        GisPolygon read = parsePolygon(polygon);
        if (!read.outer.empty())
            feature.polygons.push_back(std::move(read));
    }
    for (const pugi::xml_node line : geometry.lines) {
        std::vector<GisPoint> read = readPoints(line, srsForNode(line));
        if (read.size() >= 2)
            feature.lines.push_back(std::move(read));
    }
    if (feature.polygons.empty() && feature.lines.empty() && !geometry.points.empty()) {
        const pugi::xml_node point = geometry.points.front();
        if (const pugi::xml_node pos = findFirst(point, "pos"))
            feature.hasPoint = readPos(pos, srsForNode(point), feature.point);
    }
}

// The mean of the first outer ring, else the middle point of the first line.
void setLabelPoint(GisFeature& feature) {
    if (feature.hasPoint)
        return;
    if (!feature.polygons.empty()) {
        const std::vector<GisPoint>& ring = feature.polygons.front().outer;
        GisPoint sum;
        for (const GisPoint& p : ring) {
            sum.x += p.x;
            sum.y += p.y;
        }
        const double n = static_cast<double>(ring.size());
        feature.point = {sum.x / n, sum.y / n};
        feature.hasPoint = true;
    } else if (!feature.lines.empty()) {
        const std::vector<GisPoint>& line = feature.lines.front();
        feature.point = line[line.size() / 2];
        feature.hasPoint = true;
    }
}

bool hasElementChild(pugi::xml_node element) {
    for (const pugi::xml_node child : element.children()) {
        if (child.type() == pugi::node_element)
            return true;
    }
    return false;
}

// The identifier attribute ("fid" over "id"), every simple property element by its local name
// (the later of two with one name wins), and the feature element's own name as "_typ".
void readProperties(pugi::xml_node element, GisFeature& feature) {
    for (const char* idName : {"id", "fid"}) {
        if (const pugi::xml_attribute id = element.attribute(idName))
            feature.props["gml_id"] = id.value();
    }
    for (const pugi::xml_node child : element.children()) {
        // A property without element children holds geometry only when it is one itself.
        if (child.type() != pugi::node_element || hasElementChild(child) ||
            isGeometryName(localName(child)))
            continue;
        const std::string_view text = child.child_value();
        if (!text.empty())
            feature.props[std::string(localName(child))] = text;
    }
    feature.props["_typ"] = localName(element);
}

// The system named by the first "srsName" of the document in pre-order, the document element
// first; 0 when that name holds no code or there is none.
int documentEpsg(pugi::xml_node root) {
    const pugi::xml_node carrier =
        root.attribute("srsName") ? root : root.find_node([](pugi::xml_node node) {
            return node.type() == pugi::node_element && node.attribute("srsName");
        });
    return carrier ? GmlParser::epsgFromSrsName(carrier.attribute("srsName").value()) : 0;
}

std::vector<pugi::xml_node> membersOf(pugi::xml_node root) {
    std::vector<pugi::xml_node> members;
    const auto collect = [&members](pugi::xml_node node) {
        const std::string_view name = localName(node);
        if (name == "member" || name == "featureMember")
            members.push_back(node);
        return true;
    };
    collect(root);
    citygml::walkElements(root, collect);
    return members;
}

pugi::xml_node firstElementChild(pugi::xml_node node) {
    for (const pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element)
            return child;
    }
    return {};
}

}  // namespace

std::vector<GisFeature> GmlParser::parseFeatureCollection(const std::string& text, DataType kind) {
    std::vector<GisFeature> features;
    pugi::xml_document document;
    if (!document.load_string(text.c_str()))
        return features;
    const pugi::xml_node root = document.document_element();
    g_epsgDoc = documentEpsg(root);

    for (const pugi::xml_node member : membersOf(root)) {
        const pugi::xml_node element = firstElementChild(member);
        if (!element)
            continue;
        GisFeature feature;
        feature.kind = static_cast<std::int32_t>(kind);
        readGeometry(element, feature);
        setLabelPoint(feature);
        if (feature.polygons.empty() && feature.lines.empty() && !feature.hasPoint)
            continue;
        readProperties(element, feature);
        features.push_back(std::move(feature));
    }
    return features;
}

int GmlParser::epsgFromSrsName(std::string_view srsName) {
    const std::size_t at = srsName.find("EPSG");
    if (at == std::string_view::npos)
        return 0;
    int result = 0;
    long long run = -1;  // the digit run being read; -1 outside a run
    const auto endRun = [&] {
        if (run >= 1)
            result = static_cast<int>(run);
        run = -1;
    };
    for (const char c : srsName.substr(at + 4)) {
        if (c < '0' || c > '9') {
            endRun();
            continue;
        }
        run = std::min<long long>((run < 0 ? 0 : run) * 10 + (c - '0'), INT_MAX);
    }
    endRun();
    return result;
}
