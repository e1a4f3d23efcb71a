#include <gtest/gtest.h>

#include <string>

#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"

namespace lod2fit {
namespace {

TEST(PrimitiveRegistry, HoldsTheTwentyFivePrimitivesOnceInTheirOrder) {
    registerAllPrimitives();
    registerAllPrimitives();
    const auto& all = registeredPrimitives();
    ASSERT_EQ(all.size(), 25u);
    const char* order[] = {"Flat",
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
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(std::string(all[i]->name()), order[i]);
    }
}

TEST(PrimitiveRegistry, FindsByExactName) {
    registerAllPrimitives();
    EXPECT_EQ(findPrimitive("gabled"), nullptr);
    EXPECT_EQ(findPrimitive("Gable"), nullptr);
    EXPECT_EQ(findPrimitive("GabledDormer"), registeredPrimitives().back());
    EXPECT_EQ(std::string(findPrimitive("Gabled")->name()), "Gabled");
}

TEST(PrimitiveRegistry, RegisterRoofAppendsWithoutLookingForDuplicates) {
    registerAllPrimitives();
    static const Flat another;
    registerRoof(&another);
    registerRoof(nullptr);  // ignored
    EXPECT_EQ(registeredPrimitives().size(), 26u);
    EXPECT_NE(findPrimitive("Flat"), &another);  // the first of equal names wins
    registerAllPrimitives();
    EXPECT_EQ(registeredPrimitives().size(), 25u);
}

}  // namespace
}  // namespace lod2fit
