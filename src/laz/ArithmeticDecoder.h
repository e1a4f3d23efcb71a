#pragma once
// Adaptive binary arithmetic decoding as LAZ streams use it: a 32-bit interval renormalised a
// byte at a time, adaptive bit and multi-symbol models whose statistics are refreshed on a
// growing cycle, and raw bits taken straight from the interval.
//
// The decoder never reads outside its byte range: past the end it takes zero bytes and counts
// them, so that a caller can tell a stream that ran out from one that ended properly.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace laz {

class ArithmeticEncoder;  // the test fixtures' encoder, which codes with the same models

// Probability of a 0 for one binary decision, scaled to 2^13.
class BitModel {
public:
    BitModel() { reset(); }
    void reset();

private:
    friend class ArithmeticDecoder;
    friend class ArithmeticEncoder;
    void update();

    std::uint32_t bit0Prob_ = 0;
    std::uint32_t bit0Count_ = 0;
    std::uint32_t bitCount_ = 0;
    std::uint32_t updateCycle_ = 0;
    std::uint32_t untilUpdate_ = 0;
};

// Cumulative distribution of 2 to 2048 symbols, scaled to 2^15, with a lookup table of the
// symbols and their bounds for models of more than 16 symbols.
class SymbolModel {
public:
    explicit SymbolModel(std::uint32_t symbols);
    // Returns the model to its initial state before its next use: a chunk start resets thousands
    // of models, of which a short chunk uses few.
    void reset() { stale_ = true; }
    std::uint32_t symbols() const { return symbols_; }

private:
    friend class ArithmeticDecoder;
    friend class ArithmeticEncoder;
    using Entry = std::uint16_t;
    static constexpr std::uint32_t kMaxSymbols = 2048;
    // The start after the last symbol: above every scaled code value of an intact stream.
    static constexpr Entry kEnd = 0xFFFF;
    struct Blank {};
    SymbolModel(std::uint32_t symbols, Blank);
    static const std::vector<Entry>& pristine(std::uint32_t symbols);
    std::size_t countsAt() const { return symbols_ + 2; }
    std::size_t cellsAt() const { return (countsAt() + symbols_ + 3) & ~std::size_t{3}; }
    std::size_t dataSize() const {
        return tableSize_ != 0 ? cellsAt() + 4 * (tableSize_ + 1) : countsAt() + symbols_;
    }
    void restore();
    void update();
    class CellWriter;

    std::uint32_t symbols_;
    std::uint32_t lastSymbol_;
    std::uint32_t tableSize_ = 0;
    std::uint32_t tableShift_ = 0;
    std::uint32_t totalCount_ = 0;
    std::uint32_t updateCycle_ = 0;
    std::uint32_t untilUpdate_ = 0;
    bool stale_ = true;
    // One block, for locality: the cumulative distribution (symbols_ entries and two kEnd), the
    // counts (symbols_ entries), then, with a table, its tableSize_ + 1 cells of four entries.
    // Cell t serves the scaled code values in [t, t + 1) << tableShift_: it holds the starts of
    // the first symbol such a value may fall in and of the two symbols after it, then that
    // symbol, so that a value in either of the first two symbols is decoded from the cell
    // alone. Distribution values stay within 2^15, counts below 2^15 plus one update cycle,
    // symbols below 2048: 16 bits hold them all, and halve the models' share of the cache.
    const std::vector<Entry>* pristine_ = nullptr;  // the initial data of models of this size
    std::vector<Entry> data_;
    Entry* distribution() { return data_.data(); }
    Entry* counts() { return data_.data() + countsAt(); }
    Entry* cells() { return data_.data() + cellsAt(); }
};

// Symbol models made on first use, one per context value; reset() returns the ones made so far
// to their initial state, as at the start of every chunk.
class SymbolModelTable {
public:
    SymbolModelTable(std::size_t contexts, std::uint32_t symbols)
        : models_(contexts), symbols_(symbols) {}
    SymbolModel& operator[](std::size_t context) {
        auto& m = models_[context];
        if (!m) {
            m = std::make_unique<SymbolModel>(symbols_);
        }
        return *m;
    }
    void reset();

private:
    std::vector<std::unique_ptr<SymbolModel>> models_;
    std::uint32_t symbols_;
};

class ArithmeticDecoder {
public:
    // Starts decoding the bytes [begin, end): the first four bytes seed the code value.
    void start(const std::uint8_t* begin, const std::uint8_t* end);

    std::uint32_t decodeBit(BitModel& m);
    std::uint32_t decodeSymbol(SymbolModel& m);
    // 1 to 32 raw bits; more than 19 in two pieces, the lower 16 bits first.
    std::uint32_t readBits(std::uint32_t bits) {
        if (bits > 19) {
            const std::uint32_t lower = readRawBits(16);
            return (readRawBits(bits - 16) << 16) | (lower & 0xFFFFu);
        }
        return readRawBits(bits);
    }
    std::uint32_t readShort() { return readBits(16); }
    std::uint32_t readInt();
    std::uint64_t readInt64();

    // Bytes asked for beyond the end of the range (taken as zeros), and collapsed intervals.
    std::uint32_t overrun() const { return overrun_; }
    // More was asked beyond the end than a properly ended stream ever needs: the data is damaged.
    bool exhausted() const { return overrun_ > kOverrunSlack; }

private:
    static constexpr std::uint32_t kMinLength = 0x01000000u;
    static constexpr std::uint32_t kOverrunSlack = 4;

    // Brings the interval back to at least kMinLength by shifting in none, one, two or three
    // bytes, as after raw bits, where which it is cannot be predicted: it is worked out rather
    // than looped over; only the last bytes of the range go one at a time.
    void renormalize() {
        if (length_ == 0) [[unlikely]] {  // only a damaged stream collapses the interval
            length_ = kMinLength;
            ++overrun_;
            return;
        }
        const auto bytes = static_cast<std::uint32_t>(std::countl_zero(length_)) >> 3;
        if (end_ - pos_ < 4) [[unlikely]] {
            for (std::uint32_t i = 0; i < bytes; ++i) {
                value_ = (value_ << 8) | nextByte();
                length_ <<= 8;
            }
            return;
        }
        std::uint32_t ahead;
        std::memcpy(&ahead, pos_, sizeof ahead);
        const std::uint64_t next = __builtin_bswap32(ahead);
        const std::uint32_t shift = 8 * bytes;
        value_ =
            static_cast<std::uint32_t>((std::uint64_t{value_} << shift) | (next >> (32 - shift)));
        length_ <<= shift;
        pos_ += bytes;
    }
    // The same after a modelled symbol or bit. In real data most of these are likely ones
    // that leave the interval long enough, and the test for that is well predicted; an
    // unlikely one mostly needs a single byte, more (rarely) go the general way.
    void renormalizeAfterSymbol() {
        if (length_ >= kMinLength) {
            return;
        }
        if ((length_ < (1u << 16)) | (pos_ >= end_)) [[unlikely]] {
            renormalize();
            return;
        }
        value_ = (value_ << 8) | *pos_++;
        length_ <<= 8;
    }
    std::uint32_t nextByte() {
        if (pos_ < end_) {
            return *pos_++;
        }
        ++overrun_;
        return 0;
    }
    std::uint32_t readRawBits(std::uint32_t bits) {
        length_ >>= bits;
        const std::uint32_t sym = value_ / length_;
        value_ -= length_ * sym;
        renormalize();
        return sym;
    }

    // Before start() the decoder is an exhausted one on no bytes: safe to use, never trusted.
    const std::uint8_t* pos_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::uint32_t value_ = 0;
    std::uint32_t length_ = 0xFFFFFFFFu;
    std::uint32_t overrun_ = kOverrunSlack + 1;
};

// ---- hot paths, inline: symbol decoding is most of a point's decoding time ----

inline std::uint32_t ArithmeticDecoder::decodeBit(BitModel& m) {
    const std::uint32_t x = m.bit0Prob_ * (length_ >> 13);
    std::uint32_t bit;
    if (value_ < x) {
        bit = 0;
        length_ = x;
        ++m.bit0Count_;
    } else {
        bit = 1;
        value_ -= x;
        length_ -= x;
    }
    renormalizeAfterSymbol();
    if (--m.untilUpdate_ == 0) [[unlikely]] {
        m.update();
    }
    return bit;
}

// The last symbol in [first, last] whose scaled start `start(k)` lies at or below the code
// value, found by counting the starts after the first that do. The comparisons are independent
// of each other: none waits for another's outcome, as the steps of a bisection do.
template <typename Start>
[[gnu::always_inline]] inline std::uint32_t lastStartAtOrBelow(std::uint32_t first,
                                                               std::uint32_t last,
                                                               std::uint32_t value, Start start) {
    std::uint32_t sym = first;
    for (std::uint32_t k = first + 1; k <= last; ++k) {
        sym += start(k) <= value ? 1 : 0;
    }
    return sym;
}

[[gnu::always_inline]] inline std::uint32_t ArithmeticDecoder::decodeSymbol(SymbolModel& m) {
    // The interval is worked on in locals: the model's counters are written through pointers
    // the compiler could not otherwise tell apart from it.
    if (m.stale_) [[unlikely]] {
        m.restore();
    }
    const std::uint32_t value = value_;
    const std::uint32_t length = length_ >> 15;
    const SymbolModel::Entry* dist = m.distribution();
    std::uint32_t sym;
    std::uint32_t low;   // the symbol's start
    std::uint32_t high;  // the next symbol's start, kEnd after the last
    if (m.tableSize_ != 0) {
        // The cell gives the symbol and its bounds without further look-ups when the value
        // falls in its first symbol or the next, and nearly always it does. A code value beyond
        // the interval (only in a damaged stream) is held to the last cell and symbol.
        const std::uint32_t dv = std::min(value / length, std::uint32_t{1} << 15);
        const std::uint32_t t = dv >> m.tableShift_;
        std::uint64_t cell;
        std::memcpy(&cell, m.cells() + 4 * t, sizeof cell);
        const auto entry = [cell](int i) {
            return static_cast<std::uint32_t>(cell >> (16 * i)) & 0xFFFFu;
        };
        const bool second = entry(1) <= dv;
        sym = entry(3) + (second ? 1 : 0);
        low = second ? entry(1) : entry(0);
        high = second ? entry(2) : entry(1);
        if (high <= dv) [[unlikely]] {
            while (dist[sym + 1] <= dv) {
                ++sym;
            }
            low = dist[sym];
            high = dist[sym + 1];
        }
    } else {
        sym = lastStartAtOrBelow(0, m.lastSymbol_, value,
                                 [dist, length](std::uint32_t k) { return length * dist[k]; });
        low = dist[sym];
        high = dist[sym + 1];
    }
    const std::uint32_t x = low * length;
    const std::uint32_t y = high != SymbolModel::kEnd ? high * length : length_;
    value_ = value - x;
    length_ = y - x;
    renormalizeAfterSymbol();
    ++m.counts()[sym];
    if (--m.untilUpdate_ == 0) [[unlikely]] {
        m.update();
    }
    return sym;
}

}  // namespace laz
