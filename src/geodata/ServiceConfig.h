#pragma once
// Base addresses (scheme and host, no trailing "/") of every outside service. Paths, query keys
// and feature-type names stay with the clients. Tests and the stand-in host point a service at a
// loopback server with setEndpoints, or with the environment variable named beside each field,
// which is read once, at the first use.

#include <string>

namespace services {

struct Endpoints {
    std::string geoportalMaps = "https://mapy.geoportal.gov.pl";  // TERRAWEFT_GEOPORTAL_URL
    std::string openData = "https://opendata.geoportal.gov.pl";   // TERRAWEFT_OPENDATA_URL
    std::string planningRegister = "https://rejestrurbanistyczny.gov.pl";  // TERRAWEFT_REGISTER_URL
    std::string overpass = "https://overpass-api.de";                      // TERRAWEFT_OVERPASS_URL
    std::string photon = "https://photon.komoot.io";                       // TERRAWEFT_PHOTON_URL
    std::string nominatim = "https://nominatim.openstreetmap.org";  // TERRAWEFT_NOMINATIM_URL
    // When set, replaces scheme and host of every county and commune service address of the
    // built-in tables (the path stays): TERRAWEFT_COUNTY_URL.
    std::string countyOverride;
};

// A copy of the addresses in force: safe to call from any thread.
Endpoints endpoints();

// Replaces all addresses (tests, the stand-in host); trailing "/" are dropped.
void setEndpoints(const Endpoints& e);

// Restores the defaults overlaid with the environment.
void resetEndpoints();

}  // namespace services
