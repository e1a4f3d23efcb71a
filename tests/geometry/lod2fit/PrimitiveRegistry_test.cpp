#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PrimitiveNames.h"
#include "geometry/lod2fit/Flat.h"
#include "geometry/lod2fit/PrimitiveRegistry.h"

namespace lod2fit {
namespace {

TEST(PrimitiveRegistry, HoldsTheTwentyFivePrimitivesOnceInTheirOrder) {
    registerAllPrimitives();
    registerAllPrimitives();
    const auto& all = registeredPrimitives();
    ASSERT_EQ(all.size(), 25u);
    std::vector<std::string> names;
    for (const auto* primitive : all) {
        names.emplace_back(primitive->name());
    }
    EXPECT_EQ(names, test::kPrimitiveNames);
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
