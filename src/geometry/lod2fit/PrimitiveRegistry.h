#pragma once
// The process-wide list of roof primitives, found by name.
//
// The list has no lock: registerAllPrimitives and registerRoof must not run while another thread
// reads it. Once filled, any number of threads may look primitives up and emit with them.

#include <string_view>
#include <vector>

#include "geometry/lod2fit/RoofPrimitive.h"

namespace lod2fit {

// Empties the list and registers the 25 primitives in their fixed order, from Flat to
// GabledDormer; calling it again gives the same 25 entries.
void registerAllPrimitives();

// Appends the primitive, which must outlive the list; duplicates are not looked for and null is
// ignored.
void registerRoof(const RoofPrimitive* primitive);

// The first primitive whose name equals the text exactly (case-sensitive); null when none does.
const RoofPrimitive* findPrimitive(std::string_view name);

// The registered primitives in order.
const std::vector<const RoofPrimitive*>& registeredPrimitives();

}  // namespace lod2fit
