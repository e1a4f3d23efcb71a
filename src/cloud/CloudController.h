#pragma once
// The back end of the point-cloud page. The user frames an area on the page's map and picks a
// detail level; the controller answers with an estimate of the point count and file size at
// once and refines it in the background from the national LiDAR sheet index; it starts and
// cancels the download of the area's points (thinned and written as an E57 file that is then
// handed to the user), writes a project georeference from a map position and tells the page
// where to open its map. It creates nothing in the model.
//
// Every handler runs on the host's main thread. The workers (one estimate thread per
// "frameEstimate", at most one download thread) reach the page only through tasks posted to the
// main thread, and nothing waits for such a task. They share with the main thread only atomics:
// the cancel request, the estimate generation and the point density; busy is the main thread's.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Bridge.h"
#include "cloud/Detail.h"
#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

class CloudController {
public:
    using json = nlohmann::json;

    // One "frameEstimate" for its worker: the frame (PL-1992), the detail level, the frame's
    // area in m2, the density the immediate reply used and the request's generation.
    struct EstimateJob {
        Bbox frame;
        cloudui::Detail detail = cloudui::Detail::Standard;
        double area = 0.0;
        double density = 0.0;
        std::uint64_t generation = 0;
    };

    // One download for its worker: the frame (PL-1992), the detail level, the PL-2000 zone the
    // points are placed in and, with hasGeo, the project's survey point and height as the
    // origin of the points' local frame.
    struct DownloadJob {
        Bbox frame;
        cloudui::Detail detail = cloudui::Detail::Standard;
        std::int32_t placeEpsg = 0;
        double anchorE = 0.0;
        double anchorN = 0.0;
        double anchorH = 0.0;
        bool hasGeo = false;
    };

    // Smallest and largest value of one local axis over the kept points.
    struct Range {
        double min = 1e18;
        double max = -1e18;
    };

    // What a download brought. On failure message says why, the anchor is 0, the ranges are
    // empty and the count 0; path names the E57 file once writing it was attempted. warning
    // says what of the frame the points lack (empty when nothing), with a file or without.
    struct DownloadResult {
        bool ok = false;
        std::string message;
        std::string warning;
        // The cloud may lack part of the frame: a sheet did not come or read whole, or the index
        // was read only in part (an older year's sheets alone are no gap: warning says so).
        bool partial = false;
        std::string path;
        double anchorE = 0.0;
        double anchorN = 0.0;
        std::int32_t placeEpsg = 0;
        Range x, y, z;
        std::int64_t count = 0;
    };

    // Runs body on a thread of its own and returns at once; throws std::system_error when no
    // thread can be started.
    using ThreadLauncher = std::function<void(std::function<void()> body)>;

    // The one controller of the program, built on first use and never destroyed.
    static CloudController& Instance();

    // The program uses Instance(); tests build controllers of their own.
    CloudController();
    CloudController(const CloudController&) = delete;
    CloudController& operator=(const CloudController&) = delete;

    // Registers "frameEstimate", "download", "cancel", "setOrigin" and "getInit", in this order.
    void registerHandlers(Bridge& bridge);

    // The PL-1992 extent of the four corners of [lon0, lat0, lon1, lat1] (two opposite corners
    // in degrees, in either order).
    Bbox bboxFromWgs84(const std::vector<double>& corners) const;
    // "lekki" light, "full" full, any other text standard; exact and case-sensitive.
    static cloudui::Detail detailFromString(const std::string& text);

    // The page's messages. Replies carry their own "type"; null means that the answer comes
    // later as events.
    json onFrameEstimate(const json& message);
    json onDownload(const json& message);
    json onCancel(const json& message);
    json onSetOrigin(const json& message);
    json onGetInit(const json& message);

    // Marks the controller busy, clears the cancel request, tells the page that the sheet index
    // is being asked and starts the download worker. When the worker cannot start, the
    // controller is idle again and std::system_error is thrown.
    void startDownload(const Bbox& frame, cloudui::Detail detail, int placeEpsg, double anchorE,
                       double anchorN, double anchorH, bool hasGeo);

    // Where the workers run: by default on detached threads. Tests run them on threads they
    // join; an empty function restores the default.
    void setThreadLauncher(ThreadLauncher launcher);

private:
    // The corners of a message's "bboxWgs84": nothing, with the sentence for the page in
    // `error`, when it is missing or has not exactly 4 entries, when a corner is not finite or
    // not a position on the globe, or when the frame lies not wholly within the reach of the
    // Polish coordinate systems (geobounds::frameWithinReach). Entries that are not numbers
    // throw pagefield::Refusal.
    std::optional<std::vector<double>> frameCorners(const json& message, std::string& error) const;
    // The message's "detail" (standard when missing); a value that is not a text throws
    // pagefield::Refusal.
    static cloudui::Detail detailOf(const json& message);

    void estimateWorker(const EstimateJob& job);
    void postEstimate(std::int64_t points, std::int64_t bytes, bool overLimit, double density,
                      std::uint64_t jobGeneration);

    void downloadWorker(const DownloadJob& job);
    bool tileProgress(std::size_t sheet, std::size_t sheets, long long done, long long total);
    void postTileProgress(const std::string& label, double pct);
    void postProcessingProgress(double pct);
    void finishDownload(const DownloadResult& result);

    WfsClient client;  // the download worker's
    std::atomic<double> density{12.0};
    std::atomic<std::uint64_t> generation{0};
    std::atomic<bool> cancel{false};
    bool busy = false;
    ThreadLauncher launcher_;
};
