#include "driver/request_checks.hpp"

#include <cerrno>
#include <cstring>
#include <string>

#include "driver/exporters.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "tags/osm_filter.hpp"

namespace velmora {

namespace {

#ifdef VELMORA_WITH_OSM
// Every input that needs a filter has it, and every filter reads, before anything is
// imported: a run must not turn a whole extract into POIs, nor fail after an hour.
void check_input_parameters(const run_request& request) {
    for (const input_request& input : request.inputs) {
        tag_filter_use use = input_kind_info(input.kind).tags;
        if (use == tag_filter_use::none) continue;
        if (!input.tags && use == tag_filter_use::optional) continue;
        if (!input.tags) {
            report(
                "\nFatal: The OpenStreetMap input %s needs a tag filter after it, such as "
                "-tags:amenity=fuel or -tags:amenity=fuel|charging_station,tourism=camp_site",
                shown(input).c_str());
            throw fatal_exit{};
        }
        std::string error;
        if (!parse_osm_tag_filter(*input.tags, error)) {
            report("\nFatal: The tag filter -tags:%s can't be used: %s", shown(*input.tags).c_str(),
                   error.c_str());
            throw fatal_exit{};
        }
    }
}
#else
void check_input_parameters(const run_request&) {}
#endif

// Standard input has no name to derive an output name from, and standard output no
// extension to choose the writer by.
void check_console_use(run_request& request, const given_options& given, settings_files& files) {
    output_request& output = request.output;
    if (given.format) {
        output.ext = output_format_extension(*given.format);
        if (*given.format == output_format::gpi) files.need_gpi_settings();
    }
    if (output.to_stdout && !given.format) {
        report(
            "\nFatal: Standard output needs the output format: -format:gpi, -format:gpx or "
            "-format:geojson");
        throw fatal_exit{};
    }
    if (!given.output_named && request.inputs.front().console) {
        report("\nFatal: Standard input needs an output: -o FILE, or -o - with -format:");
        throw fatal_exit{};
    }
}

// The first input's name with "_velmora", in the format given, else GPX for a GPI input
// and GPI for others.
void name_output_automatically(run_request& request, const given_options& given,
                               settings_files& files) {
    const input_request& first = request.inputs.front();
    auto parts = split_path(first.path);
    if (!parts) {
        report("FATAL: Error splitting input filespec!");
        throw fatal_exit{};
    }
    output_request& output = request.output;
    output.name = first.name;
    parts->fname += "_velmora";
    output_format format = given.format                    ? *given.format
                           : first.kind == input_kind::gpi ? output_format::gpx
                                                           : output_format::gpi;
    output.ext = output_format_extension(format);
    parts->ext = output.ext;
    auto joined = join_path(*parts);
    if (!joined) {
        report("FATAL: Error joining output filespec! (Too long?)");
        throw fatal_exit{};
    }
    output.path = std::move(*joined);
    report("\nAutomatic output file");
    report("\n---> %s", shown(output).c_str());
    if (format == output_format::gpi) files.need_gpi_settings();
}

// The output code page: -codepage: wins over CodePage= of the settings file; 1250
// without either.
void choose_output_code_page(run_request& request, const given_options& given,
                             const settings_files& files) {
    if (request.output.format != output_format::gpi) {
        if (given.code_page) report("\nWarning: -codepage: applies to gpi output only, ignored");
        return;
    }
    if (given.code_page) {
        request.code_page = *given.code_page;
        return;
    }
    const gpi_settings* settings = files.gpi();
    if (settings && settings->code_page) {
        auto choice = parse_code_page_choice(*settings->code_page);
        if (!choice) {
            report(
                "\nFatal: Unknown code page (CodePage=%s) in %s: it takes 1250 to 1258, 65001 (or "
                "utf8) or auto",
                shown(*settings->code_page).c_str(), shown(files.gpi_settings_path()).c_str());
            throw fatal_exit{};
        }
        request.code_page = *choice;
    }
}

// The output's format and place.
void check_output(const output_request& output) {
    // A directory named as the output has no extension to tell a format by; what is
    // wrong is that it is a directory.
    if (output.format == output_format::none && !output.to_stdout &&
        is_directory(output.path.c_str())) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(output.path).c_str(),
               std::strerror(EISDIR));
        throw fatal_exit{};
    }
    if (output.format == output_format::none) {
        if (equals_ignore_case(output.ext, ".gdb")) {
            report("\nOutput file format (%s) not supported (yet)!", shown(output.ext).c_str());
        } else {
            report("\nOutput file format (%s) not supported!", shown(output.ext).c_str());
        }
        throw fatal_exit{};
    }
    if (output.to_stdout) return;
    std::string problem = output_problem(output.path, output_format_place(output.format));
    if (!problem.empty()) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(output.path).c_str(),
               problem.c_str());
        throw fatal_exit{};
    }
}

}  // namespace

void complete_request(run_request& request, const given_options& given, settings_files& files) {
    check_input_parameters(request);
    check_console_use(request, given, files);
    if (!given.output_named) name_output_automatically(request, given, files);
    request.output.format =
        given.format ? *given.format : output_format_of_extension(request.output.ext);
    choose_output_code_page(request, given, files);
    const output_format format = request.output.format;
    if (request.output.kml_circles && format != output_format::kml &&
        format != output_format::kmz) {
        report("\nWarning: -kml:circles applies to kml and kmz output only, ignored");
    }
    check_output(request.output);
}

}  // namespace velmora
