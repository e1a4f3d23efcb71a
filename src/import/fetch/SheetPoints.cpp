#include "import/fetch/SheetPoints.h"

#include "geodata/ProjConv.h"
#include "import/fetch/FetchRun.h"

namespace sheetpoints {

namespace {

constexpr double kZoneMargin = 1.0;  // metres

bool inside(double x, double y, const Bbox& box) {
    return x >= box.minx && x <= box.maxx && y >= box.miny && y <= box.maxy;
}

Bbox grown(Bbox box, double by) {
    return {box.minx - by, box.miny - by, box.maxx + by, box.maxy + by};
}

}  // namespace

FrameInZone::FrameInZone(int epsg, const Bbox& frame)
    : zone_(ProjConv::isPl2000(epsg) ? epsg : 0), frame_(frame) {
    if (zone_ != 0)
        zoneBox_ = grown(ProjConv::pl2000ExtentOf(frame, zone_), kZoneMargin);
}

bool FrameInZone::place(ClPoint& p) const {
    if (zone_ != 0) {
        if (!inside(p.x, p.y, zoneBox_))
            return false;
        const GisPoint moved = ProjConv::pl2000toPl1992(p.x, p.y, zone_);
        p.x = moved.x;
        p.y = moved.y;
    }
    return inside(p.x, p.y, frame_);
}

bool acceptSheets(std::string_view prefix, const SheetsRead& read,
                  const std::function<void(const std::string&)>& warn) {
    if (read.stopped) {
        warn(fetchstages::cutShortSentence(prefix));
        return false;
    }
    if (!read.reach.reached) {
        warn(fetchstages::lidarFilesUnreachable(prefix, read.reach));
        return false;
    }
    for (const std::string& sentence : reachtext::shortfall(prefix, read.shortfall))
        warn(sentence);
    return true;
}

}  // namespace sheetpoints
