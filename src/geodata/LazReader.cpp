#include "geodata/LazReader.h"

#include <algorithm>
#include <cstring>

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

std::int32_t int32At(const std::vector<std::uint8_t>& rec, std::size_t at) {
    std::int32_t v;
    std::memcpy(&v, rec.data() + at, sizeof v);
    return v;
}

}  // namespace

LazReader::LazReader(const std::string& path) {
    auto r = std::make_unique<laz::Reader>(path);
    if (!r->ok()) {
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
    if (!ok || !reader->readPoint(record_.data())) {
        return false;
    }
    point.x = offsetX_ + scaleX_ * int32At(record_, 0);
    point.y = offsetY_ + scaleY_ * int32At(record_, 4);
    point.z = offsetZ_ + scaleZ_ * int32At(record_, 8);
    if (colourOffset_ >= 0) {
        const auto o = static_cast<std::size_t>(colourOffset_);
        point.r = record_[o + 1];
        point.g = record_[o + 3];
        point.b = record_[o + 5];
    } else {
        point.r = point.g = point.b = record_[13];
    }
    point.cls = classOffset_ >= 0 ? record_[static_cast<std::size_t>(classOffset_)] : 0;
    return true;
}
