#pragma once
// Rules for the contour interval a user asks for and for the step of the grid it is traced on,
// with the texts that explain them.

#include <string>

#include "geodata/GisTypes.h"

class PoziomiceValidation {
public:
    // Allowed intervals: 0.25, 0.5, 1 and 2 m (to within 1e-6).
    static bool ciecieDozwolone(double interval);

    // Metres with a decimal comma: "%.2f" below a million, else "%.4g" ("1,00", "2,5e+06").
    static std::string formatM(double metres);

    // The warning for an interval that is not allowed.
    static std::string komunikatNiedozwolonegoCiecia(double interval);

    // The sampling step that keeps the grid over the frame within 3000 nodes per axis: `step`
    // itself (1 when not above 0) when it does, else the step that spreads the longer side over
    // 2999 spans, with a message saying so. The message is cleared first.
    static double krokDlaLimitu(const Bbox& frame, double step, std::string& message);
};
