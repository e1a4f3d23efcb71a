#pragma once
// The add-on as terraweft-host loads it, and its palettes by the names the program uses.

#include <map>
#include <string>

#include "GSRoot.h"
#include "GSTypes.h"

namespace twhost {

// Installs the add-on's resources as its own module, then calls its entry points in the host's
// order. Returns the first error.
GSErrCode loadAddOn();

// The palettes by their names: "map" and "cloud".
const std::map<std::string, GS::Guid>& palettes();

// The palette's name, or its GUID as text for a palette without one.
std::string paletteName(const GS::Guid& guid);

}  // namespace twhost
