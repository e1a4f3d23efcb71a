#pragma once
// Reads the records of a whole file on several threads and hands them over in file order.
//
// Worker threads take the file's chunks in turn and decode each into pieces of at most
// kPieceRecords records; every piece goes through the caller's `prepare` on the worker's thread,
// into one of slotCount(threads) batches that the caller keeps, and then, on the calling thread
// and in file order, through `take`. Decoding runs at most slotCount(threads) pieces ahead of
// `take`, so memory stays the same whatever the file's size.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "laz/Reader.h"

namespace laz {

inline constexpr std::size_t kPieceRecords = 65536;

struct PieceHandlers {
    // On a worker thread: turn the records of one piece (header().recordLength bytes each) into
    // the caller's batch `slot`. A slot is not filled again before `take` has returned for it.
    std::function<void(std::span<const std::uint8_t> records, std::size_t slot)> prepare;
    // On the calling thread, piece by piece in file order: use batch `slot`; false stops.
    std::function<bool(std::size_t slot)> take;
};

// Batches a reading on `threads` threads fills at once.
std::size_t slotCount(unsigned threads);

// Reads every record of an opened reader (on the calling thread alone when threads < 2 or the
// file has a single chunk). Returns empty when the reading ran to the end of the announced
// records or `take` stopped it; otherwise the message for the damaged or missing data, whose
// records before the damage have been taken. An exception of `prepare` or `take` stops the
// workers and reaches the caller. The reader is only read: its own sequential reading is
// untouched.
std::string readChunksInOrder(const Reader& reader, unsigned threads,
                              const PieceHandlers& handlers);

}  // namespace laz
