#pragma once
// Writes large LAZ files for tests and benchmarks from the chunks of a small one: the chunks
// repeated, behind the small file's header, with a chunk table written anew. Every chunk
// decodes on its own, so the big file holds the small file's records repeated.
//
// The table is coded with the decoder's own models, by the small arithmetic encoder here.

#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "builders/LasBuilder.h"
#include "laz/ArithmeticDecoder.h"
#include "laz/Reader.h"

namespace laz {

// Arithmetic encoding, the mirror of ArithmeticDecoder, for test data only.
class ArithmeticEncoder {
public:
    void encodeBit(BitModel& m, std::uint32_t bit) {
        const std::uint32_t x = m.bit0Prob_ * (length_ >> 13);
        if (bit == 0) {
            length_ = x;
            ++m.bit0Count_;
        } else {
            add(x);
            length_ -= x;
        }
        renormalize();
        if (--m.untilUpdate_ == 0) {
            m.update();
        }
    }

    void encodeSymbol(SymbolModel& m, std::uint32_t sym) {
        if (m.stale_) {
            m.restore();
        }
        const std::uint32_t l = length_ >> 15;
        const std::uint32_t x = m.distribution()[sym] * l;
        const std::uint32_t y = sym + 1 != m.symbols() ? m.distribution()[sym + 1] * l : length_;
        add(x);
        length_ = y - x;
        renormalize();
        ++m.counts()[sym];
        if (--m.untilUpdate_ == 0) {
            m.update();
        }
    }

    // 1 to 32 raw bits, in the pieces the decoder reads them.
    void writeBits(std::uint32_t bits, std::uint32_t value) {
        if (bits > 19) {
            writeBits(16, value & 0xFFFFu);
            writeBits(bits - 16, value >> 16);
            return;
        }
        length_ >>= bits;
        add(value * length_);
        renormalize();
    }

    // The bytes, ended by the code value's four bytes.
    std::vector<std::uint8_t> finish() {
        for (int i = 0; i < 4; ++i) {
            out_.push_back(static_cast<std::uint8_t>(base_ >> 24));
            base_ <<= 8;
        }
        return out_;
    }

private:
    void add(std::uint32_t x) {
        const std::uint32_t before = base_;
        base_ += x;
        if (base_ < before) {  // carry into the bytes already written
            auto p = out_.rbegin();
            while (*p == 0xFF) {
                *p++ = 0;
            }
            ++*p;
        }
    }
    void renormalize() {
        while (length_ < (1u << 24)) {
            out_.push_back(static_cast<std::uint8_t>(base_ >> 24));
            base_ <<= 8;
            length_ <<= 8;
        }
    }

    std::vector<std::uint8_t> out_;
    std::uint32_t base_ = 0;
    std::uint32_t length_ = 0xFFFFFFFFu;
};

// Integers of 16 or 32 bits coded as corrections of a prediction, the mirror of IntegerDecoder
// (at its default of 8 modelled high bits).
class IntegerEncoder {
public:
    IntegerEncoder(std::uint32_t bits, std::uint32_t contexts)
        : bits_(bits), models_(contexts, SymbolModel(bits + 1)) {
        for (std::uint32_t k = 1; k <= bits; ++k) {
            correctors_.emplace_back(1u << std::min(k, kBitsHigh));
        }
    }

    void encode(ArithmeticEncoder& enc, std::int32_t pred, std::int32_t real, std::uint32_t ctx) {
        std::int64_t c = static_cast<std::int32_t>(static_cast<std::uint32_t>(real) -
                                                   static_cast<std::uint32_t>(pred));
        if (bits_ < 32) {  // folded into the range, which the decoder wraps back
            const std::int64_t range = std::int64_t{1} << bits_;
            c = c < -range / 2 ? c + range : (c >= range / 2 ? c - range : c);
        }
        if (c == 0 || c == 1) {
            k_ = 0;
            enc.encodeSymbol(models_[ctx], 0);
            enc.encodeBit(zeroBand_, static_cast<std::uint32_t>(c));
            return;
        }
        k_ = static_cast<std::uint32_t>(
            std::bit_width(static_cast<std::uint64_t>(c <= 0 ? -c : c - 1)));
        enc.encodeSymbol(models_[ctx], k_);
        if (k_ == 32) {  // the smallest correction, which the decoder takes without more bits
            return;
        }
        const auto code =
            static_cast<std::uint32_t>(c > 0 ? c - 1 : c + ((std::int64_t{1} << k_) - 1));
        if (k_ <= kBitsHigh) {
            enc.encodeSymbol(correctors_[k_ - 1], code);
        } else {
            const std::uint32_t low = k_ - kBitsHigh;
            enc.encodeSymbol(correctors_[k_ - 1], code >> low);
            enc.writeBits(low, code & ((1u << low) - 1));
        }
    }

    // Significant bits of the last correction, as IntegerDecoder::k().
    std::uint32_t k() const { return k_; }

private:
    static constexpr std::uint32_t kBitsHigh = 8;
    std::uint32_t bits_;
    std::uint32_t k_ = 0;
    std::vector<SymbolModel> models_;
    BitModel zeroBand_;
    std::vector<SymbolModel> correctors_;
};

}  // namespace laz

namespace fixtures {

template <typename T>
T headerField(const std::string& head, std::size_t at) {
    T v{};
    std::memcpy(&v, &head[at], sizeof v);
    return v;
}

template <typename T>
void setHeaderField(std::string& head, std::size_t at, T v) {
    std::memcpy(&head[at], &v, sizeof v);
}

// Where the payload of the compression record of the LAZ file `head` (header and records up to
// the points) begins; 0 when it has none.
inline std::size_t lazRecordAt(const std::string& head, std::uint16_t headerSize) {
    constexpr std::size_t kVlrHeader = 54;
    const auto records = headerField<std::uint32_t>(head, 100);
    std::size_t pos = headerSize;
    for (std::uint32_t i = 0; i < records && pos + kVlrHeader <= head.size(); ++i) {
        const auto id = headerField<std::uint16_t>(head, pos + 18);
        const auto length = headerField<std::uint16_t>(head, pos + 20);
        pos += kVlrHeader;
        if (id == 22204 && pos + 34 <= head.size()) {
            return pos;
        }
        pos += length;
    }
    return 0;
}

// Marks the compression record of the LAZ file `head` as one of variable chunks; false when it
// has none.
inline bool markVariableChunks(std::string& head, std::uint16_t headerSize) {
    const std::size_t at = lazRecordAt(head, headerSize);
    if (at != 0) {
        setHeaderField(head, at + 12, laz::LazInfo::kVariableChunks);
    }
    return at != 0;
}

// One chunk of a LAZ file: its bytes and its number of points.
struct LazChunk {
    std::string bytes;
    std::uint64_t points = 0;
};

// Writes to `to` the head of a LAZ file of variable chunks (the header and records up to the
// points, whose point counts are set here), then `chunks` repeated `times` times, a chunk at a
// time, and their chunk table; no extended records after the points.
inline bool writeChunkedLaz(const std::string& to, std::string head, std::uint8_t versionMinor,
                            const std::vector<LazChunk>& chunks, int times) {
    std::uint64_t count = 0;
    std::int64_t tableAt = static_cast<std::int64_t>(head.size()) + 8;
    for (const LazChunk& c : chunks) {
        count += c.points * static_cast<std::uint64_t>(times);
        tableAt += static_cast<std::int64_t>(c.bytes.size()) * times;
    }
    if (headerField<std::uint32_t>(head, 107) != 0) {  // the count of LAS 1.0 to 1.3
        setHeaderField(head, 107, static_cast<std::uint32_t>(count));
    }
    if (versionMinor >= 4 && head.size() >= 255) {
        setHeaderField(head, 235, std::uint64_t{0});  // no extended records
        setHeaderField(head, 243, std::uint32_t{0});
        setHeaderField(head, 247, count);
    }
    head.append(reinterpret_cast<const char*>(&tableAt), 8);
    std::ofstream out(to, std::ios::binary);
    out << head;
    laz::ArithmeticEncoder enc;
    laz::IntegerEncoder entries(32, 2);
    std::int32_t previousPoints = 0;
    std::int32_t previousBytes = 0;
    for (int t = 0; t < times; ++t) {
        for (const LazChunk& c : chunks) {
            out << c.bytes;
            const auto points = static_cast<std::int32_t>(c.points);
            const auto bytes = static_cast<std::int32_t>(c.bytes.size());
            entries.encode(enc, previousPoints, points, 0);
            entries.encode(enc, previousBytes, bytes, 1);
            previousPoints = points;
            previousBytes = bytes;
        }
    }
    const std::uint32_t tableHead[2] = {
        0, static_cast<std::uint32_t>(chunks.size()) * static_cast<std::uint32_t>(times)};
    out.write(reinterpret_cast<const char*>(tableHead), sizeof tableHead);
    const std::vector<std::uint8_t> table = enc.finish();
    out.write(reinterpret_cast<const char*>(table.data()),
              static_cast<std::streamsize>(table.size()));
    return static_cast<bool>(out);
}

// The head (up to the points, marked as of variable chunks) and the chunks of the chunked LAZ
// file `reader` reads, whose bytes are `file`; false when it has no such head or chunks.
inline bool readChunks(const laz::Reader& reader, const std::string& file, std::string& head,
                       std::vector<LazChunk>& chunks) {
    const laz::Header& h = reader.header();
    if (!reader.ok() || !h.laz || reader.chunks().empty()) {
        return false;
    }
    head = file.substr(0, h.pointOffset);
    for (const laz::Chunk& c : reader.chunks()) {
        chunks.push_back({file.substr(c.offset, c.bytes), c.points});
    }
    return markVariableChunks(head, h.headerSize);
}

// Writes to `to` the LAZ file `from` with its chunks repeated `times` times, as a file of
// variable chunks (so that a short last chunk may repeat too); the extended records after the
// points are left out. False when `from` cannot be read so.
inline bool writeRepeatedChunks(const std::string& from, const std::string& to, int times) {
    const laz::Reader reader(from);
    std::string head;
    std::vector<LazChunk> chunks;
    return readChunks(reader, readBytes(from), head, chunks) &&
           writeChunkedLaz(to, head, reader.header().versionMinor, chunks, times);
}

// Writes to `to` the layered LAZ file `from` (point format 7 or 8) with only its core records,
// as a file of point format 6, its chunks repeated `times` times: every chunk keeps the layers
// of the core record and drops those of the items after it. False for any other file.
inline bool writeCoreRecordsOnly(const std::string& from, const std::string& to, int times) {
    constexpr std::size_t kCore = 30;
    constexpr std::size_t kCoreLayers = 9;
    const laz::Reader reader(from);
    std::string head;
    std::vector<LazChunk> chunks;
    const laz::Header& h = reader.header();
    if (!readChunks(reader, readBytes(from), head, chunks) ||
        h.laz->compressor != laz::Compressor::LayeredChunked || h.laz->items.size() < 2) {
        return false;
    }
    std::size_t layers = 0;
    for (const laz::LazItem& it : h.laz->items) {
        using laz::ItemType;
        layers += it.type == ItemType::Point14    ? kCoreLayers
                  : it.type == ItemType::RgbNir14 ? 2
                  : it.type == ItemType::Byte14   ? it.size
                                                  : 1;
    }
    const auto length = static_cast<std::size_t>(h.recordLength);
    for (LazChunk& c : chunks) {
        if (c.bytes.size() == length) {  // a chunk of one point: its record alone
            c.bytes.resize(kCore);
            continue;
        }
        const std::string& b = c.bytes;
        std::size_t coreBytes = 0;
        for (std::size_t i = 0; i < kCoreLayers; ++i) {
            coreBytes += headerField<std::uint32_t>(b, length + 4 + 4 * i);
        }
        const std::size_t layersAt = length + 4 + 4 * layers;
        c.bytes = b.substr(0, kCore) + b.substr(length, 4 + 4 * kCoreLayers) +
                  b.substr(layersAt, coreBytes);
    }
    // The compression record keeps its first item; the records after it move up.
    const std::size_t record = lazRecordAt(head, h.headerSize);
    const std::size_t itemsEnd = record + 34 + 6 * h.laz->items.size();
    head.erase(record + 34 + 6, itemsEnd - (record + 34 + 6));
    const auto removed = static_cast<std::uint16_t>(6 * (h.laz->items.size() - 1));
    setHeaderField(head, record + 32, std::uint16_t{1});
    setHeaderField(
        head, record - 54 + 20,
        static_cast<std::uint16_t>(headerField<std::uint16_t>(head, record - 54 + 20) - removed));
    setHeaderField(head, 96, static_cast<std::uint32_t>(head.size()));
    head[104] = static_cast<char>((head[104] & 0xC0) | 6);
    setHeaderField(head, 105, static_cast<std::uint16_t>(kCore));
    return writeChunkedLaz(to, head, h.versionMinor, chunks, times);
}

}  // namespace fixtures
