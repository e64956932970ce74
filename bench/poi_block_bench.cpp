// The POI block encoder: sized over a counting sink, written to a file sink.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench_data.hpp"
#include "gpi/byte_sink.hpp"
#include "gpi/gpi_blocks.hpp"
#include "gpi/gpi_writer.hpp"

namespace velmora::bench {
namespace {

std::unique_ptr<poiset> prepared_set(int n) {
    auto set = waypoint_set_of(n);
    for (int i = 0; i < n; ++i) {
        waypoint& w = set->waypoints[static_cast<std::size_t>(i)];
        w.flags |= has_icon;
        w.icon_id = static_cast<std::uint16_t>(i % 12);
    }
    return set;
}

void BM_poi_block_size(benchmark::State& state) {
    auto set = prepared_set(1024);
    std::size_t i = 0;
    for (auto _ : state) {
        const waypoint& w = set->waypoints[i++ & 1023];
        benchmark::DoNotOptimize(poi_block_size(w, *set));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_poi_block_size);

void BM_poi_block_write(benchmark::State& state) {
    auto set = prepared_set(1024);
    std::FILE* sink_file = std::fopen("/dev/null", "wb");
    if (sink_file == nullptr) {
        state.SkipWithError("/dev/null can't be opened");
        return;
    }
    {
        file_sink sink(sink_file);
        std::size_t i = 0;
        for (auto _ : state) {
            const waypoint& w = set->waypoints[i++ & 1023];
            encode_poi_block(sink, w, poi_parts_of(w, *set));
        }
        (void)sink.finish();
    }
    std::fclose(sink_file);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_poi_block_write);

}  // namespace
}  // namespace velmora::bench
