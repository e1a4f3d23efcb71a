#pragma once
// Two LiDAR sheets next to a place in Poland, for end-to-end runs against the fake LiDAR
// services (LidarFakes.h): the shared LAZ sample "simple.laz" (1065 coloured points, 3.4 by
// 4.6 km) shrunk twenty times and moved there, once as a PL-1992 sheet and once as a sheet in
// the place's PL-2000 zone. Where the sample is missing, LAS files of coloured points take its
// place. Header-only: only programs that link the geodata library include it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "LasBuilder.h"
#include "LidarFakes.h"
#include "geodata/ProjConv.h"

namespace fakes {

struct SampleSheets {
    std::vector<LidarSheet> sheets;
    std::uint64_t points = 0;  // in all the sheets, every one of them within 300 m of the place
    bool laz = false;          // the shared sample was found
};

// A grid of 30 x 30 coloured points, 1 m apart, from (0, 0) up.
inline std::string gridLas() {
    std::vector<ColouredPoint> points;
    for (int i = 0; i < 30; ++i) {
        for (int j = 0; j < 30; ++j) {
            points.push_back({1.0 * i, 1.0 * j, 0.1 * (i + j), static_cast<std::uint8_t>(8 * i),
                              static_cast<std::uint8_t>(8 * j), 128});
        }
    }
    return colouredLas(points);
}

// sampleDir holds simple.laz when the shared samples are there.
inline SampleSheets sampleSheetsAt(double lat, double lon, const std::string& sampleDir) {
    SampleSheets out;
    const std::string sample = sampleDir + "/simple.laz";
    out.laz = std::filesystem::exists(sample);
    const std::string file = out.laz ? fixtures::readBytes(sample) : gridLas();
    const double shrink = out.laz ? 20.0 : 1.0;

    const GisPoint place = ProjConv::latLonToPl1992(lat, lon);
    const int zone = ProjConv::zoneForLon(lon);
    const GisPoint inZone = ProjConv::pl1992ToPl2000(place.x + 20.0, place.y - 250.0, zone);
    LidarSheet first{"N-34-139-A-c-1-1",
                     relocatedLas(file, place.x - 200.0, place.y - 250.0, 100.0, shrink), "4"};
    LidarSheet second{"N-34-139-A-c-1-2", relocatedLas(file, inZone.x, inZone.y, 100.0, shrink),
                      "4", "PL-2000:S" + std::to_string(zone - 2171)};
    out.points = lasPointCount(first.file) + lasPointCount(second.file);
    out.sheets = {std::move(first), std::move(second)};
    return out;
}

}  // namespace fakes
