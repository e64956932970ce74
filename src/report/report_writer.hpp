#pragma once
// The report page: one HTML file that shows what the sets hold (the inputs, the header
// facts, each set's categories, icons and counts, a map and a table of every POI), with
// its script, styles, icons and map library inside, so that a browser shows it without
// fetching anything.  The data lies in the page as one JSON text that the page's script
// reads; every text from an input is in it as UTF-8 and reaches the page only as text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/poiset.hpp"
#include "platform/split_policy.hpp"

namespace velmora {

// What the page tells besides the sets.
struct report_input {
    std::string name;    // the file's name as the user gave it (UTF-8)
    std::string format;  // "GPX", "GPI", ...
};
struct report_facts {
    std::vector<report_input> inputs;
    std::string language;       // the language asked for (-lang:), empty when none
    std::int64_t run_time = 0;  // seconds since 1970
};

// Up to this many POIs the map draws every one; beyond, a sample of about as many.
inline constexpr std::size_t report_map_points = 100000;

// Of every how many POIs of a set the map draws one, for that many POIs in all.
[[nodiscard]] std::size_t report_map_step(std::size_t total);

// Writes the page to the stream; false when a write failed.  With split saying so, a
// second thread formats parts of the data while this one writes.
[[nodiscard]] bool write_report(std::FILE* stream, const poiset_list& list,
                                const report_facts& facts, const split_policy& split = {});

// The page as a string.
[[nodiscard]] std::string report_document(const poiset_list& list, const report_facts& facts,
                                          const split_policy& split = {});

// The JSON text the page's script reads, as it stands in the page.
[[nodiscard]] std::string report_data(const poiset_list& list, const report_facts& facts);

}  // namespace velmora
