#pragma once
// What the stages of one fetch share (fetch worker only): the request, the record being filled
// and the warning text every stage adds its sentences to; and the small helpers several stage
// groups use, among them the one wording of a service that could not be reached.

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"
#include "geodata/SheetIndex.h"
#include "geodata/WfsClient.h"
#include "geometry/NdsmModel.h"
#include "import/ImportController.h"

namespace fetchstages {

// A service's GetCapabilities (service "WMS" or "WFS"), asked once more after an answer that is
// no capabilities document (capabilitiesReach), unless it says that nothing is at the address
// (4xx) or the fetch's cancel came.
WfsClient::HttpResult probeCapabilities(WfsClient& client, const std::string& url,
                                        const std::string& service);
// Whether a capabilities answer came: status 200 and no web page.
ServiceReach capabilitiesReach(const WfsClient::HttpResult& answer);

// The sentences of a stage whose service was not reached, or reached only in part
// (geodata/ServiceReach.h).
using reachtext::answerCutShort;
using reachtext::indexUnreachable;
using reachtext::lidarFilesUnreachable;
using reachtext::sheetsLeftOut;
using reachtext::unreachable;

// The sentence of a stage whose municipality lookup did not reach its service: the county (or,
// with municipality, the commune) of the frame was not found.
std::string lookupUnreachable(std::string_view prefix, const ServiceReach& reach,
                              bool municipality = false);

// The sentence of a kind whose tiled download left `missing` of its `total` cells out: its
// features may be lacking there.
std::string missingCells(std::string_view prefix, int missing, int total);

// The model none of whose sheets read, as its files are named ("NMPT", "NMT"), and whether their
// service answered any of them.
struct ModelUnread {
    std::string files;
    ServiceReach reach;
};

// The sentence of a stage none of whose sheets of a model ("NMT", "NMPT") came because their
// service was not reached.
std::string sheetFilesUnreachable(std::string_view prefix, std::string_view model,
                                  const ServiceReach& reach);

// The sentence of a stage that refuses a frame before asking for any sheet: the area its grid of
// the model would cover (square metres; `kept` says what it holds besides the frame, as " z
// marginesem") is larger than the most it takes.
std::string tooLargeForModel(std::string_view prefix, std::string_view model, double area,
                             std::string_view kept, double mostArea);

// Says, with the stage's prefix, what keeps a sheet listing of the frame from serving it whole:
// an index not reached (false: the stage has nothing to go on with), a newer year of it that
// could not be read, so that an older year's sheets are used, or one not read to its end.
template <class Sheet>
bool acceptListing(std::string_view prefix, std::string_view index,
                   const sheetindex::Listing<Sheet>& listing,
                   const std::function<void(const std::string&)>& warn) {
    if (!listing.reach.reached) {
        warn(indexUnreachable(prefix, index, listing.reach));
        return false;
    }
    for (const std::string& sentence :
         sheetindex::shortfallOf(prefix, index, listing, listing.sheets.size()))
        warn(sentence);
    return true;
}

// The sentence of a stage, or of one kind of a stage, that a cancel cut short: its prefix (as
// "Teren z chmury: ") and the words every such stage ends with.
std::string cutShortSentence(std::string_view prefix);

// What a download brought that asks stop() before each of its requests; nothing when the
// fetch's cancel came before it was done (the cancel also breaks off the request under way, which
// may have been its last). Once stop() has held it holds on.
template <class Download>
auto unlessCutShort(const std::atomic<bool>& cancel, Download&& download)
    -> std::optional<std::invoke_result_t<Download&, const WfsClient::StopRequested&>> {
    bool stopped = false;
    const WfsClient::StopRequested stop = [&cancel, &stopped] {
        stopped = stopped || cancel;
        return stopped;
    };
    auto brought = download(stop);
    if (stop())
        return std::nullopt;
    return brought;
}

// What make(i) gives for every item i below count (a building, a way, a sheet), in order, with
// progress(i, count) before each; nothing when the fetch's cancel has come before an item: a
// loop that a cancel cuts short keeps none of its items, and one item at most is made after the
// cancel.
template <class Make>
auto itemsUnlessCutShort(std::size_t count, const std::atomic<bool>& cancel,
                         const std::function<void(int, int)>& progress, Make make)
    -> std::optional<std::vector<std::invoke_result_t<Make&, std::size_t>>> {
    std::vector<std::invoke_result_t<Make&, std::size_t>> items;
    items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (cancel)
            return std::nullopt;
        progress(static_cast<int>(i), static_cast<int>(count));
        items.push_back(make(i));
    }
    return items;
}

// The sentence of a stage that left out records of its source as damaged (a coordinate that is
// not a number, off the globe or far from the frame): what they are and how many.
std::string damagedRecords(std::string_view prefix, std::string_view records, int count);

}  // namespace fetchstages

struct ImportController::FetchRun {
    FetchRun(const Bbox& frame, const std::vector<std::string>& requestedKeys, int scale, int step,
             double interval, std::string warningText, const std::atomic<bool>& cancelRequest);

    const Bbox bbox;  // PL-1992
    const std::vector<std::string> keys;
    const int rasterScale;  // 100 to 10000; any other request asks for 1000
    const int terrainStep;
    const double contourInterval;
    const double rasterMpp;  // ground size of one pixel of the county and municipal rasters
    const std::atomic<bool>& cancel;
    FetchedData data;
    std::string warning;
    // The LoD1 stage found no footprints because a service it needs did not answer (it said so).
    bool footprintsUnreached = false;

    // The frame's surface model, shared by the surface-model stages: loaded by the first that
    // asks for it (ImportController::loadNdsmTiles), remembered for the other.
    struct NdsmTiles {
        bool tried = false;
        bool covered = false;   // both indexes list sheets for the frame
        bool parsed = false;    // a sheet of each model read, and no cancel came
        bool tooLarge = false;  // the frame's grids would not fit in memory: nothing was asked
        fetchstages::ModelUnread unread;  // when no sheet of a model read
        NdsmModel model;
        sheetindex::Listing<sheetindex::Tile> surface;  // the sheets of both models' indexes
        sheetindex::Listing<sheetindex::Tile> terrain;
    };
    NdsmTiles ndsm;

    // A key counts when one of the requested keys equals it, whole and case-sensitively.
    bool requested(std::string_view key) const;

    // Whether the fetch's cancel holds; then the stage's sentence that a cancel cut it short (with
    // its prefix, as "Teren: ") is added. A stage asks after every step that went to the network,
    // since a cancel breaks off the request under way and refuses the later ones: the stage then
    // ends at once and keeps nothing of what that step brought.
    bool cutShort(std::string_view prefix);

    // Adds a sentence to the warning text, after one blank when the text holds something.
    void appendWarning(const std::string& text);

    // appendWarning as a sink for the helpers that take one.
    std::function<void(const std::string&)> warnings();

    // For a stage this build does not carry yet: "Pobieranie " + what + " nie jest jeszcze
    // obslugiwane.".
    void notYetSupported(const std::string& what);
};
