// LazReader: coordinates, 8-bit colour and the class byte by point format, and the files it
// refuses.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "builders/LasBuilder.h"
#include "geodata/LazReader.h"
#include "loopback/TempDir.h"
#include "support/DecodedRecords.h"
#include "support/LazChunks.h"

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

// ---- reading a whole file on several threads ----

const std::filesystem::path kSamples = std::filesystem::path(TW_SHARED_TESTDATA) / "laz";

#define REQUIRE_FILE(path)                                                             \
    if (!std::filesystem::exists(path)) {                                              \
        GTEST_SKIP() << "shared test data not found: " << (path) << " - test skipped"; \
    }

std::vector<ClPoint> readAllPoints(LazReader& reader, unsigned threads, bool* complete = nullptr) {
    std::vector<ClPoint> out;
    const bool whole = reader.readAll(
        [&](std::span<const ClPoint> batch) {
            out.insert(out.end(), batch.begin(), batch.end());
            return true;
        },
        threads);
    if (complete) {
        *complete = whole;
    }
    return out;
}

std::vector<ClPoint> readEachPoint(LazReader& reader) {
    std::vector<ClPoint> out;
    ClPoint p;
    while (reader.next(p)) {
        out.push_back(p);
    }
    return out;
}

fixtures::DecodedPoint decoded(const ClPoint& p) {
    return {p.x, p.y, p.z, p.r, p.g, p.b, p.cls};
}

void expectSamePoints(const std::vector<ClPoint>& a, const std::vector<ClPoint>& b,
                      const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(decoded(a[i]), decoded(b[i])) << what << ", point " << i;
    }
}

// The synthetic files have 12 and 11 chunks (1 to 12,000 points): the points of every thread
// count must be the independent decoders' records, in their order.
TEST(LazReaderAllPoints, AreTheIndependentDecodersRecordsInFileOrder) {
    for (const char* name : {"gen_f7.laz", "gen_f8_var.laz"}) {
        const auto path = fixtures::generatedLazDir() / name;
        REQUIRE_FILE(path);
        const fixtures::DecodedFile expect =
            fixtures::readDecodedRecords(path.string() + ".expect");
        for (const unsigned threads : {1u, 3u, 8u, 0u}) {
            LazReader reader(path.string());
            ASSERT_TRUE(reader.ok) << reader.error();
            bool complete = false;
            const std::vector<ClPoint> points = readAllPoints(reader, threads, &complete);
            EXPECT_TRUE(complete) << reader.error();
            ASSERT_EQ(points.size(), expect.points.size()) << name << ", " << threads;
            for (std::size_t i = 0; i < points.size(); ++i) {
                ASSERT_EQ(decoded(points[i]), expect.points[i])
                    << name << ", " << threads << " threads, point " << i;
            }
        }
    }
}

TEST(LazReaderAllPoints, CompressedSamplesGiveTheirStoredTwinsPoints) {
    for (const auto& [z, s] : {std::pair{"autzen_trim.laz", "autzen_trim.las"},
                               std::pair{"extrabytes.laz", "extrabytes.las"},
                               std::pair{"1_4_w_evlr.laz", "1_4_w_evlr.las"}}) {
        REQUIRE_FILE(kSamples / z);
        LazReader compressed((kSamples / z).string());
        LazReader stored((kSamples / s).string());
        expectSamePoints(readAllPoints(compressed, 4), readEachPoint(stored), z);
        EXPECT_TRUE(compressed.error().empty()) << compressed.error();
    }
}

// Damaged data ends both ways of reading at the same point, with the reason.
TEST(LazReaderAllPoints, StopAtTheSamePointAsNextOnDamagedData) {
    const auto gen = fixtures::generatedLazDir() / "gen_f7.laz";
    REQUIRE_FILE(gen);
    std::string bytes = fixtures::readBytes(gen.string());
    std::uint32_t pointOffset = 0;
    std::memcpy(&pointOffset, &bytes[96], 4);
    // The fourth chunk's first layer cut to 40 bytes. A chunk is found by its point count
    // (5,000) after its 36-byte raw first record.
    const std::string mark = [] {
        std::string m(4, '\0');
        const std::uint32_t n = 5000;
        std::memcpy(m.data(), &n, 4);
        return m;
    }();
    std::size_t chunk = pointOffset + 8;
    for (int i = 0; i < 3; ++i) {
        chunk = bytes.find(mark, chunk + 36 + 4) - 36;
    }
    const std::uint32_t shortLayer = 40;
    std::memcpy(&bytes[chunk + 36 + 4], &shortLayer, 4);
    loopback::TempDir dir;
    fixtures::writeBytes(dir.file("damaged.laz"), bytes);

    LazReader one(dir.file("damaged.laz"));
    const std::vector<ClPoint> each = readEachPoint(one);
    ASSERT_FALSE(one.error().empty());
    ASSERT_GT(each.size(), 15000u);
    ASSERT_LT(each.size(), 20000u);
    for (const unsigned threads : {1u, 4u, 8u}) {
        LazReader all(dir.file("damaged.laz"));
        bool complete = true;
        expectSamePoints(readAllPoints(all, threads, &complete), each,
                         std::to_string(threads) + " threads");
        EXPECT_FALSE(complete);
        EXPECT_EQ(all.error(), one.error());
    }
}

TEST(LazReaderAllPoints, TheSinkCanStopTheReadingOrThrow) {
    const auto gen = fixtures::generatedLazDir() / "gen_f8_var.laz";
    REQUIRE_FILE(gen);
    for (const unsigned threads : {1u, 8u}) {
        LazReader reader(gen.string());
        std::size_t batches = 0;
        std::size_t points = 0;
        const bool whole = reader.readAll(
            [&](std::span<const ClPoint> batch) {
                points += batch.size();
                return ++batches < 3;
            },
            threads);
        EXPECT_FALSE(whole);
        EXPECT_EQ(batches, 3u);
        // Small chunks come together with the next ones, up to 4,096 points or more.
        EXPECT_EQ(points, (1u + 4999u) + (2u + 12000u) + (777u + 3u + 5000u))
            << "the chunks of the first three batches";
        EXPECT_TRUE(reader.error().empty());

        EXPECT_THROW(
            reader.readAll(
                [](std::span<const ClPoint>) -> bool { throw std::runtime_error("out of room"); },
                threads),
            std::runtime_error);
        std::vector<ClPoint> again = readAllPoints(reader, threads);
        EXPECT_EQ(again.size(), 45000u) << "a reader reads again from the first point";
    }
}

TEST(LazReaderAllPoints, StoredFilesAndRefusedFilesToo) {
    LasSpec spec;
    spec.declaredCount = 40000;  // more than the file holds
    std::vector<std::vector<std::uint8_t>> recs;
    for (int i = 0; i < 35000; ++i) {
        recs.push_back(lasRecord(20, i, -i, 7));
    }
    LasFile f(spec, recs);
    LazReader reader(f.path);
    bool complete = true;
    const std::vector<ClPoint> points = readAllPoints(reader, 4, &complete);
    ASSERT_EQ(points.size(), 35000u);
    EXPECT_FALSE(complete);
    EXPECT_NE(reader.error().find("35000 z 40000"), std::string::npos) << reader.error();
    for (std::size_t i = 0; i < points.size(); i += 977) {
        EXPECT_DOUBLE_EQ(points[i].x, 0.01 * static_cast<double>(i));
    }

    LazReader missing("/nonexistent/folder/sheet.laz");
    EXPECT_FALSE(missing.readAll([](std::span<const ClPoint>) { return true; }));
    EXPECT_FALSE(missing.error().empty());
}

// 48 chunks, more than the threads: pieces handed over out of turn must still come in order.
TEST(LazReaderAllPoints, ManyChunksComeInFileOrder) {
    const auto gen = fixtures::generatedLazDir() / "gen_f7.laz";
    REQUIRE_FILE(gen);
    const fixtures::DecodedFile expect = fixtures::readDecodedRecords(gen.string() + ".expect");
    loopback::TempDir dir;
    ASSERT_TRUE(fixtures::writeRepeatedChunks(gen.string(), dir.file("big.laz"), 4));
    for (const unsigned threads : {1u, 8u}) {
        LazReader reader(dir.file("big.laz"));
        ASSERT_TRUE(reader.ok) << reader.error();
        ASSERT_EQ(reader.pointCount, 4 * expect.points.size());
        bool complete = false;
        const std::vector<ClPoint> points = readAllPoints(reader, threads, &complete);
        EXPECT_TRUE(complete) << reader.error();
        ASSERT_EQ(points.size(), reader.pointCount);
        for (std::size_t i = 0; i < points.size(); ++i) {
            ASSERT_EQ(decoded(points[i]), expect.points[i % expect.points.size()])
                << threads << " threads, point " << i;
        }
    }
}

}  // namespace
