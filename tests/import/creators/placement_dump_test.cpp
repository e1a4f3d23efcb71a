// Everything the creators make, placed in one command into the stand-in project and read back from
// the project dump that terraweft-host prints.

#include "CreatorFixture.h"
#include "ProjectDump.h"
#include "import/creators/AcImporter.h"

namespace {

using json = nlohmann::ordered_json;

GisFeature feature(DataType kind, PropertyMap props = {}) {
    GisFeature f;
    f.kind = static_cast<std::int32_t>(kind);
    f.polygons = {{square(1000, 2000, 10), {}}};
    f.lines = {{{1000, 2000}, {1010, 2010}}};
    f.props = std::move(props);
    f.point = {1005, 2005};
    f.hasPoint = true;
    return f;
}

// The dumped elements of one host type.
std::vector<json> dumped(const json& project, int type) {
    std::vector<json> found;
    for (const json& e : project.at("elements")) {
        if (e.at("type") == type)
            found.push_back(e);
    }
    return found;
}

using PlacementDump = CreatorTest;

TEST_F(PlacementDump, EveryKindOfDataReachesTheProjectWithItsFields) {
    GeoTransform frame;
    frame.setSurveyPoint(1000, 2000, 0.0);
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\0');
    const TerrainTile tile{{1000, 2000, 1002, 2002},
                           {{1000, 2000, 101}, {1002, 2000, 102}, {1002, 2002, 103}}};
    const std::vector<Warstwica> contours = {
        {101, false, {{1000, 2000}, {1002, 2001}}},
        {102, true, {{1000, 2002}, {1001, 2002}, {1000.5, 2003}, {1000, 2002}}}};
    const AcImporter::MeshCorners frameCorners = {GisPoint{1000, 2000}, GisPoint{1004, 2000},
                                                  GisPoint{1004, 2004}, GisPoint{1000, 2004}};
    ImportResult result;
    const GSErrCode placement = ACAPI_CallUndoableCommand("Import GIS", [&]() -> GSErrCode {
        const AcImporter::AttributeCache attributes;
        if (const GSErrCode err =
                AcImporter::createPicture(png, {1000, 2000, 1100, 2100}, 2178, frame, 2178, 1)) {
            return err;
        }
        result = AcImporter::importFeatures(
            {feature(DataType::Dzialki, {{"numer_dzialki", "1.23"}}), feature(DataType::Budynki),
             feature(DataType::Mpzp, {{"symbol", "MN"}}),
             feature(DataType::Pog, {{"symbol", "SW"}}), feature(DataType::Gesut)},
            frame, Settings::defaults());
        if (!result.message.empty())
            return GSErrCode(0x81060001);
        if (const GSErrCode err = AcImporter::createMesh(tile, frame, 100, 1, frameCorners))
            return err;
        AcImporter::createSlabBox(square(20, 0, 5), -1, 6, 1, "LOD1.7");
        AcImporter::createMorph(house(), 1, false, true, 1, nullptr, "LOD2.1");
        AcImporter::createPolyLine({{0, 0}, {2, 1}}, 1, 2);
        AcImporter::createText({1, 0.5}, "101,00", 1, 2, 2.0, 0.46);
        return AcImporter::createMeshFromContours(contours, frame, 100, 1, frameCorners);
    });
    ASSERT_EQ(placement, NoError);
    EXPECT_EQ(result.counts.size(), 5u);

    const json project = host::projectJson();
    const auto pictures = dumped(project, API_PictureID);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].at("mime"), "image/png");
    EXPECT_EQ(pictures[0].at("bytes"), png.size());
    EXPECT_EQ(pictures[0].at("destBox"), json({0, 0, 100, 100}));

    const auto polylines = dumped(project, API_PolyLineID);
    ASSERT_EQ(polylines.size(), 4u) << "parcel outline and line, utility line, contour line";
    EXPECT_EQ(polylines[0].at("pen"), 10);
    EXPECT_EQ(polylines[0].at("coords").size(), 5u);
    EXPECT_EQ(polylines[2].at("pen"), 5);

    const auto hatches = dumped(project, API_HatchID);
    ASSERT_EQ(hatches.size(), 3u) << "building, local-plan zone, general-plan zone";
    EXPECT_EQ(hatches[0].at("pens").at("contour"), 6);
    EXPECT_FALSE(hatches[1].contains("ownColor"));
    EXPECT_EQ(hatches[2].at("pens").at("contour"), 32);
    EXPECT_EQ(hatches[2].at("ownColor")[0], 140 / 255.0);
    EXPECT_EQ(hatches[2].at("pends"), json({5}));

    const auto texts = dumped(project, API_TextID);
    ASSERT_EQ(texts.size(), 4u) << "parcel, both zones, contour height";
    EXPECT_EQ(texts[0].at("text"), "23");
    EXPECT_EQ(texts[0].at("loc"), json({5, 5}));
    EXPECT_EQ(texts[0].at("size"), 1.5);
    EXPECT_EQ(texts[3].at("angle"), 0.46);
    EXPECT_EQ(texts[3].at("anchor"), static_cast<int>(APIAnc_LM));

    const auto meshes = dumped(project, API_MeshID);
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0].at("levelLines"), "smooth");
    EXPECT_EQ(meshes[0].at("levelPoints"), json({{0, 0, 1}, {2, 0, 2}, {2, 2, 3}}));
    EXPECT_EQ(meshes[0].at("levelEnds"), json({1, 2, 3}));
    EXPECT_EQ(meshes[0].at("z"), json({1, 2, 3, 3, 1}));
    EXPECT_EQ(meshes[1].at("levelLines"), "ridge");
    EXPECT_EQ(meshes[1].at("levelEnds"), json({2, 6}));
    EXPECT_EQ(meshes[1].at("coords").size(), 5u);
    EXPECT_EQ(meshes[1].at("z").size(), 5u);

    const auto slabs = dumped(project, API_SlabID);
    ASSERT_EQ(slabs.size(), 1u);
    EXPECT_EQ(slabs[0].at("level"), -1.0);
    EXPECT_EQ(slabs[0].at("thickness"), 6.0);
    EXPECT_EQ(slabs[0].at("reference"), "bottom");
    EXPECT_EQ(slabs[0].at("buildingMaterial"), 1);
    EXPECT_EQ(slabs[0].at("id"), "LOD1.7");

    const auto morphs = dumped(project, API_MorphID);
    ASSERT_EQ(morphs.size(), 1u);
    EXPECT_EQ(morphs[0].at("id"), "LOD2.1");
    EXPECT_EQ(morphs[0].at("body").at("polygons").size(), 7u) << "planar convex faces whole";
    EXPECT_EQ(morphs[0].at("body").at("vertices").size(), 10u);
    EXPECT_EQ(morphs[0].at("body").at("edges").size(), 15u) << "each shared by two faces";
    EXPECT_TRUE(isClosedSolid(*host::elements()[12].body));

    EXPECT_EQ(project.at("elements").size(), 16u);
    EXPECT_EQ(project.at("undoDepth"), 1);
}

}  // namespace
