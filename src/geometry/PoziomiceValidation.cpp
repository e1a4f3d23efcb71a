#include "geometry/PoziomiceValidation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kAllowed[] = {0.25, 0.5, 1.0, 2.0};
constexpr int kNodeLimit = 3000;

}  // namespace

bool PoziomiceValidation::ciecieDozwolone(double interval) {
    return std::any_of(std::begin(kAllowed), std::end(kAllowed),
                       [interval](double a) { return std::fabs(interval - a) < 1e-6; });
}

std::string PoziomiceValidation::formatM(double metres) {
    char buf[32];
    std::snprintf(buf, sizeof buf, std::fabs(metres) < 1e6 ? "%.2f" : "%.4g", metres);
    std::string text(buf);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

std::string PoziomiceValidation::komunikatNiedozwolonegoCiecia(double interval) {
    return "Poziomice: ciecie " + formatM(interval) +
           " m nie jest dozwolona wartoscia (dozwolone: 0,25 / 0,5 / 1,0 / 2,0 m) - poziomice "
           "pominiete.";
}

double PoziomiceValidation::krokDlaLimitu(const Bbox& frame, double step, std::string& message) {
    message.clear();
    if (!(step > 0.0)) {
        step = 1.0;
    }
    const double width = frame.maxx - frame.minx;
    const double height = frame.maxy - frame.miny;
    // Compared as doubles: a frame too large for 32-bit span counts is simply too large.
    if (std::floor(width / step) < kNodeLimit && std::floor(height / step) < kNodeLimit) {
        return step;
    }
    const double coarser = std::max(std::max(width, height) / (kNodeLimit - 1), step);
    message = "Poziomice: kadr za duzy dla kroku " + formatM(step) +
              " m - siatka NMT ograniczona do " + std::to_string(kNodeLimit) +
              " wezlow na os. Uzyto kroku " + formatM(coarser) + " m, aby zmiescic caly obszar.";
    return coarser;
}
