// Morphs: welding, shared edges, whole and triangulated faces with their counters, closed solids,
// and the three attempts of roof morphs.

#include "CreatorFixture.h"
#include "import/creators/AcImporter.h"

namespace {

using AcImporter::createMorph;
using AcImporter::createRoofMorph;
using AcImporter::TriDiag;

// A prism over a plan ring (counter-clockwise from above) from z0 to z1, its faces turned
// outward: the floor runs clockwise seen from above.
std::vector<Lod2Face> prism(const std::vector<GisPoint>& ring, double z0, double z1) {
    std::vector<std::array<double, 3>> floor, roof;
    for (auto it = ring.rbegin(); it != ring.rend(); ++it)
        floor.push_back({it->x, it->y, z0});
    for (const auto& p : ring)
        roof.push_back({p.x, p.y, z1});
    std::vector<Lod2Face> faces = {face(floor), face(roof)};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const GisPoint& a = ring[i];
        const GisPoint& b = ring[(i + 1) % ring.size()];
        faces.push_back(face({{a.x, a.y, z0}, {b.x, b.y, z0}, {b.x, b.y, z1}, {a.x, a.y, z1}}));
    }
    return faces;
}

// The faces with x, y and z taken in another order (a solid lying on its side); an even
// permutation, so that the faces stay turned outward.
std::vector<Lod2Face> rotatedAxes(const std::vector<Lod2Face>& faces) {
    std::vector<Lod2Face> turned;
    for (const Lod2Face& f : faces) {
        Lod2Face t;
        for (std::size_t i = 0; i < f.xy.size(); ++i) {
            t.xy.push_back({f.xy[i].y, f.z[i]});
            t.z.push_back(f.xy[i].x);
        }
        turned.push_back(t);
    }
    return turned;
}

const std::vector<GisPoint> kLPlan = {{0, 0}, {6, 0}, {6, 2}, {2, 2}, {2, 6}, {0, 6}};

using Morphs = CreatorTest;

TEST_F(Morphs, AClosedSquareIsOnePolygonOfFourEdges) {
    const auto square = face({{0, 0, 1}, {4, 0, 1}, {4, 4, 1}, {0, 4, 1}, {0, 0, 1}});
    ASSERT_EQ(placed([&] { return createMorph({square}, 1, false, false, 7, nullptr, "B1"); }),
              NoError);
    const auto morph = only(host::elements());
    ASSERT_TRUE(morph.body.has_value());
    EXPECT_EQ(morph.body->vertices.size(), 4u) << "the closing point is dropped";
    ASSERT_EQ(morph.body->polygons.size(), 1u);
    EXPECT_EQ(morph.body->polygons[0].edges, (std::vector<Int32>{1, 2, 3, 4}));
    EXPECT_EQ(morph.body->polygons[0].material, 7);
    EXPECT_EQ(morph.infoString, "B1");
    EXPECT_EQ(morph.element.morph.tranmat[0], 1.0);
    EXPECT_EQ(morph.element.morph.tranmat[3], 0.0);
}

TEST_F(Morphs, WeldingSharesVerticesOnTheMillimetreAndEdgesBackwards) {
    // Two squares sharing the edge x = 4; the second runs it the other way.
    const auto left = face({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}});
    const auto right = face({{4.0004, 4, 0}, {4.0001, 0, 0.0003}, {8, 0, 0}, {8, 4, 0}});
    ASSERT_EQ(placed([&] {
                  return createMorph({left, right}, 1, false, true, 1, nullptr, "");
              }),
              NoError);
    const auto body = *only(host::elements()).body;
    EXPECT_EQ(body.vertices.size(), 6u);
    EXPECT_EQ(body.edges.size(), 7u);
    EXPECT_EQ(body.polygons[1].edges[0], -2) << "the shared edge, run backwards";
    EXPECT_EQ(body.vertices[2].x, 4.0) << "a vertex keeps the coordinates it was made with";

    // 0.4 mm and 0.6 mm lie on different millimetres, though closer than one.
    host::reset();
    const auto near = face({{0.0004, 0, 0}, {5, 0, 0}, {5, 5, 0}});
    const auto other = face({{0.0006, 0, 0}, {5, 5, 0}, {0, 5, 0}});
    ASSERT_EQ(placed([&] {
                  return createMorph({near, other}, 1, false, true, 1, nullptr, "");
              }),
              NoError);
    EXPECT_EQ(only(host::elements()).body->vertices.size(), 5u);

    host::reset();
    ASSERT_EQ(placed([&] {
                  return createMorph({left, right}, 1, false, false, 1, nullptr, "");
              }),
              NoError);
    const auto loose = *only(host::elements()).body;
    EXPECT_EQ(loose.vertices.size(), 8u);
    EXPECT_EQ(loose.edges.size(), 8u) << "without welding nothing is shared";
}

TEST_F(Morphs, FacesGoWholeOrAreTriangulatedAndCounted) {
    const auto quad = [](double off) {
        return face({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, off}});
    };
    std::vector<std::array<double, 3>> lPoints;
    for (const auto& p : kLPlan)
        lPoints.push_back({p.x, p.y, 2});
    struct Case {
        const char* name;
        Lod2Face face;
        bool triangulate;
        std::size_t polygons;
        TriDiag expected;
    };
    const Case cases[] = {
        {"4 cm off the plane: whole", quad(0.04), false, 1, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"6 cm off the plane", quad(0.06), false, 2, {1, 0, 0, 1, 1, 0, 0, 0, 0, 0}},
        {"an L", face(lPoints), false, 4, {1, 0, 1, 0, 1, 0, 0, 0, 0, 0}},
        {"a triangle on request",
         face({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
         true,
         1,
         {1, 0, 1, 0, 1, 0, 0, 0, 0, 0}},
        {"collinear: fanned",
         face({{0, 0, 0}, {1, 1, 0}, {2, 2, 0}, {3, 3, 0}, {4, 4, 0}, {5, 5, 0}, {6, 6, 0}}),
         false,
         5,
         {1, 0, 0, 1, 0, 1, 0, 0, 7, 0}},
    };
    for (const Case& c : cases) {
        host::reset();
        TriDiag diag;
        const GSErrCode err =
            placed([&] { return createMorph({c.face}, 1, c.triangulate, true, 1, &diag, ""); });
        EXPECT_EQ(err, NoError) << c.name;
        if (err == NoError) {
            EXPECT_EQ(only(host::elements()).body->polygons.size(), c.polygons) << c.name;
        }
        const TriDiag& e = c.expected;
        EXPECT_EQ(diag.facesTaken, e.facesTaken) << c.name;
        EXPECT_EQ(diag.whole, e.whole) << c.name;
        EXPECT_EQ(diag.triangulatedConcave, e.triangulatedConcave) << c.name;
        EXPECT_EQ(diag.triangulatedNonPlanar, e.triangulatedNonPlanar) << c.name;
        EXPECT_EQ(diag.earClipped, e.earClipped) << c.name;
        EXPECT_EQ(diag.fanned, e.fanned) << c.name;
        EXPECT_EQ(diag.largestFanned, e.largestFanned) << c.name;
    }
}

TEST_F(Morphs, FaceCountersAddUpOverMorphsAndFanLikeFacesAreMeasured) {
    // A bowl: every ear has its first point as a corner.
    std::vector<std::array<double, 3>> bowl = {{0, 0, 0}};
    for (int i = 0; i < 9; ++i) {
        const double x = 5.0 - 10.0 * i / 8;
        bowl.push_back({x, 6 + 0.1 * x * x, 0});
    }
    TriDiag diag;
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(placed([&] { return createMorph({face(bowl)}, 1, false, true, 1, &diag, ""); }),
                  NoError);
    }
    EXPECT_EQ(diag.facesTaken, 2);
    EXPECT_EQ(diag.triangulatedConcave, 2);
    EXPECT_EQ(diag.fanLike, 2);
    EXPECT_EQ(diag.largestFanLike, 10);
    EXPECT_EQ(diag.fanLikeAfterFlips, 2);
}

TEST_F(Morphs, ClosedSolidsGiveClosedMorphsWholeOrTriangulated) {
    struct Case {
        const char* name;
        std::vector<Lod2Face> faces;
    };
    const Case cases[] = {
        {"house", house()},
        {"L prism", prism(kLPlan, 0, 3)},
        {"L prism on its side", rotatedAxes(prism(kLPlan, 0, 3))},
    };
    for (const Case& c : cases) {
        for (const bool triangulate : {false, true}) {
            host::reset();
            ASSERT_EQ(
                placed([&] { return createMorph(c.faces, 1, triangulate, true, 1, nullptr, ""); }),
                NoError)
                << c.name;
            EXPECT_TRUE(isClosedSolid(*only(host::elements()).body))
                << c.name << (triangulate ? ", triangulated" : ", whole faces");
        }
    }
}

TEST_F(Morphs, MorphsWithoutAnyPolygonAreNotCreated) {
    const std::vector<Lod2Face> broken = {
        face({{0, 0, 0}, {1, 0, 0}}),                       // 2 points
        {{{0, 0}, {1, 0}, {1, 1}}, {0, 0}},                 // heights short
        face({{0, 0, 0}, {1, 0, 0}, {0, 0, 0}}),            // closes on 2
        face({{0, 0, 0}, {0.0001, 0, 0}, {0, 0.0002, 0}}),  // welds to one
        face({{0, 0, 0}, {1, 0, std::numeric_limits<double>::quiet_NaN()}, {0, 1, 0}}),
    };
    TriDiag diag;
    EXPECT_EQ(placed([&] { return createMorph({}, 1, false, true, 1, &diag, ""); }),
              AcImporter::kNoFaces);
    EXPECT_EQ(placed([&] { return createMorph(broken, 1, false, true, 1, &diag, "X"); }),
              AcImporter::kNoFaces);
    EXPECT_EQ(host::elementCount(), 0u);
    EXPECT_EQ(host::callCount("ACAPI_Element_Create"), 0);
    EXPECT_EQ(diag.facesTaken, 1) << "only the welded one was taken";

    host::failCalls("ACAPI_Body_Create", APIERR_MEMFULL);
    EXPECT_EQ(placed([&] { return createMorph(house(), 1, false, true, 1, nullptr, ""); }),
              APIERR_MEMFULL);
}

TEST_F(Morphs, RoofMorphsTryWholeThenTriangulatedThenLooseFaces) {
    const auto quads = [](const host::MorphBody& b) {
        return std::any_of(b.polygons.begin(), b.polygons.end(),
                           [](const auto& p) { return p.edges.size() > 3; });
    };
    const auto shared = [](const host::MorphBody& b) {
        for (const auto& p : b.polygons) {
            if (std::any_of(p.edges.begin(), p.edges.end(), [](Int32 e) { return e < 0; }))
                return true;
        }
        return false;
    };
    struct Case {
        const char* name;
        host::BodyRule refuse;
        GSErrCode result;
        int attempts;
        bool triangles;
        bool welded;
    };
    const Case cases[] = {
        {"first attempt", {}, NoError, 1, false, true},
        {"no polygon of more than 3 edges", quads, NoError, 2, true, true},
        {"no shared edge either", [&](const auto& b) { return quads(b) || shared(b); }, NoError, 3,
         true, false},
        {"nothing at all", [](const auto&) { return true; }, APIERR_BADPOLY, 3, false, false},
    };
    for (const Case& c : cases) {
        host::reset();
        host::refuseBodies(c.refuse);
        EXPECT_EQ(placed([&] { return createRoofMorph(house(), 1, 4); }), c.result) << c.name;
        EXPECT_EQ(host::callCount("ACAPI_Element_Create"), c.attempts) << c.name;
        if (c.result != NoError) {
            EXPECT_EQ(host::elementCount(), 0u) << c.name;
            continue;
        }
        const auto body = *only(host::elements()).body;
        EXPECT_EQ(quads(body), !c.triangles) << c.name;
        EXPECT_EQ(shared(body), c.welded) << c.name;
        EXPECT_EQ(body.polygons[0].material, 4) << c.name;
        EXPECT_EQ(only(host::elements()).infoString, "") << c.name;
    }
}

}  // namespace
