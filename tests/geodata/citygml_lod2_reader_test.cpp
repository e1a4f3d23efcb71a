#include "geodata/CityGmlLod2Reader.h"

#include <gtest/gtest.h>

#include "builders/CityGmlBuilder.h"

namespace {

using namespace citygmltest;

const Bbox kEverywhere{-1e9, -1e9, 1e9, 1e9};

std::vector<BuildingLod2> parse(const std::string& buildings, const Bbox& box = kEverywhere) {
    return CityGmlLod2Reader::parseSheet(sheet(buildings, {0, 0, 100, 100}), box);
}

std::string lod2Building(const std::string& id, const std::string& body) {
    return member("<bldg:Building gml:id=\"" + id + "\">" + body + "</bldg:Building>");
}

void expectFace(const Lod2Face& face, const std::vector<Pos>& expected) {
    ASSERT_EQ(face.xy.size(), expected.size());
    ASSERT_EQ(face.z.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_DOUBLE_EQ(face.xy[i].x, expected[i][0]) << i;
        EXPECT_DOUBLE_EQ(face.xy[i].y, expected[i][1]) << i;
        EXPECT_DOUBLE_EQ(face.z[i], expected[i][2]) << i;
    }
}

TEST(CityGmlLod2Faces, EveryRingBecomesAFaceWithItsHeights) {
    const auto result = parse(member(boxBuilding("B1", 0, 0, 10, 8, 100, 107)));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].id, "B1");
    ASSERT_EQ(result[0].faces.size(), 6u);  // ground, roof, four walls
    expectFace(result[0].faces[0], rect(0, 0, 10, 8, 100));
    expectFace(result[0].faces[1], rect(0, 0, 10, 8, 107));
    EXPECT_DOUBLE_EQ(result[0].faces[2].z[2], 107.0);
}

TEST(CityGmlLod2Faces, PosSeriesAndPosListGiveTheSameFace) {
    const std::vector<Pos> corners{{0, 0, 5}, {4, 0, 5}, {4, 3, 6}, {0, 0, 5}};
    std::string posSeries = "<gml:LinearRing>";
    for (const Pos& p : corners)
        posSeries += "<gml:pos>" + numbers({p}) + " 99</gml:pos>";
    posSeries += "<gml:pos>7 7</gml:pos><gml:pos/></gml:LinearRing>";  // adds no point
    const auto result = parse(lod2Building("A", posSeries) + lod2Building("B", ring(corners)));
    ASSERT_EQ(result.size(), 2u);
    ASSERT_EQ(result[0].faces.size(), 1u);
    expectFace(result[0].faces[0], corners);
    expectFace(result[1].faces[0], corners);
}

TEST(CityGmlLod2Faces, HolesShortRingsAndUnreadableNumbers) {
    const std::string withHole =
        surface("RoofSurface", rect(0, 0, 10, 10, 9), {rect(4, 4, 6, 6, 9)});
    auto result = parse(lod2Building("H", withHole));
    ASSERT_EQ(result.size(), 1u);
    ASSERT_EQ(result[0].faces.size(), 2u);
    expectFace(result[0].faces[1], rect(4, 4, 6, 6, 9));

    // 3n+2 numbers give n points; a ring left with two points is dropped, and a building left
    // without faces with it.
    const std::string odd =
        "<gml:LinearRing><gml:posList>0 0 1 1 0 1 1 1 1 5 5"
        "</gml:posList></gml:LinearRing>";
    const std::string cut =
        "<gml:LinearRing><gml:posList>0 0 1 1 0 1 a 1 1"
        "</gml:posList></gml:LinearRing>";
    result = parse(lod2Building("O", odd + cut) + lod2Building("C", cut));
    ASSERT_EQ(result.size(), 1u);
    ASSERT_EQ(result[0].faces.size(), 1u);
    EXPECT_EQ(result[0].faces[0].xy.size(), 3u);
}

TEST(CityGmlLod2Building, RoofTypeIdentifiersAndNesting) {
    const std::string roof = "<bldg:roofType codeSpace=\"x\">1000</bldg:roofType>";
    const std::string inner = "<bldg:Building gml:id=\"inner\"><bldg:roofType>2100 dach" +
                              std::string("</bldg:roofType>") + ring(rect(20, 20, 22, 22, 3)) +
                              "</bldg:Building>";
    const auto result = parse(lod2Building("outer", roof + ring(rect(0, 0, 5, 5, 1)) + inner) +
                              member("<Building>" + ring(rect(0, 0, 1, 1, 0)) + "</Building>"));
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(result[0].id, "outer");
    EXPECT_EQ(result[0].roofType, 1000);
    EXPECT_EQ(result[0].faces.size(), 2u);  // the nested building's face belongs to it too
    EXPECT_EQ(result[1].id, "inner");
    EXPECT_EQ(result[1].roofType, 2100);
    EXPECT_EQ(result[1].faces.size(), 1u);
    EXPECT_EQ(result[2].id, "");
    EXPECT_EQ(result[2].roofType, 0);
}

TEST(CityGmlLod2Building, ExtentMeetsTheAreaWithClosedBounds) {
    const std::string houses = member(boxBuilding("corner", 0, 0, 10, 10, 0, 5)) +
                               member(boxBuilding("away", 10.5, 10.5, 12, 12, 0, 5));
    const auto result = parse(houses, {-5, -5, 0, 0});
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].id, "corner");
    EXPECT_TRUE(parse(houses, {-5, -5, -0.001, 0}).empty());
}

TEST(CityGmlLod2Building, UnreadableDocumentsGiveNoBuildings) {
    const std::string good = sheet(member(boxBuilding("B", 0, 0, 1, 1, 0, 3)), {0, 0, 1, 1});
    EXPECT_TRUE(CityGmlLod2Reader::parseSheet("", kEverywhere).empty());
    EXPECT_TRUE(CityGmlLod2Reader::parseSheet("not xml at all <", kEverywhere).empty());
    EXPECT_TRUE(
        CityGmlLod2Reader::parseSheet(good.substr(0, good.size() / 2), kEverywhere).empty());
}

// A building of the frame with a face point more than 1000 km away, in plan or in height, is
// damaged: it is counted and left out, the buildings around it kept.
TEST(CityGmlLod2Faces, ABuildingReachingFarFromTheFrameIsLeftOutAndCounted) {
    const Bbox frame{0, 0, 100, 100};
    for (const std::vector<Pos>& far :
         {std::vector<Pos>{{20, 20, 5}, {30, 20, 5}, {25, -1e12, 5}},
          std::vector<Pos>{{20, 20, 5}, {30, 20, 5}, {25, 30, 2e6}},
          std::vector<Pos>{{20, 20, 5}, {-1.16e25, 2.3e28, 5}, {25, 30, 5}}}) {
        citygml::SheetTally tally;
        const auto result = CityGmlLod2Reader::parseSheet(
            sheet(member(boxBuilding("A", 0, 0, 10, 10, 100, 105)) +
                      lod2Building("D", surface("RoofSurface", rect(20, 20, 30, 30, 9)) +
                                            surface("WallSurface", far)) +
                      member(boxBuilding("B", 50, 50, 60, 60, 100, 105)),
                  frame),
            frame, &tally);
        EXPECT_EQ(tally.damaged, 1);
        ASSERT_EQ(result.size(), 2u);
        EXPECT_EQ(result[0].id, "A");
        EXPECT_EQ(result[1].id, "B");
    }
}

}  // namespace
