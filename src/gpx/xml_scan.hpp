#pragma once
// A forward scan of XML text, enough to read GPX waypoints without building a tree.
// It steps from markup to markup as an XML parser does: comments, processing
// instructions and the document type declaration are skipped, CDATA sections are
// payload and never searched for markup, attribute values may have blanks around "="
// and either quote.  Of each "wpt" element it gives the position attributes and the
// byte ranges of chosen direct children.  Malformed markup is not fatal: the scan goes
// on at the next waypoint and remembers where the first fault was.  Namespace prefixes
// are not understood.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.hpp"

namespace velmora {

// The encoding into which references are decoded: UTF-8, a code page, or neither (then
// characters up to U+00FF are their own byte).
struct xml_text_encoding {
    bool is_utf8 = false;
    const code_page* page = nullptr;
    bool drop_forbidden = false;  // the text holds bytes XML forbids: leave them out
};

// The raw value of the attribute name of the start tag at the front of tag; none when
// the tag has no such attribute or is malformed before it.  References are not decoded.
[[nodiscard]] std::optional<std::string_view> xml_attribute(std::string_view name,
                                                            std::string_view tag);

// A start tag read from its "<": its name, where it ends (just past its ">") and
// whether it closes itself.
struct xml_start_tag {
    std::string_view name;
    std::size_t end = 0;
    bool self_closing = false;
};

// Reads the start tag whose "<" is at lt in text, passing each attribute (name, raw
// value) to seen; none when the tag is malformed.
[[nodiscard]] std::optional<xml_start_tag> xml_read_start_tag(
    std::string_view text, std::size_t lt,
    const std::function<void(std::string_view, std::string_view)>& seen);

// The end (just past it) of the comment, CDATA section, processing instruction or
// declaration ("<!..." or "<?...") at lt; none when it never ends.
[[nodiscard]] std::optional<std::size_t> xml_special_markup_end(std::string_view text,
                                                                std::size_t lt);

// An element found inside another one's content.
struct xml_inner_element {
    std::string_view content;
    bool plain = true;  // its content holds no markup
};

// The first element of that name (compared byte for byte) directly inside an element's
// content; none when there is none, or when the markup before its end is malformed.
[[nodiscard]] std::optional<xml_inner_element> xml_find_child(std::string_view content,
                                                              std::string_view name);

// One direct child element of a waypoint, by offsets into the scanned text.
struct xml_child {
    bool present = false;
    bool plain = true;              // its content holds no markup (references it may hold)
    bool references = true;         // its content may hold "&" (false: it surely holds none)
    std::size_t element_begin = 0;  // its "<"
    std::size_t content_begin = 0;
    std::size_t content_end = 0;
    std::size_t element_end = 0;  // just past its end tag
};

inline constexpr std::size_t xml_max_children = 10;

// One "wpt" element.
struct xml_wpt {
    std::size_t begin = 0;                // its "<"
    std::size_t end = 0;                  // just past its end
    std::optional<std::string_view> lat;  // raw attribute values
    std::optional<std::string_view> lon;
    std::array<xml_child, xml_max_children> children;  // the first of each chosen name
};

class xml_wpt_scanner {
  public:
    static constexpr std::size_t no_limit = std::string_view::npos;

    // Scans text from the offset from for wpt elements, taking of each the first direct
    // child of every name in child_names (at most xml_max_children names).
    xml_wpt_scanner(std::string_view text, std::span<const std::string_view> child_names,
                    std::size_t from = 0);

    // The next well-formed wpt element into wpt; false at the end of the text, or when
    // the next markup begins at limit or after it (position() then tells where).
    [[nodiscard]] bool next(xml_wpt& wpt, std::size_t limit = no_limit);

    // Where the scan stands: the start of the next markup, once next() stopped at a limit.
    [[nodiscard]] std::size_t position() const { return pos_; }

    // The offset of the first malformed markup met, if any.
    [[nodiscard]] std::optional<std::size_t> first_malformed() const { return malformed_; }

    // The first "gpx" start tag met, if any.
    [[nodiscard]] std::optional<std::string_view> gpx_tag() const { return gpx_tag_; }

  private:
    bool read_wpt(std::size_t lt, xml_wpt& wpt);
    // The attributes of a wpt start tag from p (just after its name) when they are
    // written as most files write them, ` lat="..." lon="...">`, into wpt: where the tag
    // ends; npos, with nothing set, for any other form, which is then read in full.
    [[nodiscard]] std::size_t quick_position(std::size_t p, xml_wpt& wpt) const;
    // The chosen child whose start tag, written "<name>", begins at lt, when it is no
    // child read before; -1 otherwise (the tag is then read in full).
    [[nodiscard]] int quick_child(std::size_t lt, const xml_wpt& wpt) const;
    // True when the end tag of the quick child k, written "</name>", begins at lt.
    [[nodiscard]] bool quick_end(std::size_t lt, std::size_t k) const;
    void mark_malformed(std::size_t at);
    // The end of the comment, CDATA section, processing instruction or declaration at
    // lt; none, with the scan at the text's end and the fault noted, when it never ends.
    std::optional<std::size_t> special_end(std::size_t lt);

    std::string_view text_;
    std::span<const std::string_view> child_names_;
    std::size_t pos_;
    std::optional<std::size_t> malformed_;
    std::optional<std::string_view> gpx_tag_;
    std::vector<std::string_view> open_;  // names of the elements open inside a wpt
    // A chosen child's name followed by ">", as the 8 bytes that hold it and the mask
    // over them, so that a tag is recognised by one comparison; a zero mask for a name
    // too long for that.
    struct quick_name {
        std::uint64_t bytes = 0;
        std::uint64_t mask = 0;
    };
    std::array<quick_name, xml_max_children> quick_{};
    std::array<std::uint16_t, 256> quick_first_{};  // the children whose name begins with a byte
};

// True when the scan, standing at a markup boundary at from, comes to the "<" at to as
// the start of markup: no comment, CDATA section, processing instruction or declaration
// that begins between the two runs over it.  (Tags can't: they hold no "<".)  Only such
// markup is walked, so this is much quicker than the scan itself.
[[nodiscard]] bool xml_markup_reaches(std::string_view text, std::size_t from, std::size_t to);

// Bytes that XML forbids in a document (control characters other than tab, line feed
// and carriage return): where the first one is and how many there are.
struct xml_forbidden_bytes {
    std::size_t first;
    std::size_t count;
    unsigned char byte;  // the first one
};
[[nodiscard]] std::optional<xml_forbidden_bytes> find_forbidden_bytes(std::string_view text);

// What one pass over a text tells before it is read: the bytes XML forbids, and where
// the last comment, CDATA section, processing instruction or declaration ("<!" or
// "<?") begins, npos when none does.
struct xml_text_survey {
    std::optional<xml_forbidden_bytes> forbidden;
    std::size_t last_special = std::string_view::npos;
};
[[nodiscard]] xml_text_survey survey_xml_text(std::string_view text);

// True for a byte that XML forbids.
[[nodiscard]] constexpr bool is_forbidden_byte(unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

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
