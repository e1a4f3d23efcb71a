#include "geodata/Sha1.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

uint32_t bigEndianWord(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

void Sha1::block(const unsigned char* data) {
    // The message schedule is kept as a rolling window of 16 words: W[t] for t >= 16 needs only
    // W[t-3], W[t-8], W[t-14] and W[t-16].
    std::array<uint32_t, 16> w;
    for (int t = 0; t < 16; ++t)
        w[t] = bigEndianWord(data + 4 * t);
    const auto schedule = [&w](int t) {
        if (t >= 16) {
            w[t & 15] =
                std::rotl(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
        }
        return w[t & 15];
    };

    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    const auto round = [&](uint32_t f, uint32_t k, int t) {
        const uint32_t temp = std::rotl(a, 5) + f + e + k + schedule(t);
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = temp;
    };
    // The four stages of 20 rounds differ only in their function of b, c, d and their constant.
    for (int t = 0; t < 20; ++t)
        round((b & c) | (~b & d), 0x5A827999u, t);
    for (int t = 20; t < 40; ++t)
        round(b ^ c ^ d, 0x6ED9EBA1u, t);
    for (int t = 40; t < 60; ++t)
        round((b & c) | (b & d) | (c & d), 0x8F1BBCDCu, t);
    for (int t = 60; t < 80; ++t)
        round(b ^ c ^ d, 0xCA62C1D6u, t);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

Sha1& Sha1::update(std::string_view bytes) {
    auto p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    totalBytes_ += n;
    if (pendingLength_ > 0) {
        const std::size_t take = std::min(n, pending_.size() - pendingLength_);
        std::memcpy(pending_.data() + pendingLength_, p, take);
        pendingLength_ += take;
        p += take;
        n -= take;
        if (pendingLength_ < pending_.size())
            return *this;
        block(pending_.data());
        pendingLength_ = 0;
    }
    for (; n >= 64; p += 64, n -= 64)
        block(p);
    std::memcpy(pending_.data(), p, n);
    pendingLength_ = n;
    return *this;
}

std::string Sha1::hex() {
    // Padding: one 1 bit, zeros up to 56 bytes modulo 64, then the message length in bits as a
    // big-endian 64-bit number.
    const uint64_t bitLength = totalBytes_ * 8;
    const unsigned char one = 0x80;
    update(std::string_view(reinterpret_cast<const char*>(&one), 1));
    const unsigned char zeros[64] = {};
    const std::size_t zeroCount = (pendingLength_ <= 56 ? 56 : 120) - pendingLength_;
    update(std::string_view(reinterpret_cast<const char*>(zeros), zeroCount));
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>(bitLength >> (56 - 8 * i));
    update(std::string_view(reinterpret_cast<const char*>(length), 8));

    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(40);
    for (const uint32_t word : state_) {
        for (int shift = 28; shift >= 0; shift -= 4)
            out.push_back(kDigits[(word >> shift) & 15]);
    }
    return out;
}
