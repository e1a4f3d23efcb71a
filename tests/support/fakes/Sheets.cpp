#include "support/fakes/Sheets.h"

#include <algorithm>
#include <cmath>

#include "geodata/NumberText.h"
#include "geodata/SheetIndex.h"
#include "support/LasBuilder.h"
#include "support/NdsmGrids.h"

namespace fakes {
namespace {

constexpr int kFirstIndexYear = 2018;
constexpr int kFormat0Record = 20;
constexpr std::size_t kClassByte = 15;
constexpr double kCentimetre = 0.01;

void serve(Hosts& hosts, const char* indexPath, const char* indexType, const std::string& folder,
           const std::vector<Sheet>& sheets) {
    hosts.geoportal.onRequest(indexPath, sheetIndex(indexType, sheets, hosts.openData.url(folder)));
    for (const Sheet& sheet : sheets)
        hosts.openData.on(folder + "/" + sheet.godlo,
                          loopback::ok(sheet.file, "application/octet-stream"));
}

std::int32_t inCentimetres(double value, double offset) {
    return static_cast<std::int32_t>(std::lround((value - offset) / kCentimetre));
}

}  // namespace

FeatureWfs sheetIndex(const std::string& typePrefix, const std::vector<Sheet>& sheets,
                      const std::string& baseUrl) {
    std::vector<Feature> features;
    for (const Sheet& sheet : sheets) {
        features.push_back(rectangle(sheet.godlo, sheet.area,
                                     {{"godlo", sheet.godlo},
                                      {"url_do_pobrania", baseUrl + "/" + sheet.godlo},
                                      {"uklad_xy", sheet.uklad},
                                      {"char_przestrz", "4"}}));
    }
    std::vector<Layer> years;
    for (int year = kFirstIndexYear; year <= sheetindex::currentUtcYear() + 1; ++year)
        years.push_back({typePrefix + std::to_string(year), features});
    return FeatureWfs(std::move(years));
}

void serveTerrainModel(Hosts& hosts, const std::vector<Sheet>& sheets) {
    serve(hosts, kNmtIndexPath, kNmtIndexType, "/nmt", sheets);
}

void serveSurfaceModel(Hosts& hosts, const std::vector<Sheet>& sheets) {
    serve(hosts, kNmptIndexPath, kNmptIndexType, "/nmpt", sheets);
}

void serveLidar(Hosts& hosts, const std::vector<Sheet>& sheets) {
    serve(hosts, kLidarIndexPath, kLidarIndexType, "/lidar", sheets);
}

std::string asciiGrid(const Bbox& area, double cell,
                      const std::function<double(double x, double y)>& height) {
    const int cols = std::max(1, static_cast<int>(std::ceil((area.maxx - area.minx) / cell)));
    const int rows = std::max(1, static_cast<int>(std::ceil((area.maxy - area.miny) / cell)));
    const AscGrid grid = ndsmfix::gridOf(area.minx, area.miny, cell, cols, rows, height);
    std::string text = "ncols " + std::to_string(cols) + "\nnrows " + std::to_string(rows) +
                       "\nxllcorner " + numbertext::fixed(grid.xll, 3) + "\nyllcorner " +
                       numbertext::fixed(grid.yll, 3) + "\ncellsize " + numbertext::fixed(cell, 3) +
                       "\nnodata_value " + numbertext::fixed(grid.nodata, 0) + "\n";
    for (std::size_t i = 0; i < grid.z.size(); ++i) {
        text += numbertext::fixed(grid.z[i], 3);
        text += (i + 1) % static_cast<std::size_t>(cols) == 0 ? '\n' : ' ';
    }
    return text;
}

std::string lasFile(const std::vector<ClPoint>& points) {
    fixtures::LasSpec spec;
    spec.recordLength = kFormat0Record;
    spec.scale[0] = spec.scale[1] = spec.scale[2] = kCentimetre;
    if (!points.empty()) {
        spec.offset[0] = std::floor(points.front().x);
        spec.offset[1] = std::floor(points.front().y);
    }
    std::vector<std::vector<std::uint8_t>> records;
    records.reserve(points.size());
    for (const ClPoint& p : points) {
        std::vector<std::uint8_t> record =
            fixtures::lasRecord(kFormat0Record, inCentimetres(p.x, spec.offset[0]),
                                inCentimetres(p.y, spec.offset[1]), inCentimetres(p.z, 0.0));
        record[kClassByte] = p.cls;
        records.push_back(std::move(record));
    }
    return fixtures::buildLas(spec, records);
}

}  // namespace fakes
