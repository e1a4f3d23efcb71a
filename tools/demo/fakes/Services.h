#pragma once
// Fake services other than plain WFS, on the loopback kit: the planning register's REST API and
// the Nominatim and Photon geocoders, each answering from records given by the caller.
// Namespace `fakes`.

#include <memory>
#include <string>
#include <vector>

#include "fakes/Records.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

// The register's query ("/api/public/published/query": the acts of the communes whose code
// begins with the first code of the query's tercCodeList) and the download of each act's zones
// ("/api/public/published/<id>/download", a GML feature collection).
class PlanningRegister {
public:
    static constexpr const char* kQueryPath = "/api/public/published/query";
    static constexpr const char* kZoneTypename = "app:StrefaPlanistyczna";

    explicit PlanningRegister(std::vector<PlanAct> acts) : acts_(std::move(acts)) {}
    void mount(loopback::LoopbackServer& server) const;

private:
    std::vector<PlanAct> acts_;
};

// "/search?q=...&limit=N": the places whose label holds the query (ASCII case ignored), as
// Nominatim's JSON array with "lat" and "lon" as texts and "display_name".
class Nominatim {
public:
    static constexpr const char* kPath = "/search";
    explicit Nominatim(std::vector<Place> places);
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    std::shared_ptr<const std::vector<Place>> places_;
};

// "/api/?q=...&limit=N": the same places as Photon's GeoJSON features, coordinates
// [longitude, latitude] and the address parts as properties.
class Photon {
public:
    static constexpr const char* kPath = "/api/";
    explicit Photon(std::vector<Place> places);
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    std::shared_ptr<const std::vector<Place>> places_;
};

// name, street with number, city and county of the place, joined by ", ".
std::string labelOf(const Place& place);

}  // namespace fakes
