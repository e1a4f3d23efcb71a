#pragma once
// Adaptive binary arithmetic decoding as LAZ streams use it: a 32-bit interval renormalised a
// byte at a time, adaptive bit and multi-symbol models whose statistics are refreshed on a
// growing cycle, and raw bits taken straight from the interval.
//
// The decoder never reads outside its byte range: past the end it takes zero bytes and counts
// them, so that a caller can tell a stream that ran out from one that ended properly.

#include <algorithm>
#include <cstdint>
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

// Cumulative distribution of 2 to 2048 symbols, scaled to 2^15, with a lookup table that narrows
// the search for models of more than 16 symbols.
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
    void restore();
    void update();

    std::uint32_t symbols_;
    std::uint32_t lastSymbol_;
    std::uint32_t tableSize_ = 0;
    std::uint32_t tableShift_ = 0;
    std::uint32_t totalCount_ = 0;
    std::uint32_t updateCycle_ = 0;
    std::uint32_t untilUpdate_ = 0;
    bool stale_ = true;
    // One block, for locality: the cumulative distribution (symbols_ entries), the counts
    // (symbols_ entries), then the lookup table (tableSize_ + 2 entries, none without a table).
    // Distribution values stay within 2^15, counts below 2^15 plus one update cycle, symbols
    // below 2048: 16 bits hold them all, and halve the models' share of the cache.
    using Entry = std::uint16_t;
    std::vector<Entry> data_;
    Entry* distribution() { return data_.data(); }
    Entry* counts() { return data_.data() + symbols_; }
    Entry* table() { return data_.data() + 2 * symbols_; }
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
    std::uint32_t readBits(std::uint32_t bits);  // 1 to 32 raw bits
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

    void renormalize() {
        if (length_ == 0) {  // only a damaged stream collapses the interval
            length_ = kMinLength;
            ++overrun_;
            return;
        }
        do {
            value_ = (value_ << 8) | nextByte();
            length_ <<= 8;
        } while (length_ < kMinLength);
    }
    std::uint32_t nextByte() {
        if (pos_ < end_) {
            return *pos_++;
        }
        ++overrun_;
        return 0;
    }
    std::uint32_t readRawBits(std::uint32_t bits);

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
    if (length_ < kMinLength) {
        renormalize();
    }
    if (--m.untilUpdate_ == 0) [[unlikely]] {
        m.update();
    }
    return bit;
}

// The largest symbol in [first, first + count) whose scaled start `start(k)` is at or below the
// code value. The bisection selects instead of branching: its comparisons depend on the data and
// would be mispredicted about half the time.
template <typename Start>
[[gnu::always_inline]] inline std::uint32_t bisect(std::uint32_t first, std::uint32_t count,
                                                   std::uint32_t value, Start start) {
    while (count > 1) {
        const std::uint32_t half = count >> 1;
        first = start(first + half) <= value ? first + half : first;
        count -= half;
    }
    return first;
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
    if (m.tableSize_ != 0) {
        // The table brackets the symbol; a bisection inside the bracket finds it. A code value
        // beyond the interval (only in a damaged stream) is held to the table's last entry.
        const SymbolModel::Entry* table = m.table();
        const std::uint32_t dv = value / length;
        const std::uint32_t t = std::min(dv >> m.tableShift_, m.tableSize_);
        const std::uint32_t low = table[t];
        sym = bisect(low, table[t + 1] + 1 - low, dv,
                     [dist](std::uint32_t k) { return std::uint32_t{dist[k]}; });
    } else {
        sym = bisect(0, m.symbols_, value,
                     [dist, length](std::uint32_t k) { return length * dist[k]; });
    }
    const std::uint32_t x = dist[sym] * length;
    const std::uint32_t y = sym != m.lastSymbol_ ? dist[sym + 1] * length : length_;
    value_ = value - x;
    length_ = y - x;
    if (length_ < kMinLength) {
        renormalize();
    }
    ++m.counts()[sym];
    if (--m.untilUpdate_ == 0) [[unlikely]] {
        m.update();
    }
    return sym;
}

}  // namespace laz
