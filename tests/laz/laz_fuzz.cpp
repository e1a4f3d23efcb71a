// libFuzzer harness of the LAS/LAZ reader: each input is written to a file, opened and read to
// the end. Not part of the test build; run with clang (from the repository root):
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//       tests/laz/laz_fuzz.cpp src/laz/*.cpp -o /tmp/laz_fuzz
//   mkdir -p /tmp/laz_corpus && /tmp/laz_fuzz /tmp/laz_corpus tests/laz/fuzz_seeds \
//       -max_total_time=300 -rss_limit_mb=2048
//
// A reader that allocates without bound runs into the RSS limit; a crash leaves its input as
// crash-* in the working folder.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "laz/Reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/laz_fuzz_input_" + std::to_string(getpid());
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    laz::Reader reader(path);
    std::vector<std::uint8_t> record(
        static_cast<std::size_t>(std::max(reader.header().recordLength, 1)));
    std::uint64_t n = 0;
    while (reader.readPoint(record.data()) && ++n < 5'000'000) {
    }
    return 0;
}
