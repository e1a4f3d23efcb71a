#pragma once
// The WMS and WFS services of a county or commune from the built-in tables, and the layer and
// feature-type names of a service read out of its GetCapabilities document by plain text search.
// Everything here is a pure function.

#include <string>
#include <string_view>
#include <vector>

#include "DataType.h"

class LocalServices {
public:
    // Either address may be ""; a failed lookup gives both empty.
    struct Service {
        std::string wms;
        std::string wfs;
    };

    // Looked up by the first 4 characters of the code (a longer commune or parcel code may be
    // passed); a shorter code or one that is no key gives an empty Service.
    static Service gesutFor(std::string_view teryt);
    static Service bdot500For(std::string_view teryt);
    // Looked up by the first 6 characters (county code and commune number).
    static Service mpzpFor(std::string_view teryt);

    // Layer names of a WMS capabilities document, in document order without repeats, leaving
    // out "default", "WMS", "WFS" and names holding a blank.
    static std::vector<std::string> wmsLayerNames(std::string_view capabilitiesXml);
    // Of those, the names that belong to utility networks (Gesut) or to the 1:500 map (Bdot500);
    // any other kind gets every layer name.
    static std::vector<std::string> wmsLayersForType(std::string_view capabilitiesXml,
                                                     DataType kind);
    // Feature types of utility lines: names holding "przewod" (any case).
    static std::vector<std::string> gesutLineTypenames(std::string_view capabilitiesXml);
    // At most 5 feature types of a zoning-plan service, area names before line names.
    static std::vector<std::string> mpzpVectorTypenames(std::string_view capabilitiesXml);
};
