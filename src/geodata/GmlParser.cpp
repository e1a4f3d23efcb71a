#include "geodata/GmlParser.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "geodata/CityGmlReader.h"
#include "geodata/GmlOutline.h"
#include "geodata/ProjConv.h"

namespace {

// The default EPSG code of the document being read on this thread.
thread_local int g_epsgDoc = 0;

struct SrsInfo {
    int epsg = 0;
    bool northingFirst = false;  // the first number of a position is the northing
};

bool isElement(pugi::xml_node node) {
    return node.type() == pugi::node_element;
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

// The attribute on the element or, failing that, on its nearest ancestor that carries it; an
// empty handle when none does.
pugi::xml_attribute nearestAttribute(pugi::xml_node element, const char* name) {
    for (pugi::xml_node node = element; isElement(node); node = node.parent()) {
        if (const pugi::xml_attribute attribute = node.attribute(name))
            return attribute;
    }
    return {};
}

// The nearest "srsName" on the element or its ancestors decides; without one, the document's
// default, which reads positions easting first unless it is a PL-2000 zone.
SrsInfo srsForNode(pugi::xml_node geometry) {
    if (const pugi::xml_attribute srsName = nearestAttribute(geometry, "srsName")) {
        const int epsg = GmlParser::epsgFromSrsName(srsName.value());
        return {epsg, epsg == 2180 || ProjConv::isPl2000(epsg)};
    }
    return {g_epsgDoc, ProjConv::isPl2000(g_epsgDoc)};
}

// The pair (a, b) as written, as a PL-1992 point. In a PL-2000 zone the number that carries the
// zone digit in its millions is the easting; when both or neither do, the second one is.
GisPoint interpretPair(double a, double b, const SrsInfo& srs) {
    if (ProjConv::isPl2000(srs.epsg)) {
        const double zone = srs.epsg - 2171;
        const bool aIsEasting = std::trunc(a / 1e6) == zone && std::trunc(b / 1e6) != zone;
        return aIsEasting ? ProjConv::pl2000toPl1992(a, b, srs.epsg)
                          : ProjConv::pl2000toPl1992(b, a, srs.epsg);
    }
    return srs.northingFirst ? GisPoint{b, a} : GisPoint{a, b};
}

// The number of values in each position of a position list, from the nearest "srsDimension" on
// the list or its ancestors: 3 (the height is dropped), else 2.
std::size_t valuesPerPosition(pugi::xml_node posList) {
    return nearestAttribute(posList, "srsDimension").as_int(2) == 3 ? 3 : 2;
}

// The vector without spare capacity: the records keep no room left over from growing or from
// reserving for positions that did not read. Only a vector that has room is copied.
template <typename T>
std::vector<T> fitted(std::vector<T> values) {
    values.shrink_to_fit();
    return values;
}

// The number of whitespace-separated tokens of the text, as many numbers as it holds: the
// characters other than whitespace that follow whitespace or start the text.
std::size_t countTokens(std::string_view text) {
    std::size_t tokens = text.empty() || citygml::isSpace(text[0]) ? 0 : 1;
    for (std::size_t i = 1; i < text.size(); ++i)
        tokens += citygml::isSpace(text[i - 1]) && !citygml::isSpace(text[i]) ? 1 : 0;
    return tokens;
}

// The next position of whitespace-separated decimal numbers, count of them (2 or 3), of which the
// first two are the pair; none when a token that is no finite number comes first.
std::optional<GisPoint> readPosition(const char*& p, const char* end, std::size_t count,
                                     const SrsInfo& srs) {
    std::array<double, 3> values{};
    for (std::size_t i = 0; i < count; ++i) {
        if (!citygml::readNumber(p, end, values[i]))
            return std::nullopt;
    }
    return interpretPair(values[0], values[1], srs);
}

// The positions of the list, up to its first token that is no finite number; a trailing
// incomplete position is dropped.
std::vector<GisPoint> parsePosList(pugi::xml_node posList, const SrsInfo& srs) {
    const std::string_view text = posList.child_value();
    const std::size_t count = valuesPerPosition(posList);
    std::vector<GisPoint> points;
    points.reserve(countTokens(text) / count);
    const char* p = text.data();
    const char* const end = p + text.size();
    while (const std::optional<GisPoint> point = readPosition(p, end, count, srs))
        points.push_back(*point);
    return fitted(std::move(points));
}

// The position of a "pos" element: its first two numbers.
std::optional<GisPoint> readPos(pugi::xml_node pos, const SrsInfo& srs) {
    const std::string_view text = pos.child_value();
    const char* p = text.data();
    return readPosition(p, text.data() + text.size(), 2, srs);
}

// The points of a ring or line: its first "posList", else its "pos" elements one by one.
std::vector<GisPoint> readPoints(pugi::xml_node element, const SrsInfo& srs) {
    if (const pugi::xml_node posList = findFirst(element, "posList"))
        return parsePosList(posList, srs);
    std::vector<pugi::xml_node> positions;
    findAll(element, "pos", positions);
    std::vector<GisPoint> points;
    points.reserve(positions.size());
    for (const pugi::xml_node pos : positions) {
        if (const std::optional<GisPoint> point = readPos(pos, srs))
            points.push_back(*point);
    }
    return fitted(std::move(points));
}

bool isExteriorRing(pugi::xml_node ring) {
    const std::string_view parent = localName(ring.parent());
    return parent == "exterior" || parent == "outerBoundaryIs";
}

// The first exterior ring of a polygon or polygon patch as the outer ring (further ones ignored),
// every other ring as a hole.
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
    result.holes = fitted(std::move(result.holes));
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
        if (name == "Polygon" || name == "PolygonPatch")
            found.polygons.push_back(node);
        else if (name == "LineString" || name == "Curve")
            found.lines.push_back(node);
        else if (name == "Point")
            found.points.push_back(node);
        return true;
    };
    sort(feature);
    citygml::walkElements(feature, sort);
    return found;
}

// A curve of straight segments as one line, each segment joined to the one before at their
// common point. A curve with a segment of another kind (an arc, a spline) gives no line, since
// its points joined straight would misdraw it.
std::vector<GisPoint> readCurve(pugi::xml_node curve, const SrsInfo& srs) {
    const pugi::xml_node segments = curve.find_child(
        [](pugi::xml_node child) { return isElement(child) && localName(child) == "segments"; });
    std::vector<GisPoint> points;
    for (const pugi::xml_node segment : segments.children()) {
        if (!isElement(segment))
            continue;
        if (localName(segment) != "LineStringSegment")
            return {};
        const std::vector<GisPoint> part = readPoints(segment, srs);
        const bool joined = !points.empty() && !part.empty() && points.back().x == part.front().x &&
                            points.back().y == part.front().y;
        points.insert(points.end(), part.begin() + (joined ? 1 : 0), part.end());
    }
    return fitted(std::move(points));
}

std::vector<GisPoint> readLine(pugi::xml_node line) {
    const SrsInfo srs = srsForNode(line);
    return localName(line) == "Curve" ? readCurve(line, srs) : readPoints(line, srs);
}

void readGeometry(pugi::xml_node element, GisFeature& feature) {
    const GeometryElements geometry = geometryOf(element);
    for (const pugi::xml_node polygon : geometry.polygons) {
        GisPolygon read = parsePolygon(polygon);
        if (!read.outer.empty())
            feature.polygons.push_back(std::move(read));
    }
    for (const pugi::xml_node line : geometry.lines) {
        std::vector<GisPoint> read = readLine(line);
        if (read.size() >= 2)
            feature.lines.push_back(std::move(read));
    }
    feature.polygons = fitted(std::move(feature.polygons));
    feature.lines = fitted(std::move(feature.lines));
    if (feature.polygons.empty() && feature.lines.empty() && !geometry.points.empty()) {
        const pugi::xml_node point = geometry.points.front();
        if (const std::optional<GisPoint> position =
                readPos(findFirst(point, "pos"), srsForNode(point))) {
            feature.point = *position;
            feature.hasPoint = true;
        }
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

// The identifier attribute ("fid" over "id"), every simple property element by its local name,
// and the feature element's own name as "_typ", handed to `take` in that order as name and text.
template <typename Take>
void forEachProperty(pugi::xml_node element, Take take) {
    const pugi::xml_attribute fid = element.attribute("fid");
    if (const pugi::xml_attribute id = fid ? fid : element.attribute("id"))
        take("gml_id", id.value());
    for (const pugi::xml_node child : element.children()) {
        // A property without element children holds geometry only when it is one itself.
        if (!isElement(child) || child.find_child(isElement) || isGeometryName(localName(child)))
            continue;
        const std::string_view text = child.child_value();
        if (!text.empty())
            take(localName(child), text);
    }
    take("_typ", localName(element));
}

// The properties of the features of one document: of two with one name the later wins, and
// features with the same names share one list of them.
class PropertyReader {
public:
    PropertyMap read(pugi::xml_node element) {
        entries_.clear();
        forEachProperty(element, [this](std::string_view name, std::string_view text) {
            entries_.emplace_back(name, text);
        });
        return names_.build(entries_);
    }

private:
    PropertyMap::NameSharing names_;
    std::vector<PropertyMap::EntryView> entries_;  // reused from feature to feature
};

// The EPSG code named by the "srsName" of a start tag, read as an element of its own.
int epsgOfStartTag(std::string_view tag) {
    if (tag.empty())
        return 0;
    std::string element(tag);
    if (!element.ends_with("/>"))
        element.insert(element.size() - 1, "/");
    pugi::xml_document document;
    document.load_buffer(element.data(), element.size(), pugi::parse_default, pugi::encoding_utf8);
    return GmlParser::epsgFromSrsName(document.document_element().attribute("srsName").value());
}

// The tree of one member at a time, its buffer and nodes reused from member to member. The start
// tag that names the reference system around the member, when there is one, stands as the
// member's parent, so that the member's geometry finds it as it would in the whole document.
class MemberTree {
public:
    // The member element; an empty handle when the member does not parse.
    pugi::xml_node load(const GmlMemberSpan& member) {
        const std::string_view carrier = member.srsCarrier;
        buffer_.assign(carrier);
        buffer_ += member.element;
        if (!carrier.empty()) {
            buffer_ += "</";
            buffer_ += carrier.substr(1, carrier.find_first_of(" \t\r\n/>", 1) - 1);
            buffer_ += '>';
        }
        const pugi::xml_parse_result parsed = document_.load_buffer_inplace(
            buffer_.data(), buffer_.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!parsed)
            return {};
        const pugi::xml_node root = document_.document_element();
        return carrier.empty() ? root : root.first_child();
    }

private:
    std::string buffer_;
    pugi::xml_document document_;
};

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

// The feature of a member (its first child element), when it has a polygon, a line or a point.
void readMember(pugi::xml_node member, DataType kind, PropertyReader& properties,
                std::vector<GisFeature>& features) {
    const pugi::xml_node element = member.find_child(isElement);
    if (!element)
        return;
    GisFeature feature;
    feature.kind = static_cast<std::int32_t>(kind);
    readGeometry(element, feature);
    setLabelPoint(feature);
    if (feature.polygons.empty() && feature.lines.empty() && !feature.hasPoint)
        return;
    feature.props = properties.read(element);
    features.push_back(std::move(feature));
}

}  // namespace

// The outline finds the members without a tree of the whole document; each member is then read
// from a tree of its own, so the memory used beyond the text and the features stays that of one
// member.
std::vector<GisFeature> GmlParser::parseFeatureCollection(const std::string& text, DataType kind) {
    const std::optional<GmlOutline> outline = GmlOutline::scan(text.c_str());
    if (!outline)
        return {};
    g_epsgDoc = epsgOfStartTag(outline->firstSrsCarrier);
    std::vector<GisFeature> features;
    features.reserve(outline->memberElements);
    MemberTree tree;
    PropertyReader properties;
    for (const GmlMemberSpan& span : outline->members) {
        const pugi::xml_node member = tree.load(span);
        if (!member)
            return {};
        if (!span.holdsMembers)
            readMember(member, kind, properties, features);
        else {
            for (const pugi::xml_node inner : membersOf(member))
                readMember(inner, kind, properties, features);
        }
    }
    return features;
}

int GmlParser::epsgFromSrsName(std::string_view srsName) {
    const std::size_t at = srsName.find("EPSG");
    if (at == std::string_view::npos)
        return 0;
    // A compound name lists its parts after commas (URN) or ampersands (URL): only the part that
    // holds the EPSG name counts, not the heights' system after it.
    const std::string_view part = srsName.substr(at + 4, srsName.find_first_of(",&", at) - at - 4);
    int result = 0;
    long long run = -1;  // the digit run being read; -1 outside a run
    const auto endRun = [&] {
        if (run >= 1)
            result = static_cast<int>(run);
        run = -1;
    };
    for (const char c : part) {
        if (c < '0' || c > '9') {
            endRun();
            continue;
        }
        run = std::min<long long>((run < 0 ? 0 : run) * 10 + (c - '0'), INT_MAX);
    }
    endRun();
    return result;
}
