#pragma once
// Spot-height labels along index contours: where to put them, at which angle (never upside
// down) and with which text.

#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/Warstwica.h"

// One label: its anchor on the line, the line's direction there in radians counter-clockwise
// from the easting axis, folded into (-pi/2, pi/2], and the level written with a decimal comma.
struct PodpisRzednej {
    GisPoint pos;
    double angle = 0.0;
    std::string text;
};

class ContourLabeler {
public:
    // Labels of an index contour: one in the middle of a line shorter than 50 m, else at 25 m
    // and every 50 m after while short of the end. Other lines get none.
    static std::vector<PodpisRzednej> rozmiesc(const Warstwica& line);

    // A label angle in the project's frame, whose easting axis is turned by `reference`.
    static double katLokalny(double angle, double reference);

    // The angle folded into (-pi/2, pi/2] by whole half turns; a non-finite angle gives 0.
    static double normalizujKat(double angle);

    // The height as "%.2f" with a decimal comma, for example "125,00" or "-2,50".
    static std::string formatRzednej(double z);
};
