#pragma once
// Fake web feature services on the loopback kit: a responder that serves named layers of
// features as a real service would (capabilities, GetFeature by box, paging, hit counts, the
// whole layer), and the pieces of query and GML text it is made of. Namespace `fakes`.
//
//   server.onRequest("/wfs", fakes::FeatureWfs({{"ms:dzialki", parcels}}));

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/Records.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

// How the service reads and answers requests.
struct WfsBehaviour {
    bool northingFirst = true;  // how a BBOX of WFS 2.0.0 is read (1.1.0: always northing first)
    bool wfs20 = true;          // false: 2.0.0 requests get an exception report
    bool refuses2180 = false;   // true: only boxes in a PL-2000 zone are served
    long long hits = -1;        // resultType=hits count; -1: the number of features of the layer
    bool paging = true;         // COUNT and STARTINDEX are honoured; false: the whole match
};

class FeatureWfs {
public:
    explicit FeatureWfs(std::vector<Layer> layers, WfsBehaviour behaviour = {});

    // GetCapabilities lists the layers; GetFeature answers one layer (typenames, or typename in
    // 1.1.0) with the features whose envelope meets the BBOX, in the reference system asked for
    // with SRSNAME, or the whole layer without a BBOX. Anything else: an exception report.
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    struct State;
    std::shared_ptr<const State> state_;
};

// The decoded value of a query parameter, its name compared without case; "" when absent.
std::string param(std::string_view query, std::string_view name);

// The features [first, end) of `matched` ones that a GetFeature asks for with STARTINDEX and
// COUNT (maxFeatures in 1.1.0); all of them without either.
struct PageRange {
    std::size_t first = 0;
    std::size_t end = 0;
};
PageRange pageOf(std::string_view query, std::size_t matched, bool wfs110 = false);

// A WFS 2.0.0 feature collection of the members (whole "<wfs:member>" elements) that the query
// asks for with STARTINDEX and COUNT, with numberReturned and numberMatched ("unknown" unless
// countsMatched).
std::string pagedMembers(const std::vector<std::string>& members, std::string_view query,
                         bool countsMatched);

// The raw queries of the requests to path that carried a BBOX, in order.
std::vector<std::string> boxQueries(const loopback::LoopbackServer& server, std::string_view path);

// A GML 3.2 feature collection of the features as elements named typeName, positions in the
// reference system epsg (2180 or a PL-2000 zone), northing first as its URN requires.
std::string featureCollection(const std::string& typeName, const std::vector<Feature>& features,
                              int epsg, bool wfs110);

std::string exceptionReport();

}  // namespace fakes
