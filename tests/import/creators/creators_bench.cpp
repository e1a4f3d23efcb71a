// The two largest placements on the stand-in host: 20,000 labelled parcels through the feature
// import, and 5,000 LoD2 buildings of 12 faces each as morphs.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <string>

#include "ACAPinc.h"
#include "HostTestApi.h"
#include "import/creators/AcImporter.h"

namespace {

// Parcels on a 200 x 100 grid of 20 m squares, each with a number and a label point.
std::vector<GisFeature> parcels(int count) {
    std::vector<GisFeature> all;
    all.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double x = 500000 + 20.0 * (i % 200), y = 300000 + 20.0 * (i / 200);
        GisFeature f;
        f.kind = static_cast<std::int32_t>(DataType::Dzialki);
        f.polygons = {{{{x, y}, {x + 20, y}, {x + 20, y + 20}, {x, y + 20}, {x, y}}, {}}};
        f.props = {{"numer_dzialki", "146518_8.0003." + std::to_string(i) + "/1"},
                   {"numer_obrebu", "0003"},
                   {"powierzchnia", "400"}};
        f.point = {x + 10, y + 10};
        f.hasPoint = true;
        all.push_back(std::move(f));
    }
    return all;
}

void BM_ImportFeatures20000Parcels(benchmark::State& state) {
    const auto features = parcels(20000);
    GeoTransform frame;
    frame.setSurveyPoint(500000, 300000, 0.01);
    for (auto _ : state) {
        state.PauseTiming();
        host::reset();
        state.ResumeTiming();
        ImportResult result;
        ACAPI_CallUndoableCommand("Import GIS", [&] {
            result = AcImporter::importFeatures(features, frame, Settings::defaults());
            return NoError;
        });
        if (result.counts["dzialki"] != 20000 || host::elementCount() != 40000)
            state.SkipWithError("not every parcel was placed");
    }
}
BENCHMARK(BM_ImportFeatures20000Parcels)->Unit(benchmark::kMillisecond)->Iterations(3);

// A LoD2 building of 12 faces: floor, five walls around a plan with a notch at one corner (an
// L-shaped floor and roof), two roof planes.
std::vector<Lod2Face> building(double x, double y) {
    const auto face = [&](std::vector<std::array<double, 3>> pts) {
        Lod2Face f;
        for (const auto& [px, py, pz] : pts) {
            f.xy.push_back({x + px, y + py});
            f.z.push_back(pz);
        }
        return f;
    };
    // Plan: (0,0) (10,0) (10,4) (8,4) (8,6) (0,6); walls 3 m, the roof a shed sloping to 5 m.
    const std::vector<std::array<double, 2>> plan = {{0, 0}, {10, 0}, {10, 4},
                                                     {8, 4}, {8, 6},  {0, 6}};
    const auto roofZ = [](double py) { return 3.0 + py / 3.0; };
    std::vector<Lod2Face> faces;
    std::vector<std::array<double, 3>> floor, roof;
    for (auto it = plan.rbegin(); it != plan.rend(); ++it)
        floor.push_back({(*it)[0], (*it)[1], 0.0});
    for (const auto& p : plan)
        roof.push_back({p[0], p[1], roofZ(p[1])});
    faces.push_back(face(floor));
    faces.push_back(face(roof));
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const auto& a = plan[i];
        const auto& b = plan[(i + 1) % plan.size()];
        faces.push_back(face({{a[0], a[1], 0},
                              {b[0], b[1], 0},
                              {b[0], b[1], roofZ(b[1])},
                              {a[0], a[1], roofZ(a[1])}}));
    }
    // Four small dormer-like faces to make 12: a closed box on the roof's low edge.
    faces.push_back(face({{2, 0.1, 3.1}, {3, 0.1, 3.1}, {3, 0.1, 3.6}, {2, 0.1, 3.6}}));
    faces.push_back(face({{3, 0.1, 3.1}, {3, 1.1, 3.1}, {3, 1.1, 3.6}, {3, 0.1, 3.6}}));
    faces.push_back(face({{3, 1.1, 3.1}, {2, 1.1, 3.1}, {2, 1.1, 3.6}, {3, 1.1, 3.6}}));
    faces.push_back(face({{2, 1.1, 3.1}, {2, 0.1, 3.1}, {2, 0.1, 3.6}, {2, 1.1, 3.6}}));
    return faces;
}

void BM_CreateMorph5000Lod2Buildings(benchmark::State& state) {
    std::vector<std::vector<Lod2Face>> buildings;
    for (int i = 0; i < 5000; ++i)
        buildings.push_back(building(15.0 * (i % 100), 15.0 * (i / 100)));
    for (auto _ : state) {
        state.PauseTiming();
        host::reset();
        state.ResumeTiming();
        int created = 0;
        AcImporter::TriDiag diag;
        ACAPI_CallUndoableCommand("Import GIS", [&] {
            for (const auto& faces : buildings) {
                if (AcImporter::createMorph(faces, 1, false, true, 1, &diag, "LOD2") == NoError)
                    ++created;
            }
            return NoError;
        });
        if (created != 5000)
            state.SkipWithError("not every building was placed");
        state.counters["triangulated faces"] = diag.triangulatedConcave;
    }
}
BENCHMARK(BM_CreateMorph5000Lod2Buildings)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
