#include "cloud/CloudController.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <system_error>
#include <thread>

#include "ACAPinc.h"
#include "MainThread.h"
#include "MapCentre.h"
#include "PageFields.h"
#include "cloud/CloudEstimate.h"
#include "cloud_ui/CloudPalette.h"
#include "geodata/GeoBounds.h"
#include "geodata/GeoTransform.h"
#include "geodata/LidarResolver.h"
#include "geodata/ProjConv.h"

namespace {

using json = nlohmann::json;

const char* const kBadFrame = "Nieprawidlowy bbox";
const char* const kGeoReadFailed = "Nie mozna odczytac georeferencji projektu";
const char* const kGeoWriteFailed = "Nie udalo sie zapisac georeferencji projektu";

using pagefield::errorReply;

bool isFinite(const Bbox& b) {
    return std::isfinite(b.minx) && std::isfinite(b.miny) && std::isfinite(b.maxx) &&
           std::isfinite(b.maxy);
}

void launchDetached(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), "thread constructor failed");
    }
}

// A number in fixed notation with six decimals, whatever the locale.
std::string fixed6(double v) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
    return std::string(text, end.ptr);
}

}  // namespace

CloudController& CloudController::Instance() {
    // Never destroyed: detached workers may still use it while the process ends.
    alignas(CloudController) static unsigned char storage[sizeof(CloudController)];
    static CloudController* const controller = ::new (storage) CloudController();
    return *controller;
}

CloudController::CloudController() : launcher_(launchDetached) {}

void CloudController::registerHandlers(Bridge& bridge) {
    bridge.on("frameEstimate", [this](const json& m) { return onFrameEstimate(m); });
    bridge.on("download", [this](const json& m) { return onDownload(m); });
    bridge.on("cancel", [this](const json& m) { return onCancel(m); });
    bridge.on("setOrigin", [this](const json& m) { return onSetOrigin(m); });
    bridge.on("getInit", [this](const json& m) { return onGetInit(m); });
}

void CloudController::setThreadLauncher(ThreadLauncher launcher) {
    launcher_ = launcher ? std::move(launcher) : ThreadLauncher(launchDetached);
}

// ---- Frame and detail ---------------------------------------------------------------------------

Bbox CloudController::bboxFromWgs84(const std::vector<double>& c) const {
    return ProjConv::pl1992ExtentOfWgs84(c.at(0), c.at(1), c.at(2), c.at(3));
}

cloudui::Detail CloudController::detailFromString(const std::string& text) {
    if (text == "lekki")
        return cloudui::Detail::Light;
    if (text == "full")
        return cloudui::Detail::Full;
    return cloudui::Detail::Standard;
}

std::optional<std::vector<double>> CloudController::frameCorners(const json& message,
                                                                 std::string& error) const {
    error = kBadFrame;
    if (!message.is_object() || !message.contains("bboxWgs84") || message["bboxWgs84"].size() != 4)
        return std::nullopt;
    std::vector<double> corners = pagefield::numbers(message, "bboxWgs84", 4);
    if (!geobounds::isLatLon(corners[1], corners[0]) ||
        !geobounds::isLatLon(corners[3], corners[2]) || !isFinite(bboxFromWgs84(corners)))
        return std::nullopt;
    if (!geobounds::frameWithinReach(corners[0], corners[1], corners[2], corners[3])) {
        error = geobounds::kFrameOutOfReach;
        return std::nullopt;
    }
    return corners;
}

cloudui::Detail CloudController::detailOf(const json& message) {
    return detailFromString(pagefield::text(message, "detail", "standard"));
}

// ---- Estimates ----------------------------------------------------------------------------------

json CloudController::onFrameEstimate(const json& message) {
    std::string error;
    const auto corners = frameCorners(message, error);
    if (!corners)
        return errorReply(error);
    const Bbox frame = bboxFromWgs84(*corners);
    const cloudui::Detail detail = detailOf(message);
    const double area = (frame.maxx - frame.minx) * (frame.maxy - frame.miny);
    const double used = density.load();
    const cloud::Estimate estimate = cloud::estimateFor(area, used, detail);
    const std::uint64_t jobGeneration = generation.fetch_add(1) + 1;
    launcher_([this, job = EstimateJob{frame, detail, area, used, jobGeneration}] {
        estimateWorker(job);
    });
    return {{"type", "estimateDone"},
            {"points", estimate.points},
            {"sizeMB", estimate.sizeMB()},
            {"overLimit", estimate.overLimit()},
            {"density", used}};
}

void CloudController::estimateWorker(const EstimateJob& job) {
    double largest = 0.0;
    try {
        WfsClient own;
        for (const LidarResolver::LidarTile& tile : LidarResolver(own).tilesFor(job.frame))
            largest = std::max(largest, tile.density);
    } catch (const std::exception&) {
        return;  // the immediate estimate stands
    }
    if (!(largest > 0.0) || job.generation != generation.load())
        return;
    density.store(largest);
    if (std::abs(largest - job.density) < 0.01)
        return;
    const cloud::Estimate estimate = cloud::estimateFor(job.area, largest, job.detail);
    runOnMainThread([this, estimate, largest, g = job.generation] {
        postEstimate(estimate.points, estimate.bytes(), estimate.overLimit(), largest, g);
    });
}

void CloudController::postEstimate(std::int64_t points, std::int64_t bytes, bool overLimit,
                                   double used, std::uint64_t jobGeneration) {
    if (jobGeneration != generation.load())
        return;
    CloudPalette::SendToBrowser("estimateDone", {{"points", points},
                                                 {"sizeMB", static_cast<double>(bytes) / 1e6},
                                                 {"overLimit", overLimit},
                                                 {"density", used}});
}

// ---- Cancel, origin, start position -------------------------------------------------------------

json CloudController::onCancel(const json&) {
    cancel.exchange(true);
    return {{"type", "cancelled"}};
}

json CloudController::onSetOrigin(const json& message) {
    std::string error;
    const std::optional<MapCentre> centre = mapCentreOf(message, error);
    if (!centre)
        return errorReply(error);
    const auto [lat, lon] = *centre;
    const int code = ProjConv::zoneForLon(lon);
    const GisPoint p1992 = ProjConv::latLonToPl1992(lat, lon);
    const GisPoint zone = ProjConv::pl1992ToPl2000(p1992.x, p1992.y, code);

    API_GeoLocation geo{};
    if (ACAPI_GeoLocation_GetGeoLocation(&geo) != NoError)
        return errorReply(kGeoReadFailed);
    geo.placeInfo.longitude = lon;
    geo.placeInfo.latitude = lat;
    API_SurveyPoint& survey = geo.surveyPoint;
    survey.position = {0.0, 0.0, 0.0};
    survey.geoReferenceData.name = GS::UniString("EPSG:" + std::to_string(code));
    survey.geoReferenceData.geodeticDatum = "ETRF2000 (PL-ETRF2000)";
    survey.geoReferenceData.mapProjection = "PL-2000";
    survey.eastings = zone.x;
    survey.northings = zone.y;
    survey.orthogonalHeight = 0.0;
    survey.xAxisAbscissa = 1.0;
    survey.xAxisOrdinate = 0.0;
    survey.scale = 1.0;
    if (ACAPI_GeoLocation_SetGeoLocation(&geo) != NoError)
        return errorReply(kGeoWriteFailed);

    ACAPI_WriteReport(
        GS::UniString("Tovelmark Cloud: ustawiono georeferencje projektu: E=" + fixed6(zone.x) +
                      " N=" + fixed6(zone.y) + " (EPSG:" + std::to_string(code) + ")"),
        false);
    return {{"type", "originSet"}, {"e", zone.x}, {"n", zone.y}};
}

json CloudController::onGetInit(const json&) {
    double lat = 0.0;
    double lon = 0.0;
    if (!projectSurveyPointLatLon(lat, lon))
        return nullptr;
    return {{"type", "init"}, {"lat", lat}, {"lon", lon}, {"zoom", 17}};
}
