// Point-cloud benchmarks: voxel thinning of 10 million points (at least 15 million points per
// second), writing 8 million points as E57 (at least 150 MB/s), and the peak memory of a
// download that keeps 8 million points (measured in a child process, from a sheet already in
// the download cache, at standard detail with every point in a voxel of its own).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

#include "builders/LasBuilder.h"
#include "cloud/DownloadRun.h"
#include "cloud/E57Writer.h"
#include "cloud/PointCloudBuilder.h"
#include "fakes/Lidar.h"
#include "geodata/ServiceConfig.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

const Bbox kFrame{600000.0, 400000.0, 601000.0, 401000.0};

// LiDAR-like points, 10 per m2 on a gently rolling surface, in the order an airborne scanner
// records them (sweeps across the frame, one after another along it), or shuffled.
const std::vector<ClPoint>& lidarPoints(bool shuffled) {
    static const std::vector<ClPoint> scanned = [] {
        std::mt19937_64 random(42);
        std::uniform_real_distribution<double> jitter(-0.1, 0.1);
        std::normal_distribution<double> noise(0.0, 0.05);
        constexpr int kPerSweep = 3162;  // 0.316 m apart across, sweeps 0.316 m apart along
        std::vector<ClPoint> out(10'000'000);
        for (std::size_t i = 0; i < out.size(); ++i) {
            ClPoint& p = out[i];
            const auto sweep = static_cast<double>(i / kPerSweep);
            const auto across = static_cast<double>(i % kPerSweep);
            p.x = kFrame.minx + std::clamp(across * 0.3162 + jitter(random), 0.0, 1000.0);
            p.y = kFrame.miny + std::clamp(sweep * 0.3162 + jitter(random), 0.0, 1000.0);
            p.z = 120.0 + 5.0 * std::sin(p.x / 80.0) * std::cos(p.y / 60.0) + noise(random);
            p.r = static_cast<std::uint8_t>(p.x);
            p.g = static_cast<std::uint8_t>(p.y);
            p.b = 90;
        }
        return out;
    }();
    static const std::vector<ClPoint> mixed = [] {
        std::vector<ClPoint> out = scanned;
        std::shuffle(out.begin(), out.end(), std::mt19937_64(7));
        return out;
    }();
    return shuffled ? mixed : scanned;
}

// Thinning at standard detail (0.2 m voxels); argument 1 takes the points in random order.
void BM_VoxelThinning(benchmark::State& state) {
    const std::vector<ClPoint>& input = lidarPoints(state.range(0) != 0);
    std::size_t kept = 0;
    for (auto _ : state) {
        PointCloudBuilder builder(kFrame, 2178, 0.2);
        builder.points.reserve(input.size());  // as the download reserves its limit
        for (const ClPoint& p : input)
            builder.add(p.x, p.y, p.z, p.r, p.g, p.b);
        kept = builder.points.size();
        benchmark::DoNotOptimize(builder.points.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
    state.counters["kept"] = static_cast<double>(kept);
}
BENCHMARK(BM_VoxelThinning)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteE57(benchmark::State& state) {
    const std::vector<ClPoint>& all = lidarPoints(false);
    const std::vector<ClPoint> points(all.begin(), all.begin() + 8'000'000);
    const loopback::TempDir dir;
    const std::string path = dir.file("chmura.e57");
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::string error;
        if (!cloud::writeE57(path, points, error))
            state.SkipWithError(error.c_str());
        bytes += static_cast<std::int64_t>(std::ifstream(path, std::ios::ate).tellg());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_WriteE57)->Unit(benchmark::kMillisecond)->Iterations(3);

// A LAS file of rows x columns coloured points 0.25 m apart, written in pieces.
void writeGridLas(const std::string& path, int rows, int columns) {
    fixtures::LasSpec spec;
    spec.pointFormat = 2;
    spec.recordLength = 26;
    spec.declaredCount = static_cast<std::uint64_t>(rows) * columns;
    spec.offset[0] = kFrame.minx;
    spec.offset[1] = kFrame.miny;
    std::ofstream out(path, std::ios::binary);
    const std::string header = fixtures::buildLas(spec, {});
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    std::string row;
    for (int i = 0; i < rows; ++i) {
        row.clear();
        for (int j = 0; j < columns; ++j) {
            const auto r = fixtures::lasRecord(26, 25 * i + 12, 25 * j + 12, 12000 + (i + j) % 100);
            row.append(reinterpret_cast<const char*>(r.data()), r.size());
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
}

long residentMB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE) / (1024 * 1024);
}

void BM_DownloadPeakMemory(benchmark::State& state) {
    const loopback::TempDir dir;
    const loopback::ScopedEnv data("XDG_DATA_HOME", dir.path().c_str());
    const loopback::ScopedEnv tmp("TMPDIR", dir.path().c_str());
    const fakes::LidarService lidar({fakes::LidarSheet{"N-34-1", "", "10"}});
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::geoportalMaps, lidar.indexBase()}};
    writeGridLas(WfsClient::cacheFilePathFor(lidar.fileUrl(0), "zip"), 2000, 4000);
    const CloudController::DownloadJob job{kFrame, cloudui::Detail::Standard, 2178, 0, 0, 0, false};

    for (auto _ : state) {
        const long before = residentMB();
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            state.SkipWithError("pipe");
        const pid_t child = fork();
        if (child == 0) {
            WfsClient client;
            const std::atomic<bool> cancel{false};
            const auto result = cloud::runDownload(job, client, cancel,
                                                   {[](auto...) { return true; }, [](double) {}});
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            const long peak[2] = {result.ok ? static_cast<long>(result.count) : -1,
                                  usage.ru_maxrss / 1024};
            (void)!write(pipeFds[1], peak, sizeof peak);
            _exit(0);
        }
        long peak[2] = {0, 0};
        (void)!read(pipeFds[0], peak, sizeof peak);
        waitpid(child, nullptr, 0);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (peak[0] != 8'000'000)
            state.SkipWithError("the download did not keep 8 million points");
        state.counters["keptPoints"] = static_cast<double>(peak[0]);
        state.counters["peakRssMB"] = static_cast<double>(peak[1]);
        state.counters["rssBeforeMB"] = static_cast<double>(before);
    }
}
BENCHMARK(BM_DownloadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
