// GmlParser::parseFeatureCollection: reference system names, axis order by system and zone,
// geometry forms, label points, properties, bad documents, the process locale and threads.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <thread>
#include <vector>

#include "geodata/GmlParser.h"
#include "geodata/ProjConv.h"
#include "gml_fixtures.h"
#include "support/CommaLocale.h"

namespace {

using gmlfix::collection;
using gmlfix::member;
using gmlfix::parcel;
using gmlfix::polygon;

// A bounding box carrying the document's only reference system name.
std::string envelope(const std::string& srsName) {
    return "<gml:boundedBy><gml:Envelope srsName=\"" + srsName +
           "\"><gml:lowerCorner>0 0</gml:lowerCorner></gml:Envelope></gml:boundedBy>";
}

std::vector<GisFeature> parse(const std::string& text, DataType kind = DataType::Dzialki) {
    return GmlParser::parseFeatureCollection(text, kind);
}

// One parcel whose outer ring is the given position list.
std::vector<GisFeature> parseRing(const std::string& posList, const std::string& srsName,
                                  const std::string& rootAttributes = "") {
    return parse(collection(member(parcel("p1", polygon(posList, srsName))), rootAttributes));
}

GisPoint firstVertex(const std::vector<GisFeature>& features) {
    if (features.empty() || features[0].polygons.empty())
        return {-1, -1};
    return features[0].polygons[0].outer.at(0);
}

void expectPoint(const GisPoint& actual, const GisPoint& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6);
    EXPECT_NEAR(actual.y, expected.y, 1e-6);
}

constexpr const char* kSquare =
    "500100 250200 500110 250200 500110 250210 500100 250210 500100 250200";

TEST(GmlSrsName, FormsOfTheEpsgCode) {
    EXPECT_EQ(GmlParser::epsgFromSrsName("urn:ogc:def:crs:EPSG::2180"), 2180);
    EXPECT_EQ(GmlParser::epsgFromSrsName("EPSG:2180"), 2180);
    EXPECT_EQ(GmlParser::epsgFromSrsName("urn:ogc:def:crs:EPSG:6.9:2177"), 2177);
    EXPECT_EQ(GmlParser::epsgFromSrsName("http://www.opengis.net/def/crs/EPSG/0/2178"), 2178);
    EXPECT_EQ(GmlParser::epsgFromSrsName("EPSG:2180 (0)"), 2180)
        << "a run of value 0 does not count";
    EXPECT_EQ(GmlParser::epsgFromSrsName("epsg:2180"), 0) << "lower case is not recognised";
    EXPECT_EQ(GmlParser::epsgFromSrsName("2180"), 0);
    EXPECT_EQ(GmlParser::epsgFromSrsName("EPS"), 0);
    EXPECT_EQ(GmlParser::epsgFromSrsName("EPSG::"), 0);
    EXPECT_EQ(GmlParser::epsgFromSrsName(""), 0);
    EXPECT_EQ(GmlParser::epsgFromSrsName("EPSG:99999999999999999999"), 2147483647)
        << "an overlong run saturates instead of overflowing";
}

TEST(GmlSrsName, CompoundNamesGiveTheCodeOfTheirEpsgPart) {
    const struct {
        const char* name;
        int epsg;
    } cases[] = {
        {"urn:ogc:def:crs,crs:EPSG::2180,crs:PL-EVRF2007-NH", 2180},
        {"urn:ogc:def:crs,crs:EPSG::2177,crs:EPSG::9651", 2177},
        {"urn:ogc:def:crs,crs:PL-EVRF2007-NH,crs:EPSG::2178", 2178},
        {"http://www.opengis.net/def/crs-compound?1=http://www.opengis.net/def/crs/EPSG/0/2180&"
         "2=http://www.opengis.net/def/crs/EPSG/0/9651",
         2180},
        {"urn:ogc:def:crs,crs:EPSG::,crs:EPSG::2180", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GmlParser::epsgFromSrsName(c.name), c.epsg) << c.name;
}

TEST(GmlAxisOrder, Pl1992NamedOnTheGeometryReadsNorthingFirst) {
    const auto features =
        parseRing("250200 500100 250200 500110 250210 500110", "urn:ogc:def:crs:EPSG::2180");
    ASSERT_EQ(features.size(), 1u);
    expectPoint(features[0].polygons[0].outer[0], {500100, 250200});
    expectPoint(features[0].polygons[0].outer[2], {500110, 250210});
}

TEST(GmlAxisOrder, Pl1992AsDocumentDefaultReadsEastingFirst) {
    // The only "srsName" stands on the envelope, no ancestor of the geometry.
    const auto features =
        parse(collection(envelope("EPSG:2180") + member(parcel("p1", polygon(kSquare)))));
    expectPoint(firstVertex(features), {500100, 250200});
}

TEST(GmlAxisOrder, SrsNameOnTheRootIsAnAncestorOfEveryGeometry) {
    expectPoint(firstVertex(parseRing("250200 500100 250210 500110", "", " srsName=\"EPSG:2180\"")),
                {500100, 250200});
}

TEST(GmlAxisOrder, AncestorSrsNameDecides) {
    const std::string feature =
        "<ms:d gml:id=\"a\"><ms:g><gml:MultiSurface srsName=\"EPSG:2180\"><gml:surfaceMember>" +
        polygon("250200 500100 250210 500110") +
        "</gml:surfaceMember></gml:MultiSurface></ms:g></ms:d>";
    expectPoint(firstVertex(parse(collection(member(feature)))), {500100, 250200});
}

TEST(GmlAxisOrder, Pl2000ZoneDigitPicksTheEasting) {
    const GisPoint expected = ProjConv::pl2000toPl1992(6500000, 5800000, 2177);
    // Easting first, northing first: both recognised by the zone digit 6.
    expectPoint(firstVertex(parseRing("6500000 5800000 6500010 5800000", "EPSG:2177")), expected);
    expectPoint(firstVertex(parseRing("5800000 6500000 5800000 6500010", "EPSG:2177")), expected);
    // Neither number carries the zone digit: the second is the easting.
    expectPoint(firstVertex(parseRing("5800000 7500000 5800010 7500000", "EPSG:2177")),
                ProjConv::pl2000toPl1992(7500000, 5800000, 2177));
    // Both carry it: the second is the easting.
    expectPoint(firstVertex(parseRing("6400000 6500000 6400010 6500000", "EPSG:2177")),
                ProjConv::pl2000toPl1992(6500000, 6400000, 2177));
}

TEST(GmlAxisOrder, ZoneFiveNorthingsCarryTheZoneDigit) {
    // In zone 5 a northing of 5.5 million has the zone digit as the easting does: always read
    // northing first, whatever the order written.
    const GisPoint northingFirst = ProjConv::pl2000toPl1992(5500000, 5600000, 2176);
    expectPoint(firstVertex(parseRing("5600000 5500000 5600010 5500000", "EPSG:2176")),
                northingFirst);
    expectPoint(firstVertex(parseRing("5500000 5600000 5500010 5600000", "EPSG:2176")),
                ProjConv::pl2000toPl1992(5600000, 5500000, 2176));
}

TEST(GmlAxisOrder, Pl2000DocumentDefaultAppliesToGeometryWithoutSrsName) {
    const GisPoint expected = ProjConv::pl2000toPl1992(6500000, 5800000, 2177);
    expectPoint(firstVertex(parse(
                    collection(envelope("urn:ogc:def:crs:EPSG::2177") +
                               member(parcel("p1", polygon("5800000 6500000 5800010 6500000")))))),
                expected);
}

TEST(GmlAxisOrder, UnknownSystemKeepsTheNumbersAsWritten) {
    expectPoint(firstVertex(parseRing("17.5 51.2 17.6 51.2", "EPSG:4326")), {17.5, 51.2});
    expectPoint(firstVertex(parseRing("17.5 51.2 17.6 51.2", "CRS:84")), {17.5, 51.2});
}

TEST(GmlGeometry, PolygonsOfAMultiSurfaceAndTheirHoles) {
    const std::string multi = "<gml:MultiSurface><gml:surfaceMember>" +
                              polygon(kSquare, "", "500102 250202 500104 250202 500104 250204") +
                              "</gml:surfaceMember><gml:surfaceMember>" +
                              polygon("600000 300000 600010 300000 600010 300010") +
                              "</gml:surfaceMember></gml:MultiSurface>";
    const auto features = parse(collection(member(parcel("p1", multi))));
    ASSERT_EQ(features.size(), 1u);
    const GisFeature& f = features[0];
    ASSERT_EQ(f.polygons.size(), 2u);
    EXPECT_EQ(f.polygons[0].outer.size(), 5u) << "the closing point stays";
    ASSERT_EQ(f.polygons[0].holes.size(), 1u);
    EXPECT_EQ(f.polygons[0].holes[0].size(), 3u);
    EXPECT_TRUE(f.polygons[1].holes.empty());
    EXPECT_EQ(f.props.count("msGeometry"), 0u);
    EXPECT_EQ(f.kind, static_cast<int>(DataType::Dzialki));
}

TEST(GmlGeometry, RingsFromPosElementsAndEmptyInnerRings) {
    const std::string poly =
        "<gml:Polygon><gml:exterior><gml:LinearRing><gml:pos>1 2</gml:pos><gml:pos>3</gml:pos>"
        "<gml:pos>5 6 7</gml:pos></gml:LinearRing></gml:exterior>"
        "<gml:interior><gml:LinearRing><gml:posList>x</gml:posList></gml:LinearRing></gml:interior>"
        "</gml:Polygon>";
    const auto features = parse(collection(member(parcel("p1", poly))));
    ASSERT_EQ(features.size(), 1u);
    const GisPolygon& p = features[0].polygons.at(0);
    ASSERT_EQ(p.outer.size(), 2u) << "a pos of one number adds nothing";
    expectPoint(p.outer[1], {5, 6});
    ASSERT_EQ(p.holes.size(), 1u);
    EXPECT_TRUE(p.holes[0].empty()) << "an inner ring without points still stands";
}

TEST(GmlGeometry, OnlyTheFirstExteriorRingCounts) {
    const std::string poly = "<gml:Polygon>" + gmlfix::ring("exterior", "1 1 2 2 3 3") +
                             gmlfix::ring("exterior", "9 9 8 8 7 7") +
                             gmlfix::ring("outerBoundaryIs", "5 5 6 6 7 7") + "</gml:Polygon>";
    const auto features = parse(collection(member(parcel("p1", poly))));
    ASSERT_EQ(features.size(), 1u);
    expectPoint(features[0].polygons[0].outer[0], {1, 1});
    EXPECT_TRUE(features[0].polygons[0].holes.empty());
}

TEST(GmlGeometry, LabelPoints) {
    // The mean of the first outer ring, its closing point counted; a Point is then ignored.
    const std::string withPoint =
        polygon("0 0 4 0 4 4 0 0") + "<gml:Point><gml:pos>100 100</gml:pos></gml:Point>";
    auto features = parse(collection(member(parcel("p1", withPoint))));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_TRUE(features[0].hasPoint);
    expectPoint(features[0].point, {2, 1});

    // A line of four points: its point at index 2.
    const std::string line =
        "<gml:LineString><gml:posList>0 0 1 1 2 2 3 3</gml:posList></gml:LineString>";
    features = parse(collection(member(parcel("l1", line))));
    ASSERT_EQ(features.size(), 1u);
    ASSERT_EQ(features[0].lines.size(), 1u);
    expectPoint(features[0].point, {2, 2});

    // A point feature: its own position, only the first Point read.
    const std::string points =
        "<gml:Point><gml:pos>7 8</gml:pos></gml:Point>"
        "<gml:Point><gml:pos>9 9</gml:pos></gml:Point>";
    features = parse(collection(member(parcel("q1", points))));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_TRUE(features[0].polygons.empty());
    expectPoint(features[0].point, {7, 8});
}

TEST(GmlGeometry, UnreadableGeometryIsDroppedPieceByPiece) {
    const std::string coordinates =
        "<gml:Polygon><gml:outerBoundaryIs><gml:LinearRing><gml:coordinates>1,2 3,4 5,6"
        "</gml:coordinates></gml:LinearRing></gml:outerBoundaryIs></gml:Polygon>";
    const std::string curve =
        "<gml:Curve><gml:segments><gml:LineStringSegment><gml:posList>0 0 1 1</gml:posList>"
        "</gml:LineStringSegment><gml:Arc><gml:posList>1 1 2 0 3 1</gml:posList></gml:Arc>"
        "</gml:segments></gml:Curve>";
    const std::string shortLine =
        "<gml:LineString><gml:posList>1 2 3</gml:posList></gml:LineString>";
    const std::string noExterior =
        "<gml:Polygon>" + gmlfix::ring("interior", "1 1 2 2 3 3") + "</gml:Polygon>";
    const auto features = parse(
        collection(member(parcel("a", coordinates)) + member(parcel("b", curve)) +
                   member(parcel("c", shortLine)) + member(parcel("d", noExterior)) +
                   member(parcel("e", curve + "<gml:Point><gml:pos>3 4</gml:pos></gml:Point>"))));
    ASSERT_EQ(features.size(), 1u) << "only the feature with a readable Point remains";
    EXPECT_EQ(features[0].props.at("gml_id"), "e");
    EXPECT_EQ(features[0].props.count("msGeometry"), 0u);
}

std::string segment(const std::string& posList, const std::string& attributes = "") {
    return "<gml:LineStringSegment><gml:posList" + attributes + ">" + posList +
           "</gml:posList></gml:LineStringSegment>";
}

std::string curve(const std::string& segments, const std::string& attributes = "") {
    return "<gml:Curve" + attributes + "><gml:segments>" + segments + "</gml:segments></gml:Curve>";
}

std::vector<GisFeature> parseGeometry(const std::string& geometry) {
    return parse(collection(member(parcel("g", geometry))));
}

TEST(GmlCurves, StraightSegmentsJoinIntoOneLine) {
    // Northing first under PL-1992 named on the curve; the common point of two segments once,
    // both ends of segments that do not meet.
    const std::string apart =
        "<gml:LineStringSegment><gml:pos>260000 600000</gml:pos></gml:LineStringSegment>";
    const auto features = parseGeometry(curve(
        segment("250000 500000 250010 500000") + segment("250010 500000 250010 500010") + apart,
        " srsName=\"urn:ogc:def:crs:EPSG::2180\""));
    ASSERT_EQ(features.size(), 1u);
    ASSERT_EQ(features[0].lines.size(), 1u);
    const std::vector<GisPoint>& line = features[0].lines[0];
    ASSERT_EQ(line.size(), 4u);
    expectPoint(line[0], {500000, 250000});
    expectPoint(line[1], {500000, 250010});
    expectPoint(line[2], {500010, 250010});
    expectPoint(line[3], {600000, 260000});
    EXPECT_EQ(features[0].props.count("msGeometry"), 0u);
}

TEST(GmlCurves, MultiCurveGivesOneLinePerMember) {
    const std::string multi = "<gml:MultiCurve srsName=\"EPSG:2180\"><gml:curveMember>" +
                              curve(segment("1 2 3 4")) +
                              "</gml:curveMember><gml:curveMember><gml:LineString><gml:posList>"
                              "5 6 7 8</gml:posList></gml:LineString></gml:curveMember>"
                              "</gml:MultiCurve>";
    const auto features = parseGeometry(multi);
    ASSERT_EQ(features.size(), 1u);
    ASSERT_EQ(features[0].lines.size(), 2u);
    expectPoint(features[0].lines[0][0], {2, 1});
    expectPoint(features[0].lines[1][1], {8, 7});
}

TEST(GmlCurves, CurvesThatCannotBeReadStraightGiveNoLine) {
    const std::string arc = "<gml:ArcString><gml:posList>0 0 1 1 2 0</gml:posList></gml:ArcString>";
    EXPECT_TRUE(parseGeometry(curve(segment("0 0 1 1") + arc)).empty());
    EXPECT_TRUE(parseGeometry("<gml:Curve/>").empty());
    EXPECT_TRUE(parseGeometry(curve(segment("0 0"))).empty()) << "one point is no line";
}

TEST(GmlSurfaces, PolygonPatchesAreRingsOfPolygons) {
    const std::string patch =
        "<gml:PolygonPatch>" + gmlfix::ring("exterior", kSquare) +
        gmlfix::ring("interior", "500102 250202 500104 250202 500104 250204") +
        "</gml:PolygonPatch>";
    const std::string surface =
        "<gml:Surface srsName=\"EPSG:2180\"><gml:patches>" + patch + "<gml:PolygonPatch>" +
        gmlfix::ring("exterior", "250000 600000 250010 600000 250000 600010") +
        "</gml:PolygonPatch></gml:patches></gml:Surface>";
    const auto features = parseGeometry("<gml:MultiSurface><gml:surfaceMember>" + surface +
                                        "</gml:surfaceMember></gml:MultiSurface>");
    ASSERT_EQ(features.size(), 1u);
    ASSERT_EQ(features[0].polygons.size(), 2u);
    EXPECT_EQ(features[0].polygons[0].outer.size(), 5u);
    ASSERT_EQ(features[0].polygons[0].holes.size(), 1u);
    expectPoint(features[0].polygons[0].outer[0], {250200, 500100});  // PL-1992 named: swapped
    expectPoint(features[0].polygons[1].outer[0], {600000, 250000});
}

TEST(GmlPositions, SrsDimensionThreeReadsTriples) {
    const struct {
        const char* what;
        std::string geometry;
        std::vector<GisPoint> expected;
    } cases[] = {
        {"on the list",
         "<gml:LineString><gml:posList srsDimension=\"3\">1 2 100 3 4 101 5 6 102</gml:posList>"
         "</gml:LineString>",
         {{1, 2}, {3, 4}, {5, 6}}},
        {"on the geometry",
         "<gml:LineString srsDimension=\"3\"><gml:posList>1 2 100 3 4 101</gml:posList>"
         "</gml:LineString>",
         {{1, 2}, {3, 4}}},
        {"a trailing incomplete triple",
         "<gml:LineString><gml:posList srsDimension=\"3\">1 2 100 3 4 101 5 6</gml:posList>"
         "</gml:LineString>",
         {{1, 2}, {3, 4}}},
        {"of a curve's segment",
         curve(segment("1 2 100 3 4 101", " srsDimension=\"3\"") +
               segment("3 4 101 5 6 102", " srsDimension=\"3\"")),
         {{1, 2}, {3, 4}, {5, 6}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto features = parseGeometry(c.geometry);
        ASSERT_EQ(features.size(), 1u);
        ASSERT_EQ(features[0].lines.size(), 1u);
        const std::vector<GisPoint>& line = features[0].lines[0];
        ASSERT_EQ(line.size(), c.expected.size());
        for (std::size_t i = 0; i < line.size(); ++i)
            expectPoint(line[i], c.expected[i]);
    }
}

TEST(GmlPositions, UtilityLineWithHeightsUnderACompoundName) {
    // A pipe as a utility-network service writes it: heights in the list, PL-1992 with
    // normal heights named together, northing first.
    const std::string pipe = curve(
        segment("5800100.5 6500200.25 101.5 5800110.5 6500210.25 102.5", " srsDimension=\"3\""),
        " srsName=\"urn:ogc:def:crs,crs:EPSG::2177,crs:PL-EVRF2007-NH\"");
    const auto features = parseGeometry(pipe);
    ASSERT_EQ(features.size(), 1u);
    ASSERT_EQ(features[0].lines.at(0).size(), 2u);
    expectPoint(features[0].lines[0][0], ProjConv::pl2000toPl1992(6500200.25, 5800100.5, 2177));
    expectPoint(features[0].lines[0][1], ProjConv::pl2000toPl1992(6500210.25, 5800110.5, 2177));
}

TEST(GmlProperties, IdentifiersTypeAndSimpleProperties) {
    const std::string feature =
        "<ms:dzialki gml:id=\"G\" id=\"I\" fid=\"F\"><ms:numer>12/3</ms:numer>"
        "<ms:pow>100</ms:pow><ms:pow>200</ms:pow><ms:empty a=\"1\"/><ms:nested><ms:x>1</ms:x>"
        "</ms:nested><ms:cdata><![CDATA[a<b]]></ms:cdata><ms:_typ>other</ms:_typ>"
        "<ms:ent>A&amp;B</ms:ent><ms:Point>not geometry</ms:Point>" +
        polygon(kSquare) + "</ms:dzialki>";
    const auto features = parse(collection(member(feature)));
    ASSERT_EQ(features.size(), 1u);
    const auto& props = features[0].props;
    EXPECT_EQ(props.at("gml_id"), "F") << "fid replaces id";
    EXPECT_EQ(props.at("numer"), "12/3");
    EXPECT_EQ(props.at("pow"), "200") << "the later of two wins";
    EXPECT_EQ(props.at("cdata"), "a<b");
    EXPECT_EQ(props.at("ent"), "A&B");
    EXPECT_EQ(props.at("_typ"), "dzialki");
    EXPECT_EQ(props.count("empty"), 0u);
    EXPECT_EQ(props.count("nested"), 0u);
    EXPECT_EQ(props.count("Point"), 0u) << "a property named like a geometry is left out";
    EXPECT_EQ(props.size(), 6u);
}

TEST(GmlProperties, EachFeatureKeepsItsOwnPropertiesWhenOthersShareTheirNames) {
    // Parcels with the same names, one without a property, one of another type; each read from
    // the buffer the one before was read from.
    const auto withNumber = [](const std::string& id, const std::string& number) {
        return member(parcel(id, polygon(kSquare), "<ms:nr>" + number + "</ms:nr>"));
    };
    const auto features = parse(collection(
        withNumber("a", "1") + member(parcel("b", polygon(kSquare))) + withNumber("c", "12/3") +
        member("<ms:budynki id=\"d\"><ms:nr>7</ms:nr><ms:g>" + polygon(kSquare) +
               "</ms:g></ms:budynki>") +
        withNumber("e", "5")));
    ASSERT_EQ(features.size(), 5u);
    const std::vector<PropertyMap> expected = {
        {{"_typ", "dzialki"}, {"gml_id", "a"}, {"nr", "1"}},
        {{"_typ", "dzialki"}, {"gml_id", "b"}},
        {{"_typ", "dzialki"}, {"gml_id", "c"}, {"nr", "12/3"}},
        {{"_typ", "budynki"}, {"gml_id", "d"}, {"nr", "7"}},
        {{"_typ", "dzialki"}, {"gml_id", "e"}, {"nr", "5"}}};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(features[i].props, expected[i]) << "feature " << i;

    GisFeature copy = features[0];
    copy.props.insert_or_assign("nr", "2");
    copy.props.insert_or_assign("kw", "WA1M/1");
    EXPECT_EQ(features[0].props, expected[0]) << "a copy changes alone";
    EXPECT_EQ(features[2].props, expected[2]);
}

TEST(GmlProperties, PrefixedIdentifierIsNoGmlId) {
    const auto features = parse(
        collection(member("<ms:b gml:id=\"X\"><ms:g>" + polygon(kSquare) + "</ms:g></ms:b>")));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].props.count("gml_id"), 0u);
    EXPECT_EQ(features[0].props.at("_typ"), "b");
}

TEST(GmlMembers, FeatureMemberReadsLikeMember) {
    const std::string a = parcel("a", polygon(kSquare), "<ms:n>1</ms:n>");
    const std::string b = parcel("b", polygon(kSquare), "<ms:n>2</ms:n>");
    const auto v2 = parse(collection(member(a) + member(b)), DataType::Budynki);
    const auto v1 =
        parse(collection(member(a, "gml:featureMember") + member(b, "gml:featureMember")),
              DataType::Budynki);
    ASSERT_EQ(v2.size(), 2u);
    ASSERT_EQ(v1.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(v1[i].props, v2[i].props);
        EXPECT_EQ(v1[i].kind, static_cast<int>(DataType::Budynki));
    }
    EXPECT_EQ(v1[1].props.at("n"), "2") << "document order";
    // A member without an element child is skipped.
    EXPECT_EQ(parse(collection("<wfs:member>text</wfs:member>" + member(a))).size(), 1u);
}

TEST(GmlBadInput, BrokenDocumentsGiveNothing) {
    const std::string good = collection(member(parcel("a", polygon(kSquare))));
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("not xml at all").empty());
    EXPECT_TRUE(parse(good.substr(0, good.size() - 10)).empty()) << "truncated";
    EXPECT_TRUE(parse("<?xml version=\"1.0\"?><ows:ExceptionReport><ows:Exception "
                      "exceptionCode=\"InvalidParameterValue\"><ows:ExceptionText>bad"
                      "</ows:ExceptionText></ows:Exception></ows:ExceptionReport>")
                    .empty());
    EXPECT_TRUE(parse(collection("")).empty());
    // The text ends at its first zero byte.
    std::string zeroed = good;
    zeroed[good.find("<wfs:member")] = '\0';
    EXPECT_TRUE(parse(zeroed).empty());
}

TEST(GmlBadInput, DamagedPositionListsKeepWhatCameBeforeTheDamage) {
    // Odd count: the trailing number is dropped.
    auto features = parseRing("0 0 10 0 10 10 5", "");
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].polygons[0].outer.size(), 3u);
    // A stray token ends the list; a comma ends it too.
    features = parseRing("0 0 10 0 abc 10 10", "");
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].polygons[0].outer.size(), 2u);
    features = parseRing("0,5 0 10 0", "");
    EXPECT_TRUE(features.empty()) << "only one number read";
    // Numbers that are no finite values end the list.
    features = parseRing("1 2 nan 4 inf 6", "");
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].polygons[0].outer.size(), 1u);
    features = parseRing("1 2 1e999 4", "");
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].polygons[0].outer.size(), 1u);
    // A leading '+' and exponents are numbers.
    features = parseRing("+1.5 2e1 3 4", "");
    ASSERT_EQ(features.size(), 1u);
    expectPoint(features[0].polygons[0].outer[0], {1.5, 20});
}

TEST(GmlBadInput, DeepNestingDoesNotExhaustTheStack) {
    std::string deep;
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    deep += polygon(kSquare);
    for (int i = 0; i < 200000; ++i)
        deep += "</a>";
    const auto features = parse(collection(member("<ms:d>" + deep + "</ms:d>")));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0].polygons.size(), 1u);
}

// The bytes a record holds beyond its contents: the room left in its vectors and in its texts
// that do not fit a short string's own buffer. Property values are packed by the map itself.
template <typename T>
std::size_t spareOf(const std::vector<T>& values) {
    return (values.capacity() - values.size()) * sizeof(T);
}

std::size_t spareOf(const std::string& text) {
    return text.capacity() > std::string().capacity() ? text.capacity() - text.size() : 0;
}

std::size_t spareOf(const GisFeature& feature) {
    std::size_t spare = spareOf(feature.polygons) + spareOf(feature.lines);
    for (const GisPolygon& polygon : feature.polygons) {
        spare += spareOf(polygon.outer) + spareOf(polygon.holes);
        for (const std::vector<GisPoint>& hole : polygon.holes)
            spare += spareOf(hole);
    }
    for (const std::vector<GisPoint>& line : feature.lines)
        spare += spareOf(line);
    for (const auto& [name, value] : feature.props)
        spare += spareOf(name);
    return spare;
}

// The text n times over.
std::string times(int n, const std::string& text) {
    std::string repeated;
    for (int i = 0; i < n; ++i)
        repeated += text;
    return repeated;
}

TEST(GmlMemory, RecordsHoldNoRoomBeyondTheirContents) {
    // Each case grows a vector or a text past what it holds when read naively.
    const std::string poses =
        "<gml:Polygon><gml:exterior><gml:LinearRing><gml:pos>1 2</gml:pos><gml:pos>3 4</gml:pos>"
        "<gml:pos>5 6</gml:pos><gml:pos>7</gml:pos></gml:LinearRing></gml:exterior></gml:Polygon>";
    const std::string holes =
        "<gml:Polygon>" + gmlfix::ring("exterior", kSquare) +
        times(3, gmlfix::ring("interior", "500102 250202 500104 250202 500104 250204")) +
        "</gml:Polygon>";
    const std::string polygons =
        "<gml:MultiSurface>" +
        times(3, "<gml:surfaceMember>" + polygon(kSquare) + "</gml:surfaceMember>") +
        "</gml:MultiSurface>";
    const std::string lines =
        "<gml:MultiCurve>" +
        times(3, "<gml:curveMember>" + curve(segment("1 2 3 4")) + "</gml:curveMember>") +
        "</gml:MultiCurve>";
    const std::string inner = "<wfs:FeatureCollection>" +
                              times(4, member(parcel("a", polygon(kSquare)))) +
                              "</wfs:FeatureCollection>";
    const struct {
        const char* what;
        std::string members;
    } cases[] = {
        {"a position list cut short by a damaged number",
         member(parcel("p", polygon("1 2 3 4 5 6 x 7 8 9 10")))},
        {"positions one by one, the last incomplete", member(parcel("p", poses))},
        {"three holes", member(parcel("p", holes))},
        {"three polygons", member(parcel("p", polygons))},
        {"three lines", member(parcel("p", lines))},
        {"segments joined into one line",
         member(parcel("p", curve(segment("0 0 1 1") + segment("1 1 2 2"))))},
        {"texts longer than a short string",
         member(parcel("dzialki.146501_1.0001.1234/56", polygon(kSquare),
                       "<ms:ID_DZIALKI>146501_1.0001.1234/56</ms:ID_DZIALKI>"
                       "<ms:POLE_EWIDENCYJNE>0.0542</ms:POLE_EWIDENCYJNE>"))},
        {"members inside a member", member(inner) + member(parcel("e", polygon(kSquare)))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto features = parse(collection(c.members));
        ASSERT_FALSE(features.empty());
        EXPECT_EQ(features.capacity(), features.size()) << "the list is sized once";
        for (const GisFeature& feature : features)
            EXPECT_EQ(spareOf(feature), 0u);
    }
}

TEST(GmlLocale, NumbersAreReadWithADecimalPointUnderACommaLocale) {
    const loopback::CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << loopback::kCommaLocaleMissing;
    const auto features = parseRing("500100.25 250200.75 500110.5 250200.125", "");
    ASSERT_EQ(features.size(), 1u);
    expectPoint(features[0].polygons[0].outer[0], {500100.25, 250200.75});
    expectPoint(features[0].polygons[0].outer[1], {500110.5, 250200.125});
}

TEST(GmlThreads, DocumentDefaultSystemIsPerThread) {
    // One thread reads PL-2000 documents, the other PL-1992 ones; each sees its own default.
    const std::string zone6 = collection(
        envelope("EPSG:2177") + member(parcel("a", polygon("5800000 6500000 5800010 6500000"))));
    const std::string plain =
        collection(envelope("EPSG:2180") + member(parcel("b", polygon("100 200 110 200"))));
    const GisPoint zonePoint = ProjConv::pl2000toPl1992(6500000, 5800000, 2177);
    int zoneMismatches = 0;
    int plainMismatches = 0;
    std::thread zoneReader([&] {
        for (int i = 0; i < 300; ++i) {
            const GisPoint p = firstVertex(parse(zone6));
            zoneMismatches += std::abs(p.x - zonePoint.x) > 1e-6 ? 1 : 0;
        }
    });
    std::thread plainReader([&] {
        for (int i = 0; i < 300; ++i) {
            const GisPoint p = firstVertex(parse(plain));
            plainMismatches += (p.x != 100 || p.y != 200) ? 1 : 0;
        }
    });
    zoneReader.join();
    plainReader.join();
    EXPECT_EQ(zoneMismatches, 0);
    EXPECT_EQ(plainMismatches, 0);
}

}  // namespace
