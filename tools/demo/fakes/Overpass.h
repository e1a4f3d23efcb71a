#pragma once
// A fake Overpass API endpoint (OpenStreetMap ways) on the loopback kit. Namespace `fakes`.
//
//   hosts.overpass.onRequest(fakes::Overpass::kPath, fakes::Overpass({bridge, road}));

#include <memory>
#include <vector>

#include "fakes/Records.h"
#include "loopback/LoopbackServer.h"

namespace fakes {

// "/api/interpreter?data=<query>": the ways the query's clauses ask for, as an "out geom" JSON
// answer, nodes in WGS84. A way is a feature with one line (PL-1992) whose properties are its
// tags; a "bridge" clause takes the ways tagged bridge "yes" or "viaduct", a "highway" clause the
// ways with a highway tag. The area of the query is not looked at.
class Overpass {
public:
    static constexpr const char* kPath = "/api/interpreter";
    explicit Overpass(std::vector<Feature> ways);
    loopback::Answer operator()(const loopback::Request& request) const;

private:
    std::shared_ptr<const std::vector<Feature>> ways_;
};

}  // namespace fakes
