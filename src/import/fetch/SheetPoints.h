#pragma once
// The points of one LiDAR sheet that lie in the fetch frame, in PL-1992. A sheet in a PL-2000
// zone (EPSG 2176 to 2179) is moved into PL-1992 point by point; any other code is read as
// PL-1992. Shared by the stages that build terrain, water and roofs from point clouds.

#include <atomic>
#include <span>
#include <string>

#include "geodata/GisTypes.h"
#include "geodata/LazReader.h"

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

}  // namespace sheetpoints
