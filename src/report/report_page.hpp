#pragma once
// The fixed parts of the report page around its data: the head with the styles and the
// map library, the body's frame, and the script that builds the page from the data.
#include <string>

namespace velmora {

// Everything before the data's JSON text: it ends inside the script element that holds it.
void append_page_start(std::string& out);
// Everything after the data: the end of its element, the page's script, the page's end.
void append_page_end(std::string& out);

}  // namespace velmora
