// A map image as a drawing: the picture made inside drawing data, the drawing that brings it into
// the project, and what becomes of it when a step fails.

#include <array>
#include <limits>
#include <string>

#include "CreatorFixture.h"
#include "ProjectDump.h"
#include "import/creators/AcImporter.h"

namespace {

using AcImporter::createDrawingRaster;
using json = nlohmann::ordered_json;

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(24, 'p');

using DrawingRaster = CreatorTest;

TEST_F(DrawingRaster, ThePictureLiesAtTheDrawingsOriginAndTheDrawingAtTheBoxCorner) {
    GeoTransform frame;
    frame.setSurveyPoint(7500000, 5780000, 0.0);
    frame.setLocalAnchor(10, 20);
    const API_AttributeIndex layer = host::addLayer("GIS_RASTRY");
    const Bbox box{7500100, 5780200, 7500300, 5780300};
    ASSERT_EQ(placed([&] { return createDrawingRaster(kPng, box, frame, layer); }), NoError);
    EXPECT_FALSE(host::drawingDataOpen());

    const host::ElementSnapshot drawing = only(host::elements());
    EXPECT_EQ(drawing.element.header.type.typeID, API_DrawingID);
    EXPECT_EQ(drawing.element.header.layer, layer);
    const GisPoint corner = frame.toLocal({box.minx, box.miny});
    EXPECT_EQ(drawing.element.drawing.pos, (API_Coord{corner.x, corner.y}));
    EXPECT_EQ(drawing.coords,
              (std::vector<API_Coord>{{0, 0}, {200, 0}, {200, 100}, {0, 100}, {0, 0}}))
        << "the clip polygon runs round the drawing data's extent";
    EXPECT_EQ(drawing.pends, std::vector<Int32>{5});
    EXPECT_EQ(drawing.drawingScale, 1.0);

    const host::ElementSnapshot picture = only(drawing.drawing);
    EXPECT_EQ(picture.element.header.type.typeID, API_PictureID);
    EXPECT_EQ(picture.element.header.layer, layer);
    const API_Box& dest = picture.element.picture.destBox;
    EXPECT_EQ((std::array<double, 4>{dest.xMin, dest.yMin, dest.xMax, dest.yMax}),
              (std::array<double, 4>{0, 0, 200, 100}));
    EXPECT_EQ(picture.element.picture.rotAngle, 0.0);
    EXPECT_EQ(picture.picture, kPng);

    const json dumped = host::projectJson().at("elements").at(0);
    EXPECT_EQ(dumped.at("name"), "GIS rastr");
    EXPECT_EQ(dumped.at("pos"), json({corner.x, corner.y}));
    EXPECT_EQ(dumped.at("scale"), 1.0);
    ASSERT_EQ(dumped.at("content").size(), 1u);
    EXPECT_EQ(dumped.at("content")[0].at("mime"), "image/png");
    EXPECT_EQ(dumped.at("content")[0].at("destBox"), json({0, 0, 200, 100}));
}

TEST_F(DrawingRaster, NothingIsDrawnForWhatCannotBeAndEveryFailureIsReturned) {
    struct Case {
        const char* name;
        std::string image;
        Bbox box;
        const char* failing;  // host call that fails once after `skip` calls, or null
        int skip;
        GSErrCode expected;
    };
    const Bbox box{0, 0, 20, 10};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"an empty image", "", box, nullptr, 0, NoError},
        {"a box without width", kPng, {5, 0, 5, 10}, nullptr, 0, NoError},
        {"a box inside out", kPng, {0, 10, 20, 0}, nullptr, 0, NoError},
        {"a box that is no number", kPng, {0, 0, nan, 10}, nullptr, 0, NoError},
        {"bytes that are no image", "<ServiceException/>", box, nullptr, 0, APIERR_BADPARS},
        {"drawing data not opened", kPng, box, "ACAPI_Drawing_StartDrawingData", 0, APIERR_GENERAL},
        {"the picture refused", kPng, box, "ACAPI_Element_Create", 0, AcImporter::kNoDrawingData},
        {"no handle for the picture", kPng, box, "BMAllocateHandle", 0, AcImporter::kNoDrawingData},
        {"drawing data not closed", kPng, box, "ACAPI_Drawing_StopDrawingData", 0, APIERR_GENERAL},
        {"no handle for the drawing data", kPng, box, "BMAllocateHandle", 1, APIERR_MEMFULL},
        {"no handle for the clip polygon", kPng, box, "BMAllocateHandle", 2, AcImporter::kNoHandle},
        {"no handle for its ring ends", kPng, box, "BMAllocateHandle", 3, AcImporter::kNoHandle},
        {"no defaults for the drawing", kPng, box, "ACAPI_Element_GetDefaults", 1, APIERR_GENERAL},
        {"the drawing refused", kPng, box, "ACAPI_Element_Create", 1, APIERR_GENERAL},
    };
    for (const Case& c : cases) {
        host::reset();
        if (c.failing != nullptr)
            host::failCalls(c.failing, APIERR_GENERAL, 1, c.skip);
        EXPECT_EQ(placed([&] { return createDrawingRaster(c.image, c.box, {}, 1); }), c.expected)
            << c.name;
        EXPECT_EQ(host::elementCount(), 0u) << c.name;
        EXPECT_EQ(host::liveHandles(), handlesAtStart_) << c.name;
        // A failed call leaves the stand-in as it was: only a failed close keeps the data open.
        const bool closeFailed =
            c.failing != nullptr && std::string(c.failing) == "ACAPI_Drawing_StopDrawingData";
        EXPECT_EQ(host::drawingDataOpen(), closeFailed) << c.name;
    }
}

}  // namespace
