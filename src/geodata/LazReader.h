#pragma once
// Reads a LAS or LAZ file point by point into ClPoint records: coordinates scaled and offset,
// colour reduced to 8 bits a channel (a grey from the intensity when the format has no colour),
// and the whole classification byte. Never throws; a file that cannot be read leaves `ok` false.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"

namespace laz {
class Reader;
}

class LazReader {
public:
    explicit LazReader(const std::string& path);
    ~LazReader();
    LazReader(LazReader&&) noexcept;
    LazReader& operator=(LazReader&&) noexcept;

    // Byte offset of the classification in a record of the format.
    static int classOffsetFor(int pointFormat) { return pointFormat < 6 ? 15 : 16; }

    // The next record; false (the point untouched) when none could be read.
    bool next(ClPoint& point);

    std::unique_ptr<laz::Reader> reader;  // absent when the file did not open
    bool ok = false;  // opened, at least one point, records of at least 20 bytes
    std::uint64_t pointCount = 0;

private:
    double scaleX_ = 1.0, scaleY_ = 1.0, scaleZ_ = 1.0;
    double offsetX_ = 0.0, offsetY_ = 0.0, offsetZ_ = 0.0;
    std::int32_t pointFormat_ = 0;
    std::int32_t recordLength_ = 0;
    std::int32_t colourOffset_ = -1;  // red channel, -1 without colour
    std::int32_t classOffset_ = -1;
    std::vector<std::uint8_t> record_ = std::vector<std::uint8_t>(1);
};
