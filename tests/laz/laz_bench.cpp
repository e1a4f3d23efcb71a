// Decoding speed of the LAS/LAZ reader on the shared samples: points per second, file opening
// included.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "laz/Reader.h"

namespace {

const std::filesystem::path kDir = std::filesystem::path(TW_SHARED_TESTDATA);

void decodeFile(benchmark::State& state, const char* name) {
    const std::string path = (kDir / name).string();
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("shared LAS/LAZ samples not found");
        return;
    }
    std::uint64_t points = 0;
    for (auto _ : state) {
        laz::Reader r(path);
        std::vector<std::uint8_t> rec(static_cast<std::size_t>(r.header().recordLength));
        while (r.readPoint(rec.data())) {
            ++points;
        }
        benchmark::DoNotOptimize(rec.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
}

// Format 1, point-wise chunks, 1,247 points.
void BM_DecodeFormat1(benchmark::State& s) {
    decodeFile(s, "laz/1815.laz");
}
// Format 3, point-wise chunks, 110,000 points.
void BM_DecodeAutzenFormat3(benchmark::State& s) {
    decodeFile(s, "laz/autzen_trim.laz");
}
// Format 6, layered chunks, 1,000 points.
void BM_DecodeLayeredFormat6(benchmark::State& s) {
    decodeFile(s, "laz/1_4_w_evlr.laz");
}
// Format 7, layered variable-size chunks, 1,065 points.
void BM_DecodeLayeredFormat7(benchmark::State& s) {
    decodeFile(s, "laz/simple.copc.laz");
}
// Format 7, four scanner channels, 60,000 points in chunks of 5,000.
void BM_DecodeGeneratedFormat7(benchmark::State& s) {
    decodeFile(s, "laz-gen/gen_f7.laz");
}
// Format 8 with 3 extra bytes, four scanner channels, 45,000 points in variable chunks.
void BM_DecodeGeneratedFormat8(benchmark::State& s) {
    decodeFile(s, "laz-gen/gen_f8_var.laz");
}
// The same points as the format 3 file stored uncompressed, for scale.
void BM_ReadStoredFormat3(benchmark::State& s) {
    decodeFile(s, "laz/autzen_trim.las");
}

BENCHMARK(BM_DecodeFormat1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeAutzenFormat3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLayeredFormat6)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeLayeredFormat7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeGeneratedFormat7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGeneratedFormat8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStoredFormat3)->Unit(benchmark::kMillisecond);

}  // namespace
