#pragma once
// The map palette: a host palette whose only item is a browser control showing the map page.
// One process-wide instance, built on first use, shown and hidden from the add-on's menu (item 1)
// and by the host's palette messages, released when the host reports project event 64. It answers
// "ping" and "openExternal"; every other message of the map page belongs to the import controller.

#include "WebPalette.h"

class MapPalette : public webpalette::Palette<MapPalette> {
public:
    static constexpr short kResourceId = 32500;
    static constexpr short kMenuItem = 1;
    static const GS::Guid& Guid();
    static const webasset::PageFiles& Pages();
    static void RegisterBridgeHandlers(Bridge& bridge);

    explicit MapPalette(Key key) : Palette(key) {}
};
