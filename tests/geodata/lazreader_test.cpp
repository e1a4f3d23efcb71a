// LazReader: coordinates, 8-bit colour and the class byte by point format, and the files it
// refuses.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "geodata/LazReader.h"
#include "support/LasBuilder.h"
#include "support/TempDir.h"

namespace {

using fixtures::lasRecord;
using fixtures::LasSpec;

struct LasFile {
    loopback::TempDir dir;
    std::string path = dir.file("t.las");
    LasFile(const LasSpec& spec, const std::vector<std::vector<std::uint8_t>>& recs) {
        fixtures::writeBytes(path, fixtures::buildLas(spec, recs));
    }
};

void put16(std::vector<std::uint8_t>& r, std::size_t at, std::uint16_t v) {
    std::memcpy(&r[at], &v, 2);
}

ClPoint readOne(const LasSpec& spec, const std::vector<std::uint8_t>& rec) {
    LasFile f(spec, {rec});
    LazReader reader(f.path);
    EXPECT_TRUE(reader.ok);
    ClPoint p;
    EXPECT_TRUE(reader.next(p));
    return p;
}

TEST(LazReaderRecords, CoordinatesAreScaledAndOffset) {
    LasSpec spec;
    spec.scale[0] = 0.01;
    spec.scale[1] = 0.001;
    spec.scale[2] = 0.5;
    spec.offset[0] = 500000.0;
    spec.offset[1] = 200000.0;
    spec.offset[2] = -10.0;
    const ClPoint p = readOne(spec, lasRecord(20, 12345, -2000, 30));
    EXPECT_DOUBLE_EQ(p.x, 500000.0 + 123.45);
    EXPECT_DOUBLE_EQ(p.y, 200000.0 - 2.0);
    EXPECT_DOUBLE_EQ(p.z, 5.0);
}

TEST(LazReaderRecords, ColourComesFromTheChannelsHighBytesOrFromTheIntensity) {
    struct Case {
        int format, length;
        std::size_t red;
    };
    for (const Case c : {Case{2, 26, 20}, Case{3, 34, 28}, Case{7, 36, 30}, Case{8, 38, 30}}) {
        LasSpec spec;
        spec.pointFormat = c.format;
        spec.recordLength = c.length;
        auto rec = lasRecord(c.length, 0, 0, 0);
        put16(rec, 12, 0x7700);  // intensity, not used when there is colour
        put16(rec, c.red, 0x1234);
        put16(rec, c.red + 2, 0x5678);
        put16(rec, c.red + 4, 0x9ABC);
        const ClPoint p = readOne(spec, rec);
        EXPECT_EQ(p.r, 0x12) << "format " << c.format;
        EXPECT_EQ(p.g, 0x56) << "format " << c.format;
        EXPECT_EQ(p.b, 0x9A) << "format " << c.format;
    }
    for (const auto& [format, length] : {std::pair{0, 20}, std::pair{1, 28}, std::pair{6, 30}}) {
        LasSpec spec;
        spec.pointFormat = format;
        spec.recordLength = length;
        auto rec = lasRecord(length, 0, 0, 0);
        put16(rec, 12, 0xAB12);
        const ClPoint p = readOne(spec, rec);
        EXPECT_EQ(p.r, 0xAB) << "format " << format;
        EXPECT_EQ(p.g, 0xAB);
        EXPECT_EQ(p.b, 0xAB);
    }
}

TEST(LazReaderRecords, ClassIsTheWholeByteAtTheFormatsOffset) {
    EXPECT_EQ(LazReader::classOffsetFor(0), 15);
    EXPECT_EQ(LazReader::classOffsetFor(5), 15);
    EXPECT_EQ(LazReader::classOffsetFor(6), 16);
    EXPECT_EQ(LazReader::classOffsetFor(10), 16);

    LasSpec f1;
    f1.pointFormat = 1;
    f1.recordLength = 28;
    auto rec = lasRecord(28, 0, 0, 0);
    rec[15] = 0x80 | 2;  // withheld, ground
    EXPECT_EQ(readOne(f1, rec).cls, 130);

    LasSpec f6;
    f6.versionMinor = 4;
    f6.pointFormat = 6;
    f6.recordLength = 30;
    rec = lasRecord(30, 0, 0, 0);
    rec[15] = 0x0F;  // flags byte of the 1.4 formats
    rec[16] = 9;
    EXPECT_EQ(readOne(f6, rec).cls, 9);
}

TEST(LazReaderRecords, ReadingStopsWhereTheDataEnds) {
    LasSpec spec;
    spec.declaredCount = 5;
    LasFile f(spec, {lasRecord(20, 1, 1, 1), lasRecord(20, 2, 2, 2)});
    LazReader reader(f.path);
    ASSERT_TRUE(reader.ok);
    EXPECT_EQ(reader.pointCount, 5u);
    ClPoint p;
    EXPECT_TRUE(reader.next(p));
    EXPECT_TRUE(reader.next(p));
    p.x = 42.0;
    EXPECT_FALSE(reader.next(p));
    EXPECT_EQ(p.x, 42.0) << "a failed read leaves the point alone";
}

TEST(LazReaderRecords, TheLas14CountIsUsedWhenTheLegacyOneIsZero) {
    LasSpec spec;
    spec.versionMinor = 4;
    spec.pointFormat = 6;
    spec.recordLength = 30;
    spec.legacyCountZero = true;
    LasFile f(spec, {lasRecord(30, 1, 1, 1), lasRecord(30, 2, 2, 2), lasRecord(30, 3, 3, 3)});
    LazReader reader(f.path);
    EXPECT_TRUE(reader.ok);
    EXPECT_EQ(reader.pointCount, 3u);
}

TEST(LazReaderRefusals, UnusableFilesAreNotOk) {
    {
        LazReader reader("/nonexistent/folder/sheet.laz");
        EXPECT_FALSE(reader.ok);
        EXPECT_EQ(reader.pointCount, 0u);
        EXPECT_EQ(reader.reader, nullptr);
        ClPoint p;
        EXPECT_FALSE(reader.next(p));
    }
    {
        LasFile empty(LasSpec{}, {});
        LazReader reader(empty.path);
        EXPECT_FALSE(reader.ok);
        EXPECT_EQ(reader.pointCount, 0u);
    }
    {
        LasSpec shortRecords;
        shortRecords.recordLength = 19;
        LasFile f(shortRecords, {lasRecord(19, 0, 0, 0)});
        EXPECT_FALSE(LazReader(f.path).ok);
    }
    {
        loopback::TempDir dir;
        fixtures::writeBytes(dir.file("x.laz"), "not a point file at all");
        EXPECT_FALSE(LazReader(dir.file("x.laz")).ok);
    }
}

TEST(LazReaderSamples, CompressedAndStoredSamplesGiveTheSamePoints) {
    const auto dir = std::filesystem::path(TW_SHARED_TESTDATA) / "laz";
    if (!std::filesystem::is_directory(dir)) {
        GTEST_SKIP() << "shared LAS/LAZ samples not found in " << dir << " - test skipped";
    }
    for (const auto& [z, s] : {std::pair{"autzen_trim.laz", "autzen_trim.las"},
                               std::pair{"point-time.las.laz", "point-time.las"}}) {
        LazReader a((dir / z).string());
        LazReader b((dir / s).string());
        ASSERT_TRUE(a.ok);
        ASSERT_EQ(a.pointCount, b.pointCount);
        ClPoint pa, pb;
        std::uint64_t n = 0;
        while (a.next(pa) && b.next(pb)) {
            ASSERT_EQ(pa.x, pb.x);
            ASSERT_EQ(pa.y, pb.y);
            ASSERT_EQ(pa.z, pb.z);
            ASSERT_EQ(pa.r, pb.r);
            ASSERT_EQ(pa.cls, pb.cls);
            ++n;
        }
        EXPECT_EQ(n, a.pointCount) << z;
    }
}

}  // namespace
