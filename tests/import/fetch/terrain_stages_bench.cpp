// Terrain from point clouds: one LiDAR sheet of 10 million points read and gridded as the fetch
// does it (the ground and water points of the frame kept, then the ground and water grid), for
// a sheet in PL-1992 and one in a PL-2000 zone. The sheet is the shared generated LAZ sample
// (60,000 points of varied classes over 2.3 x 0.5 km) moved into place, its chunks repeated.
// Reported: points read a second and the peak resident memory of the reading and gridding
// alone (the sheet is written before the peak is reset).
//
// Terrain ("teren") and contours ("poziomice2d") from the terrain model over square frames of 5
// and 10 km, fetched through the map page as a user asks for them at the page's default step and
// interval: 1 km sheets in 1 m cells listed by a loopback sheet index and read from the download
// cache. The frame's south-west corner lies in the middle of a sheet, so the frames meet 36 and
// 121 sheets. Reported: the process's resident memory when the fetch starts and its peak during
// the fetch, the sheets read, and whether the stage refused the frame before asking for any.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "fakes/Lidar.h"
#include "geodata/ProjConv.h"
#include "geometry/CloudTerrain.h"
#include "import/fetch/ImportTerrainStages.h"
#include "import/fetch/SheetWorld.h"
#include "loopback/TempDir.h"
#include "support/LazChunks.h"
#include "support/PeakMemory.h"

namespace {

const std::filesystem::path kSample =
    std::filesystem::path(TW_SHARED_TESTDATA) / "laz-gen" / "gen_f7.laz";
constexpr int kRepeats = 167;                    // 60,000 points each: 10.02 million
constexpr GisPoint kCorner{500000.0, 300000.0};  // the sheet's south-west corner in PL-1992
// The sheet's extent (its points lie in two strips along its south and north edges); of the
// zone sheet, turned by the difference of the two systems' meridian convergence, the points of
// its far corners fall outside.
constexpr Bbox kFrame{500000.0, 300000.0, 502290.0, 300545.0};

// The sample moved to the sheet's corner in the sheet's system, its chunks repeated.
bool writeSheet(const loopback::TempDir& dir, int epsg, std::uint64_t& points, std::string& path) {
    const GisPoint corner =
        epsg == 2180 ? kCorner : ProjConv::pl1992ToPl2000(kCorner.x, kCorner.y, epsg);
    const std::string moved = dir.file("moved" + std::to_string(epsg) + ".laz");
    const std::string sample = fixtures::readBytes(kSample.string());
    fixtures::writeBytes(moved, fakes::relocatedLas(sample, corner.x, corner.y, 100.0));
    path = dir.file("sheet" + std::to_string(epsg) + ".laz");
    points = fakes::lasPointCount(sample) * kRepeats;
    return fixtures::writeRepeatedChunks(moved, path, kRepeats);
}

void BM_CloudTerrainFromOneSheet(benchmark::State& state) {
    const int epsg = static_cast<int>(state.range(0));
    static const loopback::TempDir dir;
    std::uint64_t points = 0;
    std::string path;
    if (!std::filesystem::exists(kSample) || !writeSheet(dir, epsg, points, path)) {
        state.SkipWithError("the generated LAZ sample is not in the shared test data");
        return;
    }
    std::string message;
    const double step = terrainstages::cloudStep(kFrame, 1.0, message);
    const std::atomic<bool> stop{false};

    peakmemory::reset();
    std::size_t kept = 0;
    for (auto _ : state) {
        terrainstages::CloudPoints read;
        terrainstages::readSheet(path, epsg, kFrame, stop, read);
        const CloudTerrain grid(read.ground, kFrame, step, read.water, true);
        kept = read.ground.size() + read.water.size();
        benchmark::DoNotOptimize(grid.validCells);
    }
    std::filesystem::remove(path);
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(points) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["points"] = static_cast<double>(points);
    state.counters["kept"] = static_cast<double>(kept);
    state.counters["peak MiB"] = peakmemory::peakMiB();
}

BENCHMARK(BM_CloudTerrainFromOneSheet)
    ->Arg(2180)
    ->Arg(2178)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The stage's key and the label of its sheets' progress, by the benchmark's first argument.
struct TerrainKey {
    const char* key;
    const char* sheetsLabel;
};
constexpr TerrainKey kTerrainKeys[] = {{"teren", "Pobieranie NMT"},
                                       {"poziomice2d", "Poziomice: NMT"}};

// The sheets a fetch read: the total of its sheets' progress.
int sheetsRead(const std::vector<sheetworld::World::Seen>& seen, const char* label) {
    int total = 0;
    for (const sheetworld::World::Seen& s : seen) {
        if (s.message.value("label", "") == label)
            total = std::max(total, s.message.value("total", 0));
    }
    return total;
}

void BM_TerrainModelStage(benchmark::State& state) {
    using namespace sheetworld;
    const TerrainKey& stage = kTerrainKeys[state.range(0)];
    World& w = world();
    Bbox frame;
    const std::array<double, 4> wgs84 = frameWgs84(static_cast<double>(state.range(1)), frame);
    w.cacheSheets(frame, Models::TerrainOnly);
    double start = 0.0;
    double peak = 0.0;
    json done;
    int sheets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        start = w.dropLastFetch(wgs84);
        state.ResumeTiming();
        const std::vector<World::Seen> seen = w.fetch(wgs84, {stage.key});
        peak = peakmemory::peakMiB();
        done = seen.back().message;
        sheets = sheetsRead(seen, stage.sheetsLabel);
    }
    const std::string warning = done.value("warning", "");
    const bool refused = warning.find("za duzy dla modelu") != std::string::npos;
    if (!refused && done.value("counts", json::object()).empty())
        state.SkipWithError(("the fetch brought nothing: " + done.dump()).c_str());
    state.SetLabel(stage.key);
    state.counters["start MiB"] = start;
    state.counters["peak MiB"] = peak;
    state.counters["frame km2"] = (frame.maxx - frame.minx) * (frame.maxy - frame.miny) / 1e6;
    state.counters["sheets"] = sheets;
    state.counters["refused"] = refused ? 1 : 0;
}
BENCHMARK(BM_TerrainModelStage)
    ->ArgsProduct({{0, 1}, {5, 10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
