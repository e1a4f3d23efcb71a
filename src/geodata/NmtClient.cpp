#include "geodata/NmtClient.h"

namespace {

constexpr sheetindex::Layer kIndex{
    "/wss/service/PZGIK/NumerycznyModelTerenuEVRF2007/WFS/Skorowidze", "gugik:SkorowidzNMT", 2018,
    2017};

}  // namespace

std::vector<NmtClient::Tile> NmtClient::tilesFor(const Bbox& area) {
    return tilesFor(area, sheetindex::currentUtcYear());
}

std::vector<NmtClient::Tile> NmtClient::tilesFor(const Bbox& area, int currentYear) {
    return sheetindex::newestSheets(client_, kIndex, area, currentYear);
}

std::string NmtClient::download(const Tile& tile) {
    return sheetindex::download(client_, tile);
}

std::vector<NmtClient::Tile> NmtClient::parseSkorowidz(const std::string& answer) {
    return sheetindex::parse(answer);
}
