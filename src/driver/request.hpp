#pragma once
// The command line read into a request: the inputs and the output, each with its format
// decided once (from the name, -format:, or for standard input the first bytes when it
// is opened), and the options.  Reading it reports the files as the command line names
// them and reads the settings files they call for; everything that can be checked
// before an input is read is checked here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/input_kind.hpp"
#include "driver/settings_files.hpp"
#include "gpi/gpi_reader.hpp"
#include "kml/kml_reader.hpp"
#include "text/output_code_page.hpp"

namespace velmora {

// A failure that ends the run with exit code 1 after its message was written.
struct fatal_exit {};

enum class output_format { none, gpx, gpi, bmp, geojson, kml, kmz, report };

struct named_file {
    std::string path;  // full path, or the console name unchanged
    std::string name;  // display name: file name without directory and extension
    std::string ext;   // with its dot, or empty
};

struct input_request : named_file {
    // By the extension; standard input's is told by its first bytes when it is opened.
    input_kind kind = input_kind::unknown;
    bool console = false;             // standard input
    std::optional<std::string> tags;  // the -tags: filter given after the input
};

struct output_request : named_file {
    output_format format = output_format::none;  // by -format:, else by the extension
    bool to_stdout = false;
    bool kml_circles = false;  // -kml:circles: proximity alerts drawn as circles too
};

struct run_request {
    std::vector<input_request> inputs;
    output_request output;
    code_page_choice code_page;               // of GPI output
    std::optional<long long> proximity_time;  // -proximity:, seconds
    std::string lang;                         // -lang:, lower case; empty when not given
    gpi_read_options gpi_options;             // -lang: as the GPI reader takes it
    kml_read_options kml_options;             // -groups: (GeoJSON's layers too)
};

// The name of a file with its extension, as messages show it: control characters as
// \xNN, so that a name can't send escape sequences to the terminal.
[[nodiscard]] std::string shown(std::string_view name);
[[nodiscard]] std::string shown(const named_file& file);

// Reads the command line (argv[0] being the program) and checks the request; the
// settings files are looked up from the program's directory.  None, after the message,
// when no input was named; throws fatal_exit after the message of a request that can't
// be carried out.
[[nodiscard]] std::optional<run_request> read_request(int argc, const char* const* argv,
                                                      settings_files& files);

// The usage line, with the program's name for %s.
inline constexpr const char* usage_line =
    "\nExpected: %s \"inpfile-list\" [-inpparams] [-o \"outfile\" [-outparams]]";

}  // namespace velmora
