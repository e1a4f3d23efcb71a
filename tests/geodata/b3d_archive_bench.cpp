// A county package of 200 synthetic sheets (a 20 x 10 grid of 1 km sheets with 64 buildings
// each): indexing it, reopening it through its side index (checked against the package), and
// reading the sheets that touch a 500 m area; beside them the LoD1 and LoD2 readers on one sheet.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "builders/CityGmlBuilder.h"
#include "builders/ZipBuilder.h"
#include "geodata/B3dArchive.h"
#include "geodata/CityGmlLod2Reader.h"
#include "geodata/CityGmlReader.h"
#include "loopback/TempDir.h"

namespace {

using namespace citygmltest;

constexpr int kColumns = 20;
constexpr int kRows = 10;
constexpr double kSheetMetres = 1000.0;
constexpr double kOriginX = 600000.0;
constexpr double kOriginY = 400000.0;

std::string syntheticSheet(double x, double y) {
    std::string members;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 8; ++j) {
            const double bx = x + 20.0 + i * 120.0;
            const double by = y + 20.0 + j * 120.0;
            members += member(boxBuilding("b" + std::to_string(i * 8 + j), bx, by, bx + 15.0,
                                          by + 11.0, 120.0, 127.5));
        }
    }
    return sheet(members, {x, y, x + kSheetMetres, y + kSheetMetres});
}

struct Package {
    loopback::TempDir dir;
    std::string path = dir.file("county.zip");
    std::string sheetText = syntheticSheet(kOriginX, kOriginY);

    Package() {
        std::vector<ziptest::Item> items{{"LOD1/", "", true}, {"LOD1/readme.txt", "opis"}};
        for (int c = 0; c < kColumns; ++c) {
            for (int r = 0; r < kRows; ++r) {
                items.push_back(
                    {"LOD1/sheet_" + std::to_string(c) + "_" + std::to_string(r) + ".gml",
                     syntheticSheet(kOriginX + c * kSheetMetres, kOriginY + r * kSheetMetres)});
            }
        }
        ziptest::writeZip(path, items);
        B3dArchive archive;
        std::string error;
        archive.open(path, error);
        archive.buildIndex(error);
        archive.saveIndex(B3dArchive::indexPathFor(path));
    }
};

const Package& package() {
    static const auto shared = std::make_unique<Package>();
    return *shared;
}

void BM_IndexPackageOf200Sheets(benchmark::State& state) {
    const Package& p = package();
    for (auto _ : state) {
        B3dArchive archive;
        std::string error;
        archive.open(p.path, error);
        if (!archive.buildIndex(error))
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(archive.sheets().data());
    }
}
BENCHMARK(BM_IndexPackageOf200Sheets)->Unit(benchmark::kMillisecond);

// With the checks a fetch makes before it trusts the index: its checksum and its names against
// the package's entry list.
void BM_ReopenThroughSideIndex(benchmark::State& state) {
    const Package& p = package();
    for (auto _ : state) {
        B3dArchive archive;
        std::string error;
        archive.open(p.path, error);
        if (!archive.loadIndex(B3dArchive::indexPathFor(p.path)) || !archive.indexWhole() ||
            !archive.agreesWithPackage())
            state.SkipWithError("no index");
        benchmark::DoNotOptimize(archive.sheets().data());
    }
}
BENCHMARK(BM_ReopenThroughSideIndex)->Unit(benchmark::kMillisecond);

// A 500 m area around a sheet corner touches four sheets.
void BM_ReadBuildingsOf500mArea(benchmark::State& state) {
    const Package& p = package();
    const Bbox area{kOriginX + 4750.0, kOriginY + 2750.0, kOriginX + 5250.0, kOriginY + 3250.0};
    std::size_t buildings = 0;
    for (auto _ : state) {
        B3dArchive archive;
        std::string error;
        archive.open(p.path, error);
        archive.loadIndex(B3dArchive::indexPathFor(p.path));
        buildings = 0;
        for (const std::string& name : archive.entriesFor(area)) {
            buildings += CityGmlReader::parseSheet(archive.readEntry(name), area).size();
        }
        benchmark::DoNotOptimize(buildings);
    }
    state.counters["buildings"] = static_cast<double>(buildings);
}
BENCHMARK(BM_ReadBuildingsOf500mArea)->Unit(benchmark::kMillisecond);

void BM_ParseSheetLod1(benchmark::State& state) {
    const std::string& text = package().sheetText;
    const Bbox all{0, 0, 1e7, 1e7};
    for (auto _ : state)
        benchmark::DoNotOptimize(CityGmlReader::parseSheet(text, all));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSheetLod1)->Unit(benchmark::kMicrosecond);

void BM_ParseSheetLod2(benchmark::State& state) {
    const std::string& text = package().sheetText;
    const Bbox all{0, 0, 1e7, 1e7};
    for (auto _ : state)
        benchmark::DoNotOptimize(CityGmlLod2Reader::parseSheet(text, all));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseSheetLod2)->Unit(benchmark::kMicrosecond);

}  // namespace
