// The bridge carries the import's large pushed messages (a "fetchDone" holds the GeoJSON preview
// of every fetched feature): serialising them and handing them to the page must stay cheap.

#include <benchmark/benchmark.h>

#include "Bridge.h"
#include "GSUniString.h"

namespace {

using json = nlohmann::json;

// A preview-like payload: n polygons of 20 vertices with Polish labels.
json preview(int n) {
    json features = json::array();
    for (int i = 0; i < n; ++i) {
        json ring = json::array();
        for (int k = 0; k < 20; ++k)
            ring.push_back({19.0 + i * 1e-4 + k * 1e-6, 52.0 + k * 1e-6});
        features.push_back(
            {{"type", "Feature"},
             {"properties", {{"kind", "dzialki"}, {"label", "Działka nr " + std::to_string(i)}}},
             {"geometry", {{"type", "Polygon"}, {"coordinates", {ring}}}}});
    }
    return json{{"preview", {{"type", "FeatureCollection"}, {"features", features}}}};
}

void BM_SendLargeMessage(benchmark::State& state) {
    const json payload = preview(static_cast<int>(state.range(0)));
    Bridge bridge;
    std::size_t bytes = 0;
    bridge.setSender([&](const std::string& text) { bytes = text.size(); });
    for (auto _ : state) {
        bridge.send("fetchDone", payload);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_SendLargeMessage)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The script text as the page channel hands it to the browser control.
void BM_ScriptTextToHostString(benchmark::State& state) {
    const std::string script =
        "GISBridge.receive(" + preview(static_cast<int>(state.range(0))).dump() + ");";
    for (auto _ : state) {
        const GS::UniString text(script);
        benchmark::DoNotOptimize(text.GetLength());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * script.size()));
}
BENCHMARK(BM_ScriptTextToHostString)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_DispatchSmallMessage(benchmark::State& state) {
    Bridge bridge;
    bridge.setSender([](const std::string& text) { benchmark::DoNotOptimize(text.data()); });
    bridge.on("ping", [](const json&) { return json{{"type", "pong"}, {"wersja", "1.8.0"}}; });
    const std::string message = R"({"type":"ping","bboxWgs84":[19.9,50.0,20.1,50.1]})";
    for (auto _ : state)
        bridge.dispatch(message);
}
BENCHMARK(BM_DispatchSmallMessage);

}  // namespace
