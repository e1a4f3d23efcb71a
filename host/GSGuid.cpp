#include "GSGuid.h"

#include <random>
#include <string>
#include <string_view>

namespace GS {
namespace {

// Positions of the 32 hexadecimal digits in the canonical 36-character text, and the byte each
// pair fills: the first three fields are stored little-endian.
constexpr std::array<int, 16> kTextOffset = {0,  2,  4,  6,  9,  11, 14, 16,
                                             19, 21, 24, 26, 28, 30, 32, 34};
constexpr std::array<int, 16> kByteIndex = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hasCanonicalShape(std::string_view text) {
    if (text.size() != 36)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != '-' : hexValue(text[i]) < 0)
            return false;
    }
    return true;
}

}  // namespace

Guid::Guid(const char* text) {
    std::string_view view = text == nullptr ? std::string_view() : std::string_view(text);
    if (view.size() == 38 && view.front() == '{' && view.back() == '}') {
        view = view.substr(1, 36);
    }
    if (!hasCanonicalShape(view))
        return;
    for (std::size_t k = 0; k < 16; ++k) {
        const int at = kTextOffset[k];
        bytes_[kByteIndex[k]] =
            static_cast<UInt8>(hexValue(view[at]) * 16 + hexValue(view[at + 1]));
    }
}

Guid Guid::Generate() {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    Bytes bytes{};
    for (auto& b : bytes)
        b = static_cast<UInt8>(engine());
    bytes[7] = static_cast<UInt8>((bytes[7] & 0x0F) | 0x40);  // version 4 (high byte of field 3)
    bytes[8] = static_cast<UInt8>((bytes[8] & 0x3F) | 0x80);  // variant 1
    return Guid(bytes);
}

UniString Guid::ToUniString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(36, '-');
    for (std::size_t k = 0; k < 16; ++k) {
        const UInt8 b = bytes_[kByteIndex[k]];
        text[kTextOffset[k]] = kDigits[b >> 4];
        text[kTextOffset[k] + 1] = kDigits[b & 0x0F];
    }
    return UniString(text);
}

}  // namespace GS
