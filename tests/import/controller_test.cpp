// The import controller's page handlers other than "fetch", through the map page's bridge:
// address search and suggestions against fake geocoders, the layer mapping and its settings,
// the page's start position and cancel.

#include <fstream>
#include <sstream>

#include "ImportPage.h"
#include "Settings.h"
#include "fakes/Services.h"

namespace {

using importtest::json;
using importtest::ofType;

class Controller : public importtest::ImportPage {
protected:
    const std::vector<fakes::Place> places = {
        {"Plac Defilad", "Plac Defilad", "1", "Warszawa", "Warszawa", 52.2318, 21.006},
        {"", "Marszalkowska", "104", "Warszawa", "", 52.2325, 21.0105}};

    // The one "addressSuggestions" event that answers a query.
    json suggestionsFor(const std::string& query) {
        const auto messages =
            postUntil({{"type", "searchAddressSuggest"}, {"query", query}}, "addressSuggestions");
        const auto events = ofType(messages, "addressSuggestions");
        EXPECT_EQ(events.size(), 1u);
        return events.empty() ? json() : events.front();
    }

    std::string settingsFile() const {
        std::ifstream in(Settings::defaultPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(Controller, AddressSearchAsksNominatimOnceAndReadsTheFirstHit) {
    hosts.nominatim.onRequest(fakes::Nominatim::kPath, fakes::Nominatim(places));
    EXPECT_EQ(page.ask(R"({"type":"searchAddress"})"), json({{"type", "addressResults"}}));
    EXPECT_EQ(page.ask(R"({"type":"searchAddress","query":""})"),
              json({{"type", "addressResults"}}));
    EXPECT_EQ(hosts.nominatim.count(), 0u) << "an empty query asks nothing";

    EXPECT_EQ(page.ask(R"({"type":"searchAddress","query":"plac defilad"})"),
              json({{"type", "addressResults"},
                    {"lat", 52.2318},
                    {"lon", 21.006},
                    {"label", "Plac Defilad, Plac Defilad 1, Warszawa, Warszawa"}}));
    EXPECT_EQ(fakes::param(hosts.nominatim.requests().back().query, "q"), "plac defilad");
    EXPECT_EQ(page.ask(R"({"type":"searchAddress","query":"Krakow"})"),
              json({{"type", "addressResults"}}))
        << "no hit";

    hosts.nominatim.on(fakes::Nominatim::kPath, loopback::ok(R"([{"lat":"52,1","lon":"21"}])"));
    EXPECT_EQ(page.ask(R"({"type":"searchAddress","query":"x"})").at("msg"),
              "Blad wewnetrzny: Nieprawidlowa wspolrzedna z Nominatim: 52,1");
    hosts.nominatim.on(fakes::Nominatim::kPath, loopback::status(404));
    EXPECT_EQ(page.ask(R"({"type":"searchAddress","query":"x"})"),
              json({{"type", "error"}, {"msg", "Wyszukiwarka adresow nie odpowiada (Nominatim)"}}));
}

TEST_F(Controller, SuggestionsComeAsOneEventPerQueryOfThreeBytesOrMore) {
    hosts.photon.onRequest(fakes::Photon::kPath, fakes::Photon(places));
    EXPECT_TRUE(page.post(R"({"type":"searchAddressSuggest","query":"ul"})").empty());
    host::pumpFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(page.received().empty());
    EXPECT_EQ(hosts.photon.count(), 0u);

    const json found = suggestionsFor("war");
    EXPECT_EQ(found.at("query"), "war");
    ASSERT_EQ(found.at("items").size(), 2u);
    EXPECT_EQ(found["items"][1],
              json({{"lat", 52.2325}, {"lon", 21.0105}, {"label", "Marszalkowska 104, Warszawa"}}));
    EXPECT_EQ(fakes::param(hosts.photon.requests().back().query, "limit"), "5");

    // Coordinates that are no numbers, too few of them, or no label: left out, the rest stays.
    hosts.photon.on(fakes::Photon::kPath, loopback::ok(R"({"features":[
        {"geometry":{"coordinates":["21","52"]},"properties":{"name":"A"}},
        {"geometry":{"coordinates":[21]},"properties":{"name":"B"}},
        {"geometry":{"coordinates":[21,52]},"properties":{}},
        {"geometry":{"coordinates":[21,52,100]},"properties":{"name":"C"}}]})"));
    EXPECT_EQ(suggestionsFor("abc").at("items"),
              json::parse(R"([{"label":"C","lat":52,"lon":21}])"));

    hosts.photon.on(fakes::Photon::kPath, loopback::status(500));
    EXPECT_EQ(suggestionsFor("ulica").at("items"), json::array()) << "a failure still answers";
}

TEST_F(Controller, LayerMappingOfAllKindsAndSettingsThatChangeWholeOrNotAtAll) {
    host::addLayer("Moje dzialki");
    const json listed = page.ask(R"({"type":"getLayers"})");
    EXPECT_EQ(listed.at("type"), "layerList");
    EXPECT_EQ(listed.at("layers").back(), "Moje dzialki");
    ASSERT_EQ(listed.at("mapping").size(), 20u);
    for (const DataType type : Settings::wszystkieTypy())
        EXPECT_EQ(listed["mapping"][Settings::keyOf(type)], Settings::defaultLayerOf(type));

    EXPECT_TRUE(page.post(R"({"type":"settingsChanged"})").empty());
    EXPECT_TRUE(settingsFile().empty()) << "nothing saved without a mapping";

    EXPECT_TRUE(
        page.post(R"({"type":"settingsChanged","mapping":{"dzialki":"Moje dzialki","inne":"X"}})")
            .empty());
    EXPECT_EQ(json::parse(settingsFile())["layers"]["dzialki"], "Moje dzialki");

    // One value that is no layer name: nothing changes, in memory or on disk.
    const std::string saved = settingsFile();
    EXPECT_EQ(page.ask(R"({"type":"settingsChanged","mapping":{"budynki":"B","pog":5}})"),
              json({{"type", "error"},
                    {"msg",
                     "Nieprawidlowe mapowanie warstw: wartosc dla \"pog\" nie jest nazwa "
                     "warstwy. Nic nie zmieniono."}}));
    EXPECT_EQ(settingsFile(), saved);
    const json after = page.ask(R"({"type":"getLayers"})");
    EXPECT_EQ(after["mapping"]["budynki"], "GIS_BUDYNKI");
    EXPECT_EQ(after["mapping"]["dzialki"], "Moje dzialki");

    EXPECT_TRUE(page.post(R"({"type":"settingsChanged","mapping":{"dzialki":""}})").empty());
    EXPECT_EQ(page.ask(R"({"type":"getLayers"})")["mapping"]["dzialki"], "GIS_DZIALKI")
        << "an empty name means the default layer";

    // A name longer than a layer's is kept as the layer keeps it, in the file too: 255 bytes,
    // cut before a two-byte letter that would end past them.
    const std::string longName = std::string(254, 'a') + "\xC5\x82" + std::string(3 << 20, 'b');
    EXPECT_TRUE(
        page.post(json{{"type", "settingsChanged"}, {"mapping", {{"mosty", longName}}}}).empty());
    EXPECT_EQ(json::parse(settingsFile())["layers"]["mosty"], std::string(254, 'a'));
    EXPECT_EQ(page.ask(R"({"type":"getLayers"})")["mapping"]["mosty"], std::string(254, 'a'));
}

TEST_F(Controller, StartPositionAndCancel) {
    EXPECT_TRUE(page.post(R"({"type":"getInit"})").empty()) << "no georeference, no answer";

    // A survey point in zone 2178 (Warsaw's Palace of Culture, about).
    API_GeoLocation geo{};
    geo.surveyPoint.eastings = 7500700.0;
    geo.surveyPoint.northings = 5789000.0;
    geo.surveyPoint.geoReferenceData.name = "ETRS89 / Poland CS2000 zone 7 (EPSG:2178)";
    host::setGeoLocation(geo);
    const json init = page.ask(R"({"type":"getInit"})");
    EXPECT_EQ(init.at("zoom"), 17);
    EXPECT_NEAR(init.at("lat").get<double>(), 52.23, 0.01);
    EXPECT_NEAR(init.at("lon").get<double>(), 21.01, 0.01);

    // A survey point that an origin far from Poland once left (1e27 m east) is no position.
    geo.surveyPoint.eastings = 1.37e27;
    host::setGeoLocation(geo);
    EXPECT_TRUE(page.post(R"({"type":"getInit"})").empty());

    EXPECT_EQ(page.ask(R"({"type":"cancel"})"), json({{"type", "cancelled"}}));
}

}  // namespace
