// libFuzzer harness of the GML feature reader and the GeoJSON preview: the input is read as a
// feature collection, the features are written as a preview, and the input is also taken as a
// reference system name. The tests replay the seeds (fuzz_seeds). To fuzz it, from the repository
// root (tests/support/README.md, "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_gml_fuzz_run     # TW_FUZZ_SECONDS, 60 s

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "geodata/GmlParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto features = GmlParser::parseFeatureCollection(text, DataType::Dzialki);
    const std::string preview = GmlParser::toGeoJSON(features);
    if (preview.empty())
        __builtin_trap();
    GmlParser::epsgFromSrsName(text);
    return 0;
}
