// The reading of a whole file on several threads: how chunks are grouped into runs, and that
// runs of small and large chunks, damaged or not, come out as the sequential reading gives them.

#include "laz/OrderedChunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "loopback/TempDir.h"
#include "support/LazChunks.h"
#include "support/PointwiseEncoder.h"

namespace {

constexpr std::size_t kLength = 28;  // a record of point format 1

std::vector<laz::Chunk> chunksOf(const std::vector<std::uint64_t>& points) {
    std::vector<laz::Chunk> chunks;
    for (const std::uint64_t n : points) {
        chunks.push_back({0, 0, n, 0});
    }
    return chunks;
}

TEST(OrderedChunksRuns, SmallChunksGoTogetherUntilARunHoldsEnoughRecords) {
    struct Case {
        const char* what;
        std::vector<std::uint64_t> points;
        // firstChunk, endChunk, records, firstPiece of every run, the closing one included
        std::vector<std::vector<std::uint64_t>> runs;
    };
    const Case cases[] = {
        {"no chunk", {}, {{0, 0, 0, 0}}},
        {"65 chunks of 16: one run, however short",
         std::vector<std::uint64_t>(65, 16),
         {{0, 65, 1040, 0}, {65, 65, 0, 1}}},
        {"chunks of 1 to 12,000 points",
         {1, 4999, 2, 12000, 777, 3, 5000, 9000, 1, 4096, 9121},
         {{0, 2, 5000, 0},
          {2, 4, 12002, 1},
          {4, 7, 5780, 2},
          {7, 8, 9000, 3},
          {8, 10, 4097, 4},
          {10, 11, 9121, 5},
          {11, 11, 0, 6}}},
        {"a run larger than a piece", {4095, 20000}, {{0, 2, 24095, 0}, {2, 2, 0, 2}}},
        {"large chunks: runs of their own, in pieces",
         {50000, 50000, 10000},
         {{0, 1, 50000, 0}, {1, 2, 50000, 4}, {2, 3, 10000, 8}, {3, 3, 0, 9}}},
        {"empty chunks", {0, 0, 5000, 0}, {{0, 3, 5000, 0}, {3, 4, 0, 1}, {4, 4, 0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<std::uint64_t>> runs;
        for (const laz::Run& r : laz::runsOf(chunksOf(c.points))) {
            runs.push_back({r.firstChunk, r.endChunk, r.records, r.firstPiece});
        }
        EXPECT_EQ(runs, c.runs);
    }
}

// Format 1 records of varied points: coordinates, intensity, returns, class and rising time.
std::vector<std::uint8_t> format1Records(std::size_t count) {
    std::vector<std::uint8_t> out(count * kLength);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* rec = out.data() + i * kLength;
        const auto k = static_cast<std::int32_t>(i);
        const std::int32_t xyz[3] = {100000 + (k * 37) % 5000, 200000 + (k * 53) % 7000,
                                     300 + (k * 11) % 900};
        std::memcpy(rec, xyz, sizeof xyz);
        const auto intensity = static_cast<std::uint16_t>(k * 131);
        std::memcpy(rec + 12, &intensity, 2);
        const int returns = 1 + k % 3;
        rec[14] = static_cast<std::uint8_t>((1 + k % returns) | returns << 3);
        rec[15] = static_cast<std::uint8_t>(1 + k % 5);
        rec[16] = static_cast<std::uint8_t>(k % 30);
        const double time = 1000.0 + 0.001 * k;
        std::memcpy(rec + 20, &time, 8);
    }
    return out;
}

struct Reading {
    std::vector<std::uint8_t> records;
    std::string error;
    std::size_t largestPiece = 0;  // records
};

Reading readOrdered(const laz::Reader& reader, unsigned threads) {
    std::vector<std::vector<std::uint8_t>> slots(laz::slotCount(threads));
    Reading out;
    out.error = laz::readChunksInOrder(
        reader, threads,
        {[&](std::span<const std::uint8_t> records, std::size_t slot) {
             slots[slot].assign(records.begin(), records.end());
         },
         [&](std::size_t slot) {
             out.records.insert(out.records.end(), slots[slot].begin(), slots[slot].end());
             out.largestPiece = std::max(out.largestPiece, slots[slot].size() / kLength);
             return true;
         }});
    return out;
}

Reading readSequential(const std::string& path) {
    laz::Reader reader(path);
    Reading out;
    std::vector<std::uint8_t> rec(kLength);
    while (reader.readPoint(rec.data())) {
        out.records.insert(out.records.end(), rec.begin(), rec.end());
    }
    out.error = reader.error();
    return out;
}

void expectSameReading(const std::string& path) {
    const Reading sequential = readSequential(path);
    const laz::Reader reader(path);
    for (const unsigned threads : {1u, 2u, 3u, 8u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const Reading ordered = readOrdered(reader, threads);
        EXPECT_EQ(ordered.error, sequential.error);
        ASSERT_EQ(ordered.records.size(), sequential.records.size());
        EXPECT_TRUE(ordered.records == sequential.records);
        EXPECT_LE(ordered.largestPiece, laz::kPieceRecords);
    }
}

// Small chunks between large ones: runs of several chunks, cut into pieces across chunks. Read
// whole, then with the first chunk (which opens a run of three) or the sixth (which closes one)
// cut to its raw first record and a few coded bytes.
TEST(OrderedChunksReading, RunsComeInFileOrderAndStopWhereTheSequentialReadingStops) {
    const std::vector<std::size_t> sizes = {100, 3, 20000, 1, 1, 5000, 4095, 4096, 17000, 16, 2};
    const std::vector<std::uint8_t> records =
        format1Records(std::reduce(sizes.begin(), sizes.end()));
    const loopback::TempDir dir;
    const std::string whole = dir.file("whole.laz");
    ASSERT_TRUE(fixtures::writeFormat1Laz(whole, records, sizes));
    const Reading sequential = readSequential(whole);
    ASSERT_TRUE(sequential.error.empty() && sequential.records == records) << sequential.error;
    expectSameReading(whole);

    const laz::Reader reader(whole);
    std::string head;
    std::vector<fixtures::LazChunk> chunks;
    ASSERT_TRUE(fixtures::readChunks(reader, fixtures::readBytes(whole), head, chunks));
    for (const std::size_t damaged : {std::size_t{0}, std::size_t{5}}) {
        SCOPED_TRACE("chunk " + std::to_string(damaged + 1) + " damaged");
        std::vector<fixtures::LazChunk> cut = chunks;
        cut[damaged].bytes.resize(kLength + 12);
        const std::string path = dir.file("damaged.laz");
        ASSERT_TRUE(fixtures::writeChunkedLaz(path, head, 2, cut, 1));
        ASSERT_FALSE(readSequential(path).error.empty());
        expectSameReading(path);
    }
}

}  // namespace
