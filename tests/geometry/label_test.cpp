#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "geometry/ContourLabeler.h"

namespace {

constexpr double kPi = std::numbers::pi;

// An index contour along the easting axis, `length` metres long, with a point every 10 m.
Warstwica eastward(double length, bool major = true) {
    Warstwica w{125.0, major, {}};
    for (double x = 0.0; x < length; x += 10.0) {
        w.pts.push_back({x, 0.0});
    }
    w.pts.push_back({length, 0.0});
    return w;
}

std::vector<double> stationsOf(const Warstwica& w) {
    std::vector<double> xs;
    for (const PodpisRzednej& p : ContourLabeler::rozmiesc(w)) {
        xs.push_back(p.pos.x);
    }
    return xs;
}

TEST(ContourLabels, StationsAlongIndexContours) {
    EXPECT_EQ(stationsOf(eastward(30.0)), (std::vector<double>{15.0}));
    EXPECT_EQ(stationsOf(eastward(50.0)), (std::vector<double>{25.0}));
    EXPECT_EQ(stationsOf(eastward(120.0)), (std::vector<double>{25.0, 75.0}));
    EXPECT_EQ(stationsOf(eastward(125.0)), (std::vector<double>{25.0, 75.0}));
    EXPECT_EQ(stationsOf(eastward(175.5)), (std::vector<double>{25.0, 75.0, 125.0, 175.0}));
    EXPECT_TRUE(stationsOf(eastward(500.0, false)).empty());
    EXPECT_TRUE(ContourLabeler::rozmiesc({5.0, true, {{1, 1}}}).empty());
    EXPECT_TRUE(ContourLabeler::rozmiesc({5.0, true, {{1, 1}, {1, 1}}}).empty());
    // Unusable coordinates give no label rather than an endless station walk.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(ContourLabeler::rozmiesc({5.0, true, {{0, 0}, {inf, 0}}}).empty());
    EXPECT_TRUE(ContourLabeler::rozmiesc({5.0, true, {{0, 0}, {std::nan(""), 0}}}).empty());
    EXPECT_TRUE(ContourLabeler::rozmiesc({5.0, true, {{0, 0}, {1e300, 0}}}).empty());
    EXPECT_EQ(ContourLabeler::rozmiesc({5.0, true, {{0, 0}, {1e6, 0}}}).size(), 20000u);

    const auto labels = ContourLabeler::rozmiesc(eastward(30.0));
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].text, "125,00");
    EXPECT_EQ(labels[0].pos.y, 0.0);
}

TEST(ContourLabels, AnglesNeverReadUpsideDown) {
    const auto angleOf = [](std::vector<GisPoint> pts) {
        return ContourLabeler::rozmiesc({10.0, true, std::move(pts)}).at(0).angle;
    };
    EXPECT_DOUBLE_EQ(angleOf({{0, 0}, {-10, 0}}), 0.0);        // due west
    EXPECT_DOUBLE_EQ(angleOf({{0, 0}, {0, -10}}), kPi / 2);    // due south
    EXPECT_DOUBLE_EQ(angleOf({{0, 0}, {-10, 10}}), -kPi / 4);  // north-west
    // A ring is labelled from its first point like an open line.
    const auto ring = ContourLabeler::rozmiesc({10.0, true, {{0, 0}, {0, 20}, {0, 0}}});
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_DOUBLE_EQ(ring[0].pos.y, 20.0);
    EXPECT_DOUBLE_EQ(ring[0].angle, kPi / 2);

    EXPECT_EQ(ContourLabeler::normalizujKat(kPi / 2), kPi / 2);
    EXPECT_EQ(ContourLabeler::normalizujKat(-kPi / 2), kPi / 2);
    EXPECT_EQ(ContourLabeler::normalizujKat(kPi), 0.0);
    EXPECT_DOUBLE_EQ(ContourLabeler::katLokalny(0.1, 0.3), -0.2);
    EXPECT_EQ(ContourLabeler::katLokalny(3.0, -0.5), 3.5 - kPi);
    EXPECT_NEAR(ContourLabeler::normalizujKat(1e6 * kPi + 0.25), 0.25, 1e-6);
    // Huge and infinite angles fold at once instead of subtracting half turns forever.
    const double folded = ContourLabeler::normalizujKat(1e300);
    EXPECT_GT(folded, -kPi / 2);
    EXPECT_LE(folded, kPi / 2);
    EXPECT_EQ(ContourLabeler::normalizujKat(std::numeric_limits<double>::infinity()), 0.0);
    EXPECT_EQ(ContourLabeler::normalizujKat(std::nan("")), 0.0);
}

TEST(ContourLabels, TextsUseADecimalComma) {
    EXPECT_EQ(ContourLabeler::formatRzednej(125.0), "125,00");
    EXPECT_EQ(ContourLabeler::formatRzednej(-2.5), "-2,50");
    EXPECT_EQ(ContourLabeler::formatRzednej(0.125), "0,12");
    // Too long for the label buffer: cut short, never written past it.
    const std::string huge = ContourLabeler::formatRzednej(1e300);
    EXPECT_EQ(huge.size(), 63u);
    EXPECT_EQ(huge.substr(0, 2), "10");
}

}  // namespace
