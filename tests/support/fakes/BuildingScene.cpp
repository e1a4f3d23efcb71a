#include "support/fakes/BuildingScene.h"

#include <cctype>
#include <cmath>

#include "fakes/BuildingPackages.h"
#include "fakes/Overpass.h"
#include "fakes/TerrainModel.h"

namespace fakes {
namespace {

constexpr double kSheetCell = 1.0;
constexpr double kDeckHeight = 6.0;

std::string upperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool inside(const synthetic::Building& b, double x, double y) {
    const lod2fit::Vec2 local = b.toLocal({x, y});
    return local.x > 0 && local.x < b.length && local.y > 0 && local.y < b.width;
}

// The surface: the blocks' flat tops, the bridge deck, else the ground.
double surfaceAt(const BuildingScene& scene, double x, double y) {
    for (const KnownRoof& r : scene.roofs) {
        if (inside(r.building, x, y))
            return synthetic::kGroundZ + 9.0;
    }
    const std::vector<GisPoint>& deck = scene.ways.front().lines.front();
    const bool onDeck = x > deck.front().x && x < deck.back().x && std::abs(y - deck.front().y) < 4;
    return synthetic::kGroundZ + (onDeck ? kDeckHeight : 0.0);
}

}  // namespace

BuildingScene buildingScene(const std::string& county, GisPoint centre) {
    BuildingScene scene;
    scene.county = county;
    scene.area = {centre.x - 150, centre.y - 150, centre.x + 150, centre.y + 150};
    scene.roofs = knownRoofs({centre.x - 100, centre.y - 60});
    scene.lod2Count = 2;
    scene.ways = {polyline("", {{centre.x - 120, centre.y - 100}, {centre.x - 60, centre.y - 100}},
                           {{"highway", "primary"}, {"bridge", "yes"}, {"width", "6"}}),
                  polyline("", {{centre.x + 60, centre.y - 120}, {centre.x + 60, centre.y + 120}},
                           {{"highway", "residential"}})};
    return scene;
}

std::unique_ptr<LidarSheets> serveBuildingScene(Hosts& hosts, const BuildingScene& scene) {
    const std::vector<Building3D> blocks = blocksOf(scene.roofs);
    serveLod1Package(hosts, scene.county, 2024, {{"lod1.gml", scene.area, blocks}});
    Lod2Sheet solids{"lod2.gml", scene.area, {}};
    for (std::size_t i = 0; i < scene.lod2Count && i < blocks.size(); ++i) {
        solids.buildings.push_back(lod2Block(blocks[i]));
        solids.buildings.back().id = upperCase(blocks[i].id);
    }
    serveLod2Package(hosts, scene.county, {solids});
    const auto sheet = [&scene](HeightField height) {
        const Bbox& a = scene.area;
        return GridSheet{"S",
                         {a.minx, a.miny},
                         kSheetCell,
                         static_cast<int>((a.maxx - a.minx) / kSheetCell),
                         static_cast<int>((a.maxy - a.miny) / kSheetCell),
                         std::move(height)};
    };
    serveSurfaceModel(hosts,
                      {sheet([&scene](double x, double y) { return surfaceAt(scene, x, y); })});
    serveTerrainModel(hosts, {sheet([](double, double) { return synthetic::kGroundZ; })});
    hosts.overpass.onRequest(Overpass::kPath, Overpass(scene.ways));
    auto lidar = std::make_unique<LidarSheets>(
        std::vector<LidarSheet>{{"S", classifiedLas(lidarPointsOf(scene.roofs))}});
    lidar->mount(hosts.geoportal);
    return lidar;
}

}  // namespace fakes
