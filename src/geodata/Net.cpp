#include "geodata/Net.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace net {
namespace {

constexpr int kDefaultTimeoutMs = 30000;
constexpr long kMaxRedirects = 10;

// How often pauseFor looks at the cancel.
constexpr auto kPauseSlice = std::chrono::milliseconds(20);

std::atomic<int64_t> maxAnswerBytes{kMaxAnswerBytes};

// The innermost abort scope of the thread; null without one.
thread_local AbortScope* currentScope = nullptr;

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The host of an absolute URL that libcurl accepts; nullopt for an unusable URL.
std::optional<std::string> hostOfValidUrl(const std::string& url) {
    const std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    char* host = nullptr;
    std::string text;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK && host != nullptr) {
        text = host;
    }
    curl_free(host);
    return text;
}

std::string invalidUrlMessage(const std::string& url) {
    return "Nieprawidlowy URL: " + url;
}

std::string shortDownloadMessage(int64_t done, int64_t total) {
    return "Pobieranie przerwane (" + formatBytes(done) + " z " + formatBytes(total) + ").";
}

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

void setField(HeaderFields& fields, std::string_view name, std::string_view value) {
    const auto same = std::find_if(fields.begin(), fields.end(), [&](const auto& f) {
        return equalsIgnoringCase(f.first, name);
    });
    if (same != fields.end()) {
        same->second = value;
    } else {
        fields.emplace_back(name, value);
    }
}

// The user agent, then the caller's lines in order, each replacing an earlier one of its name.
HeaderFields headerFields(const std::string& userAgent, std::string_view lines) {
    HeaderFields fields{{"User-Agent", userAgent}};
    while (!lines.empty()) {
        const auto end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 2);
        const auto colon = line.find(':');
        // A lone CR or LF would end the header early and start one of its own.
        if (colon == std::string_view::npos || line.find_first_of("\r\n") != std::string_view::npos)
            continue;
        const std::string_view name = trimmed(line.substr(0, colon));
        if (!name.empty())
            setField(fields, name, trimmed(line.substr(colon + 1)));
    }
    return fields;
}

void appendLine(HeaderList& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr)
        return;
    (void)list.release();
    list.reset(grown);
}

HeaderList toCurlList(const HeaderFields& fields) {
    HeaderList list;
    for (const auto& [name, value] : fields) {
        // "Name;" is libcurl's way of sending a header with an empty value.
        appendLine(list, value.empty() ? name + ";" : name + ": " + value);
    }
    return list;
}

// libcurl's progress callback: a nonzero answer breaks the transfer off.
int abortIfCancelled(void* scope, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const AbortScope*>(scope)->holds() ? 1 : 0;
}

// A transfer on a thread with an abort scope hears its cancel.
void watchCancel(CURL* easy) {
    if (currentScope == nullptr)
        return;
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, abortIfCancelled);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, static_cast<void*>(currentScope));
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
}

// The options every transfer shares: redirects between http and https only, the two limits,
// no signals (transfers run on worker threads), the thread's cancel.
void setCommonOptions(CURL* easy, const std::string& url, int timeoutMs, int extraMs) {
    const Timeouts limits = timeoutsFor(timeoutMs, extraMs);
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.idleMs));
    // Idle: less than one byte per second over the whole idle span ends the transfer.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>((limits.idleMs + 999) / 1000));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.totalMs));
    watchCancel(easy);
}

// A handle set up for url with the limits and header lines; nullopt for an unusable URL.
struct Transfer {
    Easy easy;
    HeaderList headers;  // must outlive the transfer
    std::string host;    // for messages
};

std::optional<Transfer> prepare(const std::string& url, int timeoutMs, int extraMs,
                                HeaderList headers) {
    auto host = hostOfValidUrl(url);
    initialiseOnce();
    Easy easy(curl_easy_init());
    if (!host || !easy)
        return std::nullopt;
    setCommonOptions(easy.get(), url, timeoutMs, extraMs);
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    return Transfer{std::move(easy), std::move(headers), std::move(*host)};
}

long osErrnoOf(CURL* easy) {
    long osErrno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    return osErrno;
}

int64_t statusOf(CURL* easy) {
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

// The announced length of the answer being received; 0 when none was announced.
int64_t announcedLengthOf(CURL* easy) {
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    return length > 0 ? length : 0;
}

// Whether a failed transfer ended because the connection closed before the announced length.
bool endedShort(CURLcode code, int64_t received, int64_t announced) {
    const bool cutOff = code == CURLE_OK || code == CURLE_PARTIAL_FILE || code == CURLE_RECV_ERROR;
    return cutOff && announced > 0 && received < announced;
}

std::string tooLargeMessage(int64_t bound) {
    return "Odpowiedz serwera jest za duza (ponad " + formatBytes(bound) +
           "); pobieranie przerwane.";
}

// An answer being read into memory, never past its bound.
struct BoundedBody {
    std::string bytes;
    int64_t bound = 0;
    bool tooLarge = false;
};

// Grows the body as the string would, but never past the bound: its memory is the bound at most.
size_t appendWithinBound(char* data, size_t size, size_t count, void* target) {
    BoundedBody& body = *static_cast<BoundedBody*>(target);
    const size_t length = size * count;
    const size_t needed = body.bytes.size() + length;
    if (needed > static_cast<size_t>(body.bound)) {
        body.tooLarge = true;
        return 0;  // breaks the transfer off
    }
    if (needed > body.bytes.capacity()) {
        body.bytes.reserve(
            std::min(static_cast<size_t>(body.bound), std::max(needed, 2 * body.bytes.capacity())));
    }
    body.bytes.append(data, length);
    return length;
}

void setMethodAndBody(CURL* easy, const std::string& method, const std::string& body) {
    if (method == "GET" && body.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        return;
    }
    // A POST stays a POST without a body too: it then goes out with "Content-Length: 0".
    if (!body.empty() || method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body.c_str());
    }
    if (method == "HEAD")
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (method != "POST")
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.c_str());
}

// What one streamed download knows while the transfer runs (on the calling thread).
struct Stream {
    CURL* easy = nullptr;
    const ChunkCallback* onData = nullptr;
    int64_t status = 0;
    int64_t total = 0;
    int64_t done = 0;
    bool sawLocation = false;
    bool refused = false;
    bool cancelledByUser = false;
};

// Header lines of every answer in a redirect chain. At the end of a final answer's head the
// status is known: anything but 2xx stops the transfer before a byte of its body is read.
size_t onHeaderLine(char* data, size_t size, size_t count, void* target) {
    Stream& s = *static_cast<Stream*>(target);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (line.starts_with("HTTP/"))
        s.sawLocation = false;
    const std::string_view location = "location:";
    if (line.size() >= location.size() &&
        equalsIgnoringCase(line.substr(0, location.size()), location)) {
        s.sawLocation = true;
    }
    if (line != "\r\n" && line != "\n")
        return length;

    const int64_t status = statusOf(s.easy);
    const bool interim = status >= 100 && status <= 199;
    const bool followed = status >= 300 && status <= 399 && s.sawLocation;
    if (interim || followed)
        return length;
    s.status = status;
    if (!is2xx(status)) {
        s.refused = true;
        return 0;
    }
    s.total = announcedLengthOf(s.easy);
    return length;
}

size_t onBodyChunk(char* data, size_t size, size_t count, void* target) {
    Stream& s = *static_cast<Stream*>(target);
    const size_t length = size * count;
    if (s.refused)
        return 0;
    s.done += static_cast<int64_t>(length);
    if (*s.onData && !(*s.onData)(data, static_cast<int64_t>(length), s.total)) {
        s.cancelledByUser = true;
        return 0;
    }
    return length;
}

// A refused status is the whole answer (its body was never read), so it carries no message.
std::string downloadError(const Stream& s, CURLcode code, const std::string& host) {
    if (s.refused)
        return {};
    if (s.cancelledByUser)
        return kCancelledMessage;
    if (endedShort(code, s.done, s.total))
        return shortDownloadMessage(s.done, s.total);
    if (code != CURLE_OK)
        return polishNetError(code, osErrnoOf(s.easy), host);
    return {};
}

}  // namespace

AbortScope::AbortScope(const std::atomic<bool>& cancel) : cancel_(cancel), outer_(currentScope) {
    currentScope = this;
}

AbortScope::~AbortScope() {
    currentScope = outer_;
}

bool AbortScope::requested() {
    return currentScope != nullptr && currentScope->holds();
}

bool pauseFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!AbortScope::requested()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= left.zero())
            return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, kPauseSlice));
    }
    return false;
}

Timeouts timeoutsFor(int timeoutMs, int extraMs) {
    const int64_t effective = timeoutMs >= 1 ? timeoutMs : kDefaultTimeoutMs;
    const int64_t extra = extraMs >= 1 ? extraMs : 0;
    return {effective, effective + extra};
}

HttpResult request(const std::string& method, const std::string& url, const std::string& headers,
                   const std::string& body, int extraMs, int timeoutMs,
                   const std::string& userAgent) {
    HttpResult result;
    if (AbortScope::requested()) {
        result.error = kCancelledMessage;
        return result;
    }
    HeaderList lines = toCurlList(headerFields(userAgent, headers));
    if (!body.empty())
        appendLine(lines, "Expect:");  // no 100-continue round trip
    const auto transfer = prepare(url, timeoutMs, extraMs, std::move(lines));
    if (!transfer) {
        result.error = invalidUrlMessage(url);
        return result;
    }
    CURL* easy = transfer->easy.get();
    setMethodAndBody(easy, method, body);

    // The answer to HEAD announces the length of a body that it does not carry.
    const bool readsBody = method != "HEAD";
    BoundedBody received{.bound = maxAnswerBytes.load()};
    // An answer announced past the bound ends before its body is read.
    if (readsBody)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(received.bound));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendWithinBound);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
    const CURLcode code = curl_easy_perform(easy);

    const auto receivedLength = static_cast<int64_t>(received.bytes.size());
    const int64_t announced = readsBody ? announcedLengthOf(easy) : 0;
    if (received.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.error = tooLargeMessage(received.bound);
    } else if (endedShort(code, receivedLength, announced)) {
        result.error = shortDownloadMessage(receivedLength, announced);
    } else if (code != CURLE_OK) {
        result.error = polishNetError(code, osErrnoOf(easy), transfer->host);
    } else {
        result.status = statusOf(easy);
        result.body = std::move(received.bytes);
    }
    result.ok = is2xx(result.status) && result.error.empty();
    return result;
}

DownloadResult download(const std::string& url, int extraMs, int timeoutMs,
                        const std::string& userAgent, const ChunkCallback& onData) {
    DownloadResult result;
    if (AbortScope::requested()) {
        result.error = kCancelledMessage;
        result.aborted = true;
        return result;
    }
    const auto transfer = prepare(url, timeoutMs, extraMs, toCurlList(headerFields(userAgent, {})));
    if (!transfer) {
        result.error = invalidUrlMessage(url);
        return result;
    }
    CURL* easy = transfer->easy.get();
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);

    Stream stream;
    stream.easy = easy;
    stream.onData = &onData;
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &stream);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBodyChunk);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &stream);
    const CURLcode code = curl_easy_perform(easy);

    result.status = stream.status;
    result.error = downloadError(stream, code, transfer->host);
    result.aborted = code == CURLE_ABORTED_BY_CALLBACK;
    result.ok = is2xx(result.status) && result.error.empty();
    return result;
}

void setMaxAnswerBytes(int64_t bytes) {
    maxAnswerBytes = bytes >= 1 ? bytes : kMaxAnswerBytes;
}

std::string polishNetError(int curlCode, long osErrno, const std::string& host) {
    switch (curlCode) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return "Blad bezpiecznego polaczenia (TLS).";
        case CURLE_COULDNT_RESOLVE_HOST:
            return host.empty() ? "Nie znaleziono serwera." : "Nie znaleziono serwera: " + host;
        case CURLE_COULDNT_CONNECT:
            if (osErrno == ENETUNREACH || osErrno == ENETDOWN)
                return "Brak polaczenia z internetem.";
            return host.empty() ? "Brak polaczenia z serwerem." : "Brak polaczenia z " + host;
        case CURLE_OPERATION_TIMEDOUT:
            return "Brak odpowiedzi serwera (timeout).";
        case CURLE_ABORTED_BY_CALLBACK:
            return kCancelledMessage;
        default:
            return "Blad sieci (kod " + std::to_string(curlCode) + ").";
    }
}

std::string formatBytes(int64_t bytes) {
    char text[64];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    } else if (bytes < 1048576) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1048576.0);
    }
    std::string out(text);
    std::replace(out.begin(), out.end(), '.', ',');
    return out;
}

}  // namespace net
