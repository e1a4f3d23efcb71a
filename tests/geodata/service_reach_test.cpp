// The service clients tell a service that answered with nothing from one that was not reached:
// no connection, an error status, or an answer of another kind, each with the reason the user
// is told. (The sheet indexes: sheet_index_test.cpp.)

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/Services.h"
#include "fakes/Wfs.h"
#include "geodata/EgibResolver.h"
#include "geodata/OsmClient.h"
#include "geodata/RuClient.h"
#include "geodata/WfsClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

constexpr const char* kWebPage = "<!DOCTYPE html><html><body>Przerwa techniczna</body></html>";

std::string refusedUrl(const std::string& path = "") {
    return "http://127.0.0.1:" + std::to_string(loopback::unusedPort()) + path;
}

void expectRefused(const ServiceReach& reach, const std::string& what) {
    EXPECT_FALSE(reach.reached) << what;
    EXPECT_TRUE(reach.silent) << what;
    EXPECT_TRUE(reach.reason.starts_with("Brak polaczenia z 127.0.0.1")) << what << reach.reason;
}

class ServiceReachOf : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::LoopbackServer server;
};

TEST_F(ServiceReachOf, CachedDownloadsTakeAMissingFileForAnAnswerButNotAnErrorOrAWebPage) {
    server.on("/missing", loopback::status(404));
    server.on("/broken", loopback::status(503));
    server.on("/page", loopback::ok(kWebPage, "text/html"));
    server.on("/sheet", loopback::ok("ncols 1"));
    struct Case {
        const char* path;
        bool reached;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"/sheet", true, ""},
        {"/missing", true, ""},
        {"/broken", false, "Serwer zwrocil status 503."},
        {"/page", false, "Serwer zwrocil strone WWW zamiast danych."},
    };
    for (const Case& c : cases) {
        WfsClient client;  // one per case: no spacing between them
        ServiceReach raw;
        client.getCachedRaw(server.url(c.path), 5000, raw);
        EXPECT_EQ(raw.reached, c.reached) << c.path;
        EXPECT_EQ(raw.reason, c.reason) << c.path;
        ServiceReach file;
        std::string error;
        client.getCachedFile(server.url(c.path) + "?plik", {}, 5000, error, file);
        EXPECT_EQ(file.reached, c.reached) << c.path << " as a file";
        EXPECT_FALSE(file.silent) << c.path;
    }
    WfsClient client;
    ServiceReach raw;
    EXPECT_EQ(client.getCachedRaw(refusedUrl("/sheet"), 5000, raw), "");
    expectRefused(raw, "raw");
    ServiceReach file;
    std::string error;
    EXPECT_EQ(client.getCachedFile(refusedUrl("/sheet"), {}, 5000, error, file), "");
    expectRefused(file, "file");
}

TEST_F(ServiceReachOf, ACountyWfsThatStopsAnsweringIsNoAreaWithoutParcels) {
    WfsClient client;
    EgibResolver resolver(client);
    EgibResolver::Typenames names;
    EXPECT_FALSE(resolver.discoverTypenames(refusedUrl("/wfs"), names));
    expectRefused(resolver.reach(), "capabilities");

    const Bbox west{500000, 300000, 500400, 300400};
    const Bbox east{501000, 300000, 501400, 300400};
    server.onRequest("/wfs",
                     fakes::FeatureWfs({{"ms:dzialki", {fakes::square("a", {500200, 300200}, 5)}},
                                        {"ms:budynki", {}}}));
    ASSERT_TRUE(resolver.discoverTypenames(server.url("/wfs"), names));
    EXPECT_TRUE(resolver.reach().reached);
    EXPECT_EQ(resolver.fetch(server.url("/wfs"), names.parcels, west, DataType::Dzialki, {}).size(),
              1u);
    EXPECT_TRUE(resolver.reach().reached);
    // The service fails between two areas: the variant it answered is asked again, in vain.
    server.on("/wfs", loopback::status(503));
    EXPECT_TRUE(
        resolver.fetch(server.url("/wfs"), names.parcels, east, DataType::Dzialki, {}).empty());
    EXPECT_FALSE(resolver.reach().reached);
    EXPECT_EQ(resolver.reach().reason, "Serwer zwrocil status 503.");
}

TEST_F(ServiceReachOf, ThePlanningRegisterAfterItsLastAttempt) {
    const loopback::ScopedEndpoints endpoints{
        {&services::Endpoints::planningRegister, server.url()}};
    WfsClient client;
    RuClient registry(client);
    fakes::PlanAct act{"77", "1465011"};
    fakes::PlanningRegister({act}).mount(server);
    EXPECT_TRUE(registry.queryByTeryt("0201011").empty());
    EXPECT_TRUE(registry.reach().reached) << "no act for that commune";
    EXPECT_EQ(server.count(fakes::PlanningRegister::kQueryPath), 1u);

    server.on("/api/public/published/77/download", loopback::ok(kWebPage, "text/html"));
    EXPECT_TRUE(registry.downloadZones({"77"}, DataType::Pog).empty());
    EXPECT_FALSE(registry.reach().reached);
    EXPECT_EQ(registry.reach().reason, "Serwer zwrocil strone WWW zamiast danych.");
    EXPECT_EQ(server.count("/api/public/published/77/download"), 3u) << "asked three times";
}

TEST_F(ServiceReachOf, OverpassGivesJsonOrIsNotReachedAndKeepsItsOwnText) {
    const loopback::ScopedEndpoints endpoints{{&services::Endpoints::overpass, server.url()}};
    struct Case {
        const char* what;
        loopback::Answer answer;
        bool reached;
        std::string error;  // the client's own text, as before
    };
    for (const Case& c : {Case{"no way", loopback::ok("{\"elements\":[]}"), true, ""},
                          Case{"a web page", loopback::ok(kWebPage, "text/html"), false, ""},
                          Case{"an error status", loopback::status(429), false,
                               "OSM (Overpass): usluga nie odpowiada (status 429)."}}) {
        server.on("/api/interpreter", c.answer);
        WfsClient client;
        std::string error;
        ServiceReach reach;
        EXPECT_TRUE(
            OsmClient::fetchWays({500000, 300000, 500500, 300500}, client, true, true, error, reach)
                .ways.empty());
        EXPECT_EQ(reach.reached, c.reached) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST(AnswerCutShort, TheServicesNoteInAsciiOnOneLineOrNone) {
    const std::string said = "T: usluga S przerwala odpowiedz - dane moga byc niepelne.";
    EXPECT_EQ(reachtext::answerCutShort("T: ", "S", " b\u0142\u0105d\n\t pami\u0119ci "),
              said + " Uwaga uslugi: b??d pami?ci.");
    EXPECT_EQ(reachtext::answerCutShort("T: ", "S", " \n"), said);
}

// The sheets a stage did without, counted in the word's form for the count.
TEST(SheetShortfall, NamesTheSheetsWithTheFormOfTheirCount) {
    const auto named = [](std::size_t count) {
        std::vector<std::string> names;
        for (std::size_t i = 1; i <= count; ++i)
            names.push_back("S" + std::to_string(i));
        return names;
    };
    const auto head = [](const std::string& sentence) {
        return sentence.substr(0, sentence.find(" ("));
    };
    struct Case {
        std::size_t count;
        const char* leftOut;
        const char* damaged;
    };
    const Case cases[] = {
        {1, "T: pominieto 1 kafel nie do uzycia",
         "T: 1 kafel uszkodzony - uzyto tylko punktow sprzed uszkodzenia"},
        {2, "T: pominieto 2 kafle nie do uzycia",
         "T: 2 kafle uszkodzone - uzyto tylko punktow sprzed uszkodzenia"},
        {4, "T: pominieto 4 kafle nie do uzycia",
         "T: 4 kafle uszkodzone - uzyto tylko punktow sprzed uszkodzenia"},
        {5, "T: pominieto 5 kafli nie do uzycia",
         "T: 5 kafli uszkodzonych - uzyto tylko punktow sprzed uszkodzenia"},
        {12, "T: pominieto 12 kafli nie do uzycia",
         "T: 12 kafli uszkodzonych - uzyto tylko punktow sprzed uszkodzenia"},
        {14, "T: pominieto 14 kafli nie do uzycia",
         "T: 14 kafli uszkodzonych - uzyto tylko punktow sprzed uszkodzenia"},
        {22, "T: pominieto 22 kafle nie do uzycia",
         "T: 22 kafle uszkodzone - uzyto tylko punktow sprzed uszkodzenia"},
        {112, "T: pominieto 112 kafli nie do uzycia",
         "T: 112 kafli uszkodzonych - uzyto tylko punktow sprzed uszkodzenia"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> sentences =
            reachtext::shortfall("T: ", {named(c.count), named(c.count)});
        ASSERT_EQ(sentences.size(), 2u);
        EXPECT_EQ(head(sentences[0]), c.leftOut);
        EXPECT_EQ(head(sentences[1]), c.damaged);
    }
    EXPECT_EQ(reachtext::shortfall("T: ", {{}, {"A", "B"}}),
              std::vector<std::string>{
                  "T: 2 kafle uszkodzone - uzyto tylko punktow sprzed uszkodzenia (A, B)."});
    EXPECT_EQ(reachtext::shortfall("T: ", {{"A"}, {}}),
              std::vector<std::string>{"T: pominieto 1 kafel nie do uzycia (A)."});
    EXPECT_TRUE(reachtext::shortfall("T: ", {}).empty());
}

}  // namespace
