#pragma once
// The point-cloud palette: a host palette whose whole surface is a browser control showing the
// local page "cloud.html". Its page talks to the program through the palette's own Bridge; the
// point-cloud controller registers its messages there and pushes events through SendToBrowser.
// One palette per process, created on first use, toggled by menu item 2, released when the host
// quits.

#include "WebPalette.h"

class CloudPalette : public webpalette::Palette<CloudPalette> {
public:
    static constexpr short kResourceId = 32600;
    static constexpr short kMenuItem = 2;
    static const GS::Guid& Guid();
    static const webasset::PageFiles& Pages();
    static void RegisterBridgeHandlers(Bridge& bridge);

    explicit CloudPalette(Key key) : Palette(key) {}
};
