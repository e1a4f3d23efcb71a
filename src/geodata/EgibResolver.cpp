#include "geodata/EgibResolver.h"

#include <algorithm>
#include <array>

#include "geodata/GmlParser.h"
#include "geodata/GmlSplice.h"
#include "geodata/NameMatch.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceTables.h"

namespace {

using namematch::asciiLower;
using namematch::containsAny;

constexpr long long kMaxWholeLayerFeatures = 200000;
constexpr int kWholeLayerTimeoutMs = 240000;

// How one request variant asks for the box.
struct Variant {
    int id = 0;
    bool swapAxes = false;  // northing first
    bool wfs110 = false;
    bool inZone = false;  // in the PL-2000 zone of the area's centre instead of EPSG:2180
};

// In the order they are tried.
constexpr std::array<Variant, 4> kVariants = {{
    {1, true, false, false},
    {2, false, false, false},
    {4, true, false, true},
    {3, true, true, false},
}};

std::string withQuery(const std::string& url, std::string_view query) {
    return url + (url.find('?') != std::string::npos ? "&" : "?") + std::string(query);
}

bool stopped(const WfsClient::StopRequested& stop) {
    return stop && stop();
}

int zoneOfCentre(const Bbox& area) {
    double lat = 0.0;
    double lon = 0.0;
    ProjConv::pl1992ToLatLon((area.minx + area.maxx) / 2, (area.miny + area.maxy) / 2, lat, lon);
    return ProjConv::zoneForLon(lon);
}

bool inside(const GisPoint& p, const Bbox& area) {
    return p.x >= area.minx && p.x <= area.maxx && p.y >= area.miny && p.y <= area.maxy;
}

// The label point, the outer rings' vertices (holes not tested), the lines' vertices.
bool featureInBbox(const GisFeature& feature, const Bbox& area) {
    if (feature.hasPoint && inside(feature.point, area))
        return true;
    const auto anyInside = [&area](const std::vector<GisPoint>& points) {
        for (const GisPoint& p : points) {
            if (inside(p, area))
                return true;
        }
        return false;
    };
    for (const GisPolygon& polygon : feature.polygons) {
        if (anyInside(polygon.outer))
            return true;
    }
    for (const std::vector<GisPoint>& line : feature.lines) {
        if (anyInside(line))
            return true;
    }
    return false;
}

bool anyInBbox(const std::vector<GisFeature>& features, const Bbox& area) {
    for (const GisFeature& feature : features) {
        if (featureInBbox(feature, area))
            return true;
    }
    return false;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isSecondRate(std::string_view lowerName) {
    return containsAny(lowerName, {"archiw", "hist", "opis"});
}

// An empty field takes the name; a second-rate name held gives way to a first-rate one.
void offer(std::string& field, std::string_view name) {
    if (field.empty() || (isSecondRate(asciiLower(field)) && !isSecondRate(asciiLower(name))))
        field = name;
}

// Sorts one feature-type name into parcels or buildings (a name of both counts as parcels).
void classify(std::string_view name, EgibResolver::Typenames& names) {
    const std::string lower = asciiLower(name);
    if (containsAny(lower, {"dzialk", "dzia\xC5\x82k", "parcel"}))
        offer(names.parcels, name);
    else if (containsAny(lower, {"budyn", "building"}))
        offer(names.buildings, name);
}

}  // namespace

std::string EgibResolver::urlForTeryt(std::string_view teryt) {
    const ServiceRow* row =
        servicetables::find(EgibUrls::TABLE, teryt, servicetables::kCountyKeyLength);
    return row != nullptr ? servicetables::address(row->wfs) : std::string();
}

bool EgibResolver::discoverTypenames(const std::string& wfsUrl, Typenames& out) {
    reach_ = {};
    auto cached = capabilities_.find(wfsUrl);
    if (cached == capabilities_.end()) {
        const WfsClient::HttpResult answer =
            client_.get(withQuery(wfsUrl, "service=WFS&request=GetCapabilities"));
        reach_ = WfsClient::reachOf(answer, !looksLikeWebPage(answer.body));
        if (answer.status != 200 || !reach_.reached)
            return false;
        cached = capabilities_.emplace(wfsUrl, matchTypenames(answer.body)).first;
    }
    out = cached->second;
    return !out.parcels.empty() || !out.buildings.empty();
}

EgibResolver::Typenames EgibResolver::matchTypenames(std::string_view xml) {
    Typenames names;
    std::size_t pos = 0;
    while ((pos = xml.find('<', pos)) != std::string_view::npos) {
        ++pos;
        if (pos == xml.size() || xml[pos] == '?' || xml[pos] == '/' || xml[pos] == '!')
            continue;
        const std::size_t nameEnd = std::min(xml.find_first_of(" \t\r\n/>", pos), xml.size());
        std::string_view tag = xml.substr(pos, nameEnd - pos);
        if (const std::size_t colon = tag.rfind(':'); colon != std::string_view::npos)
            tag.remove_prefix(colon + 1);
        if (tag != "Name")
            continue;
        const std::size_t tagEnd = xml.find('>', nameEnd);
        if (tagEnd == std::string_view::npos)
            break;
        if (xml[tagEnd - 1] == '/')
            continue;
        const std::size_t textEnd = xml.find('<', tagEnd);
        if (textEnd == std::string_view::npos)
            break;
        const std::string_view name = trimmed(xml.substr(tagEnd + 1, textEnd - tagEnd - 1));
        if (name.find_first_of(" /") == std::string_view::npos)
            classify(name, names);
        pos = textEnd;
    }
    return names;
}

std::vector<GisFeature> EgibResolver::fetch(const std::string& wfsUrl, const std::string& typeName,
                                            const Bbox& area, DataType kind,
                                            const WfsClient::CellProgress& progress,
                                            const WfsClient::StopRequested& stop) {
    cells_ = {};
    if (typeName.empty())
        return {};
    const std::string key = wfsUrl + "|" + typeName;
    const auto remembered = variants_.find(key);
    const int known = remembered != variants_.end() ? remembered->second : 0;
    const int zone = zoneOfCentre(area);

    ReachTally reach;
    for (const Variant& variant : kVariants) {
        if (known != 0 && known != variant.id)
            continue;
        const WfsClient::TiledResult tiled =
            client_.getFeaturesTiled(wfsUrl, typeName, area, progress, variant.swapAxes,
                                     variant.wfs110, variant.inZone ? zone : 0, stop);
        reach.note(tiled.reach);
        cells_ = {tiled.missingCells(), tiled.cells};
        std::vector<GisFeature> features = GmlParser::parseFeatureCollection(tiled.document, kind);
        if (known == variant.id || anyInBbox(features, area)) {
            variants_[key] = variant.id;
            reach_ = reach.result();
            return features;
        }
    }
    std::vector<GisFeature> features =
        fetchWholeLayer(wfsUrl, typeName, area, kind, progress, stop, reach);
    if (!features.empty())
        cells_ = {};
    reach_ = reach.result();
    return features;
}

std::vector<GisFeature> EgibResolver::fetchWholeLayer(const std::string& wfsUrl,
                                                      const std::string& typeName, const Bbox& area,
                                                      DataType kind,
                                                      const WfsClient::CellProgress& progress,
                                                      const WfsClient::StopRequested& stop,
                                                      ReachTally& reach) {
    if (stopped(stop))
        return {};
    const std::string layerUrl =
        withQuery(wfsUrl, "service=WFS&version=2.0.0&request=GetFeature&typenames=" +
                              WfsClient::urlEncode(typeName));
    const WfsClient::HttpResult hits = client_.get(layerUrl + "&resultType=hits");
    const long long count = WfsClient::numberMatched(hits.body);
    reach.note(WfsClient::reachOf(hits, GmlSplice::featureCount(hits.body).has_value()));
    if (count < 1 || count > kMaxWholeLayerFeatures || stopped(stop))
        return {};
    if (progress)
        progress(0, 1);
    ServiceReach layer;
    const std::string document = client_.getCachedRaw(layerUrl, kWholeLayerTimeoutMs, layer);
    if (document.empty()) {
        reach = {};
        reach.note(layer);  // the layer said to hold features did not come
        return {};
    }
    std::vector<GisFeature> features = GmlParser::parseFeatureCollection(document, kind);
    std::erase_if(features, [&area](const GisFeature& f) { return !featureInBbox(f, area); });
    if (progress)
        progress(1, 1);
    return features;
}
