// The building-package stages of the fetch: the county's LoD1 and LoD2 CityGML packages,
// downloaded into the cache with progress and cancel, indexed once, and read sheet by sheet
// where they meet the frame. The LoD1 blocks are also the footprints of the later roof stages.

#include "import/fetch/ImportBuildingStages.h"

#include <atomic>
#include <filesystem>
#include <iterator>
#include <optional>
#include <unordered_set>
#include <utility>

#include "MapPalette.h"
#include "geodata/B3dArchive.h"
#include "geodata/B3dCatalog.h"
#include "geodata/CityGmlLod2Reader.h"
#include "geodata/CityGmlReader.h"
#include "import/fetch/FetchRun.h"

namespace {

constexpr int kPackageTimeoutMs = 600000;
constexpr std::size_t kCountyDigits = 4;
constexpr const char* kDamaged = " Uszkodzona paczka zostala usunieta z cache - sprobuj ponownie.";
constexpr const char* kNoLod2Coverage =
    "Brak budynkow LOD2 dla tego obszaru (pokrycie GUGiK ~236/380 powiatow).";
constexpr const char* kLod2OnUnreadSheets =
    "Budynki LOD2: brak budynkow w czytelnych arkuszach paczki - kadr moze lezec na arkuszach "
    "nie do uzycia.";
constexpr std::string_view kPackageService = "paczek modeli 3D (opendata)";

// The fixed texts of one kind of package.
struct PackageTexts {
    std::string prefix;    // of every warning of the kind
    const char* sheets;    // progress label while the sheets are read
    const char* download;  // progress label of the download, before the byte counts
};
const PackageTexts kLod1{"Modele 3D: ", "Modele 3D", "Modele 3D: pobieranie "};
const PackageTexts kLod2{"Budynki LOD2: ", "Budynki LOD2", "Budynki LOD2: pobieranie "};

using WarningSink = std::function<void(const std::string&)>;

std::string invalidTeryt(const PackageTexts& texts) {
    return texts.prefix + "nieprawidlowy kod TERYT dla tego kadru.";
}

// The county code, the first four characters of the frame's TERYT code; nothing, after a
// warning, when the fetch was cancelled (the lookup may have been broken off), the lookup did not
// reach its service, or the code is missing or shorter.
std::optional<std::string> countyOf(const MunicipalityLookup::Found& municipality,
                                    const std::atomic<bool>& cancel, const PackageTexts& texts,
                                    const WarningSink& warn) {
    const std::string& teryt = municipality.teryt;
    if (cancel) {
        warn(fetchstages::cutShortSentence(texts.prefix));
        return std::nullopt;
    }
    if (!municipality.reach.reached) {
        warn(fetchstages::lookupUnreachable(texts.prefix, municipality.reach));
        return std::nullopt;
    }
    if (teryt.empty()) {
        warn(texts.prefix + "nie udalo sie ustalic powiatu dla tego kadru.");
        return std::nullopt;
    }
    if (teryt.size() < kCountyDigits) {
        warn(invalidTeryt(texts));
        return std::nullopt;
    }
    return teryt.substr(0, kCountyDigits);
}

// Why no package is read: the fetch was cancelled (whatever the last attempt said), the service
// did not answer, the last attempt's error, or no package published for the county.
std::string missingPackage(const PackageTexts& texts, const std::string& county,
                           const std::string& error, const ServiceReach& reach, bool cancelled) {
    if (cancelled)
        return fetchstages::cutShortSentence(texts.prefix);
    if (!reach.reached) {
        return fetchstages::unreachable(texts.prefix, kPackageService,
                                        "nie sprawdzono, czy powiat " + county + " ma paczke",
                                        reach);
    }
    if (!error.empty())
        return texts.prefix + error;
    return texts.prefix + "brak paczki dla powiatu " + county + ".";
}

// Whether the side index was written after the package: one left from an earlier download of
// the same address (the package swept from the cache before it) does not describe the package.
bool indexIsCurrent(const std::string& indexPath, const std::string& path) {
    std::error_code indexError;
    std::error_code packageError;
    const auto indexWritten = std::filesystem::last_write_time(indexPath, indexError);
    const auto packageWritten = std::filesystem::last_write_time(path, packageError);
    return !indexError && !packageError && indexWritten >= packageWritten;
}

// The package with its sheet index: the side index when it is current, reads whole and agrees
// with the package's entries, else the package indexed afresh and the index written beside it. A
// package that cannot be opened or indexed is removed from the cache together with its index, so
// that the next fetch downloads it again.
std::optional<B3dArchive> openPackage(const std::string& path, const PackageTexts& texts,
                                      const WarningSink& warn) {
    const std::string indexPath = B3dArchive::indexPathFor(path);
    B3dArchive archive;
    std::string error;
    bool usable = archive.open(path, error);
    if (usable && !(indexIsCurrent(indexPath, path) && archive.loadIndex(indexPath) &&
                    archive.indexWhole() && archive.agreesWithPackage())) {
        usable = archive.buildIndex(error);
        if (usable)
            archive.saveIndex(indexPath);  // without it the package is indexed again next time
    }
    if (usable)
        return archive;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::filesystem::remove(indexPath, ignored);
    warn(texts.prefix + error + kDamaged);
    return std::nullopt;
}

template <class Building>
using SheetReader = std::vector<Building> (*)(std::string_view, const Bbox&, citygml::SheetTally*);

// The buildings of a package's sheets, how many the reader left out as damaged, and the sheets
// that could not be taken out of the package or read: those of the frame and those the index
// could give no envelope, each named once.
template <class Building>
struct SheetBuildings {
    std::vector<Building> buildings;
    int damaged = 0;
    std::vector<std::string> unread;
};

// The buildings of the sheets that meet the frame, in index order and the reader's order within
// a sheet, with one progress report before each sheet; nothing when the fetch's cancel comes
// before a sheet.
template <class Building>
std::optional<SheetBuildings<Building>> buildingsOf(const B3dArchive& archive, const Bbox& frame,
                                                    const std::atomic<bool>& cancel,
                                                    const std::function<void(int, int)>& progress,
                                                    SheetReader<Building> read) {
    const std::vector<std::string> names = archive.entriesFor(frame);
    SheetBuildings<Building> found{.unread = archive.unreadable()};
    std::unordered_set<std::string> told(found.unread.begin(), found.unread.end());
    auto sheets =
        fetchstages::itemsUnlessCutShort(names.size(), cancel, progress, [&](std::size_t i) {
            const std::string text = archive.readEntry(names[i]);
            citygml::SheetTally tally;
            std::vector<Building> buildings =
                text.empty() ? std::vector<Building>() : read(text, frame, &tally);
            if ((text.empty() || !tally.parsed) && told.insert(names[i]).second)
                found.unread.push_back(names[i]);
            found.damaged += tally.damaged;
            return buildings;
        });
    if (!sheets)
        return std::nullopt;
    for (std::vector<Building>& sheet : *sheets) {
        found.buildings.insert(found.buildings.end(), std::make_move_iterator(sheet.begin()),
                               std::make_move_iterator(sheet.end()));
    }
    return found;
}

// The buildings of the package's sheets that meet the frame; nothing, after the kind's sentence,
// when a cancel cut the reading short. The sheets that could not be taken out or read, wherever
// they lie, and the damaged buildings left out are told; sheetsUnread says whether there were
// any.
template <class Building>
std::optional<std::vector<Building>> readPackage(const B3dArchive& archive, const Bbox& frame,
                                                 const std::atomic<bool>& cancel,
                                                 const std::function<void(int, int)>& progress,
                                                 const PackageTexts& texts,
                                                 SheetReader<Building> read,
                                                 const WarningSink& warn, bool& sheetsUnread) {
    std::optional<SheetBuildings<Building>> found =
        buildingsOf(archive, frame, cancel, progress, read);
    if (!found) {
        warn(fetchstages::cutShortSentence(texts.prefix));
        return std::nullopt;
    }
    sheetsUnread = !found->unread.empty();
    if (sheetsUnread)
        warn(fetchstages::sheetsLeftOut(texts.prefix, found->unread));
    if (found->damaged > 0)
        warn(fetchstages::damagedRecords(texts.prefix, "budynki", found->damaged));
    return std::move(found->buildings);
}

// The sentence of an older year's LoD1 package taken because a newer one, which its service may
// well hold, did not come.
std::string olderYearTaken(int newer, int taken, const ServiceReach& reach) {
    return kLod1.prefix + "paczka LOD1 z roku " + std::to_string(newer) +
           " nie przyszla - uzyto paczki z roku " + std::to_string(taken) +
           ". Powod: " + reach.reason;
}

}  // namespace

namespace buildingstages {

PackageProgress packageProgress(const std::string& prefix, long long done, long long total) {
    PackageProgress report{0, prefix + WfsClient::formatBytes(done)};
    if (total > 0) {
        report.percent = static_cast<int>(done * 100 / total);
        report.label += " / " + WfsClient::formatBytes(total);
    }
    return report;
}

bool ProgressThrottle::due(int percent, Clock::time_point now) {
    if (lastPercent_ == percent && now - lastTime_ < kInterval)
        return false;
    lastPercent_ = percent;
    lastTime_ = now;
    return true;
}

}  // namespace buildingstages

WfsClient::ByteProgress ImportController::packageDownloadProgress(const char* prefix) {
    return [this, prefix = std::string(prefix), throttle = buildingstages::ProgressThrottle()](
               long long done, long long total) mutable {
        const buildingstages::PackageProgress report =
            buildingstages::packageProgress(prefix, done, total);
        if (throttle.due(report.percent, buildingstages::ProgressThrottle::Clock::now())) {
            runOnMainThread([report] {
                MapPalette::SendToBrowser("progress", {{"done", report.percent},
                                                       {"total", 100},
                                                       {"label", report.label},
                                                       {"cancellable", true}});
            });
        }
        return !cancel_;
    };
}

std::vector<Building3D> ImportController::fetchBuildings3d(const Bbox& frame, std::string& status,
                                                           const WarningSink& warn,
                                                           PackageEnd& end) {
    const MunicipalityLookup::Found municipality = terytForBbox(frame);
    ServiceReach& reach = end.reach;
    reach = municipality.reach;
    const std::optional<std::string> county = countyOf(municipality, cancel_, kLod1, warn);
    if (!county)
        return {};
    // The newest published year wins. A newer year that is not published (4xx) is passed over
    // without a word; one whose answer failed otherwise is told when an older year is taken. A
    // service that gives no answer at all for one year is not asked for the older ones.
    std::string path;
    std::string error;
    int year = 0;
    std::optional<std::pair<int, ServiceReach>> newerFailed;  // the newest such year
    for (const int candidate : B3dCatalog::years()) {
        const std::string url = B3dCatalog::urlForResolvedTeryt(*county, candidate);
        if (url.empty())
            break;
        error.clear();
        path = client_.getCachedFile(url, packageDownloadProgress(kLod1.download),
                                     kPackageTimeoutMs, error, reach);
        year = candidate;
        if (!path.empty() || cancel_ || reach.silent)
            break;
        if (!reach.reached && !newerFailed)
            newerFailed.emplace(candidate, reach);
    }
    // A package that came from the cache while the cancel was already asked for is cancelled
    // too.
    if (path.empty() || cancel_) {
        warn(missingPackage(kLod1, *county, error, reach, cancel_));
        return {};
    }
    if (newerFailed)
        warn(olderYearTaken(newerFailed->first, year, newerFailed->second));
    const std::optional<B3dArchive> archive = openPackage(path, kLod1, warn);
    if (!archive)
        return {};
    std::optional<std::vector<Building3D>> buildings =
        readPackage(*archive, frame, cancel_, cancellableProgress(kLod1.sheets), kLod1,
                    &CityGmlReader::parseSheet, warn, end.sheetsUnread);
    if (!buildings)
        return {};
    status = "Modele 3D: LOD1 " + std::to_string(year) + ", powiat " + *county +
             ", budynkow w kadrze: " + std::to_string(buildings->size());
    return std::move(*buildings);
}

std::vector<BuildingLod2> ImportController::fetchBuildingsLod2(const Bbox& frame,
                                                               std::string& status,
                                                               const WarningSink& warn,
                                                               PackageEnd& end) {
    const MunicipalityLookup::Found municipality = terytForBbox(frame);
    ServiceReach& reach = end.reach;
    reach = municipality.reach;
    const std::optional<std::string> county = countyOf(municipality, cancel_, kLod2, warn);
    if (!county)
        return {};
    const std::string url = B3dCatalog::urlForLod2ResolvedTeryt(*county);
    if (url.empty()) {
        warn(invalidTeryt(kLod2));
        return {};
    }
    std::string error;
    const std::string path = client_.getCachedFile(url, packageDownloadProgress(kLod2.download),
                                                   kPackageTimeoutMs, error, reach);
    if (path.empty() || cancel_) {
        warn(missingPackage(kLod2, *county, error, reach, cancel_));
        return {};
    }
    const std::optional<B3dArchive> archive = openPackage(path, kLod2, warn);
    if (!archive)
        return {};
    std::optional<std::vector<BuildingLod2>> buildings =
        readPackage(*archive, frame, cancel_, cancellableProgress(kLod2.sheets), kLod2,
                    &CityGmlLod2Reader::parseSheet, warn, end.sheetsUnread);
    if (!buildings)
        return {};
    status = "Budynki LOD2: powiat " + *county +
             ", budynkow w kadrze: " + std::to_string(buildings->size());
    return std::move(*buildings);
}

void ImportController::fetchLod1Stage(FetchRun& run) {
    run.data.lod1Requested = run.requested("budynki3d");
    std::string status;
    PackageEnd end;
    run.data.lod1 = fetchBuildings3d(run.bbox, status, run.warnings(), end);
    run.data.lod1Status = status;
    run.footprintsUnreached = !end.reach.reached;
}

void ImportController::fetchLod2Stage(FetchRun& run) {
    std::string status;
    PackageEnd end;
    run.data.lod2 = fetchBuildingsLod2(run.bbox, status, run.warnings(), end);
    run.data.lod2Status = status;
    // A cancelled fetch, or one whose services did not answer, says so already; neither is a gap
    // in the coverage. Nor is a frame that may lie on the sheets that could not be read.
    if (run.data.lod2.empty() && !cancel_ && end.reach.reached)
        run.appendWarning(end.sheetsUnread ? kLod2OnUnreadSheets : kNoLod2Coverage);
}
