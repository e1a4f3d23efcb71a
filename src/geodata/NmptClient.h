#pragma once
// The surface-model (NMPT) sheets that cover an area, from the geoportal's surface-model sheet
// index (years from the next one down to 2019; none asked before 2018), and the text of a
// sheet (an ESRI ASCII grid) through the download cache.

#include "geodata/SheetIndex.h"

class NmptClient : public sheetindex::IndexClient {
public:
    using Tile = sheetindex::Tile;

    explicit NmptClient(WfsClient& client);
};
