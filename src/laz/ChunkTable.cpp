#include "laz/ChunkTable.h"

#include <algorithm>

#include "laz/ArithmeticDecoder.h"
#include "laz/Bytes.h"
#include "laz/IntegerDecoder.h"

namespace laz {
namespace {

constexpr char kDamaged[] = "Uszkodzona tablica blokow pliku LAZ";

// Largest coded entry: two corrections of at most 32 bits and their models, with room to spare.
constexpr std::uint64_t kMaxEntryBytes = 12;

// The table's own offset: before the first chunk, or, when the writer could not go back to fill
// it in (-1), in the last 8 bytes of the file.
bool tableOffset(const FileSource& file, const Header& h, std::uint64_t& out) {
    std::int64_t at = 0;
    if (!file.readAt(h.pointOffset, &at, 8)) {
        return false;
    }
    if (at == -1) {
        if (file.size() < 8 || !file.readAt(file.size() - 8, &at, 8)) {
            return false;
        }
    }
    if (at < static_cast<std::int64_t>(h.pointOffset) + 8 ||
        static_cast<std::uint64_t>(at) + 8 > file.size()) {
        return false;
    }
    out = static_cast<std::uint64_t>(at);
    return true;
}

// Entries are coded as corrections of the previous entry: point counts (variable chunks only)
// in context 0, byte counts in context 1.
bool decodeEntries(const std::vector<std::uint8_t>& data, bool variable, std::vector<Chunk>& out) {
    ArithmeticDecoder dec;
    dec.start(data.data(), data.data() + data.size());
    IntegerDecoder ic(32, 2);
    std::int32_t points = 0;
    std::int32_t bytes = 0;
    for (auto& c : out) {
        if (variable) {
            points = ic.decode(dec, points, 0);
            c.points = static_cast<std::uint32_t>(points);
        }
        bytes = ic.decode(dec, bytes, 1);
        c.bytes = static_cast<std::uint32_t>(bytes);
        if (dec.exhausted()) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string readChunkTable(const FileSource& file, const Header& h, std::vector<Chunk>& out) {
    out.clear();
    const LazInfo& info = *h.laz;
    std::uint64_t at = 0;
    std::uint32_t head[2] = {};  // version, number of chunks
    if (!tableOffset(file, h, at) || !file.readAt(at, head, sizeof head) || head[0] != 0) {
        return kDamaged;
    }
    const std::uint64_t dataStart = at + 8;
    const std::uint64_t dataBytes =
        std::min<std::uint64_t>(file.size() - dataStart, head[1] * kMaxEntryBytes + 8);
    // Every chunk holds at least its raw first record before the table, which bounds the count
    // (and the table's memory) by the file's size.
    const std::uint64_t firstChunk = h.pointOffset + 8u;
    if (head[1] > (at - firstChunk) / static_cast<std::uint64_t>(std::max(h.recordLength, 1))) {
        return kDamaged;
    }
    std::vector<std::uint8_t> data(dataBytes);
    if (!file.readAt(dataStart, data.data(), data.size())) {
        return kDamaged;
    }
    out.resize(head[1]);
    const bool variable = info.chunkSize == LazInfo::kVariableChunks;
    if (!decodeEntries(data, variable, out)) {
        out.clear();
        return kDamaged;
    }
    std::uint64_t offset = firstChunk;
    std::uint64_t left = h.pointCount;
    for (auto& c : out) {
        c.offset = offset;
        if (c.bytes == 0 || c.bytes > at - offset) {
            out.clear();
            return kDamaged;
        }
        offset += c.bytes;
        c.points = std::min<std::uint64_t>(variable ? c.points : info.chunkSize, left);
        c.first = h.pointCount - left;
        left -= c.points;
    }
    return {};
}

}  // namespace laz
