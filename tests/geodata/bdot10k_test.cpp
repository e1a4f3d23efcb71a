#include "geodata/Bdot10kClient.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "builders/ZipBuilder.h"
#include "geodata/ServiceConfig.h"
#include "geodata/WfsClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

std::string feature(const std::string& posList, const std::string& id) {
    return "<ot:OT_BUIN_L gml:id=\"" + id +
           "\"><ot:geometria><gml:LineString>"
           "<gml:posList srsDimension=\"2\">" +
           posList +
           "</gml:posList></gml:LineString>"
           "</ot:geometria><ot:rodzaj>most</ot:rodzaj><ot:lokalnyId>" +
           id + "</ot:lokalnyId></ot:OT_BUIN_L>";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Bdot10kService : public ::testing::Test {
protected:
    // Serves a package holding the given entries at the county's address.
    void servePackage(const std::string& teryt, const std::vector<ziptest::Item>& items) {
        const std::string zipPath = dir.file("package.zip");
        ASSERT_TRUE(ziptest::writeZip(zipPath, items));
        server.on("/bdot10k/schemat2021/" + teryt.substr(0, 2) + "/" + teryt + "_GML.zip",
                  loopback::ok(readFile(zipPath), "application/zip"));
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
    loopback::ScopedEndpoints endpoints{{&services::Endpoints::openData, server.url()},
                                        {&services::Endpoints::geoportalMaps, server.url()}};
    WfsClient client;
};

}  // namespace

TEST(Bdot10kSheet, ReadsAxesKindsAndIdsAndDropsUnusableFeatures) {
    const std::string xml = "<x>" + feature("1 2 3 4 5", "A") + feature("7 8", "B") +
                            feature("10 20 30 40 x 50 60", "C") + feature("1,5 2 3 4", "D") +
                            "<ot:OT_BUIN_L><gml:posList>5 6 7 8</gml:posList>";
    const auto bridges = Bdot10kClient::parseOtBuinL(xml);
    ASSERT_EQ(bridges.size(), 3u);
    EXPECT_EQ(bridges[0].points, (std::vector<std::pair<double, double>>{{1, 2}, {3, 4}}));
    EXPECT_EQ(bridges[0].rodzaj, "most");
    EXPECT_EQ(bridges[0].lokalnyId, "A");
    EXPECT_EQ(bridges[1].lokalnyId, "C");  // B has one vertex; reading C stops at "x"
    EXPECT_EQ(bridges[1].points.size(), 2u);
    // D stops at once at "1,5"; the last feature runs to the end of the text.
    EXPECT_EQ(bridges[2].points, (std::vector<std::pair<double, double>>{{5, 6}, {7, 8}}));
    EXPECT_TRUE(Bdot10kClient::parseOtBuinL("").empty());

    // Values that are no finite numbers end the list like any unreadable token.
    const auto finite =
        Bdot10kClient::parseOtBuinL(feature("1 2 3 4 nan 6 7 8", "E") + feature("1 2 inf 4", "F"));
    ASSERT_EQ(finite.size(), 1u);
    EXPECT_EQ(finite[0].points, (std::vector<std::pair<double, double>>{{1, 2}, {3, 4}}));
}

TEST(Bdot10kQuery, PackageQueryAndAnswer) {
    services::Endpoints e = services::endpoints();
    e.geoportalMaps = "https://maps.example";
    services::setEndpoints(e);
    EXPECT_EQ(Bdot10kClient::urlForTeryt("1465"),
              "https://maps.example/wss/service/PZGIK/BDOT/WFS/PobieranieBDOT10k?SERVICE=WFS&"
              "VERSION=2.0.0&REQUEST=GetFeature&TYPENAMES=ms:BDOT10k_powiaty&CQL_FILTER=TERYT%3D%"
              "271465%27");
    services::resetEndpoints();
    EXPECT_EQ(Bdot10kClient::urlForTeryt("146"), "");
    EXPECT_EQ(Bdot10kClient::urlForTeryt("14'5"), "");
    EXPECT_EQ(
        Bdot10kClient::parseUrlGml("<ms:URL_GML>\n  https://x/1465_GML.zip \r\n</ms:URL_GML>"),
        "https://x/1465_GML.zip");
    EXPECT_EQ(Bdot10kClient::parseUrlGml("<ms:URL_GML>no end"), "");
}

TEST_F(Bdot10kService, BridgesOfACountyComeFromItsPackageOnceDownloaded) {
    servePackage("1465", {{"readme.txt", "x"},
                          {"PL.PZGIK.201.1465__OT_BUIN_L.xml",
                           "<a>" + feature("500000 250000 500010 250000", "M1") + "</a>"}});
    std::string message = "old";
    auto bridges = Bdot10kClient::bridgesFor("1465", client, message);
    EXPECT_EQ(message, "");
    ASSERT_EQ(bridges.size(), 1u);
    EXPECT_EQ(bridges[0].lokalnyId, "M1");
    bridges = Bdot10kClient::bridgesFor("1465", client, message);
    EXPECT_EQ(bridges.size(), 1u);
    EXPECT_EQ(server.count(), 1u);  // the second call reads the cached package
    const std::string diag = readFile(dir.file("Tovelmark_ndsm_diag.txt"));
    EXPECT_EQ(diag.rfind("[mosty] BDOT10k paczka (bezposredni URL): ", 0), 0u);
    EXPECT_NE(diag.find("[mosty] sparsowano ot:OT_BUIN_L: 1 osi (gml:posList)\n"),
              std::string::npos);
}

TEST_F(Bdot10kService, FailuresGiveAnEmptyListAndAPolishMessage) {
    std::string message;
    EXPECT_TRUE(Bdot10kClient::bridgesFor("14651", client, message).empty());
    EXPECT_EQ(message, "Mosty (BDOT10k): nieprawidlowy kod TERYT powiatu (14651).");
    EXPECT_EQ(server.count(), 0u);

    EXPECT_TRUE(Bdot10kClient::bridgesFor("0201", client, message).empty());  // 404
    EXPECT_EQ(message.rfind("Mosty (BDOT10k): ", 0), 0u);
    EXPECT_GT(message.size(), std::string("Mosty (BDOT10k): ").size());

    server.on("/bdot10k/schemat2021/02/0202_GML.zip", loopback::ok("not a zip archive"));
    EXPECT_TRUE(Bdot10kClient::bridgesFor("0202", client, message).empty());
    EXPECT_EQ(message, "Mosty (BDOT10k): nie mozna otworzyc paczki ZIP.");

    servePackage("0203", {{"PL.PZGIK.201.0203__OT_BUBD_A.xml", "<a/>"}});
    EXPECT_TRUE(Bdot10kClient::bridgesFor("0203", client, message).empty());
    EXPECT_EQ(message, "Mosty (BDOT10k): nie udalo sie rozpakowac arkusza OT_BUIN_L.");
}
