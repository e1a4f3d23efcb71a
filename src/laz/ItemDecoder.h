#pragma once
// Decoders of one compressed item (a slice of the point record). Point-wise items share one
// arithmetic decoder for the whole record; layered items own one decoder per field layer and
// follow the scanner channel that the point item announces (the context).

#include <cstdint>
#include <memory>
#include <span>

#include "laz/ArithmeticDecoder.h"
#include "laz/LasHeader.h"

namespace laz {

class PointwiseItem {
public:
    virtual ~PointwiseItem() = default;
    // The chunk's first record, stored raw, seeds the item's state; models start afresh.
    virtual void start(const std::uint8_t* first) = 0;
    virtual void decode(ArithmeticDecoder& dec, std::uint8_t* out) = 0;
};

struct ByteRange {
    const std::uint8_t* begin = nullptr;
    const std::uint8_t* end = nullptr;
    bool empty() const { return begin == end; }
};

class LayeredItem {
public:
    virtual ~LayeredItem() = default;
    virtual std::size_t layerCount() const = 0;
    // `layers` holds layerCount() byte ranges of this chunk; `context` is the scanner channel of
    // the first record (set by the point item, read by the others).
    virtual void start(const std::uint8_t* first, std::span<const ByteRange> layers,
                       std::uint32_t& context) = 0;
    // `context` comes in as 0; the point item sets it to the new scanner channel on a record
    // whose channel changed, and the items after it read it.
    virtual void decode(std::uint8_t* out, std::uint32_t& context) = 0;
    // A layer's decoder ran past its bytes: the chunk is damaged.
    virtual bool damaged() const = 0;
};

// Decoders for the item kinds and versions this module reads; null for any other.
std::unique_ptr<PointwiseItem> makePointwiseItem(const LazItem& item);
std::unique_ptr<LayeredItem> makeLayeredItem(const LazItem& item);

}  // namespace laz
