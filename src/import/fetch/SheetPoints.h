#pragma once
// The points of one LiDAR sheet that lie in the fetch frame, in PL-1992. A sheet in a PL-2000
// zone (EPSG 2176 to 2179) is moved into PL-1992 point by point; any other code is read as
// PL-1992. Shared by the stages that build terrain, water and roofs from point clouds.

#include <atomic>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
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

// What reading a sheet came to.
enum class SheetRead { Read, NotOpened, Stopped };

// Hands every point of the sheet for which keep(point) holds and that lies in the frame, moved
// into PL-1992, to take(point), in file order; the sheet is decoded on every core. `stop` is
// looked at before every batch of points; once it holds, the reading ends (Stopped). At most the
// points the header announces are read; a damaged file ends early, after its last good point.
template <class Keep, class Take>
SheetRead readFramePoints(const std::string& path, int epsg, const Bbox& frame,
                          const std::atomic<bool>& stop, Keep keep, Take take) {
    LazReader reader(path, LazReader::Colour::Ignored);
    if (!reader.ok)
        return SheetRead::NotOpened;
    const FrameInZone where(epsg, frame);
    bool stopped = false;
    reader.readAll([&](std::span<const ClPoint> batch) {
        stopped = stop;
        if (!stopped) {
            for (ClPoint p : batch) {
                if (keep(p) && where.place(p))
                    take(p);
            }
        }
        return !stopped;
    });
    return stopped ? SheetRead::Stopped : SheetRead::Read;
}

// What reading the LiDAR sheets of a frame came to: how many read, whether their service answered
// any download, and whether a cancel cut the reading short.
struct SheetsRead {
    std::size_t read = 0;
    ServiceReach reach;
    bool stopped = false;
};

// Downloads every sheet in turn through the cache and hands its file to read(path, sheet), which
// gives the SheetRead of it, until `stop` holds; progress(i, n) comes before sheet i of n. A
// download under way hears the stop too. A sheet that does not come is skipped.
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
        if (!path.empty() && read(path, sheet) == SheetRead::Read)
            ++result.read;
    }
    result.reach = downloads.result();
    result.stopped = stop;
    return result;
}

}  // namespace sheetpoints
