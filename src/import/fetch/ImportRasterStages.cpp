// The raster stages of the fetch: the local plan drawing, the utility map, the county 1:500 map
// and the orthophoto, as WMS images cut into at most 4 x 4 tiles.

#include "import/fetch/ImportRasterStages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "geodata/LocalServices.h"
#include "geodata/NameMatch.h"
#include "geodata/NumberText.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"
#include "import/ImageType.h"
#include "import/fetch/FetchRun.h"

namespace {

constexpr const char* kOrthophotoPath = "/wss/service/PZGIK/ORTO/WMS/StandardResolution";
constexpr const char* kOrthophotoLayers = "Raster";
constexpr double kOrthophotoMpp = 0.25;
constexpr int kHalvingFrom = 1024;  // a rejected request at least this wide is asked again
constexpr const char* kMpzpPrefix = "MPZP: ";
constexpr const char* kGesutPrefix = "GESUT: ";
constexpr const char* kBdot500Prefix = "BDOT500: ";
constexpr const char* kOrthophotoPrefix = "Ortofotomapa: ";

bool hasArea(const Bbox& box) {
    const double dx = box.maxx - box.minx;
    const double dy = box.maxy - box.miny;
    return std::isfinite(dx) && std::isfinite(dy) && dx > 0.0 && dy > 0.0;
}

// Tiles needed along one axis, at least 1; compared as a double before it becomes an integer.
double tilesAlong(double extent, double mpp) {
    return std::max(1.0, std::ceil(extent / mpp / rasterstages::kMaxTilePixels));
}

// The whole metres of a finite length, as text.
std::string wholeText(double metres) {
    return numbertext::fixed(std::trunc(metres), 0);
}

// The frame in the request's coordinate system.
Bbox requestBox(const Bbox& frame, int epsg) {
    return ProjConv::isPl2000(epsg) ? ProjConv::pl2000ExtentOf(frame, epsg) : frame;
}

std::string joinedLayers(const std::vector<std::string>& chosen,
                         const std::vector<std::string>& all) {
    return ImportController::joinComma(chosen.empty() ? all : chosen);
}

// The utility or 1:500 layers of a county WMS; without any, all of its layers.
std::string countyLayers(const std::string& capabilities, DataType type) {
    return joinedLayers(LocalServices::wmsLayersForType(capabilities, type),
                        LocalServices::wmsLayerNames(capabilities));
}

// A stage that stored some of its tiles says how many did not come.
void warnMissingTiles(const std::function<void(const std::string&)>& warn, std::string_view prefix,
                      const rasterstages::Stored& stored) {
    if (stored.missing() > 0)
        warn(rasterstages::missingTiles(prefix, stored));
}

}  // namespace

namespace rasterstages {

std::optional<TileCut> cutFor(double dx, double dy, double mpp) {
    const bool sizes = std::isfinite(dx) && std::isfinite(dy) && dx > 0.0 && dy > 0.0;
    if (!sizes || !std::isfinite(mpp) || !(mpp > 0.0))
        return std::nullopt;
    const double nx = tilesAlong(dx, mpp);
    const double ny = tilesAlong(dy, mpp);
    TileCut cut;
    cut.capped = nx > kMaxTilesPerAxis || ny > kMaxTilesPerAxis;
    cut.nx = static_cast<int>(std::min<double>(nx, kMaxTilesPerAxis));
    cut.ny = static_cast<int>(std::min<double>(ny, kMaxTilesPerAxis));
    if (cut.capped) {
        cut.cappedMpp = std::max(dx / (cut.nx * double{kMaxTilePixels}),
                                 dy / (cut.ny * double{kMaxTilePixels}));
    }
    return cut;
}

int firstWidth(const Bbox& tile, double mpp) {
    const double pixels = (tile.maxx - tile.minx) / mpp;
    return static_cast<int>(std::clamp<double>(pixels, kMinTilePixels, kMaxTilePixels));
}

int heightFor(const Bbox& tile, int width) {
    const double pixels = (tile.maxy - tile.miny) * width / (tile.maxx - tile.minx);
    return static_cast<int>(std::clamp<double>(pixels, 1.0, kMaxTilePixels));
}

std::string missingTiles(std::string_view prefix, const Stored& stored) {
    return std::string(prefix) + "nie pobrano " + std::to_string(stored.missing()) + " z " +
           std::to_string(stored.asked) + " platkow rastra - w tych miejscach mapa ma luki.";
}

std::optional<std::string> fetchTile(const Bbox& tile, double mpp, const GetMap& get,
                                     const std::function<bool()>& stop) {
    int width = firstWidth(tile, mpp);
    for (int attempt = 1; attempt <= kRequestsPerTile; ++attempt) {
        if (stop && stop())
            break;
        WfsClient::HttpResult answer = get(width, heightFor(tile, width));
        if (answer.status == 200 && !imageMimeType(answer.body).empty())
            return std::move(answer.body);
        if (width < kHalvingFrom)
            break;
        width /= 2;
    }
    return std::nullopt;
}

long long scaleOf(double mpp) {
    // A hair above the quotient, so that 0.28 m comes to 1000 however 0.28 is rounded.
    return static_cast<long long>(std::floor(mpp / kRenderingPixel + 1e-9));
}

std::string densityText(double mpp) {
    return numbertext::fixed(mpp, 6).substr(0, 4);
}

std::string mpzpLayers(const std::vector<std::string>& names) {
    std::vector<std::string> drawing;
    std::vector<std::string> other;
    for (const std::string& name : names) {
        const std::string lower = namematch::asciiLower(name);
        if (namematch::contains(lower, "rysun"))
            drawing.push_back(name);
        if (!namematch::containsAny(lower, {"granic", "zasieg", "obrys", "zbior", "aktplanowania"}))
            other.push_back(name);
    }
    return joinedLayers(drawing.empty() ? other : drawing, names);
}

}  // namespace rasterstages

std::vector<Bbox> ImportController::tileBboxes(const Bbox& box, int nx, int ny) {
    nx = std::max(nx, 1);
    ny = std::max(ny, 1);
    const double stepX = (box.maxx - box.minx) / nx;
    const double stepY = (box.maxy - box.miny) / ny;
    std::vector<Bbox> tiles;
    tiles.reserve(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            const double minx = box.minx + i * stepX;
            const double miny = box.miny + j * stepY;
            tiles.push_back({minx, miny, i + 1 == nx ? box.maxx : minx + stepX,
                             j + 1 == ny ? box.maxy : miny + stepY});
        }
    }
    return tiles;
}

std::string ImportController::joinComma(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

int ImportController::wmsRequestEpsg(std::string_view capabilities, int zoneEpsg) {
    // ":" before the code stands in "EPSG:2177" and in "urn:ogc:def:crs:EPSG::2177" alike.
    const std::string code = ":" + std::to_string(zoneEpsg);
    return capabilities.find(code) != std::string_view::npos ? zoneEpsg : 2180;
}

rasterstages::Stored ImportController::fetchWmsRaster(FetchRun& run, const std::string& wmsUrl,
                                                      const std::string& layers, double mpp,
                                                      DataType type, int epsg) {
    const double dx = run.bbox.maxx - run.bbox.minx;
    const double dy = run.bbox.maxy - run.bbox.miny;
    const std::optional<rasterstages::TileCut> cut = rasterstages::cutFor(dx, dy, mpp);
    if (!cut)
        return {};
    const std::string key = Settings::keyOf(type);
    if (cut->capped) {
        run.appendWarning("Kadr bardzo szeroki - rastry " + key + " ograniczone do " +
                          std::to_string(cut->nx * cut->ny) + " platek (ok. 1:" +
                          std::to_string(rasterstages::scaleOf(cut->cappedMpp)) + ").");
    }
    postReport("TERRAWEFT: rastr " + key + ": kadr " + wholeText(dx) + "x" + wholeText(dy) +
               " m, gestosc " + rasterstages::densityText(mpp) +
               " m/px (1:" + std::to_string(rasterstages::scaleOf(mpp)) + "), platki " +
               std::to_string(cut->nx) + "x" + std::to_string(cut->ny));
    const Bbox box = requestBox(run.bbox, epsg);
    if (!hasArea(box))
        return {};
    const std::vector<Bbox> tiles = tileBboxes(box, cut->nx, cut->ny);
    const std::function<bool()> cancelled = [&run] { return run.cancel.load(); };
    std::vector<RasterItem> images;
    ReachTally reach;
    for (const Bbox& tile : tiles) {
        if (cancelled())
            break;
        std::optional<std::string> image = rasterstages::fetchTile(
            tile, mpp,
            [&](int width, int height) {
                WfsClient::HttpResult answer = client_.get(
                    WfsClient::buildWmsGetMapUrl(wmsUrl, layers, tile, width, height, epsg));
                reach.note(WfsClient::reachOf(answer, !imageMimeType(answer.body).empty()));
                return answer;
            },
            cancelled);
        if (image)
            images.push_back({type, std::move(*image), tile, epsg});
    }
    // A cancel may have broken off the last request too: the stage keeps none of the tiles.
    if (cancelled())
        return {};
    const rasterstages::Stored stored{static_cast<int>(tiles.size()),
                                      static_cast<int>(images.size()), reach.result()};
    std::move(images.begin(), images.end(), std::back_inserter(run.data.rasters));
    return stored;
}

rasterstages::Stored ImportController::fetchServiceRaster(
    FetchRun& run, const std::string& wmsUrl, DataType type,
    const std::function<std::string(const std::string&)>& choose) {
    const WfsClient::HttpResult capabilities =
        fetchstages::probeCapabilities(client_, wmsUrl, "WMS");
    const ServiceReach reach = fetchstages::capabilitiesReach(capabilities);
    if (!reach.reached)
        return {.reach = reach};
    const std::string layers = choose(capabilities.body);
    if (layers.empty())
        return {};
    return fetchWmsRaster(run, wmsUrl, layers, run.rasterMpp, type,
                          wmsRequestEpsg(capabilities.body, zoneEpsg_));
}

void ImportController::fetchMpzpRaster(FetchRun& run, const std::string& teryt) {
    const LocalServices::Service service = LocalServices::mpzpFor(teryt);
    if (service.wms.empty()) {
        run.appendWarning("Brak MPZP dla gminy " + teryt + ": brak uslugi WMS w EZiU.");
        return;
    }
    const rasterstages::Stored stored =
        fetchServiceRaster(run, service.wms, DataType::Mpzp, [](const std::string& capabilities) {
            return rasterstages::mpzpLayers(LocalServices::wmsLayerNames(capabilities));
        });
    if (run.cutShort(kMpzpPrefix))
        return;
    const std::string prefix = "MPZP gminy " + teryt + ": ";
    if (stored.tiles > 0) {
        run.appendWarning("MPZP: pobrano rysunek planu (rastr) z uslugi gminnej dla " + teryt +
                          ".");
        warnMissingTiles(run.warnings(), kMpzpPrefix, stored);
    } else if (!stored.reach.reached) {
        run.appendWarning(fetchstages::unreachable(prefix, "WMS gminy", "nie pobrano rysunku planu",
                                                   stored.reach));
    } else {
        run.appendWarning(prefix + "usluga WMS nie odpowiada albo nie ma rysunku planu.");
    }
}

void ImportController::fetchGesutRaster(FetchRun& run, const LocalServices::Service& service) {
    if (service.wms.empty()) {
        if (service.wfs.empty())
            run.appendWarning("GESUT: powiat nie publikuje uslugi w EZiU.");
        return;
    }
    const rasterstages::Stored stored =
        fetchServiceRaster(run, service.wms, DataType::Gesut, [](const std::string& capabilities) {
            return countyLayers(capabilities, DataType::Gesut);
        });
    if (run.cutShort(kGesutPrefix))
        return;
    if (stored.tiles > 0) {
        run.appendWarning("GESUT jako rastr (WMS powiatowy) - brak WFS lub brak przewodow w WFS.");
        warnMissingTiles(run.warnings(), kGesutPrefix, stored);
    } else if (!stored.reach.reached) {
        run.appendWarning(fetchstages::unreachable(kGesutPrefix, "WMS GESUT powiatu",
                                                   "nie pobrano mapy uzbrojenia", stored.reach));
    } else {
        run.appendWarning("GESUT: powiatowa usluga nie odpowiada.");
    }
}

void ImportController::fetchBdot500(FetchRun& run) {
    const MunicipalityLookup::Found municipality = terytForBbox(run.bbox);
    if (run.cutShort(kBdot500Prefix))
        return;
    if (!municipality.reach.reached) {
        run.appendWarning(fetchstages::lookupUnreachable(kBdot500Prefix, municipality.reach));
        return;
    }
    const LocalServices::Service service = LocalServices::bdot500For(municipality.teryt);
    if (service.wms.empty()) {
        run.appendWarning("BDOT500: powiat nie publikuje uslugi w EZiU.");
        return;
    }
    const rasterstages::Stored stored = fetchServiceRaster(
        run, service.wms, DataType::Bdot500, [](const std::string& capabilities) {
            return countyLayers(capabilities, DataType::Bdot500);
        });
    if (run.cutShort(kBdot500Prefix))
        return;
    if (stored.tiles > 0)
        return warnMissingTiles(run.warnings(), kBdot500Prefix, stored);
    run.appendWarning(!stored.reach.reached
                          ? fetchstages::unreachable(kBdot500Prefix, "WMS BDOT500 powiatu",
                                                     "nie pobrano mapy", stored.reach)
                          : "BDOT500: usluga WMS nie odpowiada.");
}

void ImportController::fetchOrthophoto(FetchRun& run) {
    const std::string url = services::endpoints().geoportalMaps + kOrthophotoPath;
    const rasterstages::Stored stored =
        fetchWmsRaster(run, url, kOrthophotoLayers, kOrthophotoMpp, DataType::Rastry, zoneEpsg_);
    if (run.cutShort(kOrthophotoPrefix))
        return;
    if (stored.tiles > 0)
        return warnMissingTiles(run.warnings(), kOrthophotoPrefix, stored);
    run.appendWarning(!stored.reach.reached ? fetchstages::unreachable(
                                                  kOrthophotoPrefix, "WMS ortofotomapy (geoportal)",
                                                  "rastr pominiety", stored.reach)
                                            : "Ortofotomapa WMS nie odpowiada - rastr pominiety.");
}
