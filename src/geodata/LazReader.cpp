#include "geodata/LazReader.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "laz/OrderedChunks.h"
#include "laz/Reader.h"

namespace {

constexpr std::int32_t kMinRecord = 20;

// Where the 16-bit red channel starts, by point format; -1 for formats without colour.
std::int32_t colourOffsetFor(std::int32_t pointFormat) {
    switch (pointFormat) {
        case 2:
            return 20;
        case 3:
        case 5:
            return 28;
        case 7:
        case 8:
            return 30;
        default:
            return -1;
    }
}

std::int32_t int32At(const std::uint8_t* rec, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, rec + at, sizeof v);
    return v;
}

// True when a colour channel of one of the records holds a value above 255.
bool anyWideColour(std::span<const std::uint8_t> records, std::size_t length, std::size_t red) {
    for (std::size_t at = red; at < records.size(); at += length) {
        if ((records[at + 1] | records[at + 3] | records[at + 5]) != 0) {
            return true;
        }
    }
    return false;
}

// Records of the file's first chunk looked at before the whole file is.
constexpr std::size_t kColourSample = 256;

// Whether a colour channel of the file holds a value above 255. The first records are looked at
// on this thread; only when they hold none and are not all of the file is the whole file read,
// on `threads` threads, up to the first such value. Damaged data ends the look where it ends the
// reading.
bool wideColour(const laz::Reader& reader, std::size_t red, unsigned threads) {
    const auto length = static_cast<std::size_t>(reader.header().recordLength);
    if (reader.chunks().empty()) {
        return false;
    }
    laz::ChunkCursor first(reader);
    std::vector<std::uint8_t> sample(kColourSample * length);
    const std::size_t sampled = first.open(0) ? first.read(sample.data(), kColourSample) : 0;
    if (anyWideColour({sample.data(), sampled * length}, length, red)) {
        return true;
    }
    if (sampled == reader.pointCount()) {
        return false;
    }
    std::vector<char> wide(laz::slotCount(threads), 0);
    bool found = false;
    laz::readChunksInOrder(reader, threads,
                           {[&](std::span<const std::uint8_t> records, std::size_t slot) {
                                wide[slot] = anyWideColour(records, length, red);
                            },
                            [&](std::size_t slot) {
                                found = wide[slot] != 0;
                                return !found;
                            }});
    return found;
}

}  // namespace

LazReader::LazReader(const std::string& path, Colour colour)
    : colourSettled_(colour == Colour::Ignored) {
    auto r = std::make_unique<laz::Reader>(path);
    if (!r->ok()) {
        error_ = r->error();
        return;
    }
    const laz::Header& h = r->header();
    pointCount = r->pointCount();
    scaleX_ = h.scale[0];
    scaleY_ = h.scale[1];
    scaleZ_ = h.scale[2];
    offsetX_ = h.offset[0];
    offsetY_ = h.offset[1];
    offsetZ_ = h.offset[2];
    pointFormat_ = h.pointFormat;
    recordLength_ = h.recordLength;
    colourOffset_ = colourOffsetFor(pointFormat_);
    if (colourOffset_ >= 0 && colourOffset_ + 6 > recordLength_) {
        colourOffset_ = -1;
    }
    classOffset_ = classOffsetFor(pointFormat_);
    if (classOffset_ >= recordLength_) {
        classOffset_ = -1;
    }
    record_.resize(static_cast<std::size_t>(std::max(recordLength_, 1)));
    reader = std::move(r);
    ok = recordLength_ >= kMinRecord && pointCount > 0;
}

LazReader::~LazReader() = default;
LazReader::LazReader(LazReader&&) noexcept = default;
LazReader& LazReader::operator=(LazReader&&) noexcept = default;

bool LazReader::next(ClPoint& point) {
    // A short record has no intensity byte to fall back on: such a file is never read.
    if (!ok) {
        return false;
    }
    settleColour(1);
    if (!reader->readPoint(record_.data())) {
        error_ = reader->error();
        return false;
    }
    toPoint(record_.data(), point);
    return true;
}

bool LazReader::readAll(const Sink& sink, unsigned threads) {
    if (!ok) {
        return false;
    }
    if (threads == 0) {
        threads = std::max(std::thread::hardware_concurrency(), 1u);
    }
    settleColour(threads);
    const auto length = static_cast<std::size_t>(recordLength_);
    std::vector<std::vector<ClPoint>> batches(laz::slotCount(threads));
    bool stopped = false;
    const laz::PieceHandlers handlers{[&](std::span<const std::uint8_t> records, std::size_t slot) {
                                          std::vector<ClPoint>& batch = batches[slot];
                                          batch.resize(records.size() / length);
                                          for (std::size_t i = 0; i < batch.size(); ++i) {
                                              toPoint(records.data() + i * length, batch[i]);
                                          }
                                      },
                                      [&](std::size_t slot) {
                                          stopped = !sink(batches[slot]);
                                          return !stopped;
                                      }};
    error_ = laz::readChunksInOrder(*reader, threads, handlers);
    return error_.empty() && !stopped;
}

void LazReader::settleColour(unsigned threads) {
    if (colourSettled_ || colourOffset_ < 0) {
        return;
    }
    colourByte_ = wideColour(*reader, static_cast<std::size_t>(colourOffset_), threads) ? 1 : 0;
    colourSettled_ = true;
}

void LazReader::toPoint(const std::uint8_t* record, ClPoint& point) const {
    point.x = offsetX_ + scaleX_ * int32At(record, 0);
    point.y = offsetY_ + scaleY_ * int32At(record, 4);
    point.z = offsetZ_ + scaleZ_ * int32At(record, 8);
    if (colourOffset_ >= 0) {
        const auto o = static_cast<std::size_t>(colourOffset_ + colourByte_);
        point.r = record[o];
        point.g = record[o + 2];
        point.b = record[o + 4];
    } else {
        point.r = point.g = point.b = record[13];
    }
    point.cls = classOffset_ >= 0 ? record[static_cast<std::size_t>(classOffset_)] : 0;
}
