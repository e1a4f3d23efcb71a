#include "fakes/TerrainModel.h"

#include <cmath>
#include <cstdio>
#include <iomanip>
#include <locale>
#include <sstream>

#include "fakes/Wfs.h"

namespace fakes {
namespace {

constexpr const char* kXml = "application/xml";
constexpr int kNoData = -9999;

bool meets(const Bbox& a, const Bbox& b) {
    return a.minx <= b.maxx && b.minx <= a.maxx && a.miny <= b.maxy && b.miny <= a.maxy;
}

// The BBOX of a 2.0.0 request in EPSG:2180, northing first.
bool boxOf(const std::string& query, Bbox& box) {
    double v[4] = {0, 0, 0, 0};
    int code = 0;
    if (std::sscanf(param(query, "bbox").c_str(), "%lf,%lf,%lf,%lf,urn:ogc:def:crs:EPSG::%d", &v[0],
                    &v[1], &v[2], &v[3], &code) != 5 ||
        code != 2180)
        return false;
    box = {v[1], v[0], v[3], v[2]};
    return true;
}

std::string member(const std::string& typeName, const IndexedSheet& sheet) {
    return "<wfs:member><" + typeName + " gml:id=\"" + sheet.godlo + "\"><gugik:godlo>" +
           sheet.godlo + "</gugik:godlo><gugik:url_do_pobrania>" + sheet.url +
           "</gugik:url_do_pobrania></" + typeName + "></wfs:member>";
}

// The index of a model on the geoportal, its sheets at sheetPath(godlo) on the open-data host.
void serveModel(Hosts& hosts, const char* indexPath, const char* indexType,
                std::string (*sheetPath)(const std::string&),
                const std::vector<GridSheet>& sheets) {
    std::vector<IndexedSheet> index;
    for (const GridSheet& sheet : sheets) {
        const std::string path = sheetPath(sheet.godlo);
        index.push_back({sheet.godlo, sheet.area(), hosts.openData.url(path)});
        hosts.openData.on(path, loopback::ok(ascGrid(sheet)));
    }
    hosts.geoportal.onRequest(indexPath, SheetIndexWfs(indexType, std::move(index)));
}

}  // namespace

HeightField plane(double base, double dx, double dy, GisPoint at) {
    return [=](double x, double y) { return base + dx * (x - at.x) + dy * (y - at.y); };
}

Bbox GridSheet::area() const {
    return {corner.x, corner.y, corner.x + columns * cellSize, corner.y + rows * cellSize};
}

std::string ascGrid(const GridSheet& sheet) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(12) << "ncols " << sheet.columns << "\nnrows " << sheet.rows
        << "\nxllcorner " << sheet.corner.x << "\nyllcorner " << sheet.corner.y << "\ncellsize "
        << sheet.cellSize << "\nnodata_value " << kNoData << '\n';
    for (int row = sheet.rows - 1; row >= 0; --row) {
        for (int column = 0; column < sheet.columns; ++column) {
            const double z = sheet.height(sheet.corner.x + (column + 0.5) * sheet.cellSize,
                                          sheet.corner.y + (row + 0.5) * sheet.cellSize);
            out << (column > 0 ? " " : "");
            if (std::isnan(z))
                out << kNoData;
            else
                out << z;
        }
        out << '\n';
    }
    return out.str();
}

std::string terrainSheetPath(const std::string& godlo) {
    return "/NumDaneWys/NMT/" + godlo + ".asc";
}

std::string surfaceSheetPath(const std::string& godlo) {
    return "/NumDaneWys/NMPT/" + godlo + ".asc";
}

SheetIndexWfs::SheetIndexWfs(std::string typePrefix, std::vector<IndexedSheet> sheets,
                             bool countsMatched)
    : typePrefix_(std::move(typePrefix)),
      sheets_(std::make_shared<const std::vector<IndexedSheet>>(std::move(sheets))),
      countsMatched_(countsMatched) {}

loopback::Answer SheetIndexWfs::operator()(const loopback::Request& request) const {
    const std::string typeName = param(request.query, "typenames");
    Bbox box;
    if (param(request.query, "request") != "GetFeature" || !typeName.starts_with(typePrefix_) ||
        !boxOf(request.query, box))
        return loopback::ok(exceptionReport(), kXml);
    std::vector<std::string> members;
    for (const IndexedSheet& sheet : *sheets_) {
        if (meets(sheet.area, box))
            members.push_back(member(typeName, sheet));
    }
    return loopback::ok(pagedMembers(members, request.query, countsMatched_), kXml);
}

void serveTerrainModel(Hosts& hosts, const std::vector<GridSheet>& sheets) {
    serveModel(hosts, kTerrainIndexPath, kTerrainIndexType, &terrainSheetPath, sheets);
}

void serveSurfaceModel(Hosts& hosts, const std::vector<GridSheet>& sheets) {
    serveModel(hosts, kSurfaceIndexPath, kSurfaceIndexType, &surfaceSheetPath, sheets);
}

}  // namespace fakes
