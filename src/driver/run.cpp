#include "driver/run.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "driver/exporters.hpp"
#include "driver/help.hpp"
#include "driver/import.hpp"
#include "driver/request.hpp"
#include "driver/run_state.hpp"
#include "icons/icon_library.hpp"
#include "platform/clock.hpp"
#include "platform/messages.hpp"
#include "platform/version.hpp"

namespace velmora {

void run_state::mark_start() {
    mark_time = monotonic_msec();
}

void run_state::mark_elapsed() {
    double now = monotonic_msec();
    report(" %.1f msec", now - mark_time);
    mark_time = now;
}

namespace {

constexpr const char* credits = "Garmin POI converter (GPX, GPI, speed-camera lists)";

// The last line of a run that left inputs out: their numbers and names.
void report_left_out(const run_request& request, const std::vector<std::size_t>& left_out) {
    std::string names;
    for (std::size_t index : left_out) {
        if (!names.empty()) names += ", ";
        names += std::to_string(index + 1) + ". " + shown(request.inputs[index]);
    }
    report("\nWarning: %zu of %zu inputs left out: %s", left_out.size(), request.inputs.size(),
           names.c_str());
}

// The request carried out: every input imported, then the output written.  0 when every
// input was read, 2 when some were left out, 1 when the run failed.
int carry_out(const run_request& request, settings_files& files) {
    run_state run{request, files, {}, std::nullopt, monotonic_msec(), {}};
    const output_format format = request.output.format;
    if (format == output_format::gpi || format == output_format::kml ||
        format == output_format::kmz || format == output_format::report) {
        // The sets take their icons as for a GPI file, which KML output and the report
        // show.
        // The icon libraries come from the icons directories of the lookup order.
        run.gpi.emplace(gpi_preparation::options{files.gpi(), request.code_page, run.split},
                        [&files](icon_library library) {
                            return icon_library_load(files.icon_pattern(library));
                        });
    }
    std::vector<std::size_t> left_out;  // inputs that were skipped or refused
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        if (!import_input(run, static_cast<int>(i) + 1, request.inputs[i])) left_out.push_back(i);
    }
    // With nothing read there is nothing to replace an existing file with.
    if (left_out.size() == request.inputs.size()) {
        report("\nFatal: No input could be read; the output file (%s) was left as it was.",
               shown(request.output.path).c_str());
        return 1;
    }
    export_output(run);
    if (!left_out.empty()) {
        report_left_out(request, left_out);
        return 2;
    }
    return 0;
}

int convert(int argc, const char* const* argv) {
    if (argc < 2) {
        report(usage_line, program_name);
        return 1;
    }
    try {
        settings_files files;
        std::optional<run_request> request = read_request(argc, argv, files);
        if (!request) return 1;
        return carry_out(*request, files);
    } catch (const fatal_exit&) {
        return 1;
    }
}

}  // namespace

int run(int argc, const char* const* argv) {
    switch (info_requested(argc, argv)) {
        case info_request::help:
            print_help(stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case info_request::version:
            print_version(stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case info_request::none:
            break;
    }
    report("\n%s %s\n%s", program_name, program_version, credits);
    int code = convert(argc, argv);
    // The last message ends its line, so that the shell's prompt starts on a line of
    // its own.
    report("\n");
    return code;
}

}  // namespace velmora
