#include "import/fetch/MunicipalityLookup.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "DataType.h"
#include "geodata/GmlParser.h"
#include "geodata/GmlSplice.h"
#include "geodata/ServiceConfig.h"

namespace {

constexpr double kReuseDistanceSquared = 1e8;  // (10 km)^2
constexpr double kHalfProbe = 1.0;             // the asked box is 2 m across
constexpr int kProbeCount = 5;

std::string lowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::string serviceUrl() {
    return services::endpoints().geoportalMaps + MunicipalityLookup::kServicePath;
}

// The first property, feature by feature in document order and key by key, that names a code
// ("teryt" or "kod" in its key) and holds 6 or 7 digits; its first 6 digits.
std::string terytOf(const std::vector<GisFeature>& features) {
    for (const GisFeature& feature : features) {
        for (const auto& [key, value] : feature.props) {
            const std::string lower = lowerCase(key);
            const bool namesCode =
                lower.find("teryt") != std::string::npos || lower.find("kod") != std::string::npos;
            if (namesCode && (value.size() == 6 || value.size() == 7) && allDigits(value))
                return std::string(value.substr(0, 6));
        }
    }
    return {};
}

// 2 for a municipality boundary layer, 1 for another municipality layer, 0 for the rest.
int typenameScore(const std::string& name) {
    const std::string lower = lowerCase(name);
    if (lower.find("gmin") == std::string::npos || lower.find("obrony") != std::string::npos)
        return 0;
    return lower.find("granice") != std::string::npos ? 2 : 1;
}

}  // namespace

MunicipalityLookup::Found MunicipalityLookup::find(WfsClient& client, const Bbox& bbox) {
    const GisPoint centre{(bbox.minx + bbox.maxx) / 2, (bbox.miny + bbox.maxy) / 2};
    const double dx = centre.x - lastTerytX_;
    const double dy = centre.y - lastTerytY_;
    if (!lastTeryt_.empty() && dx * dx + dy * dy < kReuseDistanceSquared)
        return {lastTeryt_, {}};
    if (unreached_ && unreached_->first.x == centre.x && unreached_->first.y == centre.y)
        return unreached_->second;
    if (prgTypename_.empty())
        prgTypename_ = kDefaultTypename;

    Found found = queryTeryt(client, centre);
    // A service that does not answer at all is no reason to look for another layer in it.
    if (found.teryt.empty() && !found.reach.silent && !prgTypenameDiscovered_ &&
        discoverTypename(client))
        found = queryTeryt(client, centre);
    if (!found.teryt.empty()) {
        found.reach = {};
        lastTeryt_ = found.teryt;
        lastTerytX_ = centre.x;
        lastTerytY_ = centre.y;
    }
    if (!found.reach.reached)
        unreached_.emplace(centre, found);
    return found;
}

MunicipalityLookup::Found MunicipalityLookup::queryTeryt(WfsClient& client,
                                                         const GisPoint& centre) const {
    const Bbox probe{centre.x - kHalfProbe, centre.y - kHalfProbe, centre.x + kHalfProbe,
                     centre.y + kHalfProbe};
    const std::string url = WfsClient::buildGetFeatureUrl(serviceUrl(), prgTypename_, probe,
                                                          kProbeCount, 0, true, false, 2180);
    const WfsClient::HttpResult answer = client.get(url);
    Found found{{}, WfsClient::reachOf(answer, GmlSplice::featureCount(answer.body).has_value())};
    if (answer.status == 200)
        found.teryt = terytOf(GmlParser::parseFeatureCollection(answer.body, DataType::Dzialki));
    return found;
}

bool MunicipalityLookup::discoverTypename(WfsClient& client) {
    prgTypenameDiscovered_ = true;
    const WfsClient::HttpResult answer =
        client.get(serviceUrl() + "?service=WFS&version=2.0.0&request=GetCapabilities");
    if (answer.status != 200)
        return false;
    const std::string found = municipalityTypename(answer.body);
    if (found.empty() || found == prgTypename_)
        return false;
    prgTypename_ = found;
    return true;
}

std::string MunicipalityLookup::municipalityTypename(const std::string& capabilities) {
    static constexpr std::string_view kOpen = "<Name>";
    static constexpr std::string_view kClose = "</Name>";
    std::string best;
    int bestScore = 0;
    for (std::size_t at = capabilities.find(kOpen); at != std::string::npos;
         at = capabilities.find(kOpen, at)) {
        const std::size_t start = at + kOpen.size();
        const std::size_t end = capabilities.find(kClose, start);
        if (end == std::string::npos)
            break;
        const std::string name = capabilities.substr(start, end - start);
        if (const int score = typenameScore(name); score > bestScore) {
            best = name;
            bestScore = score;
        }
        at = end + kClose.size();
    }
    return best;
}
