// The area index tree built over a set's waypoints.
#include <benchmark/benchmark.h>

#include "bench_data.hpp"
#include "gpi/area_tree.hpp"

namespace velmora::bench {
namespace {

void BM_area_tree_build(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto set = waypoint_set_of(n);
    // The build permutes the array; each round starts again from the reading order.
    std::vector<waypoint*> reading_order;
    for (const auto& w : set->waypoints) reading_order.push_back(w.get());
    for (auto _ : state) {
        state.PauseTiming();
        for (auto& w : set->waypoints) (void)w.release();
        for (std::size_t i = 0; i < reading_order.size(); ++i)
            set->waypoints[i].reset(reading_order[i]);
        std::unique_ptr<area_node> holder = area_node_new();
        state.ResumeTiming();
        area_tree_build(set->waypoints, 0, n - 1, 0, *holder);
        benchmark::DoNotOptimize(holder->children[0].get());
        state.PauseTiming();
        holder.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_area_tree_build)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
