// libFuzzer harness of bridges and roads from the surface model: the input's first number is the
// way's width, the rest are its centre line's points; the corridor around it is draped over the
// harness's small model as a bridge and as a road clipped to the frame. Whatever the way, both
// must end within the grid's cells and give well-formed faces. The tests replay the seeds
// (fuzz_seeds/corridor); to fuzz, build it with clang (from the repository root):
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc -Itests \
//       tests/geometry/corridor_fuzz.cpp src/geometry/Corridor.cpp src/geometry/Surface.cpp \
//       src/geometry/SurfaceLattice.cpp src/geometry/PlaneGeometry.cpp \
//       src/geometry/NdsmModel.cpp src/geodata/AscGrid.cpp -o corridor_fuzz
//   ./corridor_fuzz -max_total_time=300 -timeout=5 corpus/ tests/geometry/fuzz_seeds/corridor/

#include <cstddef>
#include <cstdint>

#include "SurfaceFuzzInput.h"
#include "geometry/Corridor.h"
#include "geometry/Surface.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const NdsmModel model = surfacefuzz::model();
    const std::vector<double> values = surfacefuzz::numbers(data, size);
    if (values.empty())
        return 0;
    const PlanRing line = surfacefuzz::points({values.begin() + 1, values.end()});
    const std::vector<double> half(line.size(), 0.5 * values.front());
    const PlanRing corridor = buildCorridor(line, half, half, kOwnOffsets);
    const SurfaceParams bridge{.step = 0.5, .minHeight = 1.0, .minQuality = 0.35};
    const SurfaceParams road{.step = 0.5,
                             .minHeight = 1.0,
                             .minQuality = 0.0,
                             .sampleTerrain = true,
                             .clip = true,
                             .clipBox = surfacefuzz::kFrame};
    for (const SurfaceParams& params : {bridge, road}) {
        if (!surfacefuzz::wellFormed(buildSurface(corridor, model, params)))
            __builtin_trap();
    }
    return 0;
}
