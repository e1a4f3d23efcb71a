#pragma once
// A fake web map service on the loopback kit: its capabilities list the layers and reference
// systems given, and GetMap answers with an image the caller made, refusing images larger than
// it serves with a service exception, as real services do. Also small image files to serve.
// Namespace `fakes`.
//
//   server.onRequest("/wms", fakes::MapWms({"plan_rysunek"}, {.systems = {2180, 2177}}));

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "loopback/LoopbackServer.h"

namespace fakes {

// A PNG file of width x height pixels of one colour (8-bit RGB, compressed with zlib).
std::string pngImage(int width, int height, std::uint8_t red = 200, std::uint8_t green = 180,
                     std::uint8_t blue = 120);

// The first bytes of a JPEG file (start of image, JFIF header) and its end marker: a file that
// is a JPEG to whoever looks at its type, not one to decode.
std::string jpegImage();

// How the service answers.
struct WmsBehaviour {
    std::vector<int> systems = {2180};   // the EPSG codes the capabilities list
    int largestSize = 4096;              // a wider or higher image gets a service exception
    std::string image = pngImage(4, 4);  // the answer to every GetMap it serves
    std::string imageType = "image/png";
};

class MapWms {
public:
    MapWms(std::vector<std::string> layers, WmsBehaviour behaviour = {});

    // GetCapabilities: the layers and systems. GetMap of known layers at a size it serves: the
    // image. Anything else: a service exception (status 200, as WMS services answer).
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    struct State;
    std::shared_ptr<const State> state_;
};

std::string serviceException();

}  // namespace fakes
