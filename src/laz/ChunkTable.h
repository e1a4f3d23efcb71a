#pragma once
// Where the compressed chunks of a LAZ file lie and how many points each holds. The table sits
// after the last chunk; an 8-byte offset before the first chunk points to it.

#include <cstdint>
#include <string>
#include <vector>

#include "laz/FileSource.h"
#include "laz/LasHeader.h"

namespace laz {

struct Chunk {
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
    std::uint64_t points = 0;
    std::uint64_t first = 0;  // the file's index of its first record
};

// Reads and checks the table of a compressed file; a message for the user on failure.
std::string readChunkTable(const FileSource& file, const Header& header, std::vector<Chunk>& out);

}  // namespace laz
