// Polylines, hatches, slabs, texts and pictures as the creators put them into the project.

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "CreatorFixture.h"
#include "geodata/ProjConv.h"
#include "import/creators/AcImporter.h"

namespace {

using AcImporter::createFill;
using AcImporter::createHatchArea;
using AcImporter::createPicture;
using AcImporter::createPolyLine;
using AcImporter::createSlabBox;
using AcImporter::createText;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<API_Coord> coords(const std::vector<GisPoint>& points) {
    std::vector<API_Coord> out;
    for (const GisPoint& p : points)
        out.push_back({p.x, p.y});
    return out;
}

// The memo's coordinate 0, which the snapshots leave out.
API_Coord dummyPoint(const API_Guid& guid) {
    API_ElementMemo memo{};
    EXPECT_EQ(ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_Polygon), NoError);
    const API_Coord dummy = memo.coords != nullptr ? (*memo.coords)[0] : API_Coord{99, 99};
    ACAPI_DisposeElemMemoHdls(&memo);
    return dummy;
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(24, 'p');
const std::string kJpeg = std::string("\xff\xd8\xff\xe0", 4) + std::string(24, 'j');

using PlanElements = CreatorTest;

TEST_F(PlanElements, PolylinesAreOpenLinesOfTheirFinitePoints) {
    struct Case {
        const char* name;
        std::vector<GisPoint> points;
        std::vector<API_Coord> expected;  // empty: nothing created
    };
    const Case cases[] = {
        {"one point", {{1, 1}}, {}},
        {"two points", {{0, 0}, {3, 4}}, {{0, 0}, {3, 4}}},
        {"a closed line as given",
         {{0, 0}, {1, 0}, {1, 1}, {0, 0}},
         {{0, 0}, {1, 0}, {1, 1}, {0, 0}}},
        {"not a number left out", {{0, 0}, {kNaN, 1}, {2, 0}}, {{0, 0}, {2, 0}}},
        {"one finite point left", {{0, 0}, {kInf, 0}}, {}},
    };
    for (const Case& c : cases) {
        host::reset();
        bool created = c.expected.empty();  // the creator must set it
        EXPECT_EQ(placed([&] { return createPolyLine(c.points, 1, 7, &created); }), NoError)
            << c.name;
        EXPECT_EQ(created, !c.expected.empty()) << c.name;
        const auto all = host::elements();
        if (c.expected.empty()) {
            EXPECT_TRUE(all.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(all.size(), 1u) << c.name;
        const auto& line = all[0];
        EXPECT_EQ(line.coords, c.expected) << c.name;
        EXPECT_EQ(line.pends, std::vector<Int32>{static_cast<Int32>(c.expected.size())}) << c.name;
        EXPECT_EQ(line.element.polyLine.poly.nSubPolys, 1) << c.name;
        EXPECT_EQ(line.element.polyLine.contPen, 7) << c.name;
        EXPECT_EQ(dummyPoint(line.element.header.guid).x, -1.0) << "the polyline marker";
    }
}

std::vector<GisPoint> closedSquare(double x, double y, double side) {
    auto ring = square(x, y, side);
    ring.push_back(ring.front());
    return ring;
}

std::vector<API_Coord> joined(const std::vector<std::vector<GisPoint>>& rings) {
    std::vector<API_Coord> all;
    for (const auto& ring : rings) {
        const auto part = coords(ring);
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(PlanElements, HatchRingsAreClosedAndDegenerateHolesLeftOut) {
    const GisPolygon polygon{
        square(0, 0, 10),  // given open
        {
            closedSquare(1, 1, 2),                // given closed: kept as it is
            {{5, 5}, {6, 5}, {5, 5}},             // two distinct points: left out
            {{7, 7}, {kNaN, 8}, {8, 7}, {8, 8}},  // loses the point that is no number
            {{3, 6}, {4, 6}, {4, kInf}},          // two finite points left: left out
        }};
    ASSERT_EQ(placed([&] { return createHatchArea(polygon, 1, 4, "", -1, -1, -1); }), NoError);
    const auto& hatch = only(host::elements());
    EXPECT_EQ(
        hatch.coords,
        joined({closedSquare(0, 0, 10), closedSquare(1, 1, 2), {{7, 7}, {8, 7}, {8, 8}, {7, 7}}}));
    EXPECT_EQ(hatch.pends, (std::vector<Int32>{5, 10, 14}));
    EXPECT_EQ(hatch.element.hatch.poly.nSubPolys, 3);
    EXPECT_EQ(dummyPoint(hatch.element.header.guid).x, 0.0);

    ASSERT_EQ(placed([&] { return createFill(polygon, 1, 4, 255, -1, 0); }), NoError);
    EXPECT_EQ(host::elements().back().element.hatch.hatchFlags & APIHatch_OwnFillColor, 0u)
        << "any negative component means no colour";

    bool created = true;
    const GisPolygon sliver{{{0, 0}, {1, 1}, {0, 0}, {1, 1}}, {}};
    EXPECT_EQ(placed([&] { return createFill(sliver, 1, 4, 1, 2, 3, &created); }), NoError);
    EXPECT_FALSE(created) << "an outline of two distinct points makes no hatch";
    EXPECT_EQ(host::elementCount(), 2u);
}

TEST_F(PlanElements, VectorFillIsFoundByLowerCaseKeyInTheFillNames) {
    // The template fills: 1 solid, 2 empty, 3 "Kreskowanie 45", 4 "Siatka kwadratowa",
    // 5 "Cegla" (vector).
    struct Case {
        const char* key;
        API_AttributeIndex fill;
    };
    const Case cases[] = {
        {"siatka", 4},  {"cegla", 5},
        {"kreskow", 3}, {"brak", 3},  // no name holds it: the first vector fill
        {"", 3},                      // no key: the first vector fill
        {nullptr, 3},                 // no text at all
        {"Siatka", 3},                // names are lower-cased, the key is not
    };
    for (const Case& c : cases) {
        host::reset();
        ASSERT_EQ(placed([&] {
                      return createHatchArea({square(0, 0, 1), {}}, 1, 8, c.key, -1, -1, -1);
                  }),
                  NoError);
        EXPECT_EQ(only(host::elements()).element.hatch.fillInd, c.fill)
            << (c.key != nullptr ? c.key : "(null)");
    }
}

TEST_F(PlanElements, FillLookupsAreRememberedForOnePlacementOnly) {
    const auto queries = [] { return host::callCount("ACAPI_Attribute_GetAttributesByType"); };
    const auto fillFor = [](const char* key) {
        EXPECT_EQ(placed([&] {
                      return createHatchArea({square(0, 0, 1), {}}, 1, 8, key, -1, -1, -1);
                  }),
                  NoError);
        return host::elements().back().element.hatch.fillInd;
    };
    {
        const AcImporter::AttributeCache placement;
        EXPECT_EQ(fillFor("kratka"), 3) << "no such fill yet: the first vector fill";
        host::addAttribute(API_FilltypeID, "Kratka");  // index 6, a vector fill
        EXPECT_EQ(fillFor("kratka"), 3) << "the answer holds for the rest of the placement";
        const AcImporter::AttributeCache nested;
        EXPECT_EQ(fillFor("kratka"), 3) << "a nested cache defers to the outer one";
        EXPECT_EQ(queries(), 1);
    }
    EXPECT_EQ(fillFor("kratka"), 6) << "the next placement asks the project afresh";

    // A project whose fills cannot be read keeps the default fill, also when asked again.
    host::reset();
    host::failCalls("ACAPI_Attribute_GetAttributesByType", APIERR_GENERAL);
    const AcImporter::AttributeCache placement;
    EXPECT_EQ(fillFor("cegla"), 1);
    EXPECT_EQ(fillFor("cegla"), 1);
    EXPECT_EQ(queries(), 1) << "a failed query is remembered too";
}

TEST_F(PlanElements, SlabsStandOnTheirBaseWithTheirId) {
    bool created = true;
    for (const auto& [base, height] : {std::pair{1.0, 0.0}, {kNaN, 3.0}, {1.0, kInf}}) {
        EXPECT_EQ(
            placed([&] { return createSlabBox(square(0, 0, 5), base, height, 1, "A", &created); }),
            NoError);
        EXPECT_FALSE(created) << base << " " << height;
    }
    ASSERT_EQ(
        placed([&] { return createSlabBox(square(0, 0, 5), -2.5, 7.0, 1, "PL.1", &created); }),
        NoError);
    EXPECT_TRUE(created);
    ASSERT_EQ(placed([&] { return createSlabBox(square(9, 9, 1), 0.0, 3.0, 1, ""); }), NoError);
    host::failCalls("ACAPI_Element_ChangeElementInfoString", APIERR_GENERAL);
    EXPECT_EQ(placed([&] { return createSlabBox(square(20, 0, 1), 0.0, 3.0, 1, "B"); }), NoError)
        << "a slab without its ID text is still placed";

    const auto all = host::elements();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].coords, coords(closedSquare(0, 0, 5)));
    EXPECT_EQ(all[0].element.slab.referencePlane, APISlabRef_Bottom) << "it stands on its base";
    EXPECT_EQ(all[0].infoString, "PL.1");
    EXPECT_EQ(all[1].infoString, "");
    EXPECT_EQ(all[2].infoString, "");
}

TEST_F(PlanElements, TextsKeepTheDefaultAngleForNaNAndReplaceBrokenUtf8) {
    bool created = true;
    EXPECT_EQ(placed([&] { return createText({1, 1}, "", 1, 10, 1.5, 0.3, &created); }), NoError);
    EXPECT_FALSE(created);
    EXPECT_EQ(placed([&] {
                  return createText({kNaN, 1}, "x", 1, 10, 1.5, 0.3, &created);
              }),
              NoError);
    EXPECT_FALSE(created);
    ASSERT_EQ(placed([&] { return createText({10, 20}, "123/4", 1, 10, 1.5, kNaN); }), NoError);
    ASSERT_EQ(placed([&] { return createText({5, 6}, "Łąka \xff", 1, 2, 2.0, 0.5); }), NoError);
    const auto all = host::elements();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_DOUBLE_EQ(all[0].element.text.angle, 0.0) << "NaN keeps the default angle";
    EXPECT_DOUBLE_EQ(all[1].element.text.angle, 0.5);
    EXPECT_EQ(all[1].textContent, "Łąka \xEF\xBF\xBD") << "a byte that is not UTF-8 is replaced";
}

TEST_F(PlanElements, PicturesTakeTheirMimeTypeFromTheirBytes) {
    const Bbox box{1000, 2000, 1100, 2050};
    bool created = true;
    EXPECT_EQ(placed([&] { return createPicture("", box, 2178, {}, 2178, 1, &created); }), NoError);
    EXPECT_FALSE(created);
    EXPECT_EQ(placed([&] { return createPicture("<ServiceException/>", box, 2178, {}, 2178, 1); }),
              APIERR_BADPARS);
    ASSERT_EQ(placed([&] { return createPicture(kPng, box, 2178, {}, 2178, 1); }), NoError);
    ASSERT_EQ(placed([&] { return createPicture(kJpeg, box, 2178, {}, 2178, 1); }), NoError);
    const auto all = host::elements();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_STREQ(all[0].element.picture.mimeType, "image/png");
    EXPECT_EQ(all[0].picture, kPng);
    EXPECT_STREQ(all[1].element.picture.mimeType, "image/jpeg");
    EXPECT_EQ(all[1].picture, kJpeg);
}

// The picture tool's defaults keep whatever an earlier picture left in them: the MIME type is
// written over it whole, a shorter one too.
TEST_F(PlanElements, PictureMimeTypesReplaceWhatTheDefaultsHeld) {
    const std::string leftovers[] = {"image/jpeg",
                                     std::string(sizeof(API_PictureType::mimeType), 'x')};
    for (const std::string& leftover : leftovers) {
        host::reset();
        API_Element defaults{};
        defaults.header.type = API_PictureID;
        std::memcpy(defaults.picture.mimeType, leftover.data(), leftover.size());
        host::setElementDefaults(defaults);
        ASSERT_EQ(placed([&] {
                      return createPicture(kPng, {0, 0, 1, 1}, 2178, {}, 2178, 1);
                  }),
                  NoError)
            << leftover;
        EXPECT_STREQ(only(host::elements()).element.picture.mimeType, "image/png") << leftover;
    }
}

// The lower-left corner and the size and turn of a picture of the box, placed into zone 2178.
struct Placement {
    GisPoint corner;
    double width;
    double height;
    double rotation;
};

Placement picturePlacement(const Bbox& box, int boxEpsg, const GeoTransform& frame) {
    EXPECT_EQ(placed([&] { return createPicture(kPng, box, boxEpsg, frame, 2178, 1); }), NoError);
    const API_PictureType p = host::elements().back().element.picture;
    return {{p.destBox.xMin, p.destBox.yMin},
            p.destBox.xMax - p.destBox.xMin,
            p.destBox.yMax - p.destBox.yMin,
            p.rotAngle};
}

TEST_F(PlanElements, PictureBoxesComeFromTheirOwnZoneIntoTheProject) {
    // A survey point in zone 2178 turned by 0.2 rad: the picture turns the other way and keeps
    // its true size.
    GeoTransform frame;
    frame.setSurveyPoint(7500000, 5780000, 0.2);
    frame.setLocalAnchor(10, 20);
    const Bbox inZone{7500100, 5780200, 7500300, 5780300};
    const Placement same = picturePlacement(inZone, 2178, frame);
    const GisPoint corner = frame.toLocal({inZone.minx, inZone.miny});
    EXPECT_NEAR(same.corner.x, corner.x, 1e-6);
    EXPECT_NEAR(same.corner.y, corner.y, 1e-6);
    EXPECT_NEAR(same.width, 200, 1e-6);
    EXPECT_NEAR(same.height, 100, 1e-6);
    EXPECT_NEAR(same.rotation, -0.2, 1e-9);

    // The same ground in PL-1992 and in the neighbouring zone 2177 lands on the same place.
    const GisPoint a1992 = ProjConv::pl2000toPl1992(inZone.minx, inZone.miny, 2178);
    const GisPoint c1992 = ProjConv::pl2000toPl1992(inZone.maxx, inZone.maxy, 2178);
    const Placement from1992 = picturePlacement({a1992.x, a1992.y, c1992.x, c1992.y}, 2180, frame);
    const GisPoint a2177 = ProjConv::pl1992ToPl2000(a1992.x, a1992.y, 2177);
    const GisPoint c2177 = ProjConv::pl1992ToPl2000(c1992.x, c1992.y, 2177);
    const Placement from2177 = picturePlacement({a2177.x, a2177.y, c2177.x, c2177.y}, 2177, frame);
    for (const Placement& p : {from1992, from2177}) {
        EXPECT_NEAR(p.corner.x, corner.x, 0.05) << "a zone box is not read as PL-1992";
        EXPECT_NEAR(p.corner.y, corner.y, 0.05);
    }

    EXPECT_EQ(placed([&] { return createPicture(kPng, inZone, 3857, frame, 2178, 1); }),
              APIERR_BADPARS)
        << "a system the conversion does not know";
}

TEST_F(PlanElements, HostFailuresAreReturnedAndNothingLeaks) {
    const GisPolygon area{square(0, 0, 2), {{{0.5, 0.5}, {1, 0.5}, {1, 1}}}};
    const std::vector<std::pair<const char*, std::function<GSErrCode(bool*)>>> creators = {
        {"polyline", [](bool* c) { return createPolyLine(square(0, 0, 1), 1, 1, c); }},
        {"hatch", [&](bool* c) { return createHatchArea(area, 1, 1, "", 1, 2, 3, c); }},
        {"fill", [&](bool* c) { return createFill(area, 1, 1, 1, 2, 3, c); }},
        {"slab", [](bool* c) { return createSlabBox(square(0, 0, 1), 0, 3, 1, "id", c); }},
        {"text",
         [](bool* c) {
             return createText({0, 0}, "t", 1, 1, 2, 0, c);
         }},
        {"picture",
         [](bool* c) {
             return createPicture(kPng, {0, 0, 1, 1}, 2178, {}, 2178, 1, c);
         }},
    };
    for (const auto& [name, create] : creators) {
        for (const char* call :
             {"ACAPI_Element_GetDefaults", "BMAllocateHandle", "ACAPI_Element_Create"}) {
            host::reset();
            host::failCalls(call, APIERR_MEMFULL);
            bool created = true;
            const GSErrCode err = placed([&] { return create(&created); });
            const GSErrCode expected =
                std::string(call) == "BMAllocateHandle" ? AcImporter::kNoHandle : APIERR_MEMFULL;
            EXPECT_EQ(err, expected) << name << " with " << call << " failing";
            EXPECT_FALSE(created) << name;
            EXPECT_EQ(host::elementCount(), 0u) << name;
            EXPECT_EQ(host::liveHandles(), handlesAtStart_) << name << " with " << call;
        }
    }
}

}  // namespace
