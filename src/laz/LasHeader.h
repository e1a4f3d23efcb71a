#pragma once
// The public header block of a LAS file (versions 1.0 to 1.4) and, for a LAZ file, the
// compression record that one of its variable-length records carries.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "laz/FileSource.h"

namespace laz {

// Kinds of compressed item; a point record is the concatenation of its items.
enum class ItemType : std::uint16_t {
    Byte = 0,
    Point10 = 6,
    GpsTime11 = 7,
    Rgb12 = 8,
    Wavepacket13 = 9,
    Point14 = 10,
    Rgb14 = 11,
    RgbNir14 = 12,
    Wavepacket14 = 13,
    Byte14 = 14,
};

struct LazItem {
    ItemType type = ItemType::Byte;
    std::uint16_t size = 0;
    std::uint16_t version = 0;
};

enum class Compressor : std::uint16_t {
    None = 0,
    Pointwise = 1,
    PointwiseChunked = 2,
    LayeredChunked = 3,
};

struct LazInfo {
    static constexpr std::uint32_t kVariableChunks = 0xFFFFFFFFu;

    Compressor compressor = Compressor::None;
    std::uint32_t chunkSize = 0;  // points per chunk, or kVariableChunks
    std::vector<LazItem> items;
};

struct Header {
    int versionMajor = 1;
    int versionMinor = 0;
    std::uint16_t headerSize = 0;
    std::uint32_t pointOffset = 0;  // where the point records (or the chunk table offset) begin
    int pointFormat = 0;
    int recordLength = 0;
    std::uint64_t pointCount = 0;  // the 64-bit count of LAS 1.4 when the legacy one is 0
    double scale[3] = {1.0, 1.0, 1.0};
    double offset[3] = {0.0, 0.0, 0.0};
    std::optional<LazInfo> laz;  // present for a compressed file
};

// Smallest record of each point format 0 to 10.
int minimumRecordLength(int pointFormat);

// Reads and checks the header and the compression record; on failure returns a message for the
// user and leaves `out` incomplete.
std::string readHeader(const FileSource& file, Header& out);

}  // namespace laz
