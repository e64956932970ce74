#pragma once
// Garmin's waypoint extension inside a GPX waypoint's <extensions>: the elements of
// GpxExtensions v3 and of WaypointExtension v1 that carry a proximity alert, categories,
// an address and phone numbers.  Elements are recognised by their namespace URI, so
// whatever prefix a file binds to it (or a default namespace) reads the same.
//
// The house number, which Garmin's address lacks, travels in the address's own
// Extensions element as <velmora:HouseNumber> of Velmora's namespace.
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velmora {

inline constexpr std::string_view gpxx_v3_namespace =
    "http://www.garmin.com/xmlschemas/GpxExtensions/v3";
inline constexpr std::string_view wptx1_namespace =
    "http://www.garmin.com/xmlschemas/WaypointExtension/v1";
inline constexpr std::string_view velmora_address_namespace = "urn:velmora:address:1";

// Namespace declarations in scope: prefix and URI, the default namespace under the empty
// prefix.  Later declarations hide earlier ones of the same prefix; those of an outer
// scope (the gpx element's, kept by prefix) come last.
class xml_namespaces {
  public:
    // Takes the xmlns and xmlns:prefix attributes of a start tag (from its "<").
    void add_from_tag(std::string_view tag);
    // Takes one attribute of a start tag when it declares a namespace.
    void add_if_declaration(std::string_view name, std::string_view value);
    [[nodiscard]] std::optional<std::string_view> uri_of(std::string_view prefix) const;
    [[nodiscard]] std::size_t size() const { return declarations_.size(); }
    void cut_to(std::size_t size) { declarations_.resize(size); }
    // Looks up in outer what this scope doesn't declare; outer must outlive this scope.
    void set_outer(const std::unordered_map<std::string_view, std::string_view>* outer) {
        outer_ = outer;
    }

  private:
    std::vector<std::pair<std::string_view, std::string_view>> declarations_;
    const std::unordered_map<std::string_view, std::string_view>* outer_ = nullptr;
};

// The namespace declarations of a start tag by prefix, the last of a prefix winning.
[[nodiscard]] std::unordered_map<std::string_view, std::string_view> xml_namespace_map(
    std::string_view tag);

// What the extension holds, as raw views into the text: the contents of the elements
// (character data with references, or CDATA sections) and the raw value of the phone
// numbers' Category attribute.  The caller decodes them as it decodes other waypoint
// texts.
struct garmin_waypoint_extension {
    struct phone_number {
        std::optional<std::string_view> category;
        std::string_view number;
    };
    std::optional<std::string_view> proximity;
    std::vector<std::string_view> categories;
    std::vector<std::string_view> street_addresses;
    std::optional<std::string_view> city;
    std::optional<std::string_view> state;
    std::optional<std::string_view> country;
    std::optional<std::string_view> postal_code;
    std::optional<std::string_view> house_number;
    std::vector<phone_number> phones;
};

// What each of Garmin's two waypoint extensions holds.  A waypoint may carry both:
// BaseCamp writes the same fields into each.
struct garmin_extensions {
    garmin_waypoint_extension v3;  // gpxx:WaypointExtension (GpxExtensions v3)
    garmin_waypoint_extension v1;  // wptx1:WaypointExtension (WaypointExtension v1)
};

// Reads every Garmin WaypointExtension found in the content of a waypoint's
// <extensions> element into the part of out that its namespace names; scope holds the
// declarations in scope there (those of the gpx, wpt and extensions start tags).  Where
// an element occurs twice within the extensions of one namespace the first one counts,
// except for the repeatable ones (Category, StreetAddress, PhoneNumber).  Malformed
// markup, nesting deeper than any real file's or a flood of namespace declarations ends
// the reading of the extensions; what was read before stays.
void read_garmin_extension(std::string_view content, xml_namespaces scope, garmin_extensions& out);

}  // namespace velmora
