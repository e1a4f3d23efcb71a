// One download run against loopback fakes of the LiDAR index and sheets: what it keeps, every
// way it ends, its cancel points and the progress it reports.

#include "cloud/DownloadRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>
#include <tuple>

#include "CloudFixtures.h"
#include "E57File.h"
#include "MemoryLimit.h"
#include "fakes/Lidar.h"
#include "fakes/TerrainModel.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedEndpoints.h"

namespace {

using namespace cloudtest;

class DownloadRun : public ::testing::Test {
protected:
    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    loopback::ScopedEnv home{"HOME", dir.path().c_str()};
    loopback::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
    std::atomic<bool> cancel{false};
    std::vector<std::tuple<std::size_t, std::size_t, long long>> tileCalls;
    std::vector<double> readPercents;
    cloud::DownloadHooks hooks{[this](std::size_t i, std::size_t n, long long done, long long) {
                                   tileCalls.emplace_back(i, n, done);
                                   return !cancel.load();
                               },
                               [this](double pct) { readPercents.push_back(pct); }};
    CloudController::DownloadJob job{kFrame, cloudui::Detail::Full, kZone, 0, 0, 0, false};

    std::string e57Path() const { return dir.file("Tovelmark_Cloud/import.e57"); }

    CloudController::DownloadResult run(const fakes::LidarService& service,
                                        std::size_t maxKept = cloud::kMaxKeptPoints) {
        const loopback::ScopedEndpoints endpoints{
            {&services::Endpoints::geoportalMaps, service.indexBase()}};
        WfsClient client;  // its own spacing of requests to the index
        return cloud::runDownload(job, client, cancel, hooks, maxKept);
    }

    // A failed run: the message, nothing kept, no file.
    void expectFailure(const CloudController::DownloadResult& r, const std::string& message) {
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, message);
        EXPECT_EQ(r.count, 0);
        EXPECT_EQ(r.anchorE, 0.0);
        EXPECT_EQ(r.x.min, 1e18);
        EXPECT_EQ(r.z.max, -1e18);
        EXPECT_FALSE(std::filesystem::exists(e57Path()));
    }
};

TEST_F(DownloadRun, KeepsThePointsOfEverySheetInsideTheFrame) {
    std::vector<ColouredPoint> outside{{kFrame.minx - 1.0, kFrame.miny + 50, 100, 1, 1, 1},
                                       {kFrame.maxx + 1.0, kFrame.maxy - 50, 100, 1, 1, 1},
                                       {kFrame.minx + 50, kFrame.maxy + 1.5, 100, 1, 1, 1},
                                       {kFrame.minx + 50, kFrame.miny - 300, 100, 1, 1, 1}};
    std::vector<ColouredPoint> a = gridInside(10), b = gridInside(7);
    a.insert(a.end(), outside.begin(), outside.end());
    b.insert(b.end(), outside.begin(), outside.end());
    // The second sheet is in zone coordinates: its points 1 to 1.5 m outside pass the zone's
    // first clip (2 m of margin), and only the exact clip drops them.
    const fakes::LidarService service({sheet(a), sheet(inZone(b), "PL-2000:S7")});

    const CloudController::DownloadResult r = run(service);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.count, 100 + 49);
    EXPECT_EQ(r.path, e57Path());
    EXPECT_EQ(r.placeEpsg, kZone);
    EXPECT_GE(r.x.min, 0.0);
    EXPECT_LE(r.x.max, 101.0) << "the local frame starts at the frame's corner in the zone";
    EXPECT_GE(r.y.min, 0.0);
    EXPECT_EQ(r.z.min, 110.0);
    EXPECT_EQ(r.z.max, 119.0);

    e57check::File file;
    e57check::read(r.path, file);
    EXPECT_EQ(file.records.size(), 149u);
    EXPECT_EQ(readPercents, (std::vector<double>{50.0, 100.0}));
    ASSERT_FALSE(tileCalls.empty());
    EXPECT_EQ(std::get<0>(tileCalls.front()), 0u);
    EXPECT_EQ(std::get<1>(tileCalls.front()), 2u);
    EXPECT_EQ(std::get<0>(tileCalls.back()), 1u);
}

TEST_F(DownloadRun, TheProjectsSurveyPointIsTheOriginWhenGiven) {
    const fakes::LidarService service({sheet(gridInside(3))});
    job.hasGeo = true;
    job.anchorE = 7500000.0;
    job.anchorN = 5800000.0;
    job.anchorH = 100.0;
    const CloudController::DownloadResult r = run(service);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.anchorE, 7500000.0);
    EXPECT_EQ(r.z.min, 10.0) << "heights above the project's";
    const GisPoint corner = ProjConv::pl1992ToPl2000(kFrame.minx + 5.0, kFrame.miny + 5.0, kZone);
    EXPECT_NEAR(r.x.min, corner.x - 7500000.0, 0.5);
}

// The sheet's file with 8-bit colour in its 16-bit channels: the high bytes of fakes::colouredLas
// moved to the low ones.
std::string withEightBitColour(std::string las) {
    constexpr std::size_t kRecord = 26, kRed = 20;
    std::uint32_t pointOffset = 0;
    std::memcpy(&pointOffset, las.data() + 96, 4);
    for (std::size_t at = pointOffset + kRed; at + 6 <= las.size(); at += kRecord) {
        for (std::size_t c = 0; c < 6; c += 2) {
            las[at + c] = las[at + c + 1];
            las[at + c + 1] = '\0';
        }
    }
    return las;
}

TEST_F(DownloadRun, ASheetOfEightBitColourKeepsItsColours) {
    const fakes::LidarSheet wide = sheet(gridInside(10));
    fakes::LidarSheet narrow = wide;
    narrow.file = withEightBitColour(wide.file);
    std::vector<e57check::Record> written[2];
    for (const int i : {0, 1}) {
        const fakes::LidarService service({i == 0 ? wide : narrow});
        const CloudController::DownloadResult r = run(service);
        ASSERT_TRUE(r.ok) << r.message;
        e57check::File file;
        e57check::read(r.path, file);
        written[i] = file.records;
    }
    ASSERT_EQ(written[1].size(), 100u);
    EXPECT_EQ(written[1], written[0]);
    EXPECT_EQ(written[1].back().b, 77) << "not black";
}

TEST_F(DownloadRun, EndsWithTheReasonWhenNothingCanBeKept) {
    fakes::LidarSheet missing = sheet(gridInside(3));
    missing.status = 404;
    fakes::LidarSheet damaged = sheet(gridInside(3));
    damaged.file = "LASF, ale nic wiecej";
    const std::vector<ColouredPoint> far{{kFrame.minx - 500, kFrame.miny, 100, 0, 0, 0}};
    struct Case {
        std::vector<fakes::LidarSheet> sheets;
        std::string message;
        std::string warning;  // the sheets that did not come beside one that did
    };
    const std::string newestYear = std::to_string(sheetindex::currentUtcYear() + 1);
    const Case cases[] = {
        {{missing, missing}, "Nie udalo sie pobrac zadnego kafla LiDAR dla tego obszaru.", ""},
        {{damaged}, "Nie udalo sie pobrac zadnego kafla LiDAR dla tego obszaru.", ""},
        {{sheet(far), missing},
         "Brak punktow w wybranym obszarze (po przycieciu do kadru).",
         "Chmura punktow: pominieto 1 kafel nie do uzycia (LiDAR N-34-1)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const fakes::LidarService service(c.sheets);
        const CloudController::DownloadResult r = run(service);
        expectFailure(r, c.message);
        EXPECT_EQ(r.warning, c.warning);
    }
}

// One sheet of several that does not come, is no point cloud or is damaged, an index whose
// second page fails, or whose newest year fails so that an older year's sheets are used: the
// file holds every point of the sheets that came, and the warning names what is missing.
TEST_F(DownloadRun, WritesWhatCameOfSeveralSheetsAndSaysWhatIsMissing) {
    std::vector<ColouredPoint> away = gridInside(4);
    for (ColouredPoint& p : away)
        p.x -= 5000;
    std::string cutShort = fakes::colouredLas(away);
    cutShort.resize(cutShort.size() - 40);
    const auto named = [](fakes::LidarSheet s) {
        s.godlo = "N-34-BAD";
        return s;
    };
    fakes::LidarSheet missing = named(sheet(away));
    missing.status = 404;
    fakes::LidarSheet unavailable = missing;
    unavailable.status = 503;
    fakes::LidarSheet webPage = named(sheet(away));
    webPage.file = "<!DOCTYPE html><html><body>Przekroczono limit pobran</body></html>";
    fakes::LidarSheet noCloud = named(sheet(away));
    noCloud.file = "LASF, ale nic wiecej";
    fakes::LidarSheet damaged = named(sheet(away));
    damaged.file = cutShort;
    // Sheets of one point each, 4 m apart: one index page and one sheet more.
    std::vector<fakes::LidarSheet> pageAndOne;
    for (int i = 0; i <= 20; ++i)
        pageAndOne.push_back(
            sheet({{kFrame.minx + 5.0 + 4.0 * i, kFrame.miny + 50, 110, 1, 2, 3}}));

    const std::string leftOut = "Chmura punktow: pominieto 1 kafel nie do uzycia (LiDAR N-34-BAD).";
    struct Case {
        const char* name;
        std::vector<fakes::LidarSheet> sheets;
        std::string failingQuery;  // of the index requests answered 503; "" for none
        std::int64_t kept;
        std::string warning;
        bool partial = false;  // part of the frame may lack points
    };
    const std::string newestYear = std::to_string(sheetindex::currentUtcYear() + 1);
    const Case cases[] = {
        {"404", {sheet(gridInside(10)), missing, sheet(gridInside(7))}, "", 149, leftOut, true},
        {"503", {sheet(gridInside(10)), unavailable, sheet(gridInside(7))}, "", 149, leftOut, true},
        {"web page",
         {sheet(gridInside(10)), webPage, sheet(gridInside(7))},
         "",
         149,
         leftOut,
         true},
        {"no point cloud",
         {sheet(gridInside(10)), noCloud, sheet(gridInside(7))},
         "",
         149,
         leftOut,
         true},
        {"damaged",
         {sheet(gridInside(10)), damaged, sheet(gridInside(7))},
         "",
         149,
         "Chmura punktow: 1 kafel uszkodzony - uzyto tylko punktow sprzed uszkodzenia (LiDAR "
         "N-34-BAD).",
         true},
        {"index page", pageAndOne, "STARTINDEX=20", 20,
         "Chmura punktow: skorowidz LiDAR nie podal wszystkich arkuszy kadru (odczytano 20) - kadr "
         "moze byc pokryty tylko czesciowo.",
         true},
        {"newest index year",
         {sheet(gridInside(10)), sheet(gridInside(7))},
         "SkorowidzDanychPomiarowychLIDAR" + newestYear,
         149,
         "Chmura punktow: usluga skorowidza LiDAR z roku " + newestYear +
             " (geoportal) nie odpowiada - uzyto arkuszy z roku " +
             std::to_string(sheetindex::currentUtcYear()) + ". Powod: Serwer zwrocil status 503."},
        {"whole", {sheet(gridInside(10)), sheet(gridInside(7))}, "", 149, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fakes::LidarSheets sheets(c.sheets);
        loopback::LoopbackServer index;
        sheets.mount(index);
        if (!c.failingQuery.empty())
            index.on(fakes::kLidarIndexPath, c.failingQuery, loopback::status(503));
        const loopback::ScopedEndpoints endpoints{
            {&services::Endpoints::geoportalMaps, index.url()}};
        WfsClient client;
        const CloudController::DownloadResult r = cloud::runDownload(job, client, cancel, hooks);
        ASSERT_TRUE(r.ok) << r.message;
        EXPECT_EQ(r.warning, c.warning);
        EXPECT_EQ(r.partial, c.partial);
        EXPECT_EQ(r.count, c.kept);
        e57check::File file;
        e57check::read(r.path, file);
        EXPECT_EQ(file.records.size(), static_cast<std::size_t>(c.kept));
    }
}

// An index without sheets ends the run with its sentence; a cancel that came before the index
// answered asks nothing more and ends the run as cancelled, never as an area without data.
TEST_F(DownloadRun, AnIndexWithoutSheetsEndsTheRunAndACancelBeforeItAsksNothing) {
    // Every year of the index is asked, a second apart: the one slow case.
    const fakes::LidarService none({});
    expectFailure(run(none), "Brak danych LiDAR dla tego obszaru.");
    const std::size_t asked = none.indexRequests();
    cancel = true;
    expectFailure(run(none), "Anulowano.");
    EXPECT_EQ(none.indexRequests(), asked);
}

// No route to the index or to the sheets' host is never told as an area without LiDAR data.
TEST_F(DownloadRun, AServiceThatCannotBeReachedIsNamedNotTakenForNoData) {
    const std::string refused = "http://127.0.0.1:" + std::to_string(loopback::unusedPort());
    const auto messageWith = [this](const std::string& geoportal) {
        const loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, geoportal}};
        WfsClient client;
        const CloudController::DownloadResult r = cloud::runDownload(job, client, cancel, hooks);
        EXPECT_FALSE(r.ok);
        return r.message;
    };
    EXPECT_THAT(messageWith(refused),
                ::testing::StartsWith("Chmura punktow: usluga skorowidza LiDAR (geoportal) nie "
                                      "odpowiada - nie sprawdzono"));

    loopback::LoopbackServer index;
    const Bbox everywhere{0, 0, 1e7, 1e7};
    index.onRequest(fakes::kLidarIndexPath,
                    fakes::SheetIndexWfs("gugik:SkorowidzDanychPomiarowychLIDAR",
                                         {{"L", everywhere, refused + "/lidar.laz"}}));
    EXPECT_THAT(messageWith(index.url()),
                ::testing::StartsWith(
                    "Chmura punktow: usluga plikow LiDAR (geoportal) nie odpowiada - nie pobrano"));
}

TEST_F(DownloadRun, StopsAsSoonAsTooManyPointsAreKept) {
    const fakes::LidarService service({sheet(gridInside(10))});
    expectFailure(run(service, 99), "Za duzo punktow - zmniejsz kadr lub obniz jakosc.");
    const CloudController::DownloadResult exactly = run(service, 100);
    EXPECT_TRUE(exactly.ok) << "the limit itself is written";
    EXPECT_EQ(exactly.count, 100);
}

// A sheet of several blocks of records, decoded on all cores. Its points come in three runs of
// 20,000 at the same height: the first run (red 1) takes a voxel each, the second (red 2)
// repeats the first's places, the third (red 3) lies between them.
class ManyChunkSheet : public DownloadRun {
protected:
    static constexpr int kColumns = 160, kRows = 125, kRun = kColumns * kRows;

    static std::string sheetFile() {
        std::vector<ColouredPoint> points;
        for (const std::uint8_t run : {1, 2, 3}) {
            const double shift = run == 3 ? 0.25 : 0.0;  // half the spacing: a voxel of its own
            for (int k = 0; k < kRun; ++k) {
                points.push_back({kFrame.minx + 5.0 + shift + 0.5 * (k % kColumns),
                                  kFrame.miny + 5.0 + shift + 0.5 * (k / kColumns), 110.1, run,
                                  static_cast<std::uint8_t>(k % 251), 0});
            }
        }
        return fakes::colouredLas(points);
    }

    // The kept points as written: the first run whole and in its order, then `third` points
    // of the third run.
    void expectKept(const CloudController::DownloadResult& r, int third) {
        ASSERT_TRUE(r.ok) << r.message;
        e57check::File file;
        e57check::read(r.path, file);
        ASSERT_EQ(file.records.size(), static_cast<std::size_t>(kRun + third));
        for (std::size_t k = 0; k < file.records.size(); ++k) {
            const e57check::Record& p = file.records[k];
            ASSERT_EQ(std::make_pair(int{p.r}, int{p.g}),
                      std::make_pair(k < kRun ? 1 : 3, static_cast<int>(k % kRun % 251)))
                << "record " << k;
        }
    }
};

TEST_F(ManyChunkSheet, ComesInFileOrderSoTheFirstPointOfAVoxelStays) {
    job.detail = cloudui::Detail::Standard;
    const std::string file = sheetFile();
    const fakes::LidarService service({{"N-34-2", file}});
    expectFailure(run(service, kRun - 1), "Za duzo punktow - zmniejsz kadr lub obniz jakosc.");
    expectKept(run(service), kRun);

    // Cut after half the third run: the sheet ends there, and what came before counts.
    const std::string cut = file.substr(0, file.size() - 26 * (kRun / 2));
    const fakes::LidarService shortened({{"N-34-3", cut}});
    readPercents.clear();
    expectKept(run(shortened), kRun / 2);
    EXPECT_EQ(readPercents, std::vector<double>{100.0});
}

// A download of a few sheets on a machine with little memory: what it holds grows with the
// points it keeps, and nothing is taken in advance for the most it might keep.
TEST_F(DownloadRun, AFewSheetsNeedNoMoreMemoryThanThePointsTheyKeep) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's own memory would count as the download's - test skipped";
#endif
    const std::vector<ColouredPoint> points = gridInside(245);  // 60,025 points, 0.37 m apart
    const fakes::LidarService service({sheet(points), sheet(points), sheet(points)});
    // The stacks of the threads that may read a sheet (one a core) and of the transfer, and
    // 48 MB for everything else: far below the 256 MB of the most points a run may keep.
    pthread_attr_t attr;
    pthread_getattr_default_np(&attr);
    std::size_t stack = 0;
    pthread_attr_getstacksize(&attr, &stack);
    pthread_attr_destroy(&attr);
    const auto threads = static_cast<long>(std::thread::hardware_concurrency()) + 4;
    const long budget = 48L * 1024 * 1024 + threads * static_cast<long>(stack);

    const memorylimit::Outcome outcome = memorylimit::run(budget, [&] {
        const CloudController::DownloadResult r = run(service);
        return r.ok ? "kept " + std::to_string(r.count) : r.message;
    });
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.text, "kept " + std::to_string(3 * points.size()));
    EXPECT_LT(outcome.peakRiseKb, 48 * 1024);
    RecordProperty("peak_resident_rise_kb", std::to_string(outcome.peakRiseKb));
    std::cout << "[ INFO     ] resident memory of the download rose by "
              << outcome.peakRiseKb / 1024 << " MB (3 sheets of 60,025 points, all kept)\n";
}

TEST_F(DownloadRun, HonoursTheCancelRequestAtEachStep) {
    const fakes::LidarService service({sheet(gridInside(3)), sheet(gridInside(4))});
    cancel = true;
    expectFailure(run(service), "Anulowano.");
    EXPECT_EQ(service.fileRequests(0), 0u) << "cancelled before the first sheet";

    cancel = false;
    hooks.tileProgress = [this](std::size_t, std::size_t, long long, long long) {
        cancel = true;  // pressed while the first sheet arrives
        return false;
    };
    expectFailure(run(service), "Anulowano.");
    EXPECT_EQ(service.fileRequests(1), 0u);

    cancel = false;
    hooks.sheetRead = [this](double pct) { cancel = pct == 100.0; };
    const fakes::LidarService fresh({sheet(gridInside(3)), sheet(gridInside(4))});
    expectFailure(run(fresh), "Anulowano.");  // pressed after the last sheet: nothing written
}

TEST_F(DownloadRun, ACachedSheetReportsNoBytesOnlyItsReading) {
    const fakes::LidarService service({sheet(gridInside(3))});
    ASSERT_TRUE(run(service).ok);
    tileCalls.clear();
    readPercents.clear();
    ASSERT_TRUE(run(service).ok);
    EXPECT_EQ(service.fileRequests(0), 1u);
    EXPECT_TRUE(tileCalls.empty());
    EXPECT_EQ(readPercents, std::vector<double>{100.0});
}

TEST_F(DownloadRun, WriteFailuresAndOtherErrorsEndTheRun) {
    const fakes::LidarService service({sheet(gridInside(3))});
    {
        fixtures::writeBytes(dir.file("plik"), "to nie folder");
        const loopback::ScopedEnv notAFolder("TMPDIR", dir.file("plik").c_str());
        const CloudController::DownloadResult r = run(service);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, "Blad zapisu E57: Nie mozna zapisac pliku e57.");
        EXPECT_EQ(r.path, dir.file("plik") + "/Tovelmark_Cloud/import.e57") << "to be cleaned";
        EXPECT_EQ(r.count, 0);
    }
    job.placeEpsg = 2180;  // no PL-2000 zone
    expectFailure(run(service), "Blad pobierania chmury: Nieobslugiwany EPSG PL-2000");
}

TEST(DownloadProgress, TileEventsStayWithinTheirSheetsShare) {
    struct Case {
        std::size_t sheet, sheets;
        long long done, total;
        const char* label;
        double pct;
    };
    const std::string newestYear = std::to_string(sheetindex::currentUtcYear() + 1);
    const Case cases[] = {
        {0, 2, 0, 2048, "Kafel 1/2: 0 B / 2,0 KB", 0.0},
        {0, 2, 1024, 2048, "Kafel 1/2: 1,0 KB / 2,0 KB", 25.0},
        {1, 2, 2048, 2048, "Kafel 2/2: 2,0 KB / 2,0 KB", 100.0},
        {2, 3, 1500, 0, "Kafel 3/3: 1,5 KB", 200.0 / 3},  // size unknown: stays at the start
        {0, 1, 5000, 1000, "Kafel 1/1: 4,9 KB / 1000 B", 100.0},  // more than announced
        {0, 4, -5, 100, "Kafel 1/4: -5 B / 100 B", 0.0},
    };
    for (const Case& c : cases) {
        const cloud::ProgressEvent e = cloud::tileProgressEvent(c.sheet, c.sheets, c.done, c.total);
        EXPECT_EQ(e.label, c.label);
        EXPECT_DOUBLE_EQ(e.pct, c.pct) << c.label;
    }
    EXPECT_DOUBLE_EQ(cloud::sheetReadPercent(0, 3), 100.0 / 3);
    EXPECT_DOUBLE_EQ(cloud::sheetReadPercent(2, 3), 100.0);
}

}  // namespace
