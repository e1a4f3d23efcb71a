#include "LayerMapper.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "ACAPinc.h"

namespace LayerMapper {
namespace {

constexpr std::size_t kMaxNameBytes = sizeof(API_Attr_Head::name) - 1;

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string headerName(const API_Attr_Head& header) {
    return {header.name, ::strnlen(header.name, sizeof header.name)};
}

std::optional<API_AttributeIndex> findByName(API_AttrTypeID type, const std::string& name) {
    GS::Array<API_Attribute> attributes;
    if (ACAPI_Attribute_GetAttributesByType(type, attributes) != NoError)
        return std::nullopt;
    for (const API_Attribute& attribute : attributes) {
        if (headerName(attribute.header) == name)
            return attribute.header.index;
    }
    return std::nullopt;
}

// The attribute of the prototype's type named `name`, or a new one made from the prototype.
API_AttributeIndex findOrCreate(API_Attribute prototype, const std::string& name) {
    const std::string stored = storedName(name);
    if (const auto found = findByName(prototype.header.typeID, stored))
        return *found;
    std::memcpy(prototype.header.name, stored.data(), stored.size());
    if (ACAPI_Attribute_Create(&prototype, nullptr) != NoError)
        return 0;
    return prototype.header.index;
}

}  // namespace

std::string storedName(const std::string& name) {
    std::size_t length = std::min(::strnlen(name.c_str(), name.size()), kMaxNameBytes);
    if (length < name.size()) {
        while (length > 0 && isContinuationByte(name[length]))
            --length;
    }
    return name.substr(0, length);
}

std::vector<std::string> listProjectLayers() {
    GS::Array<API_Attribute> layers;
    if (ACAPI_Attribute_GetAttributesByType(API_LayerID, layers) != NoError)
        return {};
    std::vector<std::string> names;
    for (const API_Attribute& layer : layers)
        names.push_back(headerName(layer.header));
    return names;
}

API_AttributeIndex ensureLayer(const std::string& name) {
    API_Attribute layer{};
    layer.header.typeID = API_LayerID;
    return findOrCreate(layer, name);
}

API_AttributeIndex ensureMaterial(const std::string& name, double r, double g, double b) {
    API_Attribute material{};
    material.header.typeID = API_MaterialID;
    material.material.mtype = APIMater_MatteID;
    material.material.ambientPc = 70;
    material.material.diffusePc = 70;
    material.material.surfaceRGB = {r, g, b};
    material.material.specularRGB = {r, g, b};
    return findOrCreate(material, name);
}

}  // namespace LayerMapper
