#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace velmora::testing {

temp_dir::temp_dir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("velmora-test-" + std::to_string(getpid()) + "-" +
                                 std::to_string(counter++) + "-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    // Make everything removable again (tests may take permissions away).
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

namespace {

std::string drain(int fd) {
    std::string text;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

}  // namespace

run_result run_program(const std::string& exe, const std::string& argv0,
                       const std::vector<std::string>& args, const std::string& working_dir,
                       const run_options& options) {
    // Standard error and output go to temporary files, so that a large output can't
    // block the child on a full pipe.
    temp_dir capture;
    std::string err_path = capture.file("stderr");
    std::string out_path = capture.file("stdout");
    std::string no_config = capture.file("no-config");
    int input_pipe[2] = {-1, -1};
    if (options.input && pipe(input_pipe) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = options.input ? input_pipe[0] : open("/dev/null", O_RDONLY);
        if (err < 0 || out < 0 || in < 0 || chdir(working_dir.c_str()) != 0) _exit(127);
        if (options.input) close(input_pipe[1]);
        dup2(err, 2);
        dup2(out, 1);
        dup2(in, 0);
        setenv("XDG_CONFIG_HOME", no_config.c_str(), 1);
        setenv("XDG_CONFIG_DIRS", no_config.c_str(), 1);
        // Outputs hold the run's time; runs compared with each other must agree on it.
        setenv("SOURCE_DATE_EPOCH", test_epoch, 0);
        for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<std::string> all{argv0};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    if (options.input) {
        // A program that stops reading early must not end the test with SIGPIPE.
        signal(SIGPIPE, SIG_IGN);
        close(input_pipe[0]);
        const std::string& bytes = *options.input;
        for (std::size_t at = 0; at < bytes.size();) {
            ssize_t n = write(input_pipe[1], bytes.data() + at, bytes.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        close(input_pipe[1]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run_result result;
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    int err = open(err_path.c_str(), O_RDONLY);
    int out = open(out_path.c_str(), O_RDONLY);
    if (err >= 0) {
        result.err = drain(err);
        close(err);
    }
    if (out >= 0) {
        result.out = drain(out);
        close(out);
    }
    return result;
}

std::optional<std::string> gpsbabel_csv(const temp_dir& dir, const std::string& gpi) {
    return gpsbabel_csv(dir, "garmin_gpi", gpi);
}

std::optional<std::string> gpsbabel_csv(const temp_dir& dir, const std::string& format,
                                        const std::string& file) {
    const char* exe = "/usr/bin/gpsbabel";
    if (!std::filesystem::exists(exe)) return std::nullopt;
    auto result =
        run_program(exe, "gpsbabel", {"-i", format, "-f", file, "-o", "unicsv", "-F", "-"},
                    dir.path().string());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    return result.out;
}

std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

run_result run_velmora(const std::vector<std::string>& args, const std::string& working_dir,
                       const run_options& options) {
    return run_program(velmora_exe(), velmora_exe(), args, working_dir, options);
}

run_result run_from(const temp_dir& dir, const std::vector<std::string>& args,
                    const run_options& options) {
    std::string copy = dir.file("velmora");
    if (!file_exists(copy)) {
        std::filesystem::copy_file(velmora_exe(), copy);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_exec,
                                     std::filesystem::perm_options::add);
    }
    return run_program(copy, copy, args, dir.path().string(), options);
}

std::string velmora_exe() {
    return VELMORA_EXE;
}
std::string source_dir() {
    return VELMORA_SOURCE_DIR;
}
std::string real_data_dir() {
    return VELMORA_REAL_DATA;
}

std::string real_file(const std::string& relative) {
    std::filesystem::path path = std::filesystem::path(real_data_dir()) / relative;
    return std::filesystem::exists(path) ? path.string() : std::string();
}

std::string repro_file(const std::string& name) {
    std::filesystem::path path = std::filesystem::path(VELMORA_REPRO_DATA) / name;
    return std::filesystem::exists(path) ? path.string() : std::string();
}

void add_address(poiset& set, waypoint& w, std::optional<std::string_view> key,
                 std::optional<std::string_view> value) {
    text_pair pair{set.store_optional(key), set.store_optional(value)};
    set.details_for(w).address.push_back(pair);
}

void add_phone(poiset& set, waypoint& w, std::optional<std::string_view> key,
               std::optional<std::string_view> value) {
    text_pair pair{set.store_optional(key), set.store_optional(value)};
    set.details_for(w).phones.push_back(pair);
}

std::string details_text(const poiset& set, const waypoint& w) {
    const waypoint_details* details = set.details_of(w);
    if (details == nullptr) return {};
    auto line = [](const text_pair& pair) {
        return std::string(pair.key.value_or("-")) + "=" + std::string(pair.value.value_or("-")) +
               "\n";
    };
    std::vector<std::string> address;
    for (const text_pair& pair : details->address) address.push_back(line(pair));
    std::sort(address.begin(), address.end());
    std::string out;
    for (const std::string& part : address) out += part;
    for (const text_pair& pair : details->phones) out += "phone " + line(pair);
    for (std::uint16_t c : details->categories) {
        out += "category " + std::string(set.categories.at(c).value_or("-")) + "\n";
    }
    if (details->link_text) out += "link text " + std::string(*details->link_text) + "\n";
    return out;
}

}  // namespace velmora::testing
