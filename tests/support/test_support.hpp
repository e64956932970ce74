#pragma once
// Helpers shared by the tests: temporary directories, files, running the built program
// and locating the real-world sample files.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/poiset.hpp"

namespace velmora::testing {

// A fresh directory under the system's temporary directory, removed with its contents.
class temp_dir {
  public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::string file(const std::string& name) const {
        return (path_ / name).string();
    }

  private:
    std::filesystem::path path_;
};

void write_file(const std::string& path, const std::string& bytes);
[[nodiscard]] std::string read_file(const std::string& path);
[[nodiscard]] bool file_exists(const std::string& path);

// True when the text holds the part anywhere (messages checked by a phrase of theirs).
[[nodiscard]] inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct run_result {
    int exit_code = -1;
    std::string err;  // what the program wrote to standard error
    std::string out;  // what it wrote to standard output
};

// What a run gets besides its arguments.  Standard input is a pipe carrying the bytes
// given, or /dev/null.  The settings lookup of the program is kept to its own
// directory and the installed tree: XDG_CONFIG_HOME and XDG_CONFIG_DIRS name a
// directory that does not exist unless env sets them.
struct run_options {
    std::optional<std::string> input;
    std::vector<std::pair<std::string, std::string>> env;
};

// The time the programs that tests start take as theirs (SOURCE_DATE_EPOCH), unless the
// test's own environment or the run's options give another.
inline constexpr const char* test_epoch = "1700000000";

// Runs a program with the arguments (argv[0] given separately) in a working directory.
[[nodiscard]] run_result run_program(const std::string& exe, const std::string& argv0,
                                     const std::vector<std::string>& args,
                                     const std::string& working_dir,
                                     const run_options& options = {});

// What GPSBabel reads from a GPI file, as CSV lines (its own numbering and columns), run
// in dir; none without GPSBabel.  A failed run fails the test.
[[nodiscard]] std::optional<std::string> gpsbabel_csv(const temp_dir& dir, const std::string& gpi);
// The same of a file in another of GPSBabel's input formats ("kml", "gpx").
[[nodiscard]] std::optional<std::string> gpsbabel_csv(const temp_dir& dir,
                                                      const std::string& format,
                                                      const std::string& file);

// The names in a directory, sorted, hidden ones included, so that a left temporary file
// shows.
[[nodiscard]] std::vector<std::string> names_in(const std::string& dir);

// Runs the built velmora, invoked by its full path.
[[nodiscard]] run_result run_velmora(const std::vector<std::string>& args,
                                     const std::string& working_dir,
                                     const run_options& options = {});

// Runs a copy of the built program that lies in dir, with dir as working directory,
// so that the settings files and icons are looked up there first.
[[nodiscard]] run_result run_from(const temp_dir& dir, const std::vector<std::string>& args,
                                  const run_options& options = {});

// The built program, the source tree and the folder of real-world samples.
[[nodiscard]] std::string velmora_exe();
[[nodiscard]] std::string source_dir();
[[nodiscard]] std::string real_data_dir();

// Path of a real-world sample, or empty when the sample folder is absent.
[[nodiscard]] std::string real_file(const std::string& relative);
// Path of an input that once showed a fault, or empty when its folder is absent.
[[nodiscard]] std::string repro_file(const std::string& name);

// Appends a key/value pair to the waypoint's address or phone list.
void add_address(poiset& set, waypoint& w, std::optional<std::string_view> key,
                 std::optional<std::string_view> value);
void add_phone(poiset& set, waypoint& w, std::optional<std::string_view> key,
               std::optional<std::string_view> value);

// The details of a waypoint as one comparable text: the address parts sorted by key,
// then the contacts and the category names in their order ("key=value" lines), then the
// link's text.
[[nodiscard]] std::string details_text(const poiset& set, const waypoint& w);

}  // namespace velmora::testing

// Skips the current test when a real-world sample is not on this machine.
#define VELMORA_REQUIRE_REAL(path_var, relative)                    \
    std::string path_var = ::velmora::testing::real_file(relative); \
    if (path_var.empty()) GTEST_SKIP() << "real sample data not present: " << relative
