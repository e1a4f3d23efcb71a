// The raster stages on plain values: the scale the images are asked at, how a frame is cut into
// tiles and how large each image is asked for, the retries of one tile at smaller sizes, which
// answers are images, the layers of a zoning-plan service and the reference system of a request.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string_view>

#include "fakes/Wms.h"
#include "import/ImageType.h"
#include "import/ImportController.h"
#include "import/fetch/ImportRasterStages.h"

namespace {

using rasterstages::TileCut;

TEST(RasterTiles, TheCutOfAFrameAndTheSizeOfItsFirstRequest) {
    struct Case {
        const char* what;
        double dx, dy, mpp;
        int nx, ny;
        bool capped;
        int width, height;  // of the first tile's first request
    };
    const Case cases[] = {
        {"1000 x 800 m at 1:1000", 1000, 800, 0.28, 1, 1, false, 3571, 2856},
        {"6000 m wide: capped to 4 tiles of 1500 m", 6000, 800, 0.28, 4, 1, true, 4096, 2184},
        {"100 x 100 m: 357 pixels", 100, 100, 0.28, 1, 1, false, 357, 357},
        {"a narrow frame keeps at least 256 pixels", 20, 50, 0.28, 1, 1, false, 256, 640},
        {"a tall narrow tile is held at 4096 high", 100, 6000, 0.28, 1, 4, true, 357, 4096},
        {"a thin frame keeps at least one row", 1000, 0.01, 0.28, 1, 1, false, 3571, 1},
        {"orthophoto of 1 km", 1000, 1000, 0.25, 1, 1, false, 4000, 4000},
    };
    for (const Case& c : cases) {
        const std::optional<TileCut> cut = rasterstages::cutFor(c.dx, c.dy, c.mpp);
        ASSERT_TRUE(cut) << c.what;
        EXPECT_EQ(std::tie(cut->nx, cut->ny, cut->capped), std::tie(c.nx, c.ny, c.capped))
            << c.what;
        const Bbox first = ImportController::tileBboxes({0, 0, c.dx, c.dy}, cut->nx, cut->ny)[0];
        const int width = rasterstages::firstWidth(first, c.mpp);
        EXPECT_EQ(width, c.width) << c.what;
        EXPECT_EQ(rasterstages::heightFor(first, width), c.height) << c.what;
    }
    // The capped cut reports the scale it comes to: 6000 m over 4 x 4096 pixels.
    EXPECT_EQ(rasterstages::scaleOf(rasterstages::cutFor(6000, 800, 0.28)->cappedMpp), 1307);
}

TEST(RasterScale, ScalesFrom100To10000AreKeptAnyOtherAsksFor1000) {
    struct Case {
        int requested;
        int used;
    };
    for (const Case& c :
         {Case{99, 1000}, Case{100, 100}, Case{10000, 10000}, Case{10001, 1000}, Case{0, 1000}}) {
        EXPECT_EQ(ImportController::usableRasterScale(c.requested), c.used) << c.requested;
    }
}

TEST(RasterTiles, FramesWithoutAreaOrTooLargeForIntegersAreRefusedOrCapped) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const auto& [dx, dy, mpp] :
         {std::tuple{0.0, 100.0, 0.28}, std::tuple{100.0, 0.0, 0.28}, std::tuple{-5.0, 100.0, 0.28},
          std::tuple{kNaN, 100.0, 0.28}, std::tuple{kInf, 100.0, 0.28},
          std::tuple{100.0, 100.0, 0.0}, std::tuple{100.0, 100.0, kNaN}}) {
        EXPECT_FALSE(rasterstages::cutFor(dx, dy, mpp)) << dx << " " << dy << " " << mpp;
    }
    // Billions of tiles in double become 4, never an overflowing integer.
    const auto huge = rasterstages::cutFor(1e300, 1e300, 0.028);
    ASSERT_TRUE(huge);
    EXPECT_EQ(std::make_pair(huge->nx, huge->ny), std::make_pair(4, 4));
    EXPECT_TRUE(huge->capped);
    const Bbox sliver{0, 0, 1e-300, 1e6};
    EXPECT_EQ(rasterstages::heightFor(sliver, rasterstages::firstWidth(sliver, 0.28)), 4096);
}

TEST(RasterTiles, TilesFromTheSouthRowWestToEastEndingOnTheBoxEdges) {
    const Bbox box{0.0, 0.0, 1.0, 0.3};
    const std::vector<Bbox> tiles = ImportController::tileBboxes(box, 3, 2);
    ASSERT_EQ(tiles.size(), 6u);
    EXPECT_DOUBLE_EQ(tiles[1].minx, 1.0 / 3);
    EXPECT_DOUBLE_EQ(tiles[3].miny, 0.15) << "the second row starts north of the first";
    for (const std::size_t last : {2u, 5u})
        EXPECT_EQ(tiles[last].maxx, box.maxx) << "exactly, not by adding steps";
    EXPECT_EQ(tiles[5].maxy, box.maxy);
    EXPECT_EQ(ImportController::tileBboxes(box, 0, -1).size(), 1u) << "below 1 counts as 1";
}

// A service that answers each request with the next answer of a list, noting the sizes asked.
struct ScriptedService {
    std::vector<WfsClient::HttpResult> answers;
    std::vector<std::pair<int, int>> asked;

    rasterstages::GetMap getMap() {
        return [this](int width, int height) {
            asked.emplace_back(width, height);
            return answers.at(std::min(asked.size(), answers.size()) - 1);
        };
    }
};

const WfsClient::HttpResult kPng{200, fakes::pngImage(2, 2), ""};
const WfsClient::HttpResult kJpeg{200, fakes::jpegImage(), ""};
const WfsClient::HttpResult kServerError{500, "", ""};
const WfsClient::HttpResult kException{200, fakes::serviceException(), ""};
const WfsClient::HttpResult kShortPng{200, "\x89PNG", ""};

TEST(RasterTile, RejectedAnswersAreAskedAgainAtHalfTheWidthAtMostFourTimes) {
    const Bbox wide{0, 0, 2000, 1000};  // 7142 pixels: asked at 4096
    ScriptedService service{{kServerError, kException, kPng}};
    const auto image = rasterstages::fetchTile(wide, 0.28, service.getMap());
    ASSERT_TRUE(image);
    EXPECT_EQ(*image, kPng.body);
    EXPECT_EQ(service.asked,
              (std::vector<std::pair<int, int>>{{4096, 2048}, {2048, 1024}, {1024, 512}}));

    ScriptedService refusing{{kException}};
    EXPECT_FALSE(rasterstages::fetchTile(wide, 0.28, refusing.getMap()));
    EXPECT_EQ(refusing.asked.size(), 4u) << "4096, 2048, 1024, 512, then given up";
    EXPECT_EQ(refusing.asked.back().first, 512);

    ScriptedService small{{kServerError, kPng}};
    EXPECT_FALSE(rasterstages::fetchTile({0, 0, 100, 100}, 0.28, small.getMap()));
    EXPECT_EQ(small.asked, (std::vector<std::pair<int, int>>{{357, 357}})) << "357 < 1024";
}

TEST(RasterTile, OnlyPngOrJpegBodiesWithStatus200AreImages) {
    const Bbox tile{0, 0, 100, 100};
    const auto accepted = [&tile](const WfsClient::HttpResult& answer) {
        ScriptedService service{{answer}};
        return rasterstages::fetchTile(tile, 0.28, service.getMap()).has_value();
    };
    EXPECT_TRUE(accepted(kPng));
    EXPECT_TRUE(accepted(kJpeg));
    EXPECT_FALSE(accepted(kShortPng)) << "fewer than 9 bytes";
    EXPECT_FALSE(accepted({200, "<html><body>Mapa niedostepna</body></html>", ""}));
    EXPECT_FALSE(accepted({404, fakes::pngImage(2, 2), ""}));
    EXPECT_FALSE(accepted({200, "", ""}));
}

// The host takes a JPEG picture only from bytes that begin FF D8 FF; a tile that would not become
// a picture is no image.
TEST(RasterTile, AJpegBeginsWithTheStartOfImageMarkerAndAnotherMarker) {
    using namespace std::string_view_literals;
    struct Case {
        std::string_view bytes;
        std::string_view type;
    };
    for (const Case& c : {Case{"\xFF\xD8"sv, ""}, Case{"\xFF\xD8\x00\xE0\x00\x10JFIF"sv, ""},
                          Case{"\xFF\xD8\xFF\xE0\x00\x10JFIF"sv, "image/jpeg"}}) {
        EXPECT_EQ(imageMimeType(c.bytes), c.type) << testing::PrintToString(std::string(c.bytes));
    }
}

TEST(RasterText, ScaleAndDensityAsTheReportLineWritesThem) {
    struct Case {
        double mpp;
        long long scale;
        const char* density;
    };
    for (const Case& c :
         {Case{0.028, 100, "0.02"}, Case{0.28, 1000, "0.28"}, Case{2.8, 10000, "2.80"},
          Case{0.25, 892, "0.25"}, Case{500 * 0.00028, 500, "0.14"}}) {
        EXPECT_EQ(rasterstages::scaleOf(c.mpp), c.scale) << c.mpp;
        EXPECT_EQ(rasterstages::densityText(c.mpp), c.density) << c.mpp;
    }
}

TEST(MpzpLayers, TheDrawingElseWhatIsNoOutlineElseEverything) {
    EXPECT_EQ(rasterstages::mpzpLayers({"granice_planow", "Rysunek_Planu", "aktplanowania"}),
              "Rysunek_Planu");
    EXPECT_EQ(rasterstages::mpzpLayers({"rysunek", "granica_rysunku", "legenda"}),
              "rysunek,granica_rysunku")
        << "a drawing layer stays whatever else it names";
    EXPECT_EQ(rasterstages::mpzpLayers({"GRANICE", "przeznaczenie", "ZASIEG", "ustalenia"}),
              "przeznaczenie,ustalenia");
    EXPECT_EQ(rasterstages::mpzpLayers({"obrysy", "zbiory", "aktplanowania"}),
              "obrysy,zbiory,aktplanowania");
    EXPECT_EQ(rasterstages::mpzpLayers({}), "");
}

TEST(WmsRequestEpsg, TheZoneWhenTheCapabilitiesNameIt) {
    EXPECT_EQ(ImportController::wmsRequestEpsg("<SRS>EPSG:2177</SRS>", 2177), 2177);
    EXPECT_EQ(ImportController::wmsRequestEpsg("<CRS>urn:ogc:def:crs:EPSG::2177</CRS>", 2177),
              2177);
    EXPECT_EQ(ImportController::wmsRequestEpsg("<SRS>EPSG:2180</SRS>", 2177), 2180);
    EXPECT_EQ(ImportController::wmsRequestEpsg("<SRS>EPSG 2177</SRS>", 2177), 2180);
}

}  // namespace
