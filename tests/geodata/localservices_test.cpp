// County and commune service tables and LocalServices: the shape of the generated tables, the key
// rule of the lookups, the county override, and the names read from capabilities texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "geodata/LocalServices.h"
#include "geodata/ServiceConfig.h"
#include "geodata/ServiceTables.h"

namespace {

using Names = std::vector<std::string>;

std::string capabilities(const Names& names) {
    std::string text = "<WMS_Capabilities><Capability><Layer>";
    for (const std::string& name : names)
        text += "<Layer><Name>" + name + "</Name><Title>t</Title></Layer>";
    return text + "</Layer></Capability></WMS_Capabilities>";
}

bool isAddress(std::string_view endpoint) {
    return endpoint.starts_with("https://") || endpoint.starts_with("http://");
}

TEST(ServiceTables, CountyTablesShareTheKeysInAscendingOrder) {
    for (const auto table : {EgibUrls::TABLE, GesutUrls::TABLE, Bdot500Urls::TABLE}) {
        ASSERT_EQ(table.size(), 380u);
        EXPECT_EQ(table.front().teryt, "0201");
        EXPECT_EQ(table.back().teryt, "3263");
        for (std::size_t i = 0; i < table.size(); ++i) {
            EXPECT_EQ(table[i].teryt, EgibUrls::TABLE[i].teryt);
            EXPECT_EQ(table[i].teryt.size(), 4u);
            if (i > 0) {
                EXPECT_LT(table[i - 1].teryt, table[i].teryt);
            }
            for (const std::string_view cell : {table[i].wms, table[i].wfs}) {
                EXPECT_TRUE(cell.empty() || isAddress(cell)) << cell;
                EXPECT_EQ(cell.find_first_of(" \"\\"), std::string_view::npos) << cell;
            }
        }
    }
    EXPECT_EQ(servicetables::find(EgibUrls::TABLE, "1431", 4), nullptr) << "there is no 1431";
    EXPECT_NE(servicetables::find(EgibUrls::TABLE, "1432", 4), nullptr);
    EXPECT_NE(servicetables::find(EgibUrls::TABLE, "2479", 4), nullptr);
}

TEST(ServiceTables, EveryCountyHasALandRegistryService) {
    for (const ServiceRow& row : EgibUrls::TABLE)
        EXPECT_TRUE(isAddress(row.wfs)) << row.teryt;
}

TEST(ServiceTables, CommuneKeysAreSixDigitsWithinKnownCounties) {
    ASSERT_FALSE(MpzpUrls::TABLE.empty());
    for (std::size_t i = 0; i < MpzpUrls::TABLE.size(); ++i) {
        const ServiceRow& row = MpzpUrls::TABLE[i];
        EXPECT_EQ(row.teryt.size(), 6u);
        EXPECT_NE(servicetables::find(EgibUrls::TABLE, row.teryt, 4), nullptr) << row.teryt;
        EXPECT_TRUE(isAddress(row.wms) || isAddress(row.wfs)) << row.teryt;
        if (i > 0) {
            EXPECT_LT(MpzpUrls::TABLE[i - 1].teryt, row.teryt);
        }
    }
}

// One endpoint line of data/county-services.csv.
struct SourcedLine {
    std::string teryt;
    std::string service;
    std::string url;
};

std::vector<SourcedLine> sourcedLines() {
    std::ifstream csv(std::string(TW_SOURCE_DIR) + "/data/county-services.csv");
    std::vector<SourcedLine> lines;
    std::string line;
    std::getline(csv, line);  // the header
    while (std::getline(csv, line)) {
        std::istringstream fields(line);
        SourcedLine sourced;
        std::getline(fields, sourced.teryt, ',');
        std::getline(fields, sourced.service, ',');
        std::getline(fields, sourced.url, ',');
        lines.push_back(std::move(sourced));
    }
    return lines;
}

bool isCommuneService(const std::string& service) {
    return service.starts_with("mpzp_");
}

std::span<const ServiceRow> tableOf(const std::string& service) {
    if (service.starts_with("egib_"))
        return EgibUrls::TABLE;
    if (service.starts_with("gesut_"))
        return GesutUrls::TABLE;
    if (service.starts_with("bdot500_"))
        return Bdot500Urls::TABLE;
    return MpzpUrls::TABLE;
}

// The sourced list read independently of the generator: every endpoint a county or commune code
// should find, the first line of a code and service winning, and the number of communes.
TEST(ServiceTables, EverySourcedEndpointIsFoundByItsCode) {
    const std::vector<SourcedLine> lines = sourcedLines();
    ASSERT_GT(lines.size(), 1000u);
    std::map<std::pair<std::string, std::string>, std::string> expected;  // (service, key) -> url
    std::set<std::string> communes;
    for (const SourcedLine& line : lines) {
        const bool commune = isCommuneService(line.service);
        if (!commune && line.teryt.size() == 7)
            continue;  // a commune's own land-registry service has no place in the county tables
        const std::string key = line.teryt.substr(0, commune ? 6 : 4);
        expected.emplace(std::pair(line.service, key), line.url);
        if (commune)
            communes.insert(key);
    }
    EXPECT_EQ(MpzpUrls::TABLE.size(), communes.size());

    for (const auto& [of, url] : expected) {
        const auto& [service, key] = of;
        const std::size_t keyLength = isCommuneService(service) ? 6 : 4;
        const ServiceRow* row = servicetables::find(tableOf(service), key, keyLength);
        ASSERT_NE(row, nullptr) << service << " " << key;
        EXPECT_EQ(service.ends_with("_wms") ? row->wms : row->wfs, url) << service << " " << key;
    }
    for (const SourcedLine& line : lines) {
        if (line.service == "mpzp_wms") {
            EXPECT_EQ(LocalServices::mpzpFor(line.teryt).wms,
                      expected.at({line.service, line.teryt.substr(0, 6)}))
                << line.teryt;
        }
    }
}

TEST(LocalServicesLookup, KeyIsTheLeadingDigitsOfTheCode) {
    const auto empty = [](const LocalServices::Service& s) {
        return s.wms.empty() && s.wfs.empty();
    };
    EXPECT_TRUE(empty(LocalServices::gesutFor("02")));
    EXPECT_TRUE(empty(LocalServices::gesutFor("0299")));
    EXPECT_TRUE(empty(LocalServices::bdot500For("")));
    EXPECT_TRUE(empty(LocalServices::mpzpFor("02100")));
    EXPECT_TRUE(empty(LocalServices::mpzpFor("999999")));

    const LocalServices::Service lublin = LocalServices::bdot500For("0663011");
    EXPECT_FALSE(lublin.wms.empty());
    EXPECT_TRUE(lublin.wfs.empty()) << "a row with an empty WFS cell";

    const ServiceRow& first = MpzpUrls::TABLE.front();
    const std::string commune = std::string(first.teryt) + "2";
    EXPECT_EQ(LocalServices::mpzpFor(commune).wms, first.wms) << "7-digit code, 6-digit key";
    EXPECT_EQ(LocalServices::mpzpFor(commune + "_AR_1.23/4").wms, first.wms);
}

TEST(LocalServicesLookup, CountyOverrideReplacesSchemeAndHost) {
    services::Endpoints e = services::endpoints();
    e.countyOverride = "http://127.0.0.1:9001/";
    services::setEndpoints(e);
    EXPECT_EQ(LocalServices::bdot500For("0663").wms, "http://127.0.0.1:9001/integracja/bdot500/");
    EXPECT_TRUE(LocalServices::bdot500For("0663").wfs.empty()) << "an empty cell stays empty";
    for (const ServiceRow& row : MpzpUrls::TABLE) {
        const std::string wms = LocalServices::mpzpFor(row.teryt).wms;
        const std::size_t path = row.wms.find_first_of("/?", row.wms.find("://") + 3);
        EXPECT_EQ(wms, "http://127.0.0.1:9001" + std::string(row.wms.substr(path)));
    }
    services::resetEndpoints();
    EXPECT_EQ(LocalServices::bdot500For("0663").wms,
              std::string(servicetables::find(Bdot500Urls::TABLE, "0663", 4)->wms));
}

TEST(LocalServicesNames, LayerNamesWithoutGenericAndBlankNames) {
    const std::string text = capabilities({"WMS", "default", "dwa slowa", "bud_ot", "bud_ot"});
    EXPECT_EQ(LocalServices::wmsLayerNames(text), Names{"bud_ot"});
    EXPECT_EQ(LocalServices::wmsLayersForType(text, DataType::Bdot500), Names{"bud_ot"});
}

TEST(LocalServicesNames, LayersOfAKindByKeywords) {
    const std::string text = capabilities(
        {"Przewod_Wod", "strefa_przewodu", "SIEC_gaz", "ortofoto", "OT_budowle", "Rzezba"});
    EXPECT_EQ(LocalServices::wmsLayersForType(text, DataType::Gesut),
              (Names{"Przewod_Wod", "SIEC_gaz"}));
    EXPECT_EQ(LocalServices::wmsLayersForType(text, DataType::Bdot500),
              (Names{"OT_budowle", "Rzezba"}));
    EXPECT_EQ(LocalServices::wmsLayersForType(text, DataType::Mpzp),
              LocalServices::wmsLayerNames(text));
}

TEST(LocalServicesNames, NameScanningOfOddTexts) {
    const std::string odd =
        "<Name/><Name>a</Name><Name>dwie\nlinie</Name><Name attr=\"1\">b</Name><Name></Name>"
        "<NameX>c</NameX><ns:Name>d</ns:Name><Name>e</Name><Name>f";
    EXPECT_EQ(LocalServices::wmsLayerNames(odd), (Names{"a", "b", "", "c", "e"}));
    EXPECT_TRUE(LocalServices::wmsLayerNames("<Name").empty());
    EXPECT_TRUE(LocalServices::wmsLayerNames("").empty());
}

TEST(LocalServicesNames, UtilityLineTypes) {
    const std::string text =
        capabilities({"ms:GESUT_PRZEWOD_wod", "ms:urzadzenie", "ms:GESUT_PRZEWOD_wod", "default"});
    EXPECT_EQ(LocalServices::gesutLineTypenames(text), Names{"ms:GESUT_PRZEWOD_wod"});
}

TEST(LocalServicesNames, ZoningPlanTypesAreasFirstAtMostFive) {
    const std::string text =
        capabilities({"linie_zabudowy", "teren1", "teren2", "Przeznaczenie", "plan_a", "plan_b",
                      "plan_c", "granice_planu", "zasieg_planow", "obrys", "plan", "jednostki"});
    EXPECT_EQ(LocalServices::mpzpVectorTypenames(text),
              (Names{"teren1", "teren2", "Przeznaczenie", "plan_a", "plan_b"}));
    const std::string few = capabilities({"linie_zabudowy", "teren1", "teren1", "jednostki"});
    EXPECT_EQ(LocalServices::mpzpVectorTypenames(few),
              (Names{"teren1", "linie_zabudowy", "jednostki"}));
}

}  // namespace
