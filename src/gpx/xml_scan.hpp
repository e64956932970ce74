#pragma once
// Plain searches in XML text, enough to read GPX waypoints without building a tree:
// the next element of a name, an attribute of a start tag, the text between an
// element's tags and the payload of a CDATA section.  Namespaces are not understood and
// comments are not skipped.  The results are views into the text searched.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "model/field_list.hpp"
#include "model/poiset.hpp"

namespace velmora {

// Position just past the quote that closes an attribute value whose first character is
// at pos (just past the opening quote).  Two quotes in a row inside the value are read
// as one quote character and do not end it.  The end of the text when it ends first;
// none when no closing quote follows.
[[nodiscard]] std::optional<std::size_t> xml_quoted_value_end(std::string_view text,
                                                              std::size_t pos, char quote = '"');

// The raw value of the attribute name="..." (or name='...') of the first tag of the
// text; none when the first tag has no such attribute.  The name matches only as a
// whole name: "lat" does not match inside "minlat=".
[[nodiscard]] std::optional<std::string_view> xml_attribute(std::string_view name,
                                                            std::string_view text);

// The next element of that name at or after the cursor, from its "<" to the end of its
// closing tag (or of its self-closing start tag); the cursor moves just past it.  None,
// with the cursor unchanged, when there is none.  "<wpt" matches only when a blank,
// ">" or "/" follows, never as the start of "<wptx".
[[nodiscard]] std::optional<std::string_view> xml_next_element(std::string_view name,
                                                               std::string_view text,
                                                               std::size_t& cursor);

// The element of that name whose "<" is at start, as xml_next_element returns it.
[[nodiscard]] std::optional<std::string_view> xml_element_at(std::string_view name,
                                                             std::string_view text,
                                                             std::size_t start);

// The raw text between the element's start tag and its closing tag (nested elements
// included); fallback when that text is empty; none when the element is empty,
// self-closing or not closed.
[[nodiscard]] std::optional<std::string_view> xml_element_text(
    std::optional<std::string_view> element,
    std::optional<std::string_view> fallback = std::nullopt);

// The payload of the CDATA sections of the text, joined (text around them is dropped);
// a section ends at the first "]]>" after its start.  The whole text when it holds no
// complete section; none for an empty payload.
[[nodiscard]] std::optional<std::string> cdata_unwrap(std::string_view text);

// The text with its entity and character references (&amp; &lt; &gt; &quot; &apos;
// &#NNN; &#xHH;) decoded into the set's encoding: UTF-8 for a UTF-8 set, else the set's
// code page (without one, characters up to U+00FF as their own byte), "?" for a
// character the encoding lacks.  CDATA sections are copied as they stand, markup
// included, and so is a reference that is unknown or malformed.
[[nodiscard]] std::string xml_decode_references(std::string_view text, const poiset& set);

// The value of a text element as a waypoint field: the payload of its CDATA section
// when it holds one, else the text with its references decoded.  None when the
// payload is empty.
[[nodiscard]] std::optional<std::string> xml_text_value(std::string_view text, const poiset& set);

// ---- symbols of a geocaching tool's files ---------------------------------------------

// The (type, symbol) pairs by which a waypoint's type chooses its symbol.
[[nodiscard]] field_list geocache_type_table_build();

// The symbol for a waypoint of that type: the table's symbol for a known type, the
// type text itself for another; the current symbol when there is no type.  A
// "geocache" symbol (any case) is refined by the comment's first character: "L" gives
// "Multi-Cache", "M" "Letterbox Cache", "T" keeps it, anything else "Puzzle Cache".
[[nodiscard]] std::optional<std::string> geocache_symbol(std::optional<std::string> current,
                                                         const field_list& table,
                                                         std::optional<std::string_view> type,
                                                         std::optional<std::string_view> comment);

}  // namespace velmora
