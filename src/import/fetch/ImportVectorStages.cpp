// The vector stages of the fetch: cadastral parcels and buildings from the county land-registry
// WFS with the national new-buildings fallback, general-plan zones from the planning register,
// and utility lines from the county WFS.

#include "import/fetch/ImportVectorStages.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "geodata/EgibResolver.h"
#include "geodata/GeoBounds.h"
#include "geodata/GmlParser.h"
#include "geodata/LocalServices.h"
#include "geodata/RuClient.h"
#include "geodata/ServiceConfig.h"
#include "geometry/PlanPolygons.h"
#include "import/fetch/FetchRun.h"

namespace {

constexpr const char* kNewBuildingsPath = "/wss/service/PZGIK/BDOT10k/WFS/NoweBudynki";
constexpr const char* kNewBuildingsTypename = "ms:bud_2025";
constexpr const char* kGeneralPlan = "MUNICIPAL_GENERAL_PLAN";
constexpr const char* kParcelsPrefix = "Dzialki: ";
constexpr const char* kBuildingsPrefix = "Budynki: ";
constexpr const char* kUtilitiesPrefix = "GESUT: ";
constexpr const char* kUtilitiesService = "WFS GESUT powiatu";
constexpr const char* kCadastralPrefix = "Dzialki/budynki: ";
constexpr const char* kZoningPrefix = "MPZP/POG: ";
constexpr const char* kPogPrefix = "POG: ";
constexpr const char* kRegister = "Rejestru Urbanistycznego";

bool inside(const GisPoint& p, const Bbox& box) {
    return p.x >= box.minx && p.x <= box.maxx && p.y >= box.miny && p.y <= box.maxy;
}

// Liang-Barsky: whether any point of the segment a-b lies in the box.
bool segmentMeetsBox(const GisPoint& a, const GisPoint& b, const Bbox& box) {
    double enter = 0.0;
    double leave = 1.0;
    // Keeps the part of the segment where p * t <= q.
    const auto clip = [&enter, &leave](double p, double q) {
        if (p == 0.0)
            return q >= 0.0;
        const double t = q / p;
        if (p < 0.0)
            enter = std::max(enter, t);
        else
            leave = std::min(leave, t);
        return enter <= leave;
    };
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    return clip(-dx, a.x - box.minx) && clip(dx, box.maxx - a.x) && clip(-dy, a.y - box.miny) &&
           clip(dy, box.maxy - a.y);
}

// Whether an edge of the ring, the closing one included, touches the box.
bool ringMeetsBox(const std::vector<GisPoint>& ring, const Bbox& box) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
        if (segmentMeetsBox(ring[i], ring[(i + 1) % ring.size()], box))
            return true;
    }
    return false;
}

bool pointInGisRing(const GisPoint& p, const std::vector<GisPoint>& ring) {
    PlanRing plan;
    plan.reserve(ring.size());
    for (const GisPoint& q : ring)
        plan.emplace_back(q.x, q.y);
    return pointInRing(p.x, p.y, plan);
}

// Even-odd over the outer ring and the holes.
bool pointInPolygon(const GisPoint& p, const GisPolygon& polygon) {
    bool in = pointInGisRing(p, polygon.outer);
    for (const std::vector<GisPoint>& hole : polygon.holes)
        in = in != pointInGisRing(p, hole);
    return in;
}

// When no ring touches the box, the box lies wholly inside the polygon or wholly outside it,
// and one of its corners tells which.
bool polygonMeetsBox(const GisPolygon& polygon, const Bbox& box) {
    if (ringMeetsBox(polygon.outer, box))
        return true;
    for (const std::vector<GisPoint>& hole : polygon.holes) {
        if (ringMeetsBox(hole, box))
            return true;
    }
    return pointInPolygon({box.minx, box.miny}, polygon);
}

// Whether every point of the feature (of its polygons and their holes, its lines and its own)
// lies within reach of the frame.
bool isNear(const GisFeature& feature, const Bbox& frame) {
    const auto near = [&frame](const std::vector<GisPoint>& points) {
        return geobounds::allNearFrame(points, frame);
    };
    const auto polygonNear = [&near](const GisPolygon& polygon) {
        return near(polygon.outer) && std::all_of(polygon.holes.begin(), polygon.holes.end(), near);
    };
    return std::all_of(feature.polygons.begin(), feature.polygons.end(), polygonNear) &&
           std::all_of(feature.lines.begin(), feature.lines.end(), near) &&
           (!feature.hasPoint || geobounds::nearFrame(feature.point, frame));
}

void appendBytes(std::string& key, const void* data, std::size_t size) {
    key.append(static_cast<const char*>(data), size);
}

void appendPoints(std::string& key, const std::vector<GisPoint>& points) {
    const std::size_t count = points.size();
    appendBytes(key, &count, sizeof count);
    for (const GisPoint& p : points) {
        appendBytes(key, &p.x, sizeof p.x);
        appendBytes(key, &p.y, sizeof p.y);
    }
}

void appendText(std::string& key, std::string_view text) {
    const std::size_t size = text.size();
    appendBytes(key, &size, sizeof size);
    key += text;
}

// Every field of the feature, length-prefixed, so that two keys are equal only for equal
// features.
std::string identityOf(const GisFeature& feature) {
    std::string key;
    appendBytes(key, &feature.kind, sizeof feature.kind);
    appendBytes(key, &feature.hasPoint, sizeof feature.hasPoint);
    appendPoints(key, {feature.point});
    const std::size_t polygons = feature.polygons.size();
    appendBytes(key, &polygons, sizeof polygons);
    for (const GisPolygon& polygon : feature.polygons) {
        appendPoints(key, polygon.outer);
        const std::size_t holes = polygon.holes.size();
        appendBytes(key, &holes, sizeof holes);
        for (const std::vector<GisPoint>& hole : polygon.holes)
            appendPoints(key, hole);
    }
    const std::size_t lines = feature.lines.size();
    appendBytes(key, &lines, sizeof lines);
    for (const std::vector<GisPoint>& line : feature.lines)
        appendPoints(key, line);
    for (const auto& [name, value] : feature.props) {
        appendText(key, name);
        appendText(key, value);
    }
    return key;
}

void appendAll(std::vector<GisFeature>& to, std::vector<GisFeature>&& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace

namespace vectorstages {

bool zoneMeetsFrame(const GisFeature& zone, const Bbox& frame) {
    if (zone.hasPoint && inside(zone.point, frame))
        return true;
    return std::any_of(zone.polygons.begin(), zone.polygons.end(),
                       [&frame](const GisPolygon& p) { return polygonMeetsBox(p, frame); });
}

void dropDamagedFeatures(std::vector<GisFeature>& features, const Bbox& frame,
                         std::string_view prefix,
                         const std::function<void(const std::string&)>& warn) {
    const auto count = std::erase_if(
        features, [&frame](const GisFeature& feature) { return !isNear(feature, frame); });
    if (count > 0)
        warn(fetchstages::damagedRecords(prefix, "obiekty", static_cast<int>(count)));
}

void dropRepeatedFeatures(std::vector<GisFeature>& features) {
    std::unordered_set<std::string> seen;
    seen.reserve(features.size());
    std::erase_if(features,
                  [&seen](const GisFeature& f) { return !seen.insert(identityOf(f)).second; });
}

UtilityLines utilityLines(WfsClient& client, const std::string& wfsUrl, const Bbox& frame,
                          const ProgressFor& progressFor, const WfsClient::StopRequested& stop) {
    const WfsClient::HttpResult capabilities =
        fetchstages::probeCapabilities(client, wfsUrl, "WFS");
    UtilityLines found;
    found.reach = fetchstages::capabilitiesReach(capabilities);
    if (!found.reach.reached)
        return found;
    ReachTally downloads;
    std::vector<std::string> shortfall;
    for (const std::string& typeName : LocalServices::gesutLineTypenames(capabilities.body)) {
        const WfsClient::TiledResult tiled = client.getFeaturesTiled(
            wfsUrl, typeName, frame, progressFor("GESUT (WFS)"), true, false, 2180, stop);
        downloads.note(tiled.reach);
        const std::string prefix = "GESUT (" + typeName + "): ";
        if (!tiled.reach.reached) {
            shortfall.push_back(fetchstages::unreachable(
                prefix, kUtilitiesService, "nie pobrano przewodow tego rodzaju", tiled.reach));
        } else if (tiled.missingCells() > 0) {
            shortfall.push_back(
                fetchstages::missingCells(prefix, tiled.missingCells(), tiled.cells));
        }
        for (GisFeature& line :
             GmlParser::parseFeatureCollection(tiled.document, DataType::Gesut)) {
            line.props.insert_or_assign("rodzajSieci", typeName);
            found.lines.push_back(std::move(line));
        }
    }
    found.reach = downloads.result();
    if (found.reach.reached)
        found.shortfall = std::move(shortfall);
    dropRepeatedFeatures(found.lines);
    return found;
}

}  // namespace vectorstages

// What the county land-registry gave, kind by kind: nothing where a cancel cut the download
// short. An empty list tells of the area only when the service answered for it; otherwise a
// sentence has said why nothing came.
struct ImportController::Cadastre {
    KindFeatures parcels = std::vector<GisFeature>();
    KindFeatures buildings = std::vector<GisFeature>();
    bool parcelsAnswered = true;
    bool buildingsAnswered = true;

    void unanswered() { parcelsAnswered = buildingsAnswered = false; }
    // A cancel came before the kinds asked for were downloaded.
    void cutShort(const FetchRun& run) {
        if (run.requested("dzialki"))
            parcels.reset();
        if (run.requested("budynki"))
            buildings.reset();
    }
};

// A kind cut short says so and brings nothing; the kinds downloaded whole before the cancel
// stay.
void ImportController::fetchCadastral(FetchRun& run) {
    const MunicipalityLookup::Found municipality = terytForBbox(run.bbox);
    const std::string& teryt = municipality.teryt;
    const std::string url = EgibResolver::urlForTeryt(teryt);
    Cadastre cadastre;
    if (run.cancel) {
        cadastre.cutShort(run);
    } else if (!municipality.reach.reached) {
        run.appendWarning(fetchstages::lookupUnreachable(kCadastralPrefix, municipality.reach));
        cadastre.unanswered();
    } else if (url.empty()) {
        run.appendWarning(teryt.empty() ? "Nie udalo sie ustalic powiatu dla widoku."
                                        : "Powiat (TERYT " + teryt.substr(0, 4) +
                                              ") nie publikuje WFS EGiB w EZiU.");
    } else {
        fetchEgib(run, teryt, url, cadastre);
    }
    KindFeatures& parcels = cadastre.parcels;
    KindFeatures& buildings = cadastre.buildings;
    if (!parcels)
        run.appendWarning(fetchstages::cutShortSentence(kParcelsPrefix));
    else if (run.requested("dzialki") && parcels->empty() && cadastre.parcelsAnswered)
        run.appendWarning("Brak dzialek dla tego obszaru.");
    if (run.requested("budynki") && buildings && buildings->empty()) {
        if (parcels && !parcels->empty() && cadastre.buildingsAnswered) {
            run.appendWarning(
                "Powiatowa usluga zwraca dzialki, ale nie filtruje budynkow po obszarze (blad "
                "konfiguracji serwera powiatu - np. Zabrze).");
        }
        buildings = fetchNewBuildings(run);
    }
    if (!buildings)
        run.appendWarning(fetchstages::cutShortSentence(kBuildingsPrefix));
    appendAll(run.data.features, std::move(parcels).value_or(std::vector<GisFeature>()));
    appendAll(run.data.features, std::move(buildings).value_or(std::vector<GisFeature>()));
}

void ImportController::fetchEgib(FetchRun& run, const std::string& teryt, const std::string& url,
                                 Cadastre& cadastre) {
    EgibResolver resolver(client_);
    const std::string service = "WFS EGiB powiatu " + teryt.substr(0, 4);
    // False, after its sentence, when the resolver's last request did not reach the service.
    const auto answered = [&](const char* prefix, const char* consequence) {
        if (resolver.reach().reached)
            return true;
        run.appendWarning(fetchstages::unreachable(prefix, service, consequence, resolver.reach()));
        return false;
    };
    EgibResolver::Typenames names;
    if (!resolver.discoverTypenames(url, names)) {
        if (run.cancel)
            cadastre.cutShort(run);
        else if (!answered(kCadastralPrefix, "nie sprawdzono dzialek ani budynkow"))
            cadastre.unanswered();
        else
            run.appendWarning("Powiatowa usluga WFS EGiB nie odpowiada.");
        return;
    }
    const auto kindOf = [&](const std::string& typeName, DataType kind, const char* label,
                            const char* prefix) {
        KindFeatures found =
            fetchstages::unlessCutShort(cancel_, [&](const WfsClient::StopRequested& stop) {
                std::vector<GisFeature> features =
                    resolver.fetch(url, typeName, run.bbox, kind, cancellableProgress(label), stop);
                vectorstages::dropRepeatedFeatures(features);
                return features;
            });
        if (found)
            vectorstages::dropDamagedFeatures(*found, run.bbox, prefix, run.warnings());
        return found;
    };
    // A kind cut short says only that: its requests were not all made. One whose service
    // answered says when some of its cells did not come whole.
    const auto noteCells = [&](const KindFeatures& kind, const char* prefix) {
        const EgibResolver::Cells& cells = resolver.cells();
        if (kind && resolver.reach().reached && cells.missing > 0)
            run.appendWarning(fetchstages::missingCells(prefix, cells.missing, cells.total));
    };
    if (run.requested("dzialki")) {
        cadastre.parcels =
            kindOf(names.parcels, DataType::Dzialki, "Import: dzialki", kParcelsPrefix);
        cadastre.parcelsAnswered =
            !cadastre.parcels || answered(kParcelsPrefix, "nie pobrano dzialek");
        noteCells(cadastre.parcels, kParcelsPrefix);
    }
    if (run.requested("budynki")) {
        cadastre.buildings =
            kindOf(names.buildings, DataType::Budynki, "Import: budynki", kBuildingsPrefix);
        cadastre.buildingsAnswered =
            !cadastre.buildings || answered(kBuildingsPrefix, "nie pobrano budynkow");
        noteCells(cadastre.buildings, kBuildingsPrefix);
    }
    const auto count = [](const KindFeatures& kind) {
        return std::to_string(kind ? kind->size() : 0);
    };
    postReport("TERRAWEFT EGiB [TERYT " + teryt + "] " + url + " | tn.dzialki='" + names.parcels +
               "' -> " + count(cadastre.parcels) + " | tn.budynki='" + names.buildings + "' -> " +
               count(cadastre.buildings));
}

ImportController::KindFeatures ImportController::fetchNewBuildings(FetchRun& run) {
    WfsClient::TiledResult tiled;  // what the download came to; its document goes to the features
    KindFeatures buildings =
        fetchstages::unlessCutShort(cancel_, [&](const WfsClient::StopRequested& stop) {
            tiled = client_.getFeaturesTiled(
                services::endpoints().geoportalMaps + kNewBuildingsPath, kNewBuildingsTypename,
                run.bbox, cancellableProgress("Import: budynki (BDOT10k)"), true, false, 2180,
                stop);
            std::vector<GisFeature> found = GmlParser::parseFeatureCollection(
                std::exchange(tiled.document, {}), DataType::Budynki);
            vectorstages::dropRepeatedFeatures(found);
            return found;
        });
    if (buildings)
        vectorstages::dropDamagedFeatures(*buildings, run.bbox, kBuildingsPrefix, run.warnings());
    if (buildings && !tiled.reach.reached) {
        run.appendWarning(fetchstages::unreachable(kBuildingsPrefix,
                                                   "BDOT10k NoweBudynki (geoportal)",
                                                   "nie pobrano nowych budynkow", tiled.reach));
    } else if (buildings && tiled.missingCells() > 0) {
        run.appendWarning(
            fetchstages::missingCells(kBuildingsPrefix, tiled.missingCells(), tiled.cells));
    }
    if (buildings && !buildings->empty())
        run.appendWarning("Budynki z BDOT10k NoweBudynki (fallback - tylko nowe obiekty).");
    return buildings;
}

void ImportController::fetchZoning(FetchRun& run) {
    const MunicipalityLookup::Found municipality = terytForBbox(run.bbox);
    if (run.cutShort(kZoningPrefix))
        return;
    if (!municipality.reach.reached) {
        run.appendWarning(fetchstages::lookupUnreachable(kZoningPrefix, municipality.reach, true));
        return;
    }
    const std::string& teryt = municipality.teryt;
    if (teryt.empty()) {
        run.appendWarning("MPZP/POG pominiete: nie udalo sie ustalic gminy (TERYT) dla widoku.");
        return;
    }
    if (run.requested("pog"))
        fetchGeneralPlanZones(run, teryt);
    if (run.requested("mpzp"))
        fetchMpzpRaster(run, teryt);
}

void ImportController::fetchGeneralPlanZones(FetchRun& run, const std::string& teryt) {
    RuClient registry(client_);
    const std::vector<RuClient::RuAct> acts = registry.queryByTeryt(teryt);
    if (run.cutShort(kPogPrefix))
        return;
    if (!registry.reach().reached) {
        run.appendWarning(fetchstages::unreachable(
            kPogPrefix, kRegister, "nie sprawdzono, czy gmina " + teryt + " ma Plan Ogolny",
            registry.reach()));
        return;
    }
    RuClient::RuAct plan;
    if (!RuClient::pickBest(acts, plan, kGeneralPlan)) {
        run.appendWarning("Brak POG dla gminy " + teryt +
                          " (Plan Ogolny jeszcze nieuchwalony w Rejestrze Urbanistycznym).");
        return;
    }
    std::vector<GisFeature> zones = registry.downloadZones(plan, DataType::Pog);
    if (run.cutShort(kPogPrefix))
        return;
    if (!registry.reach().reached) {
        run.appendWarning(fetchstages::unreachable("POG gminy " + teryt + ": ", kRegister,
                                                   "nie pobrano stref planu", registry.reach()));
        return;
    }
    vectorstages::dropDamagedFeatures(zones, run.bbox, "POG gminy " + teryt + ": ", run.warnings());
    std::erase_if(zones, [&run](const GisFeature& zone) {
        return !vectorstages::zoneMeetsFrame(zone, run.bbox);
    });
    if (zones.empty())
        run.appendWarning("POG gminy " + teryt + ": akt jest, ale zadna strefa nie wpada w kadr.");
    appendAll(run.data.features, std::move(zones));
}

// Lines cut short by a cancel are dropped, and the map in their place is not asked for.
void ImportController::fetchUtilities(FetchRun& run) {
    const MunicipalityLookup::Found municipality = terytForBbox(run.bbox);
    if (run.cutShort(kUtilitiesPrefix))
        return;
    if (!municipality.reach.reached) {
        run.appendWarning(fetchstages::lookupUnreachable(kUtilitiesPrefix, municipality.reach));
        return;
    }
    const LocalServices::Service service = LocalServices::gesutFor(municipality.teryt);
    KindFeatures lines = std::vector<GisFeature>();
    if (!service.wfs.empty()) {
        std::optional<vectorstages::UtilityLines> found =
            fetchstages::unlessCutShort(cancel_, [&](const WfsClient::StopRequested& stop) {
                return vectorstages::utilityLines(
                    client_, service.wfs, run.bbox,
                    [](const char* label) { return cancellableProgress(label); }, stop);
            });
        if (!found) {
            lines.reset();
        } else if (!found->reach.reached) {
            run.appendWarning(fetchstages::unreachable(kUtilitiesPrefix, kUtilitiesService,
                                                       "nie pobrano przewodow jako obiektow",
                                                       found->reach));
        } else {
            for (const std::string& sentence : found->shortfall)
                run.appendWarning(sentence);
            lines = std::move(found->lines);
        }
    }
    if (!lines) {
        run.appendWarning(fetchstages::cutShortSentence(kUtilitiesPrefix));
        return;
    }
    vectorstages::dropDamagedFeatures(*lines, run.bbox, kUtilitiesPrefix, run.warnings());
    if (lines->empty()) {
        fetchGesutRaster(run, service);
        return;
    }
    appendAll(run.data.features, std::move(*lines));
}
