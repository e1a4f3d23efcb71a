#pragma once
// The colours of general-plan zones, by the two-letter code of the zone's symbol.

#include <optional>
#include <string_view>

namespace PogColors {

struct Colour {
    int r = 0;
    int g = 0;
    int b = 0;
};

// The colour of the first zone code (in the table's order) found in the symbol, compared in
// upper case, where it stands on its own: no capital letter right before or after it. Only the
// first place a code occurs is looked at. Nothing when no code matches.
std::optional<Colour> forSymbol(std::string_view symbol);

}  // namespace PogColors
