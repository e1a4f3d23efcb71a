// libFuzzer harness of bridges and roads from the surface model: the input's first number is the
// way's width, the rest are its centre line's points; the corridor around it is draped over the
// harness's small model as a bridge and as a road clipped to the frame. Whatever the way, both
// must end within the grid's cells and give well-formed faces. The tests replay the seeds
// (fuzz_seeds/corridor). To fuzz it, from the repository root (tests/support/README.md, "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_corridor_fuzz_run     # TW_FUZZ_SECONDS, 60 s

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
