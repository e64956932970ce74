#pragma once
// The descriptions of KML placemarks as plain text: Google My Maps and Google Earth put
// HTML there (often in a CDATA section), which navigators would show tag for tag.
#include <string>
#include <string_view>

namespace velmora {

// The text of a description, UTF-8 in and out.  When it holds markup (a "<" followed by
// a letter, "/" or "!"): runs of blanks and line ends become one blank, as a browser
// shows them; <br> and the ends of blocks (p, div, li, tr, h1 to h6, table, ...) become
// line breaks; script and style elements, comments and every other tag are dropped;
// CDATA sections keep their text.  Without markup the line breaks stay as written.  In
// both, character references (&amp;, &#233;, &#xE9;, &nbsp; and the other common names)
// are decoded, unknown ones kept as written; blanks at the ends of lines, blank lines
// beyond one in a row, and blank lines at the start and the end are dropped.
[[nodiscard]] std::string html_to_text(std::string_view html);
// The same into text, whose room is reused (a reader turns a million descriptions).
void html_to_text(std::string_view html, std::string& text);

}  // namespace velmora
