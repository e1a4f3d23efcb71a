// Damaged and unsupported files: every one either fails to open with a message or stops
// reading early; none crashes or allocates without bound.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "builders/LasBuilder.h"
#include "laz/Reader.h"
#include "loopback/TempDir.h"

namespace {

using fixtures::LasSpec;

const std::filesystem::path kDir = std::filesystem::path(TW_SHARED_TESTDATA) / "laz";

struct Outcome {
    bool ok = false;
    std::string error;
    std::uint64_t read = 0;
};

Outcome readBytes(const std::string& bytes) {
    loopback::TempDir dir;
    const std::string path = dir.file("f.laz");
    fixtures::writeBytes(path, bytes);
    laz::Reader r(path);
    Outcome o{r.ok(), {}, 0};
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(std::max(r.header().recordLength, 1)));
    while (r.readPoint(rec.data())) {
        ++o.read;
    }
    o.error = r.error();
    return o;
}

std::string sample(const char* name) {
    return fixtures::readBytes((kDir / name).string());
}

template <typename T>
void patch(std::string& bytes, std::size_t at, T v) {
    std::memcpy(&bytes[at], &v, sizeof v);
}

#define REQUIRE_SAMPLES()                                                                    \
    if (!std::filesystem::is_directory(kDir)) {                                              \
        GTEST_SKIP() << "shared LAS/LAZ samples not found in " << kDir << " - test skipped"; \
    }

TEST(BadHeaders, AreRefusedWithAMessage) {
    EXPECT_FALSE(readBytes("").ok);
    EXPECT_FALSE(readBytes("LASF").ok);
    EXPECT_FALSE(readBytes(std::string(400, 'x')).ok);

    const std::string good = fixtures::buildLas(LasSpec{}, {fixtures::lasRecord(20, 1, 2, 3)});
    ASSERT_TRUE(readBytes(good).ok);

    std::string smallHeader = good;
    patch<std::uint16_t>(smallHeader, 94, 100);
    EXPECT_FALSE(readBytes(smallHeader).ok);

    std::string pointsPastTheEnd = good;
    patch<std::uint32_t>(pointsPastTheEnd, 96, 1u << 30);
    EXPECT_FALSE(readBytes(pointsPastTheEnd).ok);

    std::string zeroLength = good;
    patch<std::uint16_t>(zeroLength, 105, 0);
    const Outcome z = readBytes(zeroLength);
    EXPECT_FALSE(z.ok);
    EXPECT_FALSE(z.error.empty());

    std::string format11 = good;
    format11[104] = 11;
    EXPECT_NE(readBytes(format11).error.find("11"), std::string::npos);
}

TEST(BadHeaders, WaveformAndUnknownCompressionAreRefused) {
    for (int format : {4, 5, 9, 10}) {
        LasSpec spec;
        spec.versionMinor = 4;
        spec.pointFormat = format;
        spec.recordLength = 80;
        spec.compressed = true;
        spec.lazRecord = fixtures::lazRecordPayload(2, 50000, {{6, 20, 2}, {7, 8, 2}, {0, 52, 2}});
        const Outcome o = readBytes(fixtures::buildLas(spec, {}));
        EXPECT_FALSE(o.ok) << format;
        EXPECT_NE(o.error.find("format punktow " + std::to_string(format)), std::string::npos)
            << o.error;
    }
    LasSpec spec;
    spec.compressed = true;
    const Outcome noRecord = readBytes(fixtures::buildLas(spec, {}));
    EXPECT_FALSE(noRecord.ok);

    spec.lazRecord = fixtures::lazRecordPayload(2, 50000, {{6, 20, 9}});
    EXPECT_NE(readBytes(fixtures::buildLas(spec, {})).error.find("wersja 9"), std::string::npos);

    spec.lazRecord = fixtures::lazRecordPayload(7, 50000, {{6, 20, 2}});
    EXPECT_FALSE(readBytes(fixtures::buildLas(spec, {})).ok);

    spec.lazRecord = fixtures::lazRecordPayload(2, 50000, {{6, 20, 2}, {7, 8, 2}});
    EXPECT_FALSE(readBytes(fixtures::buildLas(spec, {})).ok) << "items longer than the record";
}

TEST(BadData, GarbageAfterTheHeaderEndsTheReadingQuietly) {
    LasSpec spec;
    spec.compressed = true;
    spec.declaredCount = 1000000;
    spec.lazRecord = fixtures::lazRecordPayload(2, 50000, {{6, 20, 2}});
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::string bytes = fixtures::buildLas(spec, {});
        const std::size_t start = bytes.size();
        bytes.resize(start + 64 + static_cast<std::size_t>(rng() % 4000));
        for (std::size_t i = start; i < bytes.size(); ++i) {
            bytes[i] = static_cast<char>(rng());
        }
        if (round % 2 == 0) {  // a plausible table offset into the garbage
            patch<std::int64_t>(bytes, start, static_cast<std::int64_t>(bytes.size() - 40));
        }
        const Outcome o = readBytes(bytes);
        EXPECT_LE(o.read, 1000000u);
    }
}

TEST(BadData, TruncatedSamplesOpenOrStopButNeverCrash) {
    REQUIRE_SAMPLES();
    for (const char* name : {"autzen_trim.laz", "1_4_w_evlr.laz", "simple.copc.laz"}) {
        const std::string whole = sample(name);
        for (const double share : {0.01, 0.05, 0.2, 0.5, 0.9, 0.99}) {
            const auto cut = static_cast<std::size_t>(static_cast<double>(whole.size()) * share);
            const Outcome o = readBytes(whole.substr(0, cut));
            EXPECT_TRUE(!o.ok || o.read < 110000u) << name << " cut at " << cut;
        }
    }
}

TEST(BadData, APointCountLargerThanTheDataStopsAtTheData) {
    REQUIRE_SAMPLES();
    std::string bytes = sample("autzen_trim.laz");
    patch<std::uint32_t>(bytes, 107, 200000);
    const Outcome o = readBytes(bytes);
    ASSERT_TRUE(o.ok) << o.error;
    EXPECT_GE(o.read, 110000u);
    EXPECT_LT(o.read, 110100u) << "at most a few records past the real data";

    std::string stored = sample("autzen_trim.las");
    patch<std::uint32_t>(stored, 107, 200000);
    EXPECT_EQ(readBytes(stored).read, 110000u);
}

// A reading that stops before the announced count must say why, or a caller takes the part it
// got for the whole file.
TEST(BadData, DataEndingBeforeTheAnnouncedCountIsReported) {
    REQUIRE_SAMPLES();
    struct Case {
        const char* name;
        std::string bytes;
        std::uint64_t announced;
    };
    std::vector<Case> cases;

    std::string longerCount = sample("autzen_trim.laz");
    patch<std::uint32_t>(longerCount, 107, 200000);
    cases.push_back({"compressed, count past the data", longerCount, 200000});

    std::string storedCount = sample("autzen_trim.las");
    patch<std::uint32_t>(storedCount, 107, 200000);
    cases.push_back({"stored, count past the data", storedCount, 200000});

    const std::string whole = sample("autzen_trim.laz");
    std::uint32_t pointOffset = 0;
    std::memcpy(&pointOffset, &whole[96], 4);
    std::string scrambled = whole;
    for (std::size_t i = pointOffset + 2000; i < pointOffset + 3000; ++i) {
        scrambled[i] = static_cast<char>(scrambled[i] * 7 + 3);
    }
    cases.push_back({"point-wise chunk damaged", scrambled, 110000});

    std::string layered = sample("1_4_w_evlr.laz");
    std::uint32_t layeredPoints = 0;
    std::memcpy(&layeredPoints, &layered[96], 4);
    patch<std::uint32_t>(layered, layeredPoints + 8 + 30 + 4, 0);
    cases.push_back({"layered chunk without its first layer", layered, 1000});

    // The first chunk's first layer announced as 50 bytes: its decoder runs dry a few records in.
    std::string shortLayer = fixtures::readBytes((kDir / "../laz-gen/gen_f7.laz").string());
    if (!shortLayer.empty()) {
        std::uint32_t at = 0;
        std::memcpy(&at, &shortLayer[96], 4);
        patch<std::uint32_t>(shortLayer, at + 8 + 36 + 4, 50);
        cases.push_back({"layered chunk whose first layer runs out", shortLayer, 60000});
    }

    for (const Case& c : cases) {
        const Outcome o = readBytes(c.bytes);
        ASSERT_TRUE(o.ok) << c.name << ": " << o.error;
        EXPECT_LT(o.read, c.announced) << c.name;
        EXPECT_FALSE(o.error.empty()) << c.name << ": stopped after " << o.read << " silently";
        const bool damaged = o.error.find("bloku") != std::string::npos;
        const std::string where = damaged ? "punkt " + std::to_string(o.read + 1) + " z "
                                          : "po " + std::to_string(o.read) + " z ";
        EXPECT_NE(o.error.find(where + std::to_string(c.announced)), std::string::npos)
            << c.name << ": " << o.error << " (" << o.read << " read)";
    }
    for (const char* name : {"autzen_trim.laz", "autzen_trim.las", "1_4_w_evlr.laz"}) {
        const Outcome o = readBytes(sample(name));
        EXPECT_TRUE(o.error.empty()) << name << ": " << o.error;
    }
}

TEST(BadData, DamagedChunkTablesAreRefused) {
    REQUIRE_SAMPLES();
    const std::string whole = sample("autzen_trim.laz");
    std::int64_t tableAt = 0;
    std::uint32_t pointOffset = 0;
    std::memcpy(&pointOffset, &whole[96], 4);
    std::memcpy(&tableAt, &whole[pointOffset], 8);

    std::string pastEnd = whole;
    patch<std::int64_t>(pastEnd, pointOffset, static_cast<std::int64_t>(whole.size()) + 100);
    EXPECT_FALSE(readBytes(pastEnd).ok);

    std::string badVersion = whole;
    patch<std::uint32_t>(badVersion, static_cast<std::size_t>(tableAt), 7);
    EXPECT_FALSE(readBytes(badVersion).ok);

    std::string hugeCount = whole;
    patch<std::uint32_t>(hugeCount, static_cast<std::size_t>(tableAt) + 4, 0xFFFFFFF0u);
    EXPECT_FALSE(readBytes(hugeCount).ok);

    std::string scrambled = whole;
    for (std::size_t i = static_cast<std::size_t>(tableAt) + 8; i < scrambled.size(); ++i) {
        scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
    }
    const Outcome s = readBytes(scrambled);
    EXPECT_TRUE(!s.ok || s.read <= 110000u);

    // The layered chunk of a format-6 file with its first layer announced empty.
    std::string layered = sample("1_4_w_evlr.laz");
    std::uint32_t layeredPoints = 0;
    std::memcpy(&layeredPoints, &layered[96], 4);
    patch<std::uint32_t>(layered, layeredPoints + 8 + 30 + 4, 0);
    const Outcome l = readBytes(layered);
    EXPECT_TRUE(l.ok);
    EXPECT_LT(l.read, 1000u);

    std::string scrambledChunk = whole;
    for (std::size_t i = pointOffset + 2000; i < pointOffset + 3000; ++i) {
        scrambledChunk[i] = static_cast<char>(scrambledChunk[i] * 7 + 3);
    }
    const Outcome c = readBytes(scrambledChunk);
    EXPECT_TRUE(c.ok);
    EXPECT_LE(c.read, 110000u);
}

TEST(BadData, ForeignStreamsDecodedWithVersionOneItemsStayHarmless) {
    REQUIRE_SAMPLES();
    // The version-2 stream of a sample read as version 1: garbage records, but no harm.
    for (const char* name : {"simple.laz", "extrabytes.laz"}) {
        std::string bytes = sample(name);
        const auto vlr = bytes.find("laszip encoded");
        ASSERT_NE(vlr, std::string::npos);
        const std::size_t payload = vlr - 2 + 54;
        std::uint16_t items = 0;
        std::memcpy(&items, &bytes[payload + 32], 2);
        for (std::size_t i = 0; i < items; ++i) {
            patch<std::uint16_t>(bytes, payload + 34 + 6 * i + 4, 1);
        }
        const Outcome o = readBytes(bytes);
        EXPECT_TRUE(o.ok) << o.error;
        EXPECT_LE(o.read, 1065u);
    }
}

}  // namespace
