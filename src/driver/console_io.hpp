#pragma once
// Standard input and output as the run's input and output: "-" (and the console names
// "stdin", "stdout" and "con") stand for them on the command line.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/stdio_file.hpp"

namespace velmora {

[[nodiscard]] bool is_console_input(std::string_view arg);
[[nodiscard]] bool is_console_output(std::string_view arg);

// The input format that the first bytes of a stream show, as the extension that
// chooses its reader: ".gpi" for a GPI file header, ".gpx" for XML (after an optional
// byte order mark and blanks), otherwise ".txt" (a speed-camera list).
[[nodiscard]] std::string_view sniff_input_format(std::string_view head);

// Standard input, opened for a reader: its first bytes were read to recognise the
// format and are given back first.  Closing the stream leaves standard input open.
struct console_input {
    unique_file file;
    std::string ext;  // the recognised format
};

// Its file is none when the stream can't be made.
[[nodiscard]] console_input open_console_input();

}  // namespace velmora
