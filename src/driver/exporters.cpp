#include "driver/exporters.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "geojson/geojson_writer.hpp"
#include "gpi/gpi_writer.hpp"
#include "gpx/gpx_media.hpp"
#include "gpx/gpx_writer.hpp"
#include "icons/icon_convert.hpp"
#include "kml/kml_writer.hpp"
#include "platform/clock.hpp"
#include "platform/messages.hpp"
#include "platform/output_target.hpp"
#include "platform/paths.hpp"
#include "platform/progress.hpp"
#include "report/report_writer.hpp"

namespace velmora {

namespace {

// A file a writer puts beside its output (a sound clip, a picture, an icon), by its
// path; written with the output, all or none.
struct side_file {
    std::string path;
    std::vector<std::uint8_t> bytes;
};

// What a writer needs besides the sets, and the files it adds beside its output.
struct export_step {
    run_state& run;
    std::int64_t gpi_time = 0;
    std::vector<side_file> beside;
};

// Writes the sets to a stream; false when writing failed (reported, or an error of the
// stream).
using stream_writer = bool (*)(export_step& step, std::FILE* stream);
// Settles what the writer needs before the output is opened.
using before_open = void (*)(export_step& step);

struct output_row {
    output_format format;
    std::string_view extension;
    bool by_option;       // -format: names it
    output_place place;   // the target itself, or files named after it beside it
    before_open prepare;  // none: nothing to settle
    stream_writer write;  // none: the format writes files of its own (see export_files)
};

// The sets' clips and pictures go beside the document, in a folder named after it, and
// the POIs link to them.  A document on standard output links to nothing: the files
// are not written (export_to_stdout says so).
bool write_gpx_output(export_step& step, std::FILE* stream) {
    const output_request& output = step.run.request.output;
    std::optional<path_parts> parts = split_path(output.path);
    std::string base = output.to_stdout || !parts ? std::string("stdout") : parts->fname;
    gpx_media media = plan_gpx_media(step.run.list, base);
    std::string dir = output.to_stdout ? std::string() : directory_of(output.path);
    for (const gpx_media_file& file : media.files) {
        step.beside.push_back({dir + file.name, {file.bytes.begin(), file.bytes.end()}});
    }
    return gpx_write(stream, step.run.list, current_unix_time(), step.run.split,
                     output.to_stdout || media.files.empty() ? nullptr : &media);
}

// The Maki names of the symbols come from the mapping file when there is one.
bool write_geojson_output(export_step& step, std::FILE* stream) {
    return geojson_write(stream, step.run.list,
                         {step.run.files.tag_mapping_if_found(), step.run.split});
}

// The run's time, for a GPI file moved forward past the header times of the other GPI
// files beside it, which is said when it happens.
void choose_gpi_time(export_step& step) {
    std::int64_t now = current_unix_time();
    const output_request& output = step.run.request.output;
    if (output.to_stdout) {
        step.gpi_time = now;
        return;
    }
    gpi_header_time chosen = distinct_header_time(output.path, now);
    if (!chosen.after.empty()) {
        std::time_t shown_time = static_cast<std::time_t>(chosen.time);
        std::tm parts{};
        char text[32] = "?";
        if (gmtime_r(&shown_time, &parts) != nullptr) {
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
        }
        report("\n    header time %s, one second after %s", text, shown(chosen.after).c_str());
    }
    step.gpi_time = chosen.time;
}

// Finishes the preparation, which changes the sets (texts converted and cut), and
// writes them.
bool write_gpi_output(export_step& step, std::FILE* stream) {
    auto prepared = step.run.gpi->finish(step.run.list);
    if (!prepared) return false;
    return write_gpi(stream, prepared->groups, prepared->code_page, step.gpi_time, step.run.split);
}

// The icons as PNG files in a folder named after the output ("<base>_icons/") beside
// it, which the document refers to.
bool write_kml_output(export_step& step, std::FILE* stream) {
    const output_request& output = step.run.request.output;
    kml_icon_table icons = kml_icons_of(step.run.list);
    kml_options options{output.name, output.name + "_icons/", output.kml_circles};
    std::string dir = output.to_stdout ? std::string() : directory_of(output.path);
    for (kml_icon_file& icon : icons.files) {
        step.beside.push_back({dir + options.icon_folder + icon.name, icon.png});
    }
    return kml_write(stream, step.run.list, icons, options, step.run.split);
}

// The icons as PNG files inside the archive.
bool write_kmz_output(export_step& step, std::FILE* stream) {
    const output_request& output = step.run.request.output;
    kml_icon_table icons = kml_icons_of(step.run.list);
    kml_options options{output.name, "icons/", output.kml_circles};
    std::string why;
    if (kmz_write(stream, step.run.list, icons, options, current_unix_time(), step.run.split,
                  why)) {
        return true;
    }
    if (!why.empty()) report("\nError: The KMZ archive can't be written: %s.", why.c_str());
    return false;
}

// The report page tells what was read: the inputs as the command line named them.
bool write_report_output(export_step& step, std::FILE* stream) {
    report_facts facts;
    for (const input_request& input : step.run.request.inputs) {
        // The format as the list of formats names it: "GPX" of "GPX (.gpx)".
        std::string_view label = input_kind_info(input.kind).label;
        facts.inputs.push_back(
            {input.console ? std::string("standard input") : input.name + input.ext,
             std::string(label.substr(0, label.find(" (")))});
    }
    facts.language = step.run.request.lang;
    facts.run_time = current_unix_time();
    return write_report(stream, step.run.list, facts, step.run.split);
}

constexpr std::array<output_row, 7> outputs{{
    {output_format::gpx, ".gpx", true, output_place::file, nullptr, write_gpx_output},
    {output_format::gpi, ".gpi", true, output_place::file, choose_gpi_time, write_gpi_output},
    {output_format::bmp, ".bmp", false, output_place::directory, nullptr, nullptr},
    {output_format::geojson, ".geojson", true, output_place::file, nullptr, write_geojson_output},
    {output_format::kml, ".kml", true, output_place::file, nullptr, write_kml_output},
    {output_format::kmz, ".kmz", true, output_place::file, nullptr, write_kmz_output},
    {output_format::report, ".html", true, output_place::file, nullptr, write_report_output},
}};

const output_row* row_of(output_format format) {
    for (const output_row& row : outputs) {
        if (row.format == format) return &row;
    }
    return nullptr;
}

// The icons of the sets, to files of their own named after the output, all or none; a
// failed export has said why.
void export_files(run_state& run) {
    std::size_t icons = 0;
    for (const auto& set : run.list.poisets) {
        if (!set->icons) continue;
        for (const auto& entry : set->icons->entries) icons += entry ? 1 : 0;
    }
    if (icons == 0) {
        report("\nError: The inputs hold no icons to export; no bmp file was written.");
        throw fatal_exit{};
    }
    bool exported = export_icons(run.request.output.path, run.list);
    run.mark_elapsed();
    if (!exported) throw fatal_exit{};
}

// Creates the directories the files beside the output go into; false, after the
// message, when one can't be made.  Those made are listed, to be removed again when
// the output fails.
bool make_side_directories(const std::vector<side_file>& files, std::vector<std::string>& made) {
    for (const side_file& file : files) {
        std::string dir = directory_of(file.path);
        if (std::find(made.begin(), made.end(), dir) != made.end()) continue;
        if (::mkdir(dir.c_str(), 0777) == 0) {
            made.push_back(dir);
        } else if (errno != EEXIST) {
            report("\nError: The directory %s for the files beside the output can't be made (%s).",
                   shown(dir).c_str(), std::strerror(errno));
            return false;
        }
    }
    return true;
}

void remove_side_directories(const std::vector<std::string>& made) {
    for (const std::string& dir : made) ::rmdir(dir.c_str());  // only when left empty
}

// Writes the files a writer put beside its output, all or none; false after the message.
bool write_side_files(const std::vector<side_file>& files, std::vector<std::string>& made) {
    if (!make_side_directories(files, made)) return false;
    std::vector<std::string> targets;
    targets.reserve(files.size());
    for (const side_file& file : files) targets.push_back(file.path);
    atomic_output_group group(targets);
    bool written = group.ok();
    for (std::size_t i = 0; written && i < files.size(); ++i) {
        written = group.write(i, files[i].bytes);
    }
    if (written && group.commit()) return true;
    group.discard();
    report("\nError: Writing the file %s beside the output failed (%s).",
           shown(group.failed_target()).c_str(), group.error().c_str());
    return false;
}

// The bytes go to a temporary file beside the target, which replaces the target only
// after the writer finished without error; the files the writer put beside it are
// written first, and a failure there leaves the target as it was.
void export_to_file(export_step& step, stream_writer write) {
    const std::string& path = step.run.request.output.path;
    std::string why;
    auto output = atomic_output::open(path, &why);
    if (!output) {
        report("\nError opening output file (%s). Aborting! (%s)", shown(path).c_str(),
               why.c_str());
        throw fatal_exit{};
    }
    bool written = false;
    int write_error = 0;
    {
        progress_indicator progress(output->descriptor(), 0);
        errno = 0;
        written = write(step, output->stream());
        write_error = std::ferror(output->stream()) != 0 ? errno : 0;
    }
    step.run.mark_elapsed();
    if (!written) {
        output->discard();
        if (write_error != 0) {
            report("\nError: Writing the output file (%s) failed (%s); it was not changed.",
                   shown(path).c_str(), std::strerror(write_error));
        } else {
            report("\nError: Writing the output file (%s) failed; it was not changed.",
                   shown(path).c_str());
        }
        throw fatal_exit{};
    }
    std::vector<std::string> made;
    if (!step.beside.empty() && !write_side_files(step.beside, made)) {
        output->discard();
        remove_side_directories(made);
        report("\nError: The output file (%s) was not changed.", shown(path).c_str());
        throw fatal_exit{};
    }
    if (!output->commit()) {
        report("\nError: Writing the output file (%s) failed (%s); it was not changed.",
               shown(path).c_str(), output->error().c_str());
        throw fatal_exit{};
    }
    if (!output->warning().empty()) {
        report(
            "\nWarning: The output file (%s) was written, but syncing its directory failed "
            "(%s).",
            shown(path).c_str(), output->warning().c_str());
    }
}

// Standard output is written as the writer goes: it can't be taken back, but a failed
// write still fails the run.
void export_to_stdout(export_step& step, stream_writer write) {
    static constexpr std::size_t buffer_size = 1 << 16;
    std::setvbuf(stdout, nullptr, _IOFBF, buffer_size);
    bool written = false;
    int write_error = 0;
    {
        progress_indicator progress(STDOUT_FILENO, 0);
        errno = 0;
        written = write(step, stdout);
        if (std::ferror(stdout) != 0) write_error = errno;
    }
    if (std::fflush(stdout) != 0) {
        if (write_error == 0) write_error = errno;
        written = false;
    }
    if (std::ferror(stdout) != 0) written = false;
    step.run.mark_elapsed();
    if (!step.beside.empty()) {
        report(
            "\nWarning: %zu files that belong beside the output (%s, ...) were not written: "
            "the output went to standard output.",
            step.beside.size(), shown(step.beside.front().path).c_str());
    }
    if (!written) {
        if (write_error != 0) {
            report("\nError: Writing to standard output failed (%s).", std::strerror(write_error));
        } else {
            report("\nError: Writing to standard output failed.");
        }
        throw fatal_exit{};
    }
}

// -proximity: wins over ProximityTime= of the settings file; without either, speed
// alerts keep ten metres per km/h.
void apply_proximity_time_to_sets(run_state& run) {
    std::optional<long long> seconds = run.request.proximity_time;
    if (!seconds && run.files.gpi()) seconds = run.files.gpi()->proximity_time;
    if (!seconds) return;
    for (auto& set : run.list.poisets) apply_proximity_time(*seconds, *set);
}

}  // namespace

output_format output_format_of_extension(std::string_view ext) {
    for (const output_row& row : outputs) {
        if (equals_ignore_case(ext, row.extension)) return row.format;
    }
    return output_format::none;
}

std::optional<output_format> output_format_of_option(std::string_view value) {
    for (const output_row& row : outputs) {
        if (row.by_option && equals_ignore_case(value, row.extension.substr(1))) return row.format;
    }
    return std::nullopt;
}

std::string_view output_format_extension(output_format format) {
    const output_row* row = row_of(format);
    return row != nullptr ? row->extension : std::string_view();
}

output_place output_format_place(output_format format) {
    const output_row* row = row_of(format);
    return row != nullptr ? row->place : output_place::file;
}

void export_output(run_state& run) {
    apply_proximity_time_to_sets(run);
    report("\nExporting...");
    run.mark_start();
    const output_row* row = row_of(run.request.output.format);
    if (row == nullptr) throw fatal_exit{};  // refused when the request was read
    export_step step{run, 0, {}};
    if (row->prepare != nullptr) row->prepare(step);
    if (row->write == nullptr) {
        export_files(run);
    } else if (run.request.output.to_stdout) {
        export_to_stdout(step, row->write);
    } else {
        export_to_file(step, row->write);
    }
}

}  // namespace velmora
