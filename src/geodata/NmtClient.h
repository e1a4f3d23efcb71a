#pragma once
// The terrain-model (NMT) sheets that cover an area, from the geoportal's terrain-model sheet
// index (years from the next one down to 2018; none asked before 2017), and the text of a
// sheet (an ESRI ASCII grid) through the download cache.

#include "geodata/SheetIndex.h"

class NmtClient : public sheetindex::IndexClient {
public:
    using Tile = sheetindex::Tile;

    explicit NmtClient(WfsClient& client);
};
