#include "geodata/CityGmlReader.h"

#include <gtest/gtest.h>

#include "builders/CityGmlBuilder.h"

namespace {

using namespace citygmltest;

const Bbox kEverywhere{-1e9, -1e9, 1e9, 1e9};

std::vector<Building3D> parse(const std::string& members, const Bbox& box = kEverywhere) {
    return CityGmlReader::parseSheet(sheet(members, {0, 0, 1000, 1000}), box);
}

std::string building(const std::string& id, const std::string& surfaces,
                     const std::string& extra = "") {
    return member("<bldg:Building gml:id=\"" + id + "\">" + extra + surfaces + "</bldg:Building>");
}

std::string measured(const std::string& value) {
    return "<bldg:measuredHeight uom=\"m\">" + value + "</bldg:measuredHeight>";
}

TEST(CityGmlFootprint, GroundRingAtTheLowestHeightWinsOverALargerRoof) {
    const std::string surfaces = surface("GroundSurface", rect(0, 0, 10, 10, 100.0)) +
                                 surface("RoofSurface", rect(-2, -2, 12, 12, 108.0));
    const auto result = parse(building("B1", surfaces));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].id, "B1");
    ASSERT_EQ(result[0].footprint.size(), 5u);  // the closing position stays
    EXPECT_DOUBLE_EQ(result[0].footprint[1].x, 10.0);
    EXPECT_DOUBLE_EQ(result[0].footprint[4].x, 0.0);
    EXPECT_DOUBLE_EQ(result[0].baseZ, 100.0);
    EXPECT_DOUBLE_EQ(result[0].height, 8.0);
}

TEST(CityGmlFootprint, LargestRingWithinOneCentimetreOfTheLowestHeight) {
    const std::string surfaces = surface("GroundSurface", rect(0, 0, 4, 4, 100.008)) +
                                 surface("GroundSurface", rect(0, 0, 6, 6, 100.0)) +
                                 surface("GroundSurface", rect(0, 0, 9, 9, 100.02)) +
                                 surface("RoofSurface", rect(0, 0, 9, 9, 105.0));
    const auto result = parse(building("B", surfaces));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_DOUBLE_EQ(result[0].footprint[2].x, 6.0);
}

TEST(CityGmlFootprint, SlopingGroundTakesTheRingWithTheLowestMeanHeight) {
    const std::string surfaces =
        surface("GroundSurface", {{0, 0, 100}, {10, 0, 102}, {10, 10, 102}, {0, 10, 100}}) +
        surface("GroundSurface",
                {{10, 0, 100.2}, {20, 0, 100.6}, {20, 10, 100.6}, {10, 10, 100.2}}) +
        surface("RoofSurface", {{0, 0, 110}, {20, 0, 111}, {20, 10, 111}, {0, 10, 110}});
    const auto result = parse(building("S", surfaces));
    ASSERT_EQ(result.size(), 1u);
    EXPECT_DOUBLE_EQ(result[0].footprint[1].x, 20.0);  // mean 100.4 against 101
    EXPECT_DOUBLE_EQ(result[0].baseZ, 100.0);
    EXPECT_DOUBLE_EQ(result[0].height, 11.0);
}

TEST(CityGmlHeight, MeasuredHeightWhenPositiveElseTheSpanOfTheRings) {
    const std::string surfaces = surface("GroundSurface", rect(0, 0, 5, 5, 50.0)) +
                                 surface("RoofSurface", rect(0, 0, 5, 5, 56.5));
    EXPECT_DOUBLE_EQ(parse(building("M", surfaces, measured("12.25")))[0].height, 12.25);
    EXPECT_DOUBLE_EQ(parse(building("M", surfaces, measured(" 9 m")))[0].height, 9.0);
    EXPECT_DOUBLE_EQ(parse(building("Z", surfaces, measured("0")))[0].height, 6.5);
    EXPECT_DOUBLE_EQ(parse(building("N", surfaces, measured("-3")))[0].height, 6.5);
    EXPECT_DOUBLE_EQ(parse(building("T", surfaces, measured("brak")))[0].height, 6.5);
    EXPECT_DOUBLE_EQ(parse(building("A", surfaces))[0].height, 6.5);
    // A measured height that is no finite value is no height.
    EXPECT_DOUBLE_EQ(parse(building("I", surfaces, measured("inf")))[0].height, 6.5);
    EXPECT_DOUBLE_EQ(parse(building("J", surfaces, measured("nan")))[0].height, 6.5);
}

TEST(CityGmlHeight, FlatBuildingNeedsAPositiveMeasuredHeight) {
    const std::string flat = surface("GroundSurface", rect(0, 0, 5, 5, 50.0)) +
                             surface("RoofSurface", rect(0, 0, 5, 5, 50.0));
    EXPECT_TRUE(parse(building("F", flat)).empty());
    EXPECT_TRUE(parse(building("F", flat, measured("0.0"))).empty());
    const auto kept = parse(building("F", flat, measured("4")));
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_DOUBLE_EQ(kept[0].height, 4.0);
}

TEST(CityGmlStructure, NestedBuildingsPrefixesAndIdentifiers) {
    const std::string inner = boxBuilding("inner", 20, 20, 30, 30, 90.0, 95.0);
    const std::string outer = member(boxBuilding("outer", 0, 0, 10, 10, 100.0, 110.0, inner));
    const auto result = parse(outer);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].id, "outer");
    EXPECT_DOUBLE_EQ(result[0].baseZ, 90.0);  // the inner building's rings belong to it too
    EXPECT_DOUBLE_EQ(result[0].footprint[2].x, 30.0);
    EXPECT_EQ(result[1].id, "inner");
    EXPECT_DOUBLE_EQ(result[1].height, 5.0);

    const std::string plain =
        "<CityModel><cityObjectMember><Building><lod1Solid><LinearRing><posList>"
        "0 0 1 4 0 1 4 4 1 0 4 1</posList></LinearRing><x:LinearRing xmlns:x=\"urn:x\">"
        "<x:posList>0 0 7 4 0 7 4 4 7</x:posList></x:LinearRing></lod1Solid></Building>"
        "</cityObjectMember></CityModel>";
    const auto unprefixed = CityGmlReader::parseSheet(plain, kEverywhere);
    ASSERT_EQ(unprefixed.size(), 1u);
    EXPECT_EQ(unprefixed[0].id, "");
    EXPECT_EQ(unprefixed[0].footprint.size(), 4u);
    EXPECT_DOUBLE_EQ(unprefixed[0].height, 6.0);
}

TEST(CityGmlStructure, PosListsReadWholeTriplesOnlyAndSinglePosIsIgnored) {
    const std::string wrap = "<Building gml:id=\"P\" xmlns:gml=\"g\"><LinearRing><posList>";
    const std::string roof =
        "</posList></LinearRing><LinearRing><posList>0 0 5 3 0 5 3 3 8"
        "</posList></LinearRing></Building>";
    // 3n+1 and 3n+2 numbers give n positions.
    auto result = CityGmlReader::parseSheet(wrap + "0 0 1 3 0 1 3 3 1 7" + roof, kEverywhere);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].footprint.size(), 3u);
    result = CityGmlReader::parseSheet(wrap + "0 0 1 3 0 1 3 3 1 0 3" + roof, kEverywhere);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].footprint.size(), 3u);
    // Reading stops at the first unreadable number: two positions are no ring.
    result = CityGmlReader::parseSheet(wrap + "0 0 1 3 0 1 x 3 1" + roof, kEverywhere);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_DOUBLE_EQ(result[0].baseZ, 5.0);

    const std::string posOnly =
        "<Building><LinearRing><pos>0 0 1</pos><pos>3 0 1</pos><pos>3 3 1</pos></LinearRing>"
        "</Building>";
    EXPECT_TRUE(CityGmlReader::parseSheet(posOnly, kEverywhere).empty());

    // Values that are no finite numbers end the list like any unreadable token.
    for (const std::string bad : {"nan", "inf", "-inf", "1e999"}) {
        result =
            CityGmlReader::parseSheet(wrap + "0 0 1 3 0 1 3 3 1 0 3 " + bad + roof, kEverywhere);
        ASSERT_EQ(result.size(), 1u) << bad;
        EXPECT_DOUBLE_EQ(result[0].baseZ, 1.0) << bad;
        EXPECT_EQ(result[0].footprint.size(), 3u) << bad;
    }
    result = CityGmlReader::parseSheet(wrap + "0 0 nan 3 0 1 3 3 1" + roof, kEverywhere);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_DOUBLE_EQ(result[0].baseZ, 5.0);
}

TEST(CityGmlBox, FootprintBoxMeetsTheAreaWithClosedBounds) {
    const std::string houses = member(boxBuilding("corner", 0, 0, 10, 10, 0, 5)) +
                               member(boxBuilding("edge", 20, 0, 30, 10, 0, 5)) +
                               member(boxBuilding("away", 50, 50, 60, 60, 0, 5));
    const auto result = parse(houses, {10, 10, 20, 20});
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].id, "corner");
    EXPECT_EQ(result[1].id, "edge");
    EXPECT_TRUE(parse(houses, {10.001, 10.001, 19.999, 19.999}).empty());
}

// A building of the frame with a vertex, a base or a top more than 1000 km away is damaged: it
// is counted and left out, the buildings around it kept. Up to 1000 km from the frame is reach.
TEST(CityGmlBadInput, ABuildingReachingFarFromTheFrameIsLeftOutAndCounted) {
    const Bbox frame{0, 0, 100, 100};
    const std::string ground = surface("GroundSurface", rect(20, 20, 30, 30, 100.0));
    const std::string roof = surface("RoofSurface", rect(20, 20, 30, 30, 108.0));
    const std::string spiked =
        surface("GroundSurface", {{20, 20, 100}, {30, 20, 100}, {25, -1e12, 100}, {30, 30, 100}});
    const std::string reach = surface(
        "GroundSurface", {{20, 20, 100}, {30, 20, 100}, {100 + 1e6, 25, 100}, {30, 30, 100}});
    const std::string beyond = surface(
        "GroundSurface", {{20, 20, 100}, {30, 20, 100}, {100 + 1.001e6, 25, 100}, {30, 30, 100}});
    struct Case {
        const char* what;
        std::string building;
        int damaged;
    };
    for (const Case& c :
         {Case{"a vertex 1e12 m south", building("D", spiked + roof), 1},
          Case{"a vertex 1001 km east", building("D", beyond + roof), 1},
          Case{"a vertex 1000 km east", building("D", reach + roof), 0},
          Case{"a roof 1e9 m up",
               building("D", ground + surface("RoofSurface", rect(20, 20, 30, 30, 1e9))), 1},
          Case{"a base 1e7 m down",
               building("D", surface("GroundSurface", rect(20, 20, 30, 30, -1e7)) + roof), 1},
          Case{"a measured height of 2000 km", building("D", ground + roof, measured("2e6")), 1}}) {
        citygml::SheetTally tally;
        const auto result = CityGmlReader::parseSheet(
            sheet(member(boxBuilding("A", 0, 0, 10, 10, 100, 105)) + c.building +
                      member(boxBuilding("B", 50, 50, 60, 60, 100, 105)),
                  frame),
            frame, &tally);
        EXPECT_EQ(tally.damaged, c.damaged) << c.what;
        ASSERT_EQ(result.size(), 3u - static_cast<std::size_t>(c.damaged)) << c.what;
        EXPECT_EQ(result.front().id, "A") << c.what;
        EXPECT_EQ(result.back().id, "B") << c.what;
    }
}

TEST(CityGmlBadInput, UnreadableDocumentsGiveNoBuildingsAndSaySo) {
    const std::string good = sheet(member(boxBuilding("B", 0, 0, 1, 1, 0, 3)), {0, 0, 1, 1});
    const auto parsed = [](const std::string& text) {
        citygml::SheetTally tally;
        const std::size_t buildings = CityGmlReader::parseSheet(text, kEverywhere, &tally).size();
        return std::make_pair(buildings, tally.parsed);
    };
    EXPECT_EQ(parsed(good), std::make_pair(std::size_t{1}, true));
    EXPECT_EQ(parsed(""), std::make_pair(std::size_t{0}, false));
    EXPECT_EQ(parsed("PK\x03\x04 binary"), std::make_pair(std::size_t{0}, false));
    EXPECT_EQ(parsed(good.substr(0, good.size() - 30)), std::make_pair(std::size_t{0}, false));
    EXPECT_EQ(parsed(sheet("", {0, 0, 1, 1})), std::make_pair(std::size_t{0}, true))
        << "a whole sheet without buildings";
    // Very deep nesting is walked without recursion.
    std::string deep;
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    deep += "<Building/>";
    for (int i = 0; i < 200000; ++i)
        deep += "</a>";
    EXPECT_TRUE(CityGmlReader::parseSheet(deep, kEverywhere).empty());
}

TEST(CityGmlEnvelope, CornersOfThreeNumbersGiveTheBox) {
    Bbox out;
    const std::string text =
        sheet(member(boxBuilding("B", 0, 0, 1, 1, 0, 3)), {637000.5, 485000.25, 638000, 486000});
    ASSERT_TRUE(CityGmlReader::parseEnvelope(text, out));
    EXPECT_DOUBLE_EQ(out.minx, 637000.5);
    EXPECT_DOUBLE_EQ(out.miny, 485000.25);
    EXPECT_DOUBLE_EQ(out.maxx, 638000.0);
    EXPECT_DOUBLE_EQ(out.maxy, 486000.0);

    Bbox cut;  // only the first bytes, ending mid-document
    ASSERT_TRUE(CityGmlReader::parseEnvelope(text.substr(0, 600), cut));
    EXPECT_DOUBLE_EQ(cut.maxy, 486000.0);
}

TEST(CityGmlEnvelope, MissingOrShortCornersLeaveTheBoxUntouched) {
    const Bbox before{1, 2, 3, 4};
    const auto untouched = [&](const std::string& text) {
        Bbox out = before;
        const bool read = CityGmlReader::parseEnvelope(text, out);
        return !read && out.minx == 1 && out.miny == 2 && out.maxx == 3 && out.maxy == 4;
    };
    EXPECT_TRUE(
        untouched("<Envelope><lowerCorner>10 20</lowerCorner>"
                  "<upperCorner>30 40</upperCorner></Envelope>"));
    EXPECT_TRUE(untouched("<Envelope><lowerCorner>10 20 0</lowerCorner></Envelope>"));
    EXPECT_TRUE(untouched("<CityModel><Building/></CityModel>"));
    EXPECT_TRUE(untouched(""));
    // The envelope behind a long comment is not in the first 8192 bytes.
    const std::string late = sheet("", {0, 0, 1, 1}, 9000);
    EXPECT_TRUE(untouched(late.substr(0, 8192)));
    Bbox whole;
    EXPECT_TRUE(CityGmlReader::parseEnvelope(late, whole));
}

}  // namespace
