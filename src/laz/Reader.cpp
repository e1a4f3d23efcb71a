#include "laz/Reader.h"

#include <algorithm>
#include <cstring>

namespace laz {
namespace {

constexpr std::size_t kBlockBytes = 1 << 16;

}  // namespace

Reader::Reader(const std::string& path) : file_(path) {
    if (!file_.isOpen()) {
        error_ = "Nie mozna otworzyc pliku " + path;
        return;
    }
    ok_ = open();
}

bool Reader::open() {
    error_ = readHeader(file_, header_);
    if (!error_.empty()) {
        return false;
    }
    nextOffset_ = header_.pointOffset;
    if (!header_.laz) {
        return true;
    }
    decoder_ = ChunkDecoder::create(*header_.laz, header_.recordLength, error_);
    if (!decoder_) {
        return false;
    }
    if (header_.laz->chunkSize == 0) {
        error_ = "Uszkodzony opis kompresji LAZ (rozmiar bloku 0)";
        return false;
    }
    if (header_.pointCount == 0) {
        return true;
    }
    error_ = readChunkTable(file_, header_, chunks_);
    return error_.empty();
}

bool Reader::readPoint(std::uint8_t* out) {
    if (!ok_ || delivered_ >= header_.pointCount) {
        return false;
    }
    const bool read = header_.laz ? readCompressed(out) : readStored(out);
    if (read) {
        ++delivered_;
    } else {
        delivered_ = header_.pointCount;  // nothing more after a short or damaged stretch
    }
    return read;
}

bool Reader::readStored(std::uint8_t* out) {
    const auto length = static_cast<std::size_t>(header_.recordLength);
    if (blockPos_ + length > block_.size()) {
        const std::uint64_t left = file_.size() - std::min(file_.size(), nextOffset_);
        const std::uint64_t records =
            std::min<std::uint64_t>(std::max<std::size_t>(kBlockBytes / length, 1), left / length);
        if (records == 0) {
            return false;
        }
        block_.resize(static_cast<std::size_t>(records) * length);
        if (!file_.readAt(nextOffset_, block_.data(), block_.size())) {
            return false;
        }
        nextOffset_ += block_.size();
        blockPos_ = 0;
    }
    std::memcpy(out, block_.data() + blockPos_, length);
    blockPos_ += length;
    return true;
}

bool Reader::readCompressed(std::uint8_t* out) {
    if (leftInChunk_ == 0) {
        return startNextChunk(out);
    }
    --leftInChunk_;
    return decoder_->next(out);
}

bool Reader::startNextChunk(std::uint8_t* out) {
    while (nextChunk_ < chunks_.size() && chunks_[nextChunk_].points == 0) {
        ++nextChunk_;
    }
    if (nextChunk_ >= chunks_.size()) {
        return false;
    }
    const Chunk& c = chunks_[nextChunk_++];
    chunkBytes_.resize(static_cast<std::size_t>(c.bytes));
    if (!file_.readAt(c.offset, chunkBytes_.data(), chunkBytes_.size()) ||
        !decoder_->start(chunkBytes_.data(), chunkBytes_.data() + chunkBytes_.size(), out)) {
        return false;
    }
    leftInChunk_ = c.points - 1;
    return true;
}

}  // namespace laz
