// Terrain from point clouds: one LiDAR sheet of 10 million points read and gridded as the fetch
// does it (the ground and water points of the frame kept, then the ground and water grid), for
// a sheet in PL-1992 and one in a PL-2000 zone. Reported: points read a second and the peak
// resident memory of the reading and gridding alone (the sheet is written before the peak is
// reset).

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>

#include "geodata/ProjConv.h"
#include "geometry/CloudTerrain.h"
#include "import/ImportTerrainStages.h"
#include "support/LasBuilder.h"
#include "support/TempDir.h"

namespace {

constexpr std::uint64_t kPoints = 10'000'000;
constexpr double kSide = 1000.0;  // metres: 10 points a square metre
constexpr int kRecord = 20;       // point format 0
constexpr double kScale = 0.01;
constexpr std::uint64_t kBlock = 1'000'000;

// Classes as a sheet has them: half ground, some water, the rest vegetation and roofs.
std::uint8_t classFor(std::uint64_t i) {
    const std::uint64_t r = i % 20;
    return r < 10 ? 2 : r < 11 ? 9 : r < 16 ? 5 : 6;
}

// The sheet over [x0, x0 + 1 km] x [y0, y0 + 1 km], written a block of records at a time.
void writeSheet(const std::string& path, double x0, double y0) {
    fixtures::LasSpec spec;
    spec.recordLength = kRecord;
    spec.scale[0] = spec.scale[1] = spec.scale[2] = kScale;
    spec.offset[0] = x0;
    spec.offset[1] = y0;
    spec.declaredCount = kPoints;
    std::ofstream out(path, std::ios::binary);
    const std::string header = fixtures::buildLas(spec, {});
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::int32_t> along(0, static_cast<std::int32_t>(kSide / kScale));
    std::uniform_int_distribution<std::int32_t> height(10000, 12000);
    std::string block(kBlock * kRecord, '\0');
    for (std::uint64_t first = 0; first < kPoints; first += kBlock) {
        std::memset(block.data(), 0, block.size());
        for (std::uint64_t i = 0; i < kBlock; ++i) {
            char* record = block.data() + i * kRecord;
            const std::int32_t xyz[3] = {along(random), along(random), height(random)};
            std::memcpy(record, xyz, sizeof xyz);
            record[15] = static_cast<char>(classFor(first + i));
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// The peak resident memory since the last reset, in MiB (VmHWM of /proc/self/status).
double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0.0;
}

void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_CloudTerrainFromOneSheet(benchmark::State& state) {
    const int epsg = static_cast<int>(state.range(0));
    static loopback::TempDir dir;
    const std::string path = dir.file("sheet" + std::to_string(epsg) + ".las");
    // The sheet's south-west corner in its own system, and the frame (PL-1992) inside it.
    const GisPoint corner = epsg == 2180 ? GisPoint{500000.0, 300000.0}
                                         : ProjConv::pl1992ToPl2000(500000.0, 300000.0, epsg);
    writeSheet(path, corner.x, corner.y);
    const Bbox frame{500050.0, 300050.0, 500950.0, 300950.0};
    std::string message;
    const double step = terrainstages::cloudStep(frame, 1.0, message);
    const std::atomic<bool> stop{false};

    resetPeak();
    std::uint64_t kept = 0;
    for (auto _ : state) {
        terrainstages::CloudPoints points;
        terrainstages::readSheet(path, epsg, frame, stop, points);
        const CloudTerrain grid(points.ground, frame, step, points.water, true);
        kept = points.ground.size() + points.water.size();
        benchmark::DoNotOptimize(grid.validCells);
    }
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(kPoints) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["kept"] = static_cast<double>(kept);
    state.counters["peak MiB"] = peakMiB();
}

BENCHMARK(BM_CloudTerrainFromOneSheet)
    ->Arg(2180)
    ->Arg(2178)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
