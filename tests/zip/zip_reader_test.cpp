#include "zip/ZipReader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "builders/ZipBuilder.h"
#include "loopback/TempDir.h"

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Text that deflates well but is not one repeated byte.
std::string sampleText(std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; text.size() < size; ++i)
        text += "line " + std::to_string(i) + "\n";
    text.resize(size);
    return text;
}

std::uint32_t crc32(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : data) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}
void put64(std::string& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}

// A one-entry archive in the Zip64 form throughout: 32-bit sizes and offsets all escaped to the
// Zip64 extra field, and the Zip64 end records in front of the classic one.
std::string zip64Archive(const std::string& name, const std::string& data) {
    const std::uint32_t crc = crc32(data);
    std::string out;
    put32(out, 0x04034b50);  // local header
    put16(out, 45);
    put16(out, 0);
    put16(out, 0);  // stored
    put16(out, 0);
    put16(out, 0x21);
    put32(out, crc);
    put32(out, 0xFFFFFFFFu);
    put32(out, 0xFFFFFFFFu);
    put16(out, static_cast<std::uint16_t>(name.size()));
    put16(out, 20);
    out += name;
    put16(out, 0x0001);
    put16(out, 16);
    put64(out, data.size());
    put64(out, data.size());
    out += data;

    const std::uint64_t centralOffset = out.size();
    put32(out, 0x02014b50);  // central directory header
    put16(out, 45);
    put16(out, 45);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0x21);
    put32(out, crc);
    put32(out, 0xFFFFFFFFu);
    put32(out, 0xFFFFFFFFu);
    put16(out, static_cast<std::uint16_t>(name.size()));
    put16(out, 28);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    put32(out, 0);
    put32(out, 0xFFFFFFFFu);
    out += name;
    put16(out, 0x0001);
    put16(out, 24);
    put64(out, data.size());
    put64(out, data.size());
    put64(out, 0);
    const std::uint64_t centralSize = out.size() - centralOffset;

    const std::uint64_t end64Offset = out.size();
    put32(out, 0x06064b50);  // Zip64 end of central directory record
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, 1);
    put64(out, 1);
    put64(out, centralSize);
    put64(out, centralOffset);
    put32(out, 0x07064b50);  // its locator
    put32(out, 0);
    put64(out, end64Offset);
    put32(out, 1);
    put32(out, 0x06054b50);  // classic end record, every field escaped
    put16(out, 0);
    put16(out, 0);
    put16(out, 0xFFFF);
    put16(out, 0xFFFF);
    put32(out, 0xFFFFFFFFu);
    put32(out, 0xFFFFFFFFu);
    put16(out, 0);
    return out;
}

// Rewrites the uncompressed size of the first entry in its local and central headers.
void forgeFirstEntrySize(std::string& bytes, std::uint32_t size) {
    std::string field;
    put32(field, size);
    const std::size_t local = bytes.find("PK\x03\x04");
    const std::size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(local, std::string::npos);
    ASSERT_NE(central, std::string::npos);
    bytes.replace(local + 22, 4, field);
    bytes.replace(central + 24, 4, field);
}

class ZipReaderTest : public ::testing::Test {
protected:
    loopback::TempDir dir;
    const std::string big = sampleText(300000);

    std::string sample() {
        const std::string path = dir.file("sample.zip");
        EXPECT_TRUE(ziptest::writeZip(path, {{"arkusze/", "", true},
                                             {"arkusze/Sheet_A.gml", big},
                                             {"README.txt", "opis paczki", false, true},
                                             {"empty.dat", ""}}));
        return path;
    }

    ZipReader openOk(const std::string& path) {
        std::string error;
        auto zip = ZipReader::open(path, error);
        EXPECT_TRUE(zip.has_value()) << error;
        return std::move(*zip);
    }
};

TEST_F(ZipReaderTest, ListsEntriesWithNamesSizesAndFolders) {
    const ZipReader zip = openOk(sample());
    ASSERT_EQ(zip.entryCount(), 4u);
    const auto list = zip.entries();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "arkusze/");
    EXPECT_TRUE(list[0].isDirectory);
    EXPECT_EQ(list[1].name, "arkusze/Sheet_A.gml");
    EXPECT_FALSE(list[1].isDirectory);
    EXPECT_EQ(list[1].size, big.size());
    EXPECT_LT(list[1].compressedSize, big.size());
    EXPECT_EQ(list[2].compressedSize, list[2].size);  // stored
    EXPECT_EQ(list[3].size, 0u);
    EXPECT_FALSE(zip.entry(4).has_value());
}

TEST_F(ZipReaderTest, FindsNamesExactlyOrIgnoringCase) {
    const ZipReader zip = openOk(sample());
    EXPECT_EQ(zip.find("arkusze/Sheet_A.gml", ZipReader::NameMatch::exact), 1u);
    EXPECT_FALSE(zip.find("ARKUSZE/sheet_a.GML", ZipReader::NameMatch::exact));
    EXPECT_EQ(zip.find("ARKUSZE/sheet_a.GML", ZipReader::NameMatch::ignoreCase), 1u);
    EXPECT_FALSE(zip.find("Sheet_A.gml", ZipReader::NameMatch::ignoreCase));  // folder matters
    EXPECT_FALSE(zip.find(std::string_view("README.txt\0x", 12), ZipReader::NameMatch::exact));
}

TEST_F(ZipReaderTest, ReadsTheHeadOfAnEntry) {
    const ZipReader zip = openOk(sample());
    std::string error;
    EXPECT_EQ(zip.readHead(1, 8192, error), big.substr(0, 8192));
    EXPECT_EQ(zip.readHead(2, 8192, error), "opis paczki");  // shorter than asked
    EXPECT_EQ(zip.readHead(3, 8192, error), "");
    EXPECT_FALSE(zip.readHead(17, 10, error).has_value());
    EXPECT_NE(error.find("Nie mozna rozpakowac wpisu ZIP"), std::string::npos) << error;
}

TEST_F(ZipReaderTest, ExtractsByIndexAndByName) {
    const ZipReader zip = openOk(sample());
    std::string error;
    EXPECT_EQ(zip.extract(1, error), big);
    EXPECT_EQ(zip.extract("readme.TXT", ZipReader::NameMatch::ignoreCase, error), "opis paczki");
    EXPECT_EQ(zip.extract(3, error), "");
    EXPECT_FALSE(zip.extract("readme.TXT", ZipReader::NameMatch::exact, error).has_value());
    EXPECT_EQ(error, "Brak wpisu readme.TXT w archiwum ZIP.");
}

TEST_F(ZipReaderTest, StreamsChunksInOrderAndStopsWhenAsked) {
    const ZipReader zip = openOk(sample());
    std::string error;
    std::string joined;
    int pieces = 0;
    EXPECT_TRUE(zip.stream(
        1,
        [&](std::string_view chunk) {
            EXPECT_LE(chunk.size(), ZipReader::kChunkBytes);
            joined.append(chunk);
            ++pieces;
            return true;
        },
        error));
    EXPECT_EQ(joined, big);
    EXPECT_GT(pieces, 1);

    EXPECT_FALSE(zip.stream(
        1, [](std::string_view) { return false; }, error));
    EXPECT_EQ(error, "");  // stopped by the sink, not a fault
}

TEST_F(ZipReaderTest, ReadsZip64Archives) {
    const std::string path = dir.file("zip64.zip");
    writeBytes(path, zip64Archive("duze/arkusz.gml", "<CityModel/>"));
    const ZipReader zip = openOk(path);
    ASSERT_EQ(zip.entryCount(), 1u);
    const auto e = zip.entry(0);
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->name, "duze/arkusz.gml");
    EXPECT_EQ(e->size, 12u);
    std::string error;
    EXPECT_EQ(zip.extract("duze/arkusz.gml", ZipReader::NameMatch::exact, error), "<CityModel/>")
        << error;
    EXPECT_EQ(zip.readHead(0, 5, error), "<City");
}

// Extraction into memory never trusts the declared size beyond its bound, nor data beyond the
// declared size.
TEST_F(ZipReaderTest, ExtractionIsBounded) {
    const ZipReader zip = openOk(sample());
    std::string error;
    EXPECT_FALSE(zip.extract(1, error, 1000).has_value());
    EXPECT_NE(error.find("jest za duzy do rozpakowania (300000 B, limit 1000 B)"),
              std::string::npos)
        << error;

    const std::string forged = dir.file("forged.zip");
    ASSERT_TRUE(ziptest::writeZip(forged, {{"a.gml", sampleText(5000), false, true}}));
    std::string bytes = readBytes(forged);
    forgeFirstEntrySize(bytes, 0xFFFFFFF0u);
    writeBytes(forged, bytes);
    {
        const ZipReader huge = openOk(forged);
        EXPECT_FALSE(huge.extract(0, error).has_value());
        EXPECT_NE(error.find("za duzy"), std::string::npos) << error;
    }

    forgeFirstEntrySize(bytes, 100);
    writeBytes(forged, bytes);
    const ZipReader small = openOk(forged);
    EXPECT_FALSE(small.extract(0, error).has_value());
    EXPECT_FALSE(error.empty());
}

TEST_F(ZipReaderTest, BadArchivesFailWithAMessage) {
    std::string error;
    EXPECT_FALSE(ZipReader::open(dir.file("missing.zip"), error).has_value());
    EXPECT_NE(error.find("Nie mozna otworzyc archiwum ZIP"), std::string::npos);
    EXPECT_NE(error.find("nie mozna odczytac pliku"), std::string::npos) << error;

    writeBytes(dir.file("text.zip"), "to nie jest zip, tylko tekst");
    EXPECT_FALSE(ZipReader::open(dir.file("text.zip"), error).has_value());
    EXPECT_NE(error.find("plik nie jest archiwum ZIP"), std::string::npos) << error;

    const std::string whole = readBytes(sample());
    writeBytes(dir.file("cut.zip"), whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(ZipReader::open(dir.file("cut.zip"), error).has_value());
    EXPECT_FALSE(error.empty());
}

TEST_F(ZipReaderTest, CorruptCompressedDataIsAFaultNotACrash) {
    std::string bytes = readBytes(sample());
    const std::size_t data = bytes.find("arkusze/Sheet_A.gml") + 19;
    for (std::size_t i = data + 100; i < data + 400; ++i)
        bytes[i] = static_cast<char>(i * 7);
    writeBytes(dir.file("corrupt.zip"), bytes);
    const ZipReader zip = openOk(dir.file("corrupt.zip"));
    std::string error;
    EXPECT_FALSE(zip.extract(1, error).has_value());
    EXPECT_NE(error.find("Blad rozpakowania wpisu ZIP arkusze/Sheet_A.gml"), std::string::npos)
        << error;
    EXPECT_EQ(zip.extract(2, error), "opis paczki");  // other entries still read
}

}  // namespace
