// Decoding speed of the LAS/LAZ reader on one thread: points per second, file opening included.
//
// Per point format the shared sample as it is, where the short files are a single chunk of
// about a thousand points and the models' start and first adaptation weigh much, and a larger
// file of the sample's chunks repeated, written once a process to a temporary folder.
//
// A processor learns the branches of a short chunk decoded over and over, and then decodes it
// faster than any real file: the one-chunk samples of formats 1 and 6 and their repetitions
// measure that. Files of many distinct points measure real decoding: the format 3 sample, the
// generated files, and the format 1 and 6 files made of their points.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "laz/Reader.h"
#include "loopback/TempDir.h"
#include "support/LazChunks.h"
#include "support/PointwiseEncoder.h"

namespace {

const std::filesystem::path kDir = std::filesystem::path(TW_SHARED_TESTDATA);

void decodeFile(benchmark::State& state, const std::string& path) {
    if (path.empty() || !std::filesystem::exists(path)) {
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

void decodeSample(benchmark::State& state, const char* name) {
    decodeFile(state, (kDir / name).string());
}

// A file written once a process by `write(from, to)` from the sample `name`; empty when the
// sample is missing.
template <typename Write>
std::string written(const char* name, const std::string& kind, Write write) {
    static const loopback::TempDir dir;
    const std::string to =
        dir.file(std::filesystem::path(name).filename().string() + "." + kind + ".laz");
    if (std::filesystem::exists(to)) {
        return to;
    }
    return write((kDir / name).string(), to) ? to : std::string();
}

// The sample's chunks repeated `times` times.
std::string repeated(const char* name, int times) {
    return written(name, std::to_string(times), [times](const std::string& from, const auto& to) {
        return fixtures::writeRepeatedChunks(from, to, times);
    });
}

// The points of a stored format 3 sample, without colour, coded as format 1 in chunks of 50,000.
std::string codedAsFormat1(const char* name) {
    return written(name, "f1", [](const std::string& from, const std::string& to) {
        laz::Reader stored(from);
        std::vector<std::uint8_t> rec(static_cast<std::size_t>(stored.header().recordLength));
        std::vector<std::uint8_t> records;
        while (stored.header().pointFormat == 3 && stored.readPoint(rec.data())) {
            records.insert(records.end(), rec.begin(), rec.begin() + 28);
        }
        return !records.empty() && fixtures::writeFormat1Laz(to, records, 50000);
    });
}

// The core records of a layered format 7 or 8 sample alone, as format 6.
std::string coreRecords(const char* name) {
    return written(name, "core", [](const std::string& from, const std::string& to) {
        return fixtures::writeCoreRecordsOnly(from, to, 1);
    });
}

void decodeRepeated(benchmark::State& state, const char* name, int times) {
    decodeFile(state, repeated(name, times));
}

// Format 1, point-wise chunks, 1,247 points in one chunk; repeated 400 times.
void BM_DecodeFormat1(benchmark::State& s) {
    decodeSample(s, "laz/1815.laz");
}
void BM_DecodeRepeatedFormat1(benchmark::State& s) {
    decodeRepeated(s, "laz/1815.laz", 400);
}
// Format 1 made of the format 3 sample's points: 110,000 points in chunks of 50,000.
void BM_DecodeCodedFormat1(benchmark::State& s) {
    decodeFile(s, codedAsFormat1("laz/autzen_trim.las"));
}
// Format 3, point-wise chunks, 110,000 points in three chunks; repeated 5 times.
void BM_DecodeAutzenFormat3(benchmark::State& s) {
    decodeSample(s, "laz/autzen_trim.laz");
}
void BM_DecodeRepeatedFormat3(benchmark::State& s) {
    decodeRepeated(s, "laz/autzen_trim.laz", 5);
}
// Format 6, layered chunks, 1,000 points in one chunk; repeated 500 times.
void BM_DecodeLayeredFormat6(benchmark::State& s) {
    decodeSample(s, "laz/1_4_w_evlr.laz");
}
void BM_DecodeRepeatedFormat6(benchmark::State& s) {
    decodeRepeated(s, "laz/1_4_w_evlr.laz", 500);
}
// Format 6 made of the generated format 7 file's core records: 60,000 points in chunks of
// 5,000, four scanner channels.
void BM_DecodeCoreFormat6(benchmark::State& s) {
    decodeFile(s, coreRecords("laz-gen/gen_f7.laz"));
}
// Format 7, layered variable-size chunks, 1,065 points.
void BM_DecodeLayeredFormat7(benchmark::State& s) {
    decodeSample(s, "laz/simple.copc.laz");
}
// Format 7, four scanner channels, 60,000 points in chunks of 5,000; repeated 10 times.
void BM_DecodeGeneratedFormat7(benchmark::State& s) {
    decodeSample(s, "laz-gen/gen_f7.laz");
}
void BM_DecodeRepeatedFormat7(benchmark::State& s) {
    decodeRepeated(s, "laz-gen/gen_f7.laz", 10);
}
// Format 8 with 3 extra bytes, four scanner channels, 45,000 points in variable chunks;
// repeated 10 times.
void BM_DecodeGeneratedFormat8(benchmark::State& s) {
    decodeSample(s, "laz-gen/gen_f8_var.laz");
}
void BM_DecodeRepeatedFormat8(benchmark::State& s) {
    decodeRepeated(s, "laz-gen/gen_f8_var.laz", 10);
}
// The same points as the format 3 file stored uncompressed, for scale.
void BM_ReadStoredFormat3(benchmark::State& s) {
    decodeSample(s, "laz/autzen_trim.las");
}

BENCHMARK(BM_DecodeFormat1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeRepeatedFormat1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeCodedFormat1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAutzenFormat3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRepeatedFormat3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLayeredFormat6)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeRepeatedFormat6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeCoreFormat6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeLayeredFormat7)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeGeneratedFormat7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRepeatedFormat7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGeneratedFormat8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRepeatedFormat8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadStoredFormat3)->Unit(benchmark::kMillisecond);

}  // namespace
