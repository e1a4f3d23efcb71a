// CloudController: the "download" message, its worker and its completion on the main thread.

#include <filesystem>
#include <fstream>
#include <locale>
#include <system_error>

#include "ACAPinc.h"
#include "MainThread.h"
#include "PageFields.h"
#include "Platform.h"
#include "cloud/CloudController.h"
#include "cloud/DownloadRun.h"
#include "cloud/PlacementController.h"
#include "cloud_ui/CloudPalette.h"
#include "geodata/GeoTransform.h"
#include "geodata/ProjConv.h"

namespace {

using json = nlohmann::json;

// Where the kept points go: the PL-2000 zone and, when the project's georeference names that
// zone and its survey point lies within the reach of the Polish systems, that point and its
// height as the origin of their local frame.
struct Placement {
    int epsg = 0;
    double anchorE = 0.0;
    double anchorN = 0.0;
    double anchorH = 0.0;
    bool hasGeo = false;
};

Placement placementFor(double centreLon) {
    Placement place;
    place.epsg = projectZoneOr(centreLon);
    GeoTransform survey;
    std::string message;
    int epsg = 2180;
    API_GeoLocation geo{};
    place.hasGeo = loadSurveyPointFromProject(survey, message, epsg) != kGeoreferenceNone &&
                   epsg == place.epsg && survey.surveyPointWithinReach(epsg) &&
                   ACAPI_GeoLocation_GetGeoLocation(&geo) == NoError;
    if (place.hasGeo) {
        place.anchorE = survey.surveyEasting;
        place.anchorN = survey.surveyNorthing;
        place.anchorH = geo.surveyPoint.orthogonalHeight;
    }
    return place;
}

// Where the points went and where the project's survey point lies, for comparing the two when
// the cloud does not line up with the model. Written afresh for every download; a file that
// cannot be opened is skipped silently.
void writeDiagnostics(const CloudController::DownloadResult& result) {
    GeoTransform survey;
    std::string message;
    int epsg = 2180;
    const int quality = loadSurveyPointFromProject(survey, message, epsg);
    API_GeoLocation geo{};
    const double height =
        ACAPI_GeoLocation_GetGeoLocation(&geo) == NoError ? geo.surveyPoint.orthogonalHeight : 0.0;
    std::ofstream out(Platform::diagPath("tovelmark_cloud_diag.txt"), std::ios::trunc);
    if (!out)
        return;
    out.imbue(std::locale::classic());
    out << "=== Tovelmark Cloud \u2014 diagnostyka zgrania ===\n"
        << "punktow=" << result.count << " placeEpsg=" << result.placeEpsg << '\n'
        << "[CHMURA] offset(rog kadru PL-2000) offE=" << result.anchorE
        << " offN=" << result.anchorN << '\n'
        << "[CHMURA] bbox lokalny lx[" << result.x.min << ".." << result.x.max << "] ly["
        << result.y.min << ".." << result.y.max << "]\n"
        << "[CHMURA] Z bezwzgledne(npm) z[" << result.z.min << ".." << result.z.max << "]\n"
        << "[PROJEKT] survey point quality=" << quality << " east=" << survey.surveyEasting
        << " north=" << survey.surveyNorthing << " rot(rad)=" << survey.angle << " epsg=" << epsg
        << '\n'
        << "[PROJEKT] orthogonalHeight=" << height << '\n'
        << "--- oczekiwany rozjazd: XY = offset chmury vs survey point; Z = orthogonalHeight "
           "(chmura wyzej) ---\n";
}

}  // namespace

json CloudController::onDownload(const json& message) {
    std::string error;
    const auto corners = frameCorners(message, error);
    if (!corners)
        return pagefield::errorReply(error);
    if (busy)
        return pagefield::errorReply("Trwa pobieranie danych - sprobuj za chwile");
    const Bbox frame = bboxFromWgs84(*corners);
    const cloudui::Detail detail = detailOf(message);
    const Placement place = placementFor(((*corners)[0] + (*corners)[2]) / 2);
    startDownload(frame, detail, place.epsg, place.anchorE, place.anchorN, place.anchorH,
                  place.hasGeo);
    return nullptr;
}

void CloudController::startDownload(const Bbox& frame, cloudui::Detail detail, int placeEpsg,
                                    double anchorE, double anchorN, double anchorH, bool hasGeo) {
    busy = true;
    cancel.exchange(false);
    CloudPalette::SendToBrowser("progress", {{"label", "Pobieranie skorowidza LiDAR"}, {"pct", 0}});
    const DownloadJob job{frame, detail, placeEpsg, anchorE, anchorN, anchorH, hasGeo};
    try {
        launcher_([this, job] { downloadWorker(job); });
    } catch (...) {
        busy = false;
        throw;
    }
}

void CloudController::downloadWorker(const DownloadJob& job) {
    const cloud::DownloadHooks hooks{
        [this](std::size_t sheet, std::size_t sheets, long long done, long long total) {
            return tileProgress(sheet, sheets, done, total);
        },
        [this](double pct) { runOnMainThread([this, pct] { postProcessingProgress(pct); }); }};
    DownloadResult result = cloud::runDownload(job, client, cancel, hooks);
    runOnMainThread([this, result = std::move(result)] { finishDownload(result); });
}

bool CloudController::tileProgress(std::size_t sheet, std::size_t sheets, long long done,
                                   long long total) {
    cloud::ProgressEvent event = cloud::tileProgressEvent(sheet, sheets, done, total);
    runOnMainThread([this, event = std::move(event)] { postTileProgress(event.label, event.pct); });
    return !cancel.load();
}

void CloudController::postTileProgress(const std::string& label, double pct) {
    CloudPalette::SendToBrowser("progress",
                                {{"label", label}, {"pct", pct}, {"cancellable", true}});
}

void CloudController::postProcessingProgress(double pct) {
    CloudPalette::SendToBrowser("progress", {{"label", "Przetwarzanie kafli LiDAR"}, {"pct", pct}});
}

void CloudController::finishDownload(const DownloadResult& result) {
    busy = false;
    std::string handOver;
    bool placed = false;
    if (result.ok) {
        writeDiagnostics(result);
        placed = PlacementController::place(result.path, result.anchorE, result.anchorN,
                                            result.placeEpsg, handOver,
                                            {result.warning, result.partial});
    }
    if (!result.path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(result.path, ignored);
    }
    // The page shows a cloud that lacks part of the frame as a warning: its message says what.
    const std::string& told = result.ok ? handOver : result.message;
    json done = {{"ok", result.ok && placed},
                 {"msg", result.warning.empty() ? told : told + " " + result.warning}};
    if (!result.warning.empty())
        done["warning"] = true;
    CloudPalette::SendToBrowser("downloadDone", done);
}
