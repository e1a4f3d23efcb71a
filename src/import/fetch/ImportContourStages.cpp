// The contour stages of the fetch: contour lines traced on the national terrain model, and on
// the ground grid of the point clouds. Both can be cancelled between two levels.

#include <algorithm>
#include <cmath>
#include <optional>

#include "MapPalette.h"
#include "geometry/CloudTerrain.h"
#include "geometry/ContourBuilder.h"
#include "geometry/PoziomiceValidation.h"
#include "import/fetch/FetchRun.h"

namespace {

constexpr int kMaxLines = 3000;
constexpr int kMaxPoints = 600000;
constexpr double kSmoothingSigmaS = 1.5;  // metres
constexpr double kSmoothingSigmaR = 0.2;  // metres
// An interval below this share of the sampling step gives angular lines.
constexpr double kFineness = 0.2;

// The height grid a tracing runs on: sampled at a step kept within the node limit, smoothed
// when asked for.
struct ContourGrid {
    SiatkaWysokosci grid;
    double step = 1.0;
    std::string stepMessage;  // why the step was coarsened, or empty
};

ContourGrid sampleForContours(const Bbox& frame, double step, const HeightSampler& sampler,
                              bool smooth) {
    ContourGrid sampled;
    sampled.step = PoziomiceValidation::krokDlaLimitu(frame, step, sampled.stepMessage);
    sampled.grid = ContourBuilder::probkuj(frame, sampled.step, sampler);
    if (smooth)
        ContourBuilder::smoothFieldBilateral(sampled.grid, kSmoothingSigmaS, kSmoothingSigmaR);
    return sampled;
}

std::string statusLine(const std::string& prefix, std::size_t lines, double interval, bool smooth) {
    return prefix + std::to_string(lines) + " warstwic, ciecie " +
           PoziomiceValidation::formatM(interval) + " m" + (smooth ? ", wygladzone" : "");
}

bool hasHeights(const SiatkaWysokosci& grid) {
    return std::any_of(grid.z.begin(), grid.z.end(), [](double z) { return !std::isnan(z); });
}

// What an empty tracing means: no data at all, or terrain flatter than the interval.
std::string emptyResultSentence(const SiatkaWysokosci& grid, double interval) {
    if (!hasHeights(grid))
        return "Poziomice: caly probkowany obszar to NODATA (brak danych NMT dla tego kadru).";
    return "Poziomice: brak deniwelacji wiekszej niz ciecie " +
           PoziomiceValidation::formatM(interval) +
           " m w tym kadrze - teren zbyt plaski dla wybranego ciecia.";
}

std::string finenessSentence(double interval, const ContourGrid& sampled) {
    return "Poziomice: ciecie " + PoziomiceValidation::formatM(interval) +
           " m jest drobne wzgledem kroku probkowania " +
           PoziomiceValidation::formatM(sampled.step) + " m - warstwice beda kanciaste. " +
           (sampled.stepMessage.empty()
                ? "Zmniejsz krok terenu."
                : "Krok zostal zgrubiony przez limit gestosci dla tego kadru - zmniejsz kadr "
                  "albo wybierz wieksze ciecie.");
}

}  // namespace

std::function<bool()> ImportController::isCancelled() const {
    return [this] { return cancel_.load(); };
}

std::function<void(int, int)> ImportController::cancellableProgress(const char* label) {
    return [label = std::string(label)](int done, int total) {
        runOnMainThread([done, total, label] {
            MapPalette::SendToBrowser(
                "progress",
                {{"done", done}, {"total", total}, {"label", label}, {"cancellable", true}});
        });
    };
}

void ImportController::contourProgress(int done, int total) {
    cancellableProgress("Poziomice: liczenie warstwic")(done, total);
}

void ImportController::fetchContours(FetchRun& run) {
    const double interval = run.contourInterval;
    if (!PoziomiceValidation::ciecieDozwolone(interval)) {
        run.appendWarning(PoziomiceValidation::komunikatNiedozwolonegoCiecia(interval));
        return;
    }
    // The terrain model's grid goes once it is sampled: the tracing needs the samples only.
    const auto sampleModel = [&]() -> std::optional<ContourGrid> {
        const std::optional<FloatGrid> model =
            terrainGrid(run, {"Poziomice: ", "Poziomice: NMT",
                              "Poziomice: brak kafli NMT dla tego obszaru w skorowidzu.",
                              "Poziomice: nie udalo sie pobrac zadnego pliku NMT."});
        if (!model)
            return std::nullopt;
        return sampleForContours(run.bbox, run.terrainStep, nmtHeightSampler(*model),
                                 poziomiceWygladz_);
    };
    const std::optional<ContourGrid> sampled = sampleModel();
    if (!sampled)
        return;
    if (!sampled->stepMessage.empty())
        run.appendWarning(sampled->stepMessage);
    std::string message;
    bool cancelled = false;
    std::vector<Warstwica> contours =
        ContourBuilder::build(sampled->grid, interval, message, kMaxLines, kMaxPoints,
                              isCancelled(), &cancelled, contourProgress);
    if (!message.empty())
        run.appendWarning(message);
    // The levels traced before the cancel are not all of them: none is kept.
    if (cancelled)
        return;
    run.data.contours = std::move(contours);
    if (run.data.contours.empty())
        run.appendWarning(emptyResultSentence(sampled->grid, interval));
    if (sampled->step * kFineness > interval)
        run.appendWarning(finenessSentence(interval, *sampled));
    run.data.contoursStatus =
        statusLine("Poziomice: ", run.data.contours.size(), interval, poziomiceWygladz_);
}

void ImportController::fetchCloudContours(FetchRun& run, const CloudTerrain& grid, double step) {
    const double interval = run.contourInterval;
    if (!PoziomiceValidation::ciecieDozwolone(interval)) {
        run.appendWarning(PoziomiceValidation::komunikatNiedozwolonegoCiecia(interval));
        return;
    }
    const ContourGrid sampled =
        sampleForContours(run.bbox, step, cloudGroundSampler(grid), poziomiceWygladz_);
    if (!sampled.stepMessage.empty())
        run.appendWarning(sampled.stepMessage);
    std::string message;
    bool cancelled = false;
    std::vector<Warstwica> contours =
        ContourBuilder::build(sampled.grid, interval, message, kMaxLines, kMaxPoints, isCancelled(),
                              &cancelled, cancellableProgress("Poziomice z chmury"));
    if (cancelled) {
        run.appendWarning(fetchstages::cutShortSentence("Poziomice z chmury: "));
        return;
    }
    if (!message.empty())
        run.appendWarning(message);
    run.data.cloudContours = std::move(contours);
    run.data.cloudContoursStatus = statusLine("Poziomice z chmury: ", run.data.cloudContours.size(),
                                              interval, poziomiceWygladz_);
}
