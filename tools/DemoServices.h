#pragma once
// The demo area of serve mode: the outside services the add-on asks, answered on 127.0.0.1 for
// one small town generated at start-up (demo/fakes/Town.h), so that every kind of data can be
// fetched and placed without the national services.

#include <cstdint>
#include <memory>

#include "APIdefs.h"
#include "fakes/Hosts.h"
#include "fakes/Lidar.h"
#include "fakes/Town.h"
#include "geodata/ServiceConfig.h"

namespace twhost {

// The seed of the demo's town.
inline constexpr std::uint32_t kDemoSeed = 1816;

class DemoServices {
public:
    // Generates the town and starts serving it: the municipality boundaries, the county's land
    // registry and map images, the new-buildings service, the planning register, the
    // orthophoto, the terrain and surface models, the LiDAR sheet, the LoD1 and LoD2 packages,
    // the OpenStreetMap ways and the geocoders.
    explicit DemoServices(std::uint32_t seed = kDemoSeed);

    const fakes::Town& town() const { return town_; }

    // The add-on's service addresses, every one at its server here.
    services::Endpoints endpoints() const { return hosts_.endpoints(); }

    // A georeference of the project whose survey point is the town's middle, on the ground,
    // in the PL-2000 zone of the town.
    API_GeoLocation geoLocation() const;

private:
    fakes::Town town_;
    fakes::Hosts hosts_;
    std::unique_ptr<fakes::LidarSheets> lidar_;
};

}  // namespace twhost
