#pragma once
// The cell segments of a height grid's contour levels. Rather than scanning every cell once per
// level, each node is ranked among the levels once, one pass over the cells counts the crossings
// of every level and one more files each crossing under its level (further filing passes only
// when the crossings exceed the memory budget). The segments of a level come out exactly as a
// scan of that level alone would give them: cells row by row from the south, each row from the
// west, each cell's segments in the order of the cell rule.

#include <cstdint>
#include <vector>

#include "geodata/GisTypes.h"
#include "geometry/SiatkaWysokosci.h"

// One cell segment of a contour level.
struct Odcinek {
    GisPoint a;
    GisPoint b;
};

class ContourCells {
public:
    // Cell crossings held at once by default; past it the levels are filed in further passes, so
    // memory stays bounded on rough grids with a fine interval.
    static constexpr std::int64_t kDefaultBudget = std::int64_t{1} << 22;

    // Levels are firstLevel * interval, (firstLevel + 1) * interval, ... (levelCount of them, at
    // most 2^31 - 1). The grid must outlive this object and hold nx * ny heights; non-finite
    // heights are gaps.
    ContourCells(const SiatkaWysokosci& grid, double interval, std::int64_t firstLevel,
                 std::int32_t levelCount, std::int64_t crossingBudget = kDefaultBudget);

    // The segments of level index k (0 = firstLevel). Asked for in increasing k; the reference
    // stays valid until the next call.
    const std::vector<Odcinek>& segments(std::int32_t k);

private:
    // A cell segment before its points are worked out: the cell's south-west node and the two
    // crossed edges.
    struct CellSegment {
        std::int32_t i;
        std::int32_t j;
        std::uint8_t from;
        std::uint8_t to;
    };

    struct Corners {
        double z00, z10, z01, z11;
    };

    double level(std::int32_t k) const { return static_cast<double>(first_ + k) * interval_; }
    std::size_t index(std::int32_t i, std::int32_t j) const {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(g_.nx) +
               static_cast<std::size_t>(i);
    }
    std::int32_t levelsAtOrBelow(double z) const;
    void rankNodes();
    template <typename Visit>
    void forEachCrossedCell(std::int32_t lo, std::int32_t hi, Visit&& visit) const;
    void countWindowFrom(std::int32_t k);
    void fileBatchFrom(std::int32_t k);
    static void fileCell(std::int32_t i, std::int32_t j, const Corners& c, double lvl,
                         std::vector<CellSegment>& out);
    GisPoint crossing(std::int32_t i, std::int32_t j, std::uint8_t edge, double lvl) const;

    const SiatkaWysokosci& g_;
    const double interval_;
    const std::int64_t first_;
    const std::int32_t count_;
    const std::int64_t budget_;
    // Per node: how many of the levels lie at or below its height (-1 without data). A cell is
    // crossed by the level indices from the least to the greatest rank of its corners.
    std::vector<std::int32_t> rank_;
    std::int32_t windowBegin_ = 0;
    std::vector<std::int64_t> crossings_;  // crossed cells per level of the counted window
    std::int32_t batchBegin_ = 0;
    std::int32_t batchEnd_ = 0;
    std::vector<std::vector<CellSegment>> filed_;  // per level of the filed batch
    std::vector<Odcinek> segs_;
};
