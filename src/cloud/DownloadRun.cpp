#include "cloud/DownloadRun.h"

#include <algorithm>

#include "Platform.h"
#include "cloud/E57Writer.h"
#include "cloud/PointCloudBuilder.h"
#include "geodata/LazReader.h"
#include "geodata/LidarResolver.h"
#include "geodata/Net.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceReach.h"

namespace cloud {
namespace {

using Result = CloudController::DownloadResult;
using SheetRead = LidarResolver::SheetRead;

const char* const kCancelled = "Anulowano.";
const char* const kNoSheets = "Brak danych LiDAR dla tego obszaru.";
const char* const kNoSheetRead = "Nie udalo sie pobrac zadnego kafla LiDAR dla tego obszaru.";
const char* const kNoPointInFrame = "Brak punktow w wybranym obszarze (po przycieciu do kadru).";
const char* const kTooManyPoints = "Za duzo punktow - zmniejsz kadr lub obniz jakosc.";
// Leads the sentences of a service that was not reached.
const char* const kPrefix = "Chmura punktow: ";

// Margin around the frame, in metres, of the first clip of a sheet in a PL-2000 zone.
constexpr double kZoneMargin = 2.0;

// Thrown as soon as the builder keeps more points than one download may.
class HardLimitExceeded {};

// A failed result: the message, and the path and the warning kept.
void fail(Result& result, const std::string& message) {
    Result failed;
    failed.message = message;
    failed.path = std::move(result.path);
    failed.warning = std::move(result.warning);
    failed.partial = result.partial;
    result = std::move(failed);
}

// The frame's extent in the sheet's zone, widened by the margin.
Bbox zoneClipOf(const Bbox& frame, int epsg) {
    const Bbox clip = ProjConv::pl2000ExtentOf(frame, epsg);
    return {clip.minx - kZoneMargin, clip.miny - kZoneMargin, clip.maxx + kZoneMargin,
            clip.maxy + kZoneMargin};
}

// The builder of a run and the most points it may keep.
struct Sink {
    PointCloudBuilder& builder;
    std::size_t maxKept;

    void keep(double x, double y, const ClPoint& p) {
        builder.add(x, y, p.z, p.r, p.g, p.b);
        if (builder.points.size() > maxKept)
            throw HardLimitExceeded{};
    }
};

// Reads one sheet into the builder. A sheet in a PL-2000 zone is first clipped to the frame's
// extent in that zone and its kept points converted to PL-1992; any other sheet is taken as
// PL-1992 already.
SheetRead readSheet(const std::string& path, const LidarResolver::LidarTile& tile,
                    const Bbox& frame, Sink& sink) {
    if (!ProjConv::isPl2000(tile.epsg)) {
        return readSheetPoints(path, [&](std::span<const ClPoint> batch) {
            for (const ClPoint& p : batch)
                sink.keep(p.x, p.y, p);
        });
    }
    const Bbox clip = zoneClipOf(frame, tile.epsg);
    return readSheetPoints(path, [&](std::span<const ClPoint> batch) {
        for (const ClPoint& p : batch) {
            if (!(p.x >= clip.minx && p.x <= clip.maxx && p.y >= clip.miny && p.y <= clip.maxy))
                continue;
            const GisPoint q = ProjConv::pl2000toPl1992(p.x, p.y, tile.epsg);
            sink.keep(q.x, q.y, p);
        }
    });
}

// What the run lacks: an older year's sheets used or the index read only in part, then the
// sheets that did not come or read whole; "" when nothing.
std::string warningOf(const sheetindex::Listing<LidarResolver::LidarTile>& listing,
                      const SheetShortfall& shortfall) {
    std::vector<std::string> sentences =
        sheetindex::shortfallOf(kPrefix, "LiDAR", listing, listing.sheets.size());
    for (std::string& sentence : reachtext::shortfall(kPrefix, shortfall))
        sentences.push_back(std::move(sentence));
    std::string text;
    for (const std::string& sentence : sentences)
        text += (text.empty() ? "" : " ") + sentence;
    return text;
}

void fillRanges(Result& result, const std::vector<ClPoint>& points) {
    for (const ClPoint& p : points) {
        result.x = {std::min(result.x.min, p.x), std::max(result.x.max, p.x)};
        result.y = {std::min(result.y.min, p.y), std::max(result.y.max, p.y)};
        result.z = {std::min(result.z.min, p.z), std::max(result.z.max, p.z)};
    }
}

// The steps of a run; on failure result holds the message.
void download(const CloudController::DownloadJob& job, WfsClient& client,
              const std::atomic<bool>& cancel, const DownloadHooks& hooks, std::size_t maxKept,
              Result& result) {
    LidarResolver resolver(client);
    const sheetindex::Listing<LidarResolver::LidarTile> listing = resolver.listFor(job.frame);
    if (cancel.load())
        return fail(result, kCancelled);
    if (!listing.reach.reached)
        return fail(result, reachtext::indexUnreachable(kPrefix, "LiDAR", listing.reach));
    const std::vector<LidarResolver::LidarTile>& tiles = listing.sheets;
    if (tiles.empty())
        return fail(result, kNoSheets);

    PointCloudBuilder builder(job.frame, job.placeEpsg, cloudui::detailVoxelSize(job.detail));
    if (job.hasGeo)
        builder.setAnchor(job.anchorE, job.anchorN, job.anchorH);
    Sink sink{builder, maxKept};
    const std::size_t n = tiles.size();
    std::size_t read = 0;
    ReachTally downloads;
    SheetShortfall shortfall;
    for (std::size_t i = 0; i < n; ++i) {
        if (cancel.load())
            return fail(result, kCancelled);
        ServiceReach answered;
        const std::string path = resolver.download(
            tiles[i],
            [&hooks, i, n](long long done, long long total) {
                return hooks.tileProgress(i, n, done, total);
            },
            answered);
        downloads.note(answered);
        if (path.empty() && cancel.load())
            return fail(result, kCancelled);
        const SheetRead outcome =
            path.empty() ? SheetRead::NotOpened : readSheet(path, tiles[i], job.frame, sink);
        LidarResolver::noteShortfall(outcome, tiles[i], shortfall);
        if (outcome == SheetRead::NotOpened)
            continue;
        ++read;
        hooks.sheetRead(sheetReadPercent(i, n));
    }
    if (cancel.load())
        return fail(result, kCancelled);
    if (const ServiceReach files = downloads.result(); !files.reached)
        return fail(result, reachtext::lidarFilesUnreachable(kPrefix, files));
    result.warning = warningOf(listing, read > 0 ? shortfall : SheetShortfall{});
    result.partial = !listing.complete || !shortfall.unusable.empty() || !shortfall.damaged.empty();
    if (read == 0)
        return fail(result, kNoSheetRead);
    if (builder.points.empty())
        return fail(result, kNoPointInFrame);

    const std::string dir = Platform::tempDir() + "Tovelmark_Cloud";
    Platform::ensureDir(dir);
    result.path = dir + "/import.e57";
    std::string error;
    if (!writeE57(result.path, builder.points, error))
        return fail(result, "Blad zapisu E57: " + error);

    result.ok = true;
    result.anchorE = builder.anchorX;
    result.anchorN = builder.anchorY;
    result.placeEpsg = job.placeEpsg;
    fillRanges(result, builder.points);
    result.count = static_cast<std::int64_t>(builder.points.size());
}

}  // namespace

Result runDownload(const CloudController::DownloadJob& job, WfsClient& client,
                   const std::atomic<bool>& cancel, const DownloadHooks& hooks,
                   std::size_t maxKeptPoints) {
    Result result;
    // The run's requests hear the cancel; those of other threads on the same client do not.
    const net::AbortScope abort(cancel);
    try {
        download(job, client, cancel, hooks, maxKeptPoints, result);
    } catch (const HardLimitExceeded&) {
        fail(result, kTooManyPoints);
    } catch (const std::exception& e) {
        fail(result, std::string("Blad pobierania chmury: ") + e.what());
    }
    return result;
}

ProgressEvent tileProgressEvent(std::size_t sheet, std::size_t sheets, long long done,
                                long long total) {
    const bool known = total >= 1;
    const double share =
        known ? std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0) : 0.0;
    std::string label = "Kafel " + std::to_string(sheet + 1) + "/" + std::to_string(sheets) + ": " +
                        WfsClient::formatBytes(done);
    if (known)
        label += " / " + WfsClient::formatBytes(total);
    const double pct = (static_cast<double>(sheet) + share) * 100.0 / static_cast<double>(sheets);
    return {std::move(label), std::clamp(pct, 0.0, 100.0)};
}

double sheetReadPercent(std::size_t sheet, std::size_t sheets) {
    return std::clamp(static_cast<double>(sheet + 1) * 100.0 / static_cast<double>(sheets), 0.0,
                      100.0);
}

LidarResolver::SheetRead readSheetPoints(
    const std::string& path, const std::function<void(std::span<const ClPoint>)>& take) {
    LazReader reader(path);
    if (!reader.ok)
        return SheetRead::NotOpened;
    // Data that ends early or is damaged ends the sheet: the points before it count.
    const bool whole = reader.readAll([&take](std::span<const ClPoint> batch) {
        take(batch);
        return true;
    });
    return whole ? SheetRead::Read : SheetRead::Damaged;
}

}  // namespace cloud
