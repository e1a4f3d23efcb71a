#pragma once
// Parcels and buildings of an area from the land-registry WFS of the county that holds it. The
// feature-type names come from the service's capabilities by keywords; the features are asked
// for with up to four request variants (WFS version, axis order and reference system of the
// box), and the variant that first brought a feature inside the area is remembered for that
// service and type. As a last resort a layer of at most 200000 features is downloaded whole and
// filtered by the area. One resolver serves one fetch on one thread.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "DataType.h"
#include "geodata/GisTypes.h"
#include "geodata/WfsClient.h"

class EgibResolver {
public:
    // Feature-type names of the service; "" when not found.
    struct Typenames {
        std::string parcels;
        std::string buildings;
    };

    explicit EgibResolver(WfsClient& client) : client_(client) {}

    // The county's land-registry WFS address by the first 4 characters of the code; "" for a
    // shorter code, one that is no county, or a county without a collected address.
    static std::string urlForTeryt(std::string_view teryt);

    // Names from the service's GetCapabilities, asked once per address while the resolver
    // lives; false when neither was found or the service did not answer with status 200 (out is
    // then left alone, and a later call asks again).
    bool discoverTypenames(const std::string& wfsUrl, Typenames& out);

    // The first current parcel and building names among the "Name" elements of a capabilities
    // text; an archive, history or description type is kept only while nothing better came.
    static Typenames matchTypenames(std::string_view capabilitiesXml);

    // The features of one type for the area; every feature of the answer that brought one inside
    // the area (only those inside after a whole-layer download). Empty when nothing came. stop
    // is asked before every request; once it holds, what came so far is handed back.
    std::vector<GisFeature> fetch(const std::string& wfsUrl, const std::string& typeName,
                                  const Bbox& area, DataType kind,
                                  const WfsClient::CellProgress& progress,
                                  const WfsClient::StopRequested& stop = {});

    // Whether the service answered the last discoverTypenames or fetch: for a fetch, when any of
    // its requests got a WFS answer, unless the whole layer it then went for did not come.
    const ServiceReach& reach() const { return reach_; }

    // The cells of the last fetch's tiled download that did not come whole (failed, or holding
    // more features than could be paged through), of how many; none after a whole layer came.
    struct Cells {
        int missing = 0;
        int total = 0;
    };
    const Cells& cells() const { return cells_; }

private:
    std::vector<GisFeature> fetchWholeLayer(const std::string& wfsUrl, const std::string& typeName,
                                            const Bbox& area, DataType kind,
                                            const WfsClient::CellProgress& progress,
                                            const WfsClient::StopRequested& stop,
                                            ReachTally& reach);

    WfsClient& client_;
    ServiceReach reach_;
    Cells cells_;
    std::map<std::string, Typenames> capabilities_;  // by WFS address
    std::map<std::string, int> variants_;            // by address + "|" + type name
};
