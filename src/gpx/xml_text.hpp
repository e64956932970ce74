#pragma once
// The text of XML: character data with its entity and character references decoded
// into the text's encoding, and the text of an element's content.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/code_page.hpp"

namespace velmora {

// The encoding into which references are decoded: UTF-8, a code page, or neither (then
// characters up to U+00FF are their own byte).
struct xml_text_encoding {
    bool is_utf8 = false;
    const code_page* page = nullptr;
    bool drop_forbidden = false;  // the text holds bytes XML forbids: leave them out
};

// The text with its entity and character references (&amp; &lt; &gt; &quot; &apos;
// &#NNN; &#xHH;) decoded, "?" for a character the encoding lacks.  A reference that is
// unknown or malformed stays as it stands.
[[nodiscard]] std::string xml_decode_references(std::string_view text,
                                                const xml_text_encoding& encoding);

// The text of content that holds no markup, its references decoded (and bytes XML
// forbids left out when the encoding says so), written to out: as many bytes as it
// gives, never more than the content's.  The same text as xml_content_view's.
std::size_t xml_decode_plain(std::string_view content, const xml_text_encoding& encoding,
                             char* out);

// The text of an element's content: its character data with references decoded and
// the payload of its CDATA sections as it stands; comments, processing instructions and
// the tags of nested elements are left out (their text is kept).  When CDATA sections
// are there, character data of blanks only around them is dropped.  Bytes that XML
// forbids are dropped when the encoding says so.  None for an empty text.  plain says that the
// content holds no markup, which makes the work short.
[[nodiscard]] std::optional<std::string> xml_content_text(std::string_view content, bool plain,
                                                          const xml_text_encoding& encoding);

// The same text as a view: of the content itself where nothing needs decoding, else of
// scratch, which holds the decoded text until it is used again.
[[nodiscard]] std::optional<std::string_view> xml_content_view(std::string_view content, bool plain,
                                                               const xml_text_encoding& encoding,
                                                               std::string& scratch);

}  // namespace velmora
