#include "laz/ChunkDecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "laz/ArithmeticDecoder.h"
#include "laz/Bytes.h"
#include "laz/ItemDecoder.h"

namespace laz {
namespace {

std::string itemName(const LazItem& item) {
    return "typ " + std::to_string(static_cast<int>(item.type)) + ", wersja " +
           std::to_string(item.version);
}

// Point-wise: one arithmetic stream for the whole record, items in record order.
class PointwiseChunk final : public ChunkDecoder {
public:
    PointwiseChunk(std::vector<std::unique_ptr<PointwiseItem>> items,
                   std::vector<std::size_t> offsets, std::size_t recordLength)
        : items_(std::move(items)), offsets_(std::move(offsets)), recordLength_(recordLength) {}

    bool start(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t* out) override {
        if (static_cast<std::size_t>(end - begin) < recordLength_) {
            return false;
        }
        std::memcpy(out, begin, recordLength_);
        for (std::size_t i = 0; i < items_.size(); ++i) {
            items_[i]->start(out + offsets_[i]);
        }
        dec_.start(begin + recordLength_, end);
        return true;
    }

    bool next(std::uint8_t* out) override {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            items_[i]->decode(dec_, out + offsets_[i]);
        }
        return !dec_.exhausted();
    }

private:
    std::vector<std::unique_ptr<PointwiseItem>> items_;
    std::vector<std::size_t> offsets_;
    std::size_t recordLength_;
    ArithmeticDecoder dec_;
};

// Layered: after the raw first record, the number of points, then the byte count of every
// layer of every item, then the layers themselves in the same order.
class LayeredChunk final : public ChunkDecoder {
public:
    LayeredChunk(std::vector<std::unique_ptr<LayeredItem>> items, std::vector<std::size_t> offsets,
                 std::size_t recordLength)
        : items_(std::move(items)), offsets_(std::move(offsets)), recordLength_(recordLength) {
        for (const auto& item : items_) {
            layerCount_ += item->layerCount();
        }
        layers_.resize(layerCount_);
    }

    bool start(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t* out) override {
        const auto available = static_cast<std::uint64_t>(end - begin);
        if (available < recordLength_) {
            return false;
        }
        std::memcpy(out, begin, recordLength_);
        if (available == recordLength_) {
            // A chunk of a single point carries nothing but that point.
            std::fill(layers_.begin(), layers_.end(), ByteRange{});
        } else if (available < recordLength_ + 4 + 4 * layerCount_ ||
                   !placeLayers(begin + recordLength_ + 4, end)) {
            return false;
        }
        startItems(out);
        return true;
    }

    bool next(std::uint8_t* out) override {
        std::uint32_t context = 0;  // the point item names a channel only when it changes
        for (std::size_t i = 0; i < items_.size(); ++i) {
            items_[i]->decode(out + offsets_[i], context);
        }
        for (const auto& item : items_) {
            if (item->damaged()) {
                return false;
            }
        }
        return true;
    }

private:
    bool placeLayers(const std::uint8_t* sizes, const std::uint8_t* end) {
        const std::uint8_t* pos = sizes + 4 * layerCount_;
        for (std::size_t i = 0; i < layerCount_; ++i) {
            const auto bytes = load<std::uint32_t>(sizes + 4 * i);
            if (bytes > static_cast<std::uint64_t>(end - pos)) {
                return false;
            }
            layers_[i] = ByteRange{pos, pos + bytes};
            pos += bytes;
        }
        return true;
    }

    void startItems(std::uint8_t* out) {
        std::uint32_t context = 0;
        std::size_t firstLayer = 0;
        for (std::size_t i = 0; i < items_.size(); ++i) {
            const std::span<const ByteRange> mine(layers_.data() + firstLayer,
                                                  items_[i]->layerCount());
            items_[i]->start(out + offsets_[i], mine, context);
            firstLayer += items_[i]->layerCount();
        }
    }

    std::vector<std::unique_ptr<LayeredItem>> items_;
    std::vector<std::size_t> offsets_;
    std::size_t recordLength_;
    std::size_t layerCount_ = 0;
    std::vector<ByteRange> layers_;
};

// Builds the item decoders of one compressor; the first item must be the core record and the
// items must fill the record exactly.
template <typename Item, typename Make>
bool makeItems(const LazInfo& info, int recordLength, ItemType core, Make make,
               std::vector<std::unique_ptr<Item>>& items, std::vector<std::size_t>& offsets,
               std::string& error) {
    std::size_t offset = 0;
    for (const LazItem& it : info.items) {
        auto item = make(it);
        if (!item) {
            error = "Nieobslugiwany element kompresji LAZ: " + itemName(it);
            return false;
        }
        items.push_back(std::move(item));
        offsets.push_back(offset);
        offset += it.size;
    }
    if (info.items.empty() || info.items.front().type != core ||
        offset != static_cast<std::size_t>(recordLength)) {
        error = "Opis kompresji LAZ nie zgadza sie z rekordem punktu";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<ChunkDecoder> ChunkDecoder::create(const LazInfo& info, int recordLength,
                                                   std::string& error) {
    const auto length = static_cast<std::size_t>(recordLength);
    if (info.compressor == Compressor::PointwiseChunked) {
        std::vector<std::unique_ptr<PointwiseItem>> items;
        std::vector<std::size_t> offsets;
        if (!makeItems(info, recordLength, ItemType::Point10, makePointwiseItem, items, offsets,
                       error)) {
            return nullptr;
        }
        return std::make_unique<PointwiseChunk>(std::move(items), std::move(offsets), length);
    }
    if (info.compressor == Compressor::LayeredChunked) {
        std::vector<std::unique_ptr<LayeredItem>> items;
        std::vector<std::size_t> offsets;
        if (!makeItems(info, recordLength, ItemType::Point14, makeLayeredItem, items, offsets,
                       error)) {
            return nullptr;
        }
        return std::make_unique<LayeredChunk>(std::move(items), std::move(offsets), length);
    }
    error =
        "Nieobslugiwana metoda kompresji LAZ: " + std::to_string(static_cast<int>(info.compressor));
    return nullptr;
}

}  // namespace laz
