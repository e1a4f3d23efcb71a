#pragma once
// The 25 roof primitives' names, in the registry's order.

#include <string>
#include <vector>

namespace lod2fit::test {

inline const std::vector<std::string> kPrimitiveNames{"Flat",
                                                      "Shed",
                                                      "Gabled",
                                                      "Hipped",
                                                      "Tent",
                                                      "HalfHipped",
                                                      "HippedOneSided",
                                                      "Mansard",
                                                      "FiveSidedGabled",
                                                      "AsymGabled",
                                                      "BerlinRoof",
                                                      "Barrel",
                                                      "Cone",
                                                      "Dome",
                                                      "Nave",
                                                      "GabledCross",
                                                      "GabledCorner",
                                                      "GabledTElement",
                                                      "ShedGabledCross",
                                                      "ShedBerlinCross",
                                                      "ShedCornerInvers",
                                                      "ShedGabledCorner",
                                                      "BerlinShedCorner",
                                                      "ShedDormer",
                                                      "GabledDormer"};

}  // namespace lod2fit::test
