// The building-package stages through the map page against the fake open-data host: the county's
// LoD1 package of the newest published year and its LoD2 package, the side index, damaged
// packages, download progress and cancel.

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

#include "builders/CityGmlBuilder.h"
#include "fakes/BuildingPackages.h"
#include "geodata/B3dArchive.h"
#include "geodata/B3dCatalog.h"
#include "geodata/ProjConv.h"
#include "geodata/Sha1.h"
#include "import/ImportController.h"
#include "import/ImportPage.h"
#include "import/fetch/ImportBuildingStages.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;
using importtest::ofType;
using namespace std::chrono_literals;

constexpr const char* kCounty = "1465";
constexpr const char* kNoLod2 =
    "Brak budynkow LOD2 dla tego obszaru (pokrycie GUGiK ~236/380 powiatow).";

TEST(PackageProgress, PercentOfAKnownSizeAndTheBytesSoFar) {
    using buildingstages::packageProgress;
    const auto known = packageProgress("Modele 3D: pobieranie ", 512, 2048);
    EXPECT_EQ(known.percent, 25);
    EXPECT_EQ(known.label, "Modele 3D: pobieranie 512 B / 2,0 KB");
    EXPECT_EQ(packageProgress("P ", 2047, 2048).percent, 99) << "whole percent, truncated";
    const auto unknown = packageProgress("Budynki LOD2: pobieranie ", 3 << 20, 0);
    EXPECT_EQ(unknown.percent, 0);
    EXPECT_EQ(unknown.label, "Budynki LOD2: pobieranie 3,0 MB") << "no size: no \" / \"";
}

TEST(PackageProgress, OneReportPerWholePercentOrPerHundredMilliseconds) {
    buildingstages::ProgressThrottle throttle;
    const auto t0 = std::chrono::steady_clock::time_point() + 1h;
    EXPECT_TRUE(throttle.due(0, t0)) << "the first report";
    EXPECT_FALSE(throttle.due(0, t0 + 99ms));
    EXPECT_TRUE(throttle.due(1, t0 + 99ms)) << "a new percent";
    EXPECT_FALSE(throttle.due(1, t0 + 150ms));
    EXPECT_TRUE(throttle.due(1, t0 + 199ms)) << "100 ms after the last report";
    EXPECT_FALSE(throttle.due(1, t0 + 200ms));
    EXPECT_TRUE(throttle.due(0, t0 + 200ms)) << "any other percent";
}

class BuildingPackages : public importtest::ImportPage {
protected:
    void SetUp() override {
        ImportPage::SetUp();
        fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    }

    // A block of 16 x 12 m whose south-west corner lies at (dx, dy) from the frame's centre.
    Building3D block(const std::string& id, double dx, double dy) const {
        const double x = centre.x + dx;
        const double y = centre.y + dy;
        return {id, {{x, y}, {x + 16, y}, {x + 16, y + 12}, {x, y + 12}, {x, y}}, 100.0, 9.0};
    }

    // Two sheets: one over the frame with two blocks, one 5 km east with another.
    std::vector<fakes::Lod1Sheet> lod1Sheets() const {
        return {{"near.gml", around(0, 0, 500), {block("b1", -50, -50), block("b2", 40, 30)}},
                {"far.gml", around(5000, 0, 500), {block("b3", 5000, 0)}}};
    }
    std::vector<fakes::Lod2Sheet> lod2Sheets() const {
        return {{"near.gml", around(0, 0, 500), {fakes::lod2Block(block("B1", -50, -50))}}};
    }

    Bbox around(double dx, double dy, double half) const {
        return {centre.x + dx - half, centre.y + dy - half, centre.x + dx + half,
                centre.y + dy + half};
    }

    static std::string cachedPackage(int year) {
        return WfsClient::cacheFilePathFor(B3dCatalog::urlForResolvedTeryt(kCounty, year), "zip");
    }

    json fetchDone(const std::vector<std::string>& keys) {
        return fetch(demo.frameWgs84, keys).back();
    }

    static const ImportController::FetchedData& fetched() {
        return ImportController::Instance().lastFetch();
    }

    // Posts a fetch and runs the main loop until ready() holds; the messages received meanwhile.
    std::vector<json> startFetch(const std::vector<std::string>& keys,
                                 const std::function<bool(const std::vector<json>&)>& ready) {
        std::vector<json> messages =
            page.post(json{{"type", "fetch"}, {"bboxWgs84", demo.frameWgs84}, {"layers", keys}});
        EXPECT_TRUE(host::pumpUntil(
            [&] {
                for (json& m : page.received())
                    messages.push_back(std::move(m));
                return ready(messages);
            },
            10s));
        return messages;
    }

    const fakes::Scenario demo = fakes::demoScenario();
    const GisPoint centre = ProjConv::latLonToPl1992(52.2297, 21.0122);
};

TEST_F(BuildingPackages, BlocksAndSolidsOfTheSheetsThatMeetTheFrameFromAnIndexedCachedPackage) {
    fakes::serveLod1Package(hosts, kCounty, 2024, lod1Sheets());
    fakes::serveLod2Package(hosts, kCounty, lod2Sheets());
    const auto messages = fetch(demo.frameWgs84, {"budynkilod2", "budynki3d"});
    const json& done = messages.back();
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 2}, {"budynkilod2", 1}}));
    EXPECT_FALSE(done.contains("warning")) << done;

    const ImportController::FetchedData& data = fetched();
    ASSERT_EQ(data.lod1.size(), 2u);
    EXPECT_EQ(data.lod1[0].id, "b1");
    EXPECT_EQ(data.lod1[1].id, "b2");
    EXPECT_TRUE(data.lod1Requested);
    EXPECT_EQ(data.lod1Status, "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2");
    ASSERT_EQ(data.lod2.size(), 1u);
    EXPECT_EQ(data.lod2[0].faces.size(), 6u);
    EXPECT_EQ(data.lod2Status, "Budynki LOD2: powiat 1465, budynkow w kadrze: 1");

    // The download's bytes in whole percent, cancellable; then the one sheet that meets the frame,
    // cancellable too.
    const auto progress = ofType(messages, "progress");
    const auto download = std::find_if(progress.begin(), progress.end(), [](const json& p) {
        return p.at("label").get<std::string>().starts_with("Modele 3D: pobieranie ");
    });
    ASSERT_NE(download, progress.end());
    EXPECT_EQ(download->at("cancellable"), true);
    EXPECT_EQ(download->at("total"), 100);
    const json sheets = {{"type", "progress"},
                         {"done", 0},
                         {"total", 1},
                         {"label", "Modele 3D"},
                         {"cancellable", true}};
    EXPECT_NE(std::find(download, progress.end(), sheets), progress.end());
    EXPECT_TRUE(std::filesystem::exists(B3dArchive::indexPathFor(cachedPackage(2024))));

    // Again: the cached package and its index, nothing downloaded.
    const std::size_t asked = hosts.openData.count();
    EXPECT_EQ(fetchDone({"budynki3d", "budynkilod2"}).at("counts"),
              json({{"budynki3d", 2}, {"budynkilod2", 1}}));
    EXPECT_EQ(hosts.openData.count(), asked);

    // A package newer than its side index (the old package swept, the address downloaded again)
    // is indexed anew: its own sheets are read, none of the old index.
    std::vector<fakes::Lod1Sheet> moved = lod1Sheets();
    moved[0].name = "moved.gml";
    std::ofstream(cachedPackage(2024), std::ios::binary | std::ios::trunc)
        << fakes::lod1Package(kCounty, moved);
    std::filesystem::last_write_time(
        cachedPackage(2024),
        std::filesystem::last_write_time(B3dArchive::indexPathFor(cachedPackage(2024))) + 1s);
    const json again = fetchDone({"budynki3d"});
    EXPECT_FALSE(again.contains("warning")) << again;
    EXPECT_EQ(again.at("counts"), json({{"budynki3d", 2}}));
}

// A building with a vertex a million kilometres away is damaged: each package's stage leaves it
// out and counts it, and keeps the buildings around it.
TEST_F(BuildingPackages, DamagedBuildingsAreLeftOutAndCounted) {
    Building3D spiked = block("d", 0, 0);
    spiked.footprint.insert(spiked.footprint.begin() + 1, {centre.x + 8, centre.y - 1e9});
    std::vector<fakes::Lod1Sheet> lod1 = lod1Sheets();
    lod1[0].buildings.insert(lod1[0].buildings.begin() + 1, spiked);
    fakes::serveLod1Package(hosts, kCounty, 2024, lod1);
    std::vector<fakes::Lod2Sheet> lod2 = lod2Sheets();
    lod2[0].buildings.push_back(fakes::lod2Block(spiked));
    lod2[0].buildings.push_back(fakes::lod2Block(block("B2", 40, 30)));
    fakes::serveLod2Package(hosts, kCounty, lod2);
    const json done = fetchDone({"budynki3d", "budynkilod2"});
    EXPECT_EQ(done.at("warning"),
              "Modele 3D: pominieto uszkodzone budynki: 1 (bledne wspolrzedne). Budynki LOD2: "
              "pominieto uszkodzone budynki: 1 (bledne wspolrzedne).");
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 2}, {"budynkilod2", 2}}));
    ASSERT_EQ(fetched().lod1.size(), 2u);
    EXPECT_EQ(fetched().lod1[0].id, "b1");
    EXPECT_EQ(fetched().lod1[1].id, "b2");
    EXPECT_EQ(fetched().lod1Status, "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2");
}

TEST_F(BuildingPackages, AnOlderYearIsTakenWithoutAWordOfTheNewerOnesMissing) {
    fakes::serveLod1Package(hosts, kCounty, 2022, lod1Sheets());
    EXPECT_FALSE(fetchDone({"budynki3d"}).contains("warning"));
    EXPECT_EQ(fetched().lod1Status, "Modele 3D: LOD1 2022, powiat 1465, budynkow w kadrze: 2");
    EXPECT_EQ(hosts.openData.count(fakes::lod1PackagePath(kCounty, 2024)), 1u);
}

// A package whose entry of that name has a CRC that its data does not match: its beginning
// reads, the whole entry does not.
std::string withBrokenEntry(std::string package, const std::string& name) {
    const std::size_t local = package.find(name) - 30;
    const std::size_t central = package.find(name, local + 30 + name.size()) - 46;
    package[local + 14] = static_cast<char>(~package[local + 14]);
    package[central + 16] = static_cast<char>(~package[central + 16]);
    return package;
}

// A package whose entry of that name has its deflated data damaged behind intact headers: its
// first block claims a type that does not exist, so not even its beginning reads.
std::string withDamagedData(std::string package, const std::string& name) {
    const std::size_t local = package.find(name) - 30;
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(package[at]); };
    const std::size_t extra = byte(local + 28) | byte(local + 29) << 8;
    package[local + 30 + name.size() + extra] = '\xff';
    return package;
}

// A side index of the lines, with their checksum: it reads as whole.
std::string signedIndex(const std::string& lines) {
    return "B3DIDX1 3 " + sha1Hex(lines) + "\n" + lines;
}

// A side index edited after its first line, then signed again: only its comparison with the
// package can find what is wrong.
std::function<std::string(const std::string&)> resigned(
    const std::function<std::string(std::string)>& edit) {
    return [edit](const std::string& index) {
        return signedIndex(edit(index.substr(index.find('\n') + 1)));
    };
}

// Where the line of the sheet begins in the lines of an index, and where it ends (at its LF).
std::pair<std::size_t, std::size_t> lineOf(const std::string& lines, const std::string& name) {
    const std::size_t begin = lines.find(name + "\t");
    return {begin, lines.find('\n', begin)};
}

// A package that did not come of several years, a sheet of several that does not come out of
// its package or is no whole CityGML document, and a side index damaged between two fetches: the
// buildings of the year and the sheets taken are kept, and the warning says what is missing.
TEST_F(BuildingPackages, APackageOrASheetThatDidNotComeIsToldAndTheOthersAreKept) {
    // A second sheet over the frame, long enough that its beginning is indexed alone.
    std::vector<Building3D> many;
    for (int i = 0; i < 60; ++i)
        many.push_back(block("m" + std::to_string(i), -200 + 5 * i, 200));
    std::vector<fakes::Lod1Sheet> lod1 = lod1Sheets();
    lod1.push_back({"near2.gml", around(0, 0, 500), many});
    std::vector<fakes::Lod2Sheet> lod2 = lod2Sheets();
    lod2.push_back({"near2.gml", around(0, 0, 500), {}});
    for (const Building3D& b : many)
        lod2.back().buildings.push_back(fakes::lod2Block(b));

    const std::string webPage = "<!DOCTYPE html><html><body>Przerwa techniczna</body></html>";
    // The sheet over the frame after the one far away, so that an index that loses its later
    // lines still loads.
    const std::vector<fakes::Lod1Sheet> farFirst = {lod1Sheets()[1], lod1Sheets()[0]};
    const std::string near = "1465/near.gml";
    struct Case {
        const char* name;
        std::function<void()> serve;
        std::vector<std::string> keys;
        json counts;
        std::string warning;
        std::string lod1Status;
        // What becomes of the LoD1 package's side index between the two fetches.
        std::function<std::string(const std::string&)> damageIndex;
    };
    const std::string lod1Of2024 = "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2";
    // A case of a sound LoD1 package whose side index is damaged between the two fetches: every
    // building of the first fetch comes again.
    const auto indexDamaged = [&](const char* name, std::vector<fakes::Lod1Sheet> sheets,
                                  const std::function<std::string(std::string)>& edit) {
        return Case{name,
                    [&, sheets] { fakes::serveLod1Package(hosts, kCounty, 2024, sheets); },
                    {"budynki3d"},
                    {{"budynki3d", 2}},
                    "",
                    lod1Of2024,
                    resigned(edit)};
    };
    const Case cases[] = {
        {"the newest year answers 503",
         [&] {
             hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024), loopback::status(503));
             fakes::serveLod1Package(hosts, kCounty, 2022, lod1Sheets());
         },
         {"budynki3d"},
         {{"budynki3d", 2}},
         "Modele 3D: paczka LOD1 z roku 2024 nie przyszla - uzyto paczki z roku 2022. Powod: "
         "Serwer zwrocil status 503.",
         "Modele 3D: LOD1 2022, powiat 1465, budynkow w kadrze: 2"},
        {"the newest year answers a web page",
         [&] {
             hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024),
                               loopback::ok(webPage, "text/html"));
             hosts.openData.on(fakes::lod1PackagePath(kCounty, 2022), loopback::status(404));
             fakes::serveLod1Package(hosts, kCounty, 2021, lod1Sheets());
         },
         {"budynki3d"},
         {{"budynki3d", 2}},
         "Modele 3D: paczka LOD1 z roku 2024 nie przyszla - uzyto paczki z roku 2021. Powod: "
         "Serwer zwrocil strone WWW zamiast pliku.",
         "Modele 3D: LOD1 2021, powiat 1465, budynkow w kadrze: 2"},
        {"a sheet of each package does not come out of it",
         [&] {
             hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024),
                               loopback::ok(withBrokenEntry(fakes::lod1Package(kCounty, lod1),
                                                            "1465/near2.gml")));
             hosts.openData.on(fakes::lod2PackagePath(kCounty),
                               loopback::ok(withBrokenEntry(fakes::lod2Package(kCounty, lod2),
                                                            "1465/near2.gml")));
         },
         {"budynki3d", "budynkilod2"},
         {{"budynki3d", 2}, {"budynkilod2", 1}},
         "Modele 3D: pominieto 1 kafel nie do uzycia (1465/near2.gml). Budynki LOD2: pominieto 1 "
         "kafel nie do uzycia (1465/near2.gml).",
         "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2"},
        {"the data of a sheet of the package is damaged",
         [&] {
             hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024),
                               loopback::ok(withDamagedData(fakes::lod1Package(kCounty, lod1),
                                                            "1465/near2.gml")));
         },
         {"budynki3d"},
         {{"budynki3d", 2}},
         "Modele 3D: pominieto 1 kafel nie do uzycia (1465/near2.gml).",
         "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2"},
        {"a sheet of the LoD2 package is no CityGML",
         [&] {
             fakes::serveLod1Package(hosts, kCounty, 2024, lod1Sheets());
             hosts.openData.on(
                 fakes::lod2PackagePath(kCounty),
                 loopback::ok(fakes::lod2Package(kCounty, lod2Sheets(), {{"opis.gml", webPage}})));
         },
         {"budynki3d", "budynkilod2"},
         {{"budynki3d", 2}, {"budynkilod2", 1}},
         "Budynki LOD2: pominieto 1 kafel nie do uzycia (1465/opis.gml).",
         "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2"},
        {"a sheet of the package is cut off inside a building",
         [&] {
             const std::string cutOff = citygmltest::sheet("", around(0, 0, 500)) +
                                        "<core:cityObjectMember><bldg:Building>";
             hosts.openData.on(
                 fakes::lod1PackagePath(kCounty, 2024),
                 loopback::ok(fakes::lod1Package(kCounty, lod1Sheets(), {{"cut.gml", cutOff}})));
         },
         {"budynki3d"},
         {{"budynki3d", 2}},
         "Modele 3D: pominieto 1 kafel nie do uzycia (1465/cut.gml).",
         "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 2"},
        {"the frame's only LoD2 sheet is no CityGML",
         [&] {
             fakes::serveLod1Package(hosts, kCounty, 2024, lod1Sheets());
             hosts.openData.on(
                 fakes::lod2PackagePath(kCounty),
                 loopback::ok(fakes::lod2Package(kCounty, {{"away.gml", around(3000, 0, 100), {}}},
                                                 {{"opis.gml", webPage}})));
         },
         {"budynki3d", "budynkilod2"},
         {{"budynki3d", 2}},
         "Budynki LOD2: pominieto 1 kafel nie do uzycia (1465/opis.gml). Budynki LOD2: brak "
         "budynkow w czytelnych arkuszach paczki - kadr moze lezec na arkuszach nie do uzycia.",
         lod1Of2024},
        indexDamaged("the side index loses its later lines", farFirst,
                     [&](std::string lines) { return lines.substr(0, lineOf(lines, near).first); }),
        indexDamaged("a number of the side index is cut short", lod1Sheets(),
                     [&](std::string lines) {
                         const std::size_t end = lineOf(lines, near).second;
                         const std::size_t lastTab = lines.rfind('\t', end);
                         return lines.replace(lastTab, end - lastTab, "\t22");
                     }),
        indexDamaged("the side index marks a sound sheet unreadable", lod1Sheets(),
                     [&](std::string lines) {
                         const auto [begin, end] = lineOf(lines, near);
                         return lines.replace(begin, end - begin, near + "\t-");
                     }),
        indexDamaged("the side index lists 200 000 sheets over the frame", lod1Sheets(),
                     [&](std::string lines) {
                         const auto [begin, end] = lineOf(lines, near);
                         const std::string box =
                             lines.substr(begin + near.size(), end + 1 - begin - near.size());
                         for (int i = 0; i < 200000; ++i)
                             lines += "1465/x" + std::to_string(i) + ".gml" + box;
                         return lines;
                     }),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const int year : B3dCatalog::years())
            std::filesystem::remove(cachedPackage(year));
        std::filesystem::remove(
            WfsClient::cacheFilePathFor(B3dCatalog::urlForLod2ResolvedTeryt(kCounty), "zip"));
        hosts.openData.clearLog();
        c.serve();
        // The second fetch reads the packages from the cache, through their side indexes, in
        // no longer than the first one took.
        std::chrono::steady_clock::duration firstTook{};
        for (const char* fetchNo : {"first fetch", "second fetch"}) {
            SCOPED_TRACE(fetchNo);
            const std::string index = B3dArchive::indexPathFor(cachedPackage(2024));
            if (c.damageIndex && firstTook != firstTook.zero()) {
                std::ifstream in(index, std::ios::binary);
                const std::string text{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
                std::ofstream(index, std::ios::binary | std::ios::trunc) << c.damageIndex(text);
            }
            const auto started = std::chrono::steady_clock::now();
            const json done = fetchDone(c.keys);
            const auto took = std::chrono::steady_clock::now() - started;
            if (firstTook == firstTook.zero())
                firstTook = took;
            else
                EXPECT_LT(took, firstTook + 1s);
            EXPECT_EQ(done.value("warning", ""), c.warning);
            EXPECT_EQ(done.at("counts"), c.counts);
            EXPECT_EQ(fetched().lod1Status, c.lod1Status);
            ASSERT_EQ(fetched().lod1.size(), 2u);
            EXPECT_EQ(fetched().lod1[1].id, "b2");
        }
    }
}

TEST_F(BuildingPackages, WhenEveryYearFailsOnlyTheLastErrorIsReported) {
    hosts.openData.on(fakes::lod1PackagePath(kCounty, 2022), loopback::status(500));
    hosts.openData.on(fakes::lod1PackagePath(kCounty, 2019), loopback::status(503));
    const json done = fetchDone({"budynki3d"});
    EXPECT_EQ(done.at("warning"),
              "Modele 3D: usluga paczek modeli 3D (opendata) nie odpowiada - nie sprawdzono, czy "
              "powiat 1465 ma paczke. Powod: Serwer zwrocil status 503.");
    EXPECT_EQ(done.at("counts"), json::object());
    EXPECT_EQ(fetched().lod1Status, "");
}

TEST_F(BuildingPackages, ADamagedPackageIsDroppedFromTheCacheAndTheSideIndexIsTrusted) {
    hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024), loopback::ok("to nie jest ZIP"));
    const std::string warning = fetchDone({"budynki3d"}).at("warning");
    EXPECT_TRUE(warning.starts_with("Modele 3D: ")) << warning;
    EXPECT_TRUE(
        warning.ends_with(" Uszkodzona paczka zostala usunieta z cache - sprobuj ponownie."))
        << warning;
    EXPECT_FALSE(std::filesystem::exists(cachedPackage(2024)));

    // The next fetch downloads it afresh and indexes it.
    fakes::serveLod1Package(hosts, kCounty, 2024, lod1Sheets());
    EXPECT_EQ(fetchDone({"budynki3d"}).at("counts"), json({{"budynki3d", 2}}));
    EXPECT_EQ(hosts.openData.count(fakes::lod1PackagePath(kCounty, 2024)), 2u);

    // A whole side index that names the package's sheets is taken as it stands: here it places
    // them far away, so no sheet meets the frame; the LoD1 stage says nothing, the LoD2 stage
    // reports no coverage.
    std::ofstream(B3dArchive::indexPathFor(cachedPackage(2024)))
        << signedIndex("1465/near.gml\t0\t0\t10\t10\n1465/far.gml\t0\t0\t10\t10\n");
    fakes::serveLod2Package(hosts, kCounty, {{"away.gml", around(3000, 0, 100), {}}});
    const json none = fetchDone({"budynki3d", "budynkilod2"});
    EXPECT_EQ(none.at("warning"), kNoLod2);
    EXPECT_EQ(fetched().lod1Status, "Modele 3D: LOD1 2024, powiat 1465, budynkow w kadrze: 0");

    // Indexes of the older forms, which did not keep the unreadable sheets or carried no
    // checksum, are built again.
    for (const char* header : {"B3DIDX1\n", "B3DIDX1 2\n"}) {
        std::ofstream(B3dArchive::indexPathFor(cachedPackage(2024)))
            << header << "1465/near.gml\t0\t0\t10\t10\n1465/far.gml\t0\t0\t10\t10\n";
        EXPECT_EQ(fetchDone({"budynki3d"}).at("counts"), json({{"budynki3d", 2}})) << header;
    }
}

TEST_F(BuildingPackages, ACancelledDownloadSaysSoAndIsNoGapInTheCoverage) {
    // The LoD2 package trickles in; the cancel comes with its first progress.
    loopback::Answer slow = loopback::ok(fakes::lod2Package(kCounty, lod2Sheets()));
    slow.chunkSize = 64;
    slow.chunkDelay = 40ms;
    hosts.openData.on(fakes::lod2PackagePath(kCounty), slow);
    startFetch({"budynkilod2"}, [](const std::vector<json>& messages) {
        return ofType(messages, "progress").back().contains("cancellable");
    });
    const auto messages = postUntil({{"type", "cancel"}}, "fetchDone");
    EXPECT_EQ(messages.back().at("warning"), "Budynki LOD2: przerwano przez uzytkownika.");
    for (const json& p : ofType(messages, "progress"))
        EXPECT_LE(p.at("done").get<int>(), 100);

    // LoD1: cancelled while the newest year's answer is still out, older years are not tried,
    // and its 404 is not reported as a missing package.
    loopback::Answer late = loopback::status(404);
    late.delay = 600ms;
    hosts.openData.on(fakes::lod1PackagePath(kCounty, 2024), late);
    startFetch({"budynki3d"}, [&](const std::vector<json>&) {
        return hosts.openData.count(fakes::lod1PackagePath(kCounty, 2024)) == 1;
    });
    EXPECT_EQ(postUntil({{"type", "cancel"}}, "fetchDone").back().at("warning"),
              "Modele 3D: przerwano przez uzytkownika.");
    EXPECT_EQ(hosts.openData.count(fakes::lod1PackagePath(kCounty, 2022)), 0u);
}

// A package in the cache is not downloaded, so no download hears the cancel: the stage does.
TEST_F(BuildingPackages, ACachedPackageAfterACancelIsCancelledToo) {
    std::filesystem::create_directories(std::filesystem::path(cachedPackage(2024)).parent_path());
    std::ofstream(cachedPackage(2024), std::ios::binary)
        << fakes::lod1Package(kCounty, lod1Sheets());
    // The cancel comes while the county of the frame is looked up.
    const fakes::Feature municipality = fakes::municipality(demo.teryt, demo.municipalityArea);
    hosts.geoportal.onRequest(
        fakes::kBoundariesPath,
        importtest::slowly(fakes::FeatureWfs({{fakes::kBoundariesTypename, {municipality}}}),
                           600ms));
    startFetch({"budynki3d"}, [&](const std::vector<json>&) {
        return hosts.geoportal.count(fakes::kBoundariesPath) == 1;
    });
    const json done = postUntil({{"type", "cancel"}}, "fetchDone").back();
    EXPECT_EQ(done.at("warning"), "Modele 3D: przerwano przez uzytkownika.");
    EXPECT_EQ(done.at("counts"), json::object());
    EXPECT_EQ(hosts.openData.count(), 0u);
}

}  // namespace
