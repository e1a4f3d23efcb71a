#pragma once
// What kind of image file a block of bytes holds, from its first bytes: the signature of a PNG
// file (0x89 "PNG") or of a JPEG file (0xFF 0xD8).

#include <string_view>

// "image/png", "image/jpeg", or empty for anything else.
inline std::string_view imageMimeType(std::string_view bytes) {
    if (bytes.size() >= 9 && bytes.substr(0, 4) == "\x89PNG")
        return "image/png";
    if (bytes.size() >= 4 && bytes.substr(0, 2) == "\xFF\xD8")
        return "image/jpeg";
    return {};
}
