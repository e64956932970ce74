#include "driver/import.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "driver/console_io.hpp"
#include "driver/input_kind.hpp"
#include "driver/linked_media.hpp"
#include "platform/file_kind.hpp"
#include "platform/messages.hpp"
#include "platform/paths.hpp"
#include "platform/stdio_file.hpp"
#include "platform/whole_input.hpp"

namespace velmora {

namespace {

// Imports one open input with the reader of its kind; false when the reader refused it
// or the kind has no reader.
bool read_open_input(run_state& run, std::FILE* file, const input_request& input) {
    const input_kind_row& row = input_kind_info(input.kind);
    if (row.reader != nullptr) return row.reader(run, file, input);
    report_unsupported_input(input.kind, input.console ? std::string(row.name) : shown(input.ext),
                             shown(input.path));
    return false;
}

// Opens and imports a named input file; none when it can't be opened (after the
// message), else whether its reader read it.
std::optional<bool> import_file(run_state& run, const input_request& input) {
    input_check can_open = input_kind_info(input.kind).before_open;
    if (can_open != nullptr && !can_open(input.path)) return std::nullopt;
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
    return read_open_input(run, file.get(), input);
}

// Standard input, read by the reader that its first bytes call for; false when it could
// not be opened or its reader refused it.
bool import_console_input(run_state& run, const input_request& input) {
    console_input console = open_console_input();
    if (!console.file) {
        report("\nError opening input file (%s). Igonre it!", shown(input.path).c_str());
        return false;
    }
    const input_kind_row& kind = input_kind_info(console.kind);
    if (kind.reader == nullptr || !kind.read || !kind.from_stream) {
        report_unsupported_input(console.kind, kind.name, "-");
        return false;
    }
    report("\n    read as %.*s", static_cast<int>(kind.extension.size()), kind.extension.data());
    input_request sniffed = input;
    sniffed.kind = console.kind;
    sniffed.ext = kind.extension;
    return read_open_input(run, console.file.get(), sniffed);
}

// For GPI output: the clips and pictures that the links of the sets just read name,
// relative links from the input's directory (the current one for standard input).
void attach_media(run_state& run, int sets_before, const input_request& input) {
    // The other outputs that prepare icons as for GPI (KML, the report) keep the links.
    if (!run.gpi || run.request.output.format != output_format::gpi) return;
    linked_media_options options;
    const gpi_settings* settings = run.files.gpi();
    options.default_proximity = settings != nullptr ? settings->default_proximity : 0.0;
    options.links_in_contacts =
        input.console || (input.kind != input_kind::gpx && input.kind != input_kind::gpi);
    if (!input.console) {
        if (auto parts = split_path(input.path)) options.directory = parts->drive + parts->dir;
        if (input.kind == input_kind::csv) options.sound_beside = sound_beside(input.path);
    }
    for (int i = sets_before; i < run.list.count(); ++i)
        attach_linked_media(*run.list.poisets[static_cast<std::size_t>(i)], options);
}

long long report_imported(run_state& run, int sets_before) {
    long long imported = 0;
    for (int i = sets_before; i < run.list.count(); ++i)
        imported += run.list.poisets[static_cast<std::size_t>(i)]->count();
    report("\n    imported %lli pois", imported);
    run.mark_elapsed();
    return imported;
}

}  // namespace

bool import_input(run_state& run, int number, const input_request& input) {
    int sets_before = run.list.count();
    report("\n\nImporting... (%i. %s)", number, shown(input).c_str());
    run.mark_start();
    problem_watch problems;
    std::optional<bool> read;
    try {
        read = input.console ? import_console_input(run, input) : import_file(run, input);
    } catch (const input_changed& changed) {
        report(
            "\nFatal: The input file (%s) changed while it was read (%s); no output was written.",
            shown(input.path).c_str(), changed.what());
        throw fatal_exit{};
    }
    if (!read) return false;  // not opened: reported, nothing imported
    if (*read) attach_media(run, sets_before, input);
    long long imported = report_imported(run, sets_before);
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
    auto& sets = run.list.poisets;
    auto first = sets.begin() + sets_before;
    sets.erase(std::remove_if(first, sets.end(),
                              [](const auto& set) {
                                  return set->count() == 0 &&
                                         (!set->icons || set->icons->entries.empty());
                              }),
               sets.end());
    return false;
}

}  // namespace velmora
