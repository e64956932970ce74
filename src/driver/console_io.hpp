#pragma once
// Standard input and output as the run's input and output: "-" (and the console names
// "stdin", "stdout" and "con") stand for them on the command line.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "driver/input_kind.hpp"
#include "platform/stdio_file.hpp"

namespace velmora {

[[nodiscard]] bool is_console_input(std::string_view arg);
[[nodiscard]] bool is_console_output(std::string_view arg);

// Standard input, opened for a reader: its first bytes were read to recognise the
// format and are given back first.  Closing the stream leaves standard input open.
struct console_input {
    unique_file file;
    input_kind kind = input_kind::unknown;  // what its first bytes show
};

// Its file is none when the stream can't be made.
[[nodiscard]] console_input open_console_input();

}  // namespace velmora
