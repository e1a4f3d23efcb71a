#include "geodata/B3dCatalog.h"

#include <gtest/gtest.h>

#include "geodata/ServiceConfig.h"
#include "support/ScopedEndpoints.h"

namespace {

class B3dCatalogTest : public ::testing::Test {
protected:
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::openData, "http://127.0.0.1:9"}};
};

TEST_F(B3dCatalogTest, YearsNewestFirst) {
    EXPECT_EQ(B3dCatalog::years(), (std::vector<int>{2024, 2022, 2021, 2019}));
    EXPECT_EQ(&B3dCatalog::years(), &B3dCatalog::years());
}

TEST_F(B3dCatalogTest, Lod1PackagePerCountyAndYear) {
    EXPECT_EQ(B3dCatalog::urlFor("1465", 2022),
              "http://127.0.0.1:9/InneDane/Budynki3D/LOD1/2022/14/1465.zip");
    EXPECT_EQ(B3dCatalog::urlFor("0201", 2019),
              "http://127.0.0.1:9/InneDane/Budynki3D/LOD1/2019/02/0201.zip");
    EXPECT_EQ(B3dCatalog::urlForResolvedTeryt("146501", 2022), B3dCatalog::urlFor("1465", 2022));
    EXPECT_EQ(B3dCatalog::urlForResolvedTeryt("1465", 2024), B3dCatalog::urlFor("1465", 2024));
}

TEST_F(B3dCatalogTest, Lod2PackagePerCounty) {
    EXPECT_EQ(B3dCatalog::urlForLod2("1465"),
              "http://127.0.0.1:9/InneDane/Budynki3D/LOD2/1465_gml.zip");
    EXPECT_EQ(B3dCatalog::urlForLod2ResolvedTeryt("1465011"), B3dCatalog::urlForLod2("1465"));
}

TEST_F(B3dCatalogTest, CodesThatAreNotFourDigitsGiveNoAddress) {
    for (const char* code : {"146", "", "14a5", "1465 ", "-465", "14650"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(B3dCatalog::urlFor(code, 2022), "");
        EXPECT_EQ(B3dCatalog::urlForLod2(code), "");
    }
    EXPECT_EQ(B3dCatalog::urlForResolvedTeryt("146", 2022), "");
    EXPECT_EQ(B3dCatalog::urlForResolvedTeryt("14x501", 2022), "");
    EXPECT_EQ(B3dCatalog::urlForLod2ResolvedTeryt("14x501"), "");
    EXPECT_EQ(B3dCatalog::urlForLod2ResolvedTeryt("1"), "");
}

}  // namespace
