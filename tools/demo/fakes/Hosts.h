#pragma once
// The outside world on the loopback kit: one server for every outside host the program asks
// (so nothing leaves the machine and each host keeps its own request spacing), the address
// settings that point the program at them, and the mounting of the fakes of each service at the
// paths the program asks. Namespace `fakes`.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DataType.h"
#include "fakes/Records.h"
#include "fakes/Wfs.h"
#include "geodata/ServiceConfig.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

inline constexpr const char* kBoundariesPath =
    "/wss/service/PZGIK/PRG/WFS/AdministrativeBoundaries";
inline constexpr const char* kBoundariesTypename = "ms:A03_Granice_gmin";
inline constexpr const char* kNewBuildingsPath = "/wss/service/PZGIK/BDOT10k/WFS/NoweBudynki";
inline constexpr const char* kNewBuildingsTypename = "ms:bud_2025";
inline constexpr const char* kParcelsTypename = "ms:dzialki";
inline constexpr const char* kBuildingsTypename = "ms:budynki";

class Hosts {
public:
    loopback::LoopbackServer geoportal;  // national geoportal: boundaries, new buildings, ...
    loopback::LoopbackServer openData;
    loopback::LoopbackServer registry;  // the planning register
    loopback::LoopbackServer overpass;
    loopback::LoopbackServer photon;
    loopback::LoopbackServer nominatim;
    loopback::LoopbackServer county;  // every county and commune service of the built-in tables

    // The program's service addresses, every one at its server.
    services::Endpoints endpoints() const;
    // The same as "TERRAWEFT_..._URL=http://127.0.0.1:PORT", one per service.
    std::vector<std::string> environment() const;
};

// The path at which the program asks the county's land-registry WFS (by the first 4 digits of
// teryt); "" when the county has none.
std::string countyCadastrePath(std::string_view teryt);

// The path at which the program asks the WMS of kind Gesut or Bdot500 of teryt's county (first
// 4 digits), or of kind Mpzp of its commune (first 6); "" when there is none.
std::string localWmsPath(DataType kind, std::string_view teryt);

// The municipality boundaries (municipality() records) as the layer typeName, beside the
// province and county layers, as the boundaries service lists them.
void serveBoundaries(Hosts& hosts, std::vector<Feature> municipalities,
                     const std::string& typeName = kBoundariesTypename);

// The national new-buildings WFS.
void serveNewBuildings(Hosts& hosts, std::vector<Feature> buildings);

// The county land-registry WFS of teryt's county: parcels and, unless there are none, buildings
// (nothing: the service lists no buildings layer).
void serveCountyCadastre(Hosts& hosts, std::string_view teryt, std::vector<Feature> parcels,
                         std::optional<std::vector<Feature>> buildings,
                         WfsBehaviour behaviour = {});

// The national orthophoto WMS (layer "Raster", PL-1992 and every PL-2000 zone), answering every
// GetMap with the image.
inline constexpr const char* kOrthophotoPath = "/wss/service/PZGIK/ORTO/WMS/StandardResolution";
void serveOrthophoto(Hosts& hosts, std::string image, std::string imageType);

// The map-image services of teryt's county or commune, one per kind (Mpzp, Gesut, Bdot500),
// each with layers of its kind in PL-1992 and the PL-2000 zone zoneEpsg.
void serveLocalMaps(Hosts& hosts, std::string_view teryt, int zoneEpsg,
                    const std::vector<DataType>& kinds);

}  // namespace fakes
