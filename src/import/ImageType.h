#pragma once
// What kind of image file a block of bytes holds, from its first bytes: the signature of a PNG
// file (0x89 "PNG") or of a JPEG file (0xFF 0xD8 0xFF: the start-of-image marker and the first
// byte of the next marker, as the host checks before it takes a picture).

#include <string_view>

// "image/png", "image/jpeg", or empty for anything else.
inline std::string_view imageMimeType(std::string_view bytes) {
    if (bytes.size() >= 9 && bytes.substr(0, 4) == "\x89PNG")
        return "image/png";
    if (bytes.size() >= 4 && bytes.substr(0, 3) == "\xFF\xD8\xFF")
        return "image/jpeg";
    return {};
}
