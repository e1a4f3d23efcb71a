#include "laz/Reader.h"

#include <algorithm>
#include <cstring>

namespace laz {
namespace {

// Records of one block of a stored file.
constexpr std::uint64_t kStoredChunkRecords = 16384;

// Records decoded ahead by the sequential reading.
constexpr std::uint64_t kBufferedRecords = 256;

std::string pointName(std::uint64_t index) {
    return "punkt " + std::to_string(index + 1);
}

}  // namespace

ChunkCursor::ChunkCursor(const Reader& reader) : reader_(reader) {
    if (const auto& laz = reader.header().laz) {
        std::string unused;
        decoder_ = ChunkDecoder::create(*laz, reader.header().recordLength, unused);
    }
}

ChunkCursor::ChunkCursor(const Reader& reader, std::unique_ptr<ChunkDecoder> decoder)
    : reader_(reader), decoder_(std::move(decoder)) {}

bool ChunkCursor::open(std::size_t i) {
    index_ = i;
    chunk_ = &reader_.chunks().at(i);
    left_ = chunk_->points;
    nextOffset_ = chunk_->offset;
    error_.clear();
    if (!decoder_ || left_ == 0) {
        return true;
    }
    bytes_.resize(static_cast<std::size_t>(chunk_->bytes));
    if (!reader_.file().readAt(chunk_->offset, bytes_.data(), bytes_.size())) {
        fail("brak danych bloku", 0);
        return false;
    }
    return true;
}

std::size_t ChunkCursor::read(std::uint8_t* out, std::size_t n) {
    if (failed()) {
        return 0;
    }
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, left_));
    const std::size_t done = decoder_ ? readCompressed(out, n) : readStored(out, n);
    left_ -= done;
    return done;
}

std::size_t ChunkCursor::readStored(std::uint8_t* out, std::size_t n) {
    const auto length = static_cast<std::uint64_t>(reader_.header().recordLength);
    if (!reader_.file().readAt(nextOffset_, out, n * length)) {
        fail("brak danych", 0);
        return 0;
    }
    nextOffset_ += n * length;
    return n;
}

std::size_t ChunkCursor::readCompressed(std::uint8_t* out, std::size_t n) {
    const auto length = static_cast<std::size_t>(reader_.header().recordLength);
    std::size_t done = 0;
    if (n > 0 && left_ == chunk_->points) {
        if (!decoder_->start(bytes_.data(), bytes_.data() + bytes_.size(), out)) {
            fail("uszkodzone dane", 0);
            return 0;
        }
        done = 1;
    }
    for (; done < n; ++done) {
        if (!decoder_->next(out + done * length)) {
            fail("uszkodzone lub uciete dane", done);
            break;
        }
    }
    return done;
}

// `decoded`: the records of the current read() decoded before the failure.
void ChunkCursor::fail(const std::string& what, std::uint64_t decoded) {
    const std::uint64_t at = chunk_->first + (chunk_->points - left_) + decoded;
    error_ = "Plik punktow: " + what + " w bloku " + std::to_string(index_ + 1) + " z " +
             std::to_string(reader_.chunks().size()) + " (" + pointName(at) + " z " +
             std::to_string(reader_.pointCount()) + ")";
}

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
    if (!header_.laz) {
        splitStoredRecords();
        cursor_ = std::make_unique<ChunkCursor>(*this, nullptr);
        return true;
    }
    if (header_.laz->chunkSize == 0) {
        error_ = "Uszkodzony opis kompresji LAZ (rozmiar bloku 0)";
        return false;
    }
    auto decoder = ChunkDecoder::create(*header_.laz, header_.recordLength, error_);
    if (!decoder) {
        return false;
    }
    if (header_.pointCount > 0) {
        error_ = readChunkTable(file_, header_, chunks_);
        if (!error_.empty()) {
            return false;
        }
    }
    cursor_ = std::make_unique<ChunkCursor>(*this, std::move(decoder));
    return true;
}

// Blocks of records up to the end of the file: a count past the data leaves the last ones out,
// and the reading reports them missing when it gets there.
void Reader::splitStoredRecords() {
    const auto length = static_cast<std::uint64_t>(header_.recordLength);
    const std::uint64_t bytes =
        file_.size() - std::min(file_.size(), std::uint64_t{header_.pointOffset});
    const std::uint64_t stored = std::min(header_.pointCount, bytes / length);
    for (std::uint64_t first = 0; first < stored; first += kStoredChunkRecords) {
        const std::uint64_t points = std::min(kStoredChunkRecords, stored - first);
        chunks_.push_back({header_.pointOffset + first * length, points * length, points, first});
    }
}

bool Reader::readPoint(std::uint8_t* out) {
    if (!ok_ || delivered_ >= header_.pointCount) {
        return false;
    }
    const auto length = static_cast<std::size_t>(header_.recordLength);
    if (nextRecord_ == records_.size() && !fillRecords()) {
        return false;
    }
    std::memcpy(out, records_.data() + nextRecord_, length);
    nextRecord_ += length;
    ++delivered_;
    return true;
}

// The next records of the current chunk, or of the next chunk that has any.
bool Reader::fillRecords() {
    if (!error_.empty()) {
        return false;
    }
    while (cursor_->left() == 0) {
        if (!startNextChunk()) {
            return false;
        }
    }
    const auto length = static_cast<std::size_t>(header_.recordLength);
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBufferedRecords, cursor_->left()));
    records_.resize(n * length);
    records_.resize(cursor_->read(records_.data(), n) * length);
    nextRecord_ = 0;
    error_ = cursor_->error();
    return !records_.empty();
}

bool Reader::startNextChunk() {
    if (nextChunk_ >= chunks_.size()) {
        error_ = shortfall(delivered_);
        return false;
    }
    if (!cursor_->open(nextChunk_++)) {
        error_ = cursor_->error();
        return false;
    }
    return true;
}

std::string Reader::shortfall(std::uint64_t delivered) const {
    if (delivered >= header_.pointCount) {
        return {};
    }
    return "Plik punktow konczy sie po " + std::to_string(delivered) + " z " +
           std::to_string(header_.pointCount) + " punktow zapowiedzianych w naglowku";
}

}  // namespace laz
