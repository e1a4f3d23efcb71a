// Reading a 50 MB WFS answer of parcels: GmlParser alone, GmlParser with the GeoJSON preview,
// and GDAL's ogr2ogr converting the same file to GeoJSON (skipped when it is not installed).
// Peak memory is the peak resident size of a child process doing the work once.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "geodata/GmlParser.h"
#include "support/TempDir.h"

namespace {

constexpr std::size_t kTargetBytes = 50u << 20;

// A parcel of 12 vertices with the attributes a county service gives.
std::string parcel(int i) {
    const double x = 450000 + (i % 300) * 20.0;
    const double y = 350000 + (i / 300) * 20.0;
    char ring[512];
    int used = 0;
    for (int k = 0; k <= 11; ++k) {
        const int corner = k % 11;
        const double px = x + (corner < 6 ? corner * 3.125 : (11 - corner) * 3.125);
        const double py = y + (corner < 6 ? 0.0 : 17.5) + corner * 0.01;
        used += std::snprintf(ring + used, sizeof ring - used, "%.2f %.2f ", py, px);
    }
    const std::string id = std::to_string(i);
    return "<wfs:member><ms:dzialki gml:id=\"dzialki." + id + "\" id=\"" + id +
           "\"><ms:ID_DZIALKI>146501_1.0001." + id + "</ms:ID_DZIALKI><ms:NUMER_DZIALKI>" + id +
           "</ms:NUMER_DZIALKI><ms:NAZWA_OBREBU>Obreb 0001</ms:NAZWA_OBREBU>"
           "<ms:NAZWA_GMINY>Warszawa</ms:NAZWA_GMINY><ms:POLE_EWIDENCYJNE>0.0542"
           "</ms:POLE_EWIDENCYJNE><ms:msGeometry><gml:Polygon gml:id=\"dzialki." +
           id +
           ".1\" srsName=\"urn:ogc:def:crs:EPSG::2180\"><gml:exterior><gml:LinearRing>"
           "<gml:posList srsDimension=\"2\">" +
           std::string(ring, used) +
           "</gml:posList></gml:LinearRing></gml:exterior></gml:Polygon></ms:msGeometry>"
           "</ms:dzialki></wfs:member>\n";
}

struct Document {
    std::string text;
    int features = 0;
};

const Document& parcels50MB() {
    static const Document doc = [] {
        Document d;
        d.text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<wfs:FeatureCollection "
            "xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" xmlns:gml=\"http://www.opengis.net/gml/"
            "3.2\" xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\" "
            "numberMatched=\"unknown\">\n";
        while (d.text.size() < kTargetBytes)
            d.text += parcel(d.features++);
        d.text += "</wfs:FeatureCollection>\n";
        return d;
    }();
    return doc;
}

// Runs work in a child process; its wall time and peak resident size. False when it failed.
template <class Work>
bool inChild(const Work& work, double& seconds, double& peakMB) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    peakMB = usage.ru_maxrss / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void reportPeak(benchmark::State& state, bool withPreview) {
    const Document& doc = parcels50MB();
    double seconds = 0.0;
    double peakMB = 0.0;
    const bool ran = inChild(
        [&] {
            const auto features = GmlParser::parseFeatureCollection(doc.text, DataType::Dzialki);
            return !withPreview || !GmlParser::toGeoJSON(features).empty();
        },
        seconds, peakMB);
    if (ran)
        state.counters["peak_MB"] = peakMB;
}

void BM_ParseParcels50MB(benchmark::State& state) {
    const Document& doc = parcels50MB();
    for (auto _ : state) {
        auto features = GmlParser::parseFeatureCollection(doc.text, DataType::Dzialki);
        benchmark::DoNotOptimize(features.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
    state.counters["features_per_s"] = benchmark::Counter(
        static_cast<double>(doc.features), benchmark::Counter::kIsIterationInvariantRate);
    reportPeak(state, false);
}
BENCHMARK(BM_ParseParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ParseAndPreviewParcels50MB(benchmark::State& state) {
    const Document& doc = parcels50MB();
    for (auto _ : state) {
        const auto features = GmlParser::parseFeatureCollection(doc.text, DataType::Dzialki);
        std::string preview = GmlParser::toGeoJSON(features);
        benchmark::DoNotOptimize(preview.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
    state.counters["features_per_s"] = benchmark::Counter(
        static_cast<double>(doc.features), benchmark::Counter::kIsIterationInvariantRate);
    reportPeak(state, true);
}
BENCHMARK(BM_ParseAndPreviewParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

bool hasOgr2ogr() {
    return std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

// The same document through GDAL: ogr2ogr -f GeoJSON, one run per iteration, timed manually.
void BM_Ogr2ogrParcels50MB(benchmark::State& state) {
    if (!hasOgr2ogr()) {
        state.SkipWithError("ogr2ogr not installed (apt-get install gdal-bin)");
        return;
    }
    const Document& doc = parcels50MB();
    const loopback::TempDir dir;
    const std::string gml = dir.file("parcels.gml");
    std::ofstream(gml, std::ios::binary) << doc.text;
    double peakMB = 0.0;
    for (auto _ : state) {
        const std::string json = dir.file("parcels.json");
        std::remove(json.c_str());
        std::remove(dir.file("parcels.gfs").c_str());
        double seconds = 0.0;
        const bool ran = inChild(
            [&] {
                const int devnull = ::open("/dev/null", O_WRONLY);
                dup2(devnull, 1);
                dup2(devnull, 2);
                execlp("ogr2ogr", "ogr2ogr", "-f", "GeoJSON", json.c_str(), gml.c_str(),
                       static_cast<char*>(nullptr));
                return false;
            },
            seconds, peakMB);
        if (!ran) {
            state.SkipWithError("ogr2ogr failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["features_per_s"] = benchmark::Counter(
        static_cast<double>(doc.features), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_MB"] = peakMB;
}
BENCHMARK(BM_Ogr2ogrParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
