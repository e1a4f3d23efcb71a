#pragma once
// SHA-1 (FIPS 180-4) of bytes, by libcrypto: the names of the download cache's files. Not for
// security.

#include <string>
#include <string_view>

// The digest as 40 lower-case hexadecimal digits; "" when libcrypto cannot digest (no provider
// offers SHA-1). Safe to call from any thread.
std::string sha1Hex(std::string_view bytes);
