#include "geodata/NmptClient.h"

namespace {

constexpr sheetindex::Layer kIndex{
    "/wss/service/PZGIK/NumerycznyModelPokryciaTerenuEVRF2007/WFS/Skorowidze",
    "gugik:SkorowidzNMPT", 2019, 2018};

}  // namespace

std::vector<NmptClient::Tile> NmptClient::tilesFor(const Bbox& area) {
    return tilesFor(area, sheetindex::currentUtcYear());
}

std::vector<NmptClient::Tile> NmptClient::tilesFor(const Bbox& area, int currentYear) {
    return sheetindex::newestSheets(client_, kIndex, area, currentYear);
}

std::string NmptClient::download(const Tile& tile) {
    return sheetindex::download(client_, tile);
}

std::vector<NmptClient::Tile> NmptClient::parseSkorowidz(const std::string& answer) {
    return sheetindex::parse(answer);
}
