#pragma once
// The one HTTP client of the program. On top of the transport (net) it adds a fixed user agent,
// a bearer token for the national services, a spacing of one second between requests of one
// client to one host, one retry of plain GETs, the download cache and the tiled WFS download.
//
// An instance may be shared by a worker and the main thread: the token, the user agent and the
// spacing table are guarded, and a wait for a host's turn never holds the guard. A cancel reaches
// only the requests of the thread whose abort scope holds it (net::AbortScope): they fail at once
// with net::kCancelledMessage, and that thread's waits end.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "geodata/GisTypes.h"
#include "geodata/ServiceReach.h"

class WfsClient {
public:
    struct HttpResult {
        int status = 0;  // 0 when no answer arrived
        std::string body;
        std::string error;  // Polish message of the transport; empty for any HTTP status
    };

    // (bytes so far, expected total; 0 when unknown) -> false stops the download.
    using ByteProgress = std::function<bool(long long done, long long total)>;
    // (cells done, cells in all), after every cell of a tiled download.
    using CellProgress = std::function<void(int done, int total)>;
    // Asked before every request of a long download; true ends the download there.
    using StopRequested = std::function<bool()>;

    // What a tiled download brought: the spliced document ("" when no cell answered with a
    // feature collection), how many cells could not be fetched whole, and whether the service
    // answered any cell.
    struct TiledResult {
        std::string document;
        int cells = 0;
        int failedCells = 0;     // no usable answer; nothing of them was cached
        int truncatedCells = 0;  // more features than could be paged through
        bool stopped = false;    // a stop came before the last cell was done
        ServiceReach reach;      // not reached when no cell was
        bool complete() const { return failedCells == 0 && truncatedCells == 0 && !stopped; }
        int missingCells() const { return failedCells + truncatedCells; }
    };

    static constexpr const char* kUserAgent = "TERRAWEFT/0.1 (bim-addon)";

    WfsClient() = default;

    // The token goes, as "Authorization: Bearer <token>", only to the hosts of the national
    // services (geoportal, open data, planning register); a token holding CR or LF is never sent.
    void setAuthToken(std::string token);
    void setUserAgent(std::string agent);

    static std::string urlEncode(std::string_view text);
    // The spacing key: the text between "://" and the next "/", port and user part included;
    // a text without "://" is its own key.
    static std::string hostOf(std::string_view url);

    // Waits until one second has passed since the previous request of this client to host; the
    // wait ends early on the thread's cancel, and a thread whose cancel holds takes no turn.
    void throttle(const std::string& host);

    HttpResult request(const std::string& method, const std::string& url, const std::string& body,
                       const std::string& contentType, int timeoutMs);
    // Whether an answer is the one asked for.
    using Accepted = std::function<bool(const HttpResult& answer)>;

    // GET with 15 s, retried once after 500 ms unless the answer is 2xx or 4xx or the thread's
    // cancel came.
    HttpResult get(const std::string& url);
    // The same, with the answers that need no retry accepted by the caller (4xx, nothing at the
    // address, never gets one).
    HttpResult get(const std::string& url, const Accepted& accepted);
    HttpResult get(const std::string& url, int timeoutMs);
    HttpResult postJson(const std::string& url, const std::string& body);

    // The reach of one answer; asAsked tells whether its body is of the kind asked for.
    static ServiceReach reachOf(const HttpResult& answer, bool asAsked);
    // The count after numberMatched=" in a WFS 2.0 answer; -1 when there is none (or "unknown").
    static long long numberMatched(std::string_view answer);

    // WFS GetFeature (2.0.0, or 1.1.0 with wfs110) for a PL-1992 box; an epsg of a PL-2000 zone
    // (2176-2179) converts the box into that zone, any other value means EPSG:2180.
    static std::string buildGetFeatureUrl(const std::string& base, const std::string& typeName,
                                          const Bbox& box, int count, int startIndex, bool swapAxes,
                                          bool wfs110, int epsg);
    // WMS 1.1.1 GetMap of a PNG; the box is written as given.
    static std::string buildWmsGetMapUrl(const std::string& base, const std::string& layers,
                                         const Bbox& box, int width, int height, int epsg);

    // Download cache: files named by the SHA-1 of the URL under the user's data folder. Without
    // SHA-1 in libcrypto no URL can be named: the path functions give "", answers are asked for
    // and not kept (getCachedRaw, the tiled download), and a file download fails with its reason.
    static std::string cacheDir();
    // Renames the cache's application folder before its first use; null or "" leaves it.
    static void setCacheAppName(const char* name);
    static std::string cachePathFor(const std::string& url);  // ".gml"
    static std::string cacheFilePathFor(const std::string& url, const char* extension);

    // The answer body from the cache, or fetched (one GET, no retry) and kept; "" on failure.
    // A web page answered in place of data is handed back but not kept.
    std::string getCachedRaw(const std::string& url, int timeoutMs);
    // The same; reach tells whether the service answered: an answer that nothing is at the
    // address (4xx) counts as one; an empty body or a web page do not.
    std::string getCachedRaw(const std::string& url, int timeoutMs, ServiceReach& reach);
    // The path of the cached file, streamed into the cache when missing; "" with error set on
    // failure (error is left alone on success).
    std::string getCachedFile(const std::string& url, const ByteProgress& progress, int timeoutMs,
                              std::string& error);
    // The same; reach tells whether the service answered. An answer that the file is not there
    // (4xx) counts as one, and so does a failure of the program's own (cancel, the disk); no
    // answer at all, a broken transfer, a server error (5xx) or a web page do not.
    std::string getCachedFile(const std::string& url, const ByteProgress& progress, int timeoutMs,
                              std::string& error, ServiceReach& reach);

    static std::string formatBytes(int64_t bytes);

    // Features of one type for a box of any size, asked in cells of 500 m through the cache and
    // spliced into one GML document. stop is asked before every page of every cell; once it
    // holds, the document keeps what the pages before brought.
    std::string getFeaturesCached(const std::string& base, const std::string& typeName,
                                  const Bbox& box, const CellProgress& progress, bool swapAxes,
                                  bool wfs110, int epsg, const StopRequested& stop = {});
    TiledResult getFeaturesTiled(const std::string& base, const std::string& typeName,
                                 const Bbox& box, const CellProgress& progress, bool swapAxes,
                                 bool wfs110, int epsg, const StopRequested& stop = {});

private:
    std::string headersFor(const std::string& url, const std::string& contentType) const;
    std::string agent() const;

    mutable std::mutex mutex_;
    std::string authToken_;
    std::string userAgent_ = kUserAgent;
    std::map<std::string, int64_t> lastRequest_;  // host -> release time, steady clock ms
};
