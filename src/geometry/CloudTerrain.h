#pragma once
// A ground and water height grid from classified LiDAR points over a frame. Cell (i, j) covers
// [x0 + i * cell, x0 + (i + 1) * cell) x [y0 + j * cell, ...); its value stands for its
// south-west corner when sampling. A cell's ground height is the upper median of the ground
// points in it; holes are closed from their neighbours; cells with at least two water points
// carry the water's median; and, when asked for, one water level floods the water cells and
// every hole left over, provided the frame holds water points at all.

#include <cstdint>
#include <vector>

#include "geodata/GisTypes.h"

// What extractGround found.
struct GroundStats {
    std::uint64_t total = 0;   // points given
    std::uint64_t ground = 0;  // points of class 2
    bool fallback = false;     // too few ground points: the lowest points were taken instead
};

class CloudTerrain {
public:
    // step: the cell size (1.0 when not above 0). waterLevelWanted floods as described above.
    CloudTerrain(const std::vector<ClPoint>& ground, const Bbox& frame, double step,
                 const std::vector<ClPoint>& waterPoints, bool waterLevelWanted);

    // Ground surface: bilinear between the four cell values around (x, y) when all have a height,
    // else the nearest of them that has one; false outside the grid or when none has.
    bool sample(double x, double y, double& height) const;

    // Water surface: the water level on a water cell; false elsewhere or without a level.
    bool sampleWoda(double x, double y, double& height) const;

    // The class-2 points, or, when they are fewer than minGroundShare of all, every point within
    // 0.5 m of the lowest point of its cell of size cellSize (2.0 when not above 0).
    static std::vector<ClPoint> extractGround(const std::vector<ClPoint>& points, double cellSize,
                                              double minGroundShare, GroundStats& stats);

    double x0 = 0.0;
    double y0 = 0.0;
    double cell = 1.0;
    std::int32_t nx = 0;
    std::int32_t ny = 0;
    std::vector<double> z;            // nx * ny heights, row by row; NaN = none
    std::vector<std::uint8_t> water;  // nx * ny flags, 1 = water
    double waterLevel;                // NaN unless a level was wanted and found
    std::uint64_t validCells = 0;     // cells with a height (ground, filling, water)
    std::uint64_t waterCells = 0;     // cells made water by their own water points
    std::uint64_t levelCells = 0;     // cells set to the water level

private:
    // Cell of a plan point, or false when it lies outside the grid (or is not a number).
    bool cellOf(double x, double y, std::int32_t& i, std::int32_t& j) const;
    // The same as the index of the cell in z.
    bool cellIndexOf(const ClPoint& p, std::size_t& k) const;
    std::size_t at(std::int32_t i, std::int32_t j) const {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(nx) +
               static_cast<std::size_t>(i);
    }
    void setGroundMedians(const std::vector<ClPoint>& ground);
    void fillHoles();
    bool fillPass();
    void setWaterCells(const std::vector<ClPoint>& waterPoints);
    void flood(double level);
};
