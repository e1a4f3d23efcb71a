// libFuzzer harness of the GML feature reader and the GeoJSON preview: the input is read as a
// feature collection, the features are written as a preview, and the input is also taken as a
// reference system name. Not part of the test programs; build and run it with clang (from the
// repository root):
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//       tests/geodata/gml_fuzz.cpp src/geodata/GmlParser.cpp src/geodata/GmlOutline.cpp \
//       src/geodata/GeoJsonPreview.cpp src/geodata/CityGmlReader.cpp src/geodata/ProjConv.cpp \
//       -lpugixml -o gml_fuzz
//   ./gml_fuzz -max_total_time=300 -max_len=65536 corpus/ tests/geodata/fuzz_seeds/

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
