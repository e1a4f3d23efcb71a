// libFuzzer harness of the roofs over footprints from the surface model: the input's numbers are
// the footprint's points; the roof is built at the import's half-metre step over the harness's
// small model. Whatever the footprint, the sampling must end within the grid's cells and give
// well-formed faces. The tests replay the seeds (fuzz_seeds/roof). To fuzz it, from the repository
// root (tests/support/README.md, "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_roof_fuzz_run     # TW_FUZZ_SECONDS, 60 s

#include <cstddef>
#include <cstdint>

#include "SurfaceFuzzInput.h"
#include "geometry/RoofNdsm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const NdsmModel model = surfacefuzz::model();
    const PlanRing footprint = surfacefuzz::points(surfacefuzz::numbers(data, size));
    if (!surfacefuzz::wellFormed(buildRoofNdsm(footprint, model, RoofNdsmParams{})))
        __builtin_trap();
    return 0;
}
