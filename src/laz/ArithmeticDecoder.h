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
// symbols and their bounds.
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
    std::size_t distributionAt() const { return 4 * (tableSize_ + 2); }
    std::size_t countsAt() const { return distributionAt() + symbols_ + 2; }
    std::size_t dataSize() const { return countsAt() + symbols_; }
    void restore();
    void update();
    class CellWriter;

    std::uint32_t symbols_;
    std::uint32_t tableSize_ = 0;
    std::uint32_t tableShift_ = 0;
    std::uint32_t totalCount_ = 0;
    std::uint32_t updateCycle_ = 0;
    std::uint32_t untilUpdate_ = 0;
    bool stale_ = true;
    // One block, for locality: the table's tableSize_ + 2 cells of four entries first
    // (at the block's start, the cell is found by one addition to the index), then the
    // cumulative distribution (symbols_ entries and two kEnd) and the counts (symbols_
    // entries). Cell t serves the scaled code values in [t, t + 1) << tableShift_: it holds the
    // starts of the first symbol such a value may fall in and of the two symbols after it, then
    // that symbol, so that a value in either of the first two symbols is decoded from the cell
    // alone. Scaled to 2^15 units of the interval, a code value in the last symbol reaches
    // 2^15 + 63, the interval's remainder beyond those units: the largest tables (cells of 32
    // units) need a cell more for it, and all have it. Distribution values stay within 2^15,
    // counts below 2^15 plus one update cycle, symbols below 2048: 16 bits hold them all, and
    // halve the models' share of the cache.
    const std::vector<Entry>* pristine_ = nullptr;  // the initial data of models of this size
    std::vector<Entry> data_;
    Entry* cells() { return data_.data(); }
    Entry* distribution() { return data_.data() + distributionAt(); }
    Entry* counts() { return data_.data() + countsAt(); }
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
            value_ &= kMinLength - 1;
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
    // The same after a modelled symbol or bit, which needs one byte or none unless it was a
    // very unlikely one (that, and the last bytes of the range, go the general way). Whether
    // it needs the byte is as random as the data: the byte is shifted in by arithmetic on that
    // condition, not behind a branch the processor would mispredict.
    void renormalizeAfterSymbol() {
        if ((length_ < (1u << 16)) | (pos_ >= end_)) [[unlikely]] {
            renormalize();
            return;
        }
        const std::uint32_t n = length_ < kMinLength ? 1 : 0;
        const std::uint32_t s = 8 * n;
        value_ = (value_ << s) | (*pos_ & (0u - n));
        length_ <<= s;
        pos_ += n;
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

    // The code value stays below the interval's length, whatever the data: every step keeps it
    // so, and the table look-ups rely on it. Before start() the decoder is an exhausted one on
    // no bytes: safe to use, never trusted.
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

[[gnu::always_inline]] inline std::uint32_t ArithmeticDecoder::decodeSymbol(SymbolModel& m) {
    // The interval is worked on in locals: the model's counters are written through pointers
    // the compiler could not otherwise tell apart from it.
    if (m.stale_) [[unlikely]] {
        m.restore();
    }
    const std::uint32_t value = value_;
    const std::uint32_t length = length_ >> 15;
    // The cell gives the symbol and its bounds without further look-ups when the value falls
    // in its first symbol or the next, and nearly always it does. The code value lies within
    // the interval, damaged data or not, so the cell is one of the table's.
    const std::uint32_t dv = value / length;
    const std::uint32_t t = dv >> m.tableShift_;
    std::uint64_t cell;
    std::memcpy(&cell, m.cells() + 4 * std::size_t{t}, sizeof cell);
    const auto entry = [cell](int i) {
        return static_cast<std::uint32_t>(cell >> (16 * i)) & 0xFFFFu;
    };
    // Which of the two it is, is as random as the data: the bounds are picked by a shift.
    const std::uint32_t second = entry(1) <= dv ? 1 : 0;
    std::uint32_t sym = entry(3) + second;
    const auto bounds = static_cast<std::uint32_t>(cell >> (16 * second));
    std::uint32_t low = bounds & 0xFFFFu;  // the symbol's start
    std::uint32_t high = bounds >> 16;     // the next symbol's start, kEnd after the last
    if (high <= dv) [[unlikely]] {
        const SymbolModel::Entry* dist = m.distribution();
        while (dist[sym + 1] <= dv) {
            ++sym;
        }
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
