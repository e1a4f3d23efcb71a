#pragma once
// Points service base addresses at test servers for the life of the object and restores the
// defaults afterwards:
//   loopback::ScopedEndpoints endpoints{{&services::Endpoints::geoportalMaps, server.url()}};
// Header-only: only test programs that link the geodata library include it.

#include <initializer_list>
#include <string>
#include <utility>

#include "geodata/ServiceConfig.h"

namespace loopback {

class ScopedEndpoints {
public:
    using Field = std::string services::Endpoints::*;

    ScopedEndpoints(std::initializer_list<std::pair<Field, std::string>> addresses) {
        services::Endpoints e = services::endpoints();
        for (const auto& [field, address] : addresses)
            e.*field = address;
        services::setEndpoints(e);
    }
    ~ScopedEndpoints() { services::resetEndpoints(); }
    ScopedEndpoints(const ScopedEndpoints&) = delete;
    ScopedEndpoints& operator=(const ScopedEndpoints&) = delete;
};

}  // namespace loopback
