#include "fakes/Wms.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "fakes/Wfs.h"

namespace fakes {
namespace {

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

// One PNG chunk: length, type, data and the CRC of type and data.
void appendChunk(std::string& png, const char* type, const std::string& data) {
    appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
    const std::string typed = type + data;
    png += typed;
    const auto* bytes = reinterpret_cast<const Bytef*>(typed.data());
    appendBigEndian(png, static_cast<std::uint32_t>(
                             crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(typed.size()))));
}

std::string compressed(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 6);
    out.resize(size);
    return out;
}

std::vector<std::string> splitComma(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

std::string pngImage(int width, int height, std::uint8_t red, std::uint8_t green,
                     std::uint8_t blue) {
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    header += std::string{8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, adaptive filter, no interlace
    std::string row(1, '\0');              // filter type 0 for every row
    for (int x = 0; x < width; ++x)
        row += {static_cast<char>(red), static_cast<char>(green), static_cast<char>(blue)};
    std::string pixels;
    for (int y = 0; y < height; ++y)
        pixels += row;
    std::string png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed(pixels));
    appendChunk(png, "IEND", "");
    return png;
}

std::string jpegImage() {
    return std::string(
        "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00"
        "\xFF\xD9",
        22);
}

std::string serviceException() {
    return "<?xml version=\"1.0\"?><ServiceExceptionReport version=\"1.1.1\"><ServiceException "
           "code=\"InvalidDimensionValue\">Image size out of range</ServiceException>"
           "</ServiceExceptionReport>";
}

struct MapWms::State {
    std::vector<std::string> layers;
    WmsBehaviour behaviour;

    std::string capabilities() const {
        std::string text =
            "<?xml version=\"1.0\"?><WMT_MS_Capabilities version=\"1.1.1\"><Capability>"
            "<Layer><Name>WMS</Name><Title>Usluga</Title>";
        for (const int code : behaviour.systems)
            text += "<SRS>EPSG:" + std::to_string(code) + "</SRS>";
        for (const std::string& name : layers)
            text += "<Layer queryable=\"1\"><Name>" + name + "</Name><Title>" + name +
                    "</Title></Layer>";
        return text + "</Layer></Capability></WMT_MS_Capabilities>";
    }

    bool serves(const std::string& query) const {
        const int width = std::atoi(param(query, "width").c_str());
        const int height = std::atoi(param(query, "height").c_str());
        const bool sized = width > 0 && height > 0 && width <= behaviour.largestSize &&
                           height <= behaviour.largestSize;
        const std::vector<std::string> asked = splitComma(param(query, "layers"));
        const bool known = std::all_of(asked.begin(), asked.end(), [this](const std::string& l) {
            return std::find(layers.begin(), layers.end(), l) != layers.end();
        });
        return sized && known;
    }
};

MapWms::MapWms(std::vector<std::string> layers, WmsBehaviour behaviour)
    : state_(std::make_shared<const State>(State{std::move(layers), std::move(behaviour)})) {}

loopback::Answer MapWms::operator()(const loopback::Request& request) const {
    const std::string kind = param(request.query, "request");
    if (kind == "GetCapabilities")
        return loopback::ok(state_->capabilities(), "application/vnd.ogc.wms_xml");
    if (kind == "GetMap" && state_->serves(request.query))
        return loopback::ok(state_->behaviour.image, state_->behaviour.imageType);
    return loopback::ok(serviceException(), "application/vnd.ogc.se_xml");
}

}  // namespace fakes
