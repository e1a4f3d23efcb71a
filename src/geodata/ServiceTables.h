#pragma once
// The built-in tables of county and commune services: territorial (TERYT) code -> WMS and WFS
// endpoint. The rows are generated at build time from data/county-services.csv; they stand in
// ascending order of the code, no code occurs twice, and an endpoint nobody collected is "".

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

struct ServiceRow {
    std::string_view teryt;
    std::string_view wms;
    std::string_view wfs;
};

// Land registry (parcels and buildings), 380 counties, 4-digit keys.
namespace EgibUrls {
extern const std::span<const ServiceRow> TABLE;
}
// Utility networks, 380 counties, 4-digit keys.
namespace GesutUrls {
extern const std::span<const ServiceRow> TABLE;
}
// 1:500 topographic map, 380 counties, 4-digit keys.
namespace Bdot500Urls {
extern const std::span<const ServiceRow> TABLE;
}
// Local zoning plans, communes, 6-digit keys (county code and commune number).
namespace MpzpUrls {
extern const std::span<const ServiceRow> TABLE;
}

namespace servicetables {

inline constexpr std::size_t kCountyKeyLength = 4;
inline constexpr std::size_t kCommuneKeyLength = 6;

// The row whose code equals the first keyLength characters of teryt (the rest of a longer code
// is ignored); nullptr for a shorter code or one that is no key.
const ServiceRow* find(std::span<const ServiceRow> table, std::string_view teryt,
                       std::size_t keyLength);

// A table endpoint as it is to be asked: with scheme and host replaced by the configured county
// override when one is set. "" stays "".
std::string address(std::string_view endpoint);

}  // namespace servicetables
