#include "fakes/Lidar.h"

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "builders/LasBuilder.h"
#include "fakes/Wfs.h"
#include "geodata/ProjConv.h"

namespace fakes {
namespace {

constexpr std::size_t kScaleAt = 131;   // three doubles: x, y, z scale
constexpr std::size_t kOffsetAt = 155;  // three doubles: x, y, z offset
constexpr std::size_t kExtentAt = 179;  // max x, min x, max y, min y, max z, min z
constexpr std::size_t kHeaderEnd = 227;

double doubleAt(const std::string& file, std::size_t at) {
    double v = 0.0;
    std::memcpy(&v, file.data() + at, sizeof v);
    return v;
}

void putDouble(std::string& file, std::size_t at, double v) {
    std::memcpy(file.data() + at, &v, sizeof v);
}

std::int32_t centimetres(double metres) {
    return static_cast<std::int32_t>(std::lround(metres * 100.0));
}

constexpr int kFormat2 = 2;
constexpr int kFormat2Record = 26;
constexpr std::size_t kClassAt = 15;
constexpr std::size_t kColourAt = 20;

// A point record of format 2: coordinates in centimetres, the class and the colour (the high
// byte of each 16-bit channel).
std::vector<std::uint8_t> format2Record(double x, double y, double z,
                                        const std::array<std::uint8_t, 3>& colour,
                                        std::uint8_t cls) {
    std::vector<std::uint8_t> record =
        fixtures::lasRecord(kFormat2Record, centimetres(x), centimetres(y), centimetres(z));
    record[kClassAt] = cls;
    for (std::size_t c = 0; c < colour.size(); ++c)
        record[kColourAt + 2 * c + 1] = colour[c];
    return record;
}

std::string format2Las(const std::vector<std::vector<std::uint8_t>>& records) {
    fixtures::LasSpec spec;
    spec.pointFormat = kFormat2;
    spec.recordLength = kFormat2Record;
    return fixtures::buildLas(spec, records);
}

std::string filePath(std::size_t sheet) {
    return "/lidar/" + std::to_string(sheet + 1) + ".laz";
}

loopback::Answer fileAnswer(const LidarSheet& sheet, const LidarOptions& options) {
    if (sheet.status != 200)
        return loopback::status(sheet.status, "brak");
    loopback::Answer answer = loopback::ok(sheet.file, "application/octet-stream");
    answer.chunkSize = options.chunkSize;
    answer.chunkDelay = options.chunkDelay;
    return answer;
}

// A grid of 30 x 30 coloured points, 1 m apart, from (0, 0) up.
std::string gridLas() {
    std::vector<ColouredPoint> points;
    for (int i = 0; i < 30; ++i) {
        for (int j = 0; j < 30; ++j) {
            points.push_back({1.0 * i, 1.0 * j, 0.1 * (i + j), static_cast<std::uint8_t>(8 * i),
                              static_cast<std::uint8_t>(8 * j), 128});
        }
    }
    return colouredLas(points);
}

}  // namespace

LidarSheets::LidarSheets(std::vector<LidarSheet> sheets, LidarOptions options)
    : indexDelay_(options.indexDelay) {
    std::vector<std::string> members;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        files_.push_back(std::make_unique<loopback::LoopbackServer>());
        files_.back()->on(filePath(i), fileAnswer(sheets[i], options));
        members.push_back(lidarIndexMember(sheets[i].godlo, files_.back()->url(filePath(i)),
                                           sheets[i].density, sheets[i].uklad));
    }
    members_ = std::make_shared<const std::vector<std::string>>(std::move(members));
}

void LidarSheets::mount(loopback::LoopbackServer& server) const {
    server.onRequest(kLidarIndexPath,
                     [members = members_, delay = indexDelay_](const loopback::Request& request) {
                         loopback::Answer answer = loopback::ok(
                             pagedMembers(*members, request.query, false), "application/xml");
                         answer.delay = delay;
                         return answer;
                     });
}

std::string LidarSheets::fileUrl(std::size_t sheet) const {
    return files_.at(sheet)->url(filePath(sheet));
}

std::size_t LidarSheets::fileRequests(std::size_t sheet) const {
    return files_.at(sheet)->count();
}

LidarService::LidarService(std::vector<LidarSheet> sheets, LidarOptions options)
    : sheets_(std::move(sheets), options) {
    sheets_.mount(index_);
}

std::string lidarIndexMember(const std::string& godlo, const std::string& url,
                             const std::string& density, const std::string& uklad) {
    std::string m = "<wfs:member><gugik:SkorowidzDanychPomiarowychLIDAR2025 gml:id=\"x\">";
    if (!godlo.empty())
        m += "<gugik:godlo>" + godlo + "</gugik:godlo>";
    m += "<gugik:char_przestrz>" + density + "</gugik:char_przestrz>";
    m += "<gugik:uklad_xy>" + uklad + "</gugik:uklad_xy>";
    m += "<gugik:url_do_pobrania>" + url + "</gugik:url_do_pobrania>";
    return m + "</gugik:SkorowidzDanychPomiarowychLIDAR2025></wfs:member>";
}

std::string lidarIndexAnswer(const std::string& members) {
    return "<?xml version=\"1.0\"?><wfs:FeatureCollection>" + members + "</wfs:FeatureCollection>";
}

std::string colouredLas(const std::vector<ColouredPoint>& points) {
    std::vector<std::vector<std::uint8_t>> records;
    records.reserve(points.size());
    for (const ColouredPoint& p : points)
        records.push_back(format2Record(p.x, p.y, p.z, {p.r, p.g, p.b}, 0));
    return format2Las(records);
}

std::string classifiedLas(const std::vector<ClPoint>& points) {
    std::vector<std::vector<std::uint8_t>> records;
    records.reserve(points.size());
    for (const ClPoint& p : points)
        records.push_back(format2Record(p.x, p.y, p.z, {p.r, p.g, p.b}, p.cls));
    return format2Las(records);
}

std::string relocatedLas(std::string file, double minX, double minY, double minZ, double shrink) {
    if (file.size() < kHeaderEnd)
        return file;
    const double target[] = {minX, minY, minZ};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::size_t maxAt = kExtentAt + 16 * axis;
        const double oldMin = doubleAt(file, maxAt + 8);
        const double oldMax = doubleAt(file, maxAt);
        const double scale = doubleAt(file, kScaleAt + 8 * axis);
        const double offset = doubleAt(file, kOffsetAt + 8 * axis);
        // x' = target + (x - oldMin) / shrink, with x = offset + scale * raw.
        putDouble(file, kScaleAt + 8 * axis, scale / shrink);
        putDouble(file, kOffsetAt + 8 * axis, target[axis] + (offset - oldMin) / shrink);
        putDouble(file, maxAt, target[axis] + (oldMax - oldMin) / shrink);
        putDouble(file, maxAt + 8, target[axis]);
    }
    return file;
}

std::uint64_t lasPointCount(const std::string& file) {
    if (file.size() < kHeaderEnd)
        return 0;
    std::uint32_t legacy = 0;
    std::memcpy(&legacy, file.data() + 107, sizeof legacy);
    if (legacy != 0 || file.size() < 255 || file[25] < 4)
        return legacy;
    std::uint64_t count = 0;
    std::memcpy(&count, file.data() + 247, sizeof count);
    return count;
}

SampleSheets sampleSheetsAt(double lat, double lon, const std::string& sampleDir) {
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
