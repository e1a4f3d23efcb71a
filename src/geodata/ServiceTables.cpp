#include "geodata/ServiceTables.h"

#include "geodata/ServiceConfig.h"

namespace servicetables {

const ServiceRow* find(std::span<const ServiceRow> table, std::string_view teryt,
                       std::size_t keyLength) {
    if (teryt.size() < keyLength)
        return nullptr;
    const std::string_view key = teryt.substr(0, keyLength);
    for (const ServiceRow& row : table) {
        if (row.teryt.size() == keyLength && row.teryt == key)
            return &row;
    }
    return nullptr;
}

std::string address(std::string_view endpoint) {
    const std::string base = services::endpoints().countyOverride;
    if (endpoint.empty() || base.empty())
        return std::string(endpoint);
    const std::size_t scheme = endpoint.find("://");
    if (scheme == std::string_view::npos)
        return std::string(endpoint);
    const std::size_t pathStart = endpoint.find_first_of("/?#", scheme + 3);
    const std::string_view rest =
        pathStart == std::string_view::npos ? std::string_view() : endpoint.substr(pathStart);
    return base + std::string(rest);
}

}  // namespace servicetables
