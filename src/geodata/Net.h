#pragma once
// The program's only contact with the network: two blocking HTTP operations on libcurl. Each
// call uses a fresh connection without cookies, credentials or cache, follows redirects between
// http and https addresses only, and turns failures into short Polish messages. A worker binds
// the transfers of its thread to its cancel request with an AbortScope.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace net {

// The message of a transfer that the calling thread's cancel broke off or kept from starting.
inline constexpr const char* kCancelledMessage = "Pobieranie anulowane.";

// Binds every transfer of the thread that holds it to a cancel request, for the scope's life.
// Once the request holds, no transfer of the thread starts (it fails at once with
// kCancelledMessage, nothing sent), one under way is broken off (libcurl's progress callback looks
// at the request at least about once a second, also while nothing arrives), and pauseFor ends.
// The fetch and the point-cloud download install one on their workers: a cancel that stays set
// after them never reaches another thread's requests on a shared client, nor a later run's.
// Scopes nest; the innermost one counts.
class AbortScope {
public:
    explicit AbortScope(const std::atomic<bool>& cancel);
    ~AbortScope();
    AbortScope(const AbortScope&) = delete;
    AbortScope& operator=(const AbortScope&) = delete;

    // Whether the cancel of the calling thread's innermost scope holds; false without a scope.
    static bool requested();

    // Whether this scope's cancel holds.
    bool holds() const { return cancel_.load(); }

private:
    const std::atomic<bool>& cancel_;
    AbortScope* outer_;
};

// Waits for the duration, or less when the calling thread's cancel comes meanwhile; false when
// it came (before or during the wait).
bool pauseFor(std::chrono::milliseconds duration);

struct HttpResult {
    int64_t status = 0;  // 0 when no answer arrived
    std::string body;
    std::string error;  // Polish message; empty when the transfer succeeded (any status)
    bool ok = false;    // status 2xx and no error
};

struct DownloadResult {
    int64_t status = 0;
    std::string error;
    bool ok = false;
    bool aborted = false;  // the thread's cancel broke the transfer off or kept it from starting
};

// Called with each chunk in order and the announced total length (0 when none was announced);
// false stops the download.
using ChunkCallback = std::function<bool(const char* data, int64_t length, int64_t total)>;

// The most that request keeps of one answer in memory. An answer announced larger is not read;
// one that grows past it (no length announced, or a server that does not stop) is broken off.
// Either ends with status 0, an empty body and "Odpowiedz serwera jest za duza (ponad 512,0 MB);
// pobieranie przerwane.". Files go through download, which never holds more than a chunk.
inline constexpr int64_t kMaxAnswerBytes = int64_t{512} << 20;

// The bound of every later request in the process; below 1 restores kMaxAnswerBytes. For tests,
// which cannot send half a gigabyte.
void setMaxAnswerBytes(int64_t bytes);

// Sends one request and keeps the whole answer in memory, up to the bound above. headers holds
// "Name: value" lines separated by "\r\n"; a line replaces an earlier header of the same name,
// "User-Agent" included. timeoutMs below 1 means 30000; extraMs (below 1 counts as 0) lengthens
// only the limit of the whole transfer.
HttpResult request(const std::string& method, const std::string& url, const std::string& headers,
                   const std::string& body, int extraMs, int timeoutMs,
                   const std::string& userAgent);

// GETs url and streams the body to onData (which may be empty). An answer other than 2xx
// returns at once with its status, an empty error and no chunk delivered.
DownloadResult download(const std::string& url, int extraMs, int timeoutMs,
                        const std::string& userAgent, const ChunkCallback& onData);

inline bool is2xx(int64_t status) {
    return status >= 200 && status <= 299;
}

// The two limits of one transfer: no progress for idleMs (connecting included) ends it, and so
// does the whole transfer lasting longer than totalMs.
struct Timeouts {
    int64_t idleMs;
    int64_t totalMs;
};
Timeouts timeoutsFor(int timeoutMs, int extraMs);

// The user's message for a failed transfer: curlCode is the libcurl result, osErrno the
// system error of the connection attempt (0 when unknown), host the URL's host (may be empty).
std::string polishNetError(int curlCode, long osErrno, const std::string& host);

// "%lld B", "%.1f KB" or "%.1f MB" in steps of 1024, written with a decimal comma.
std::string formatBytes(int64_t bytes);

}  // namespace net
