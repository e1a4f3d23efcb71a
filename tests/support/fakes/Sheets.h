#pragma once
// The national sheet indexes on the loopback kit: the terrain-model (NMT), surface-model (NMPT)
// and LiDAR indexes as the geoportal serves them (one feature type a year, the sheets whose area
// meets the asked box), and the sheet files behind them, made from the caller's heights and
// points: ESRI ASCII grids and LAS files. Namespace `fakes`.

#include <functional>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "support/fakes/Hosts.h"
#include "support/fakes/Wfs.h"

namespace fakes {

inline constexpr const char* kNmtIndexPath =
    "/wss/service/PZGIK/NumerycznyModelTerenuEVRF2007/WFS/Skorowidze";
inline constexpr const char* kNmtIndexType = "gugik:SkorowidzNMT";
inline constexpr const char* kNmptIndexPath =
    "/wss/service/PZGIK/NumerycznyModelPokryciaTerenuEVRF2007/WFS/Skorowidze";
inline constexpr const char* kNmptIndexType = "gugik:SkorowidzNMPT";
inline constexpr const char* kLidarIndexPath =
    "/wss/service/PZGIK/DanePomiaroweLidarEVRF2007/WFS/Skorowidze";
inline constexpr const char* kLidarIndexType = "gugik:SkorowidzDanychPomiarowychLIDAR";

// One sheet of an index: where it lies (PL-1992), its identifier, the file served behind it and,
// for LiDAR, the index's coordinate-system text.
struct Sheet {
    std::string godlo;
    Bbox area;
    std::string file;
    std::string uklad = "PL-1992";
};

// The index of every year from 2018 to next year, each listing the sheets with their download
// addresses (baseUrl + "/" + godlo). Answers as FeatureWfs does.
FeatureWfs sheetIndex(const std::string& typePrefix, const std::vector<Sheet>& sheets,
                      const std::string& baseUrl);

// Each index on the geoportal, its sheets on the open-data host ("/nmt/<godlo>",
// "/nmpt/<godlo>", "/lidar/<godlo>").
void serveTerrainModel(Hosts& hosts, const std::vector<Sheet>& sheets);
void serveSurfaceModel(Hosts& hosts, const std::vector<Sheet>& sheets);
void serveLidar(Hosts& hosts, const std::vector<Sheet>& sheets);

// An ESRI ASCII grid over the area in cells of `cell` metres, each holding height(x, y) at its
// centre, or the no-data value where that is not a number.
std::string asciiGrid(const Bbox& area, double cell,
                      const std::function<double(double x, double y)>& height);

// A LAS 1.2 file of point format 0 with the points' coordinates (to the centimetre) and classes.
std::string lasFile(const std::vector<ClPoint>& points);

}  // namespace fakes
