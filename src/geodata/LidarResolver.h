#pragma once
// The LiDAR point-cloud sheets of an area, from the national geoportal's LiDAR sheet index (one
// WFS layer per year, the newest year with sheets wins, read page by page), and the download of
// a sheet file through the download cache.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"
#include "geodata/SheetIndex.h"
#include "geodata/WfsClient.h"

class LidarResolver {
public:
    struct LidarTile {
        std::string godlo;      // map-sheet identifier, possibly empty
        std::string url;        // download address, always beginning with "http"
        double density = 0.0;   // published points per square metre; 0 when unknown
        std::int32_t epsg = 0;  // 2180, 2176 to 2179, or 0 when the index does not say
    };

    // What reading a sheet's file came to: read whole, read up to damage in the file (the points
    // before it taken), not opened as a point cloud, or stopped by its reader.
    enum class SheetRead { Read, Damaged, NotOpened, Stopped };

    // (bytes so far, expected total; below 1 when unknown) -> false stops the download.
    using Progress = std::function<bool(long long done, long long total)>;

    explicit LidarResolver(WfsClient& client) : client_(client) {}

    // The sheets of the newest index year (next year down to 2018) that has any in the area,
    // every page of its index read.
    std::vector<LidarTile> tilesFor(const Bbox& area);
    // The same for a given current year (the calendar year of the system clock in tilesFor).
    std::vector<LidarTile> tilesFor(const Bbox& area, int currentYear);
    // The same with how far the index was read.
    sheetindex::Listing<LidarTile> listFor(const Bbox& area);
    sheetindex::Listing<LidarTile> listFor(const Bbox& area, int currentYear);

    // Local path of the sheet's file in the download cache; "" when the download failed, was
    // stopped or could not be stored. An empty progress always continues.
    std::string download(const LidarTile& tile, const Progress& progress);
    // The same; on failure reach tells whether the sheet's service answered (see
    // WfsClient::getCachedFile).
    std::string download(const LidarTile& tile, const Progress& progress, ServiceReach& reach);

    // How the user is told of a sheet: "LiDAR " and its map-sheet name, or its address when the
    // index gives none.
    static std::string nameOf(const LidarTile& tile);
    // Names a sheet that did not read whole in the shortfall: as unusable when it did not open,
    // as damaged when it read in part; a sheet read whole or stopped is not named.
    static void noteShortfall(SheetRead outcome, const LidarTile& tile, SheetShortfall& shortfall);

    // Sheets of one index answer (WFS GetFeature), read by plain text search.
    static std::vector<LidarTile> parseSkorowidz(const std::string& answer);

private:
    WfsClient& client_;
};
