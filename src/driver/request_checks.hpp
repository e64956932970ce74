#pragma once
// The checks of a request once the whole command line is read, before any input is
// read: a refused request costs no import and touches nothing.
#include <optional>

#include "driver/request.hpp"
#include "driver/settings_files.hpp"

namespace velmora {

// What the command line gave, before the request is completed from it.
struct given_options {
    std::optional<code_page_choice> code_page;  // -codepage:
    std::optional<output_format> format;        // -format:
    bool output_named = false;                  // -o NAME
};

// Checks the inputs' tag filters and the use of the console, names the output when the
// command line did not, settles the output's format and code page and checks the
// output's place.  Throws fatal_exit after the message.
void complete_request(run_request& request, const given_options& given, settings_files& files);

}  // namespace velmora
