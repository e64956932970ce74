// The area index tree built over a set's waypoints.
#include <benchmark/benchmark.h>

#include "bench_data.hpp"
#include "gpi/area_tree.hpp"

namespace velmora::bench {
namespace {

void BM_area_tree_build(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto set = waypoint_set_of(n);
    for (auto _ : state) {
        auto index = area_index_build(set->waypoints);
        benchmark::DoNotOptimize(index->top.get());
        state.PauseTiming();
        index.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_area_tree_build)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
