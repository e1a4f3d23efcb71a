#include "LidarFakes.h"

#include <cmath>
#include <cstring>

#include "LasBuilder.h"

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

loopback::Answer fileAnswer(const LidarSheet& sheet, const LidarServiceOptions& options) {
    if (sheet.status != 200)
        return loopback::status(sheet.status, "brak");
    loopback::Answer answer = loopback::ok(sheet.file, "application/octet-stream");
    answer.chunkSize = options.chunkSize;
    answer.chunkDelay = options.chunkDelay;
    return answer;
}

}  // namespace

LidarService::LidarService(std::vector<LidarSheet> sheets, LidarServiceOptions options) {
    std::string members;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        files_.push_back(std::make_unique<loopback::LoopbackServer>());
        const std::string name = "/lidar/" + std::to_string(i + 1) + ".laz";
        files_.back()->on(name, fileAnswer(sheets[i], options));
        members += lidarIndexMember(sheets[i].godlo, files_.back()->url(name), sheets[i].density,
                                    sheets[i].uklad);
    }
    loopback::Answer index = loopback::ok(wfsFeatureCollection(members), "application/xml");
    index.delay = options.indexDelay;
    index_.on(kLidarIndexPath, std::move(index));
}

std::string LidarService::fileUrl(std::size_t sheet) const {
    return files_.at(sheet)->url("/lidar/" + std::to_string(sheet + 1) + ".laz");
}

std::size_t LidarService::fileRequests(std::size_t sheet) const {
    return files_.at(sheet)->count();
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

std::string wfsFeatureCollection(const std::string& members) {
    return "<?xml version=\"1.0\"?><wfs:FeatureCollection>" + members + "</wfs:FeatureCollection>";
}

std::string colouredLas(const std::vector<ColouredPoint>& points) {
    fixtures::LasSpec spec;
    spec.pointFormat = 2;
    spec.recordLength = 26;
    std::vector<std::vector<std::uint8_t>> records;
    records.reserve(points.size());
    for (const ColouredPoint& p : points) {
        auto record = fixtures::lasRecord(spec.recordLength, centimetres(p.x), centimetres(p.y),
                                          centimetres(p.z));
        const std::uint8_t channels[] = {p.r, p.g, p.b};
        for (std::size_t c = 0; c < 3; ++c)
            record[20 + 2 * c + 1] = channels[c];  // the high byte of each 16-bit channel
        records.push_back(std::move(record));
    }
    return fixtures::buildLas(spec, records);
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

}  // namespace fakes
