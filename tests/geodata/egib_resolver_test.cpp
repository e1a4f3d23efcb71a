// EgibResolver: type names from capabilities, the county address, and fetches against loopback
// county servers of different kinds (axis order, WFS version, reference system), the variant
// memory, the hits count and the whole-layer fallback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/Wfs.h"
#include "geodata/EgibResolver.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"
#include "geodata/ServiceTables.h"
#include "loopback/TempDir.h"

namespace {

using Behaviour = fakes::WfsBehaviour;
using fakes::param;

constexpr const char* kPath = "/egib/wfs";

// A parcel of the fake county, with its identifier as the property ID_DZIALKI.
fakes::Feature square(const std::string& id, GisPoint centre, double half = 5.0) {
    return fakes::square(id, centre, half, {{"ID_DZIALKI", id}});
}

// A county land-registry WFS of parcels (and an empty buildings layer) on a loopback server of
// its own.
class CountyWfs {
public:
    CountyWfs(Behaviour behaviour, std::vector<fakes::Feature> parcels) {
        server_.onRequest(
            kPath,
            fakes::FeatureWfs({{"ms:dzialki", std::move(parcels)}, {"ms:budynki", {}}}, behaviour));
    }
    std::string url() const { return server_.url(kPath); }
    loopback::LoopbackServer& server() { return server_; }
    std::vector<std::string> boxQueries() const { return fakes::boxQueries(server_, kPath); }

private:
    loopback::LoopbackServer server_;
};

EgibResolver::Typenames namesOf(const std::vector<std::string>& names) {
    std::string text = "<?xml version=\"1.0\"?><wfs:WFS_Capabilities><FeatureTypeList>";
    for (const std::string& name : names)
        text += "<FeatureType><Name>" + name + "</Name><Title>x y</Title></FeatureType>";
    return EgibResolver::matchTypenames(text + "</FeatureTypeList></wfs:WFS_Capabilities>");
}

TEST(EgibTypenames, CurrentNamesWinOverArchiveOnes) {
    auto names = namesOf({"ms:dzialki_archiwalne", "ms:Dzialki", "ms:budynki_hist", "ms:Budynki"});
    EXPECT_EQ(names.parcels, "ms:Dzialki");
    EXPECT_EQ(names.buildings, "ms:Budynki");
    names = namesOf({"ms:Dzialki", "ms:dzialki_archiwalne"});
    EXPECT_EQ(names.parcels, "ms:Dzialki") << "a second-rate name never replaces a first-rate one";
    names = namesOf({"ms:opis_dzialki"});
    EXPECT_EQ(names.parcels, "ms:opis_dzialki") << "second-rate kept while nothing better came";
    names = namesOf({"egb:dzialki", "egb:dzialki2"});
    EXPECT_EQ(names.parcels, "egb:dzialki") << "the first first-rate name wins";
}

TEST(EgibTypenames, NameTextsAndTags) {
    auto names = namesOf({"\n   ms:dzialki \n", "ms:budynek ewid", "a/budynki", "dzialki_budynki"});
    EXPECT_EQ(names.parcels, "ms:dzialki");
    EXPECT_TRUE(names.buildings.empty()) << "names with a blank or '/' are skipped";

    names = namesOf({"dzialki_budynki"});
    EXPECT_EQ(names.parcels, "dzialki_budynki");
    EXPECT_TRUE(names.buildings.empty()) << "a name of both kinds counts as parcels only";

    names = EgibResolver::matchTypenames(
        "<wfs:Name>ms:Parcel</wfs:Name><Name/><NameX>ms:budynki</NameX><!-- <Name>dzialki_c</Name> "
        "--><ows:Name>BUILDINGS</ows:Name><Name>dzia\xC5\x82ki</Name>");
    EXPECT_EQ(names.parcels, "ms:Parcel") << "any namespace prefix";
    EXPECT_EQ(names.buildings, "BUILDINGS");
    EXPECT_EQ(EgibResolver::matchTypenames("<Name>ms:dzialki").parcels, "")
        << "a name without its end tag is not taken";
    EXPECT_EQ(EgibResolver::matchTypenames("<Name>dzia\xC5\x82ki</Name>").parcels,
              "dzia\xC5\x82ki");
    EXPECT_EQ(EgibResolver::matchTypenames("<Name>DZIA\xC5\x81KI</Name>").parcels, "")
        << "only ASCII letters are lower-cased";
}

TEST(EgibAddress, CountyLandRegistryAddressByTheLeadingFourDigits) {
    EXPECT_EQ(EgibResolver::urlForTeryt("021"), "");
    EXPECT_EQ(EgibResolver::urlForTeryt("0299"), "");
    const std::string county(servicetables::find(EgibUrls::TABLE, "1465", 4)->wfs);
    ASSERT_FALSE(county.empty());
    EXPECT_EQ(EgibResolver::urlForTeryt("1465011"), county);
    EXPECT_EQ(EgibResolver::urlForTeryt("146501_1.0001.12/3"), county);

    services::Endpoints e = services::endpoints();
    e.countyOverride = "http://127.0.0.1:1";
    services::setEndpoints(e);
    const std::string moved = EgibResolver::urlForTeryt("1465");
    services::resetEndpoints();
    EXPECT_TRUE(moved.starts_with("http://127.0.0.1:1/") || moved == "http://127.0.0.1:1") << moved;
}

// Each test gets its own download cache.
class EgibFetch : public ::testing::Test {
protected:
    // An area of 100 m in central Poland (longitude about 18, PL-2000 zone 2177).
    static constexpr GisPoint kCentre{450000, 350000};
    static constexpr Bbox kArea{kCentre.x - 50, kCentre.y - 50, kCentre.x + 50, kCentre.y + 50};

    static std::vector<fakes::Feature> parcels() {
        return {square("inside", kCentre), square("outside", {kCentre.x + 300, kCentre.y})};
    }

    static std::vector<std::string> ids(const std::vector<GisFeature>& features) {
        std::vector<std::string> out;
        for (const GisFeature& f : features)
            out.emplace_back(f.props.at("ID_DZIALKI"));
        return out;
    }

    std::vector<GisFeature> fetch(EgibResolver& resolver, const CountyWfs& server,
                                  const Bbox& area = kArea) {
        return resolver.fetch(server.url(), "ms:dzialki", area, DataType::Dzialki, {});
    }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    WfsClient client;
};

TEST_F(EgibFetch, CapabilitiesAreAskedOncePerAddressAndAgainAfterAFailure) {
    CountyWfs wfs(Behaviour{}, parcels());
    EgibResolver resolver(client);
    EgibResolver::Typenames names;
    ASSERT_TRUE(resolver.discoverTypenames(wfs.url(), names));
    EXPECT_EQ(names.parcels, "ms:dzialki");
    EXPECT_EQ(names.buildings, "ms:budynki");
    EXPECT_TRUE(resolver.discoverTypenames(wfs.url(), names));
    ASSERT_EQ(wfs.server().count(kPath), 1u);
    EXPECT_EQ(param(wfs.server().requests().front().query, "service"), "WFS");

    loopback::LoopbackServer failing;
    failing.onSequence("/wfs", {loopback::status(500), loopback::status(500),
                                loopback::ok("<Name>ms:budynki</Name>")});
    EgibResolver::Typenames kept{"keep", "keep"};
    EXPECT_FALSE(resolver.discoverTypenames(failing.url("/wfs?map=x"), kept));
    EXPECT_EQ(kept.parcels, "keep") << "out is left alone";
    EXPECT_TRUE(resolver.discoverTypenames(failing.url("/wfs?map=x"), kept));
    EXPECT_EQ(kept.buildings, "ms:budynki");
    EXPECT_EQ(failing.requests().back().query, "map=x&service=WFS&request=GetCapabilities");
}

TEST_F(EgibFetch, NorthingFirstServerAnswersTheFirstVariant) {
    CountyWfs wfs(Behaviour{}, parcels());
    EgibResolver resolver(client);
    EXPECT_EQ(ids(fetch(resolver, wfs)), std::vector<std::string>{"inside"});
    ASSERT_EQ(wfs.boxQueries().size(), 1u);
    EXPECT_EQ(param(wfs.boxQueries()[0], "version"), "2.0.0");
    EXPECT_TRUE(param(wfs.boxQueries()[0], "srsname").empty());
}

TEST_F(EgibFetch, EastingFirstServerIsRememberedAsTheSecondVariant) {
    // Read easting first, the northing-first box of variant 1 lands on a decoy far away.
    auto withDecoy = parcels();
    withDecoy.push_back(square("decoy", {kCentre.y, kCentre.x}));
    Behaviour eastingFirst;
    eastingFirst.northingFirst = false;
    CountyWfs wfs(eastingFirst, withDecoy);
    EgibResolver resolver(client);

    EXPECT_EQ(ids(fetch(resolver, wfs)), std::vector<std::string>{"inside"});
    ASSERT_EQ(wfs.boxQueries().size(), 2u);
    EXPECT_EQ(ids(fetch(resolver, wfs)), std::vector<std::string>{"inside"});
    ASSERT_EQ(wfs.boxQueries().size(), 2u) << "the second fetch came from the cache";

    // Another area: only the remembered variant is asked, even when it brings nothing.
    const Bbox elsewhere{kArea.minx + 2000, kArea.miny, kArea.maxx + 2000, kArea.maxy};
    EXPECT_TRUE(fetch(resolver, wfs, elsewhere).empty());
    const auto queries = wfs.boxQueries();
    ASSERT_EQ(queries.size(), 3u);
    EXPECT_TRUE(param(queries[2], "bbox").starts_with("451950,")) << "easting first";
    EXPECT_EQ(wfs.server().count(), 3u) << "no hits request for a remembered variant";
}

TEST_F(EgibFetch, ServerOfOnePl2000ZoneAnswersTheZoneVariant) {
    Behaviour zoneOnly;
    zoneOnly.refuses2180 = true;
    CountyWfs wfs(zoneOnly, parcels());
    EgibResolver resolver(client);
    const auto features = fetch(resolver, wfs);
    ASSERT_EQ(ids(features), std::vector<std::string>{"inside"});
    const GisPoint first = features[0].polygons.at(0).outer.at(0);
    EXPECT_NEAR(first.x, kCentre.x - 5, 1e-3) << "converted back to PL-1992";
    EXPECT_NEAR(first.y, kCentre.y - 5, 1e-3);
    const auto queries = wfs.boxQueries();
    ASSERT_EQ(queries.size(), 3u);
    EXPECT_EQ(param(queries[2], "srsname"), "EPSG:2177");
}

TEST_F(EgibFetch, Wfs110OnlyServerAnswersTheLastVariant) {
    Behaviour old;
    old.wfs20 = false;
    CountyWfs wfs(old, parcels());
    EgibResolver resolver(client);
    EXPECT_EQ(ids(fetch(resolver, wfs)), std::vector<std::string>{"inside"});
    const auto queries = wfs.boxQueries();
    ASSERT_EQ(queries.size(), 4u);
    EXPECT_EQ(param(queries[3], "version"), "1.1.0");
}

TEST_F(EgibFetch, ZoneOfTheAreasCentreByLongitude) {
    Behaviour zoneOnly;
    zoneOnly.refuses2180 = true;
    CountyWfs wfs(zoneOnly, {});
    const auto zoneAsked = [&](double lon) {
        WfsClient own;
        EgibResolver resolver(own);
        wfs.server().clearLog();
        const GisPoint c = ProjConv::latLonToPl1992(52.0, lon);
        fetch(resolver, wfs, {c.x - 10, c.y - 10, c.x + 10, c.y + 10});
        const auto queries = wfs.boxQueries();
        return queries.size() >= 3 ? param(queries[2], "srsname") : std::string("none");
    };
    EXPECT_EQ(zoneAsked(16.49), "EPSG:2176");
    EXPECT_EQ(zoneAsked(16.51), "EPSG:2177");
    EXPECT_EQ(zoneAsked(22.51), "EPSG:2179");
}

TEST_F(EgibFetch, WholeLayerWithinTheHitsLimitIsFilteredByTheArea) {
    // Its hole lies in the area, its outer ring and its label point do not.
    const fakes::Feature holed{"holed",
                               {{{{kCentre.x + 1000, kCentre.y - 1000},
                                  {kCentre.x + 1000, kCentre.y + 1000},
                                  {kCentre.x - 200, kCentre.y + 1000},
                                  {kCentre.x - 200, kCentre.y - 1000}},
                                 {{{kCentre.x - 10, kCentre.y - 10},
                                   {kCentre.x + 10, kCentre.y - 10},
                                   {kCentre.x + 10, kCentre.y + 10}}}}},
                               {},
                               {{"ID_DZIALKI", "holed"}}};
    auto layer = parcels();
    layer.push_back(holed);
    layer.push_back(square("edge", {kArea.maxx + 5, kCentre.y}));  // west edge on the border
    Behaviour noBoxes;
    noBoxes.wfs20 = true;
    noBoxes.refuses2180 = true;
    noBoxes.northingFirst = false;
    noBoxes.hits = 200000;
    CountyWfs wfs(noBoxes, layer);
    // Refuses every box: in the zone variant the easting-first reading misses as well.
    EgibResolver resolver(client);
    std::vector<std::pair<int, int>> progress;
    const auto features =
        resolver.fetch(wfs.url(), "ms:dzialki", kArea, DataType::Budynki,
                       [&](int done, int total) { progress.emplace_back(done, total); });
    EXPECT_EQ(ids(features), (std::vector<std::string>{"inside", "edge"}));
    EXPECT_EQ(features[0].kind, static_cast<int>(DataType::Budynki));
    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress[progress.size() - 2], std::make_pair(0, 1));
    EXPECT_EQ(progress.back(), std::make_pair(1, 1));
    const auto all = wfs.server().requests(kPath);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(param(all[all.size() - 2].query, "resulttype"), "hits");
    EXPECT_TRUE(param(all.back().query, "bbox").empty());
    EXPECT_EQ(param(all.back().query, "typenames"), "ms:dzialki");
}

TEST_F(EgibFetch, HitsOutsideTheLimitDownloadNothing) {
    for (const long long hits : {0LL, 250000LL}) {
        Behaviour counted;
        counted.hits = hits;
        CountyWfs wfs(counted, {square("far", {kCentre.x + 5000, kCentre.y})});
        WfsClient own;
        EgibResolver resolver(own);
        EXPECT_TRUE(fetch(resolver, wfs).empty());
        const auto all = wfs.server().requests(kPath);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(param(all.back().query, "resulttype"), "hits") << "no layer download";
    }
}

TEST_F(EgibFetch, EmptyTypenameAsksNothing) {
    CountyWfs wfs(Behaviour{}, parcels());
    EgibResolver resolver(client);
    EXPECT_TRUE(resolver.fetch(wfs.url(), "", kArea, DataType::Dzialki, {}).empty());
    EXPECT_EQ(wfs.server().count(), 0u);
}

}  // namespace

// A server that refuses every box: four variants, then the hits count and the whole layer.
TEST_F(EgibFetch, AStopLeavesTheLaterVariantsAndTheWholeLayerUnasked) {
    const auto stoppedAfter = [this](std::size_t requests) {
        Behaviour noBoxes;
        noBoxes.refuses2180 = true;
        noBoxes.northingFirst = false;
        noBoxes.wfs20 = true;
        CountyWfs wfs(noBoxes, parcels());
        WfsClient own;
        EgibResolver resolver(own);
        const auto features =
            resolver.fetch(wfs.url(), "ms:dzialki", kArea, DataType::Dzialki, {},
                           [&wfs, requests] { return wfs.server().count(kPath) >= requests; });
        EXPECT_TRUE(features.empty());
        EXPECT_EQ(wfs.server().count(kPath), requests);
        return wfs.server().requests(kPath).back().query;
    };
    EXPECT_FALSE(param(stoppedAfter(1), "bbox").empty()) << "the first variant only";
    EXPECT_EQ(param(stoppedAfter(5), "resulttype"), "hits") << "no layer download";
}
