// The building packages on the road from the catalogue through the download cache to the side
// index, against a loopback open-data service.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "builders/CityGmlBuilder.h"
#include "builders/ZipBuilder.h"
#include "geodata/B3dArchive.h"
#include "geodata/B3dCatalog.h"
#include "geodata/CityGmlReader.h"
#include "geodata/ServiceConfig.h"
#include "geodata/WfsClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

using namespace citygmltest;

std::string packageBytes(const loopback::TempDir& dir) {
    const std::string path = dir.file("made.zip");
    const std::string text =
        sheet(member(boxBuilding("PL.1465.1", 10, 10, 20, 20, 100, 106)), {0, 0, 1000, 1000});
    EXPECT_TRUE(ziptest::writeZip(path, {{"1465/", "", true}, {"1465/1465_1.gml", text}}));
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class B3dDownloadTest : public ::testing::Test {
protected:
    loopback::TempDir data;
    loopback::ScopedEnv env{"XDG_DATA_HOME", data.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::openData, server.url()}};
};

TEST_F(B3dDownloadTest, NewestPublishedYearIsIndexedOnceBesideTheCachedPackage) {
    const std::string bytes = packageBytes(data);
    server.on("/InneDane/Budynki3D/LOD1/2022/14/1465.zip", loopback::ok(bytes, "application/zip"));
    WfsClient client;
    std::string path;
    std::string error;
    for (const int year : B3dCatalog::years()) {
        path =
            client.getCachedFile(B3dCatalog::urlForResolvedTeryt("146501", year), {}, 5000, error);
        if (!path.empty())
            break;
    }
    ASSERT_FALSE(path.empty()) << error;
    EXPECT_EQ(server.count("/InneDane/Budynki3D/LOD1/2024/14/1465.zip"), 1u);

    const std::string idx = B3dArchive::indexPathFor(path);
    B3dArchive first;
    ASSERT_TRUE(first.open(path, error)) << error;
    EXPECT_FALSE(first.loadIndex(idx));
    ASSERT_TRUE(first.buildIndex(error)) << error;
    ASSERT_TRUE(first.saveIndex(idx));
    EXPECT_EQ(std::filesystem::path(idx).parent_path(), std::filesystem::path(path).parent_path());

    // A later fetch in the same county: the cached package and its index, nothing downloaded.
    const Bbox frame{0, 0, 15, 15};
    const std::string again =
        client.getCachedFile(B3dCatalog::urlForResolvedTeryt("146501", 2022), {}, 5000, error);
    EXPECT_EQ(again, path);
    EXPECT_EQ(server.count("/InneDane/Budynki3D/LOD1/2022/14/1465.zip"), 1u);
    B3dArchive second;
    ASSERT_TRUE(second.open(again, error));
    ASSERT_TRUE(second.loadIndex(idx));
    const auto names = second.entriesFor(frame);
    ASSERT_EQ(names, std::vector<std::string>{"1465/1465_1.gml"});
    const auto buildings = CityGmlReader::parseSheet(second.readEntry(names[0]), frame);
    ASSERT_EQ(buildings.size(), 1u);
    EXPECT_EQ(buildings[0].id, "PL.1465.1");
}

TEST_F(B3dDownloadTest, Lod2PackageOfTheCounty) {
    server.on("/InneDane/Budynki3D/LOD2/1465_gml.zip", loopback::ok(packageBytes(data)));
    std::string error;
    const std::string path =
        WfsClient().getCachedFile(B3dCatalog::urlForLod2ResolvedTeryt("1465011"), {}, 5000, error);
    ASSERT_FALSE(path.empty()) << error;
    B3dArchive archive;
    ASSERT_TRUE(archive.open(path, error));
    ASSERT_TRUE(archive.buildIndex(error));
    EXPECT_EQ(archive.sheets().size(), 1u);
}

}  // namespace
