#pragma once
// Builds small LAS files for tests: a header of version 1.2 or 1.4, optionally one LAZ
// compression record (for refusals and damaged-file cases), then the given point records.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fixtures {

struct LasSpec {
    int versionMinor = 2;  // 4 writes the 375-byte header with the 64-bit point count
    int pointFormat = 0;
    int recordLength = 20;
    double scale[3] = {0.01, 0.01, 0.01};
    double offset[3] = {0.0, 0.0, 0.0};
    std::optional<std::uint64_t> declaredCount;  // default: the number of records given
    bool legacyCountZero = false;                // 1.4 only: count only in the 64-bit field
    bool compressed = false;                     // sets the compression bits of the format byte
    std::vector<std::uint8_t> lazRecord;         // payload of a LAZ compression record, if any
};

// One point record of the given length with x, y, z integers and the other bytes zero.
inline std::vector<std::uint8_t> lasRecord(int length, std::int32_t x, std::int32_t y,
                                           std::int32_t z) {
    std::vector<std::uint8_t> r(static_cast<std::size_t>(length), 0);
    std::memcpy(r.data(), &x, 4);
    std::memcpy(r.data() + 4, &y, 4);
    std::memcpy(r.data() + 8, &z, 4);
    return r;
}

// A LAZ compression record: compressor, chunk size and (type, size, version) items.
struct LazItemSpec {
    std::uint16_t type, size, version;
};
inline std::vector<std::uint8_t> lazRecordPayload(std::uint16_t compressor, std::uint32_t chunkSize,
                                                  const std::vector<LazItemSpec>& items) {
    std::vector<std::uint8_t> d(34 + 6 * items.size(), 0);
    auto put16 = [&](std::size_t at, std::uint16_t v) { std::memcpy(&d[at], &v, 2); };
    put16(0, compressor);
    d[4] = 2;  // format version 2.2
    d[5] = 2;
    std::memcpy(&d[12], &chunkSize, 4);
    const std::int64_t none = -1;
    std::memcpy(&d[16], &none, 8);
    std::memcpy(&d[24], &none, 8);
    put16(32, static_cast<std::uint16_t>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        put16(34 + 6 * i, items[i].type);
        put16(36 + 6 * i, items[i].size);
        put16(38 + 6 * i, items[i].version);
    }
    return d;
}

inline std::string buildLas(const LasSpec& s, const std::vector<std::vector<std::uint8_t>>& recs) {
    const std::size_t headerSize = s.versionMinor >= 4 ? 375 : 227;
    std::string vlr;
    if (!s.lazRecord.empty()) {
        vlr.assign(54, '\0');
        std::memcpy(&vlr[2], "laszip encoded", 14);
        const std::uint16_t id = 22204;
        const auto len = static_cast<std::uint16_t>(s.lazRecord.size());
        std::memcpy(&vlr[18], &id, 2);
        std::memcpy(&vlr[20], &len, 2);
        vlr.append(reinterpret_cast<const char*>(s.lazRecord.data()), s.lazRecord.size());
    }
    std::string h(headerSize, '\0');
    auto put = [&](std::size_t at, const void* v, std::size_t n) { std::memcpy(&h[at], v, n); };
    std::memcpy(&h[0], "LASF", 4);
    h[24] = 1;
    h[25] = static_cast<char>(s.versionMinor);
    const auto hs = static_cast<std::uint16_t>(headerSize);
    const auto pointOffset = static_cast<std::uint32_t>(headerSize + vlr.size());
    const std::uint32_t vlrCount = vlr.empty() ? 0 : 1;
    put(94, &hs, 2);
    put(96, &pointOffset, 4);
    put(100, &vlrCount, 4);
    h[104] = static_cast<char>(s.pointFormat | (s.compressed ? 0x80 : 0));
    const auto rl = static_cast<std::uint16_t>(s.recordLength);
    put(105, &rl, 2);
    const std::uint64_t count = s.declaredCount.value_or(recs.size());
    const auto legacy = static_cast<std::uint32_t>(s.legacyCountZero ? 0 : count);
    put(107, &legacy, 4);
    put(131, s.scale, 24);
    put(155, s.offset, 24);
    if (headerSize == 375) {
        put(247, &count, 8);
    }
    std::string out = h + vlr;
    for (const auto& r : recs) {
        out.append(reinterpret_cast<const char*>(r.data()), r.size());
    }
    return out;
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fixtures
