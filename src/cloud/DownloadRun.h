#pragma once
// The body of one point-cloud download, on the download worker's thread: the LiDAR sheets of
// the frame from the national sheet index, each sheet fetched through the download cache,
// decoded on all cores and read in file order into a PointCloudBuilder (clipped, moved into the
// placement frame and thinned), and the kept points written as an E57 file under the temporary
// folder. It touches neither the host nor the page: what it has to tell goes through the hooks,
// on its own thread.

#include <atomic>
#include <cstddef>
#include <functional>
#include <span>
#include <string>

#include "cloud/CloudController.h"
#include "cloud/CloudEstimate.h"
#include "geodata/GisTypes.h"
#include "geodata/LidarResolver.h"
#include "geodata/WfsClient.h"

namespace cloud {

// What a run tells its owner while it works (called on the run's thread).
struct DownloadHooks {
    // Bytes of sheet i of n arrived (total below 1 when unknown); false stops that download.
    std::function<bool(std::size_t sheet, std::size_t sheets, long long done, long long total)>
        tileProgress;
    // A sheet has been read; pct of all the sheets is done.
    std::function<void(double pct)> sheetRead;
};

// The download of the job's frame. The cancel request is honoured before the first sheet,
// before each sheet, when a sheet's download stops without a file and once more before the file
// is written. The run stops as soon as more than maxKeptPoints points are kept. Never throws:
// every failure comes back as a result whose message says why. A run that goes on without some
// of the frame (an index read only in part, sheets that did not come or read only in part)
// says so in the result's warning, whether it ends with a file or not; a cancelled one does not.
CloudController::DownloadResult runDownload(const CloudController::DownloadJob& job,
                                            WfsClient& client, const std::atomic<bool>& cancel,
                                            const DownloadHooks& hooks,
                                            std::size_t maxKeptPoints = kMaxKeptPoints);

// A "progress" event of the page: its label and its percentage, 0 to 100.
struct ProgressEvent {
    std::string label;
    double pct = 0.0;
};

// The event of sheet i of n (n above 0) after `done` of `total` bytes: "Kafel i+1/n: " and the
// bytes so far, with " / " and the total when it is known (1 or more); the percentage moves
// from i * 100 / n towards (i + 1) * 100 / n as the bytes arrive.
ProgressEvent tileProgressEvent(std::size_t sheet, std::size_t sheets, long long done,
                                long long total);

// The percentage once sheet i of n (n above 0) has been read.
double sheetReadPercent(std::size_t sheet, std::size_t sheets);

// Hands the points of a LAS or LAZ file to `take` a batch at a time, in file order, decoded on
// all cores: every point the header announces (Read), those before the place where the data
// ends early or is damaged (Damaged), or none when the file cannot be read as a point cloud
// (NotOpened: not opened, records shorter than 20 bytes, no point announced). An exception of
// `take` stops the reading and reaches the caller.
LidarResolver::SheetRead readSheetPoints(const std::string& path,
                                         const std::function<void(std::span<const ClPoint>)>& take);

}  // namespace cloud
