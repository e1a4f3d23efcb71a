#include "geodata/ServiceConfig.h"

#include <cstdlib>
#include <mutex>

namespace services {
namespace {

void dropTrailingSlashes(std::string& address) {
    while (!address.empty() && address.back() == '/')
        address.pop_back();
}

void overlay(std::string& field, const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        return;
    field = value;
    dropTrailingSlashes(field);
}

Endpoints normalised(Endpoints e) {
    for (std::string* field : {&e.geoportalMaps, &e.openData, &e.planningRegister, &e.overpass,
                               &e.photon, &e.nominatim, &e.countyOverride}) {
        dropTrailingSlashes(*field);
    }
    return e;
}

Endpoints fromEnvironment() {
    Endpoints e;
    overlay(e.geoportalMaps, "TERRAWEFT_GEOPORTAL_URL");
    overlay(e.openData, "TERRAWEFT_OPENDATA_URL");
    overlay(e.planningRegister, "TERRAWEFT_REGISTER_URL");
    overlay(e.overpass, "TERRAWEFT_OVERPASS_URL");
    overlay(e.photon, "TERRAWEFT_PHOTON_URL");
    overlay(e.nominatim, "TERRAWEFT_NOMINATIM_URL");
    overlay(e.countyOverride, "TERRAWEFT_COUNTY_URL");
    return e;
}

std::mutex mutex;
Endpoints& current() {
    static Endpoints e = fromEnvironment();
    return e;
}

}  // namespace

Endpoints endpoints() {
    const std::lock_guard lock(mutex);
    return current();
}

void setEndpoints(const Endpoints& e) {
    const std::lock_guard lock(mutex);
    current() = normalised(e);
}

void resetEndpoints() {
    const std::lock_guard lock(mutex);
    current() = fromEnvironment();
}

}  // namespace services
