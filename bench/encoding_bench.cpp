// UTF-8 texts converted to code page 1250, as the preparation for GPI output converts a UTF-8 set.
#include <benchmark/benchmark.h>

#include "bench_data.hpp"
#include "driver/gpi_preparation.hpp"
#include "text/output_code_page.hpp"

namespace velmora::bench {
namespace {

void BM_utf8_to_codepage_1250(benchmark::State& state) {
    sequence seq(1250);
    std::string text;
    while (text.size() < 40) text.append(seq.word()).append(" ");
    output_code_page page = *output_code_page::create(1250);
    text_converter converter({true, nullptr}, page);
    std::string out;
    for (auto _ : state) {
        out.clear();
        converter.append(text, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_utf8_to_codepage_1250);

// The whole preparation for GPI output as a run finishes it: default proximity, texts
// converted and cut, icons, area index.
void BM_prepare_for_gpi(benchmark::State& state) {
    gpi_preparation preparation({nullptr, {false, 1250}, {}}, [](icon_library) { return nullptr; });
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        poiset_list list;
        list.poisets.push_back(waypoint_set_of(n));
        state.ResumeTiming();
        auto prepared = preparation.finish(list);
        benchmark::DoNotOptimize(prepared);
        state.PauseTiming();
        prepared.reset();
        list.poisets.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_prepare_for_gpi)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora::bench
