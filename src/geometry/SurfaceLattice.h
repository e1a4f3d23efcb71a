#pragma once
// The nodes of a square sampling lattice that lie inside a plan ring, found row by row.
//
// Testing every node against every ring edge costs nodes x edges; a long, thin corridor laid
// diagonally over its bounding box wastes nearly all of that on nodes far outside. Instead each
// row collects the x where the ring's edges cross it, sorts them, and takes the node columns
// between alternate crossings. The crossing is computed with the very expression of pointInRing,
// so every node gets the same verdict as pointInRing would give it.

#include <cstdint>
#include <vector>

#include "geodata/AscGrid.h"
#include "geodata/GisTypes.h"
#include "geometry/RoofModel.h"

// The grid step or spacing to use: the given one when it is a finite number above 0, else 1.0.
double usableStep(double step);

// The least and greatest x and y of the ring's points; false for an empty ring or one with a
// coordinate that is not finite.
bool ringBox(const PlanRing& ring, Bbox& box);

// Where the grid can give a height, widened by one of its cells so that rounding at its edges
// loses nothing; false where it can give none at all. Sampling a large ring only within this
// box keeps a corrupt vertex far away from costing anything.
bool gridReach(const FloatGrid& grid, Bbox& reach);

// The element at index n / 2 of the values in ascending order: the middle one, the upper of the
// two middle ones for an even count. The list must not be empty.
double upperMedian(std::vector<double> values);

// Columns [first, end) of one row, or rows [first, end) of a lattice.
struct ColumnRun {
    std::int64_t first = 0;
    std::int64_t end = 0;
};

// Nodes (x0 + i*step, y0 + j*step) for i, j >= 0. Node coordinates are always computed by x()
// and y(), never accumulated, so that neighbouring cells share their corners exactly.
struct Lattice {
    double x0 = 0.0;
    double y0 = 0.0;
    double step = 1.0;

    double x(std::int64_t i) const { return x0 + static_cast<double>(i) * step; }
    double y(std::int64_t j) const { return y0 + static_cast<double>(j) * step; }

    // The least column i >= 0 whose x(i) is not below v, at most `limit`; found in a number of
    // steps that grows with the logarithm of the distance to the guess, not with the distance.
    std::int64_t firstColumnFrom(double v, std::int64_t limit) const;

    // The columns whose x lies in [low, high] (indices at most `limit`), and never more of them
    // than that span can hold at the step, with one to spare at either end: a loop over them is
    // bounded by the span it samples, however far out a corrupt vertex has put the origin.
    ColumnRun columnsWithin(double low, double high, std::int64_t limit) const;
    // The same for the rows whose y lies in [low, high].
    ColumnRun rowsWithin(double low, double high, std::int64_t limit) const {
        return Lattice{y0, x0, step}.columnsWithin(low, high, limit);
    }
};

class RingRowScan {
public:
    // The ring is open, in any orientation; its coordinates must be finite.
    explicit RingRowScan(const PlanRing& ring);

    // The runs of columns 0 <= i < columns whose node (lattice.x(i), y) lies inside the ring by
    // the even-odd rule, west to east. Successive calls must not lower y.
    std::vector<ColumnRun> insideRuns(double y, const Lattice& lattice, std::int64_t columns);

private:
    // From the ring's previous point a to its next point b, as pointInRing walks them.
    struct Edge {
        double xa = 0.0;
        double ya = 0.0;
        double xb = 0.0;
        double yb = 0.0;
        double low = 0.0;   // the lesser of ya and yb
        double high = 0.0;  // the greater
    };

    void advanceTo(double y);

    std::vector<Edge> pending_;  // not yet reached, by ascending low end
    std::size_t next_ = 0;
    std::vector<Edge> active_;  // low <= y < high for the current row
    std::vector<double> crossings_;
};
