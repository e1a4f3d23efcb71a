#pragma once
// Bridge axes of a county from the national 1:10,000 topographic database: the county's GML
// package comes from the open-data service through the download cache, and the sheet of linear
// structures (OT_BUIN_L) gives each bridge's axis, kind and local identifier.

#include <string>
#include <utility>
#include <vector>

class WfsClient;

struct Bdot10kBridge {
    std::vector<std::pair<double, double>> points;  // axis vertices as written in the posList
    std::string rodzaj;
    std::string lokalnyId;
};

class Bdot10kClient {
public:
    // The bridges of the county teryt (four digits); an empty list with a Polish message on
    // failure.
    static std::vector<Bdot10kBridge> bridgesFor(const std::string& teryt, WfsClient& client,
                                                 std::string& message);

    static std::vector<Bdot10kBridge> parseOtBuinL(const std::string& xml);

    // The download-service query that names the county's package; "" unless teryt is four
    // digits.
    static std::string urlForTeryt(const std::string& teryt);

    // The package address in that query's answer; "" when absent.
    static std::string parseUrlGml(const std::string& xml);

    // The package address on the open-data service.
    static std::string packageUrl(const std::string& teryt);
};
