// Contour tracing on a 2000 x 2000 grid of 1 m cells at a 0.5 m interval, beside the GDAL
// contour tool on the same heights (skipped when it is not installed). The tool runs as a
// process that reads the file and writes its lines to memory.

#include <benchmark/benchmark.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "contour_terrain.h"

namespace {

constexpr int kSize = 2000;
constexpr double kInterval = 0.5;

const std::string& sheetText() {
    static const std::string text = benchterrain::ascText(kSize);
    return text;
}

const AscGrid& sheet() {
    static const AscGrid grid = benchterrain::parsedGrid(sheetText());
    return grid;
}

const SiatkaWysokosci& grid() {
    static const SiatkaWysokosci g = benchterrain::contourGrid(sheet());
    return g;
}

void AscGridParse(benchmark::State& state) {
    const std::string& text = sheetText();
    for (auto _ : state) {
        AscGrid g;
        benchmark::DoNotOptimize(g.parse(text));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(AscGridParse)->Unit(benchmark::kMillisecond);

void Probkuj(benchmark::State& state) {
    const AscGrid& s = sheet();
    for (auto _ : state) {
        benchmark::DoNotOptimize(benchterrain::contourGrid(s));
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(Probkuj)->Unit(benchmark::kMillisecond);

void Build(benchmark::State& state) {
    const SiatkaWysokosci& g = grid();
    std::size_t points = 0;
    std::size_t lines = 0;
    for (auto _ : state) {
        std::string msg;
        const auto result =
            ContourBuilder::build(g, kInterval, msg, 3000, INT_MAX, {}, nullptr, {});
        lines = result.size();
        points = 0;
        for (const Warstwica& w : result) {
            points += w.pts.size();
        }
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(Build)->Unit(benchmark::kMillisecond);

// What the import does: the line and point limits stop tracing early on rich terrain.
void BuildWithImportLimits(benchmark::State& state) {
    const SiatkaWysokosci& g = grid();
    for (auto _ : state) {
        std::string msg;
        benchmark::DoNotOptimize(
            ContourBuilder::build(g, kInterval, msg, 3000, 600000, {}, nullptr, {}));
    }
}
BENCHMARK(BuildWithImportLimits)->Unit(benchmark::kMillisecond);

bool haveTool(const char* name) {
    return std::system(("command -v " + std::string(name) + " > /dev/null 2>&1").c_str()) == 0;
}

// The sheet written out as the tool's input: the ASCII grid itself, or (tiff) converted once to
// an uncompressed GeoTIFF, so that the tool's own time is mostly contouring.
std::filesystem::path writeInput(const std::filesystem::path& dir, bool tiff) {
    std::filesystem::create_directories(dir);
    const auto asc = dir / "terrain.asc";
    std::ofstream(asc, std::ios::binary) << sheetText();
    if (!tiff) {
        return asc;
    }
    const auto tif = dir / "terrain.tif";
    const std::string command =
        "gdal_translate -q -of GTiff '" + asc.string() + "' '" + tif.string() + "'";
    return std::system(command.c_str()) == 0 ? tif : std::filesystem::path{};
}

void runGdalContour(benchmark::State& state, bool tiff) {
    if (!haveTool("gdal_contour") || (tiff && !haveTool("gdal_translate"))) {
        state.SkipWithError("gdal_contour is not installed (Debian package gdal-bin)");
        return;
    }
    const auto dir = std::filesystem::temp_directory_path() / "tw_contour_bench";
    const auto input = writeInput(dir, tiff);
    const std::string command = "gdal_contour -q -f Memory -a elev -i " +
                                std::to_string(kInterval) + " '" + input.string() + "' '" +
                                (dir / "out").string() + "'";
    for (auto _ : state) {
        if (input.empty() || std::system(command.c_str()) != 0) {
            state.SkipWithError("gdal_contour failed");
            break;
        }
    }
    std::filesystem::remove_all(dir);
}

// Reads the ASCII grid and traces: compare with AscGridParse + Probkuj + Build.
void GdalContourFromAscii(benchmark::State& state) {
    runGdalContour(state, false);
}
BENCHMARK(GdalContourFromAscii)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads a GeoTIFF of the same heights: mostly the tracing, compare with Build.
void GdalContourFromTiff(benchmark::State& state) {
    runGdalContour(state, true);
}
BENCHMARK(GdalContourFromTiff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
