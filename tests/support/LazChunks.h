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

#include "laz/ArithmeticDecoder.h"
#include "laz/Reader.h"
#include "support/LasBuilder.h"

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
        const std::uint32_t y = sym != m.lastSymbol_ ? m.distribution()[sym + 1] * l : length_;
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

// Integers of 32 bits coded as corrections of a prediction, the mirror of IntegerDecoder.
class IntegerEncoder {
public:
    explicit IntegerEncoder(std::uint32_t contexts) : bits_(contexts, SymbolModel(33)) {
        for (std::uint32_t k = 1; k <= 32; ++k) {
            correctors_.emplace_back(1u << std::min(k, kBitsHigh));
        }
    }

    void encode(ArithmeticEncoder& enc, std::int32_t pred, std::int32_t real, std::uint32_t ctx) {
        const auto corr = static_cast<std::int32_t>(static_cast<std::uint32_t>(real) -
                                                    static_cast<std::uint32_t>(pred));
        if (corr == 0 || corr == 1) {
            enc.encodeSymbol(bits_[ctx], 0);
            enc.encodeBit(zeroBand_, static_cast<std::uint32_t>(corr));
            return;
        }
        const std::int64_t c = corr;
        const auto k = static_cast<std::uint32_t>(
            std::bit_width(static_cast<std::uint64_t>(c <= 0 ? -c : c - 1)));
        enc.encodeSymbol(bits_[ctx], k);
        if (k == 32) {  // the smallest correction, which the decoder takes without more bits
            return;
        }
        const auto code =
            static_cast<std::uint32_t>(c > 0 ? c - 1 : c + ((std::int64_t{1} << k) - 1));
        if (k <= kBitsHigh) {
            enc.encodeSymbol(correctors_[k - 1], code);
        } else {
            const std::uint32_t low = k - kBitsHigh;
            enc.encodeSymbol(correctors_[k - 1], code >> low);
            enc.writeBits(low, code & ((1u << low) - 1));
        }
    }

private:
    static constexpr std::uint32_t kBitsHigh = 8;
    std::vector<SymbolModel> bits_;
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

// Marks the compression record of the LAZ file `head` (header and records up to the points) as
// one of variable chunks; false when it has none.
inline bool markVariableChunks(std::string& head, std::uint16_t headerSize) {
    constexpr std::size_t kVlrHeader = 54;
    const auto records = headerField<std::uint32_t>(head, 100);
    std::size_t pos = headerSize;
    for (std::uint32_t i = 0; i < records && pos + kVlrHeader <= head.size(); ++i) {
        const auto id = headerField<std::uint16_t>(head, pos + 18);
        const auto length = headerField<std::uint16_t>(head, pos + 20);
        pos += kVlrHeader;
        if (id == 22204 && pos + 16 <= head.size()) {
            setHeaderField(head, pos + 12, laz::LazInfo::kVariableChunks);
            return true;
        }
        pos += length;
    }
    return false;
}

// Writes to `to` the LAZ file `from` with its chunks repeated `times` times, a chunk at a time,
// as a file of variable chunks (so that a short last chunk may repeat too); the extended records
// after the points are left out. False when `from` cannot be read so.
inline bool writeRepeatedChunks(const std::string& from, const std::string& to, int times) {
    const laz::Reader reader(from);
    const std::string small = readBytes(from);
    const laz::Header& h = reader.header();
    if (!reader.ok() || !h.laz || reader.chunks().empty()) {
        return false;
    }
    std::string head = small.substr(0, h.pointOffset);
    if (!markVariableChunks(head, h.headerSize)) {
        return false;
    }
    const std::uint64_t count = reader.pointCount() * static_cast<std::uint64_t>(times);
    if (headerField<std::uint32_t>(head, 107) != 0) {  // the count of LAS 1.0 to 1.3
        setHeaderField(head, 107, static_cast<std::uint32_t>(count));
    }
    if (h.versionMinor >= 4 && head.size() >= 255) {
        setHeaderField(head, 235, std::uint64_t{0});  // no extended records
        setHeaderField(head, 243, std::uint32_t{0});
        setHeaderField(head, 247, count);
    }
    std::int64_t tableAt = static_cast<std::int64_t>(head.size()) + 8;
    for (const laz::Chunk& c : reader.chunks()) {
        tableAt += static_cast<std::int64_t>(c.bytes) * times;
    }
    head.append(reinterpret_cast<const char*>(&tableAt), 8);
    std::ofstream out(to, std::ios::binary);
    out << head;
    laz::ArithmeticEncoder enc;
    laz::IntegerEncoder entries(2);
    std::int32_t previousPoints = 0;
    std::int32_t previousBytes = 0;
    for (int t = 0; t < times; ++t) {
        for (const laz::Chunk& c : reader.chunks()) {
            out.write(small.data() + c.offset, static_cast<std::streamsize>(c.bytes));
            entries.encode(enc, previousPoints, static_cast<std::int32_t>(c.points), 0);
            entries.encode(enc, previousBytes, static_cast<std::int32_t>(c.bytes), 1);
            previousPoints = static_cast<std::int32_t>(c.points);
            previousBytes = static_cast<std::int32_t>(c.bytes);
        }
    }
    const std::uint32_t tableHead[2] = {
        0, static_cast<std::uint32_t>(reader.chunks().size()) * static_cast<std::uint32_t>(times)};
    out.write(reinterpret_cast<const char*>(tableHead), sizeof tableHead);
    const std::vector<std::uint8_t> table = enc.finish();
    out.write(reinterpret_cast<const char*>(table.data()),
              static_cast<std::streamsize>(table.size()));
    return static_cast<bool>(out);
}

}  // namespace fixtures
