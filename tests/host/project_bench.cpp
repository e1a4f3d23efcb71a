// The stand-in project at the sizes an import or a cleanup reaches: elements are created, read
// and deleted by identifier in constant time, so tests of the add-on's bulk work stay fast.

#include <benchmark/benchmark.h>

#include "ACAPinc.h"
#include "HostTestApi.h"

namespace {

void fill(int n) {
    host::reset();
    for (int i = 0; i < n; ++i)
        host::addPolyline({{0.0 + i, 0.0}, {1.0 + i, 1.0}});
}

void BM_ReadEveryElementWithItsMemo(benchmark::State& state) {
    fill(static_cast<int>(state.range(0)));
    GS::Array<API_Guid> guids;
    ACAPI_Element_GetElemList(API_PolyLineID, &guids, APIFilt_OnActFloor);
    for (auto _ : state) {
        for (const auto& guid : guids) {
            API_Element element{};
            element.header.guid = guid;
            ACAPI_Element_Get(&element);
            API_ElementMemo memo{};
            ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_Polygon);
            benchmark::DoNotOptimize((*memo.coords)[1].x);
            ACAPI_DisposeElemMemoHdls(&memo);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * guids.GetSize());
}
BENCHMARK(BM_ReadEveryElementWithItsMemo)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DeleteHalfInOneCommand(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        fill(static_cast<int>(state.range(0)));
        GS::Array<API_Guid> all, half;
        ACAPI_Element_GetElemList(API_PolyLineID, &all);
        for (GS::USize i = 0; i < all.GetSize(); i += 2)
            half.Push(all[i]);
        state.ResumeTiming();
        ACAPI_CallUndoableCommand("d", [&] { return ACAPI_Element_Delete(half); });
    }
}
BENCHMARK(BM_DeleteHalfInOneCommand)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
