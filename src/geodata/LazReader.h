#pragma once
// Reads a LAS or LAZ file into ClPoint records: coordinates scaled and offset, colour reduced to
// 8 bits a channel (a grey from the intensity when the format has no colour), and the whole
// classification byte. Never throws; a file that cannot be read leaves `ok` false.
//
// A channel's 8 bits are the high byte of its 16-bit value, except in a file that keeps 8-bit
// colour in its 16-bit channels: where no channel of any point read holds a value above 255,
// the values are taken as they are. That is settled once, before the first point is handed out,
// from the first records alone when they hold a value above 255, else from a first pass over
// the whole file (a second decoding, on as many threads as the reading). A caller that takes
// only the points' places and classes reads with Colour::Ignored: no pass is spent on colour,
// which is then the high byte of each channel.
//
// Two ways to read:
// - `next`, point by point on the caller's thread;
// - `readAll`, for callers that want every point of the file (terrain from point clouds, roofs,
//   the point-cloud palette): the file's chunks are decoded on all cores and the points handed
//   to the caller in file order, a batch at a time, on the caller's thread. Memory stays at a
//   few batches a thread whatever the file's size; nothing of the whole file is held. About
//   four times or more the speed of `next` on eight cores, for files of many chunks.
//
//     LazReader reader(path);
//     if (reader.ok) {
//         reader.readAll([&](std::span<const ClPoint> batch) {
//             for (const ClPoint& p : batch) { ... }
//             return !cancelled;  // false stops the reading
//         });
//     }
//
// Either way, data that ends early or is damaged stops the reading after the last good point,
// with the reason in error().

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"

namespace laz {
class Reader;
}

class LazReader {
public:
    enum class Colour { Read, Ignored };
    explicit LazReader(const std::string& path, Colour colour = Colour::Read);
    ~LazReader();
    LazReader(LazReader&&) noexcept;
    LazReader& operator=(LazReader&&) noexcept;

    // Byte offset of the classification in a record of the format.
    static int classOffsetFor(int pointFormat) { return pointFormat < 6 ? 15 : 16; }

    // The next record; false (the point untouched) when none could be read.
    bool next(ClPoint& point);

    // Called on the reading thread with every batch of points, in file order; returns false to
    // stop the reading.
    using Sink = std::function<bool(std::span<const ClPoint> batch)>;
    // Reads every point of the file, from its first whatever `next` has read, on `threads`
    // threads (0: one per core; the calling thread alone for 1 or a file of one chunk). True
    // when the reading reached the file's announced end; false when the file is not ok, the
    // sink stopped it, or the data ended early or is damaged (error() then says so; the points
    // before were delivered). An exception of the sink stops the workers and reaches the caller.
    bool readAll(const Sink& sink, unsigned threads = 0);

    // Why the file did not open or the reading stopped early; empty otherwise.
    const std::string& error() const { return error_; }

    std::unique_ptr<laz::Reader> reader;  // absent when the file did not open
    bool ok = false;  // opened, at least one point, records of at least 20 bytes
    std::uint64_t pointCount = 0;

private:
    void settleColour(unsigned threads);
    void toPoint(const std::uint8_t* record, ClPoint& point) const;

    double scaleX_ = 1.0, scaleY_ = 1.0, scaleZ_ = 1.0;
    double offsetX_ = 0.0, offsetY_ = 0.0, offsetZ_ = 0.0;
    std::int32_t pointFormat_ = 0;
    std::int32_t recordLength_ = 0;
    std::int32_t colourOffset_ = -1;  // red channel, -1 without colour
    std::int32_t colourByte_ = 1;     // of each channel: 1 the high byte, 0 in 8-bit colour files
    bool colourSettled_ = false;
    std::int32_t classOffset_ = -1;
    std::vector<std::uint8_t> record_ = std::vector<std::uint8_t>(1);
    std::string error_;
};
