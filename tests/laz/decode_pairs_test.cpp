// Every compressed sample must decode to the records of its uncompressed twin, byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "laz/Bytes.h"
#include "laz/Reader.h"
#include "loopback/TempDir.h"
#include "support/LazChunks.h"
#include "support/PointwiseEncoder.h"

namespace {

const std::filesystem::path kDir = std::filesystem::path(TW_SHARED_TESTDATA) / "laz";

#define REQUIRE_SAMPLES()                                                                    \
    if (!std::filesystem::is_directory(kDir)) {                                              \
        GTEST_SKIP() << "shared LAS/LAZ samples not found in " << kDir << " - test skipped"; \
    }

std::vector<std::vector<std::uint8_t>> readAll(laz::Reader& r) {
    std::vector<std::vector<std::uint8_t>> out;
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(r.header().recordLength));
    while (r.readPoint(rec.data())) {
        out.push_back(rec);
    }
    return out;
}

struct Pair {
    const char* laz;
    const char* las;
};

class DecodePairs : public ::testing::TestWithParam<Pair> {};

TEST_P(DecodePairs, CompressedRecordsEqualStoredRecords) {
    REQUIRE_SAMPLES();
    laz::Reader z((kDir / GetParam().laz).string());
    laz::Reader s((kDir / GetParam().las).string());
    ASSERT_TRUE(z.ok()) << z.error();
    ASSERT_TRUE(s.ok()) << s.error();
    ASSERT_TRUE(z.header().laz.has_value());
    EXPECT_EQ(z.header().pointFormat, s.header().pointFormat);
    EXPECT_EQ(z.header().recordLength, s.header().recordLength);
    EXPECT_EQ(z.pointCount(), s.pointCount());
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(z.header().scale[a], s.header().scale[a]);
        EXPECT_EQ(z.header().offset[a], s.header().offset[a]);
    }
    const auto zr = readAll(z);
    const auto sr = readAll(s);
    ASSERT_EQ(zr.size(), s.pointCount());
    ASSERT_EQ(sr.size(), s.pointCount());
    for (std::size_t i = 0; i < zr.size(); ++i) {
        ASSERT_EQ(zr[i], sr[i]) << "first differing record: " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, DecodePairs,
                         ::testing::Values(Pair{"point10-1.0.laz", "point10-1.0.las"},
                                           Pair{"point10.las.laz", "point10.las"},
                                           Pair{"point-time.las.laz", "point-time.las"},
                                           Pair{"point-time-1.4.las.laz", "point-time.las"},
                                           Pair{"1815.laz", "1815.las"},
                                           Pair{"point-color-time.las.laz", "point-color-time.las"},
                                           Pair{"simple.laz", "simple.las"},
                                           Pair{"extrabytes.laz", "extrabytes.las"},
                                           Pair{"autzen_trim.laz", "autzen_trim.las"},
                                           Pair{"1_4_w_evlr.laz", "1_4_w_evlr.las"}),
                         [](const auto& info) {
                             std::string n = info.param.laz;
                             std::replace_if(
                                 n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return n;
                         });

using Xyz = std::tuple<double, double, double>;

std::vector<Xyz> coordinates(laz::Reader& r) {
    std::vector<Xyz> out;
    const auto& h = r.header();
    for (const auto& rec : readAll(r)) {
        auto at = [&](int a) {
            const double v = h.offset[a] + h.scale[a] * laz::load<std::int32_t>(&rec[4 * a]);
            return std::round(v * 1000.0) / 1000.0;
        };
        out.emplace_back(at(0), at(1), at(2));
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(DecodeSamples, VariableChunkLayeredFileHasTheCoordinatesOfItsTwin) {
    REQUIRE_SAMPLES();
    laz::Reader copc((kDir / "simple.copc.laz").string());
    laz::Reader las((kDir / "simple.las").string());
    ASSERT_TRUE(copc.ok()) << copc.error();
    EXPECT_EQ(copc.header().pointFormat, 7);
    EXPECT_EQ(copc.header().laz->chunkSize, laz::LazInfo::kVariableChunks);
    EXPECT_EQ(coordinates(copc), coordinates(las));
}

// Short single-chunk samples of both compressors, their chunk repeated as in a large file:
// every chunk starts its models afresh.
TEST(DecodeSamples, RepeatedChunksDecodeToTheTwinsRecordsEveryTime) {
    REQUIRE_SAMPLES();
    const loopback::TempDir dir;
    for (const Pair& p : {Pair{"1815.laz", "1815.las"}, Pair{"1_4_w_evlr.laz", "1_4_w_evlr.las"}}) {
        SCOPED_TRACE(p.laz);
        const std::string big = dir.file(std::string(p.laz) + ".big.laz");
        ASSERT_TRUE(fixtures::writeRepeatedChunks((kDir / p.laz).string(), big, 5));
        laz::Reader z(big);
        laz::Reader s((kDir / p.las).string());
        ASSERT_TRUE(z.ok()) << z.error();
        EXPECT_EQ(z.chunks().size(), 5u);
        const auto zr = readAll(z);
        const auto sr = readAll(s);
        EXPECT_TRUE(z.error().empty()) << z.error();
        ASSERT_EQ(zr.size(), 5 * sr.size());
        for (std::size_t i = 0; i < zr.size(); ++i) {
            ASSERT_EQ(zr[i], sr[i % sr.size()]) << "first differing record: " << i;
        }
    }
}

// The points of the format 3 sample, without their colour, coded afresh as format 1 in chunks of
// several lengths: what the benchmarks read as long format 1 files.
TEST(DecodeSamples, PointsCodedAsFormat1DecodeToTheTwinsRecords) {
    REQUIRE_SAMPLES();
    laz::Reader s((kDir / "autzen_trim.las").string());
    ASSERT_TRUE(s.ok()) << s.error();
    ASSERT_EQ(s.header().pointFormat, 3);
    std::vector<std::uint8_t> records;
    for (const auto& rec : readAll(s)) {
        records.insert(records.end(), rec.begin(), rec.begin() + 28);
    }
    const loopback::TempDir dir;
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{40000}}) {
        SCOPED_TRACE(chunk);
        const std::string path = dir.file("f1.laz");
        const std::size_t points = chunk == 40000 ? records.size() / 28 : 500;
        const std::vector<std::uint8_t> head(records.begin(),
                                             records.begin() + static_cast<long>(28 * points));
        ASSERT_TRUE(fixtures::writeFormat1Laz(path, head, chunk));
        laz::Reader z(path);
        ASSERT_TRUE(z.ok()) << z.error();
        ASSERT_EQ(z.header().pointFormat, 1);
        const auto zr = readAll(z);
        EXPECT_TRUE(z.error().empty()) << z.error();
        ASSERT_EQ(zr.size(), points);
        for (std::size_t i = 0; i < zr.size(); ++i) {
            ASSERT_TRUE(std::equal(zr[i].begin(), zr[i].end(), head.begin() + 28 * i))
                << "first differing record: " << i;
        }
    }
}

TEST(DecodeSamples, EmptyFileOpensAndYieldsNothing) {
    REQUIRE_SAMPLES();
    for (const char* name : {"no-points-1.3.laz", "no-points-1.3.las"}) {
        laz::Reader r((kDir / name).string());
        ASSERT_TRUE(r.ok()) << name << ": " << r.error();
        EXPECT_EQ(r.pointCount(), 0u);
        std::array<std::uint8_t, 64> rec{};
        EXPECT_FALSE(r.readPoint(rec.data()));
    }
}

}  // namespace
