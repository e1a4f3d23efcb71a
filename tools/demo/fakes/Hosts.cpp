#include "fakes/Hosts.h"

#include "fakes/Wms.h"
#include "geodata/ServiceTables.h"

namespace fakes {

services::Endpoints Hosts::endpoints() const {
    services::Endpoints e;
    e.geoportalMaps = geoportal.url();
    e.openData = openData.url();
    e.planningRegister = registry.url();
    e.overpass = overpass.url();
    e.photon = photon.url();
    e.nominatim = nominatim.url();
    e.countyOverride = county.url();
    return e;
}

std::vector<std::string> Hosts::environment() const {
    const services::Endpoints e = endpoints();
    return {"TERRAWEFT_GEOPORTAL_URL=" + e.geoportalMaps,
            "TERRAWEFT_OPENDATA_URL=" + e.openData,
            "TERRAWEFT_REGISTER_URL=" + e.planningRegister,
            "TERRAWEFT_OVERPASS_URL=" + e.overpass,
            "TERRAWEFT_PHOTON_URL=" + e.photon,
            "TERRAWEFT_NOMINATIM_URL=" + e.nominatim,
            "TERRAWEFT_COUNTY_URL=" + e.countyOverride};
}

namespace {

// The path of a table's address, without query or fragment; "" when the row has none.
std::string pathOf(std::string_view address) {
    if (address.empty())
        return {};
    const std::size_t host = address.find("://");
    const std::size_t start =
        address.find_first_of("/?#", host == std::string_view::npos ? 0 : host + 3);
    if (start == std::string_view::npos || address[start] != '/')
        return "/";
    const std::string_view path = address.substr(start);
    return std::string(path.substr(0, path.find_first_of("?#")));
}

std::vector<std::string> wmsLayersOf(DataType kind) {
    switch (kind) {
        case DataType::Mpzp:
            return {"granice_planow", "rysunek_planu", "aktplanowania"};
        case DataType::Gesut:
            return {"przewody_wodociagowe", "przewody_gazowe", "strefa_ochronna"};
        default:
            return {"budowle", "ogrodzenia", "komunikacja"};
    }
}

const ServiceRow* rowOf(std::span<const ServiceRow> table, std::string_view teryt,
                        std::size_t keyLength) {
    return servicetables::find(table, teryt, keyLength);
}

}  // namespace

std::string countyCadastrePath(std::string_view teryt) {
    const ServiceRow* row = rowOf(EgibUrls::TABLE, teryt, servicetables::kCountyKeyLength);
    return row == nullptr ? std::string() : pathOf(row->wfs);
}

std::string localWmsPath(DataType kind, std::string_view teryt) {
    const ServiceRow* row = nullptr;
    if (kind == DataType::Gesut)
        row = rowOf(GesutUrls::TABLE, teryt, servicetables::kCountyKeyLength);
    else if (kind == DataType::Bdot500)
        row = rowOf(Bdot500Urls::TABLE, teryt, servicetables::kCountyKeyLength);
    else if (kind == DataType::Mpzp)
        row = rowOf(MpzpUrls::TABLE, teryt, servicetables::kCommuneKeyLength);
    return row == nullptr ? std::string() : pathOf(row->wms);
}

void serveBoundaries(Hosts& hosts, std::vector<Feature> municipalities,
                     const std::string& typeName) {
    hosts.geoportal.onRequest(kBoundariesPath, FeatureWfs({{"ms:A01_Granice_wojewodztw", {}},
                                                           {"ms:A02_Granice_powiatow", {}},
                                                           {typeName, std::move(municipalities)}}));
}

void serveNewBuildings(Hosts& hosts, std::vector<Feature> buildings) {
    hosts.geoportal.onRequest(kNewBuildingsPath,
                              FeatureWfs({{kNewBuildingsTypename, std::move(buildings)}}));
}

void serveCountyCadastre(Hosts& hosts, std::string_view teryt, std::vector<Feature> parcels,
                         std::optional<std::vector<Feature>> buildings, WfsBehaviour behaviour) {
    std::vector<Layer> layers{{kParcelsTypename, std::move(parcels)}};
    if (buildings)
        layers.push_back({kBuildingsTypename, std::move(*buildings)});
    hosts.county.onRequest(countyCadastrePath(teryt), FeatureWfs(std::move(layers), behaviour));
}

void serveOrthophoto(Hosts& hosts, std::string image, std::string imageType) {
    hosts.geoportal.onRequest(kOrthophotoPath,
                              MapWms({"Raster"}, {.systems = {2176, 2177, 2178, 2179, 2180},
                                                  .image = std::move(image),
                                                  .imageType = std::move(imageType)}));
}

void serveLocalMaps(Hosts& hosts, std::string_view teryt, int zoneEpsg,
                    const std::vector<DataType>& kinds) {
    for (const DataType kind : kinds) {
        hosts.county.onRequest(localWmsPath(kind, teryt),
                               MapWms(wmsLayersOf(kind), {.systems = {2180, zoneEpsg}}));
    }
}

}  // namespace fakes
