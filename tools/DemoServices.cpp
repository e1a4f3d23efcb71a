// The demo area: the town's records mounted on the fake services at the paths the add-on asks.

#include "DemoServices.h"

#include <string>

#include "DataType.h"
#include "fakes/BuildingPackages.h"
#include "fakes/Overpass.h"
#include "fakes/Services.h"
#include "fakes/TerrainModel.h"
#include "fakes/Wms.h"
#include "geodata/ProjConv.h"

namespace twhost {
namespace {

constexpr const char* kSheet = "M-34-82-A-c-4-2";  // the terrain and surface models' sheet
constexpr const char* kLidarSheet = "M-34-82-A-c-4-2-1";
constexpr const char* kPackage = "dynow.gml";  // the one sheet of each building package
constexpr int kLod1Year = 2024;
constexpr double kMunicipalityMargin = 3000.0;  // metres around the town
// The terrain model reaches well past the town, for frames drawn wider than it; the surface
// model covers the town and its surroundings.
constexpr double kTerrainMargin = 150.0;
constexpr double kTerrainCell = 1.0;
constexpr double kSurfaceMargin = 20.0;
constexpr double kSurfaceCell = 0.5;

fakes::GridSheet sheetOver(const Bbox& area, double margin, double cell,
                           fakes::HeightField height) {
    const auto cells = [cell, margin](double from, double to) {
        return static_cast<int>((to - from + 2 * margin) / cell);
    };
    return {kSheet,
            {area.minx - margin, area.miny - margin},
            cell,
            cells(area.minx, area.maxx),
            cells(area.miny, area.maxy),
            std::move(height)};
}

void serveRegisters(fakes::Hosts& hosts, const fakes::Town& town) {
    const Bbox& a = town.area;
    fakes::serveBoundaries(
        hosts, {fakes::municipality(town.teryt,
                                    {a.minx - kMunicipalityMargin, a.miny - kMunicipalityMargin,
                                     a.maxx + kMunicipalityMargin, a.maxy + kMunicipalityMargin})});
    fakes::serveCountyCadastre(hosts, town.teryt, town.parcels, town.buildings);
    fakes::serveNewBuildings(hosts, town.newBuildings);
    fakes::PlanningRegister(town.plans).mount(hosts.registry);
    hosts.nominatim.onRequest(fakes::Nominatim::kPath, fakes::Nominatim(town.places));
    hosts.photon.onRequest(fakes::Photon::kPath, fakes::Photon(town.places));
}

// The orthophoto in the colour of the meadows, the county's utility map and the commune's
// zoning plan (the county has no 1:500 map in the built-in tables).
void serveMapImages(fakes::Hosts& hosts, const fakes::Town& town) {
    fakes::serveOrthophoto(hosts, fakes::pngImage(4, 4, 150, 178, 112), "image/png");
    fakes::serveLocalMaps(hosts, town.teryt, ProjConv::zoneForLon(town.centre.x),
                          {DataType::Mpzp, DataType::Gesut});
}

void serveModels(fakes::Hosts& hosts, const fakes::Town& town) {
    fakes::serveTerrainModel(hosts,
                             {sheetOver(town.area, kTerrainMargin, kTerrainCell, town.ground)});
    fakes::serveSurfaceModel(
        hosts, {sheetOver(town.area, kSurfaceMargin, kSurfaceCell,
                          [&town](double x, double y) { return town.surfaceAt(x, y); })});
}

void serveBuildingPackages(fakes::Hosts& hosts, const fakes::Town& town) {
    const std::string county = town.teryt.substr(0, 4);
    fakes::Lod1Sheet blocks{kPackage, town.area, {}};
    fakes::Lod2Sheet solids{kPackage, town.area, {}};
    for (const fakes::House& house : town.houses) {
        blocks.buildings.push_back(fakes::lod1Block(house));
        if (house.lod2)
            solids.buildings.push_back(fakes::lod2Solid(house));
    }
    fakes::serveLod1Package(hosts, county, kLod1Year, {blocks});
    fakes::serveLod2Package(hosts, county, {solids});
}

}  // namespace

DemoServices::DemoServices(std::uint32_t seed) : town_(fakes::demoTown(seed)) {
    serveRegisters(hosts_, town_);
    serveMapImages(hosts_, town_);
    serveModels(hosts_, town_);
    serveBuildingPackages(hosts_, town_);
    hosts_.overpass.onRequest(fakes::Overpass::kPath, fakes::Overpass(town_.ways));
    lidar_ = std::make_unique<fakes::LidarSheets>(std::vector<fakes::LidarSheet>{
        {kLidarSheet, fakes::classifiedLas(fakes::lidarPoints(town_)), "2"}});
    lidar_->mount(hosts_.geoportal);
}

API_GeoLocation DemoServices::geoLocation() const {
    const int zone = ProjConv::zoneForLon(town_.centre.x);
    const GisPoint survey = ProjConv::pl1992ToPl2000(town_.middle.x, town_.middle.y, zone);
    API_GeoLocation geo{};
    geo.placeInfo.longitude = town_.centre.x;
    geo.placeInfo.latitude = town_.centre.y;
    API_SurveyPoint& point = geo.surveyPoint;
    point.eastings = survey.x;
    point.northings = survey.y;
    point.orthogonalHeight = town_.ground(town_.middle.x, town_.middle.y);
    point.xAxisAbscissa = 1.0;
    point.scale = 1.0;
    point.geoReferenceData.name = GS::UniString("EPSG:" + std::to_string(zone));
    return geo;
}

}  // namespace twhost
