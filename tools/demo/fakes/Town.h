#pragma once
// A small town generated from a seed, for the demo mode of terraweft-host and the tests: rolling
// terrain falling to a river, streets with a bridge over it, parcels in rows along the streets
// and houses on most of them, each house with a gabled, hipped or flat roof. Every source that
// describes the town is made from these records, so that they agree: the land registry's
// parcels and buildings, the LoD1 blocks and LoD2 solids of the houses, the terrain and surface
// models, the LiDAR points and the streets as OpenStreetMap ways. The same seed gives the same
// town, whatever the machine. Namespace `fakes`.

#include <cstdint>
#include <string>
#include <vector>

#include "builders/SyntheticRoofs.h"
#include "fakes/Records.h"
#include "fakes/TerrainModel.h"
#include "geodata/GisTypes.h"

namespace fakes {

enum class RoofKind { Gabled, Hipped, Flat };

// A house: a rectangle (synthetic::Building, its length along the easting) standing on the
// ground at `base`, its walls up to `eave` and its roof up to `ridge` (flat roofs: ridge ==
// eave); heights in metres above sea level.
struct House {
    std::string id;  // the same in the land registry and both building packages
    synthetic::Building plan;
    RoofKind roof = RoofKind::Gabled;
    double base = 0.0;
    double eave = 0.0;
    double ridge = 0.0;
    bool lod2 = true;  // also in the LoD2 package (all houses are in the LoD1 package)

    // The roof's height over a PL-1992 point, whether or not the point is under the roof.
    double roofAt(double x, double y) const;
    bool covers(double x, double y) const;
    std::vector<GisPoint> footprint() const;  // closed, counter-clockwise
};

struct Town {
    GisPoint centre;  // WGS84 (x longitude, y latitude); where the project's survey point lies
    GisPoint middle;  // the same point in PL-1992
    std::string teryt;
    Bbox area;                          // PL-1992: every house, parcel and street
    double waterLevel = 0.0;            // of the river
    HeightField ground;                 // the terrain, and the water's surface on the river
    std::vector<Feature> parcels;       // of the land registry
    std::vector<Feature> buildings;     // of the land registry, one per house
    std::vector<Feature> newBuildings;  // of the national new-buildings service: a few of them
    std::vector<House> houses;
    std::vector<Feature> ways;  // streets and the bridge, tagged as OpenStreetMap does
    std::vector<PlanAct> plans;
    std::vector<Place> places;  // addresses the geocoders know

    // The river's channel, and the bridge deck's height where a point is on it (NaN elsewhere).
    bool inRiver(double x, double y) const;
    double deckAt(double x, double y) const;
    // What the surface model sees from above: a roof, the bridge deck or the ground.
    double surfaceAt(double x, double y) const;
};

// The town of Dynow (TERYT 1816011: its county has a land-registry WFS and a utility map, the
// commune a zoning-plan map in the built-in tables) on the hills by the San: about 80 parcels in
// five rows and a house on most, within 160 m east and west and 130 m north and south of the
// middle.
Town demoTown(std::uint32_t seed);

// The house as the faces of a closed LoD2 solid, each ring turned outwards: ground, walls (with
// their gable ends) and roof planes.
BuildingLod2 lod2Solid(const House& house);

// The house's LoD1 block: its footprint from the ground to the middle of its roof.
Building3D lod1Block(const House& house);

// The town's LiDAR points in PL-1992, coloured and classified: ground every metre over the
// area and 50 m around it (streets grey), roofs of about 6 points a square metre, the river's
// surface (water, 4 a square metre) and the bridge deck.
std::vector<ClPoint> lidarPoints(const Town& town);

}  // namespace fakes
