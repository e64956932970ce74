#pragma once
// A forward scan of XML text for GPX waypoints, without building a tree.  It steps from
// markup to markup as an XML parser does (gpx/xml_markup.hpp): comments, processing
// instructions and the document type declaration are skipped, CDATA sections are
// payload and never searched for markup.  Of each "wpt" element it gives the position
// attributes and the byte ranges of chosen direct children, whose text
// gpx/xml_text.hpp gives.  Malformed markup is not fatal: the scan goes on at the next
// waypoint and remembers where the first fault was.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace velmora {

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
    // How a step of read_wpt leaves the waypoint.
    enum class wpt_step { go_on, complete, broken };
    // Where read_wpt stands in the content of a waypoint, and the chosen child being
    // read while elements are open inside it.
    struct wpt_walk {
        std::size_t p = 0;
        xml_child* current = nullptr;
    };
    // A start tag inside a waypoint: where it ends, whether it closes itself, the quick
    // child it is (or -1) and the chosen child it begins (if any).
    struct inner_tag {
        std::string_view name;
        std::size_t after = 0;
        bool closes = false;
        int quick = -1;
        xml_child* child = nullptr;
    };

    // Reads the wpt element whose "<" is at lt into wpt: true when it is well-formed.
    bool read_wpt(std::size_t lt, xml_wpt& wpt);
    // The steps of read_wpt, which it runs for every markup of every waypoint: kept in
    // it by the compiler, as they were written in it.
    // Its start tag: where it ends, npos (the fault noted) when it is malformed.
    [[gnu::always_inline]] std::size_t read_wpt_start(std::size_t lt, xml_wpt& wpt,
                                                      bool& self_closing);
    // The steps at each markup of its content, at lt.
    [[gnu::always_inline]] wpt_step wpt_special(std::size_t lt, wpt_walk& walk);
    [[gnu::always_inline]] wpt_step wpt_end_tag(std::size_t lt, xml_wpt& wpt, wpt_walk& walk);
    [[gnu::always_inline]] wpt_step wpt_start_tag(std::size_t lt, xml_wpt& wpt, wpt_walk& walk);
    // Reads a start tag in full into tag; broken (the fault noted) when it is malformed
    // or begins another waypoint.
    [[gnu::always_inline]] wpt_step read_inner_tag(std::size_t lt, inner_tag& tag);
    // Reads the content of the element tag begins when it is character data up to the
    // element's end tag, and moves the walk past it; false for any other content.
    [[gnu::always_inline]] bool read_plain_content(const inner_tag& tag, wpt_walk& walk);
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

}  // namespace velmora
