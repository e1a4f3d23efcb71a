#include "laz/LasHeader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "laz/Bytes.h"

namespace laz {
namespace {

constexpr std::uint64_t kHeaderMin = 227;  // LAS 1.0 to 1.2
constexpr std::uint64_t kHeader14 = 375;
constexpr std::uint64_t kVlrHeaderSize = 54;
constexpr std::uint16_t kLazRecordId = 22204;
constexpr char kLazUserId[] = "laszip encoded";

bool isWaveformFormat(int pointFormat) {
    return pointFormat == 4 || pointFormat == 5 || pointFormat == 9 || pointFormat == 10;
}

// The compression record: compressor, coder, version, options, chunk size, two 64-bit fields
// of its own, then the item list.
std::string parseLazRecord(const std::vector<std::uint8_t>& d, LazInfo& out) {
    constexpr std::size_t kFixed = 34;
    if (d.size() < kFixed) {
        return "Uszkodzony rekord kompresji LAZ";
    }
    out.compressor = static_cast<Compressor>(load<std::uint16_t>(&d[0]));
    const auto coder = load<std::uint16_t>(&d[2]);
    out.chunkSize = load<std::uint32_t>(&d[12]);
    const auto itemCount = load<std::uint16_t>(&d[32]);
    if (coder != 0) {
        return "Nieobslugiwany koder LAZ: " + std::to_string(coder);
    }
    if (d.size() < kFixed + 6u * itemCount) {
        return "Uszkodzony rekord kompresji LAZ";
    }
    out.items.clear();
    for (std::size_t i = 0; i < itemCount; ++i) {
        const std::uint8_t* p = &d[kFixed + 6 * i];
        out.items.push_back({static_cast<ItemType>(load<std::uint16_t>(p)),
                             load<std::uint16_t>(p + 2), load<std::uint16_t>(p + 4)});
    }
    return {};
}

// Walks the variable-length records between the header and the points, keeping the
// compression record when there is one.
std::string findLazRecord(const FileSource& file, const Header& h, std::uint32_t vlrCount,
                          std::optional<LazInfo>& out) {
    std::uint64_t pos = h.headerSize;
    for (std::uint32_t i = 0; i < vlrCount; ++i) {
        std::array<std::uint8_t, kVlrHeaderSize> vh{};
        if (pos + kVlrHeaderSize > h.pointOffset || !file.readAt(pos, vh.data(), vh.size())) {
            break;  // records that run into the points are not ours to judge
        }
        const auto recordId = load<std::uint16_t>(&vh[18]);
        const auto length = load<std::uint16_t>(&vh[20]);
        const bool isLaz =
            recordId == kLazRecordId && std::memcmp(&vh[2], kLazUserId, sizeof kLazUserId - 1) == 0;
        pos += kVlrHeaderSize;
        if (isLaz) {
            std::vector<std::uint8_t> d(length);
            if (!file.readAt(pos, d.data(), d.size())) {
                return "Uszkodzony rekord kompresji LAZ";
            }
            out.emplace();
            return parseLazRecord(d, *out);
        }
        pos += length;
    }
    return {};
}

}  // namespace

int minimumRecordLength(int pointFormat) {
    static constexpr std::array<int, 11> kLengths = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
    return pointFormat >= 0 && pointFormat <= 10 ? kLengths[static_cast<std::size_t>(pointFormat)]
                                                 : 0;
}

std::string readHeader(const FileSource& file, Header& out) {
    std::array<std::uint8_t, kHeader14> b{};
    const std::uint64_t avail = std::min<std::uint64_t>(file.size(), kHeader14);
    if (avail < kHeaderMin || !file.readAt(0, b.data(), avail) ||
        std::memcmp(b.data(), "LASF", 4) != 0) {
        return "To nie jest plik LAS/LAZ";
    }
    out.versionMajor = b[24];
    out.versionMinor = b[25];
    out.headerSize = load<std::uint16_t>(&b[94]);
    out.pointOffset = load<std::uint32_t>(&b[96]);
    const auto vlrCount = load<std::uint32_t>(&b[100]);
    const std::uint8_t formatByte = b[104];
    out.pointFormat = formatByte & 0x3F;
    out.recordLength = load<std::uint16_t>(&b[105]);
    out.pointCount = load<std::uint32_t>(&b[107]);
    for (int a = 0; a < 3; ++a) {
        out.scale[a] = load<double>(&b[131 + 8 * a]);
        out.offset[a] = load<double>(&b[155 + 8 * a]);
    }
    const bool has14Fields = out.versionMajor == 1 && out.versionMinor >= 4 &&
                             out.headerSize >= kHeader14 && avail >= kHeader14;
    if (out.pointCount == 0 && has14Fields) {
        out.pointCount = load<std::uint64_t>(&b[247]);
    }
    if (out.versionMajor != 1 || out.headerSize < kHeaderMin || out.pointOffset < out.headerSize ||
        out.pointOffset > file.size()) {
        return "Uszkodzony naglowek pliku LAS";
    }
    if (minimumRecordLength(out.pointFormat) == 0) {
        return "Nieobslugiwany format punktow LAS: " + std::to_string(out.pointFormat);
    }
    if (out.recordLength < minimumRecordLength(out.pointFormat)) {
        return "Rekord punktu krotszy niz wymaga format " + std::to_string(out.pointFormat);
    }
    if ((formatByte & 0xC0) == 0) {
        return {};
    }
    if (isWaveformFormat(out.pointFormat)) {
        return "Nieobslugiwany plik LAZ: format punktow " + std::to_string(out.pointFormat) +
               " (z falami)";
    }
    if (std::string err = findLazRecord(file, out, vlrCount, out.laz); !err.empty()) {
        return err;
    }
    if (!out.laz) {
        return "Plik LAZ bez rekordu opisu kompresji";
    }
    return {};
}

}  // namespace laz
