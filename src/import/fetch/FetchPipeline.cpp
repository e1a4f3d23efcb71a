// The frame of the fetch pipeline: the stages in their fixed order, each run only when one of
// its keys was requested, and what they share.

#include <algorithm>
#include <array>

#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "import/fetch/FetchRun.h"
#include "import/fetch/ImportRasterStages.h"

namespace {

constexpr int kDefaultRasterScale = 1000;
constexpr int kMinRasterScale = 100;
constexpr int kMaxRasterScale = 10000;
constexpr const char* kCancelledRest =
    "Pobieranie przerwane przez uzytkownika - pozostale dane nie zostaly pobrane.";
constexpr const char* kCutShort = "przerwano przez uzytkownika.";

}  // namespace

ImportController::FetchRun::FetchRun(const Bbox& frame,
                                     const std::vector<std::string>& requestedKeys, int scale,
                                     int step, double interval, std::string warningText,
                                     const std::atomic<bool>& cancelRequest)
    : bbox(frame),
      keys(requestedKeys),
      rasterScale(usableRasterScale(scale)),
      terrainStep(step),
      contourInterval(interval),
      rasterMpp(rasterScale * rasterstages::kRenderingPixel),
      cancel(cancelRequest),
      warning(std::move(warningText)) {}

bool ImportController::FetchRun::requested(std::string_view key) const {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool ImportController::FetchRun::cutShort(std::string_view prefix) {
    if (!cancel)
        return false;
    appendWarning(fetchstages::cutShortSentence(prefix));
    return true;
}

void ImportController::FetchRun::appendWarning(const std::string& text) {
    if (!warning.empty())
        warning += ' ';
    warning += text;
}

void ImportController::FetchRun::notYetSupported(const std::string& what) {
    appendWarning("Pobieranie " + what + " nie jest jeszcze obslugiwane.");
}

int ImportController::usableRasterScale(int requested) {
    const bool inRange = requested >= kMinRasterScale && requested <= kMaxRasterScale;
    return inRange ? requested : kDefaultRasterScale;
}

ImportController::FetchedData ImportController::fetchForImport(const Bbox& bbox,
                                                               const std::vector<std::string>& keys,
                                                               int rasterScale, int terrainStep,
                                                               double contourInterval,
                                                               std::string warning) {
    struct Stage {
        std::vector<std::string_view> keys;
        void (ImportController::*run)(FetchRun&);
    };
    static const std::array<Stage, 14> kStages{{
        {{"dzialki", "budynki"}, &ImportController::fetchCadastral},
        {{"pog", "mpzp"}, &ImportController::fetchZoning},
        {{"gesut"}, &ImportController::fetchUtilities},
        {{"bdot500"}, &ImportController::fetchBdot500},
        {{"rastr"}, &ImportController::fetchOrthophoto},
        {{"teren"}, &ImportController::fetchTerrain},
        {{"terenchmura", "poziomicechmura", "wodachmura"}, &ImportController::fetchCloudTerrain},
        {{"budynki3d", "dachychmura", "budynkindsm", "budynkirekon"},
         &ImportController::fetchLod1Stage},
        {{"budynkindsm"}, &ImportController::fetchNdsmBuildings},
        {{"mosty", "drogi"}, &ImportController::fetchBridgesAndRoads},
        {{"budynkilod2"}, &ImportController::fetchLod2Stage},
        {{"dachychmura"}, &ImportController::fetchCloudRoofs},
        {{"budynkirekon"}, &ImportController::fetchReconstruction},
        {{"poziomice2d", "poziomice3d"}, &ImportController::fetchContours},
    }};
    FetchRun run(bbox, keys, rasterScale, terrainStep, contourInterval, std::move(warning),
                 cancel_);
    municipalities_.forgetUnreached();  // a service not heard last time is asked again
    bool ran = false;
    for (const Stage& stage : kStages) {
        const bool wanted =
            std::any_of(stage.keys.begin(), stage.keys.end(),
                        [&run](std::string_view key) { return run.requested(key); });
        if (!wanted)
            continue;
        // The flag is read between stages: the stage that runs when a cancel comes ends as it
        // can, and the stages still to come are left out.
        if (ran && cancel_) {
            run.appendWarning(kCancelledRest);
            break;
        }
        (this->*stage.run)(run);
        ran = true;
    }
    run.data.warning = std::move(run.warning);
    return std::move(run.data);
}

MunicipalityLookup::Found ImportController::terytForBbox(const Bbox& bbox) {
    return municipalities_.find(client_, bbox);
}

namespace fetchstages {

WfsClient::HttpResult probeCapabilities(WfsClient& client, const std::string& url,
                                        const std::string& service) {
    const char* separator = url.find('?') != std::string::npos ? "&" : "?";
    return client.get(
        url + separator + "service=" + service + "&request=GetCapabilities",
        [](const WfsClient::HttpResult& answer) { return capabilitiesReach(answer).reached; });
}

std::string cutShortSentence(std::string_view prefix) {
    return std::string(prefix) + kCutShort;
}

}  // namespace fetchstages
