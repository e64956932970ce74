// XML scanning: one waypoint element taken apart, and a whole GPX text read into a set.
#include <benchmark/benchmark.h>

#include "bench_data.hpp"
#include "gpx/gpx_reader.hpp"
#include "gpx/xml_scan.hpp"

namespace velmora::bench {
namespace {

// What the GPX reader asks of each "wpt": the position attributes and the texts of the
// name, comment, description and symbol elements.
void BM_scan_one_waypoint(benchmark::State& state) {
    sequence seq(7);
    std::string text = wpt_element(seq, 7000);
    poiset set;
    set.is_utf8 = true;
    for (auto _ : state) {
        std::size_t cursor = 0;
        auto wpt = xml_next_element("wpt", text, cursor);
        benchmark::DoNotOptimize(xml_attribute("lat", *wpt));
        benchmark::DoNotOptimize(xml_attribute("lon", *wpt));
        for (std::string_view name : {"name", "cmt", "desc", "sym"}) {
            std::size_t inner = 1;
            auto element = xml_next_element(name, *wpt, inner);
            auto raw = xml_element_text(element);
            if (raw) benchmark::DoNotOptimize(xml_text_value(*raw, set));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_scan_one_waypoint);

void BM_gpx_read_text(benchmark::State& state) {
    std::string text = gpx_document_of(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        poiset set;
        gpx_read_text(text, set);
        benchmark::DoNotOptimize(set.waypoints.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_gpx_read_text)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
