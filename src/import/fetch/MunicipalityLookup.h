#pragma once
// Which municipality holds an area: its TERYT code from the national administrative-boundaries
// WFS, asked for a 2 m box at the area's centre. The last answer is kept and reused for any area
// whose centre lies within 10 km of it. When the boundaries' feature type gives no code although
// the service answered, its capabilities are searched once per lookup object for another
// municipality layer. One object serves one thread.

#include <optional>
#include <string>
#include <utility>

#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

class MunicipalityLookup {
public:
    static constexpr const char* kDefaultTypename = "ms:A03_Granice_gmin";
    static constexpr const char* kServicePath =
        "/wss/service/PZGIK/PRG/WFS/AdministrativeBoundaries";

    // The 6-digit TERYT code of the municipality at the box's centre ("" when it is not found),
    // and whether the boundaries service answered.
    struct Found {
        std::string teryt;
        ServiceReach reach;
    };
    Found find(WfsClient& client, const Bbox& bbox);
    std::string terytForBbox(WfsClient& client, const Bbox& bbox) {
        return find(client, bbox).teryt;
    }

    // A lookup that did not reach the service is given again for the same centre, without
    // asking, until this is called (at the start of every fetch).
    void forgetUnreached() { unreached_.reset(); }

    // The best municipality layer among the "<Name>" texts of a capabilities document: a name
    // holding "gmin" (and not "obrony"), preferably also "granice"; "" when there is none.
    static std::string municipalityTypename(const std::string& capabilities);

private:
    Found queryTeryt(WfsClient& client, const GisPoint& centre) const;
    // Whether the capabilities named another layer than the one in use (which is then taken).
    bool discoverTypename(WfsClient& client);

    std::string lastTeryt_;
    double lastTerytX_ = 0.0;
    double lastTerytY_ = 0.0;
    std::string prgTypename_;
    bool prgTypenameDiscovered_ = false;
    std::optional<std::pair<GisPoint, Found>> unreached_;  // the centre asked, the outcome
};
