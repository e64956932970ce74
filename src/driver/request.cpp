#include "driver/request.hpp"

#include <utility>

#include "driver/console_io.hpp"
#include "driver/exporters.hpp"
#include "driver/help.hpp"
#include "driver/request_checks.hpp"
#include "gpi/gpi_settings.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/program_path.hpp"
#include "platform/version.hpp"

namespace velmora {

std::string shown(std::string_view name) {
    return shown_file_name(name);
}

std::string shown(const named_file& file) {
    return shown_file_name(file.name + file.ext);
}

namespace {

// The display name of standard input named "-"; the console names are shown as given.
constexpr const char* stdin_name = "stdin";

// A language code of -lang:, two or three ASCII letters.
bool is_language_code(std::string_view code) {
    if (code.size() < 2 || code.size() > 3) return false;
    for (char c : code) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

// A file named on the command line: its full path, file name and extension.  The run
// ends when the name can't be resolved ("\nFatal: Error processing <what> filename (%s)")
// or split.
named_file resolve_named_file(const char* arg, const char* what) {
    auto full = resolve_path(arg);
    if (!full) {
        report("\nFatal: Error processing %s filename (%s)", what, shown(arg).c_str());
        throw fatal_exit{};
    }
    auto parts = split_path(*full);
    if (!parts) {
        report("FATAL: Error splitting input filespec!");
        throw fatal_exit{};
    }
    return {std::move(*full), parts->fname, parts->ext};
}

// Reads the command line argument by argument.
class command_line_reader {
  public:
    explicit command_line_reader(settings_files& files) : files_(files) {}

    void read(int argc, const char* const* argv);

    run_request request;
    given_options given;

  private:
    void read_program_name(const char* arg);
    void read_option(const char* arg);
    void read_input(const char* arg);
    void read_output(const char* arg);
    void read_tags(const char* arg, std::string_view value);
    void read_lang(const char* arg, std::string_view value);
    void read_format(const char* arg, std::string_view value);
    void read_groups(const char* arg, std::string_view value);
    void read_code_page(const char* arg, std::string_view value);
    void read_proximity_time(const char* arg, std::string_view value);
    void read_kml(const char* arg, std::string_view value);

    // What a plain argument (not an option) is read as.
    enum class arg_phase {
        inputs,        // plain arguments name inputs
        output_name,   // after -o: the next plain argument names the output
        after_output,  // the output is named; nothing more is expected
    };
    settings_files& files_;
    arg_phase phase_ = arg_phase::inputs;
};

void command_line_reader::read(int argc, const char* const* argv) {
    read_program_name(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-' && arg[1] != '\0') {
            read_option(arg);
        } else if (phase_ == arg_phase::inputs) {
            read_input(arg);
        } else if (phase_ == arg_phase::output_name) {
            read_output(arg);
        } else {
            report(
                "\nUnexpected command-line param: (%s). No parameter expected after oputput "
                "file name!",
                shown(arg).c_str());
            report(usage_line, program_name);
        }
    }
}

// The program's directory is that of the running executable, whatever name it was
// started by, so that a program found through PATH never takes the settings of the
// working directory; only a system that can't tell falls back to the name given.
void command_line_reader::read_program_name(const char* arg) {
    auto full = running_program_path();
    if (!full) full = resolve_path(arg);
    if (!full) {
        report("\nFatal: Error processing exe name (%s)", shown(arg).c_str());
        throw fatal_exit{};
    }
    auto parts = split_path(*full);
    if (!parts) {
        report("FATAL: Error splitting app filespec!");
        throw fatal_exit{};
    }
    files_.locate(parts->drive + parts->dir);
}

void command_line_reader::read_option(const char* arg) {
    std::string_view name(arg + 1);
    if (std::size_t colon = name.find(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    std::string_view value(arg + 1 + name.size());
    if (!value.empty()) value.remove_prefix(1);
    if (equals_ignore_case(name, "output") || equals_ignore_case(name, "o")) {
        // A second -o (before or after the output name) expects nothing more.
        phase_ = phase_ == arg_phase::inputs ? arg_phase::output_name : arg_phase::after_output;
    } else if (equals_ignore_case(name, "tags")) {
        read_tags(arg, value);
    } else if (equals_ignore_case(name, "lang")) {
        read_lang(arg, value);
    } else if (equals_ignore_case(name, "format")) {
        read_format(arg, value);
    } else if (equals_ignore_case(name, "groups")) {
        read_groups(arg, value);
    } else if (equals_ignore_case(name, "proximity")) {
        read_proximity_time(arg, value);
    } else if (equals_ignore_case(name, "codepage")) {
        read_code_page(arg, value);
    } else if (equals_ignore_case(name, "kml")) {
        read_kml(arg, value);
    } else {
        report("\nUnexpected option found: (%s), ignored", shown(arg).c_str());
    }
}

// An input parameter: the filter of the input just named, of a format that takes one.
void command_line_reader::read_tags(const char* arg, std::string_view value) {
    auto& inputs = request.inputs;
    if (phase_ != arg_phase::inputs || inputs.empty() ||
        input_kind_info(inputs.back().kind).tags == tag_filter_use::none) {
        report(
            "\nFatal: %s must follow an OpenStreetMap input file (.osm.pbf, .osm, "
            ".osm.bz2, .osm.gz, .o5m) or a GeoJSON input file (.geojson, .json, .umap)",
            shown(arg).c_str());
        throw fatal_exit{};
    }
    inputs.back().tags = std::string(value);
}

void command_line_reader::read_lang(const char* arg, std::string_view value) {
    if (!is_language_code(value)) {
        report(
            "\nFatal: %s: the language must be a code of two or three letters, such as "
            "-lang:de",
            shown(arg).c_str());
        throw fatal_exit{};
    }
    request.lang = ascii_lower(value);
    request.gpi_options.language = value;
}

// -format:gpi, gpx or geojson: the writer, whatever the output's name; the only way to
// choose one for standard output.
void command_line_reader::read_format(const char* arg, std::string_view value) {
    given.format = output_format_of_option(value);
    if (given.format) return;
    report(
        "\nFatal: Unknown output format (%s): -format: takes gpi, gpx, geojson, kml, kmz or html",
        shown(arg).c_str());
    throw fatal_exit{};
}

// -groups:folders makes each folder of an input (a uMap layer) a POI set of its own;
// -groups:file, the default, keeps one set per input with the folders as categories.
void command_line_reader::read_groups(const char* arg, std::string_view value) {
    if (equals_ignore_case(value, "folders") || equals_ignore_case(value, "file")) {
        request.kml_options.folders_as_sets = equals_ignore_case(value, "folders");
        return;
    }
    report("\nFatal: Unknown grouping (%s): -groups: takes folders or file", shown(arg).c_str());
    throw fatal_exit{};
}

// -codepage:N, utf8 or auto: the code page of GPI output.
void command_line_reader::read_code_page(const char* arg, std::string_view value) {
    given.code_page = parse_code_page_choice(value);
    if (given.code_page) return;
    report(
        "\nFatal: Unknown code page (%s): -codepage: takes 1250 to 1258, 65001 (or utf8) or auto",
        shown(arg).c_str());
    throw fatal_exit{};
}

// -proximity:Ns: speed alerts warn N seconds ahead instead of ten metres per km/h.
void command_line_reader::read_proximity_time(const char* arg, std::string_view value) {
    request.proximity_time = parse_proximity_time(value);
    if (request.proximity_time) return;
    report(
        "\nFatal: Invalid proximity time (%s): -proximity: takes whole seconds from 1 to %lld, "
        "such as -proximity:30s",
        shown(arg).c_str(), max_proximity_time);
    throw fatal_exit{};
}

// -kml:circles: KML and KMZ output draw each proximity alert's circle as well.
void command_line_reader::read_kml(const char* arg, std::string_view value) {
    if (equals_ignore_case(value, "circles")) {
        request.output.kml_circles = true;
        return;
    }
    report("\nFatal: Unknown KML output parameter (%s): -kml: takes circles", shown(arg).c_str());
    throw fatal_exit{};
}

void command_line_reader::read_input(const char* arg) {
    input_request input;
    if (is_console_input(arg)) {
        input.path = arg;
        input.name = std::string_view(arg) == "-" ? stdin_name : arg;
        input.console = true;
    } else {
        static_cast<named_file&>(input) = resolve_named_file(arg, "input");
        input.kind = input_kind_of_extension(input.ext);
    }
    auto& inputs = request.inputs;
    inputs.push_back(std::move(input));
    report("\n<-%i. %s", static_cast<int>(inputs.size()), shown(inputs.back()).c_str());
    if (inputs.back().kind == input_kind::gpi) files_.need_gpi_settings();
}

void command_line_reader::read_output(const char* arg) {
    output_request& output = request.output;
    if (is_console_output(arg)) {
        static_cast<named_file&>(output) = {arg, std::string_view(arg) == "-" ? "stdout" : arg, ""};
        output.to_stdout = true;
    } else {
        static_cast<named_file&>(output) = resolve_named_file(arg, "output");
    }
    given.output_named = true;
    report("\n%i---> %s", static_cast<int>(request.inputs.size()), shown(output).c_str());
    if (output_format_of_extension(output.ext) == output_format::gpi) files_.need_gpi_settings();
    phase_ = arg_phase::after_output;
}

}  // namespace

std::optional<run_request> read_request(int argc, const char* const* argv, settings_files& files) {
    command_line_reader reader(files);
    reader.read(argc, argv);
    if (reader.request.inputs.empty()) {
        report("\nFatal: No input file was specified!");
        return std::nullopt;
    }
    complete_request(reader.request, reader.given, files);
    return std::move(reader.request);
}

}  // namespace velmora
