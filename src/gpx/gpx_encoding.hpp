#pragma once
// How the bytes of a GPX file are to be read, by the rules of XML: a byte-order mark, a
// UTF-16 start without one, the XML declaration's "encoding", or the bytes themselves.
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.hpp"

namespace velmora {

struct gpx_encoding {
    bool is_utf8 = false;
    std::optional<code_page> page;       // for !is_utf8; none: each byte is its own character
    std::optional<std::string> decoded;  // the whole text as UTF-8 when the file was UTF-16
};

// The encoding of a whole file text:
// - a UTF-16 byte-order mark (either order), or "<?xml" in UTF-16 without one: the text
//   is decoded to UTF-8 first;
// - a UTF-8 byte-order mark: UTF-8, whatever a declaration claims;
// - an encoding of "utf-8", "utf8", "65001" or "cp65001" (any case): UTF-8;
// - another encoding: its code page as a number or from code_page_table, else code page
//   1250 after "\nError converting Encoding=..." ;
// - no declaration, or one without an encoding: UTF-8 when the bytes are valid UTF-8,
//   else each byte is its own character (no declaration) or code page 1250.
[[nodiscard]] gpx_encoding detect_gpx_encoding(std::string_view text);

}  // namespace velmora
