#pragma once
// Reads the records of a whole file on several threads and hands them over in file order.
//
// The file's chunks are grouped into runs of consecutive chunks of at least kRunRecords records
// together (a chunk of that size or more is a run of its own), so that a file of many small
// chunks is not handed out a few records at a time. Worker threads take the runs in turn and
// decode each into pieces of at most kPieceRecords records; every piece goes through the
// caller's `prepare` on the worker's thread, into one of slotCount(threads) batches that the
// caller keeps, and then, on the calling thread and in file order, through `take`. Decoding runs
// at most slotCount(threads) pieces ahead of `take`, so memory stays the same whatever the
// file's size. No more threads start than there are runs, so that each has at least a run's
// records to decode, far more work than its start costs: a file of a single run is read on the
// calling thread alone.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "laz/Reader.h"

namespace laz {

inline constexpr std::size_t kPieceRecords = 16384;
inline constexpr std::uint64_t kRunRecords = 4096;

struct PieceHandlers {
    // On a worker thread: turn the records of one piece (header().recordLength bytes each) into
    // the caller's batch `slot`. A slot is not filled again before `take` has returned for it.
    std::function<void(std::span<const std::uint8_t> records, std::size_t slot)> prepare;
    // On the calling thread, piece by piece in file order: use batch `slot`; false stops.
    std::function<bool(std::size_t slot)> take;
};

// Batches a reading on `threads` threads fills at once.
std::size_t slotCount(unsigned threads);

// Consecutive chunks [firstChunk, endChunk) read at one go: their records and the number of
// their first piece.
struct Run {
    std::size_t firstChunk = 0;
    std::size_t endChunk = 0;
    std::uint64_t records = 0;
    std::uint64_t firstPiece = 0;
};

// The runs of a file's chunks, and after the last one an empty run at the end of the chunks
// whose firstPiece is the number of pieces.
std::vector<Run> runsOf(const std::vector<Chunk>& chunks);

// Reads every record of an opened reader on up to `threads` threads (on the calling thread
// alone for fewer than 2 or a file of a single run). Returns empty when the reading ran to the
// end of the announced records or `take` stopped it; otherwise the message for the damaged or
// missing data, whose records before the damage have been taken. An exception of `prepare` or
// `take` stops the workers and reaches the caller. The reader is only read: its own sequential
// reading is untouched.
std::string readChunksInOrder(const Reader& reader, unsigned threads,
                              const PieceHandlers& handlers);

}  // namespace laz
