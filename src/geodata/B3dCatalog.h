#pragma once
// Download addresses of the national 3D building packages of a county: one LoD1 package per
// publication year, one LoD2 package. The host is the configured open-data service.

#include <string>
#include <string_view>
#include <vector>

class B3dCatalog {
public:
    // The LoD1 publication years, newest first: the order in which packages are tried.
    static const std::vector<int>& years();

    // LoD1 package of a county code (exactly four digits) and year; "" for any other code.
    static std::string urlFor(std::string_view county, int year);
    // LoD1 package of the county of a TERYT code (its first four characters); "" when shorter.
    static std::string urlForResolvedTeryt(std::string_view teryt, int year);

    // LoD2 package of a county code (exactly four digits); "" for any other code.
    static std::string urlForLod2(std::string_view county);
    // LoD2 package of the county of a TERYT code (its first four characters); "" when shorter.
    static std::string urlForLod2ResolvedTeryt(std::string_view teryt);
};
