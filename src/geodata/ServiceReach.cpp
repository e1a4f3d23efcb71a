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

// The names one after another, as "A, B".
std::string listed(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

// The form of a word after a count: one, few (2 to 4, but not 12 to 14, and so on) or many.
std::string_view countForm(std::size_t count, std::string_view one, std::string_view few,
                           std::string_view many) {
    if (count == 1)
        return one;
    const std::size_t units = count % 10;
    const std::size_t tens = count % 100;
    return units >= 2 && units <= 4 && (tens < 12 || tens > 14) ? few : many;
}

std::string counted(std::size_t count, std::string_view one, std::string_view few,
                    std::string_view many) {
    return std::to_string(count) + " " + std::string(countForm(count, one, few, many));
}

constexpr std::size_t kLongestNote = 100;

}  // namespace

namespace reachtext {

std::string shortened(std::string_view text) {
    if (text.size() <= kLongestNote)
        return std::string(text);
    std::size_t end = text.rfind(' ', kLongestNote);
    if (end == std::string_view::npos || end == 0) {
        end = kLongestNote;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;  // not inside a UTF-8 character
    }
    return std::string(text.substr(0, end)) + "...";
}

std::string shortNote(std::string_view text) {
    std::string out;
    for (const unsigned char c : text) {
        if ((c & 0xC0) == 0x80)
            continue;  // a UTF-8 continuation byte: its character is already a '?'
        const char shown = c >= 0x80                            ? '?'
                           : std::isspace(c) || std::iscntrl(c) ? ' '
                                                                : static_cast<char>(c);
        if (shown != ' ' || (!out.empty() && out.back() != ' '))
            out += shown;
    }
    if (!out.empty() && out.back() == ' ')
        out.pop_back();
    return shortened(out);
}

}  // namespace reachtext

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

std::string answerCutShort(std::string_view prefix, std::string_view service,
                           std::string_view note) {
    const std::string said = shortNote(note);
    return std::string(prefix) + "usluga " + std::string(service) +
           " przerwala odpowiedz - dane moga byc niepelne." +
           (said.empty() ? "" : " Uwaga uslugi: " + sentence(said));
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

std::string indexIncomplete(std::string_view prefix, std::string_view index, std::size_t listed) {
    return std::string(prefix) + "skorowidz " + std::string(index) +
           " nie podal wszystkich arkuszy kadru (odczytano " + std::to_string(listed) +
           ") - kadr moze byc pokryty tylko czesciowo.";
}

std::string sheetsLeftOut(std::string_view prefix, const std::vector<std::string>& names) {
    return std::string(prefix) + "pominieto " + counted(names.size(), "kafel", "kafle", "kafli") +
           " nie do uzycia (" + listed(names) + ").";
}

std::vector<std::string> shortfall(std::string_view prefix, const SheetShortfall& sheets) {
    std::vector<std::string> sentences;
    if (!sheets.unusable.empty())
        sentences.push_back(sheetsLeftOut(prefix, sheets.unusable));
    if (!sheets.damaged.empty()) {
        const std::size_t count = sheets.damaged.size();
        sentences.push_back(
            std::string(prefix) + counted(count, "kafel", "kafle", "kafli") + " " +
            std::string(countForm(count, "uszkodzony", "uszkodzone", "uszkodzonych")) +
            " - uzyto tylko punktow sprzed uszkodzenia (" + listed(sheets.damaged) + ").");
    }
    return sentences;
}

}  // namespace reachtext
