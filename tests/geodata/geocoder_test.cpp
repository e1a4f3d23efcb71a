#include "geodata/Geocoder.h"

#include <gtest/gtest.h>

#include "geodata/ServiceConfig.h"

using nlohmann::json;

TEST(GeocoderUrl, EncodesEveryUtf8ByteAndKeepsSuggestionsInPoland) {
    services::Endpoints loopback;
    loopback.photon = "http://127.0.0.1:8099";
    services::setEndpoints(loopback);
    const std::string url = Geocoder::buildPhotonUrl("Kraków, Długa 5", 5);
    services::resetEndpoints();

    EXPECT_EQ(url,
              "http://127.0.0.1:8099/api/?q=Krak%C3%B3w%2C%20D%C5%82uga%205"
              "&limit=5&bbox=14.1,49.0,24.2,54.9");
}

TEST(GeocoderUrl, LeavesUnreservedCharactersAndWritesTheLimit) {
    services::resetEndpoints();
    const std::string url = Geocoder::buildPhotonUrl("a-b.c_d~e", 12);
    EXPECT_EQ(url,
              services::endpoints().photon + "/api/?q=a-b.c_d~e&limit=12&bbox=14.1,49.0,24.2,54.9");
}

TEST(GeocoderLabel, JoinsThePresentTextPartsInOrder) {
    EXPECT_EQ(Geocoder::buildSuggestionLabel({{"city", "Kraków"}}), "Kraków");
    EXPECT_EQ(Geocoder::buildSuggestionLabel(
                  {{"street", "Długa"}, {"housenumber", "5"}, {"city", "Kraków"}, {"name", ""}}),
              "Długa 5, Kraków");
    EXPECT_EQ(Geocoder::buildSuggestionLabel({{"name", "Sukiennice"},
                                              {"street", "Rynek Główny"},
                                              {"housenumber", "1"},
                                              {"city", "Kraków"},
                                              {"county", "Kraków"}}),
              "Sukiennice, Rynek Główny 1, Kraków, Kraków");
}

TEST(GeocoderLabel, IgnoresWhatIsNotText) {
    EXPECT_EQ(Geocoder::buildSuggestionLabel({{"street", "Długa"}, {"housenumber", 5}}), "Długa");
    EXPECT_EQ(Geocoder::buildSuggestionLabel({{"housenumber", "5"}, {"city", "Gdynia"}}), "Gdynia");
    EXPECT_EQ(Geocoder::buildSuggestionLabel({{"name", nullptr}, {"city", json::array()}}), "");
    EXPECT_EQ(Geocoder::buildSuggestionLabel(json()), "");
    EXPECT_EQ(Geocoder::buildSuggestionLabel(json::array({"name", "x"})), "");
}
