#pragma once
// Writes large LAZ files for tests and benchmarks from the chunks of a small one: the chunks
// repeated, behind the small file's header, with a chunk table written anew. Every chunk
// decodes on its own, so the big file holds the small file's records repeated.
//
// The table is coded with the decoder's own models, by the small arithmetic encoder here.

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
        std::uint64_t magnitude = static_cast<std::uint64_t>(c <= 0 ? -c : c - 1);
        std::uint32_t k = 0;
        for (; magnitude != 0; magnitude >>= 1) {
            ++k;
        }
        enc.encodeSymbol(bits_[ctx], k);
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

// Writes to `to` the LAS 1.4 LAZ file `from` (fixed-size chunks, all full) with its chunks
// repeated `times` times, a chunk at a time; false when `from` cannot be read so.
inline bool writeRepeatedChunks(const std::string& from, const std::string& to, int times) {
    const laz::Reader reader(from);
    const std::string small = readBytes(from);
    if (!reader.ok() || reader.header().versionMinor != 4 || !reader.header().laz ||
        reader.header().laz->chunkSize == laz::LazInfo::kVariableChunks) {
        return false;
    }
    std::string head = small.substr(0, reader.header().pointOffset);
    const std::uint64_t count = reader.pointCount() * static_cast<std::uint64_t>(times);
    std::memcpy(&head[247], &count, 8);
    std::int64_t tableAt = static_cast<std::int64_t>(head.size()) + 8;
    for (const laz::Chunk& c : reader.chunks()) {
        tableAt += static_cast<std::int64_t>(c.bytes) * times;
    }
    head.append(reinterpret_cast<const char*>(&tableAt), 8);
    std::ofstream out(to, std::ios::binary);
    out << head;
    laz::ArithmeticEncoder enc;
    laz::IntegerEncoder entries(2);
    std::int32_t previous = 0;
    for (int t = 0; t < times; ++t) {
        for (const laz::Chunk& c : reader.chunks()) {
            out.write(small.data() + c.offset, static_cast<std::streamsize>(c.bytes));
            entries.encode(enc, previous, static_cast<std::int32_t>(c.bytes), 1);
            previous = static_cast<std::int32_t>(c.bytes);
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
