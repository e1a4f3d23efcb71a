// Terrain tiles and contour sets as meshes, with their diagnostics lines.

#include <cmath>
#include <limits>

#include "CreatorFixture.h"
#include "import/creators/AcImporter.h"

namespace {

using AcImporter::createMesh;
using AcImporter::createMeshFromContours;
using AcImporter::MeshCorners;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

MeshCorners cornersOf(double minx, double miny, double maxx, double maxy) {
    return {GisPoint{minx, miny}, GisPoint{maxx, miny}, GisPoint{maxx, maxy}, GisPoint{minx, maxy}};
}

std::vector<API_Coord> closedOutline(const MeshCorners& c) {
    return {
        {c[0].x, c[0].y}, {c[1].x, c[1].y}, {c[2].x, c[2].y}, {c[3].x, c[3].y}, {c[0].x, c[0].y}};
}

std::vector<API_Coord3D> levelPoints(const host::ElementSnapshot& mesh) {
    std::vector<API_Coord3D> points;
    for (const auto& p : mesh.meshLevelCoords)
        points.push_back(p.c);
    return points;
}

using TerrainMesh = CreatorTest;

TEST_F(TerrainMesh, TileMeshesTakeTheirCornersFromTheNearestPoints) {
    const MeshCorners corners = cornersOf(10, 20, 13, 22);
    // Each point's own level line; the corners take the nearest point's height, the first of
    // two equally near ones; a point without height is left out.
    const TerrainTile tile{{10, 20, 13, 22},
                           {{10.5, 20.5, 105},
                            {12.7, 20.5, 106},
                            {11, 21.5, kNaN},
                            {12.7, 21.5, 107},
                            {12.7, 22.5, 108}}};
    bool created = false;
    ASSERT_EQ(placed([&] { return createMesh(tile, GeoTransform{}, 100, 1, corners, &created); }),
              NoError);
    EXPECT_TRUE(created);
    const auto mesh = only(host::elements());
    EXPECT_EQ(mesh.coords, closedOutline(corners));
    EXPECT_EQ(mesh.pends, std::vector<Int32>{5});
    EXPECT_EQ(mesh.meshPolyZ, (std::vector<double>{5, 6, 7, 5, 5}))
        << "(13, 22) lies as near to 107 as to 108: the first wins";
    EXPECT_EQ(levelPoints(mesh),
              (std::vector<API_Coord3D>{
                  {10.5, 20.5, 5}, {12.7, 20.5, 6}, {12.7, 21.5, 7}, {12.7, 22.5, 8}}));
    EXPECT_EQ(mesh.meshLevelEnds, (std::vector<Int32>{1, 2, 3, 4}));
    EXPECT_EQ(mesh.element.mesh.levelLines, APIMeshLevel_Smooth);
    EXPECT_EQ(diagnosticsLines(),
              std::vector<std::string>{"createMesh nPts=4 err=0 ptXY=[10..12,20..22] "
                                       "ringXY=[10..13,20..22] ptZ=[5..8] ringZ=[5,6,7,5]"});
}

TEST_F(TerrainMesh, OnePointTileAndTheSurveyPointFrame) {
    GeoTransform frame;
    frame.setSurveyPoint(1000, 2000, 0.0);
    frame.setLocalAnchor(5, 5);
    const MeshCorners corners = cornersOf(1000, 2000, 1010, 2010);
    const TerrainTile tile{{1000, 2000, 1010, 2010}, {{1004, 2003, 212.5}}};
    ASSERT_EQ(placed([&] { return createMesh(tile, frame, 200, 1, corners); }), NoError);
    const auto mesh = only(host::elements());
    EXPECT_EQ(mesh.meshPolyZ, (std::vector<double>(5, 12.5)));
    EXPECT_EQ(levelPoints(mesh), (std::vector<API_Coord3D>{{9, 8, 12.5}}));
    EXPECT_EQ(mesh.coords.front(), (API_Coord{5, 5}));
    EXPECT_EQ(mesh.coords[2], (API_Coord{15, 15}));
}

TEST_F(TerrainMesh, NothingToMakeLeavesNoMeshAndNoLine) {
    const MeshCorners corners = cornersOf(0, 0, 10, 10);
    bool created = true;
    EXPECT_EQ(placed([&] {
                  return createMesh({{0, 0, 10, 10}, {}}, {}, 0, 1, corners, &created);
              }),
              NoError);
    EXPECT_FALSE(created);
    EXPECT_EQ(placed([&] {
                  return createMesh({{0, 0, 10, 10}, {{1, 1, kNaN}}}, {}, 0, 1, corners, &created);
              }),
              NoError);
    EXPECT_FALSE(created) << "no point with a height";

    const std::vector<Warstwica> twoPoints = {{100, false, {{0, 0}, {5, 0}}}};
    EXPECT_EQ(
        placed([&] { return createMeshFromContours(twoPoints, {}, 0, 1, corners, &created); }),
        NoError);
    EXPECT_FALSE(created) << "two points in all make no contour mesh, and it is not placed";
    const std::vector<Warstwica> lines = {{100, false, {{0, 0}, {5, 0}, {5, 5}}}};
    EXPECT_EQ(placed([&] {
                  return createMeshFromContours(lines, {}, 0, 1, cornersOf(0, 0, 0, 10), &created);
              }),
              NoError);
    EXPECT_FALSE(created) << "a frame without width";
    EXPECT_EQ(host::elementCount(), 0u);
    EXPECT_TRUE(diagnosticsLines().empty());
}

TEST_F(TerrainMesh, ContourMeshesKeepLinesOfAMetreOrMoreAsRidges) {
    const std::vector<Warstwica> contours = {
        {101, false, {{0, 0}, {10, 0}}},                 // open, 10 m
        {102, true, {{0, 5}, {5, 5}, {5, 10}, {0, 5}}},  // closed, 17.07 m
        {103, false, {{20, 20}, {20.9, 20}}},            // 0.9 m: a stub
        {104, false, {{1, 1}}},                          // one point: not counted
        {105, false, {{3, 3}, {kNaN, 3}}},               // one usable point
    };
    const MeshCorners corners = cornersOf(0, 0, 20, 20);
    bool created = false;
    ASSERT_EQ(placed([&] {
                  return createMeshFromContours(contours, GeoTransform{}, 100, 1, corners,
                                                &created);
              }),
              NoError);
    EXPECT_TRUE(created);
    const auto mesh = only(host::elements());
    EXPECT_EQ(mesh.coords, closedOutline(corners));
    EXPECT_EQ(mesh.meshPolyZ, (std::vector<double>{1, 1, 2, 2, 1}))
        << "the outline is closed before its heights are written: one per coordinate";
    EXPECT_EQ(levelPoints(mesh),
              (std::vector<API_Coord3D>{
                  {0, 0, 1}, {10, 0, 1}, {0, 5, 2}, {5, 5, 2}, {5, 10, 2}, {0, 5, 2}}))
        << "both ends of a closed line stay level points";
    EXPECT_EQ(mesh.meshLevelEnds, (std::vector<Int32>{2, 6}));
    EXPECT_EQ(mesh.element.mesh.levelLines, APIMeshLevel_Ridge);
    EXPECT_EQ(diagnosticsLines(),
              std::vector<std::string>{
                  "createMeshFromContours nPts=6 nSub=2 (zamk=1 otw=1 stubOdrzuc=1 lenMin=10 "
                  "lenMax=17.0711) err=0 ptXY=[0..10,0..10] ramka=20x20 fkZ=[1,1,2,2] cZ=[1..2]"});
}

TEST_F(TerrainMesh, RefusedMeshesAreLoggedWithTheirErrorAndFailedAllocationsAreNot) {
    const MeshCorners corners = cornersOf(0, 0, 4, 4);
    const TerrainTile tile{{0, 0, 4, 4}, {{1, 1, 10}, {3, 3, 12}}};
    const std::vector<Warstwica> contours = {{10, false, {{0, 0}, {2, 0}, {4, 0}}}};

    host::failCalls("ACAPI_Element_Create", APIERR_BADPARS, 2);
    bool created = true;
    EXPECT_EQ(placed([&] { return createMesh(tile, {}, 0, 1, corners, &created); }),
              APIERR_BADPARS);
    EXPECT_FALSE(created);
    EXPECT_EQ(placed([&] { return createMeshFromContours(contours, {}, 0, 1, corners); }),
              APIERR_BADPARS);
    for (int skip = 0; skip < 5; ++skip) {  // outline, ring ends, heights, level points, line ends
        host::failCalls("BMAllocateHandle", 0, 1, skip);
        EXPECT_EQ(placed([&] { return createMesh(tile, {}, 0, 1, corners); }),
                  AcImporter::kNoHandle)
            << "allocation " << skip;
        host::failCalls("BMAllocateHandle", 0, 1, skip);
        EXPECT_EQ(placed([&] { return createMeshFromContours(contours, {}, 0, 1, corners); }),
                  AcImporter::kNoHandle)
            << "allocation " << skip;
    }
    host::failCalls("ACAPI_Element_GetDefaults", APIERR_GENERAL);
    EXPECT_EQ(placed([&] { return createMesh(tile, {}, 0, 1, corners); }), APIERR_GENERAL);
    EXPECT_EQ(host::elementCount(), 0u);

    const auto lines = diagnosticsLines();
    ASSERT_EQ(lines.size(), 2u) << "one line per mesh given to the host";
    EXPECT_EQ(lines[0].rfind("createMesh nPts=2 err=-2130313 ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("createMeshFromContours nPts=3 nSub=1 (zamk=0 otw=1 stubOdrzuc=0 "
                             "lenMin=4 lenMax=4) err=-2130313 ",
                             0),
              0u)
        << lines[1];
}

}  // namespace
