#pragma once
// Reads the point records of a LAS or LAZ file one at a time, in file order, into a caller's
// buffer of header().recordLength bytes; a compressed file is decoded chunk by chunk into one
// buffer that lives with the reader. Never throws: a file that cannot be read leaves ok() false
// with a message in error(); damaged data met while reading ends the reading.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "laz/ChunkDecoder.h"
#include "laz/ChunkTable.h"
#include "laz/FileSource.h"
#include "laz/LasHeader.h"

namespace laz {

class Reader {
public:
    explicit Reader(const std::string& path);

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const Header& header() const { return header_; }
    std::uint64_t pointCount() const { return header_.pointCount; }

    // Writes the next record; false after the last one, or when the data ends or is damaged.
    bool readPoint(std::uint8_t* out);

private:
    bool open();
    bool readStored(std::uint8_t* out);
    bool readCompressed(std::uint8_t* out);
    bool startNextChunk(std::uint8_t* out);

    FileSource file_;
    Header header_;
    std::string error_;
    bool ok_ = false;
    std::uint64_t delivered_ = 0;

    // Uncompressed records are read in blocks.
    std::vector<std::uint8_t> block_;
    std::size_t blockPos_ = 0;
    std::uint64_t nextOffset_ = 0;

    // Compressed records.
    std::unique_ptr<ChunkDecoder> decoder_;
    std::vector<Chunk> chunks_;
    std::size_t nextChunk_ = 0;
    std::uint64_t leftInChunk_ = 0;
    std::vector<std::uint8_t> chunkBytes_;
};

}  // namespace laz
