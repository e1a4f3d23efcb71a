#pragma once
// The national 3D building packages on the open-data host: per county a LoD1 package of each
// publication year and one LoD2 package, ZIP archives of CityGML sheets written from the
// buildings the caller gives. Namespace `fakes`.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fakes/Hosts.h"
#include "geodata/GisTypes.h"

namespace fakes {

// One sheet of a package: its entry name (under the county's folder), its envelope and its
// buildings, LoD1 blocks written as extruded footprints, LoD2 buildings face by face.
struct Lod1Sheet {
    std::string name;
    Bbox envelope;
    std::vector<Building3D> buildings;
};
struct Lod2Sheet {
    std::string name;
    Bbox envelope;
    std::vector<BuildingLod2> buildings;
};

// A block (footprint open or closed) as the faces of a LoD2 solid with a flat roof: ground,
// roof, then one wall per footprint edge; each face turned outwards when the footprint runs
// counter-clockwise.
BuildingLod2 lod2Block(const Building3D& block);

// Where the program asks for the packages of a county (its four digits).
std::string lod1PackagePath(std::string_view county, int year);
std::string lod2PackagePath(std::string_view county);

// The bytes of a package. It may hold further entries of texts as they stand, such as a sheet
// that is no whole document or no CityGML (name under the county's folder, text).
using RawEntry = std::pair<std::string, std::string>;
std::string lod1Package(std::string_view county, const std::vector<Lod1Sheet>& sheets,
                        const std::vector<RawEntry>& raw = {});
std::string lod2Package(std::string_view county, const std::vector<Lod2Sheet>& sheets,
                        const std::vector<RawEntry>& raw = {});

void serveLod1Package(Hosts& hosts, std::string_view county, int year,
                      const std::vector<Lod1Sheet>& sheets);
void serveLod2Package(Hosts& hosts, std::string_view county, const std::vector<Lod2Sheet>& sheets);

}  // namespace fakes
