#pragma once
// Decodes the records of one compressed chunk. Every chunk starts afresh: its first record is
// stored raw and seeds the item decoders, the following ones are coded against their
// predecessors.

#include <cstdint>
#include <memory>
#include <string>

#include "laz/LasHeader.h"

namespace laz {

class ChunkDecoder {
public:
    // A decoder for the file's items, or null with a message for the user when they are not
    // ones this module reads.
    static std::unique_ptr<ChunkDecoder> create(const LazInfo& info, int recordLength,
                                                std::string& error);

    virtual ~ChunkDecoder() = default;
    // Starts the chunk held in [begin, end) and writes its first record; false when the chunk
    // cannot hold one.
    virtual bool start(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t* out) = 0;
    // Writes the next record; false when the chunk's data turned out damaged.
    virtual bool next(std::uint8_t* out) = 0;
};

}  // namespace laz
