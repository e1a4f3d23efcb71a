#include "geodata/Bdot10kClient.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>

#include "Platform.h"
#include "geodata/ServiceConfig.h"
#include "geodata/WfsClient.h"
#include "zip/ZipReader.h"

namespace {

constexpr int kPackageTimeoutMs = 300000;

// The text after the first `open` up to the next `close`; "" when either is missing.
std::string between(const std::string& text, const std::string& open, const std::string& close) {
    const auto start = text.find(open);
    if (start == std::string::npos)
        return "";
    const auto from = start + open.size();
    const auto end = text.find(close, from);
    if (end == std::string::npos)
        return "";
    return text.substr(from, end - from);
}

bool isFourDigitCode(const std::string& teryt) {
    return teryt.size() == 4 &&
           std::all_of(teryt.begin(), teryt.end(), [](unsigned char c) { return std::isdigit(c); });
}

// One diagnostic file per call: the first line truncates it, later lines are appended.
class DiagLog {
public:
    void line(const std::string& text) {
        std::ofstream out(Platform::diagPath("Tovelmark_ndsm_diag.txt"),
                          first_ ? std::ios::trunc : std::ios::app);
        first_ = false;
        if (out)
            out << "[mosty] " << text << '\n';
    }

private:
    bool first_ = true;
};

// Blank-separated numbers read in the classic locale; reading stops at the first one that is
// not a finite number.
std::vector<double> readNumbers(const std::string& text) {
    std::vector<double> values;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (true) {
        while (p < end && std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        if (p == end)
            break;
        double v = 0.0;
        const auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || !std::isfinite(v))
            break;
        values.push_back(v);
        p = next;
    }
    return values;
}

std::string trimControls(const std::string& text) {
    const auto isBlank = [](unsigned char c) { return c <= 32; };
    auto begin = text.begin();
    auto end = text.end();
    while (begin != end && isBlank(static_cast<unsigned char>(*begin)))
        ++begin;
    while (end != begin && isBlank(static_cast<unsigned char>(*(end - 1))))
        --end;
    return {begin, end};
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The OT_BUIN_L sheet out of the package; "" when the archive has none or it cannot be read.
std::string extractSheet(const std::string& path, DiagLog& diag, bool& opened) {
    std::string error;
    auto archive = ZipReader::open(path, error);
    opened = archive.has_value();
    if (!opened)
        return "";
    for (const ZipReader::Entry& entry : archive->entries()) {
        if (!endsWith(entry.name, "_OT_BUIN_L.xml"))
            continue;
        diag.line("wpis OT_BUIN_L w ZIP: " + entry.name);
        return archive->extract(entry.index, error).value_or("");
    }
    diag.line("wpis *_OT_BUIN_L.xml w ZIP: NIE znaleziono");
    return "";
}

}  // namespace

std::string Bdot10kClient::packageUrl(const std::string& teryt) {
    return services::endpoints().openData + "/bdot10k/schemat2021/" + teryt.substr(0, 2) + "/" +
           teryt + "_GML.zip";
}

std::vector<Bdot10kBridge> Bdot10kClient::bridgesFor(const std::string& teryt, WfsClient& client,
                                                     std::string& message) {
    message.clear();
    DiagLog diag;
    if (!isFourDigitCode(teryt)) {
        message = "Mosty (BDOT10k): nieprawidlowy kod TERYT powiatu (" + teryt + ").";
        diag.line("teryt nieprawidlowy: '" + teryt + "'");
        return {};
    }
    const std::string url = packageUrl(teryt);
    diag.line("BDOT10k paczka (bezposredni URL): " + url);

    std::string error;
    const std::string file = client.getCachedFile(
        url, [](long long, long long) { return true; }, kPackageTimeoutMs, error);
    if (file.empty()) {
        diag.line("pobranie paczki ZIP: BLAD (" + error + ")");
        message = error.empty() ? "Mosty (BDOT10k): nie udalo sie pobrac paczki mostow."
                                : "Mosty (BDOT10k): " + error;
        return {};
    }
    diag.line("pobranie paczki ZIP: OK");

    bool opened = false;
    const std::string sheet = extractSheet(file, diag, opened);
    if (!opened) {
        message = "Mosty (BDOT10k): nie mozna otworzyc paczki ZIP.";
        diag.line("otwarcie ZIP: BLAD");
        return {};
    }
    if (sheet.empty()) {
        message = "Mosty (BDOT10k): nie udalo sie rozpakowac arkusza OT_BUIN_L.";
        diag.line("rozpakowanie arkusza: BLAD (pusty XML)");
        return {};
    }
    auto bridges = parseOtBuinL(sheet);
    diag.line("sparsowano ot:OT_BUIN_L: " + std::to_string(bridges.size()) + " osi (gml:posList)");
    return bridges;
}

std::vector<Bdot10kBridge> Bdot10kClient::parseOtBuinL(const std::string& xml) {
    static const std::string kOpen = "<ot:OT_BUIN_L";
    static const std::string kClose = "</ot:OT_BUIN_L";
    std::vector<Bdot10kBridge> bridges;
    std::size_t pos = 0;
    while ((pos = xml.find(kOpen, pos)) != std::string::npos) {
        const auto close = xml.find(kClose, pos + kOpen.size());
        const std::string feature =
            xml.substr(pos, close == std::string::npos ? std::string::npos : close - pos);

        std::string posList = between(feature, "posList", "</gml:posList>");
        const auto tagEnd = posList.find('>');
        if (tagEnd != std::string::npos)
            posList.erase(0, tagEnd + 1);
        const std::vector<double> numbers = readNumbers(posList);

        Bdot10kBridge bridge;
        for (std::size_t i = 0; i + 1 < numbers.size(); i += 2) {
            bridge.points.emplace_back(numbers[i], numbers[i + 1]);
        }
        bridge.rodzaj = between(feature, "<ot:rodzaj>", "</ot:rodzaj>");
        bridge.lokalnyId = between(feature, "<ot:lokalnyId>", "</ot:lokalnyId>");
        if (bridge.points.size() >= 2)
            bridges.push_back(std::move(bridge));

        if (close == std::string::npos)
            break;
        pos = close + kClose.size();
    }
    return bridges;
}

std::string Bdot10kClient::urlForTeryt(const std::string& teryt) {
    if (!isFourDigitCode(teryt))
        return "";
    return services::endpoints().geoportalMaps + "/wss/service/PZGIK/BDOT/WFS/PobieranieBDOT10k" +
           "?SERVICE=WFS&VERSION=2.0.0&REQUEST=GetFeature&TYPENAMES=ms:BDOT10k_powiaty" +
           "&CQL_FILTER=" + WfsClient::urlEncode("TERYT='" + teryt + "'");
}

std::string Bdot10kClient::parseUrlGml(const std::string& xml) {
    return trimControls(between(xml, "ms:URL_GML>", "</ms:URL_GML>"));
}
