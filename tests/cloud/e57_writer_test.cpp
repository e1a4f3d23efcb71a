// The E57 writer: the file's layout read back independently (pages and checksums, header, binary
// section, packets, XML), its boundaries, its failures, and every file read by web-e57.

#include "cloud/E57Writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "E57File.h"
#include "FileSizeLimit.h"
#include "WebE57.h"
#include "loopback/TempDir.h"

namespace {

std::vector<ClPoint> pointsOf(std::size_t n, double base = 0.0) {
    std::vector<ClPoint> points;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i);
        points.push_back(ClPoint{
            base + 0.5 * t, base - 0.25 * t, 100.0 + 0.1 * t, static_cast<std::uint8_t>(i % 256),
            static_cast<std::uint8_t>((7 * i) % 256), static_cast<std::uint8_t>(255 - i % 256), 9});
    }
    return points;
}

e57check::Record storedOf(const ClPoint& p) {
    return {
        static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z), p.r, p.g, p.b};
}

class E57Writer : public ::testing::Test {
protected:
    loopback::TempDir dir;
    std::string path = dir.file("chmura.e57");

    // Writes, reads back and checks that the stored records are the points' (as floats).
    void writeAndRead(const std::vector<ClPoint>& points, e57check::File& file) {
        std::string error = "niezmieniony";
        ASSERT_TRUE(cloud::writeE57(path, points, error));
        EXPECT_EQ(error, "niezmieniony") << "the error text stays as it was on success";
        e57check::read(path, file);
        ASSERT_EQ(file.records.size(), points.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            ASSERT_EQ(file.records[i], storedOf(points[i])) << "record " << i;
    }
};

TEST_F(E57Writer, OnePointGivesTheSmallestPacketAndSection) {
    const std::vector<ClPoint> one{{12.25, -3.5, 101.125, 10, 20, 30, 2}};
    e57check::File f;
    writeAndRead(one, f);

    ASSERT_EQ(f.packets.size(), 1u);
    EXPECT_EQ(f.packets[0].lengthMinus1 + 1, 36) << "6 + 12 + 15 bytes and 3 of padding";
    EXPECT_EQ(f.packets[0].bufferLengths, (std::array<std::uint16_t, 6>{4, 4, 4, 1, 1, 1}));
    EXPECT_EQ(f.sectionLength, 68u);
    const std::size_t pages = (48 + 68 + f.xml.size() + 1019) / 1020;
    EXPECT_EQ(f.pages, pages);

    std::string header(48, '\0');
    const auto put = [&](std::size_t at, std::uint64_t v, std::size_t n) {
        std::memcpy(&header[at], &v, n);
    };
    std::memcpy(header.data(), "ASTM-E57", 8);
    put(8, 1, 4);
    put(12, 0, 4);
    put(16, 1024 * pages, 8);
    put(24, 48 + 68, 8);  // within the first page
    put(32, f.xml.size(), 8);
    put(40, 1024, 8);
    EXPECT_EQ(f.bytes.substr(0, 48), header) << "the file header byte for byte";

    const auto scan = f.scan();
    EXPECT_STREQ(scan.child("indexBounds").child_value("rowMaximum"), "0");
    const auto bounds = scan.child("cartesianBounds");
    EXPECT_STREQ(bounds.child_value("xMinimum"), "12.25");
    EXPECT_STREQ(bounds.child_value("xMaximum"), "12.25");
    EXPECT_STREQ(bounds.child_value("zMaximum"), "101.125");
    const auto x = scan.child("points").child("prototype").child("cartesianX");
    EXPECT_STREQ(x.attribute("minimum").value(), "12.25");
    EXPECT_STREQ(x.attribute("maximum").value(), "12.25");
    EXPECT_STREQ(x.child_value(), "12.25") << "the prototype's value is the middle of its bounds";
}

TEST_F(E57Writer, TheXmlSectionDescribesOneColouredScan) {
    e57check::File f;
    writeAndRead(pointsOf(3), f);
    EXPECT_EQ(f.xml.find('\n'), std::string::npos);
    EXPECT_EQ(f.xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><e57Root", 0), 0u);

    const auto root = f.doc.child("e57Root");
    EXPECT_STREQ(root.attribute("xmlns").value(), "http://www.astm.org/COMMIT/E57/2010-e57-v1.0");
    EXPECT_STREQ(root.child_value("formatName"), "ASTM E57 3D Imaging Data File");
    EXPECT_EQ(root.child("formatName").first_child().type(), pugi::node_cdata);
    EXPECT_STREQ(root.child_value("versionMajor"), "1");
    EXPECT_STREQ(root.child_value("e57LibraryVersion"), "tovelmark-e57-0.1");
    EXPECT_STREQ(root.child("data3D").attribute("allowHeterogeneousChildren").value(), "1");
    EXPECT_NE(f.xml.find("<images2D type=\"Vector\" allowHeterogeneousChildren=\"1\"></images2D>"),
              std::string::npos);

    const auto scan = f.scan();
    EXPECT_STREQ(scan.child_value("guid"), "{aaaaaaaa-0000-0000-0000-000000000002}");
    EXPECT_STREQ(scan.child_value("name"), "tovelmark_cloud");
    EXPECT_STREQ(scan.child("indexBounds").child_value("rowMaximum"), "2");
    EXPECT_STREQ(scan.child("colorLimits").child_value("colorBlueMaximum"), "255");
    EXPECT_STREQ(scan.child("pose").child("rotation").child_value("w"), "1");
    const auto points = scan.child("points");
    EXPECT_STREQ(points.attribute("type").value(), "CompressedVector");
    EXPECT_STREQ(points.attribute("fileOffset").value(), "48");
    EXPECT_STREQ(points.attribute("recordCount").value(), "3");
    EXPECT_NE(f.xml.find("<codecs type=\"Vector\" allowHeterogeneousChildren=\"1\"></codecs>"),
              std::string::npos);
    const auto prototype = points.child("prototype");
    const char* names[] = {"cartesianX", "cartesianY", "cartesianZ",
                           "colorRed",   "colorGreen", "colorBlue"};
    std::size_t i = 0;
    for (const auto child : prototype.children())
        EXPECT_STREQ(child.name(), names[i++]) << "the bytestreams' order";
    EXPECT_STREQ(prototype.child("cartesianY").attribute("precision").value(), "single");
    EXPECT_STREQ(prototype.child("colorRed").attribute("maximum").value(), "255");
    EXPECT_STREQ(prototype.child("cartesianY").child_value(), "-0.25");  // (-0.5 + 0) / 2
}

TEST_F(E57Writer, PacketsHoldAtMost1057Records) {
    for (const std::size_t n : {1057u, 1058u, 3 * 1057u + 5}) {
        e57check::File f;
        writeAndRead(pointsOf(n), f);
        ASSERT_EQ(f.packets.size(), (n + 1056) / 1057) << n;
        EXPECT_EQ(f.packets[0].records, std::min<std::size_t>(n, 1057));
        EXPECT_EQ(f.packets.back().records, n % 1057 == 0 ? 1057 : n % 1057);
        EXPECT_EQ(f.packets[0].lengthMinus1 + 1u, n >= 1057 ? 15876u : 0u) << "the largest";
    }
}

TEST_F(E57Writer, TheXmlMayStartRightAfterAChecksum) {
    // 1080 points: 48 + 32 + 15876 (1057 records) + 364 (23 records) = 16 pages of data.
    e57check::File f;
    writeAndRead(pointsOf(1080), f);
    EXPECT_EQ((48 + f.sectionLength) % 1020, 0u);
    EXPECT_EQ(f.xmlPhysicalOffset, 16u * 1024) << "the next page's first data byte";
}

// Points that all lie at one place, so that the XML's length varies only with the place's text.
std::vector<ClPoint> samePoints(std::size_t n, double v) {
    return std::vector<ClPoint>(n, ClPoint{v, v, v, 1, 2, 3, 0});
}

TEST_F(E57Writer, WholePagesAndOneByteMore) {
    // Between 11 and 99 points the XML's length stays the same for one place; the logical
    // stream then grows with the packet alone.
    const auto packet = [](std::size_t n) { return (18 + 15 * n + 3) & ~std::size_t{3}; };
    bool sawWhole = false;
    bool sawOneMore = false;
    for (const double v : {1.0, 1.5, 1.25, 1.125, 1.0625, 1.03125, 1.015625}) {
        e57check::File probe;
        writeAndRead(samePoints(11, v), probe);
        const std::size_t xml = probe.xmlLength;
        for (std::size_t n = 11; n <= 99; ++n) {
            const std::size_t logical = 48 + 32 + packet(n) + xml;
            if (logical % 1020 > 1 || (logical % 1020 == 0 ? sawWhole : sawOneMore))
                continue;
            e57check::File f;
            writeAndRead(samePoints(n, v), f);
            ASSERT_EQ(48 + f.sectionLength + f.xmlLength, logical);
            if (logical % 1020 == 0) {
                sawWhole = true;
                EXPECT_EQ(f.pages, logical / 1020);
            } else {
                sawOneMore = true;
                EXPECT_EQ(f.pages, logical / 1020 + 1);
                EXPECT_EQ(f.logical.size() - (logical - 1), 1020u)
                    << "the last page holds one byte and 1019 zeros";
            }
        }
    }
    EXPECT_TRUE(sawWhole && sawOneMore) << "no such point counts found";
}

TEST_F(E57Writer, BoundsAreThoseOfTheStoredFloats) {
    const std::vector<ClPoint> far{{5432109.123456789, 654321.987654321, -12.3456789, 0, 0, 0, 0},
                                   {5432110.5, 654322.25, 1.1, 0, 0, 0, 0}};
    e57check::File f;
    writeAndRead(far, f);
    const auto bounds = f.scan().child("cartesianBounds");
    EXPECT_EQ(std::stod(bounds.child_value("xMinimum")), double{static_cast<float>(far[0].x)});
    EXPECT_NE(std::stod(bounds.child_value("xMinimum")), far[0].x) << "rounded like the data";
    EXPECT_EQ(std::stod(bounds.child_value("zMinimum")), double{static_cast<float>(far[0].z)});
    EXPECT_EQ(std::stod(bounds.child_value("yMaximum")), double{static_cast<float>(far[1].y)});
}

TEST_F(E57Writer, RefusesWithoutPointsOrWithoutAFile) {
    std::string error;
    EXPECT_FALSE(cloud::writeE57(path, {}, error));
    EXPECT_EQ(error, "Brak punktow do zapisu.");
    EXPECT_FALSE(std::filesystem::exists(path));

    EXPECT_FALSE(cloud::writeE57(dir.path(), pointsOf(2), error)) << "a folder";
    EXPECT_EQ(error, "Nie mozna zapisac pliku e57.");
    EXPECT_FALSE(cloud::writeE57(dir.file("brak/chmura.e57"), pointsOf(2), error));
    EXPECT_EQ(error, "Nie mozna zapisac pliku e57.");
}

TEST_F(E57Writer, AFileThatCannotBeWrittenWholeIsRemovedAndReported) {
    std::string error;
    {
        const FileSizeLimit limit(300 * 1024);
        EXPECT_FALSE(cloud::writeE57(path, pointsOf(40000), error)) << "a short write";
    }
    EXPECT_EQ(error, "Nie udalo sie zapisac calego pliku e57 - sprawdz wolne miejsce.");
    EXPECT_FALSE(std::filesystem::exists(path)) << "no half file is left behind";

    error.clear();
    EXPECT_FALSE(cloud::writeE57("/dev/full", pointsOf(2), error)) << "the data goes at closing";
    EXPECT_EQ(error, "Nie udalo sie zapisac calego pliku e57 - sprawdz wolne miejsce.");
    EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "only a regular file is removed";
}

TEST_F(E57Writer, WebE57ReadsEveryPointWithItsColour) {
    if (const std::string why = webe57::unavailable(); !why.empty())
        GTEST_SKIP() << "web-e57 cannot run: " << why;
    for (const std::size_t n : {1u, 1058u, 2500u}) {
        const std::vector<ClPoint> points = pointsOf(n, 500000.0);
        e57check::File f;
        writeAndRead(points, f);
        const nlohmann::json read = webe57::read(path, true);
        ASSERT_FALSE(read.contains("error")) << read.dump();
        ASSERT_EQ(read.at("count"), n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto& r = read.at("points")[i];
            const e57check::Record stored = storedOf(points[i]);
            ASSERT_EQ(r[0].get<double>(), stored.x) << i;
            ASSERT_EQ(r[1].get<double>(), stored.y) << i;
            ASSERT_EQ(r[2].get<double>(), stored.z) << i;
            ASSERT_EQ(r[3], stored.r) << i;
            ASSERT_EQ(r[4], stored.g) << i;
            ASSERT_EQ(r[5], stored.b) << i;
        }
        const auto bounds = f.scan().child("cartesianBounds");
        EXPECT_EQ(read.at("min")[0].get<double>(), std::stod(bounds.child_value("xMinimum")));
        EXPECT_EQ(read.at("max")[2].get<double>(), std::stod(bounds.child_value("zMaximum")));
    }
}

}  // namespace
