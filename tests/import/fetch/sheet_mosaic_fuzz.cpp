// libFuzzer harness of the sheets-to-grid step of the terrain, contour and surface-model stages:
// the input is cut into sheet texts at every line holding "%" alone, the sheets are read one
// after another into one mosaic over a fixed kept area with a small cell budget, and the grid
// taken is sampled across the area and its ring. The grid must hold exactly its cells, never more
// than the budget, in cells a sheet may have, and give only finite heights. The tests replay the
// seeds (fuzz_seeds/sheet_mosaic). To fuzz it, from the repository root (tests/support/README.md,
// "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_sheet_mosaic_fuzz_run     # TW_FUZZ_SECONDS, 60 s

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "import/fetch/SheetMosaic.h"

namespace {

constexpr Bbox kKeep{500000.0, 300000.0, 500060.0, 300040.0};
constexpr std::int64_t kMaxCells = 1 << 16;
constexpr std::string_view kSeparator = "\n%\n";

void check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void checkGrid(const FloatGrid& grid) {
    if (grid.z.empty())
        return;
    const auto cells = static_cast<std::int64_t>(grid.ncols) * grid.nrows;
    check(grid.ncols > 0 && grid.nrows > 0 && cells <= kMaxCells &&
          grid.z.size() == static_cast<std::size_t>(cells));
    check(grid.cellsize >= 0.25 && grid.cellsize <= 1000.0);
    for (int i = -2; i <= 22; ++i) {
        for (int j = -2; j <= 22; ++j) {
            double z = 0.0;
            const double x = kKeep.minx + (kKeep.maxx - kKeep.minx) * i / 20.0;
            const double y = kKeep.miny + (kKeep.maxy - kKeep.miny) * j / 20.0;
            if (grid.sampleZ(x, y, z))
                check(std::isfinite(z));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    SheetMosaic mosaic(kKeep, kMaxCells);
    while (!input.empty()) {
        const std::size_t end = input.find(kSeparator);
        mosaic.add(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view()
                                              : input.substr(end + kSeparator.size());
    }
    checkGrid(mosaic.take());
    return 0;
}
