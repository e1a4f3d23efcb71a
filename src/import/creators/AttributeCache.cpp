#include "import/creators/AttributeCache.h"

#include <cstring>

#include "ACAPinc.h"
#include "geodata/NameMatch.h"

namespace AcImporter {
namespace {

std::string nameOf(const API_Attribute& attribute) {
    return {attribute.header.name, ::strnlen(attribute.header.name, sizeof attribute.header.name)};
}

API_AttributeIndex lookUpVectorFill(const std::string& key) {
    GS::Array<API_Attribute> fills;
    if (ACAPI_Attribute_GetAttributesByType(API_FilltypeID, fills) != NoError)
        return 0;
    API_AttributeIndex first = 0;
    for (const API_Attribute& fill : fills) {
        if (fill.filltype.subType != APIFill_Vector)
            continue;
        if (first == 0)
            first = fill.header.index;
        if (!key.empty() && namematch::contains(namematch::asciiLower(nameOf(fill)), key))
            return fill.header.index;
    }
    return first;
}

API_AttributeIndex lookUpSolidFill() {
    GS::Array<API_Attribute> fills;
    if (ACAPI_Attribute_GetAttributesByType(API_FilltypeID, fills) != NoError)
        return 0;
    for (const API_Attribute& fill : fills) {
        if (fill.filltype.subType == APIFill_Solid)
            return fill.header.index;
    }
    return 0;
}

API_AttributeIndex lookUpBuildingMaterial() {
    GS::Array<API_Attribute> materials;
    if (ACAPI_Attribute_GetAttributesByType(API_BuildingMaterialID, materials) != NoError ||
        materials.IsEmpty()) {
        return 0;
    }
    return materials[0].header.index;
}

// The remembered answer in slot, asked for once; without a slot, asked for every time.
template <class Lookup>
API_AttributeIndex remembered(std::optional<API_AttributeIndex>* slot, Lookup lookUp) {
    if (slot == nullptr)
        return lookUp();
    if (!*slot)
        *slot = lookUp();
    return **slot;
}

}  // namespace

AttributeCache* AttributeCache::active_ = nullptr;

AttributeCache::AttributeCache() : owner_(active_ == nullptr) {
    if (owner_)
        active_ = this;
}

AttributeCache::~AttributeCache() {
    if (owner_)
        active_ = nullptr;
}

API_AttributeIndex AttributeCache::vectorFillIndex(const std::string& key) {
    if (active_ == nullptr)
        return lookUpVectorFill(key);
    const auto [entry, added] = active_->vectorFills_.try_emplace(key, 0);
    if (added)
        entry->second = lookUpVectorFill(key);
    return entry->second;
}

API_AttributeIndex AttributeCache::solidFillIndex() {
    return remembered(active_ != nullptr ? &active_->solidFill_ : nullptr, lookUpSolidFill);
}

API_AttributeIndex AttributeCache::buildingMaterialForMasses() {
    return remembered(active_ != nullptr ? &active_->buildingMaterial_ : nullptr,
                      lookUpBuildingMaterial);
}

}  // namespace AcImporter
