#include "cloud/E57Writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pugixml.hpp>
#include <span>

namespace cloud {
namespace {

constexpr std::size_t kPageSize = 1024;
constexpr std::size_t kPageData = 1020;  // the rest of a page is its checksum
constexpr std::size_t kFileHeaderLength = 48;
constexpr std::size_t kSectionHeaderLength = 32;
constexpr std::size_t kRecordsPerPacket = 1057;  // keeps a packet's lengths within 16 bits
constexpr std::size_t kPacketHeaderLength = 18;  // type, flags, length, count, six lengths
constexpr std::uint16_t kStreamCount = 6;
constexpr std::size_t kRecordBytes = 15;  // three floats and three colour bytes
constexpr std::size_t kPagesPerWrite = 256;

constexpr const char* kNamespace = "http://www.astm.org/COMMIT/E57/2010-e57-v1.0";

const char* const kNoPoints = "Brak punktow do zapisu.";
const char* const kCannotOpen = "Nie mozna zapisac pliku e57.";
const char* const kIncomplete = "Nie udalo sie zapisac calego pliku e57 - sprawdz wolne miejsce.";

// ---- Checksums -------------------------------------------------------------------------------

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78), the checksum of iSCSI.
const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 1) != 0 ? (c >> 1) ^ 0x82F63B78U : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t crc32c(const char* data, std::size_t length) {
    const auto& table = crcTable();
    std::uint32_t c = 0xFFFFFFFFU;
    for (std::size_t i = 0; i < length; ++i)
        c = table[(c ^ static_cast<std::uint8_t>(data[i])) & 0xFFU] ^ (c >> 8);
    return ~c;
}

// ---- Layout ----------------------------------------------------------------------------------

// Where a byte of the logical stream (the pages' data bytes in order) lies in the file.
std::uint64_t physicalOffset(std::uint64_t logical) {
    return logical + (kPageSize - kPageData) * (logical / kPageData);
}

// A data packet of n records, padded to a multiple of 4 bytes.
std::size_t packetLength(std::size_t records) {
    return (kPacketHeaderLength + kRecordBytes * records + 3) & ~std::size_t{3};
}

std::size_t binarySectionLength(std::size_t count) {
    const std::size_t rest = count % kRecordsPerPacket;
    return kSectionHeaderLength + (count / kRecordsPerPacket) * packetLength(kRecordsPerPacket) +
           (rest > 0 ? packetLength(rest) : 0);
}

// ---- Bytes -----------------------------------------------------------------------------------

// Writes little-endian values into a buffer sized beforehand.
class ByteCursor {
public:
    explicit ByteCursor(char* at) : at_(at) {}
    void put(const void* bytes, std::size_t n) {
        std::memcpy(at_, bytes, n);
        at_ += n;
    }
    void u8(std::uint8_t v) { put(&v, 1); }
    void u16(std::uint16_t v) { put(&v, 2); }
    void u32(std::uint32_t v) { put(&v, 4); }
    void u64(std::uint64_t v) { put(&v, 8); }
    void skip(std::size_t n) { at_ += n; }  // the buffer starts zeroed

private:
    char* at_;
};
static_assert(std::endian::native == std::endian::little, "the byte cursor writes native order");

// ---- Points ----------------------------------------------------------------------------------

// Smallest and largest stored value (the coordinate rounded to single precision) per axis.
struct Bounds {
    std::array<double, 3> min{};
    std::array<double, 3> max{};
};

constexpr std::array<double ClPoint::*, 3> kCoordinates{&ClPoint::x, &ClPoint::y, &ClPoint::z};

float stored(const ClPoint& p, std::size_t axis) {
    return static_cast<float>(p.*kCoordinates[axis]);
}

Bounds boundsOf(const std::vector<ClPoint>& points) {
    Bounds b;
    for (std::size_t axis = 0; axis < 3; ++axis)
        b.min[axis] = b.max[axis] = stored(points.front(), axis);
    for (const ClPoint& p : points) {
        for (std::size_t axis = 0; axis < 3; ++axis) {
            b.min[axis] = std::min(b.min[axis], double{stored(p, axis)});
            b.max[axis] = std::max(b.max[axis], double{stored(p, axis)});
        }
    }
    return b;
}

// One data packet: the six buffers (x, y, z as floats, red, green, blue as bytes) of a run.
void putPacket(ByteCursor& out, std::span<const ClPoint> run) {
    const std::size_t n = run.size();
    out.u8(1);  // data packet
    out.u8(0);
    out.u16(static_cast<std::uint16_t>(packetLength(n) - 1));
    out.u16(kStreamCount);
    for (int axis = 0; axis < 3; ++axis)
        out.u16(static_cast<std::uint16_t>(4 * n));
    for (int channel = 0; channel < 3; ++channel)
        out.u16(static_cast<std::uint16_t>(n));
    for (std::size_t axis = 0; axis < 3; ++axis) {
        for (const ClPoint& p : run) {
            const float v = stored(p, axis);
            out.put(&v, 4);
        }
    }
    for (const auto channel : {&ClPoint::r, &ClPoint::g, &ClPoint::b}) {
        for (const ClPoint& p : run)
            out.u8(p.*channel);
    }
    out.skip(packetLength(n) - kPacketHeaderLength - kRecordBytes * n);
}

void putBinarySection(ByteCursor& out, const std::vector<ClPoint>& points) {
    out.u8(1);  // compressed-vector section
    out.skip(7);
    out.u64(binarySectionLength(points.size()));
    out.u64(physicalOffset(kFileHeaderLength + kSectionHeaderLength));
    out.u64(0);  // no index packet
    const std::span<const ClPoint> all(points);
    for (std::size_t at = 0; at < all.size(); at += kRecordsPerPacket)
        putPacket(out, all.subspan(at, std::min(kRecordsPerPacket, all.size() - at)));
}

void putFileHeader(ByteCursor& out, std::size_t logicalLength, std::size_t xmlOffset,
                   std::size_t xmlLength) {
    out.put("ASTM-E57", 8);
    out.u32(1);
    out.u32(0);
    out.u64(kPageSize * ((logicalLength + kPageData - 1) / kPageData));
    out.u64(physicalOffset(xmlOffset));
    out.u64(xmlLength);
    out.u64(kPageSize);
}

// ---- XML -------------------------------------------------------------------------------------

// A double as printf's "%.17g" writes it, whatever the locale.
std::string f2s(double v) {
    std::array<char, 32> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), v, std::chars_format::general, 17);
    return std::string(text.data(), end.ptr);
}

pugi::xml_node element(pugi::xml_node parent, const char* name, const char* type) {
    pugi::xml_node node = parent.append_child(name);
    node.append_attribute("type") = type;
    return node;
}

void text(pugi::xml_node node, const std::string& value) {
    node.append_child(pugi::node_pcdata).set_value(value.c_str());
}

void stringElement(pugi::xml_node parent, const char* name, const char* value = nullptr) {
    pugi::xml_node node = element(parent, name, "String");
    if (value != nullptr)
        node.append_child(pugi::node_cdata).set_value(value);
}

void integerElement(pugi::xml_node parent, const char* name,
                    std::optional<std::int64_t> value = std::nullopt) {
    pugi::xml_node node = element(parent, name, "Integer");
    if (value)
        text(node, std::to_string(*value));
}

void floatElement(pugi::xml_node parent, const char* name,
                  std::optional<double> value = std::nullopt) {
    pugi::xml_node node = element(parent, name, "Float");
    if (value)
        text(node, f2s(*value));
}

// A vector that may hold children of different types, written with an opening and a closing
// tag even when empty.
pugi::xml_node vectorElement(pugi::xml_node parent, const char* name) {
    pugi::xml_node node = element(parent, name, "Vector");
    node.append_attribute("allowHeterogeneousChildren") = "1";
    node.append_child(pugi::node_pcdata);
    return node;
}

void dateTime(pugi::xml_node parent, const char* name) {
    pugi::xml_node node = element(parent, name, "Structure");
    floatElement(node, "dateTimeValue");
    integerElement(node, "isAtomicClockReferenced");
}

void indexBounds(pugi::xml_node scan, std::size_t count) {
    pugi::xml_node node = element(scan, "indexBounds", "Structure");
    integerElement(node, "rowMinimum");
    integerElement(node, "rowMaximum", static_cast<std::int64_t>(count) - 1);
    for (const char* name : {"columnMinimum", "columnMaximum", "returnMinimum", "returnMaximum"})
        integerElement(node, name);
}

void colorLimits(pugi::xml_node scan) {
    pugi::xml_node node = element(scan, "colorLimits", "Structure");
    for (const char* colour : {"Red", "Green", "Blue"}) {
        integerElement(node, ("color" + std::string(colour) + "Minimum").c_str());
        integerElement(node, ("color" + std::string(colour) + "Maximum").c_str(), 255);
    }
}

constexpr std::array<const char*, 3> kAxes{"x", "y", "z"};

void cartesianBounds(pugi::xml_node scan, const Bounds& b) {
    pugi::xml_node node = element(scan, "cartesianBounds", "Structure");
    for (std::size_t axis = 0; axis < 3; ++axis) {
        floatElement(node, (std::string(kAxes[axis]) + "Minimum").c_str(), b.min[axis]);
        floatElement(node, (std::string(kAxes[axis]) + "Maximum").c_str(), b.max[axis]);
    }
}

void pose(pugi::xml_node scan) {
    pugi::xml_node node = element(scan, "pose", "Structure");
    pugi::xml_node rotation = element(node, "rotation", "Structure");
    floatElement(rotation, "w", 1.0);
    for (const char* axis : kAxes)
        floatElement(rotation, axis);
    pugi::xml_node translation = element(node, "translation", "Structure");
    for (const char* axis : kAxes)
        floatElement(translation, axis);
}

void pointsElement(pugi::xml_node scan, std::size_t count, const Bounds& b) {
    pugi::xml_node node = element(scan, "points", "CompressedVector");
    node.append_attribute("fileOffset") = static_cast<unsigned long long>(kFileHeaderLength);
    node.append_attribute("recordCount") = static_cast<unsigned long long>(count);
    pugi::xml_node prototype = element(node, "prototype", "Structure");
    constexpr std::array<const char*, 3> kCartesian{"cartesianX", "cartesianY", "cartesianZ"};
    for (std::size_t axis = 0; axis < 3; ++axis) {
        pugi::xml_node c = element(prototype, kCartesian[axis], "Float");
        c.append_attribute("precision") = "single";
        c.append_attribute("minimum") = f2s(b.min[axis]).c_str();
        c.append_attribute("maximum") = f2s(b.max[axis]).c_str();
        text(c, f2s((b.min[axis] + b.max[axis]) / 2));
    }
    for (const char* name : {"colorRed", "colorGreen", "colorBlue"}) {
        pugi::xml_node c = element(prototype, name, "Integer");
        c.append_attribute("minimum") = 0;
        c.append_attribute("maximum") = 255;
    }
    vectorElement(node, "codecs");
}

void scan(pugi::xml_node data3D, std::size_t count, const Bounds& b) {
    pugi::xml_node node = element(data3D, "vectorChild", "Structure");
    stringElement(node, "guid", "{aaaaaaaa-0000-0000-0000-000000000002}");
    stringElement(node, "name", "tovelmark_cloud");
    for (const char* name : {"temperature", "relativeHumidity", "atmosphericPressure"})
        floatElement(node, name);
    stringElement(node, "description", "tovelmark");
    indexBounds(node, count);
    colorLimits(node);
    cartesianBounds(node, b);
    pose(node);
    dateTime(node, "acquisitionStart");
    dateTime(node, "acquisitionEnd");
    pointsElement(node, count, b);
}

struct StringSink : pugi::xml_writer {
    std::string text;
    void write(const void* data, std::size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

// The XML section: one line, declaration first.
std::string xmlSection(std::size_t count, const Bounds& b) {
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node root = element(doc, "e57Root", "Structure");
    root.append_attribute("xmlns") = kNamespace;
    stringElement(root, "formatName", "ASTM E57 3D Imaging Data File");
    stringElement(root, "guid", "{aaaaaaaa-0000-0000-0000-000000000001}");
    integerElement(root, "versionMajor", 1);
    integerElement(root, "versionMinor");
    stringElement(root, "e57LibraryVersion", "tovelmark-e57-0.1");
    stringElement(root, "coordinateMetadata");
    dateTime(root, "creationDateTime");
    scan(vectorElement(root, "data3D"), count, b);
    vectorElement(root, "images2D");
    StringSink sink;
    doc.save(sink, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(sink.text);
}

// ---- File ------------------------------------------------------------------------------------

// The logical stream: file header, binary section, XML; zero-filled to whole pages.
std::string logicalStream(const std::vector<ClPoint>& points) {
    const std::string xml = xmlSection(points.size(), boundsOf(points));
    const std::size_t xmlOffset = kFileHeaderLength + binarySectionLength(points.size());
    const std::size_t length = xmlOffset + xml.size();
    std::string stream(kPageData * ((length + kPageData - 1) / kPageData), '\0');
    ByteCursor out(stream.data());
    putFileHeader(out, length, xmlOffset, xml.size());
    putBinarySection(out, points);
    out.put(xml.data(), xml.size());
    return stream;
}

// Writes the stream page by page, each page's data followed by its checksum (most significant
// byte first). False when any write or the closing fails.
bool writePages(std::ofstream& file, const std::string& stream) {
    std::string batch(kPagesPerWrite * kPageSize, '\0');
    for (std::size_t at = 0; at < stream.size();) {
        std::size_t filled = 0;
        for (; filled < batch.size() && at < stream.size(); filled += kPageSize, at += kPageData) {
            std::memcpy(&batch[filled], &stream[at], kPageData);
            const std::uint32_t crc = crc32c(&stream[at], kPageData);
            for (std::size_t i = 0; i < 4; ++i)
                batch[filled + kPageData + i] = static_cast<char>(crc >> (24 - 8 * i));
        }
        if (!file.write(batch.data(), static_cast<std::streamsize>(filled)))
            return false;
    }
    file.close();
    return !file.fail();
}

void removePartialFile(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::is_regular_file(path, ignored))
        std::filesystem::remove(path, ignored);
}

}  // namespace

bool writeE57(const std::string& path, const std::vector<ClPoint>& points, std::string& error) {
    if (points.empty()) {
        error = kNoPoints;
        return false;
    }
    const std::string stream = logicalStream(points);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        error = kCannotOpen;
        return false;
    }
    if (!writePages(file, stream)) {
        file.close();
        removePartialFile(path);
        error = kIncomplete;
        return false;
    }
    return true;
}

}  // namespace cloud
