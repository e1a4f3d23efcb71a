#pragma once
// The points of one LiDAR sheet that lie in the fetch frame, in PL-1992. A sheet in a PL-2000
// zone (EPSG 2176 to 2179) is moved into PL-1992 point by point; any other code is read as
// PL-1992. Shared by the stages that build terrain, water and roofs from point clouds.

#include <atomic>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/LazReader.h"
#include "geodata/LidarResolver.h"
#include "geodata/ServiceReach.h"

namespace sheetpoints {

// The frame and, for a zone sheet, the frame's image in the zone (grown by a metre, since the
// image of a straight side bulges a little past its corners), so that points far outside the
// frame are dropped before the costlier conversion.
class FrameInZone {
public:
    FrameInZone(int epsg, const Bbox& frame);

    // Moves p into PL-1992 and tells whether it lies in the frame, edges included.
    bool place(ClPoint& p) const;

private:
    int zone_;  // 2176 to 2179, or 0 for a PL-1992 sheet
    Bbox frame_;
    Bbox zoneBox_;
};

using SheetRead = LidarResolver::SheetRead;

// Hands every point of the sheet for which keep(point) holds and that lies in the frame, moved
// into PL-1992, to take(point), in file order; the sheet is decoded on every core. `stop` is
// looked at before every batch of points; once it holds, the reading ends (Stopped). At most the
// points the header announces are read; a damaged file ends early, after its last good point
// (Damaged).
template <class Keep, class Take>
SheetRead readFramePoints(const std::string& path, int epsg, const Bbox& frame,
                          const std::atomic<bool>& stop, Keep keep, Take take) {
    LazReader reader(path, LazReader::Colour::Ignored);
    if (!reader.ok)
        return SheetRead::NotOpened;
    const FrameInZone where(epsg, frame);
    bool stopped = false;
    const bool whole = reader.readAll([&](std::span<const ClPoint> batch) {
        stopped = stop;
        if (!stopped) {
            for (ClPoint p : batch) {
                if (keep(p) && where.place(p))
                    take(p);
            }
        }
        return !stopped;
    });
    if (stopped)
        return SheetRead::Stopped;
    return whole ? SheetRead::Read : SheetRead::Damaged;
}

// What reading the LiDAR sheets of a frame came to: how many read (damaged ones among them),
// which did not come or read whole, whether their service answered any download, and whether a
// cancel cut the reading short.
struct SheetsRead {
    std::size_t read = 0;
    SheetShortfall shortfall;
    ServiceReach reach;
    bool stopped = false;
};

// Downloads every sheet in turn through the cache and hands its file to read(path, sheet), which
// gives the SheetRead of it, until `stop` holds; progress(i, n) comes before sheet i of n. A
// download under way hears the stop too. A sheet that does not come or does not open is skipped,
// and named in the shortfall with the damaged ones.
template <class Read>
SheetsRead readSheets(LidarResolver& lidar, const std::vector<LidarResolver::LidarTile>& sheets,
                      const std::atomic<bool>& stop, const std::function<void(int, int)>& progress,
                      Read read) {
    const LidarResolver::Progress untilStopped = [&stop](long long, long long) { return !stop; };
    SheetsRead result;
    ReachTally downloads;
    const int count = static_cast<int>(sheets.size());
    for (int i = 0; i < count && !stop; ++i) {
        progress(i, count);
        const LidarResolver::LidarTile& sheet = sheets[static_cast<std::size_t>(i)];
        ServiceReach answered;
        const std::string path = lidar.download(sheet, untilStopped, answered);
        downloads.note(answered);
        const SheetRead outcome = path.empty() ? SheetRead::NotOpened : read(path, sheet);
        if (outcome == SheetRead::Read || outcome == SheetRead::Damaged)
            ++result.read;
        if (!stop)  // a download the stop cut short is no shortfall
            LidarResolver::noteShortfall(outcome, sheet, result.shortfall);
    }
    result.reach = downloads.result();
    result.stopped = stop;
    return result;
}

// Says, with the stage's prefix, what keeps the sheets read from serving the stage whole: a
// cancel or a service never reached (false: the stage has nothing to go on with), or the sheets
// that did not come or read only in part, named even when none read, so that the stage's own
// sentence for a frame without points is not all the user hears of sheets that failed.
bool acceptSheets(std::string_view prefix, const SheetsRead& read,
                  const std::function<void(const std::string&)>& warn);

}  // namespace sheetpoints
