#pragma once
// The national terrain and surface models on the loopback kit: their sheet indexes (a WFS
// answering, for whichever year is asked, with the sheets that meet the box) and the sheets, ESRI
// ASCII grids made from a height function. Namespace `fakes`.
//
//   fakes::serveTerrainModel(hosts, {fakes::GridSheet{"N-34-139-A", corner, 10.0, 200, 200,
//                                                     fakes::plane(100.0, 0.01, 0.0, centre)}});

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fakes/Hosts.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

inline constexpr const char* kTerrainIndexPath =
    "/wss/service/PZGIK/NumerycznyModelTerenuEVRF2007/WFS/Skorowidze";
inline constexpr const char* kTerrainIndexType = "gugik:SkorowidzNMT";
inline constexpr const char* kSurfaceIndexPath =
    "/wss/service/PZGIK/NumerycznyModelPokryciaTerenuEVRF2007/WFS/Skorowidze";
inline constexpr const char* kSurfaceIndexType = "gugik:SkorowidzNMPT";

// The height at a PL-1992 point in metres; NaN where a sheet has no data.
using HeightField = std::function<double(double x, double y)>;

// base at `at`, rising by dx per metre east and dy per metre north.
HeightField plane(double base, double dx, double dy, GisPoint at);

// One sheet: columns x rows square cells from its lower-left corner, each holding the height at
// its centre.
struct GridSheet {
    std::string godlo;
    GisPoint corner;  // PL-1992, lower left
    double cellSize = 1.0;
    int columns = 0;
    int rows = 0;
    HeightField height;

    Bbox area() const;
};

// The sheet as an ESRI ASCII grid (rows from north to south; no data written as -9999).
std::string ascGrid(const GridSheet& sheet);

// Where a terrain sheet is downloaded: "/NumDaneWys/NMT/<godlo>.asc"; a surface-model sheet:
// "/NumDaneWys/NMPT/<godlo>.asc".
std::string terrainSheetPath(const std::string& godlo);
std::string surfaceSheetPath(const std::string& godlo);

// One entry of a sheet index.
struct IndexedSheet {
    std::string godlo;
    Bbox area;  // PL-1992
    std::string url;
};

// A sheet index as the geoportal runs them (one WFS 2.0.0 type per year): GetFeature of any type
// named typePrefix + year lists the sheets whose area meets the BBOX (EPSG:2180, northing
// first), each with its godlo and download address, paged by STARTINDEX and COUNT; the answer
// gives numberMatched as "unknown", or, with countsMatched, as the number of sheets that meet the
// BBOX. Any other request gets an exception report.
class SheetIndexWfs {
public:
    SheetIndexWfs(std::string typePrefix, std::vector<IndexedSheet> sheets,
                  bool countsMatched = false);
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    std::string typePrefix_;
    std::shared_ptr<const std::vector<IndexedSheet>> sheets_;
    bool countsMatched_;
};

// Each model on the hosts: its index on the geoportal, its sheets on the open-data host.
void serveTerrainModel(Hosts& hosts, const std::vector<GridSheet>& sheets);
void serveSurfaceModel(Hosts& hosts, const std::vector<GridSheet>& sheets);

}  // namespace fakes
