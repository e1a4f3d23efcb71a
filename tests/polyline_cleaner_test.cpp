#include "PolylineCleaner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ACAPinc.h"
#include "HostTestApi.h"

using namespace PolylineCleaner;

namespace {

PolylineGeometry polyline(std::vector<Point> points, bool closed = false,
                          std::vector<ArcBulge> arcs = {}, int layer = 1) {
    PolylineGeometry p;
    p.layer = layer;
    p.closed = closed;
    p.points = std::move(points);
    p.arcs = std::move(arcs);
    return p;
}

std::vector<PolylineGeometry> numbered(std::vector<PolylineGeometry> list) {
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i].sourceIndex = static_cast<long>(i);
    return list;
}

TextGeometry text(double x, double y, std::string content, int layer = 1) {
    return {0, layer, x, y, std::move(content)};
}

std::vector<TextGeometry> numbered(std::vector<TextGeometry> list) {
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i].sourceIndex = static_cast<long>(i);
    return list;
}

bool sameKey(const PolylineGeometry& a, const PolylineGeometry& b) {
    return ComputeCanonicalKey(a) == ComputeCanonicalKey(b);
}

// The key built the slow, obvious way: every candidate materialised and the smallest taken.
std::string piece(double v) {
    double r = std::floor(v * 1000.0 + 0.5) / 1000.0;
    if (r == 0.0)
        r = 0.0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g|", r);
    return buf;
}

std::string bruteForceKey(const PolylineGeometry& p) {
    struct Seg {
        Point a, b;
        double angle;
    };
    std::vector<Seg> fwd;
    for (std::size_t i = 1; i < p.points.size(); ++i) {
        double angle = 0.0;
        for (const ArcBulge& arc : p.arcs) {
            if (arc.from == static_cast<int>(i - 1) && arc.to == static_cast<int>(i)) {
                angle = arc.angle;
                break;
            }
        }
        fwd.push_back({p.points[i - 1], p.points[i], angle});
    }
    std::vector<Seg> rev;
    for (auto it = fwd.rbegin(); it != fwd.rend(); ++it)
        rev.push_back({it->b, it->a, -it->angle});
    const auto serialise = [](const std::vector<Seg>& segs, std::size_t s) {
        std::string out = piece(segs[s].a.x) + piece(segs[s].a.y);
        for (std::size_t k = 0; k < segs.size(); ++k) {
            const Seg& g = segs[(s + k) % segs.size()];
            out += piece(g.angle) + piece(g.b.x) + piece(g.b.y);
        }
        return out;
    };
    std::string best;
    const std::size_t starts = p.closed ? fwd.size() : 1;
    for (const auto* segs : {&fwd, &rev}) {
        for (std::size_t s = 0; s < starts; ++s) {
            const std::string candidate = serialise(*segs, s);
            if (best.empty() || candidate < best)
                best = candidate;
        }
    }
    return (p.closed ? "closed:" : "open:") + best;
}

}  // namespace

TEST(CanonicalKey, NumbersAreRoundedToMillimetresAndWrittenInFull) {
    EXPECT_EQ(ComputeTextKey(text(2, 3, "A")), "2|3|A");
    EXPECT_EQ(ComputeTextKey(text(12.3456, 1.2345, "")), "12.346|1.2350000000000001|");
    EXPECT_EQ(ComputeTextKey(text(-0.0001, -0.0004, "")), "0|0|") << "no negative zero";
    EXPECT_EQ(ComputeTextKey(text(0.0005, -0.0005, "")), "0.001|0|") << "halves go up";
    EXPECT_EQ(ComputeTextKey(text(0.0004999, 1e300, "x")).substr(0, 2), "0|");

    const auto nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(ComputeTextKey(text(nan, 0, "")).empty());
    EXPECT_FALSE(ComputeCanonicalKey(polyline({{nan, 0}, {1, nan}, {nan, 0}}, true)).empty());
}

TEST(CanonicalKey, OpenLinesAreTheSameInBothDirections) {
    const auto ahead = polyline({{0, 0}, {1, 0}});
    EXPECT_EQ(ComputeCanonicalKey(ahead), "open:0|0|0|1|0|");
    EXPECT_EQ(ComputeCanonicalKey(polyline({{1, 0}, {0, 0}})), "open:0|0|0|1|0|");

    EXPECT_EQ(ComputeCanonicalKey(polyline({{1, 1}})), "open:empty");
    EXPECT_EQ(ComputeCanonicalKey(polyline({}, true)), "closed:empty");

    // Two points that coincide form an open line, never a ring.
    const auto there = polyline({{4, 4}, {4, 4}});
    EXPECT_EQ(ComputeCanonicalKey(there).rfind("open:", 0), 0u);
}

TEST(CanonicalKey, RingsMatchWhateverTheirStartAndDirection) {
    const auto clockwise = polyline({{0, 0}, {0, 2}, {3, 2}, {3, 0}, {0, 0}}, true);
    const auto counterFromOpposite = polyline({{3, 2}, {0, 2}, {0, 0}, {3, 0}, {3, 2}}, true);
    EXPECT_TRUE(sameKey(clockwise, counterFromOpposite));

    const auto otherRectangle = polyline({{0, 0}, {0, 2}, {3.002, 2}, {3, 0}, {0, 0}}, true);
    EXPECT_FALSE(sameKey(clockwise, otherRectangle));

    // The same points read as an open line are another shape.
    auto open = clockwise;
    open.closed = false;
    EXPECT_FALSE(sameKey(clockwise, open));
}

TEST(CanonicalKey, ArcsKeepTheirSenseWhenReversed) {
    const auto arc = polyline({{0, 0}, {1, 0}, {1, 1}}, false, {{0, 1, 0.5}});
    const auto drawnBack = polyline({{1, 1}, {1, 0}, {0, 0}}, false, {{1, 2, -0.5}});
    const auto bulgingOtherWay = polyline({{1, 1}, {1, 0}, {0, 0}}, false, {{1, 2, 0.5}});
    EXPECT_TRUE(sameKey(arc, drawnBack));
    EXPECT_FALSE(sameKey(arc, bulgingOtherWay));

    // Only the first arc of a segment counts; arcs that span no single segment are ignored.
    const auto twice = polyline({{0, 0}, {1, 0}, {1, 1}}, false, {{0, 1, 0.5}, {0, 1, 0.9}});
    const auto skipping = polyline({{0, 0}, {1, 0}, {1, 1}}, false, {{0, 1, 0.5}, {0, 2, 0.9}});
    EXPECT_TRUE(sameKey(arc, twice));
    EXPECT_TRUE(sameKey(arc, skipping));
    // Vertex numbers at the ends of the int range name no segment either.
    const int most = std::numeric_limits<int>::max();
    const auto outOfRange = polyline({{0, 0}, {1, 0}, {1, 1}}, false,
                                     {{most, std::numeric_limits<int>::min(), 0.9}, {0, 1, 0.5}});
    EXPECT_TRUE(sameKey(arc, outOfRange));
}

TEST(CanonicalKey, EqualsTheSmallestOfAllCandidates) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coordinate(0, 3);  // few values: many equal pieces
    std::uniform_int_distribution<int> size(2, 12);
    for (int round = 0; round < 400; ++round) {
        const int n = size(random);
        std::vector<Point> points;
        for (int i = 0; i < n; ++i)
            points.push_back({coordinate(random) * 0.5, coordinate(random) * 1.0});
        const bool closed = round % 3 != 0;
        if (closed && round % 2 == 0)
            points.push_back(points.front());
        std::vector<ArcBulge> arcs;
        if (round % 5 == 0)
            arcs.push_back({0, 1, 0.25 * coordinate(random)});
        const auto p = polyline(points, closed, arcs);
        ASSERT_EQ(ComputeCanonicalKey(p), bruteForceKey(p)) << "round " << round;
    }

    // Periodic rings, where many rotations are equal, and nearly periodic ones, where
    // rotations agree over long stretches before one vertex tells them apart.
    for (int defect = -1; defect < 40; defect += 7) {
        std::vector<Point> zigzag;
        for (int i = 0; i < 40; ++i) {
            zigzag.push_back({static_cast<double>(i % 4), i == defect ? 2.0 : i % 2});
        }
        zigzag.push_back(zigzag.front());
        const auto ring = polyline(zigzag, true);
        EXPECT_EQ(ComputeCanonicalKey(ring), bruteForceKey(ring)) << "defect at " << defect;
    }
}

TEST(FindDuplicates, TheFirstOfEachGroupOnTheSameLayerStays) {
    const std::vector<Point> line{{0, 0}, {5, 5}};
    const auto result = FindDuplicatesToDelete(numbered({
        polyline(line),
        polyline({{5, 5}, {0, 0}}),
        polyline(line, false, {}, 2),
        polyline(line),
        polyline({{0, 0}, {5, 5.002}}),
    }));
    EXPECT_EQ(result.toDelete, (std::vector<std::int64_t>{1, 3}));
}

TEST(FindDuplicates, MillimetreRoundingDecidesWhatIsEqual) {
    const auto at = [](double y) { return polyline({{0, 0}, {1, y}}); };
    EXPECT_EQ(FindDuplicatesToDelete(numbered({at(0.0012), at(0.0014)})).toDelete.size(), 1u);
    EXPECT_TRUE(FindDuplicatesToDelete(numbered({at(0.0004999), at(0.0005)})).toDelete.empty())
        << "closer, yet rounded apart";
    EXPECT_TRUE(FindDuplicatesToDelete(numbered({at(1.0), at(1.002)})).toDelete.empty());
}

TEST(FindDuplicates, TextsNeedLayerPositionAndContent) {
    const auto result = FindDuplicateTextsToDelete(numbered({
        text(5.0, 1, "A"),
        text(5.0, 1, "A", 2),  // other layer: stays
        text(5.001, 1, "A"),   // one millimetre off: stays
        text(5.0001, 1, "A"),  // 5 after rounding: a duplicate of the first
        text(5.0003, 1, "A"),  // and so is this
        text(5.0, 1, "a"),     // other content: stays
        text(5.0, 1, ""),      // an empty text is a text too
        text(5.0, 1, ""),
    }));
    EXPECT_EQ(result.toDelete, (std::vector<std::int64_t>{3, 4, 7}));
}

// ---- The menu command on the stand-in host -----------------------------------------------------

namespace {

class RemoveDuplicatesCommand : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        handlesBefore_ = host::liveHandles();
    }
    void TearDown() override {
        EXPECT_EQ(host::liveHandles(), handlesBefore_) << "memos are released";
    }

    static std::vector<API_Coord> square(double size) {
        return {{0, 0}, {size, 0}, {size, size}, {0, size}, {0, 0}};
    }
    static std::string lastMessage() {
        const auto alerts = host::alerts();
        return alerts.empty() ? "" : alerts.back().largeText;
    }
    static bool exists(const API_Guid& guid) { return host::element(guid).has_value(); }

private:
    std::size_t handlesBefore_ = 0;
};

TEST_F(RemoveDuplicatesCommand, ConfirmsThenDeletesAllButTheFirstInOneUndoStep) {
    const API_Guid first = host::addPolyline(square(2));
    const API_Guid second = host::addPolyline({{2, 2}, {2, 0}, {0, 0}, {0, 2}, {2, 2}});
    const API_Guid third = host::addPolyline(square(2));
    const API_Guid otherLayer = host::addPolyline(square(2), host::addLayer("B"));
    const API_Guid textA = host::addText({5.0001, 1}, "A");
    const API_Guid textB = host::addText({5.0003, 1}, "A");

    RunRemoveDuplicatesCommand();

    const auto alerts = host::alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].kind, "warning");
    EXPECT_EQ(alerts[0].largeText, "Czyszczenie duplikatow");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"Uruchom", "Anuluj"}));
    EXPECT_EQ(alerts[1].largeText, "Usunieto duplikaty:\n- polilinie: 2\n- teksty: 1");
    EXPECT_TRUE(exists(first));
    EXPECT_FALSE(exists(second));
    EXPECT_FALSE(exists(third));
    EXPECT_TRUE(exists(otherLayer));
    EXPECT_TRUE(exists(textA));
    EXPECT_FALSE(exists(textB));
    EXPECT_EQ(host::undoNames().back(), "Usun duplikaty (polilinie + teksty)");

    ASSERT_TRUE(host::undo());
    EXPECT_EQ(host::elementCount(), 6u);
}

TEST_F(RemoveDuplicatesCommand, CancelChangesNothing) {
    host::addPolyline(square(1));
    host::addPolyline(square(1));
    host::scriptAlertAnswers({2});
    RunRemoveDuplicatesCommand();
    EXPECT_EQ(host::alerts().size(), 1u) << "nothing is shown after the answer";
    EXPECT_EQ(host::elementCount(API_PolyLineID), 2u);
    EXPECT_EQ(host::undoDepth(), 0u);
}

TEST_F(RemoveDuplicatesCommand, WorksOnTheSelectionElseOnTheActiveFloor) {
    const API_Guid a = host::addPolyline(square(1));
    const API_Guid b = host::addPolyline(square(1));
    const API_Guid c = host::addPolyline(square(1));
    const API_Guid wall = host::addElement(API_WallID);

    host::setSelection({wall});
    RunRemoveDuplicatesCommand();
    EXPECT_EQ(lastMessage(), "Brak polilinii i tekstow do sprawdzenia.");
    EXPECT_EQ(host::elementCount(API_PolyLineID), 3u) << "the floor plan is not searched";

    host::setSelection({c, wall, b, c});
    RunRemoveDuplicatesCommand();
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(exists(c)) << "first in selection order stays";
    EXPECT_FALSE(exists(b));

    host::setSelection({});
    host::addFloor(1);
    host::setActiveFloor(1);
    host::addPolyline(square(1), 1, 1);
    host::addPolyline(square(1), 1, 1);
    RunRemoveDuplicatesCommand();
    EXPECT_EQ(lastMessage(), "Usunieto duplikaty:\n- polilinie: 1\n- teksty: 0");
    EXPECT_TRUE(exists(a) && exists(c)) << "other floors are left alone";
    EXPECT_EQ(host::elementCount(API_PolyLineID), 3u);
}

TEST_F(RemoveDuplicatesCommand, ArcsFromTheHostCountWithTheirSense) {
    const API_Guid a = host::addPolyline({{0, 0}, {1, 0}, {1, 1}}, 1, 0, {{2, 3, 0.5}});
    const API_Guid back = host::addPolyline({{1, 1}, {1, 0}, {0, 0}}, 1, 0, {{1, 2, -0.5}});
    const API_Guid mirrored = host::addPolyline({{0, 0}, {1, 0}, {1, 1}}, 1, 0, {{2, 3, -0.5}});
    RunRemoveDuplicatesCommand();
    EXPECT_TRUE(exists(a));
    EXPECT_FALSE(exists(back));
    EXPECT_TRUE(exists(mirrored));
}

TEST_F(RemoveDuplicatesCommand, HostArcsWithoutAVertexAreIgnored) {
    const int least = std::numeric_limits<int>::min();
    const API_Guid a = host::addPolyline({{0, 0}, {1, 0}, {1, 1}}, 1, 0, {{2, 3, 0.5}});
    const API_Guid b =
        host::addPolyline({{0, 0}, {1, 0}, {1, 1}}, 1, 0, {{least, least + 1, 0.9}, {2, 3, 0.5}});
    RunRemoveDuplicatesCommand();
    EXPECT_TRUE(exists(a));
    EXPECT_FALSE(exists(b));
}

TEST_F(RemoveDuplicatesCommand, UnreadableAndNonNumericElementsAreLeftOut) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const API_Guid kept = host::addPolyline(square(3));
    const API_Guid unreadable = host::addPolyline(square(3));
    const API_Guid nanA = host::addPolyline({{nan, 0}, {1, 1}});
    const API_Guid nanB = host::addPolyline({{nan, 0}, {1, 1}});
    const API_Guid nanText = host::addText({nan, 0}, "N");
    const API_Guid nanText2 = host::addText({nan, 0}, "N");
    host::failCalls("ACAPI_Element_GetMemo", APIERR_GENERAL, 1, 1);  // the second polyline

    RunRemoveDuplicatesCommand();
    for (const API_Guid& g : {kept, unreadable, nanA, nanB, nanText, nanText2}) {
        EXPECT_TRUE(exists(g));
    }
    EXPECT_EQ(lastMessage(), "Nie znaleziono zduplikowanych polilinii ani tekstow.");
    EXPECT_EQ(host::undoDepth(), 0u);
}

TEST_F(RemoveDuplicatesCommand, AFailedDeletionKeepsEverythingAndSaysWhy) {
    const API_AttributeIndex locked = host::addLayer("ZAMKNIETA", true);
    host::addPolyline(square(1));
    host::addPolyline(square(1));
    host::addText({0, 0}, "T", locked);
    host::addText({0, 0}, "T", locked);

    RunRemoveDuplicatesCommand();
    EXPECT_EQ(host::elementCount(), 4u);
    EXPECT_EQ(lastMessage(),
              "Nie udalo sie usunac duplikatow - sprawdz, czy elementy nie leza na zablokowanej "
              "warstwie lub nie sa zablokowane/zgrupowane.");
    EXPECT_EQ(host::alerts().size(), 2u) << "no summary follows";
    EXPECT_EQ(host::undoDepth(), 0u);
}

}  // namespace
