#pragma once
// The wings of the composite roofs: basic roofs on rectangles cut from the footprint's bounding
// box. Each composite joins its wings as separate, overlapping solids.

#include "geometry/lod2fit/Footprint.h"
#include "geometry/lod2fit/RoofParams.h"
#include "geometry/lod2fit/SolidMesh.h"

namespace lod2fit::wings {

using WingBuilder = SolidMesh (*)(const RoofParams&, const PlanBox&);

// The first wing's solid with the second's appended; a footprint without area gives nothing.
SolidMesh twoWings(const RoofParams& params, const Footprint& footprint, WingBuilder first,
                   WingBuilder second);

// Gabled over the whole box, ridge along x at its middle.
SolidMesh gabledBox(const RoofParams& params, const PlanBox& box);

// Gabled or AsymGabled over the central strip along x, half the depth wide.
SolidMesh gabledStripAlongX(const RoofParams& params, const PlanBox& box);
SolidMesh asymStripAlongX(const RoofParams& params, const PlanBox& box);
// Gabled over the central strip along y, half the width wide, ridge along y.
SolidMesh gabledStripAlongY(const RoofParams& params, const PlanBox& box);
// Shed over that strip, low along its high-x side, high along its low-x side.
SolidMesh shedStripAlongY(const RoofParams& params, const PlanBox& box);

// The T: Gabled over the high-y half, and over a central stem of 0.44 of the width along y.
SolidMesh gabledHighYHalf(const RoofParams& params, const PlanBox& box);
SolidMesh gabledStem(const RoofParams& params, const PlanBox& box);

// Gabled or AsymGabled over the low-y half, ridge along x.
SolidMesh gabledLowYHalf(const RoofParams& params, const PlanBox& box);
SolidMesh asymLowYHalf(const RoofParams& params, const PlanBox& box);
// Gabled over the low-x half, ridge along y.
SolidMesh gabledLowXHalf(const RoofParams& params, const PlanBox& box);
// Sheds over the low-x and the low-y half, each high along the box's outer side.
SolidMesh shedLowXHalf(const RoofParams& params, const PlanBox& box);
SolidMesh shedLowYHalf(const RoofParams& params, const PlanBox& box);

}  // namespace lod2fit::wings
