#include <cstring>
#include <string>

#include "APIdefs.h"

// API_Guid has the same 16-byte layout as the binary form of GS::Guid.
static_assert(sizeof(API_Guid) == 16);

API_Guid GSGuid2APIGuid(const GS::Guid& guid) {
    API_Guid result{};
    std::memcpy(&result, guid.GetBytes().data(), sizeof result);
    return result;
}

GS::Guid APIGuid2GSGuid(const API_Guid& guid) {
    GS::Guid::Bytes bytes{};
    std::memcpy(bytes.data(), &guid, sizeof guid);
    return GS::Guid(bytes);
}

GS::UniString APIGuidToString(const API_Guid& guid) {
    return GS::UniString("{") + APIGuid2GSGuid(guid).ToUniString() + GS::UniString("}");
}

API_Guid APIGuidFromString(const char* text) {
    return GSGuid2APIGuid(GS::Guid(text));
}

std::size_t std::hash<API_Guid>::operator()(const API_Guid& g) const noexcept {
    std::uint64_t halves[2];
    std::memcpy(halves, &g, sizeof halves);
    return std::hash<std::uint64_t>()(halves[0] ^ (halves[1] * 0x9E3779B97F4A7C15ull));
}
