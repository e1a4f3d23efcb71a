#pragma once
// The ground under a point cloud: the lowest ground-class point per square cell.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "geodata/GisTypes.h"

// Where a ground height came from: how far the model had to look.
enum class GroundSource {
    OwnCell,     // a ground point in the position's own cell
    Neighbours,  // the eight cells around it
    Wider,       // the nearest ring of cells within GroundModel::kReach that holds ground
    None,        // no ground point within that reach: the caller supplies its own ground
};

struct GroundHeight {
    double z = 0.0;  // NaN with GroundSource::None
    GroundSource source = GroundSource::None;
};

class GroundModel {
public:
    // Farthest a position looks for ground beyond its eight neighbours, m.
    static constexpr double kReach = 30.0;
    // LAS class of ground points.
    static constexpr std::uint8_t kGroundClass = 2;

    // The origin is the lowest x and y of all points, whatever their class ((0, 0) without
    // points); the cells hold the lowest z of the class-2 points, those without finite
    // coordinates left out. A cell not above 0 is taken as 1.0.
    GroundModel(const std::vector<ClPoint>& points, double cell);

    // Column in the high 32 bits, row in the low 32 bits.
    std::uint64_t key(double x, double y) const;

    // The lowest ground of the position's cell, else of the eight cells around it, else of the
    // nearest ring of cells with ground within kReach; NaN (source None) beyond that.
    GroundHeight lookup(double x, double y) const;
    double groundZ(double x, double y) const { return lookup(x, y).z; }

    double cell() const { return cell_; }
    double x0() const { return x0_; }
    double y0() const { return y0_; }
    const std::unordered_map<std::uint64_t, double>& cells() const { return cells_; }

private:
    // Lowest ground on the square ring of cells at Chebyshev distance r around (ix, iy).
    bool lowestOnRing(std::int64_t ix, std::int64_t iy, std::int64_t r, double& z) const;

    double cell_;
    double x0_ = 0.0;
    double y0_ = 0.0;
    std::unordered_map<std::uint64_t, double> cells_;
};
