// The synthetic LAS 1.4 files (format 7; format 8 with extra bytes and variable chunks; four
// scanner channels, up to 15 returns a pulse) must decode to the records that two independent
// decoders read from them, every one.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "laz/Bytes.h"
#include "laz/Reader.h"
#include "loopback/TempDir.h"
#include "support/DecodedRecords.h"
#include "support/LazChunks.h"

namespace {

using fixtures::DecodedPoint;

DecodedPoint decoded(const laz::Header& h, const std::vector<std::uint8_t>& rec) {
    auto coordinate = [&](int a) {
        return h.offset[a] + h.scale[a] * laz::load<std::int32_t>(rec.data() + 4 * a);
    };
    // Formats 6 to 8: the class byte at 16; formats 7 and 8: red, green and blue from byte 30.
    const bool colour = h.pointFormat == 7 || h.pointFormat == 8;
    return DecodedPoint{
        coordinate(0),        coordinate(1),        coordinate(2), colour ? rec[31] : 0,
        colour ? rec[33] : 0, colour ? rec[35] : 0, rec[16]};
}

class GeneratedRecords : public ::testing::TestWithParam<const char*> {};

// Reads `path` to its end: `times` rounds of the expected records.
void expectRecords(const std::string& path, const fixtures::DecodedFile& expect, int times) {
    laz::Reader reader(path);
    ASSERT_TRUE(reader.ok()) << reader.error();
    ASSERT_EQ(reader.header().pointFormat, expect.format);
    ASSERT_EQ(reader.pointCount(), expect.count * static_cast<std::uint64_t>(times));
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(reader.header().recordLength));
    for (std::size_t i = 0; i < reader.pointCount(); ++i) {
        ASSERT_TRUE(reader.readPoint(rec.data())) << "record " << i << ": " << reader.error();
        ASSERT_EQ(decoded(reader.header(), rec), expect.points[i % expect.points.size()])
            << "record " << i;
    }
    EXPECT_FALSE(reader.readPoint(rec.data()));
    EXPECT_TRUE(reader.error().empty()) << reader.error();
}

#define REQUIRE_FILE(path)                                                          \
    if (!std::filesystem::exists(path)) {                                           \
        GTEST_SKIP() << "synthetic LAZ files not found in " << (path).parent_path() \
                     << " - test skipped";                                          \
    }

TEST_P(GeneratedRecords, EveryRecordMatchesTheIndependentDecoders) {
    const auto path = fixtures::generatedLazDir() / GetParam();
    REQUIRE_FILE(path);
    const fixtures::DecodedFile expect = fixtures::readDecodedRecords(path.string() + ".expect");
    ASSERT_EQ(expect.points.size(), expect.count);
    expectRecords(path.string(), expect, 1);
}

// The chunks again and again, as in a large file: every chunk starts its models afresh, and a
// table of many variable chunks places them.
TEST_P(GeneratedRecords, RepeatedChunksMatchTheIndependentDecodersEveryTime) {
    const auto path = fixtures::generatedLazDir() / GetParam();
    REQUIRE_FILE(path);
    const fixtures::DecodedFile expect = fixtures::readDecodedRecords(path.string() + ".expect");
    const loopback::TempDir dir;
    ASSERT_TRUE(fixtures::writeRepeatedChunks(path.string(), dir.file("big.laz"), 3));
    expectRecords(dir.file("big.laz"), expect, 3);
}

// The core records alone, the colour and extra-byte layers dropped from every chunk: a long file
// of point format 6, as the benchmarks read.
TEST_P(GeneratedRecords, CoreRecordsAloneMatchTheIndependentDecoders) {
    const auto path = fixtures::generatedLazDir() / GetParam();
    REQUIRE_FILE(path);
    const fixtures::DecodedFile expect = fixtures::readDecodedRecords(path.string() + ".expect");
    const loopback::TempDir dir;
    ASSERT_TRUE(fixtures::writeCoreRecordsOnly(path.string(), dir.file("core.laz"), 2));
    laz::Reader reader(dir.file("core.laz"));
    ASSERT_TRUE(reader.ok()) << reader.error();
    ASSERT_EQ(reader.header().pointFormat, 6);
    ASSERT_EQ(reader.header().recordLength, 30);
    ASSERT_EQ(reader.pointCount(), 2 * expect.count);
    std::vector<std::uint8_t> rec(30);
    for (std::size_t i = 0; i < reader.pointCount(); ++i) {
        ASSERT_TRUE(reader.readPoint(rec.data())) << "record " << i << ": " << reader.error();
        DecodedPoint want = expect.points[i % expect.points.size()];
        want.r = want.g = want.b = 0;
        ASSERT_EQ(decoded(reader.header(), rec), want) << "record " << i;
    }
    EXPECT_FALSE(reader.readPoint(rec.data()));
    EXPECT_TRUE(reader.error().empty()) << reader.error();
}

INSTANTIATE_TEST_SUITE_P(Files, GeneratedRecords, ::testing::Values("gen_f7.laz", "gen_f8_var.laz"),
                         [](const auto& info) { return std::string(info.param).substr(0, 6); });

}  // namespace
