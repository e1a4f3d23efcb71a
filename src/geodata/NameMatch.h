#pragma once
// Keyword tests on layer and feature-type names read from service capabilities: names are
// compared on an ASCII lower-cased copy (bytes outside A-Z stay as they are).

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>

namespace namematch {

inline std::string asciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

inline bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

template <class Words>
bool containsAny(std::string_view text, const Words& words) {
    return std::any_of(std::begin(words), std::end(words),
                       [text](std::string_view word) { return contains(text, word); });
}

inline bool containsAny(std::string_view text, std::initializer_list<std::string_view> words) {
    return containsAny<std::initializer_list<std::string_view>>(text, words);
}

}  // namespace namematch
