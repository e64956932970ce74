#include "driver/run.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "csv/csv_reader.hpp"
#include "driver/console_io.hpp"
#include "driver/gpi_preparation.hpp"
#include "driver/help.hpp"
#include "driver/input_kind.hpp"
#include "driver/kml_icons.hpp"
#include "driver/runtime_files.hpp"
#include "geojson/geojson_reader.hpp"
#include "gpi/gpi_reader.hpp"
#include "gpi/gpi_settings.hpp"
#include "gpi/gpi_writer.hpp"
#include "gpx/gpx_reader.hpp"
#include "gpx/gpx_writer.hpp"
#include "icons/icon_convert.hpp"
#include "icons/icon_library.hpp"
#include "icons/icon_selection.hpp"
#include "kml/kml_reader.hpp"
#include "model/poiset.hpp"
#ifdef VELMORA_WITH_OSM
#include "osm/osm_import.hpp"
#include "osm/osm_reader.hpp"
#endif
#include "platform/atomic_output.hpp"
#include "platform/clock.hpp"
#include "platform/code_page.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/program_path.hpp"
#include "platform/progress.hpp"
#include "platform/split_policy.hpp"
#include "platform/stdio_file.hpp"
#include "platform/whole_input.hpp"
#include "speedcam/speedcam_import.hpp"
#include "speedcam/speedcam_settings.hpp"
#include "tags/osm_mapping.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

namespace {

constexpr const char* credits = "Garmin POI converter (GPX, GPI, speed-camera lists)";
constexpr const char* usage_line =
    "\nExpected: %s \"inpfile-list\" [-inpparams] [-o \"outfile\" [-outparams]]";

// A failure that ends the run with exit code 1 after its message was written.
struct fatal_exit {};

// A file name or argument as messages show it: control characters as \xNN, so that a
// name can't send escape sequences to the terminal.
std::string shown(std::string_view name) {
    return shown_file_name(name);
}

// The display name with its extension.
std::string shown(std::string_view name, std::string_view ext) {
    std::string whole(name);
    whole += ext;
    return shown_file_name(whole);
}

struct named_file {
    std::string path;                 // full path, or the console name unchanged
    std::string name;                 // display name: file name without directory and extension
    std::string ext;                  // with its dot, or empty
    std::optional<std::string> tags;  // the -tags: filter given after the input
};

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
    return {std::move(*full), parts->fname, parts->ext, std::nullopt};
}

// OpenStreetMap files, by their last extension (".osm.pbf", ".osm.gz" and ".osm.bz2"
// end in one of these; libosmium tells the format from the whole name).
bool is_osm_input(std::string_view ext) {
    for (const char* known : {".pbf", ".osm", ".o5m", ".gz", ".bz2"}) {
        if (equals_ignore_case(ext, known)) return true;
    }
    return false;
}

// GeoJSON files, and uMap's documents of GeoJSON layers.
bool is_geojson_input(std::string_view ext) {
    return input_kind_of_extension(ext) == input_kind::geojson;
}

// Google Earth documents and their zip archives.
bool is_kml_input(std::string_view ext) {
    input_kind kind = input_kind_of_extension(ext);
    return kind == input_kind::kml || kind == input_kind::kmz;
}

// A language code of -lang:, two or three ASCII letters.
bool is_language_code(std::string_view code) {
    if (code.size() < 2 || code.size() > 3) return false;
    for (char c : code) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

// The display name of standard input named "-"; the console names are shown as given.
constexpr const char* stdin_name = "stdin";

// The run-wide values and the run's steps.
class conversion_run {
  public:
    int execute(int argc, const char* const* argv);

  private:
    int convert(int argc, const char* const* argv);

    void mark_elapsed();
    void read_program_name(const char* arg);
    void read_option(const char* arg);
    void check_input_parameters();
    [[nodiscard]] bool import_osm(const named_file& input);
    [[nodiscard]] bool import_geojson(std::FILE* file, const named_file& input);
    [[nodiscard]] const osm_mapping* tag_mapping();
    void read_groups(const char* arg, std::string_view value);
    [[nodiscard]] bool import_kml(std::FILE* file, const named_file& input);
    void read_input(const char* arg);
    void read_output(const char* arg);
    void read_format(const char* arg, std::string_view value);
    void read_code_page(const char* arg, std::string_view value);
    void read_proximity_time(const char* arg, std::string_view value);
    void apply_proximity_time_to_sets();
    [[nodiscard]] std::int64_t gpi_time_for_output() const;
    void choose_output_code_page();
    void check_console_use();
    void name_output_automatically();
    void need_gpi_settings();
    [[nodiscard]] icon_limit icon_limit_of_settings() const;
    void check_output() const;
    [[nodiscard]] bool import_input(int number, const named_file& input);
    [[nodiscard]] std::optional<bool> import_file(const named_file& input);
    long long report_imported(int sets_before);
    [[nodiscard]] bool import_by_extension(std::FILE* file, const named_file& input);
    [[nodiscard]] bool import_console_input(const named_file& input);
    [[nodiscard]] std::optional<std::string> icon_dir_spec(std::string_view input_ext) const;
    void prepare_icons(poiset& set, const std::string& input_ext);
    void prepare_icon_beside(poiset& set, const std::string& input_path);
    void export_all();
    bool write_prepared_gpi(std::FILE* stream);
    void export_icons_as_bmp();
    void report_left_out() const;

    enum class output_kind { none, gpx, gpi, bmp };
    static output_kind output_kind_of(std::string_view ext);
    bool write_stream(output_kind kind, std::FILE* stream);
    void export_to_stdout(output_kind kind);

    [[nodiscard]] std::string find_settings_file(const char* name) const;

    std::string exe_path_;
    std::string app_dir_;
    runtime_files files_;
    std::string gpi_settings_path_;
    std::optional<code_page_choice> code_page_option_;  // -codepage:
    std::optional<long long> proximity_time_option_;    // -proximity:, seconds
    std::int64_t gpi_time_ = 0;                         // the GPI output's header time
    code_page_choice code_page_choice_;                 // what the GPI output is written in
    double mark_time_ = 0.0;
    std::unique_ptr<gpi_settings> gpi_settings_;

    // Where the command line stands: what a plain argument (not an option) is read as.
    enum class arg_phase {
        program_name,  // argv[0] not read yet
        inputs,        // plain arguments name inputs
        output_name,   // after -o: the next plain argument names the output
        after_output,  // the output is named; nothing more is expected
    };
    arg_phase arg_phase_ = arg_phase::program_name;
    std::vector<named_file> inputs_;
    std::vector<std::size_t> left_out_;  // inputs that were skipped or refused
    bool output_named_ = false;
    named_file output_;
    bool output_to_stdout_ = false;
    std::optional<std::string> output_format_;  // -format:, as an extension
    gpi_read_options gpi_options_;              // -lang:
    poiset_list list_;
    std::string lang_;                          // -lang:, lower case; empty when not given
    std::unique_ptr<osm_mapping> osm_mapping_;  // Velmora_osm.ini, once it is needed
    kml_read_options kml_options_;              // -groups: (GeoJSON's layers too)
    bool osm_mapping_loaded_ = false;
    split_policy split_;  // when the readers, the preparation and the writers use two threads
};

void conversion_run::mark_elapsed() {
    double now = monotonic_msec();
    report(" %.1f msec", now - mark_time_);
    mark_time_ = now;
}

// The settings file where the lookup order finds it, reported as it is chosen; the
// path beside the program when none is found, so that its reader names that one.
std::string conversion_run::find_settings_file(const char* name) const {
    auto found = files_.find_file(name);
    if (!found) return files_.beside_program(name);
    report("\n    settings: %s", shown(*found).c_str());
    return *found;
}

void conversion_run::need_gpi_settings() {
    if (gpi_settings_) return;
    gpi_settings_path_ = find_settings_file("Velmora_gpi.ini");
    gpi_settings_ = read_gpi_settings(gpi_settings_path_);
}

// The program's directory is that of the running executable, whatever name it was
// started by, so that a program found through PATH never takes the settings of the
// working directory; only a system that can't tell falls back to the name given.
void conversion_run::read_program_name(const char* arg) {
    auto full = running_program_path();
    if (!full) full = resolve_path(arg);
    if (!full) {
        report("\nFatal: Error processing exe name (%s)", shown(arg).c_str());
        throw fatal_exit{};
    }
    exe_path_ = *full;
    auto parts = split_path(exe_path_);
    if (!parts) {
        report("FATAL: Error splitting app filespec!");
        throw fatal_exit{};
    }
    app_dir_ = parts->drive + parts->dir;
    files_ = runtime_files::for_program(app_dir_, [](const char* var) { return std::getenv(var); });
    arg_phase_ = arg_phase::inputs;
}

void conversion_run::read_option(const char* arg) {
    std::string_view name(arg + 1);
    if (std::size_t colon = name.find(':'); colon != std::string_view::npos) {
        name = name.substr(0, colon);
    }
    std::string_view value(arg + 1 + name.size());
    if (!value.empty()) value.remove_prefix(1);
    if (equals_ignore_case(name, "output") || equals_ignore_case(name, "o")) {
        // A second -o (before or after the output name) expects nothing more.
        arg_phase_ =
            arg_phase_ == arg_phase::inputs ? arg_phase::output_name : arg_phase::after_output;
    } else if (equals_ignore_case(name, "tags")) {
        // An input parameter: the filter of the OpenStreetMap or GeoJSON input just named.
        if (arg_phase_ != arg_phase::inputs || inputs_.empty() ||
            (!is_osm_input(inputs_.back().ext) && !is_geojson_input(inputs_.back().ext))) {
            report(
                "\nFatal: %s must follow an OpenStreetMap input file (.osm.pbf, .osm, "
                ".osm.bz2, .osm.gz, .o5m) or a GeoJSON input file (.geojson, .json, .umap)",
                shown(arg).c_str());
            throw fatal_exit{};
        }
        inputs_.back().tags = std::string(value);
    } else if (equals_ignore_case(name, "lang")) {
        if (!is_language_code(value)) {
            report(
                "\nFatal: %s: the language must be a code of two or three letters, such as "
                "-lang:de",
                shown(arg).c_str());
            throw fatal_exit{};
        }
        lang_ = ascii_lower(value);
        gpi_options_.language = value;
    } else if (equals_ignore_case(name, "format")) {
        read_format(arg, name.size() + 1 < std::string_view(arg + 1).size()
                             ? std::string_view(arg + 2 + name.size())
                             : std::string_view());
    } else if (equals_ignore_case(name, "groups")) {
        read_groups(arg, value);
    } else if (equals_ignore_case(name, "proximity")) {
        read_proximity_time(arg, value);
    } else if (equals_ignore_case(name, "codepage")) {
        read_code_page(arg, name.size() + 1 < std::string_view(arg + 1).size()
                                ? std::string_view(arg + 2 + name.size())
                                : std::string_view());
    } else {
        report("\nUnexpected option found: (%s), ignored", shown(arg).c_str());
    }
}

// -groups:folders makes each folder of an input (a uMap layer) a POI set of its own;
// -groups:file, the default, keeps one set per input with the folders as categories.
void conversion_run::read_groups(const char* arg, std::string_view value) {
    if (equals_ignore_case(value, "folders") || equals_ignore_case(value, "file")) {
        kml_options_.folders_as_sets = equals_ignore_case(value, "folders");
        return;
    }
    report("\nFatal: Unknown grouping (%s): -groups: takes folders or file", shown(arg).c_str());
    throw fatal_exit{};
}

// -codepage:N, utf8 or auto: the code page of GPI output.
void conversion_run::read_code_page(const char* arg, std::string_view value) {
    code_page_option_ = parse_code_page_choice(value);
    if (code_page_option_) return;
    report(
        "\nFatal: Unknown code page (%s): -codepage: takes 1250 to 1258, 65001 (or utf8) or auto",
        shown(arg).c_str());
    throw fatal_exit{};
}

// -proximity:Ns: speed alerts warn N seconds ahead instead of ten metres per km/h.
void conversion_run::read_proximity_time(const char* arg, std::string_view value) {
    proximity_time_option_ = parse_proximity_time(value);
    if (proximity_time_option_) return;
    report(
        "\nFatal: Invalid proximity time (%s): -proximity: takes whole seconds from 1 to %lld, "
        "such as -proximity:30s",
        shown(arg).c_str(), max_proximity_time);
    throw fatal_exit{};
}

// -proximity: wins over ProximityTime= of the settings file; without either, speed
// alerts keep ten metres per km/h.
void conversion_run::apply_proximity_time_to_sets() {
    std::optional<long long> seconds = proximity_time_option_;
    if (!seconds && gpi_settings_) seconds = gpi_settings_->proximity_time;
    if (!seconds) return;
    for (auto& set : list_.poisets) apply_proximity_time(*seconds, *set);
}

// The run's time, for a GPI file moved forward past the header times of the other GPI
// files beside it, which is said when it happens.
std::int64_t conversion_run::gpi_time_for_output() const {
    std::int64_t now = current_unix_time();
    if (output_to_stdout_) return now;
    gpi_header_time chosen = distinct_header_time(output_.path, now);
    if (!chosen.after.empty()) {
        std::time_t shown_time = static_cast<std::time_t>(chosen.time);
        std::tm parts{};
        char text[32] = "?";
        if (gmtime_r(&shown_time, &parts) != nullptr) {
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
        }
        report("\n    header time %s, one second after %s", text, shown(chosen.after).c_str());
    }
    return chosen.time;
}

// The output code page: -codepage: wins over CodePage= of the settings file; 1250
// without either.  Settled before any input is read, so that a wrong value costs no
// import.
void conversion_run::choose_output_code_page() {
    if (!equals_ignore_case(output_.ext, ".gpi")) {
        if (code_page_option_) report("\nWarning: -codepage: applies to gpi output only, ignored");
        return;
    }
    if (code_page_option_) {
        code_page_choice_ = *code_page_option_;
        return;
    }
    if (gpi_settings_ && gpi_settings_->code_page) {
        auto choice = parse_code_page_choice(*gpi_settings_->code_page);
        if (!choice) {
            report(
                "\nFatal: Unknown code page (CodePage=%s) in %s: it takes 1250 to 1258, 65001 (or "
                "utf8) or auto",
                shown(*gpi_settings_->code_page).c_str(), shown(gpi_settings_path_).c_str());
            throw fatal_exit{};
        }
        code_page_choice_ = *choice;
    }
}

// -format:gpi or -format:gpx: the writer, whatever the output's name; the only way to
// choose one for standard output.
void conversion_run::read_format(const char* arg, std::string_view value) {
    if (equals_ignore_case(value, "gpi") || equals_ignore_case(value, "gpx")) {
        // Built piece by piece: "." + std::string sets off a false -Wrestrict warning of
        // GCC 12 in optimised builds.
        std::string ext(1, '.');
        ext += ascii_lower(value);
        output_format_ = std::move(ext);
        return;
    }
    report("\nFatal: Unknown output format (%s): -format: takes gpi or gpx", shown(arg).c_str());
    throw fatal_exit{};
}

// Standard input has no name to derive an output name from, and standard output no
// extension to choose the writer by; both are checked before any input is read.
void conversion_run::check_console_use() {
    if (output_format_) {
        output_.ext = *output_format_;
        if (equals_ignore_case(output_.ext, ".gpi")) need_gpi_settings();
    }
    if (output_to_stdout_ && !output_format_) {
        report("\nFatal: Standard output needs the output format: -format:gpi or -format:gpx");
        throw fatal_exit{};
    }
    if (!output_named_ && is_console_input(inputs_.front().path)) {
        report("\nFatal: Standard input needs an output: -o FILE, or -o - with -format:");
        throw fatal_exit{};
    }
}

void conversion_run::read_input(const char* arg) {
    named_file input;
    if (is_console_input(arg)) {
        input.path = arg;
        input.name = std::string_view(arg) == "-" ? stdin_name : arg;
    } else {
        input = resolve_named_file(arg, "input");
    }
    inputs_.push_back(std::move(input));
    const named_file& stored = inputs_.back();
    report("\n<-%i. %s", static_cast<int>(inputs_.size()), shown(stored.name, stored.ext).c_str());
    if (equals_ignore_case(stored.ext, ".gpi")) need_gpi_settings();
}

void conversion_run::read_output(const char* arg) {
    if (is_console_output(arg)) {
        output_ = {arg, std::string_view(arg) == "-" ? "stdout" : arg, "", std::nullopt};
        output_to_stdout_ = true;
    } else {
        output_ = resolve_named_file(arg, "output");
    }
    output_named_ = true;
    report("\n%i---> %s", static_cast<int>(inputs_.size()),
           shown(output_.name, output_.ext).c_str());
    if (equals_ignore_case(output_.ext, ".gpi")) need_gpi_settings();
    arg_phase_ = arg_phase::after_output;
}

void conversion_run::name_output_automatically() {
    const named_file& first = inputs_.front();
    auto parts = split_path(first.path);
    if (!parts) {
        report("FATAL: Error splitting input filespec!");
        throw fatal_exit{};
    }
    output_.name = first.name;
    parts->fname += "_velmora";
    if (output_format_) {
        output_.ext = *output_format_;
    } else {
        output_.ext = equals_ignore_case(first.ext, ".gpi") ? ".gpx" : ".gpi";
    }
    parts->ext = output_.ext;
    auto joined = join_path(*parts);
    if (!joined) {
        report("FATAL: Error joining output filespec! (Too long?)");
        throw fatal_exit{};
    }
    output_.path = std::move(*joined);
    report("\nAutomatic output file");
    report("\n---> %s", shown(output_.name, output_.ext).c_str());
    if (equals_ignore_case(output_.ext, ".gpi")) need_gpi_settings();
}

// Imports one open input; false when its reader refused it or its format is not read.
bool conversion_run::import_by_extension(std::FILE* file, const named_file& input) {
    const std::string& ext = input.ext;
    if (equals_ignore_case(ext, ".txt")) {
        poiset* set = poiset_list_add(list_);
        if (set == nullptr) throw fatal_exit{};
        set->name = input.name;
        set->name_is_utf8 = true;
        // The settings are read afresh for every list and released after its import.
        auto settings = read_speedcam_settings(find_settings_file("Velmora_speedcam.ini"));
        bool imported = import_speedcam_text(file, settings.get(), *set, output_.ext, split_);
        if (imported) prepare_icons(*set, ext);
        return imported;
    }
    if (equals_ignore_case(ext, ".gpi")) {
        // What was read before a failure stays in the list; the reader has reported it.
        return read_gpi_file(file, list_, gpi_options_);
    }
    if (equals_ignore_case(ext, ".gpx")) {
        poiset* set = poiset_list_add(list_);
        if (set == nullptr) throw fatal_exit{};
        set->name = input.name;
        set->name_is_utf8 = true;
        bool imported = gpx_read(file, *set, split_);
        if (imported) prepare_icons(*set, ext);
        return imported;
    }
    if (equals_ignore_case(ext, ".csv")) {
        poiset* set = poiset_list_add(list_);
        if (set == nullptr) throw fatal_exit{};
        bool imported = csv_read(file, input.name, *set);
        if (imported) prepare_icon_beside(*set, input.path);
        return imported;
    }
    if (is_osm_input(ext)) return import_osm(input);
    if (is_geojson_input(ext)) return import_geojson(file, input);
    if (is_kml_input(ext)) return import_kml(file, input);
    input_kind kind = input_kind_of_extension(ext);
    report_unsupported_input(
        kind, is_console_input(input.path) ? std::string(input_kind_info(kind).name) : shown(ext),
        shown(input.path));
    return false;
}

// The mapping file of OpenStreetMap tags (and Maki symbol names), read once when the
// first input needs it; none when it can't be read.
const osm_mapping* conversion_run::tag_mapping() {
    if (!osm_mapping_loaded_) {
        osm_mapping_ = read_osm_mapping(find_settings_file(osm_mapping_file_name));
        osm_mapping_loaded_ = true;
    }
    return osm_mapping_.get();
}

// A GeoJSON file or uMap document, read whole; its -tags: filter, when given, selects
// the features.
bool conversion_run::import_geojson(std::FILE* file, const named_file& input) {
    std::optional<osm_tag_filter> filter;
    if (input.tags) {
        std::string error;
        filter = parse_osm_tag_filter(*input.tags, error);
        if (!filter) {
            report("\nError: The tag filter -tags:%s can't be used: %s", input.tags->c_str(),
                   error.c_str());
            return false;
        }
    }
    geojson_options options;
    options.filter = filter ? &*filter : nullptr;
    options.osm = {lang_, tag_mapping()};
    options.layers_as_sets = kml_options_.folders_as_sets;
    int sets_before = list_.count();
    if (!geojson_read_file(file, input.path, input.name, options, list_)) return false;
    for (int i = sets_before; i < list_.count(); ++i)
        prepare_icons(*list_.poisets[static_cast<std::size_t>(i)], ".gpx");
    return true;
}

#ifdef VELMORA_WITH_OSM
// Every OpenStreetMap input has its filter, and every filter reads, before anything is
// imported: a run must not turn a whole extract into POIs, nor fail after an hour.
void conversion_run::check_input_parameters() {
    for (const named_file& input : inputs_) {
        if (!is_osm_input(input.ext) && !is_geojson_input(input.ext)) continue;
        if (!input.tags && is_geojson_input(input.ext)) continue;  // optional there
        if (!input.tags) {
            report(
                "\nFatal: The OpenStreetMap input %s needs a tag filter after it, such as "
                "-tags:amenity=fuel or -tags:amenity=fuel|charging_station,tourism=camp_site",
                shown(input.name, input.ext).c_str());
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

bool conversion_run::import_osm(const named_file& input) {
    std::string error;
    auto filter = parse_osm_tag_filter(input.tags.value_or(""), error);
    if (!filter) return false;  // checked before the import
    osm_read_options options{*filter, {lang_, tag_mapping()}};
    auto result = read_osm_file(input.path, options);
    if (!result) return false;
    report("\n    matched %lli nodes, %lli closed ways and %lli multipolygons",
           static_cast<long long>(result->nodes), static_cast<long long>(result->ways),
           static_cast<long long>(result->multipolygons));
    const std::pair<std::int64_t, const char*> left_out[] = {
        {result->out_of_range, "matching nodes have no valid position"},
        {result->missing_nodes, "matching ways have nodes the file lacks"},
        {result->open_ways, "matching ways are not closed"},
        {result->missing_members, "matching multipolygons have member ways the file lacks"},
        {result->unassembled, "matching multipolygons have rings that don't close"},
        {result->relations, "matching relations are not multipolygons"},
    };
    for (const auto& [count, reason] : left_out) {
        if (count > 0) {
            report_problem("\nWarning: %lli %s and were left out", static_cast<long long>(count),
                           reason);
        }
    }
    if (add_osm_pois(list_, *result, *filter, tag_mapping(), input.name) < 0) {
        throw fatal_exit{};
    }
    prepare_icons(*list_.poisets.back(), ".gpx");
    return true;
}
#else
void conversion_run::check_input_parameters() {}

bool conversion_run::import_osm(const named_file& input) {
    report("\nInput file format (%s) not supported (this build has no OpenStreetMap input)!",
           shown(input.ext).c_str());
    return false;
}
#endif

// A KML document or KMZ archive, whose sets take, for GPI output, the icons of its
// styles before those of the icons directory.
bool conversion_run::import_kml(std::FILE* file, const named_file& input) {
    // A regular file is mapped and its pages given back as the reading passes them;
    // any other stream is read whole.
    std::optional<whole_input> loaded = whole_input::load(file, "kml");
    if (!loaded) return false;
    kml_source source{input.name, {}};
    if (!is_console_input(input.path)) {
        if (auto parts = split_path(input.path)) source.directory = parts->drive + parts->dir;
    }
    std::size_t first = list_.poisets.size();
    auto result = kml_read(loaded->text(), source, list_, kml_options_, loaded->passer());
    loaded->check_unchanged();
    if (!result) return false;
    if (!equals_ignore_case(output_.ext, ".gpi")) return true;
    for (std::size_t i = first; i < list_.poisets.size(); ++i) {
        poiset& set = *list_.poisets[i];
        set.icon_spec = icon_dir_spec(".gpx");
        set.icons = kml_icon_list(result->icons,
                                  set.icon_spec ? icon_library_load(*set.icon_spec) : nullptr);
        select_icons(set, icon_limit_of_settings(), split_);
    }
    return true;
}

// The icons directory pattern for a set read from a file of that extension, from the
// first directory of the lookup order that has the icons directory; reported as chosen.
// The sets of OpenStreetMap input take the icons of GPX symbols.
std::optional<std::string> conversion_run::icon_dir_spec(std::string_view input_ext) const {
    const char* relative = nullptr;
    if (equals_ignore_case(input_ext, ".gpx")) relative = "icons/";
    if (equals_ignore_case(input_ext, ".txt")) relative = "icons/speedcam/";
    if (relative == nullptr) return std::nullopt;
    auto found = files_.find_directory(relative);
    if (!found) return files_.beside_program(relative) + "*.*";
    report("\n    icons: %s", shown(*found).c_str());
    return *found + "*.*";
}

// The icon limit of the GPI settings; none without them.
icon_limit conversion_run::icon_limit_of_settings() const {
    if (!gpi_settings_) return {};
    return {gpi_settings_->icon_count_limit, gpi_settings_->icon_limit_is_percent};
}

// For GPI output, gives a set just read from a GPX file or a speed-camera list its icon
// library and chooses its icons.  Called after a successful import of such a file.
void conversion_run::prepare_icons(poiset& set, const std::string& input_ext) {
    if (!equals_ignore_case(output_.ext, ".gpi")) return;
    set.icon_spec = icon_dir_spec(input_ext);
    if (!set.icon_spec) return;
    set.icons = icon_library_load(*set.icon_spec);
    select_icons(set, icon_limit_of_settings(), split_);
}

// For GPI output, gives a set read from a file that brings its own icon (a BMP file of
// the same base name beside it) that icon for every waypoint, chosen as library icons
// are.  Without one, a set whose waypoints name symbols takes the icons of GPX symbols.
void conversion_run::prepare_icon_beside(poiset& set, const std::string& input_path) {
    if (!equals_ignore_case(output_.ext, ".gpi")) return;
    set.icons = icon_load_beside(input_path);
    if (set.icons->entries.empty()) {
        for (const auto& w : set.waypoints) {
            if (w.symbol) {
                prepare_icons(set, ".gpx");
                break;
            }
        }
        return;
    }
    const icon_entry& icon = *set.icons->entries.front();
    // One stored copy of the symbol serves every waypoint.
    stored_text symbol = set.store(*icon.symbol);
    for (auto& w : set.waypoints) w.symbol = symbol;
    select_icons(set, icon_limit_of_settings(), split_);
}

// Imports one input; false when it was skipped or refused, or gave no POI though it
// held lines or records (its first problem is quoted then).  The empty sets of an input
// left out go again.
bool conversion_run::import_input(int number, const named_file& input) {
    int sets_before = list_.count();
    report("\n\nImporting... (%i. %s)", number, shown(input.name, input.ext).c_str());
    mark_time_ = monotonic_msec();
    problem_watch problems;
    std::optional<bool> read;
    try {
        read = is_console_input(input.path) ? import_console_input(input) : import_file(input);
    } catch (const input_changed& changed) {
        report(
            "\nFatal: The input file (%s) changed while it was read (%s); no output was written.",
            shown(input.path).c_str(), changed.what());
        throw fatal_exit{};
    }
    if (!read) return false;  // not opened: reported, nothing imported
    long long imported = report_imported(sets_before);
    if (*read && imported == 0 && !problems.first().empty()) {
        std::string problem = problems.first();
        std::replace(problem.begin(), problem.end(), '\n', ' ');
        report(
            "\nError: No POI could be read from the input file (%s), which is left out; the "
            "first problem was: \"%s\"",
            shown(input.path).c_str(), problem.c_str());
        read = false;
    }
    if (*read) return true;
    auto& sets = list_.poisets;
    auto first = sets.begin() + sets_before;
    sets.erase(std::remove_if(first, sets.end(),
                              [](const auto& set) {
                                  return set->count() == 0 &&
                                         (!set->icons || set->icons->entries.empty());
                              }),
               sets.end());
    return false;
}

// Opens and imports a named input file; none when it can't be opened (after the
// message), else whether its reader read it.
std::optional<bool> conversion_run::import_file(const named_file& input) {
#ifdef VELMORA_WITH_OSM
    // Opening a named pipe would wait for a writer, and its data can't be read twice.
    if (is_osm_input(input.ext) && !osm_input_can_be_read_twice(input.path)) return std::nullopt;
#endif
    // A directory opens for reading on this platform but holds no bytes to read.
    unique_file file;
    int open_error = EISDIR;
    if (!is_directory(input.path.c_str())) {
        file.reset(std::fopen(input.path.c_str(), "rb"));
        open_error = errno;
    }
    if (!file) {
        report("\nError opening input file (%s). Igonre it! (%s)", shown(input.path).c_str(),
               std::strerror(open_error));
        return std::nullopt;
    }
    // The whole-file readers show their progress as they go, and libosmium its own.
    return import_by_extension(file.get(), input);
}

// Standard input, read by the reader that its first bytes call for; false when it could
// not be opened or its reader refused it.
bool conversion_run::import_console_input(const named_file& input) {
    console_input console = open_console_input();
    if (!console.file) {
        report("\nError opening input file (%s). Igonre it!", shown(input.path).c_str());
        return false;
    }
    const input_kind_row& kind = input_kind_info(console.kind);
    if (!kind.read || !kind.from_stream) {
        report_unsupported_input(console.kind, kind.name, "-");
        return false;
    }
    report("\n    read as %.*s", static_cast<int>(kind.extension.size()), kind.extension.data());
    named_file sniffed = input;
    sniffed.ext = kind.extension;
    return import_by_extension(console.file.get(), sniffed);
}

long long conversion_run::report_imported(int sets_before) {
    long long imported = 0;
    for (int i = sets_before; i < list_.count(); ++i)
        imported += list_.poisets[static_cast<std::size_t>(i)]->count();
    report("\n    imported %lli pois", imported);
    mark_elapsed();
    return imported;
}

// The writer for an output extension; none for the extensions that are refused.
conversion_run::output_kind conversion_run::output_kind_of(std::string_view ext) {
    if (equals_ignore_case(ext, ".gpx")) return output_kind::gpx;
    if (equals_ignore_case(ext, ".gpi")) return output_kind::gpi;
    if (equals_ignore_case(ext, ".bmp")) return output_kind::bmp;
    return output_kind::none;
}

bool conversion_run::write_stream(output_kind kind, std::FILE* stream) {
    switch (kind) {
        case output_kind::gpx:
            return gpx_write(stream, list_, current_unix_time(), split_);
        case output_kind::gpi:
            return write_prepared_gpi(stream);
        case output_kind::bmp:
        case output_kind::none:
            break;
    }
    return false;
}

// The output's format and place, checked before any input is read, so that a refused
// output costs no import and touches nothing.
void conversion_run::check_output() const {
    const std::string& ext = output_.ext;
    output_kind kind = output_kind_of(ext);
    // A directory named as the output has no extension to tell a format by; what is
    // wrong is that it is a directory.
    if (kind == output_kind::none && !output_to_stdout_ && is_directory(output_.path.c_str())) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(output_.path).c_str(),
               std::strerror(EISDIR));
        throw fatal_exit{};
    }
    if (kind == output_kind::none) {
        if (equals_ignore_case(ext, ".gdb")) {
            report("\nOutput file format (%s) not supported (yet)!", shown(ext).c_str());
        } else {
            report("\nOutput file format (%s) not supported!", shown(ext).c_str());
        }
        throw fatal_exit{};
    }
    if (output_to_stdout_) return;
    std::string problem = output_problem(
        output_.path, kind == output_kind::bmp ? output_place::directory : output_place::file);
    if (!problem.empty()) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(output_.path).c_str(),
               problem.c_str());
        throw fatal_exit{};
    }
}

void conversion_run::export_icons_as_bmp() {
    std::size_t icons = 0;
    for (const auto& set : list_.poisets) {
        if (!set->icons) continue;
        for (const auto& entry : set->icons->entries) icons += entry ? 1 : 0;
    }
    if (icons == 0) {
        report("\nError: The inputs hold no icons to export; no bmp file was written.");
        throw fatal_exit{};
    }
    // The icons go to files of their own, named after the output, all or none; a failed
    // export has said why.
    bool exported = export_icons(output_.path, list_);
    mark_elapsed();
    if (!exported) throw fatal_exit{};
}

// Prepares the sets for GPI output, which changes them (texts converted and cut), and
// writes them.
bool conversion_run::write_prepared_gpi(std::FILE* stream) {
    int number =
        code_page_choice_.automatic ? choose_gpi_code_page(list_) : code_page_choice_.number;
    if (code_page_choice_.automatic) report("\n    code page %i chosen", number);
    auto output = output_code_page::create(number);
    if (!output) {
        report("\nError: Can't create the output code page (%i)", number);
        return false;
    }
    auto groups = prepare_for_gpi(list_, *output, split_);
    if (!groups) return false;
    return write_gpi(stream, *groups, number, gpi_time_, split_);
}

void conversion_run::export_all() {
    const std::string& ext = output_.ext;
    apply_proximity_time_to_sets();
    if (equals_ignore_case(ext, ".gpi")) {
        for (auto& set : list_.poisets) apply_default_proximity(gpi_settings_.get(), *set, split_);
    }
    report("\nExporting...");
    mark_time_ = monotonic_msec();
    output_kind kind = output_kind_of(ext);
    if (kind == output_kind::gpi) gpi_time_ = gpi_time_for_output();
    if (output_to_stdout_) {
        export_to_stdout(kind);
        return;
    }
    if (kind == output_kind::bmp) {
        export_icons_as_bmp();
        return;
    }
    // The bytes go to a temporary file beside the target, which replaces the target
    // only after the writer finished without error.
    std::string why;
    auto output = atomic_output::open(output_.path, &why);
    if (!output) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(output_.path).c_str(),
               why.c_str());
        throw fatal_exit{};
    }
    bool written = false;
    int write_error = 0;
    {
        progress_indicator progress(output->descriptor(), 0);
        errno = 0;
        written = write_stream(kind, output->stream());
        write_error = std::ferror(output->stream()) != 0 ? errno : 0;
    }
    mark_elapsed();
    if (!written) {
        output->discard();
        if (write_error != 0) {
            report("\nError: Writing the output file (%s) failed (%s); it was not changed.",
                   shown(output_.path).c_str(), std::strerror(write_error));
        } else {
            report("\nError: Writing the output file (%s) failed; it was not changed.",
                   shown(output_.path).c_str());
        }
        throw fatal_exit{};
    }
    if (!output->commit()) {
        report("\nError: Writing the output file (%s) failed (%s); it was not changed.",
               shown(output_.path).c_str(), output->error().c_str());
        throw fatal_exit{};
    }
    if (!output->warning().empty()) {
        report(
            "\nWarning: The output file (%s) was written, but syncing its directory failed "
            "(%s).",
            shown(output_.path).c_str(), output->warning().c_str());
    }
}

// The last line of a run that left inputs out: their numbers and names.
void conversion_run::report_left_out() const {
    std::string names;
    for (std::size_t index : left_out_) {
        const named_file& input = inputs_[index];
        if (!names.empty()) names += ", ";
        names += std::to_string(index + 1) + ". " + shown(input.name, input.ext);
    }
    report("\nWarning: %zu of %zu inputs left out: %s", left_out_.size(), inputs_.size(),
           names.c_str());
}

// Standard output is written as the writer goes: it can't be taken back, but a
// failed write still fails the run.
void conversion_run::export_to_stdout(output_kind kind) {
    static constexpr std::size_t buffer_size = 1 << 16;
    std::setvbuf(stdout, nullptr, _IOFBF, buffer_size);
    bool written = false;
    int write_error = 0;
    {
        progress_indicator progress(STDOUT_FILENO, 0);
        errno = 0;
        written = write_stream(kind, stdout);
        if (std::ferror(stdout) != 0) write_error = errno;
    }
    if (std::fflush(stdout) != 0) {
        if (write_error == 0) write_error = errno;
        written = false;
    }
    if (std::ferror(stdout) != 0) written = false;
    mark_elapsed();
    if (!written) {
        if (write_error != 0) {
            report("\nError: Writing to standard output failed (%s).", std::strerror(write_error));
        } else {
            report("\nError: Writing to standard output failed.");
        }
        throw fatal_exit{};
    }
}

int conversion_run::execute(int argc, const char* const* argv) {
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

int conversion_run::convert(int argc, const char* const* argv) {
    if (argc < 2) {
        report(usage_line, program_name);
        return 1;
    }
    mark_time_ = monotonic_msec();
    try {
        read_program_name(argv[0]);
        for (int i = 1; i < argc; ++i) {
            const char* arg = argv[i];
            if (arg[0] == '-' && arg[1] != '\0') {
                read_option(arg);
            } else if (arg_phase_ == arg_phase::inputs) {
                read_input(arg);
            } else if (arg_phase_ == arg_phase::output_name) {
                read_output(arg);
            } else {
                report(
                    "\nUnexpected command-line param: (%s). No parameter expected after oputput "
                    "file name!",
                    shown(arg).c_str());
                report(usage_line, program_name);
            }
        }
        if (inputs_.empty()) {
            report("\nFatal: No input file was specified!");
            return 1;
        }
        check_input_parameters();
        check_console_use();
        if (!output_named_) name_output_automatically();
        choose_output_code_page();
        check_output();

        for (std::size_t i = 0; i < inputs_.size(); ++i) {
            if (!import_input(static_cast<int>(i) + 1, inputs_[i])) left_out_.push_back(i);
        }
        // With nothing read there is nothing to replace an existing file with.
        if (left_out_.size() == inputs_.size()) {
            report("\nFatal: No input could be read; the output file (%s) was left as it was.",
                   shown(output_.path).c_str());
            return 1;
        }
        export_all();
    } catch (const fatal_exit&) {
        return 1;
    }
    if (!left_out_.empty()) {
        report_left_out();
        return 2;
    }
    return 0;
}

}  // namespace

int run(int argc, const char* const* argv) {
    conversion_run conversion;
    return conversion.execute(argc, argv);
}

}  // namespace velmora
