// Point reading through LazReader (records to ClPoint) on the shared samples: point by point,
// compressed and stored, and whole files on several threads. Points per second, file opening
// included; the process's peak memory in MB beside each figure (run one benchmark a process for
// a figure of its own).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <string>

#include "geodata/LazReader.h"
#include "loopback/TempDir.h"
#include "support/LazChunks.h"

namespace {

const std::filesystem::path kData = std::filesystem::path(TW_SHARED_TESTDATA);

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

bool present(benchmark::State& state, const std::filesystem::path& path) {
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("shared LAS/LAZ samples not found");
        return false;
    }
    return true;
}

void readPoints(benchmark::State& state, const char* name) {
    const auto path = kData / name;
    if (!present(state, path)) {
        return;
    }
    std::uint64_t points = 0;
    for (auto _ : state) {
        LazReader reader(path.string());
        ClPoint p;
        while (reader.next(p)) {
            ++points;
        }
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
    state.counters["peak_MB"] = peakMegabytes();
}

// Whole files on state.range(0) threads; the sink only looks at every point.
void readAllPoints(benchmark::State& state, const std::filesystem::path& path) {
    if (!present(state, path)) {
        return;
    }
    std::uint64_t points = 0;
    double sum = 0.0;
    for (auto _ : state) {
        LazReader reader(path.string());
        reader.readAll(
            [&](std::span<const ClPoint> batch) {
                for (const ClPoint& p : batch) {
                    sum += p.z;
                }
                points += batch.size();
                return true;
            },
            static_cast<unsigned>(state.range(0)));
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(static_cast<std::int64_t>(points));
    state.counters["peak_MB"] = peakMegabytes();
}

void BM_LazReaderCompressed(benchmark::State& s) {
    readPoints(s, "laz/autzen_trim.laz");
}
void BM_LazReaderStored(benchmark::State& s) {
    readPoints(s, "laz/autzen_trim.las");
}
// Format 7, 60,000 points in 12 chunks.
void BM_LazReaderNextFormat7(benchmark::State& s) {
    readPoints(s, "laz-gen/gen_f7.laz");
}
void BM_LazReaderAllFormat7(benchmark::State& s) {
    readAllPoints(s, kData / "laz-gen/gen_f7.laz");
}

// Many small chunks: format 7, 1,065 points in 65 chunks of about 16.
void BM_LazReaderAllSmallChunks(benchmark::State& s) {
    readAllPoints(s, kData / "laz/simple.copc.laz");
}

// Chunks of 1 to 12,000 points: format 8, 45,000 points in 11 chunks.
void BM_LazReaderAllVariableChunks(benchmark::State& s) {
    readAllPoints(s, kData / "laz-gen/gen_f8_var.laz");
}

// Format 7, 1,200,000 points in 240 chunks: the 12 chunks of the file above, 20 times.
void BM_LazReaderAllLargeFormat7(benchmark::State& s) {
    static const loopback::TempDir dir;
    static const std::string path = [] {
        const std::string large = dir.file("large.laz");
        return fixtures::writeRepeatedChunks((kData / "laz-gen/gen_f7.laz").string(), large, 20)
                   ? large
                   : std::string();
    }();
    readAllPoints(s, path);
}

BENCHMARK(BM_LazReaderCompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LazReaderStored)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LazReaderNextFormat7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LazReaderAllFormat7)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LazReaderAllSmallChunks)
    ->RangeMultiplier(2)
    ->Range(1, 8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LazReaderAllVariableChunks)
    ->RangeMultiplier(2)
    ->Range(1, 8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_LazReaderAllLargeFormat7)
    ->Arg(1)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
