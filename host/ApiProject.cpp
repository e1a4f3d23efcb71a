// Attributes and geo-location of the in-memory project.

#include <cstring>

#include "ACAPinc.h"
#include "HostState.h"

using host::detail::enter;
using host::detail::state;

namespace {

bool sameName(const API_Attribute& a, const char* name) {
    return std::strncmp(a.header.name, name, sizeof a.header.name) == 0;
}

}  // namespace

GSErrCode ACAPI_Attribute_GetAttributesByType(API_AttrTypeID typeID,
                                              GS::Array<API_Attribute>& attributes) {
    if (const auto err = enter("ACAPI_Attribute_GetAttributesByType"))
        return *err;
    attributes.Clear();
    const auto& all = state().project.attributes;
    const auto it = all.find(typeID);
    if (it == all.end())
        return NoError;
    for (const auto& a : it->second)
        attributes.Push(a);
    return NoError;
}

GSErrCode ACAPI_Attribute_Get(API_Attribute* attribute) {
    if (const auto err = enter("ACAPI_Attribute_Get"))
        return *err;
    if (attribute == nullptr)
        return APIERR_BADPARS;
    const API_Attribute* found =
        host::detail::findAttribute(attribute->header.typeID, attribute->header.index);
    if (found == nullptr)
        return APIERR_BADINDEX;
    *attribute = *found;
    return NoError;
}

GSErrCode ACAPI_Attribute_Create(API_Attribute* attribute, API_AttributeDefExt*) {
    if (const auto err = enter("ACAPI_Attribute_Create"))
        return *err;
    if (attribute == nullptr)
        return APIERR_BADPARS;
    if (state().commandDepth == 0)
        return APIERR_NEEDSUNDOSCOPE;
    const API_AttrTypeID type = attribute->header.typeID;
    if (type == API_ZombieAttrID)
        return APIERR_BADID;
    if (std::memchr(attribute->header.name, '\0', sizeof attribute->header.name) == nullptr ||
        attribute->header.name[0] == '\0') {
        return APIERR_BADNAME;
    }
    auto& list = state().project.attributes[type];
    API_AttributeIndex last = 0;
    for (const auto& a : list) {
        if (sameName(a, attribute->header.name))
            return APIERR_NAMEALREADYUSED;
        last = std::max(last, a.header.index);
    }
    attribute->header.index = last + 1;
    list.push_back(*attribute);
    return NoError;
}

GSErrCode ACAPI_GeoLocation_GetGeoLocation(API_GeoLocation* geoLocation) {
    if (const auto err = enter("ACAPI_GeoLocation_GetGeoLocation"))
        return *err;
    if (geoLocation == nullptr)
        return APIERR_BADPARS;
    *geoLocation = state().geo;
    return NoError;
}

GSErrCode ACAPI_GeoLocation_SetGeoLocation(const API_GeoLocation* geoLocation) {
    if (const auto err = enter("ACAPI_GeoLocation_SetGeoLocation"))
        return *err;
    if (geoLocation == nullptr)
        return APIERR_BADPARS;
    state().geo = *geoLocation;
    return NoError;
}
