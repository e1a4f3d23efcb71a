#pragma once
// One contour line: its level z (level number times the interval, metres), whether it is an index
// contour (the level number is divisible by 5) and the polyline of at least two points. A closed
// line repeats its first point as its last.

#include <vector>

#include "geodata/GisTypes.h"

struct Warstwica {
    double z = 0.0;
    bool major = false;
    std::vector<GisPoint> pts;
};
