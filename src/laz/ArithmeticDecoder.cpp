#include "laz/ArithmeticDecoder.h"

#include <array>
#include <atomic>
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
        // At least one entry a symbol: the bracket it gives is mostly a single symbol.
        std::uint32_t tableBits = 5;
        while (symbols_ > (1u << tableBits)) {
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
    if (tableSize_ == 0) {
        for (std::uint32_t k = 0; k < symbols_; ++k) {
            dist[k] = static_cast<Entry>((scale * sum) >> (31 - kSymLengthShift));
            sum += count[k];
        }
    } else {
        // table[t] is the largest symbol whose cumulative share starts below t.
        Entry* const tab = table();
        std::uint32_t s = 0;
        for (std::uint32_t k = 0; k < symbols_; ++k) {
            dist[k] = static_cast<Entry>((scale * sum) >> (31 - kSymLengthShift));
            sum += count[k];
            const std::uint32_t w = dist[k] >> tableShift_;
            while (s < w) {
                tab[++s] = static_cast<Entry>(k - 1);
            }
        }
        tab[0] = 0;
        while (s <= tableSize_) {
            tab[++s] = static_cast<Entry>(symbols_ - 1);
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
