// Reading WFS answers of parcels: a 50 MB answer of parcels of 12 vertices (GmlParser alone,
// GmlParser with the GeoJSON preview, and GDAL's ogr2ogr converting the same file to GeoJSON,
// skipped when it is not installed) and a dense answer of 110,000 small parcels (rectangles with
// the same attributes), where the records' share of the memory is the largest.
// Peak memory (with GNU time) is that of a fresh process reading the file and parsing it once:
// this program started again for the reader, ogr2ogr itself for GDAL; peak_per_document is that
// peak over the document's size, and baseline_MB the peak of the same process reading a document
// of one parcel (the program and its libraries). The reader's process holds the document and the
// features it returns; record_bytes_per_feature is the heap the features take, as the allocator
// holds it, over their number.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "geodata/GmlParser.h"
#include "loopback/TempDir.h"

namespace {

constexpr std::size_t kTargetBytes = 50u << 20;
constexpr int kSmallParcels = 110000;

// A parcel with the attributes a county service gives; posList is its outer ring's position list
// element.
std::string parcel(int i, const std::string& posList) {
    const std::string id = std::to_string(i);
    return "<wfs:member><ms:dzialki gml:id=\"dzialki." + id + "\" id=\"" + id +
           "\"><ms:ID_DZIALKI>146501_1.0001." + id + "</ms:ID_DZIALKI><ms:NUMER_DZIALKI>" + id +
           "</ms:NUMER_DZIALKI><ms:NAZWA_OBREBU>Obreb 0001</ms:NAZWA_OBREBU>"
           "<ms:NAZWA_GMINY>Warszawa</ms:NAZWA_GMINY><ms:POLE_EWIDENCYJNE>0.0542"
           "</ms:POLE_EWIDENCYJNE><ms:msGeometry><gml:Polygon gml:id=\"dzialki." +
           id + ".1\" srsName=\"urn:ogc:def:crs:EPSG::2180\"><gml:exterior><gml:LinearRing>" +
           posList +
           "</gml:LinearRing></gml:exterior></gml:Polygon></ms:msGeometry>"
           "</ms:dzialki></wfs:member>\n";
}

// The south-west corner of the i-th parcel on a grid of 20 m, northing first.
std::pair<double, double> cornerOf(int i) {
    return {350000 + (i / 300) * 20.0, 450000 + (i % 300) * 20.0};
}

// A parcel of 12 vertices.
std::string parcel(int i) {
    const auto [y, x] = cornerOf(i);
    char ring[512];
    int used = 0;
    for (int k = 0; k <= 11; ++k) {
        const int corner = k % 11;
        const double px = x + (corner < 6 ? corner * 3.125 : (11 - corner) * 3.125);
        const double py = y + (corner < 6 ? 0.0 : 17.5) + corner * 0.01;
        used += std::snprintf(ring + used, sizeof ring - used, "%.2f %.2f ", py, px);
    }
    return parcel(i,
                  "<gml:posList srsDimension=\"2\">" + std::string(ring, used) + "</gml:posList>");
}

// A parcel of 18 by 12 m: four corners and the closing one.
std::string smallParcel(int i) {
    const auto [y, x] = cornerOf(i);
    char ring[256];
    std::snprintf(ring, sizeof ring,
                  "<gml:posList>%.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f %.1f</gml:posList>", y,
                  x, y, x + 18, y + 12, x + 18, y + 12, x, y, x);
    return parcel(i, ring);
}

struct Document {
    std::string text;
    int features = 0;
};

const std::string kCollectionStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<wfs:FeatureCollection "
    "xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" xmlns:gml=\"http://www.opengis.net/gml/"
    "3.2\" xmlns:ms=\"http://mapserver.gis.umn.edu/mapserver\" "
    "numberMatched=\"unknown\">\n";
const std::string kCollectionEnd = "</wfs:FeatureCollection>\n";

// Parcels until the text reaches the target size; one parcel at least.
Document parcels(std::size_t targetBytes) {
    Document d;
    d.text = kCollectionStart;
    do
        d.text += parcel(d.features++);
    while (d.text.size() < targetBytes);
    d.text += kCollectionEnd;
    return d;
}

const Document& parcels50MB() {
    static const Document doc = parcels(kTargetBytes);
    return doc;
}

const Document& smallParcels() {
    static const Document doc = [] {
        Document d;
        d.text = kCollectionStart;
        for (; d.features < kSmallParcels; ++d.features)
            d.text += smallParcel(d.features);
        d.text += kCollectionEnd;
        return d;
    }();
    return doc;
}

// The files of the documents, written when first asked for and removed when the program ends.
std::string writtenFile(const std::string& name, const std::string& text) {
    static const loopback::TempDir dir;
    const std::string file = dir.file(name);
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

const std::string& parcelsFile() {
    static const std::string path = writtenFile("parcels.gml", parcels50MB().text);
    return path;
}

const std::string& smallParcelsFile() {
    static const std::string path = writtenFile("small.gml", smallParcels().text);
    return path;
}

const std::string& oneParcelFile() {
    static const std::string path = writtenFile("one.gml", parcels(0).text);
    return path;
}

bool hasGnuTime() {
    return std::system("/usr/bin/time --version > /dev/null 2>&1") == 0;
}

// Runs a shell command under GNU time; its peak resident size in MB, -1 when it failed.
double peakOfCommandMB(const std::string& command) {
    const loopback::TempDir dir;
    const std::string peakFile = dir.file("peak.txt");
    const std::string timed =
        "/usr/bin/time -f %M -o " + peakFile + " " + command + " > /dev/null 2>&1";
    double peakKB = -1.0;
    if (std::system(timed.c_str()) != 0 || !(std::ifstream(peakFile) >> peakKB))
        return -1.0;
    return peakKB / 1024.0;
}

// The whole file in a text of its size, as the download cache reads its files: a text grown
// while reading would add a peak of its own, up to twice the file, to the reader's.
std::string textOfFile(const char* path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    std::string text(error ? 0 : size, '\0');
    std::ifstream(path, std::ios::binary)
        .read(text.data(), static_cast<std::streamsize>(text.size()));
    return text;
}

// Started again by readerPeakMB, this program reads the named file, parses it (and writes the
// preview when asked) and ends before any benchmark runs.
const bool kReaderChild = [] {
    const char* path = std::getenv("TW_GML_PEAK_FILE");
    if (path == nullptr)
        return false;
    const std::string text = textOfFile(path);
    const auto features = GmlParser::parseFeatureCollection(text, DataType::Dzialki);
    const bool preview = std::getenv("TW_GML_PEAK_PREVIEW") != nullptr;
    const bool ok = !features.empty() && (!preview || !GmlParser::toGeoJSON(features).empty());
    std::_Exit(ok ? 0 : 1);
}();

// The peak resident size of a fresh process of this program that reads the file and parses it
// (and writes the preview when asked), like ogr2ogr's; -1 when it failed.
double readerPeakMB(const std::string& file, bool withPreview) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    return peakOfCommandMB("env TW_GML_PEAK_FILE=" + file +
                           (withPreview ? " TW_GML_PEAK_PREVIEW=1 " : " ") + self);
}

void reportPeak(benchmark::State& state, const Document& doc, const std::string& file,
                bool withPreview) {
    if (!hasGnuTime())
        return;
    const double peak = readerPeakMB(file, withPreview);
    const double baseline = readerPeakMB(oneParcelFile(), withPreview);
    if (peak < 0.0 || baseline < 0.0)
        return;
    state.counters["peak_MB"] = peak;
    state.counters["baseline_MB"] = baseline;
    state.counters["document_MB"] = static_cast<double>(doc.text.size()) / (1 << 20);
    state.counters["peak_per_document"] = peak / (static_cast<double>(doc.text.size()) / (1 << 20));
}

// The bytes of heap in use: the main arena's and those of blocks mapped on their own.
std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// The heap the features of one reading take, over their number; read once more, untimed.
double recordBytesPerFeature(const Document& doc) {
    const std::size_t before = heapInUse();
    const auto features = GmlParser::parseFeatureCollection(doc.text, DataType::Dzialki);
    return static_cast<double>(heapInUse() - before) / static_cast<double>(features.size());
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
    state.counters["record_bytes_per_feature"] = recordBytesPerFeature(doc);
    reportPeak(state, doc, parcelsFile(), false);
}
BENCHMARK(BM_ParseParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// Many small features: their records, properties above all, weigh most against the text.
void BM_ParseSmallParcels110k(benchmark::State& state) {
    const Document& doc = smallParcels();
    for (auto _ : state) {
        auto features = GmlParser::parseFeatureCollection(doc.text, DataType::Dzialki);
        benchmark::DoNotOptimize(features.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.text.size()));
    state.counters["features_per_s"] = benchmark::Counter(
        static_cast<double>(doc.features), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["record_bytes_per_feature"] = recordBytesPerFeature(doc);
    reportPeak(state, doc, smallParcelsFile(), false);
}
BENCHMARK(BM_ParseSmallParcels110k)->Unit(benchmark::kMillisecond)->Iterations(3);

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
    reportPeak(state, doc, parcelsFile(), true);
}
BENCHMARK(BM_ParseAndPreviewParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

bool hasOgr2ogr() {
    return std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

// The same document through GDAL: ogr2ogr -f GeoJSON, one run per iteration, timed by hand.
void BM_Ogr2ogrParcels50MB(benchmark::State& state) {
    if (!hasOgr2ogr()) {
        state.SkipWithError("ogr2ogr not installed (apt-get install gdal-bin)");
        return;
    }
    const Document& doc = parcels50MB();
    const loopback::TempDir dir;
    const std::string command = "ogr2ogr -f GeoJSON " + dir.file("parcels.json") + " " +
                                parcelsFile() + " > /dev/null 2>&1";
    const auto clean = [&] {
        std::remove(dir.file("parcels.json").c_str());
        std::remove((parcelsFile().substr(0, parcelsFile().size() - 3) + "gfs").c_str());
    };
    for (auto _ : state) {
        clean();
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ogr2ogr failed");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["features_per_s"] = benchmark::Counter(
        static_cast<double>(doc.features), benchmark::Counter::kIsIterationInvariantRate);
    clean();
    if (hasGnuTime()) {
        const double peak = peakOfCommandMB(command);
        if (peak >= 0.0)
            state.counters["peak_MB"] = peak;
    }
    clean();
}
BENCHMARK(BM_Ogr2ogrParcels50MB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

}  // namespace
