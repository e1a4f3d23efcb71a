#include "geodata/Sha1.h"

#include <openssl/evp.h>

#include <array>
#include <memory>

namespace {

struct FreeDigest {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};

// The algorithm fetched once: the implicit fetch behind EVP_sha1() would double the time of
// a short address's digest.
const EVP_MD* sha1Algorithm() {
    static const std::unique_ptr<EVP_MD, FreeDigest> fetched(
        EVP_MD_fetch(nullptr, "SHA1", nullptr));
    return fetched ? fetched.get() : EVP_sha1();
}

}  // namespace

std::string sha1Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    const int digested =
        EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, sha1Algorithm(), nullptr);
    if (digested != 1)
        return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}
