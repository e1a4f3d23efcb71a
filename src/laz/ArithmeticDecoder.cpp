#include "laz/ArithmeticDecoder.h"

#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

namespace laz {
namespace {

constexpr std::uint32_t kBitLengthShift = 13;
constexpr std::uint32_t kBitMaxCount = 1u << kBitLengthShift;
constexpr std::uint32_t kSymLengthShift = 15;
constexpr std::uint32_t kSymMaxCount = 1u << kSymLengthShift;

}  // namespace

void BitModel::reset() {
    bit0Count_ = 1;
    bitCount_ = 2;
    bit0Prob_ = 1u << (kBitLengthShift - 1);
    updateCycle_ = untilUpdate_ = 4;
}

void BitModel::update() {
    // Halve the counts when they grow too large, so that the model keeps adapting.
    if ((bitCount_ += updateCycle_) > kBitMaxCount) {
        bitCount_ = (bitCount_ + 1) >> 1;
        bit0Count_ = (bit0Count_ + 1) >> 1;
        if (bit0Count_ == bitCount_) {
            ++bitCount_;
        }
    }
    const std::uint32_t scale = 0x80000000u / bitCount_;
    bit0Prob_ = (bit0Count_ * scale) >> (31 - kBitLengthShift);
    updateCycle_ = std::min<std::uint32_t>((5 * updateCycle_) >> 2, 64);
    untilUpdate_ = updateCycle_;
}

SymbolModel::SymbolModel(std::uint32_t symbols) : SymbolModel(symbols, Blank{}) {
    pristine_ = &pristine(symbols_);
}

SymbolModel::SymbolModel(std::uint32_t symbols, Blank)
    : symbols_(std::clamp<std::uint32_t>(symbols, 2, kMaxSymbols)), lastSymbol_(symbols_ - 1) {
    if (symbols_ > 16) {
        // At least one cell for two symbols: the likely symbols, the ones decoded mostly, span
        // cells of their own, and every model update writes all cells anew.
        std::uint32_t tableBits = 4;
        while (symbols_ > (2u << tableBits)) {
            ++tableBits;
        }
        tableSize_ = 1u << tableBits;
        tableShift_ = kSymLengthShift - tableBits;
    }
}

// Every model of a given size starts from the same distribution and table: they are worked out
// once for the process and copied from then on.
const std::vector<SymbolModel::Entry>& SymbolModel::pristine(std::uint32_t symbols) {
    // Decoders make thousands of models: the usual look-up takes no lock.
    static std::array<std::atomic<const std::vector<Entry>*>, kMaxSymbols + 1> bySize{};
    if (const auto* known = bySize[symbols].load(std::memory_order_acquire)) {
        return *known;
    }
    static std::mutex mutex;
    static std::map<std::uint32_t, std::vector<Entry>> known;  // nodes never move
    const std::lock_guard lock(mutex);
    auto found = known.find(symbols);
    if (found == known.end()) {
        SymbolModel first(symbols, Blank{});
        first.data_.resize(first.dataSize());
        first.distribution()[first.symbols_] = first.distribution()[first.symbols_ + 1] = kEnd;
        std::fill(first.counts(), first.counts() + first.symbols_, Entry{1});
        first.updateCycle_ = first.symbols_;
        first.update();
        found = known.emplace(symbols, std::move(first.data_)).first;
        bySize[symbols].store(&found->second, std::memory_order_release);
    }
    return found->second;
}

// A model takes its memory only when first used.
void SymbolModel::restore() {
    stale_ = false;
    data_.assign(pristine_->begin(), pristine_->end());
    totalCount_ = symbols_;
    updateCycle_ = untilUpdate_ = (symbols_ + 6) >> 1;
}

// Symbol k is the first of the cells from the one its start falls in (or the next, when it
// starts on a cell's boundary) up to the cell the next symbol starts in; the last symbol is the
// first of all cells after. A symbol of less than one cell's width owns one cell or none: its
// cell is written anyway, to be written over by the next symbol when it owns none, so that only
// wide symbols take a loop.
class SymbolModel::CellWriter {
public:
    explicit CellWriter(SymbolModel& m)
        : cells_(m.cells()), shift_(m.tableShift_), end_(m.tableSize_ + 1) {}

    // `starts`: the starts of sym and of the two symbols after it (kEnd past the last).
    void put(std::uint32_t sym, std::uint64_t starts) {
        const std::uint64_t cell = starts | (std::uint64_t{sym} << 48);
        const auto nextStart = static_cast<std::uint32_t>(starts >> 16) & 0xFFFFu;
        const std::uint32_t to = std::min((nextStart + (1u << shift_) - 1) >> shift_, end_);
        write(next_, cell);
        for (std::uint32_t t = next_ + 1; t < to; ++t) {
            write(t, cell);
        }
        next_ = to;  // never below: the starts rise
    }

private:
    void write(std::uint32_t t, std::uint64_t cell) { std::memcpy(cells_ + 4 * t, &cell, 8); }

    Entry* cells_;
    std::uint32_t shift_;
    std::uint32_t end_;
    std::uint32_t next_ = 0;  // the first cell not written
};

void SymbolModel::update() {
    Entry* const dist = distribution();
    Entry* const count = counts();
    if ((totalCount_ += updateCycle_) > kSymMaxCount) {
        totalCount_ = 0;
        for (std::uint32_t k = 0; k < symbols_; ++k) {
            count[k] = static_cast<Entry>((count[k] + 1) >> 1);
            totalCount_ += count[k];
        }
    }
    const std::uint32_t scale = 0x80000000u / totalCount_;
    std::uint32_t sum = 0;
    const auto next = [&](std::uint32_t k) {
        const auto start = static_cast<Entry>((scale * sum) >> (31 - kSymLengthShift));
        dist[k] = start;
        sum += count[k];
        return start;
    };
    const std::uint32_t symbols = symbols_;  // a local: the cells' writes could alias a member
    if (tableSize_ == 0) {
        for (std::uint32_t k = 0; k < symbols; ++k) {
            next(k);
        }
    } else {
        // A symbol's cells are known with the starts of the two symbols after it, which come
        // along in `starts` rather than being read back from the distribution just written.
        CellWriter cells(*this);
        std::uint64_t starts = 0;  // of symbols k - 2, k - 1 and k, 16 bits each
        for (std::uint32_t k = 0; k < symbols; ++k) {
            starts = (starts >> 16) | (std::uint64_t{next(k)} << 32);
            if (k >= 2) {
                cells.put(k - 2, starts);
            }
        }
        for (std::uint32_t k = symbols; k < symbols + 2; ++k) {
            starts = (starts >> 16) | (std::uint64_t{kEnd} << 32);
            cells.put(k - 2, starts);
        }
    }
    updateCycle_ = std::min((5 * updateCycle_) >> 2, (symbols_ + 6) << 3);
    untilUpdate_ = updateCycle_;
}

void SymbolModelTable::reset() {
    for (auto& m : models_) {
        if (m) {
            m->reset();
        }
    }
}

void ArithmeticDecoder::start(const std::uint8_t* begin, const std::uint8_t* end) {
    pos_ = begin;
    end_ = end;
    overrun_ = 0;
    length_ = 0xFFFFFFFFu;
    value_ = 0;
    for (int i = 0; i < 4; ++i) {
        value_ = (value_ << 8) | nextByte();
    }
}

std::uint32_t ArithmeticDecoder::readInt() {
    const std::uint32_t lower = readShort();
    const std::uint32_t upper = readShort();
    return (upper << 16) | (lower & 0xFFFFu);
}

std::uint64_t ArithmeticDecoder::readInt64() {
    const std::uint64_t lower = readInt();
    const std::uint64_t upper = readInt();
    return (upper << 32) | lower;
}

}  // namespace laz
