// XML scanning: one waypoint element taken apart, and a whole GPX text read into a set.
#include <benchmark/benchmark.h>

#include <array>

#include "bench_data.hpp"
#include "gpx/gpx_reader.hpp"
#include "gpx/xml_scan.hpp"
#include "gpx/xml_text.hpp"

namespace velmora::bench {
namespace {

// What the GPX reader asks of each "wpt": the position attributes and the texts of the
// name, comment, description and symbol elements.
void BM_scan_one_waypoint(benchmark::State& state) {
    sequence seq(7);
    std::string text = wpt_element(seq, 7000);
    static constexpr std::array<std::string_view, 4> names{"name", "cmt", "desc", "sym"};
    const xml_text_encoding utf8{true, nullptr};
    for (auto _ : state) {
        xml_wpt_scanner scanner(text, names);
        xml_wpt wpt;
        if (!scanner.next(wpt)) continue;
        benchmark::DoNotOptimize(wpt.lat);
        benchmark::DoNotOptimize(wpt.lon);
        for (const xml_child& child : wpt.children) {
            if (!child.present) continue;
            std::string_view content(text.data() + child.content_begin,
                                     child.content_end - child.content_begin);
            benchmark::DoNotOptimize(xml_content_text(content, child.plain, utf8));
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
        benchmark::DoNotOptimize(set.waypoints.size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_gpx_read_text)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
