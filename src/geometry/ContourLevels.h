#pragma once
// The level loop shared by every contour tracer: which multiples of the interval are traced,
// which stitched polylines become lines, and when the line and point limits cut the result.
//
//   ContourLevels levels(zmin, zmax, interval, maxLines, maxPoints);
//   for (std::int64_t n = levels.first(); levels.wants(n); ++n)
//       levels.add(n, stitchedPolylinesOfLevel(n * interval));
//   lines = levels.finish(msg);

#include <cstdint>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/Warstwica.h"

class ContourLevels {
public:
    // Levels n * interval for n = ceil(zmin / interval) .. floor(zmax / interval), at most
    // maxLines of them (the lowest). interval must be greater than 0 and zmin, zmax finite.
    ContourLevels(double zmin, double zmax, double interval, int maxLines, int maxPoints);

    std::int64_t first() const { return first_; }
    std::int64_t count() const { return count_; }

    // Whether level number n is still to be traced: inside the range and no limit reached.
    bool wants(std::int64_t n) const { return !stopped_ && n - first_ < count_; }

    // Adds the polylines of level number n in order, skipping those with fewer than 2 points or
    // no length, until a limit is reached. The points are moved into the lines.
    void add(std::int64_t n, std::vector<std::vector<GisPoint>> polylines);

    bool limited() const { return limited_; }

    // The lines; when a limit cut them, appends the notice to msg (after a blank when msg is
    // not empty).
    std::vector<Warstwica> finish(std::string& msg);

    static const char* const kLimitNotice;

private:
    double interval_;
    int maxLines_;
    int maxPoints_;
    std::int64_t first_ = 0;
    std::int64_t count_ = 0;
    std::int64_t points_ = 0;
    bool limited_ = false;
    bool stopped_ = false;
    std::vector<Warstwica> lines_;
};
