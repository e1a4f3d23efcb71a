#pragma once
// Reading back the E57 files the writer makes, independently of it: every page's checksum
// (computed bit by bit, not from a table), the file header, the binary section with its data
// packets and the XML section. Header-only; each failed check fails the test.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "builders/LasBuilder.h"

namespace e57check {

// CRC-32C, reflected polynomial 0x82F63B78, one bit at a time.
inline std::uint32_t crc32c(const char* data, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= static_cast<std::uint8_t>(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            c = (c >> 1) ^ ((c & 1U) != 0 ? 0x82F63B78U : 0U);
    }
    return ~c;
}

template <class T>
T at(const std::string& bytes, std::size_t offset) {
    T v{};
    if (offset + sizeof v <= bytes.size())
        std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

struct Packet {
    std::uint16_t lengthMinus1 = 0;
    std::array<std::uint16_t, 6> bufferLengths{};
    std::size_t records = 0;
};

// One record as stored: single-precision coordinates and colour.
struct Record {
    float x = 0, y = 0, z = 0;
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Record&, const Record&) = default;
};

struct File {
    std::string bytes;    // as on disk
    std::string logical;  // the data bytes of all pages
    std::size_t pages = 0;
    std::uint64_t physicalLength = 0, xmlPhysicalOffset = 0, xmlLength = 0, pageSize = 0;
    std::uint64_t sectionLength = 0, dataOffset = 0, indexOffset = 0;
    std::vector<Packet> packets;
    std::vector<Record> records;
    std::string xml;
    pugi::xml_document doc;

    pugi::xml_node scan() const {
        return doc.child("e57Root").child("data3D").child("vectorChild");
    }
};

inline std::uint64_t physical(std::uint64_t logical) {
    return logical + 4 * (logical / 1020);
}

inline void readPackets(File& f) {
    std::size_t pos = 48 + 32;
    const std::size_t end = 48 + f.sectionLength;
    while (pos < end) {
        ASSERT_EQ(f.logical[pos], 1) << "data packet at " << pos;
        Packet p;
        p.lengthMinus1 = at<std::uint16_t>(f.logical, pos + 2);
        ASSERT_EQ(at<std::uint16_t>(f.logical, pos + 4), 6u);
        for (std::size_t s = 0; s < 6; ++s)
            p.bufferLengths[s] = at<std::uint16_t>(f.logical, pos + 6 + 2 * s);
        p.records = p.bufferLengths[3];
        std::size_t buffer = pos + 18;
        std::vector<Record> run(p.records);
        for (std::size_t s = 0; s < 6; ++s) {
            for (std::size_t i = 0; i < p.records; ++i) {
                if (s < 3) {
                    float v = at<float>(f.logical, buffer + 4 * i);
                    (s == 0 ? run[i].x : s == 1 ? run[i].y : run[i].z) = v;
                } else {
                    const auto c = static_cast<std::uint8_t>(f.logical[buffer + i]);
                    (s == 3 ? run[i].r : s == 4 ? run[i].g : run[i].b) = c;
                }
            }
            buffer += p.bufferLengths[s];
        }
        for (; buffer < pos + p.lengthMinus1 + 1u; ++buffer)
            EXPECT_EQ(f.logical[buffer], 0) << "padding";
        f.records.insert(f.records.end(), run.begin(), run.end());
        f.packets.push_back(p);
        pos += p.lengthMinus1 + 1u;
    }
    EXPECT_EQ(pos, end) << "packets fill the section exactly";
}

// Reads and checks the file's structure; the caller checks the contents.
inline void read(const std::string& path, File& f) {
    f.bytes = fixtures::readBytes(path);
    ASSERT_FALSE(f.bytes.empty()) << path;
    ASSERT_EQ(f.bytes.size() % 1024, 0u);
    f.pages = f.bytes.size() / 1024;
    for (std::size_t page = 0; page < f.pages; ++page) {
        const char* data = f.bytes.data() + 1024 * page;
        const auto* sum = reinterpret_cast<const std::uint8_t*>(data + 1020);
        const std::uint32_t stored = std::uint32_t{sum[0]} << 24 | std::uint32_t{sum[1]} << 16 |
                                     std::uint32_t{sum[2]} << 8 | sum[3];
        ASSERT_EQ(stored, crc32c(data, 1020)) << "checksum of page " << page;
        f.logical.append(data, 1020);
    }
    ASSERT_EQ(f.bytes.substr(0, 8), "ASTM-E57");
    ASSERT_EQ(at<std::uint32_t>(f.bytes, 8), 1u);
    ASSERT_EQ(at<std::uint32_t>(f.bytes, 12), 0u);
    f.physicalLength = at<std::uint64_t>(f.bytes, 16);
    f.xmlPhysicalOffset = at<std::uint64_t>(f.bytes, 24);
    f.xmlLength = at<std::uint64_t>(f.bytes, 32);
    f.pageSize = at<std::uint64_t>(f.bytes, 40);
    EXPECT_EQ(f.physicalLength, f.bytes.size());
    EXPECT_EQ(f.pageSize, 1024u);

    ASSERT_EQ(f.logical[48], 1) << "compressed-vector section";
    for (std::size_t i = 49; i < 56; ++i)
        EXPECT_EQ(f.logical[i], 0);
    f.sectionLength = at<std::uint64_t>(f.logical, 56);
    f.dataOffset = at<std::uint64_t>(f.logical, 64);
    f.indexOffset = at<std::uint64_t>(f.logical, 72);
    EXPECT_EQ(f.dataOffset, 80u);
    EXPECT_EQ(f.indexOffset, 0u);
    readPackets(f);

    const std::size_t xmlStart = 48 + f.sectionLength;
    EXPECT_EQ(f.xmlPhysicalOffset, physical(xmlStart));
    ASSERT_LE(xmlStart + f.xmlLength, f.logical.size());
    f.xml = f.logical.substr(xmlStart, f.xmlLength);
    for (std::size_t i = xmlStart + f.xmlLength; i < f.logical.size(); ++i)
        ASSERT_EQ(f.logical[i], 0) << "the last page is zero-filled";
    EXPECT_EQ(f.pages, (xmlStart + f.xmlLength + 1019) / 1020) << "no page to spare";
    ASSERT_TRUE(f.doc.load_buffer(f.xml.data(), f.xml.size())) << f.xml;
}

}  // namespace e57check
