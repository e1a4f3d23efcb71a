// Vector features as plan elements: parcels, buildings, local-plan and general-plan zones and
// utility lines, each kind on its own layer with its own drawing rules.

#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <string_view>

#include "LayerMapper.h"
#include "geodata/NameMatch.h"
#include "import/creators/AcImporter.h"
#include "import/creators/ElementBuild.h"
#include "import/creators/PogColors.h"

namespace AcImporter {
namespace {

constexpr short kParcelPen = 10;
constexpr short kBuildingPen = 6;
constexpr short kLocalPlanPen = 30;
constexpr short kGeneralPlanPen = 32;
constexpr short kZoneHatchPen = 8;
constexpr short kUtilityPen = 5;
constexpr double kParcelLabelSize = 1.5;
constexpr double kZoneLabelSize = 2.5;
constexpr double kDefaultAngle = std::numeric_limits<double>::quiet_NaN();
// Hatches of general-plan zones are grey.
constexpr int kZoneHatchGrey = 90;

constexpr const char* kNoLayer = "Nie mozna utworzyc/odnalezc warstwy dla typu: ";

// General-plan zone types drawn otherwise than as coloured fills.
constexpr const char* kInfillZone = "ObszarUzupelnieniaZabudowy";
constexpr const char* kServicesZone = "ObszarStandardowDostepnosciInfrastrukturySpolecznej";
constexpr const char* kDowntownZone = "ObszarZabudowySrodmiejskiej";

// The property's value; empty when the feature has none.
std::string prop(const PropertyMap& props, const std::string& key) {
    const auto it = props.find(key);
    return it != props.end() ? std::string(it->second) : std::string();
}

// ---- Parcel labels ----------------------------------------------------------------------------

using KeyTest = bool (*)(const std::string& lowerKey);

bool namesParcelNumber(const std::string& key) {
    return namematch::contains(key, "dzial") && namematch::containsAny(key, {"numer", "nr"});
}

bool namesIdentifier(const std::string& key) {
    return namematch::contains(key, "ident") ||
           (namematch::contains(key, "id") && namematch::contains(key, "dzial"));
}

bool namesSomeNumber(const std::string& key) {
    return namematch::contains(key, "numer") &&
           !namematch::containsAny(key, {"arkusz", "obreb", "jednost", "rejestr"});
}

// What follows the value's last full stop, when something does; else the whole value.
std::string afterLastDot(std::string_view value) {
    const std::size_t dot = value.rfind('.');
    return std::string(
        dot != std::string_view::npos && dot + 1 < value.size() ? value.substr(dot + 1) : value);
}

// The parcel's number: the first non-empty property (in key order) whose key passes the first
// test, else the second, else the third; empty when none does.
std::string parcelLabel(const PropertyMap& props) {
    static constexpr KeyTest kTests[] = {namesParcelNumber, namesIdentifier, namesSomeNumber};
    for (const KeyTest passes : kTests) {
        for (const auto& [key, value] : props) {
            if (!value.empty() && passes(namematch::asciiLower(key)))
                return afterLastDot(value);
        }
    }
    return {};
}

// ---- Drawing one feature ----------------------------------------------------------------------

// The drawing of one feature: its points made local (widening the placed extent), the creators
// called on its layer, and whether the last of them failed.
class FeatureDrawing {
public:
    FeatureDrawing(const GeoTransform& frame, API_AttributeIndex layer, ImportResult& result)
        : frame_(frame), layer_(layer), result_(result) {}

    bool lastFailed() const { return lastFailed_; }

    std::vector<GisPoint> local(const std::vector<GisPoint>& points) {
        std::vector<GisPoint> out;
        out.reserve(points.size());
        for (const GisPoint& p : points) {
            out.push_back(frame_.toLocal(p));
            if (detail::isFinite(out.back()))
                result_.includeInExtent(out.back());
        }
        return out;
    }

    GisPolygon local(const GisPolygon& polygon) {
        GisPolygon out{local(polygon.outer), {}};
        for (const auto& hole : polygon.holes)
            out.holes.push_back(local(hole));
        return out;
    }

    bool polyline(const std::vector<GisPoint>& points, short pen) {
        return succeeded(createPolyLine(points, layer_, pen));
    }
    bool fill(const GisPolygon& polygon, short pen, const std::optional<PogColors::Colour>& c) {
        return succeeded(c ? createFill(polygon, layer_, pen, c->r, c->g, c->b)
                           : createFill(polygon, layer_, pen, -1, -1, -1));
    }
    bool hatch(const GisPolygon& polygon, const char* fillName) {
        return succeeded(createHatchArea(polygon, layer_, kZoneHatchPen, fillName, kZoneHatchGrey,
                                         kZoneHatchGrey, kZoneHatchGrey));
    }
    bool text(const GisPoint& mapPoint, const std::string& content, short pen, double size) {
        return succeeded(
            createText(frame_.toLocal(mapPoint), content, layer_, pen, size, kDefaultAngle));
    }

private:
    bool succeeded(GSErrCode err) {
        lastFailed_ = err != NoError;
        return !lastFailed_;
    }

    const GeoTransform& frame_;
    API_AttributeIndex layer_;
    ImportResult& result_;
    bool lastFailed_ = false;
};

void drawParcel(const GisFeature& feature, FeatureDrawing& d) {
    for (const GisPolygon& polygon : feature.polygons) {
        if (!d.polyline(detail::closedRing(d.local(polygon.outer)), kParcelPen))
            return;
        for (const auto& hole : polygon.holes) {
            if (!d.polyline(detail::closedRing(d.local(hole)), kParcelPen))
                break;
        }
    }
    if (d.lastFailed())
        return;
    for (const auto& line : feature.lines) {
        if (!d.polyline(d.local(line), kParcelPen))
            return;
    }
    if (!feature.hasPoint)
        return;
    const std::string label = parcelLabel(feature.props);
    if (!label.empty())
        d.text(feature.point, label, kParcelPen, kParcelLabelSize);
}

void drawBuilding(const GisFeature& feature, FeatureDrawing& d) {
    for (const GisPolygon& polygon : feature.polygons) {
        if (!d.fill(d.local(polygon), kBuildingPen, std::nullopt))
            return;
    }
}

// How the polygons of a zone are drawn.
struct ZoneStyle {
    enum class Kind { Fill, Hatch, Outline } kind = Kind::Fill;
    const char* hatchFill = nullptr;          // Hatch: the vector fill's name
    std::optional<PogColors::Colour> colour;  // Fill: the zone colour, if any
};

ZoneStyle zoneStyle(DataType kind, const std::string& type, const std::string& symbol) {
    if (kind != DataType::Pog)
        return {};
    if (type == kInfillZone)
        return {ZoneStyle::Kind::Hatch, "pion", std::nullopt};
    if (type == kServicesZone)
        return {ZoneStyle::Kind::Hatch, "ukos", std::nullopt};
    if (type == kDowntownZone)
        return {ZoneStyle::Kind::Outline, nullptr, std::nullopt};
    if (symbol.empty())
        return {};
    return {ZoneStyle::Kind::Fill, nullptr, PogColors::forSymbol(symbol)};
}

bool drawZonePolygon(const GisPolygon& polygon, const ZoneStyle& style, short pen,
                     FeatureDrawing& d) {
    switch (style.kind) {
        case ZoneStyle::Kind::Hatch:
            return d.hatch(d.local(polygon), style.hatchFill);
        case ZoneStyle::Kind::Outline:
            return d.polyline(detail::closedRing(d.local(polygon.outer)), kZoneHatchPen);
        case ZoneStyle::Kind::Fill:
            return d.fill(d.local(polygon), pen, style.colour);
    }
    return false;
}

void drawZone(const GisFeature& feature, DataType kind, FeatureDrawing& d) {
    const PropertyMap& props = feature.props;
    const std::string designation =
        props.count("oznaczenie") > 0 ? prop(props, "oznaczenie") : prop(props, "symbol");
    const std::string symbol = prop(props, "symbol");
    const ZoneStyle style =
        zoneStyle(kind, prop(props, "_typ"), symbol.empty() ? designation : symbol);
    const short pen = kind == DataType::Mpzp ? kLocalPlanPen : kGeneralPlanPen;
    for (const GisPolygon& polygon : feature.polygons) {
        if (!drawZonePolygon(polygon, style, pen, d))
            return;
    }
    if (feature.hasPoint && !designation.empty())
        d.text(feature.point, designation, pen, kZoneLabelSize);
}

void drawUtilityLines(const GisFeature& feature, FeatureDrawing& d) {
    for (const auto& line : feature.lines) {
        if (!d.polyline(d.local(line), kUtilityPen))
            return;
    }
}

void draw(const GisFeature& feature, DataType kind, FeatureDrawing& d) {
    switch (kind) {
        case DataType::Dzialki:
            return drawParcel(feature, d);
        case DataType::Budynki:
            return drawBuilding(feature, d);
        case DataType::Mpzp:
        case DataType::Pog:
            return drawZone(feature, kind, d);
        case DataType::Gesut:
            return drawUtilityLines(feature, d);
        default:
            return;
    }
}

}  // namespace

ImportResult importFeatures(const std::vector<GisFeature>& features, const GeoTransform& frame,
                            const Settings& settings) {
    const AttributeCache attributes;
    ImportResult result;
    std::map<DataType, API_AttributeIndex> layers;
    for (const GisFeature& feature : features) {
        const auto kind = static_cast<DataType>(feature.kind);
        auto [layer, added] = layers.try_emplace(kind, 0);
        if (added)
            layer->second = LayerMapper::ensureLayer(settings.layerFor(kind));
        if (layer->second == 0) {
            result.message = std::string(kNoLayer) + Settings::keyOf(kind);
            return result;
        }
        FeatureDrawing drawing(frame, layer->second, result);
        draw(feature, kind, drawing);
        if (drawing.lastFailed())
            ++result.skipped;
        else
            ++result.counts[Settings::keyOf(kind)];
    }
    return result;
}

}  // namespace AcImporter
