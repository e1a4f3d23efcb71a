// The "fetch" request: reading and checking it, starting the worker, relaying the stages'
// progress and report lines through the main thread, and the completion that keeps the record
// and tells the page what came.

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string_view>
#include <thread>
#include <tuple>

#include "ACAPinc.h"
#include "ExceptionText.h"
#include "MapPalette.h"
#include "PageFields.h"
#include "geodata/GeoBounds.h"
#include "geodata/GeoTransform.h"
#include "geodata/GmlParser.h"
#include "geodata/Net.h"
#include "geodata/NumberText.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"

namespace {

using json = ImportController::json;

constexpr const char* kBadBox = "Nieprawidlowy bbox";

using pagefield::errorReply;

// West, south, east and north on the globe, with a width and a height.
bool isArea(const std::array<double, 4>& wsen) {
    const auto [west, south, east, north] = wsen;
    const bool lons = std::abs(west) <= 180.0 && std::abs(east) <= 180.0;
    const bool lats = std::abs(south) <= 90.0 && std::abs(north) <= 90.0;
    return lons && lats && west != east && south != north;
}

bool isArea(const Bbox& box) {
    const bool finite = std::isfinite(box.minx) && std::isfinite(box.miny) &&
                        std::isfinite(box.maxx) && std::isfinite(box.maxy);
    return finite && box.maxx > box.minx && box.maxy > box.miny;
}

// A grid step of the page asked for by one of the keys that use it must not exceed the frame's
// longer side: such a grid has no cell inside the frame, and its stages would tell an empty frame
// as missing data.
void refuseStepBeyondFrame(const ImportController::FetchRequest& request, const char* field,
                           double step, std::initializer_list<std::string_view> keys) {
    const double side =
        std::max(request.bbox.maxx - request.bbox.minx, request.bbox.maxy - request.bbox.miny);
    const bool used = std::ranges::any_of(keys, [&request](std::string_view key) {
        return std::ranges::find(request.keys, key) != request.keys.end();
    });
    if (used && step > side) {
        pagefield::refuse(field, "ma wartosc " + numbertext::general(step) +
                                     " m, wieksza niz dluzszy bok kadru (" +
                                     std::to_string(std::lround(side)) +
                                     " m) - zmniejsz krok albo powieksz kadr");
    }
}

ImportController::FetchedData failedFetch(const std::string& why) {
    ImportController::FetchedData data;
    data.warning = "Blad pobierania: " + why;
    return data;
}

// Per kind: features and images one by one, every other list by its size.
json countsOf(const ImportController::FetchedData& data) {
    json counts = json::object();
    const auto add = [&counts](const std::string& key) { counts[key] = counts.value(key, 0) + 1; };
    for (const GisFeature& feature : data.features)
        add(Settings::keyOf(static_cast<DataType>(feature.kind)));
    for (const ImportController::RasterItem& raster : data.rasters)
        add(std::string(Settings::keyOf(raster.type)) + " (rastr)");
    const std::pair<const char*, std::size_t> lists[] = {
        {"teren (Siatka)", data.terrain.size()},
        {"teren z chmury (Siatka)", data.cloudTerrain.size()},
        {"woda z chmury (Siatka)", data.water.size()},
        {"budynki3d", data.lod1.size()},
        {"budynkilod2", data.lod2.size()},
        {"dachychmura", data.roofsCloud.size()},
        {"budynkindsm", data.roofsNdsm.size()},
        {"budynkirekon", data.roofsRekon.size()},
        {"mosty", data.bridges.size()},
        {"drogi", data.roads.size()},
        {"poziomice (warstwice)", data.contours.size()},
        {"poziomice z chmury (warstwice)", data.cloudContours.size()},
    };
    for (const auto& [key, size] : lists) {
        if (size > 0)
            counts[key] = size;
    }
    return counts;
}

}  // namespace

bool ImportController::FetchedData::hasData() const {
    return !features.empty() || !rasters.empty() || !terrain.empty() || !cloudTerrain.empty() ||
           !water.empty() || !lod1.empty() || !lod2.empty() || !roofsCloud.empty() ||
           !roofsRekon.empty() || !roofsNdsm.empty() || !bridges.empty() || !roads.empty() ||
           !contours.empty() || !cloudContours.empty();
}

Bbox ImportController::bboxFromWgs84(const std::array<double, 4>& wsen) {
    const auto [west, south, east, north] = wsen;
    return ProjConv::pl1992ExtentOfWgs84(west, south, east, north);
}

std::optional<ImportController::FetchRequest> ImportController::readFetchRequest(
    const json& message, std::string& error) {
    FetchRequest request;
    const std::vector<double> box = pagefield::numbers(message, "bboxWgs84", 4);
    const std::array<double, 4> wsen{box[0], box[1], box[2], box[3]};
    request.keys = pagefield::texts(message, "layers");
    request.rasterScale = pagefield::integer(message, "rasterScale", request.rasterScale);
    request.terrainStep = pagefield::integer(message, "terrainStep", request.terrainStep);
    request.poziomiceCiecie =
        pagefield::number(message, "poziomiceCiecie", request.poziomiceCiecie);
    request.poziomiceWygladz =
        pagefield::flag(message, "poziomiceWygladz", request.poziomiceWygladz);
    request.terenChmuraKrok =
        pagefield::number(message, "terenChmuraKrok", request.terenChmuraKrok);
    // A step of 0 is coarsened to the grid's node limit like any step too fine; one below 0
    // means nothing.
    if (request.terenChmuraKrok < 0.0)
        pagefield::refuse("terenChmuraKrok", "nie moze byc ujemne");
    if (!isArea(wsen)) {
        error = kBadBox;
        return std::nullopt;
    }
    if (!geobounds::frameWithinReach(wsen[0], wsen[1], wsen[2], wsen[3])) {
        error = geobounds::kFrameOutOfReach;
        return std::nullopt;
    }
    request.bbox = bboxFromWgs84(wsen);
    if (!isArea(request.bbox)) {
        error = kBadBox;
        return std::nullopt;
    }
    refuseStepBeyondFrame(request, "terrainStep", request.terrainStep,
                          {"teren", "poziomice2d", "poziomice3d"});
    refuseStepBeyondFrame(request, "terenChmuraKrok", request.terenChmuraKrok,
                          {"terenchmura", "poziomicechmura", "wodachmura"});
    request.zoneEpsg = projectZoneOr((wsen[0] + wsen[2]) * 0.5);
    return request;
}

ImportController::FetchedData ImportController::fetchOrFailure(
    const std::function<FetchedData()>& pipeline) {
    try {
        return pipeline();
    } catch (...) {
        return failedFetch(currentExceptionText("nieznany blad"));
    }
}

ImportController::json ImportController::onFetch(const json& message) {
    if (!message.contains("bboxWgs84") || message["bboxWgs84"].size() != 4)
        return errorReply(kBadBox);
    if (busy_)
        return errorReply(kBusyMessage);
    std::string error;
    const std::optional<FetchRequest> request = readFetchRequest(message, error);
    if (!request)
        return errorReply(error);
    startFetch(*request);
    return nullptr;
}

// The request's values are kept only once the worker runs; a worker that cannot be started
// leaves the controller as it was, idle.
void ImportController::startFetch(const FetchRequest& request) {
    const auto kept = std::tuple(zoneEpsg_, poziomiceWygladz_, terenChmuraKrok_);
    zoneEpsg_ = request.zoneEpsg;
    poziomiceWygladz_ = request.poziomiceWygladz;
    terenChmuraKrok_ = request.terenChmuraKrok;
    busy_ = true;
    cancel_.exchange(false);
    try {
        std::thread([this, request] { fetchWorker(request); }).detach();
    } catch (...) {
        std::tie(zoneEpsg_, poziomiceWygladz_, terenChmuraKrok_) = kept;
        busy_ = false;
        throw;
    }
    // Sent after the start, yet it reaches the page first: the worker's messages are posted.
    MapPalette::SendToBrowser("progress",
                              {{"done", 0}, {"total", 1}, {"label", "Pobieranie warstw"}});
}

void ImportController::fetchWorker(const FetchRequest& request) {
    // The fetch's requests, and only they, hear its cancel: the address search on the main thread
    // shares the client.
    const net::AbortScope abort(cancel_);
    std::string preview;
    FetchedData data = fetchOrFailure([&] {
        FetchedData fetched =
            fetchForImport(request.bbox, request.keys, request.rasterScale, request.terrainStep,
                           request.poziomiceCiecie, std::string());
        if (!fetched.features.empty())
            preview = GmlParser::toGeoJSON(fetched.features);
        return fetched;
    });
    try {
        runOnMainThread([this, bbox = request.bbox, keys = request.keys, data = std::move(data),
                         preview = std::move(preview)]() mutable {
            onFetchDone(bbox, std::move(keys), std::move(data), preview);
        });
    } catch (...) {
        // Without memory for the completion nothing can reach the main thread.
    }
}

std::function<void(int, int)> ImportController::stageProgress(const char* label) {
    return [label = std::string(label)](int done, int total) {
        runOnMainThread([done, total, label] { postProgress(done, total, label); });
    };
}

void ImportController::postProgress(int done, int total, const std::string& label) {
    MapPalette::SendToBrowser("progress", {{"done", done}, {"total", total}, {"label", label}});
}

void ImportController::postReport(const std::string& text) {
    runOnMainThread([text] { ACAPI_WriteReport(GS::UniString(text), false); });
}

void ImportController::onFetchDone(const Bbox& bbox, std::vector<std::string> keys,
                                   FetchedData data, const std::string& preview) {
    busy_ = false;
    json reply = {{"counts", countsOf(data)}};
    hasData_ = data.hasData();
    fetched_ = std::move(data);
    fetchedBbox_ = bbox;
    fetchedKeys_ = std::move(keys);
    if (!fetched_.features.empty())
        reply["geojson"] = preview;
    if (!fetched_.warning.empty()) {
        reply["warning"] = fetched_.warning;
        ACAPI_WriteReport(GS::UniString("TERRAWEFT: " + fetched_.warning), false);
    } else if (!hasData_) {
        reply["warning"] = "Nic nie pobrano dla tego obszaru.";
    }
    MapPalette::SendToBrowser("fetchDone", reply);
}
