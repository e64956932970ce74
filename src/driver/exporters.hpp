#pragma once
// The writers of the output formats, one row each in a table (exporters.cpp): the
// extension that names the format, whether -format: chooses it, where it writes and
// its writer.
#include <optional>
#include <string_view>

#include "driver/request.hpp"
#include "driver/run_state.hpp"
#include "platform/atomic_output.hpp"

namespace velmora {

// The format an output extension names (any letter case); none for the others.
[[nodiscard]] output_format output_format_of_extension(std::string_view ext);
// The format -format: names ("gpi", "gpx", any letter case); none for the others.
[[nodiscard]] std::optional<output_format> output_format_of_option(std::string_view value);
// The extension of a format: ".gpi".
[[nodiscard]] std::string_view output_format_extension(output_format format);
// Whether a format writes its target or files beside it.
[[nodiscard]] output_place output_format_place(output_format format);

// Writes the sets read to the request's output, after the proximity time is applied:
// a file through a temporary file that replaces it only when the writer finished
// without error, standard output as the writer goes.  Throws fatal_exit after the
// message when nothing could be written.
void export_output(run_state& run);

}  // namespace velmora
