#pragma once
// Reads the point records of a LAS or LAZ file. The records lie in chunks that decode on their
// own: the compressed chunks of a LAZ file, blocks of records of a stored one. `Reader` reads
// them one record at a time in file order; a `ChunkCursor` decodes any one chunk, so that
// several threads, each with its own cursor, can share the chunks of one file. Never throws: a
// file that cannot be read leaves ok() false with a message in error(); damaged or missing data
// met while reading ends the reading with a message.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "laz/ChunkDecoder.h"
#include "laz/ChunkTable.h"
#include "laz/FileSource.h"
#include "laz/LasHeader.h"

namespace laz {

class Reader;

// Decodes the records of one chunk at a time, in the order they are stored.
class ChunkCursor {
public:
    // The reader must outlive the cursor; it is only read.
    explicit ChunkCursor(const Reader& reader);
    // With a decoder of the reader's items already made.
    ChunkCursor(const Reader& reader, std::unique_ptr<ChunkDecoder> decoder);

    // Starts chunk i (of reader.chunks()); false with a message when its data is not there.
    bool open(std::size_t i);
    // Writes up to n of the chunk's next records to out; returns how many. Fewer than n, and
    // fewer than left(), only when the chunk turned out damaged (then failed()).
    std::size_t read(std::uint8_t* out, std::size_t n);
    std::uint64_t left() const { return left_; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    std::size_t readStored(std::uint8_t* out, std::size_t n);
    std::size_t readCompressed(std::uint8_t* out, std::size_t n);
    void fail(const std::string& what, std::uint64_t decoded);

    const Reader& reader_;
    std::unique_ptr<ChunkDecoder> decoder_;  // absent for a stored file
    std::vector<std::uint8_t> bytes_;        // the compressed chunk
    const Chunk* chunk_ = nullptr;
    std::size_t index_ = 0;
    std::uint64_t left_ = 0;
    std::uint64_t nextOffset_ = 0;  // of a stored chunk's next record
    std::string error_;
};

class Reader {
public:
    explicit Reader(const std::string& path);

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const Header& header() const { return header_; }
    std::uint64_t pointCount() const { return header_.pointCount; }
    const FileSource& file() const { return file_; }
    const std::vector<Chunk>& chunks() const { return chunks_; }

    // Writes the next record into out (header().recordLength bytes); false after the last one,
    // or when the data ends early or is damaged (then with a message in error()).
    bool readPoint(std::uint8_t* out);

    // The message for a reading that ran out of chunks after `delivered` records; empty when
    // every announced record was there.
    std::string shortfall(std::uint64_t delivered) const;

private:
    bool open();
    void splitStoredRecords();
    bool fillRecords();
    bool startNextChunk();

    FileSource file_;
    Header header_;
    std::string error_;
    bool ok_ = false;
    std::vector<Chunk> chunks_;

    // The sequential reading: its cursor and the records decoded ahead.
    std::unique_ptr<ChunkCursor> cursor_;
    std::vector<std::uint8_t> records_;
    std::size_t nextRecord_ = 0;  // byte offset in records_
    std::size_t nextChunk_ = 0;
    std::uint64_t delivered_ = 0;
};

}  // namespace laz
