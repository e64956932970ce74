#pragma once
// The program's own texts on request: the usage text of -h, --help and -?, and the
// name and version of --version.  Both go to standard output.
#include <cstdio>

namespace velmora {

enum class info_request { none, help, version };

// What the command line asks for when any argument is a help or version request.
[[nodiscard]] info_request info_requested(int argc, const char* const* argv);

void print_help(std::FILE* out);
void print_version(std::FILE* out);

}  // namespace velmora
