#pragma once
// The parts of the raster stages that work on plain values: how a frame is cut into WMS tiles,
// how large a tile's image is asked for, the retries of one tile at smaller sizes, and which
// layers of a zoning-plan service show the plan's drawing.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"
#include "geodata/WfsClient.h"

namespace rasterstages {

// Limits of one raster download.
inline constexpr int kMaxTilesPerAxis = 4;
inline constexpr int kMinTilePixels = 256;
inline constexpr int kMaxTilePixels = 4096;
inline constexpr int kRequestsPerTile = 4;

// The ground size of one 0.28 mm rendering pixel at scale 1:1.
inline constexpr double kRenderingPixel = 0.00028;

// What the download of a source's images brought: the tiles asked for and those stored, and
// whether the service answered (with its capabilities, or with an image for any tile).
struct Stored {
    int asked = 0;
    int tiles = 0;
    ServiceReach reach;

    int missing() const { return asked - tiles; }
};

// The sentence of a raster stage that got some of its tiles but not all: how many of how many
// are missing, and that the map has holes there.
std::string missingTiles(std::string_view prefix, const Stored& stored);

// How a frame of dx by dy metres is cut for images of mpp metres a pixel.
struct TileCut {
    int nx = 1;
    int ny = 1;
    bool capped = false;     // more than 4 tiles were needed along an axis
    double cappedMpp = 0.0;  // the coarser ground size a pixel comes to then
};

// Nothing for a frame or pixel size that is not a positive finite number: such a frame has no
// image to ask for. Everything is decided before any value becomes an integer.
std::optional<TileCut> cutFor(double dx, double dy, double mpp);

// The pixel width of a tile's first request: its width in pixels, kept within 256 to 4096.
int firstWidth(const Bbox& tile, double mpp);

// The pixel height that keeps the tile's proportions at that width, kept within 1 to 4096.
int heightFor(const Bbox& tile, int width);

// (width, height) -> the service's answer to a GetMap of the tile at that size.
using GetMap = std::function<WfsClient::HttpResult(int width, int height)>;

// Asks for one tile at most 4 times: first at firstWidth, then, after an answer that is not a
// PNG or JPEG image with status 200, at half the width while the width is at least 1024. stop()
// is asked before every request (empty: never); once it holds, the tile is given up. The image
// accepted, or nothing when the tile is given up.
std::optional<std::string> fetchTile(const Bbox& tile, double mpp, const GetMap& get,
                                     const std::function<bool()>& stop = {});

// The scale denominator of a pixel size, in whole numbers (0.28 m: 1000).
long long scaleOf(double mpp);

// The pixel size as the report line writes it: the first 4 characters of "%.6f" (0.028 shows
// as "0.02", 2.8 as "2.80").
std::string densityText(double mpp);

// The layers of a zoning-plan WMS to ask for: those of the plan's drawing ("rysun"); without
// any, those that are no boundary, extent, outline, collection or act layer; else all of them.
// Joined with ",".
std::string mpzpLayers(const std::vector<std::string>& names);

}  // namespace rasterstages
