#pragma once
// Buildings with their planar faces (LoD2) from one CityGML sheet held in memory: every ring of
// every surface of a building becomes one face, plan points with a parallel list of heights.
// Elements are matched by local name, positions taken as written (x, y, z), as in the LoD1 reader.

#include <string_view>
#include <vector>

#include "geodata/CityGmlReader.h"
#include "geodata/GisTypes.h"

class CityGmlLod2Reader {
public:
    // The buildings whose face extent meets box, in document order. A document that does not
    // parse gives no building. Of those, a building with a face point farther than
    // geobounds::kFarthestFromFrame from box, in plan or in height, is damaged: it is left out.
    // When tally is given, it tells both.
    static std::vector<BuildingLod2> parseSheet(std::string_view xml, const Bbox& box,
                                                citygml::SheetTally* tally = nullptr);
};
