#include "geodata/WfsClient.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "geodata/DownloadCache.h"
#include "geodata/Net.h"
#include "geodata/ProjConv.h"
#include "geodata/ServiceConfig.h"

namespace {

constexpr int64_t kSpacingMs = 1000;
constexpr int kDefaultTimeoutMs = 15000;
constexpr int kExtraTransferMs = 8000;
constexpr auto kRetryPause = std::chrono::milliseconds(500);
constexpr std::size_t kDebugUrlLength = 120;

using SteadyMs = std::chrono::duration<int64_t, std::milli>;

int64_t nowMs() {
    return std::chrono::duration_cast<SteadyMs>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The hosts of the national services, the only ones that receive the user's token.
bool isNationalHost(const std::string& host) {
    const services::Endpoints e = services::endpoints();
    const std::string wanted = lowerCase(host);
    for (const std::string* base : {&e.geoportalMaps, &e.openData, &e.planningRegister}) {
        if (!base->empty() && lowerCase(WfsClient::hostOf(*base)) == wanted)
            return true;
    }
    return false;
}

bool holdsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

void logRequest(const std::string& method, const std::string& url) {
    if (std::getenv("GIS_DEBUG_HTTP") == nullptr)
        return;
    const std::string line = "[http] " + method + " " + url.substr(0, kDebugUrlLength) + "\n";
    std::fputs(line.c_str(), stderr);
}

// A number as a standard stream writes it with 10 significant digits (%.10g), independent of the
// process's locale.
std::string tenDigits(double value) {
    std::array<char, 64> text;
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::general, 10);
    return error == std::errc() ? std::string(text.data(), end) : std::string("nan");
}

std::string joinedBox(double a, double b, double c, double d) {
    return tenDigits(a) + "," + tenDigits(b) + "," + tenDigits(c) + "," + tenDigits(d);
}

const char* querySeparator(const std::string& base) {
    return base.find('?') != std::string::npos ? "&" : "?";
}

// The box's corners moved into a PL-2000 zone: the least and greatest converted coordinates.
Bbox inZone(const Bbox& box, int epsg) {
    const GisPoint a = ProjConv::pl1992ToPl2000(box.minx, box.miny, epsg);
    const GisPoint b = ProjConv::pl1992ToPl2000(box.maxx, box.maxy, epsg);
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// Paces progress reports of a streamed download: the first chunk, then a chunk that brings at
// least 1 % of the announced size or comes 200 ms after the last report.
class ProgressPacer {
public:
    bool due(long long written, long long total) {
        const auto now = std::chrono::steady_clock::now();
        const bool bySize = total != 0 && written - lastReported_ >= std::max(1LL, total / 100);
        const bool byTime = now - lastTime_ >= std::chrono::milliseconds(200);
        if (!first_ && !bySize && !byTime)
            return false;
        first_ = false;
        lastReported_ = written;
        lastTime_ = now;
        return true;
    }
    long long lastReported() const { return lastReported_; }

private:
    bool first_ = true;
    long long lastReported_ = 0;
    std::chrono::steady_clock::time_point lastTime_ = std::chrono::steady_clock::now();
};

// Writes the chunks of a streamed download into a cache part file and reports progress.
class StreamIntoFile {
public:
    StreamIntoFile(DownloadCache::PartFile& part, const WfsClient::ByteProgress& progress)
        : part_(part), progress_(progress) {}

    // The chunk callback: false stops the transfer.
    bool take(const char* data, int64_t length, int64_t total) {
        const std::string_view chunk(data, static_cast<std::size_t>(length));
        if (written_ == 0 && looksLikeWebPage(chunk)) {
            webPage_ = true;
            return false;
        }
        if (!part_.write(chunk)) {
            writeFailed_ = true;
            return false;
        }
        written_ += length;
        if (!progress_ || !pacer_.due(written_, total))
            return true;
        stopped_ = !progress_(written_, total);
        return !stopped_;
    }

    // One closing report of the whole count, unless the last report already gave it.
    void reportEnd() {
        if (progress_ && !stopped_ && !writeFailed_ && !webPage_ &&
            pacer_.lastReported() != written_)
            progress_(written_, written_);
    }

    // The user's message for a download that must not be kept; empty when it may.
    std::string failure(bool closed, const net::DownloadResult& result) const {
        if (stopped_ || result.aborted)
            return net::kCancelledMessage;
        if (writeFailed_ || (result.ok && !closed))
            return "Blad zapisu na dysk - sprawdz wolne miejsce.";
        if (webPage_)
            return "Serwer zwrocil strone WWW zamiast pliku.";
        if (result.ok)
            return {};
        if (!result.error.empty())
            return result.error;
        return "Serwer zwrocil status " + std::to_string(result.status);
    }

    // Whether the service answered, for a download that failed with that message: it did when
    // it said that the file is not there (4xx) or when the failure is the program's own.
    ServiceReach reach(const net::DownloadResult& result, const std::string& failure) const {
        const bool ownFailure =
            stopped_ || result.aborted || writeFailed_ || (result.ok && !webPage_);
        const bool noSuchFile = !webPage_ && result.status >= 400 && result.status <= 499;
        return ownFailure || noSuchFile ? ServiceReach{}
                                        : ServiceReach::failed(failure, result.status == 0);
    }

private:
    DownloadCache::PartFile& part_;
    const WfsClient::ByteProgress& progress_;
    ProgressPacer pacer_;
    long long written_ = 0;
    bool stopped_ = false;
    bool writeFailed_ = false;
    bool webPage_ = false;
};

}  // namespace

void WfsClient::setAuthToken(std::string token) {
    const std::lock_guard lock(mutex_);
    authToken_ = std::move(token);
}

void WfsClient::setUserAgent(std::string agent) {
    const std::lock_guard lock(mutex_);
    userAgent_ = std::move(agent);
}

std::string WfsClient::agent() const {
    const std::lock_guard lock(mutex_);
    return userAgent_;
}

std::string WfsClient::urlEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string WfsClient::hostOf(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return std::string(url);
    const auto start = scheme + 3;
    const auto slash = url.find('/', start);
    return std::string(
        url.substr(start, slash == std::string_view::npos ? url.npos : slash - start));
}

void WfsClient::throttle(const std::string& host) {
    // A thread whose cancel holds sends nothing, so it takes no slot from the others.
    if (net::AbortScope::requested())
        return;
    // The slot is taken under the lock and waited for outside it, so two threads asking for the
    // same host get slots a second apart and other hosts never wait.
    const int64_t now = nowMs();
    int64_t release = now;
    std::optional<int64_t> before;
    {
        const std::lock_guard lock(mutex_);
        const auto last = lastRequest_.find(host);
        if (last != lastRequest_.end()) {
            before = last->second;
            release = std::max(release, *before + kSpacingMs);
        }
        lastRequest_[host] = release;
    }
    if (net::pauseFor(std::chrono::milliseconds(release - now)))
        return;
    // Cancelled while waiting: the slot goes back unless a later one was taken after it.
    const std::lock_guard lock(mutex_);
    const auto slot = lastRequest_.find(host);
    if (slot == lastRequest_.end() || slot->second != release)
        return;
    if (before)
        slot->second = *before;
    else
        lastRequest_.erase(slot);
}

std::string WfsClient::headersFor(const std::string& url, const std::string& contentType) const {
    std::string headers;
    if (!contentType.empty())
        headers += "Content-Type: " + contentType + "\r\n";
    std::string token;
    {
        const std::lock_guard lock(mutex_);
        token = authToken_;
    }
    if (!token.empty() && !holdsLineBreak(token) && isNationalHost(hostOf(url))) {
        headers += "Authorization: Bearer " + token + "\r\n";
    }
    return headers;
}

WfsClient::HttpResult WfsClient::request(const std::string& method, const std::string& url,
                                         const std::string& body, const std::string& contentType,
                                         int timeoutMs) {
    throttle(hostOf(url));
    logRequest(method, url);
    net::HttpResult answer = net::request(method, url, headersFor(url, contentType), body,
                                          kExtraTransferMs, timeoutMs, agent());
    return {static_cast<int>(answer.status), std::move(answer.body), std::move(answer.error)};
}

WfsClient::HttpResult WfsClient::get(const std::string& url) {
    return get(url, [](const HttpResult& answer) { return net::is2xx(answer.status); });
}

WfsClient::HttpResult WfsClient::get(const std::string& url, const Accepted& accepted) {
    HttpResult first = get(url, kDefaultTimeoutMs);
    const bool final = accepted(first) || (first.status >= 400 && first.status <= 499);
    if (final || !net::pauseFor(kRetryPause))
        return first;
    return get(url, kDefaultTimeoutMs);
}

WfsClient::HttpResult WfsClient::get(const std::string& url, int timeoutMs) {
    return request("GET", url, "", "", timeoutMs);
}

WfsClient::HttpResult WfsClient::postJson(const std::string& url, const std::string& body) {
    return request("POST", url, body, "application/json", kDefaultTimeoutMs);
}

ServiceReach WfsClient::reachOf(const HttpResult& answer, bool asAsked) {
    return ServiceReach::of(answer.status, answer.body, answer.error, asAsked);
}

long long WfsClient::numberMatched(std::string_view answer) {
    static constexpr std::string_view kAttribute = "numberMatched=\"";
    const std::size_t at = answer.find(kAttribute);
    if (at == std::string_view::npos)
        return -1;
    const char* first = answer.data() + at + kAttribute.size();
    long long count = -1;
    const auto [next, ec] = std::from_chars(first, answer.data() + answer.size(), count);
    return ec == std::errc() ? count : -1;
}

std::string WfsClient::buildGetFeatureUrl(const std::string& base, const std::string& typeName,
                                          const Bbox& box, int count, int startIndex, bool swapAxes,
                                          bool wfs110, int epsg) {
    std::string url = base + querySeparator(base);
    if (wfs110) {
        url += "service=WFS&version=1.1.0&request=GetFeature";
        url += "&typename=" + urlEncode(typeName);
        url += "&maxFeatures=" + std::to_string(count);
    } else {
        url += "service=WFS&version=2.0.0&request=GetFeature";
        url += "&typenames=" + urlEncode(typeName);
        url += "&COUNT=" + std::to_string(count);
        if (startIndex > 0)
            url += "&STARTINDEX=" + std::to_string(startIndex);
    }
    Bbox b = box;
    int code = 2180;
    if (ProjConv::isPl2000(epsg)) {
        b = inZone(box, epsg);
        code = epsg;
        url += "&SRSNAME=" + urlEncode("EPSG:" + std::to_string(epsg));
    }
    const std::string corners = swapAxes ? joinedBox(b.miny, b.minx, b.maxy, b.maxx)
                                         : joinedBox(b.minx, b.miny, b.maxx, b.maxy);
    url += "&BBOX=" + urlEncode(corners + ",urn:ogc:def:crs:EPSG::" + std::to_string(code));
    return url;
}

std::string WfsClient::buildWmsGetMapUrl(const std::string& base, const std::string& layers,
                                         const Bbox& box, int width, int height, int epsg) {
    std::string url = base + querySeparator(base);
    url += "service=WMS&version=1.1.1&request=GetMap";
    url += "&layers=" + urlEncode(layers);
    url += "&styles=&format=" + urlEncode("image/png");
    url += "&transparent=true&SRS=" + urlEncode("EPSG:" + std::to_string(epsg));
    url += "&WIDTH=" + std::to_string(width);
    url += "&HEIGHT=" + std::to_string(height);
    url += "&BBOX=" + urlEncode(joinedBox(box.minx, box.miny, box.maxx, box.maxy));
    return url;
}

std::string WfsClient::cacheDir() {
    return DownloadCache::shared().dir();
}

void WfsClient::setCacheAppName(const char* name) {
    if (name != nullptr)
        DownloadCache::shared().setAppName(name);
}

std::string WfsClient::cachePathFor(const std::string& url) {
    return DownloadCache::shared().pathFor(url, "gml");
}

std::string WfsClient::cacheFilePathFor(const std::string& url, const char* extension) {
    return DownloadCache::shared().pathFor(url, extension != nullptr ? extension : "bin");
}

std::string WfsClient::formatBytes(int64_t bytes) {
    return net::formatBytes(bytes);
}

std::string WfsClient::getCachedRaw(const std::string& url, int timeoutMs) {
    ServiceReach ignored;
    return getCachedRaw(url, timeoutMs, ignored);
}

std::string WfsClient::getCachedRaw(const std::string& url, int timeoutMs, ServiceReach& reach) {
    reach = {};
    // Without a name for the file the answer is asked for and not kept.
    const std::string path = cachePathFor(url);
    if (auto cached = path.empty() ? std::nullopt : DownloadCache::read(path))
        return std::move(*cached);
    HttpResult answer = get(url, timeoutMs);
    const bool webPage = looksLikeWebPage(answer.body);
    // Nothing at the address (4xx) is an answer of the service too.
    const bool missing = answer.error.empty() && answer.status >= 400 && answer.status <= 499;
    reach = missing ? ServiceReach{} : reachOf(answer, !answer.body.empty() && !webPage);
    if (!net::is2xx(answer.status) || answer.body.empty())
        return {};
    if (!webPage)
        DownloadCache::shared().store(path, answer.body);  // refuses a path that is ""
    return std::move(answer.body);
}

std::string WfsClient::getCachedFile(const std::string& url, const ByteProgress& progress,
                                     int timeoutMs, std::string& error) {
    ServiceReach ignored;
    return getCachedFile(url, progress, timeoutMs, error, ignored);
}

std::string WfsClient::getCachedFile(const std::string& url, const ByteProgress& progress,
                                     int timeoutMs, std::string& error, ServiceReach& reach) {
    reach = {};
    const std::string path = cacheFilePathFor(url, "zip");
    if (path.empty()) {
        error = "Brak SHA-1 w libcrypto: nie mozna nazwac pliku pamieci podrecznej.";
        return {};
    }
    if (DownloadCache::holds(path))
        return path;
    throttle(hostOf(url));
    DownloadCache::PartFile part(DownloadCache::shared(), path);
    if (!part.isOpen()) {
        error = "Nie mozna zapisac do pamieci podrecznej: " + part.tempPath();
        return {};
    }
    StreamIntoFile sink(part, progress);
    const net::DownloadResult result =
        net::download(url, kExtraTransferMs, timeoutMs, agent(),
                      [&sink](const char* data, int64_t length, int64_t total) {
                          return sink.take(data, length, total);
                      });
    if (result.ok)
        sink.reportEnd();
    const bool closed = part.close();
    if (const std::string failure = sink.failure(closed, result); !failure.empty()) {
        error = failure;
        reach = sink.reach(result, failure);
        return {};
    }
    if (!part.commit()) {
        error = "Nie mozna sfinalizowac pliku w pamieci podrecznej.";
        return {};
    }
    return path;
}
