#pragma once
// SHA-1 (FIPS 180-4) over bytes: names of the download cache's files. Not for security.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class Sha1 {
public:
    Sha1& update(std::string_view bytes);
    // Pads, finishes and returns the digest as 40 lower-case hexadecimal digits. The object is
    // spent afterwards.
    std::string hex();

    static std::string hexOf(std::string_view bytes) { return Sha1().update(bytes).hex(); }

private:
    // Compresses one 64-byte block into the state.
    void block(const unsigned char* data);

    std::array<uint32_t, 5> state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    std::array<unsigned char, 64> pending_{};
    std::size_t pendingLength_ = 0;
    uint64_t totalBytes_ = 0;
};
