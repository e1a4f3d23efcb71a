#pragma once
// The in-memory project as JSON, as terraweft-host's "dump" command prints it and tests read it:
// layers, surface materials, every element with the fields and memo parts it was created with,
// the geo-location, the selection (as positions in the element list) and the undo depth.

#include <nlohmann/json.hpp>

namespace host {

// Members keep the documented order (host/README.md and README.md list them).
nlohmann::ordered_json projectJson();

}  // namespace host
