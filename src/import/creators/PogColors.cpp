#include "import/creators/PogColors.h"

#include <array>
#include <string>

namespace PogColors {
namespace {

struct Row {
    std::string_view code;
    Colour colour;
};

constexpr std::array<Row, 13> kTable = {{
    {"SW", {140, 123, 107}},
    {"SJ", {201, 162, 75}},
    {"SZ", {228, 206, 140}},
    {"SU", {232, 138, 125}},
    {"SH", {231, 158, 196}},
    {"SP", {180, 157, 212}},
    {"SR", {242, 232, 76}},
    {"SI", {204, 204, 204}},
    {"SN", {183, 217, 143}},
    {"SC", {169, 198, 174}},
    {"SG", {232, 196, 220}},
    {"SO", {220, 233, 192}},
    {"SK", {244, 244, 244}},
}};

bool isCapital(char c) {
    return c >= 'A' && c <= 'Z';
}

std::string asciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Whether the first occurrence of the code stands on its own.
bool standsAlone(std::string_view symbol, std::string_view code) {
    const std::size_t at = symbol.find(code);
    if (at == std::string_view::npos)
        return false;
    const std::size_t after = at + code.size();
    return (at == 0 || !isCapital(symbol[at - 1])) &&
           (after >= symbol.size() || !isCapital(symbol[after]));
}

}  // namespace

std::optional<Colour> forSymbol(std::string_view symbol) {
    const std::string upper = asciiUpper(symbol);
    for (const Row& row : kTable) {
        if (standsAlone(upper, row.code))
            return row.colour;
    }
    return std::nullopt;
}

}  // namespace PogColors
