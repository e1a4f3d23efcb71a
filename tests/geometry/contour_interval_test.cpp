#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "geometry/PoziomiceValidation.h"

namespace {

TEST(ContourInterval, AllowedValues) {
    for (const double ok : {0.25, 0.5, 1.0, 2.0, 1.0000005, 0.2499995}) {
        EXPECT_TRUE(PoziomiceValidation::ciecieDozwolone(ok)) << ok;
    }
    for (const double bad :
         {0.1, 0.75, 5.0, 0.0, -1.0, 1.0000011, std::nan(""), double(INFINITY)}) {
        EXPECT_FALSE(PoziomiceValidation::ciecieDozwolone(bad)) << bad;
    }
    EXPECT_EQ(PoziomiceValidation::komunikatNiedozwolonegoCiecia(5.0),
              "Poziomice: ciecie 5,00 m nie jest dozwolona wartoscia (dozwolone: 0,25 / 0,5 / "
              "1,0 / 2,0 m) - poziomice pominiete.");
    EXPECT_EQ(PoziomiceValidation::komunikatNiedozwolonegoCiecia(0.3).substr(0, 23),
              "Poziomice: ciecie 0,30 ");
}

TEST(ContourInterval, MetreTexts) {
    EXPECT_EQ(PoziomiceValidation::formatM(0.25), "0,25");
    EXPECT_EQ(PoziomiceValidation::formatM(1.0), "1,00");
    EXPECT_EQ(PoziomiceValidation::formatM(2999.5), "2999,50");
    EXPECT_EQ(PoziomiceValidation::formatM(2.5e6), "2,5e+06");
    EXPECT_EQ(PoziomiceValidation::formatM(-0.004), "-0,00");
    EXPECT_EQ(PoziomiceValidation::formatM(-1e300), "-1e+300");
}

TEST(ContourInterval, StepKeepsTheGridWithin3000Nodes) {
    std::string msg = "stale";
    EXPECT_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 2999, 100}, 1.0, msg), 1.0);
    EXPECT_EQ(msg, "");

    EXPECT_DOUBLE_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 3000, 100}, 1.0, msg),
                     3000.0 / 2999.0);
    EXPECT_EQ(msg,
              "Poziomice: kadr za duzy dla kroku 1,00 m - siatka NMT ograniczona do 3000 wezlow "
              "na os. Uzyto kroku 1,00 m, aby zmiescic caly obszar.");

    EXPECT_DOUBLE_EQ(PoziomiceValidation::krokDlaLimitu({500, 700, 6500, 6700}, 1.0, msg),
                     6000.0 / 2999.0);
    EXPECT_NE(msg.find("Uzyto kroku 2,00 m"), std::string::npos);

    // A step not above 0 counts as 1, in the test and in the text.
    EXPECT_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 10, 10}, 0.0, msg), 1.0);
    EXPECT_EQ(msg, "");
    EXPECT_DOUBLE_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 100, 3000}, -2.0, msg),
                     3000.0 / 2999.0);
    EXPECT_NE(msg.find("kroku 1,00 m - siatka"), std::string::npos);

    // A coarse step that already fits stays; frames past 32-bit node counts are handled.
    EXPECT_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 5000, 5000}, 2.0, msg), 2.0);
    EXPECT_DOUBLE_EQ(PoziomiceValidation::krokDlaLimitu({0, 0, 1e13, 1}, 1.0, msg), 1e13 / 2999);
}

}  // namespace
