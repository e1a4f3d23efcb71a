#include "geodata/B3dCatalog.h"

#include <algorithm>

#include "geodata/ServiceConfig.h"

namespace {

constexpr std::size_t kCountyDigits = 4;

bool isCountyCode(std::string_view code) {
    return code.size() == kCountyDigits &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string packageUrl(std::string_view path) {
    return services::endpoints().openData + "/InneDane/Budynki3D/" + std::string(path);
}

}  // namespace

const std::vector<int>& B3dCatalog::years() {
    static const std::vector<int> list{2024, 2022, 2021, 2019};
    return list;
}

std::string B3dCatalog::urlFor(std::string_view county, int year) {
    if (!isCountyCode(county))
        return {};
    const std::string code(county);
    return packageUrl("LOD1/" + std::to_string(year) + "/" + code.substr(0, 2) + "/" + code +
                      ".zip");
}

std::string B3dCatalog::urlForResolvedTeryt(std::string_view teryt, int year) {
    if (teryt.size() < kCountyDigits)
        return {};
    return urlFor(teryt.substr(0, kCountyDigits), year);
}

std::string B3dCatalog::urlForLod2(std::string_view county) {
    if (!isCountyCode(county))
        return {};
    return packageUrl("LOD2/" + std::string(county) + "_gml.zip");
}

std::string B3dCatalog::urlForLod2ResolvedTeryt(std::string_view teryt) {
    if (teryt.size() < kCountyDigits)
        return {};
    return urlForLod2(teryt.substr(0, kCountyDigits));
}
