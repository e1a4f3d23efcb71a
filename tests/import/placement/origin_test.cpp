// "setOrigin" through the map page's bridge: the georeference written at the map's centre, the
// write levels the host may refuse, the diagnostics file, and the terrain height that a worker
// brings from the fake terrain model afterwards.

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <tuple>

#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "import/ImportPage.h"

namespace {

using importtest::json;
using namespace std::chrono_literals;

constexpr double kLat = 52.2297;
constexpr double kLon = 21.0122;

class Origin : public importtest::ImportPage {
protected:
    json setOrigin(double lat, double lon) {
        return page.ask(json{{"type", "setOrigin"}, {"lat", lat}, {"lon", lon}}.dump());
    }

    // A terrain sheet of 200 x 200 m around the point, with the height there and rising east.
    static fakes::GridSheet sheetAround(const std::string& godlo, const GisPoint& p,
                                        double height) {
        return {godlo, {p.x - 100, p.y - 100}, 10.0, 20, 20, fakes::plane(height, 0.02, 0, p)};
    }

    // Runs the main loop until the project's geo-location has been read `more` times again.
    static bool geoLocationRead(int more) {
        const int target = host::callCount("ACAPI_GeoLocation_GetGeoLocation") + more;
        return host::pumpUntil(
            [target] { return host::callCount("ACAPI_GeoLocation_GetGeoLocation") >= target; },
            10s);
    }

    std::string diagnostics() const {
        std::ifstream in(dir.file("tovelmark_geo_diag.txt"));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    const GisPoint point = ProjConv::latLonToPl1992(kLat, kLon);
    // Through PL-1992, as the add-on computes it.
    const GisPoint inZone = ProjConv::pl1992ToPl2000(point.x, point.y, 2178);
};

TEST_F(Origin, TheMapCentreBecomesTheSurveyPointAndTheTerrainModelGivesItsHeight) {
    fakes::serveTerrainModel(hosts, {sheetAround("N-34-139-A", point, 112.5)});
    API_GeoLocation before{};
    before.placeInfo.north = 0.3;
    before.surveyPoint.geoReferenceData.description = "opis";
    host::setGeoLocation(before);

    const json reply = setOrigin(kLat, kLon);
    EXPECT_EQ(reply.at("type"), "originSet");
    EXPECT_NEAR(reply.at("e").get<double>(), inZone.x, 1e-6);
    EXPECT_NEAR(reply.at("n").get<double>(), inZone.y, 1e-6);
    EXPECT_EQ(reply.at("h"), 0.0);
    EXPECT_EQ(reply.at("epsg"), 2178);

    const API_GeoLocation geo = host::geoLocation();
    EXPECT_EQ(geo.placeInfo.latitude, kLat);
    EXPECT_EQ(geo.placeInfo.longitude, kLon);
    EXPECT_EQ(geo.placeInfo.timeZoneInMinutes, 60);
    EXPECT_EQ(geo.placeInfo.north, 0.3) << "fields not written keep their values";
    const API_SurveyPoint& sp = geo.surveyPoint;
    EXPECT_EQ(sp.eastings, reply.at("e").get<double>());
    EXPECT_EQ(sp.northings, reply.at("n").get<double>());
    EXPECT_EQ(sp.orthogonalHeight, 0.0);
    EXPECT_EQ(std::vector<double>({sp.position.x, sp.position.y, sp.position.z, sp.xAxisAbscissa,
                                   sp.xAxisOrdinate, sp.scale}),
              std::vector<double>({0, 0, 0, 1, 0, 1}));
    const API_GeoReferenceData& crs = sp.geoReferenceData;
    EXPECT_EQ(std::vector<std::string>({crs.name.ToUtf8(), crs.description.ToUtf8(),
                                        crs.geodeticDatum.ToUtf8(), crs.verticalDatum.ToUtf8(),
                                        crs.mapProjection.ToUtf8(), crs.mapZone.ToUtf8()}),
              std::vector<std::string>({"EPSG:2178", "opis", "ETRF2000 (PL-ETRF2000)",
                                        "PL-EVRF2007-NH", "PL-2000", "7"}));
    char expected[200];
    std::snprintf(expected, sizeof expected,
                  "TERRAWEFT: ustawiono georeferencje projektu: E=%.6f N=%.6f (PL-2000, "
                  "EPSG:2178) H=0.000000 m n.p.m. (PL-EVRF2007-NH)",
                  inZone.x, inZone.y);
    EXPECT_EQ(host::reportLines(), std::vector<std::string>{expected});
    EXPECT_TRUE(diagnostics().starts_with(
        "SetGeoLocation: koncowy_err=0 poziom_ktory_przeszedl=0 "
        "(0=pelny,1=bez-opisow-CRS,2=minimum,-1=wszystkie-padly)\n  lat=52.2297 lon=21.0122 "
        "zone=2178 E="))
        << diagnostics();

    // Later, from the terrain model's sheet at the point.
    ASSERT_TRUE(geoLocationRead(1));
    EXPECT_NEAR(host::geoLocation().surveyPoint.orthogonalHeight, 112.5, 1e-6);
    EXPECT_NEAR(host::geoLocation().placeInfo.altitude, 112.5, 1e-6);
    EXPECT_EQ(hosts.openData.count(fakes::terrainSheetPath("N-34-139-A")), 1u);
    EXPECT_EQ(host::reportLines().size(), 1u) << "the height is not reported";
}

TEST_F(Origin, ARefusedRecordIsWrittenWithoutItsTextsOrNotAtAll) {
    fakes::serveTerrainModel(hosts, {sheetAround("N-34-139-A", point, 112.5)});
    EXPECT_EQ(page.ask(R"({"type":"setOrigin","lon":21})"),
              json({{"type", "error"}, {"msg", "Brak wspolrzednych srodka mapy"}}));
    host::failCalls("ACAPI_GeoLocation_GetGeoLocation", APIERR_GENERAL);
    EXPECT_EQ(setOrigin(kLat, kLon),
              json({{"type", "error"}, {"msg", "Nie mozna odczytac georeferencji projektu"}}));

    // The full record refused, the one without descriptions taken.
    host::failCalls("ACAPI_GeoLocation_SetGeoLocation", APIERR_GENERAL);
    EXPECT_EQ(setOrigin(kLat, kLon).at("type"), "originSet");
    const API_GeoReferenceData crs = host::geoLocation().surveyPoint.geoReferenceData;
    EXPECT_EQ(crs.name.ToUtf8(), "EPSG:2178");
    EXPECT_TRUE(crs.geodeticDatum.IsEmpty() && crs.mapProjection.IsEmpty() &&
                crs.mapZone.IsEmpty());
    EXPECT_TRUE(
        diagnostics().starts_with("SetGeoLocation: koncowy_err=0 poziom_ktory_przeszedl=1 "));
    ASSERT_TRUE(geoLocationRead(1)) << "the height still comes";

    // Every level refused: the project keeps what it had and nothing is looked up.
    const API_GeoLocation kept = host::geoLocation();
    host::failCalls("ACAPI_GeoLocation_SetGeoLocation", APIERR_GENERAL, 3);
    EXPECT_EQ(setOrigin(kLat, kLon + 0.01).at("msg"),
              "Nie udalo sie zapisac georeferencji projektu (kod -2130313216). Szczegoly: " +
                  dir.file("tovelmark_geo_diag.txt") +
                  ". Ustaw lokalizacje recznie: Opcje > Preferencje projektu > Georeferencja.");
    EXPECT_TRUE(diagnostics().starts_with(
        "SetGeoLocation: koncowy_err=-2130313216 poziom_ktory_przeszedl=-1 "));
    EXPECT_TRUE(host::geoLocation() == kept);
    host::pumpFor(200ms);
    EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 1u);
}

// A position off the globe would make the survey point NaN, and one far from Poland a survey
// point of 1e27 m: each is refused at once, and the project keeps its georeference, writes no
// diagnostics and looks up no height.
TEST_F(Origin, APositionOffTheGlobeOrFarFromPolandIsRefusedAndTheSurveyPointStays) {
    fakes::serveTerrainModel(hosts, {sheetAround("N-34-139-A", point, 112.5)});
    ASSERT_EQ(setOrigin(kLat, kLon).at("type"), "originSet");
    ASSERT_TRUE(geoLocationRead(1));
    const API_GeoLocation kept = host::geoLocation();
    const std::string keptDiagnostics = diagnostics();
    const std::string offTheGlobe = "Nieprawidlowe wspolrzedne srodka mapy";
    const std::string farAway =
        "Punkt poza zasiegiem ukladow PL-1992/PL-2000 - dane obejmuja tylko Polske.";
    const std::tuple<double, double, std::string> refused[] = {
        {1e308, kLon, offTheGlobe},   {-1e308, kLon, offTheGlobe}, {90.000001, kLon, offTheGlobe},
        {-91, kLon, offTheGlobe},     {kLat, 180.5, offTheGlobe},  {kLat, -1e308, offTheGlobe},
        {98.8, 1101171, offTheGlobe}, {0, 180, farAway},           {90, 180, farAway},
        {40.7128, -74.006, farAway},  {48.49, 20, farAway},        {52, 24.66, farAway},
    };
    for (const auto& [lat, lon, sentence] : refused) {
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_EQ(setOrigin(lat, lon), json({{"type", "error"}, {"msg", sentence}}))
            << lat << " " << lon;
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
        EXPECT_TRUE(host::geoLocation() == kept) << lat << " " << lon;
    }
    host::pumpFor(200ms);
    EXPECT_EQ(host::reportLines().size(), 1u) << "only the first origin is reported";
    EXPECT_EQ(diagnostics(), keptDiagnostics);
    EXPECT_EQ(hosts.geoportal.count(fakes::kTerrainIndexPath), 1u);

    // The corners of the reach lie within it.
    EXPECT_EQ(setOrigin(48.5, 13.64).at("type"), "originSet");
    EXPECT_EQ(setOrigin(55.39, 24.65).at("type"), "originSet");
}

// The host may store the survey point rounded before the height arrives: within a millimetre it
// is still the point the height was found for.
TEST_F(Origin, TheHeightGoesToTheSurveyPointTheHostKeptRoundedButNotToAMovedOne) {
    fakes::serveTerrainModel(hosts, {sheetAround("N-34-139-A", point, 112.5)});
    struct Case {
        const char* what;
        std::function<GisPoint(const GisPoint&)> stored;
        double height;
    };
    const auto toTenthOfMillimetre = [](double v) { return std::round(v * 1e4) / 1e4; };
    const Case cases[] = {
        {"rounded to 0.1 mm",
         [&](const GisPoint& p) {
             return GisPoint{toTenthOfMillimetre(p.x), toTenthOfMillimetre(p.y)};
         },
         112.5},
        {"moved 2 mm east",
         [](const GisPoint& p) {
             return GisPoint{p.x + 0.002, p.y};
         },
         0.0},
    };
    for (const Case& c : cases) {
        const json reply = setOrigin(kLat, kLon);
        API_GeoLocation geo = host::geoLocation();
        const GisPoint stored = c.stored({reply.at("e"), reply.at("n")});
        ASSERT_NE(stored.x, geo.surveyPoint.eastings) << c.what;
        geo.surveyPoint.eastings = stored.x;
        geo.surveyPoint.northings = stored.y;
        host::setGeoLocation(geo);

        ASSERT_TRUE(geoLocationRead(1)) << c.what;
        EXPECT_NEAR(host::geoLocation().surveyPoint.orthogonalHeight, c.height, 1e-6) << c.what;
        EXPECT_NEAR(host::geoLocation().placeInfo.altitude, c.height, 1e-6) << c.what;
    }
}

TEST_F(Origin, AHeightFoundForAnEarlierOriginIsNotAppliedToALaterOne) {
    const GisPoint east{point.x + 300, point.y};
    double lat = 0, lon = 0;
    ProjConv::pl1992ToLatLon(east.x, east.y, lat, lon);
    const fakes::GridSheet first = sheetAround("A", point, 120.0);
    fakes::serveTerrainModel(hosts, {first, sheetAround("B", east, 130.0)});
    loopback::Answer late = loopback::ok(fakes::ascGrid(first));
    late.delay = 800ms;
    hosts.openData.on(fakes::terrainSheetPath("A"), late);

    const double northing = setOrigin(kLat, kLon).at("n");
    const double eastNorthing = setOrigin(lat, lon).at("n");
    ASSERT_TRUE(geoLocationRead(2)) << "both heights came back";
    const API_SurveyPoint sp = host::geoLocation().surveyPoint;
    EXPECT_NE(northing, eastNorthing);
    EXPECT_EQ(sp.northings, eastNorthing);
    EXPECT_NEAR(sp.orthogonalHeight, 130.0, 1e-6) << "the later origin keeps its own height";
}

}  // namespace
