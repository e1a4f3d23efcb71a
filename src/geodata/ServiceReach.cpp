#include "geodata/ServiceReach.h"

#include <algorithm>
#include <cctype>

#include "geodata/Net.h"

namespace {

std::string sentence(std::string_view text) {
    std::string out(text);
    if (!out.empty() && out.back() != '.')
        out += '.';
    return out;
}

std::string foreignAnswer(std::string_view body) {
    return looksLikeWebPage(body) ? "Serwer zwrocil strone WWW zamiast danych."
                                  : "Serwer zwrocil odpowiedz innego rodzaju niz oczekiwana.";
}

}  // namespace

ServiceReach ServiceReach::of(int status, std::string_view body, std::string_view transportError,
                              bool asAsked) {
    if (!transportError.empty() || status == 0)
        return failed(transportError.empty() ? "Brak odpowiedzi serwera." : transportError,
                      status == 0);
    if (!net::is2xx(status))
        return failed("Serwer zwrocil status " + std::to_string(status) + ".");
    if (!asAsked)
        return failed(foreignAnswer(body));
    return {};
}

ServiceReach ServiceReach::failed(std::string_view reason, bool silent) {
    return {false, silent, sentence(reason)};
}

bool looksLikeWebPage(std::string_view body) {
    const auto start = body.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos)
        return false;
    std::string head(body.substr(start, 14));
    std::transform(head.begin(), head.end(), head.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return head.starts_with("<!doctype html") || head.starts_with("<html");
}

void ReachTally::note(const ServiceReach& one) {
    anyNoted_ = true;
    if (one.reached)
        anyReached_ = true;
    else
        lastFailure_ = one;
}

ServiceReach ReachTally::result() const {
    return anyReached_ || !anyNoted_ ? ServiceReach{} : lastFailure_;
}

namespace reachtext {

std::string unreachable(std::string_view prefix, std::string_view service,
                        std::string_view consequence, const ServiceReach& reach) {
    return std::string(prefix) + "usluga " + std::string(service) + " nie odpowiada - " +
           std::string(consequence) + ". Powod: " + reach.reason;
}

std::string indexUnreachable(std::string_view prefix, std::string_view index,
                             const ServiceReach& reach) {
    const std::string name(index);
    return unreachable(prefix, "skorowidza " + name + " (geoportal)",
                       "nie sprawdzono, czy sa arkusze " + name + " dla tego obszaru", reach);
}

std::string indexYearUnreachable(std::string_view prefix, std::string_view index, int year,
                                 int usedYear, const ServiceReach& reach) {
    return unreachable(
        prefix,
        "skorowidza " + std::string(index) + " z roku " + std::to_string(year) + " (geoportal)",
        usedYear != 0 ? "uzyto arkuszy z roku " + std::to_string(usedYear)
                      : "starsze roczniki nie maja arkuszy dla tego obszaru",
        reach);
}

std::string lidarFilesUnreachable(std::string_view prefix, const ServiceReach& reach) {
    return unreachable(prefix, "plikow LiDAR (geoportal)", "nie pobrano zadnego kafla LiDAR",
                       reach);
}

}  // namespace reachtext
