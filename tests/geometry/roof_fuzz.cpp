// libFuzzer harness of the roofs over footprints from the surface model: the input's numbers are
// the footprint's points; the roof is built at the import's half-metre step over the harness's
// small model. Whatever the footprint, the sampling must end within the grid's cells and give
// well-formed faces. The tests replay the seeds (fuzz_seeds/roof); to fuzz, build it with clang
// (from the repository root):
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc -Itests \
//       tests/geometry/roof_fuzz.cpp src/geometry/RoofNdsm.cpp src/geometry/SurfaceLattice.cpp \
//       src/geometry/PlaneGeometry.cpp src/geometry/NdsmModel.cpp src/geodata/AscGrid.cpp \
//       -o roof_fuzz
//   ./roof_fuzz -max_total_time=300 -timeout=5 corpus/ tests/geometry/fuzz_seeds/roof/

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
