#include "LayerMapper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ACAPinc.h"
#include "HostTestApi.h"

namespace {

class LayerMapperTest : public ::testing::Test {
protected:
    void SetUp() override { host::reset(); }

    // Attributes are created inside a command, as in the placement.
    template <class F>
    static API_AttributeIndex inCommand(F&& call) {
        API_AttributeIndex index = 0;
        ACAPI_CallUndoableCommand("test", [&] {
            index = call();
            return NoError;
        });
        return index;
    }

    static std::vector<std::string> names(API_AttrTypeID type) {
        std::vector<std::string> result;
        for (const API_Attribute& a : host::attributes(type))
            result.emplace_back(a.header.name);
        return result;
    }
};

TEST_F(LayerMapperTest, ListsLayersInTheHostsOrderOrNothingOnError) {
    host::addLayer("GIS_TEREN");
    host::addLayer("A");
    EXPECT_EQ(LayerMapper::listProjectLayers(),
              (std::vector<std::string>{"Warstwa podstawowa", "GIS_TEREN", "A"}));

    host::failCalls("ACAPI_Attribute_GetAttributesByType", APIERR_GENERAL);
    EXPECT_TRUE(LayerMapper::listProjectLayers().empty());
}

TEST_F(LayerMapperTest, FindsByExactNameAndCreatesOnlyOnce) {
    const API_AttributeIndex teren = host::addLayer("GIS_TEREN");
    EXPECT_EQ(inCommand([] { return LayerMapper::ensureLayer("GIS_TEREN"); }), teren);

    const API_AttributeIndex lower =
        inCommand([] { return LayerMapper::ensureLayer("gis_teren"); });
    EXPECT_NE(lower, 0);
    EXPECT_NE(lower, teren) << "names differing in case are different layers";

    const API_AttributeIndex again =
        inCommand([] { return LayerMapper::ensureLayer("gis_teren"); });
    EXPECT_EQ(again, lower);
    EXPECT_EQ(names(API_LayerID),
              (std::vector<std::string>{"Warstwa podstawowa", "GIS_TEREN", "gis_teren"}));
}

TEST_F(LayerMapperTest, LongNamesAreCutOnACharacterBoundaryAndFoundAgain) {
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "ą";  // 400 bytes, two per letter
    const API_AttributeIndex first = inCommand([&] { return LayerMapper::ensureLayer(longName); });
    ASSERT_NE(first, 0);
    const std::string stored = names(API_LayerID).back();
    EXPECT_EQ(stored.size(), 254u) << "255 bytes would split a letter";
    EXPECT_EQ(stored, longName.substr(0, 254));

    EXPECT_EQ(inCommand([&] { return LayerMapper::ensureLayer(longName); }), first);
    EXPECT_EQ(inCommand([&] { return LayerMapper::ensureLayer(longName + "x"); }), first)
        << "the same name once cut";
    EXPECT_EQ(host::attributes(API_LayerID).size(), 2u);

    const std::string ascii(300, 'w');
    const API_AttributeIndex cutAscii = inCommand([&] { return LayerMapper::ensureLayer(ascii); });
    EXPECT_NE(cutAscii, 0);
    EXPECT_EQ(names(API_LayerID).back(), std::string(255, 'w'));
}

TEST_F(LayerMapperTest, HostFailuresGiveZero) {
    host::failCalls("ACAPI_Attribute_Create", APIERR_GENERAL);
    EXPECT_EQ(inCommand([] { return LayerMapper::ensureLayer("NOWA"); }), 0);

    // Layers that cannot be listed: creation is tried and refused for a name in use.
    host::addLayer("GIS_MOSTY");
    host::failCalls("ACAPI_Attribute_GetAttributesByType", APIERR_GENERAL);
    EXPECT_EQ(inCommand([] { return LayerMapper::ensureLayer("GIS_MOSTY"); }), 0);
}

TEST_F(LayerMapperTest, NewMaterialsCarryTheColourExistingOnesStayAsTheyAre) {
    const API_AttributeIndex red =
        inCommand([] { return LayerMapper::ensureMaterial("GIS_DACH", 0.8, 0.2, 0.1); });
    ASSERT_NE(red, 0);
    const auto materials = host::attributes(API_MaterialID);
    ASSERT_EQ(materials.size(), 1u);
    const API_MaterialType& m = materials[0].material;
    EXPECT_EQ(m.mtype, APIMater_MatteID);
    EXPECT_EQ(m.ambientPc, 70);
    EXPECT_EQ(m.diffusePc, 70);
    EXPECT_EQ(m.specularPc, 0);
    EXPECT_EQ(m.transpPc, 0);
    EXPECT_EQ(m.shine, 0);
    EXPECT_EQ(m.surfaceRGB.f_red, 0.8);
    EXPECT_EQ(m.surfaceRGB.f_green, 0.2);
    EXPECT_EQ(m.surfaceRGB.f_blue, 0.1);
    EXPECT_EQ(m.specularRGB.f_red, 0.8);
    EXPECT_EQ(m.specularRGB.f_blue, 0.1);

    EXPECT_EQ(inCommand([] { return LayerMapper::ensureMaterial("GIS_DACH", 0, 0, 1); }), red);
    EXPECT_EQ(host::attributes(API_MaterialID)[0].material.surfaceRGB.f_red, 0.8);
    EXPECT_TRUE(names(API_LayerID).size() == 1u) << "materials are not layers";
}

}  // namespace
