#pragma once
// Numbers written into addresses, queries and index files: always with a decimal point, whatever
// the process locale (a host running under a Polish locale would otherwise write commas).

#include <array>
#include <charconv>
#include <string>

namespace numbertext {

// The value as "%.<decimals>f" writes it in the "C" locale.
inline std::string fixed(double value, int decimals) {
    std::array<char, 512> text;
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

// The value as "%g" writes it in the "C" locale: six significant digits, an exponent only where
// it is needed.
inline std::string general(double value) {
    std::array<char, 32> text;
    const auto [end, error] =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::general, 6);
    return error == std::errc() ? std::string(text.data(), end) : std::string();
}

}  // namespace numbertext
