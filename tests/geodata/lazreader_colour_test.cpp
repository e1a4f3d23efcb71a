// LazReader's 8-bit colour: the high byte of 16-bit channels, the values as they are in a file
// that keeps 8-bit colour in them, settled over the whole file and the same whichever way it is
// read; checked against an independent reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "builders/LasBuilder.h"
#include "geodata/LazReader.h"
#include "loopback/TempDir.h"
#include "support/NodeScript.h"

namespace {

using Colour = std::array<std::uint16_t, 3>;

// A point format with colour: its record length, where red starts, and the LAS version it needs.
struct Format {
    int format, length, red, versionMinor;
};
constexpr Format kColourFormats[] = {
    {2, 26, 20, 2}, {3, 34, 28, 2}, {7, 36, 30, 4}, {8, 38, 30, 4}};

// A stored file of the format whose point i has colour colours[i]; `declared` points announced.
std::string colourLas(const Format& f, const std::vector<Colour>& colours,
                      std::optional<std::uint64_t> declared = std::nullopt) {
    fixtures::LasSpec spec;
    spec.versionMinor = f.versionMinor;
    spec.pointFormat = f.format;
    spec.recordLength = f.length;
    spec.declaredCount = declared;
    std::vector<std::vector<std::uint8_t>> records;
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const auto k = static_cast<std::int32_t>(i);
        std::vector<std::uint8_t> rec = fixtures::lasRecord(f.length, k, -k, k % 100);
        std::memcpy(&rec[static_cast<std::size_t>(f.red)], colours[i].data(), 6);
        records.push_back(std::move(rec));
    }
    return fixtures::buildLas(spec, records);
}

// 8-bit colour in 16-bit channels, different for neighbouring points.
std::vector<Colour> narrowColours(std::size_t n) {
    std::vector<Colour> colours(n);
    for (std::size_t i = 0; i < n; ++i) {
        colours[i] = {static_cast<std::uint16_t>(i * 7 % 256),
                      static_cast<std::uint16_t>(i * 13 % 256),
                      static_cast<std::uint16_t>(i * 29 % 256)};
    }
    return colours;
}

// The points of the file, read one by one or whole on `threads` threads (0: one by one).
std::vector<ClPoint> readPoints(const std::string& path, unsigned threads) {
    LazReader reader(path);
    EXPECT_TRUE(reader.ok) << reader.error();
    std::vector<ClPoint> points;
    if (threads == 0) {
        for (ClPoint p; reader.next(p);) {
            points.push_back(p);
        }
        return points;
    }
    reader.readAll(
        [&](std::span<const ClPoint> batch) {
            points.insert(points.end(), batch.begin(), batch.end());
            return true;
        },
        threads);
    return points;
}

// 8 bits of a channel by the file's rule: the values as they are when none exceeds 255.
std::uint8_t eightBits(std::uint16_t value, bool wide) {
    return static_cast<std::uint8_t>(wide ? value >> 8 : value);
}

bool anyWide(const std::vector<Colour>& colours) {
    return std::any_of(colours.begin(), colours.end(),
                       [](const Colour& c) { return *std::max_element(c.begin(), c.end()) > 255; });
}

// 40,000 points: three blocks of records, read on up to three threads.
TEST(LazReaderColour, EightBitFilesKeepTheirValuesAndSixteenBitFilesTheirHighBytes) {
    constexpr std::size_t kPoints = 40000;
    struct Case {
        const char* what;
        std::optional<std::size_t> widePoint;  // where one channel holds 0x1234
        std::size_t channel;
        std::optional<std::uint64_t> declared;
        bool wide;
    };
    const Case cases[] = {
        {"8-bit colour", std::nullopt, 0, std::nullopt, false},
        {"16-bit red in the first point", 0, 0, std::nullopt, true},
        {"16-bit blue in the last point, past the first block", kPoints - 1, 2, std::nullopt, true},
        {"16-bit green past the points announced", kPoints - 1, 1, kPoints - 1, false},
    };
    const loopback::TempDir dir;
    for (const Format& f : kColourFormats) {
        for (const Case& c : cases) {
            SCOPED_TRACE("format " + std::to_string(f.format) + ", " + c.what);
            std::vector<Colour> colours = narrowColours(kPoints);
            if (c.widePoint) {
                colours[*c.widePoint][c.channel] = 0x1234;
            }
            const std::string path = dir.file("colour.las");
            fixtures::writeBytes(path, colourLas(f, colours, c.declared));
            for (const unsigned threads : {0u, 1u, 4u, 8u}) {
                const std::vector<ClPoint> points = readPoints(path, threads);
                ASSERT_EQ(points.size(), c.declared.value_or(kPoints)) << threads << " threads";
                for (std::size_t i = 0; i < points.size(); ++i) {
                    const Colour& in = colours[i];
                    ASSERT_EQ((std::array{points[i].r, points[i].g, points[i].b}),
                              (std::array{eightBits(in[0], c.wide), eightBits(in[1], c.wide),
                                          eightBits(in[2], c.wide)}))
                        << threads << " threads, point " << i;
                }
            }
        }
    }
}

// Terrain and roofs take no colour: their reading spends no pass on it and keeps every place and
// class as the full reading has them.
TEST(LazReaderColour, AReadingThatIgnoresColourKeepsPlacesAndClasses) {
    const loopback::TempDir dir;
    const std::string path = dir.file("narrow.las");
    fixtures::writeBytes(path, colourLas(kColourFormats[0], narrowColours(5000)));
    const std::vector<ClPoint> full = readPoints(path, 4);
    LazReader reader(path, LazReader::Colour::Ignored);
    std::vector<ClPoint> bare;
    reader.readAll([&](std::span<const ClPoint> batch) {
        bare.insert(bare.end(), batch.begin(), batch.end());
        return true;
    });
    ASSERT_EQ(bare.size(), full.size());
    for (std::size_t i = 0; i < bare.size(); ++i) {
        ASSERT_EQ(std::tie(bare[i].x, bare[i].y, bare[i].z, bare[i].cls),
                  std::tie(full[i].x, full[i].y, full[i].z, full[i].cls))
            << "point " << i;
    }
}

const std::filesystem::path kSamples = std::filesystem::path(TW_SHARED_TESTDATA);

// Our points of a file against the independent reader's: coordinates and class as they are,
// colour by the rule over the raw 16-bit values it read.
void expectIndependentPoints(const std::string& path, bool colour) {
    SCOPED_TRACE(path);
    const nlohmann::json independent = nodescript::run("tests/geodata/read_las.mjs", {path});
    ASSERT_TRUE(independent.contains("points")) << independent.dump().substr(0, 500);
    std::vector<Colour> raw;
    for (const auto& p : independent["points"]) {
        raw.push_back(
            {p[3].get<std::uint16_t>(), p[4].get<std::uint16_t>(), p[5].get<std::uint16_t>()});
    }
    const bool wide = anyWide(raw);
    const std::vector<ClPoint> ours = readPoints(path, 8);
    ASSERT_EQ(ours.size(), raw.size());
    bool coloured = false;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const auto& p = independent["points"][i];
        ASSERT_EQ((std::array{ours[i].x, ours[i].y, ours[i].z}),
                  (std::array{p[0].get<double>(), p[1].get<double>(), p[2].get<double>()}))
            << "point " << i;
        ASSERT_EQ(ours[i].cls, p[6].get<int>()) << "point " << i;
        if (colour) {
            ASSERT_EQ((std::array{ours[i].r, ours[i].g, ours[i].b}),
                      (std::array{eightBits(raw[i][0], wide), eightBits(raw[i][1], wide),
                                  eightBits(raw[i][2], wide)}))
                << "point " << i;
            coloured = coloured || ours[i].r != 0 || ours[i].g != 0 || ours[i].b != 0;
        }
    }
    EXPECT_EQ(coloured, colour) << "the colour of a coloured file is not all black";
}

TEST(LazReaderColour, SamplesAgreeWithAnIndependentReader) {
    if (const std::string why = nodescript::unavailable("@loaders.gl/las"); !why.empty()) {
        GTEST_SKIP() << why << " - test skipped";
    }
    if (!std::filesystem::is_directory(kSamples / "laz")) {
        GTEST_SKIP() << "shared LAS/LAZ samples not found in " << kSamples << " - test skipped";
    }
    // 8-bit colour in LAS 1.2, compressed and stored; 16-bit colour in LAS 1.4; no colour.
    for (const char* name : {"laz/simple.laz", "laz/simple.las", "laz/autzen_trim.laz",
                             "laz/point-color-time.las.laz", "laz-gen/gen_f7.laz"}) {
        expectIndependentPoints((kSamples / name).string(), true);
    }
    for (const char* name : {"laz/point10.las.laz", "laz/1_4_w_evlr.laz"}) {
        expectIndependentPoints((kSamples / name).string(), false);
    }
}

TEST(LazReaderColour, SyntheticFilesAgreeWithAnIndependentReader) {
    if (const std::string why = nodescript::unavailable("@loaders.gl/las"); !why.empty()) {
        GTEST_SKIP() << why << " - test skipped";
    }
    const loopback::TempDir dir;
    for (const Format& f : kColourFormats) {
        std::vector<Colour> colours = narrowColours(20000);
        const std::string narrow = dir.file("narrow" + std::to_string(f.format) + ".las");
        fixtures::writeBytes(narrow, colourLas(f, colours));
        expectIndependentPoints(narrow, true);
        colours.back()[1] = 256;  // one value of 16 bits, at the very end
        const std::string wide = dir.file("wide" + std::to_string(f.format) + ".las");
        fixtures::writeBytes(wide, colourLas(f, colours));
        expectIndependentPoints(wide, true);
    }
}

// The copy of simple.las in layered compression and small chunks, in another order: the same
// colours, read on any number of threads.
TEST(LazReaderColour, ALayeredCopyOfSmallChunksGivesTheSameColours) {
    const auto copc = kSamples / "laz/simple.copc.laz";
    const auto las = kSamples / "laz/simple.las";
    if (!std::filesystem::exists(copc) || !std::filesystem::exists(las)) {
        GTEST_SKIP() << "shared LAS/LAZ samples not found in " << kSamples << " - test skipped";
    }
    const auto colourSums = [](const std::vector<ClPoint>& points) {
        std::array<long, 3> sum{};
        for (const ClPoint& p : points) {
            sum[0] += p.r;
            sum[1] += p.g;
            sum[2] += p.b;
        }
        return sum;
    };
    const std::array<long, 3> expect = colourSums(readPoints(las.string(), 0));
    EXPECT_GT(expect[0], 1065) << "more than a grey of 1 a point";
    for (const unsigned threads : {0u, 1u, 2u, 8u}) {
        EXPECT_EQ(colourSums(readPoints(copc.string(), threads)), expect) << threads << " threads";
    }
}

}  // namespace
