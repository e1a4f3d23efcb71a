#pragma once
// Fakes of the national LiDAR services on the loopback kit: the LiDAR sheet index and the sheet
// files it points to, answering with the sheets the caller gives; and LAS files to fill them.
// Namespace `fakes`.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

// The path of the sheet index on the geoportal's map-service host.
inline constexpr const char* kLidarIndexPath =
    "/wss/service/PZGIK/DanePomiaroweLidarEVRF2007/WFS/Skorowidze";

// One sheet: what the index says of it and the file that its address serves.
struct LidarSheet {
    std::string godlo;              // map-sheet identifier ("" leaves the field out)
    std::string file;               // the LAS or LAZ bytes
    std::string density = "12";     // "char_przestrz", points per m2, as the index writes it
    std::string uklad = "PL-1992";  // "uklad_xy": "PL-1992", or "PL-2000:S5" to "PL-2000:S8"
    int status = 200;               // of the file's address; another status serves no file
};

struct LidarOptions {
    std::chrono::milliseconds indexDelay{0};  // before the index answers
    // Files go out in pieces of chunkSize bytes, chunkDelay apart; 0 sends them whole.
    std::size_t chunkSize = 0;
    std::chrono::milliseconds chunkDelay{0};
};

// The sheet files, each on a loopback host of its own (so that fetching one sheet after another
// waits for no spacing between requests to one host), and the index that lists them: every
// year's layer lists all the sheets, whatever the area asked for, paged by STARTINDEX and COUNT.
class LidarSheets {
public:
    explicit LidarSheets(std::vector<LidarSheet> sheets, LidarOptions options = {});
    LidarSheets(const LidarSheets&) = delete;
    LidarSheets& operator=(const LidarSheets&) = delete;

    // Serves the index at kLidarIndexPath (the geoportal's server of Hosts, for one).
    void mount(loopback::LoopbackServer& server) const;

    std::string fileUrl(std::size_t sheet) const;
    std::size_t fileRequests(std::size_t sheet) const;

private:
    std::vector<std::unique_ptr<loopback::LoopbackServer>> files_;
    std::shared_ptr<const std::vector<std::string>> members_;  // of the index, one per sheet
    std::chrono::milliseconds indexDelay_;
};

// The sheets with their index on a server of its own.
class LidarService {
public:
    explicit LidarService(std::vector<LidarSheet> sheets, LidarOptions options = {});

    // The geoportal base address to configure (services::Endpoints::geoportalMaps).
    std::string indexBase() const { return index_.url(); }
    std::size_t indexRequests() const { return index_.count(kLidarIndexPath); }
    std::string fileUrl(std::size_t sheet) const { return sheets_.fileUrl(sheet); }
    std::size_t fileRequests(std::size_t sheet) const { return sheets_.fileRequests(sheet); }

private:
    loopback::LoopbackServer index_;
    LidarSheets sheets_;
};

// One member of an index answer, and the answer around members.
std::string lidarIndexMember(const std::string& godlo, const std::string& url,
                             const std::string& density, const std::string& uklad);
std::string lidarIndexAnswer(const std::string& members);

// A point with 8-bit colour.
struct ColouredPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// The points as a LAS 1.2 file of point format 2 (colour), coordinates in steps of 1 cm.
std::string colouredLas(const std::vector<ColouredPoint>& points);
// The same with each point's LAS class.
std::string classifiedLas(const std::vector<ClPoint>& points);

// A LAS or LAZ file (version 1.0 to 1.4) whose header is rewritten so that its points shrink
// `shrink` times about their smallest corner and that corner moves to (minX, minY, minZ); the
// point records, compressed or not, stay as they are. The header's extent follows.
std::string relocatedLas(std::string file, double minX, double minY, double minZ,
                         double shrink = 1.0);

// The number of points a LAS or LAZ header announces.
std::uint64_t lasPointCount(const std::string& file);

// Two sheets next to a place: the shared LAZ sample "simple.laz" (1065 coloured points, 3.4 by
// 4.6 km) shrunk twenty times and moved there, once as a PL-1992 sheet and once as a sheet in
// the place's PL-2000 zone, every point within 300 m of the place; LAS files of 900 coloured
// points each when the sample is not in sampleDir. Densities of 4 points per m2.
struct SampleSheets {
    std::vector<LidarSheet> sheets;
    std::uint64_t points = 0;  // in all the sheets
    bool laz = false;          // the shared sample was found
};
SampleSheets sampleSheetsAt(double lat, double lon, const std::string& sampleDir);

}  // namespace fakes
