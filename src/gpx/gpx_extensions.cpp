#include "gpx/gpx_extensions.hpp"

#include <cstddef>

#include "gpx/xml_markup.hpp"

namespace velmora {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Real extensions nest four deep and declare a namespace or two; text beyond these
// bounds is no extension worth reading, and stopping keeps hostile input linear.
constexpr std::size_t max_depth = 64;
constexpr std::size_t max_declarations = 64;

// The elements of the extension that carry something, by where they stand.
enum class place {
    other,               // not read, nor anything inside it
    extension,           // WaypointExtension
    proximity,           // its Proximity
    categories,          // its Categories
    category,            // Categories/Category
    address,             // its Address
    street,              // Address/StreetAddress
    city,                // Address/City
    state,               // Address/State
    country,             // Address/Country
    postal_code,         // Address/PostalCode
    address_extensions,  // Address/Extensions
    house_number,        // Address/Extensions/velmora:HouseNumber
    phone,               // its PhoneNumber
    outside,             // an element around a WaypointExtension (or none yet)
};

enum class space { other, garmin_v3, garmin_v1, velmora };

place child_place(place parent, space ns, std::string_view local) {
    if (parent == place::address_extensions) {
        return ns == space::velmora && local == "HouseNumber" ? place::house_number : place::other;
    }
    if (ns != space::garmin_v3 && ns != space::garmin_v1) {
        return parent == place::outside ? place::outside : place::other;
    }
    switch (parent) {
        case place::outside:
            return local == "WaypointExtension" ? place::extension : place::outside;
        case place::extension:
            if (local == "Proximity") return place::proximity;
            if (local == "Categories") return place::categories;
            if (local == "Address") return place::address;
            if (local == "PhoneNumber") return place::phone;
            return place::other;
        case place::categories:
            return local == "Category" ? place::category : place::other;
        case place::address:
            if (local == "StreetAddress") return place::street;
            if (local == "City") return place::city;
            if (local == "State") return place::state;
            if (local == "Country") return place::country;
            if (local == "PostalCode") return place::postal_code;
            if (local == "Extensions") return place::address_extensions;
            return place::other;
        default:
            return place::other;
    }
}

struct open_element {
    std::string_view qname;
    place where;
    std::size_t scope;                         // namespace declarations in scope before its own
    std::size_t content_begin;                 // just past its start tag
    std::optional<std::string_view> category;  // a PhoneNumber's Category attribute
    // Inside a WaypointExtension of WaypointExtension v1.
    bool in_v1 = false;
};

void keep_first(std::optional<std::string_view>& field, std::string_view content) {
    if (!field) field = content;
}

void store(garmin_waypoint_extension& out, const open_element& e, std::string_view content) {
    switch (e.where) {
        case place::proximity:
            keep_first(out.proximity, content);
            break;
        case place::category:
            out.categories.push_back(content);
            break;
        case place::street:
            out.street_addresses.push_back(content);
            break;
        case place::city:
            keep_first(out.city, content);
            break;
        case place::state:
            keep_first(out.state, content);
            break;
        case place::country:
            keep_first(out.country, content);
            break;
        case place::postal_code:
            keep_first(out.postal_code, content);
            break;
        case place::house_number:
            keep_first(out.house_number, content);
            break;
        case place::phone:
            out.phones.push_back({e.category, content});
            break;
        default:
            break;
    }
}

space space_of(std::string_view qname, const xml_namespaces& scope) {
    std::size_t colon = qname.find(':');
    std::string_view prefix = colon == npos ? std::string_view() : qname.substr(0, colon);
    auto uri = scope.uri_of(prefix);
    if (!uri) return space::other;
    if (*uri == gpxx_v3_namespace) return space::garmin_v3;
    if (*uri == wptx1_namespace) return space::garmin_v1;
    if (*uri == velmora_address_namespace) return space::velmora;
    return space::other;
}

std::string_view local_name(std::string_view qname) {
    std::size_t colon = qname.find(':');
    return colon == npos ? qname : qname.substr(colon + 1);
}

// Passes the prefix and URI of an attribute that declares a namespace.
template <class Declare>
void if_declaration(std::string_view name, std::string_view value, Declare&& declare) {
    if (name == "xmlns") {
        declare(std::string_view(), value);
    } else if (name.starts_with("xmlns:")) {
        declare(name.substr(6), value);
    }
}

template <class Declare>
void each_declaration(std::string_view tag, Declare&& declare) {
    (void)xml_read_start_tag(tag, 0, [&](std::string_view name, std::string_view value) {
        if_declaration(name, value, declare);
    });
}

}  // namespace

void xml_namespaces::add_if_declaration(std::string_view name, std::string_view value) {
    if_declaration(name, value, [this](std::string_view prefix, std::string_view uri) {
        declarations_.emplace_back(prefix, uri);
    });
}

void xml_namespaces::add_from_tag(std::string_view tag) {
    (void)xml_read_start_tag(tag, 0, [this](std::string_view name, std::string_view value) {
        add_if_declaration(name, value);
    });
}

std::optional<std::string_view> xml_namespaces::uri_of(std::string_view prefix) const {
    for (auto it = declarations_.rbegin(); it != declarations_.rend(); ++it) {
        if (it->first == prefix) return it->second;
    }
    if (outer_ != nullptr) {
        if (auto it = outer_->find(prefix); it != outer_->end()) return it->second;
    }
    return std::nullopt;
}

std::unordered_map<std::string_view, std::string_view> xml_namespace_map(std::string_view tag) {
    std::unordered_map<std::string_view, std::string_view> map;
    each_declaration(tag,
                     [&map](std::string_view prefix, std::string_view uri) { map[prefix] = uri; });
    return map;
}

void read_garmin_extension(std::string_view content, xml_namespaces scope, garmin_extensions& out) {
    if (content.find("WaypointExtension") == npos) return;
    std::vector<open_element> open;
    std::size_t p = content.find('<');
    while (p != npos && p < content.size()) {
        char c = p + 1 < content.size() ? content[p + 1] : '\0';
        std::size_t next = npos;
        if (c == '!' || c == '?') {
            auto end = xml_special_markup_end(content, p);
            if (!end) return;
            next = *end;
        } else if (c == '/') {
            std::size_t gt = content.find('>', p);
            if (gt == npos || open.empty()) return;
            std::string_view name = content.substr(p + 2, gt - (p + 2));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t' ||
                                     name.back() == '\r' || name.back() == '\n')) {
                name.remove_suffix(1);
            }
            if (name != open.back().qname) return;
            store(open.back().in_v1 ? out.v1 : out.v3, open.back(),
                  content.substr(open.back().content_begin, p - open.back().content_begin));
            scope.cut_to(open.back().scope);
            open.pop_back();
            next = gt + 1;
        } else {
            if (open.size() >= max_depth) return;
            std::size_t before = scope.size();
            std::optional<std::string_view> category;
            // One reading of the tag takes the category and the namespace declarations.
            auto tag = xml_read_start_tag(content, p, [&](std::string_view n, std::string_view v) {
                if (n == "Category" && !category) category = v;
                scope.add_if_declaration(n, v);
            });
            if (!tag) return;
            if (scope.size() > max_declarations) return;
            place parent = open.empty() ? place::outside : open.back().where;
            place where = place::other;
            bool in_v1 = !open.empty() && open.back().in_v1;
            if (parent != place::other) {
                space ns = space_of(tag->name, scope);
                where = child_place(parent, ns, local_name(tag->name));
                // The extension's own namespace tells which of the two it is.
                if (where == place::extension) in_v1 = ns == space::garmin_v1;
            }
            open_element e{tag->name, where, before, tag->end, category, in_v1};
            if (tag->self_closing) {
                store(in_v1 ? out.v1 : out.v3, e, std::string_view());
                scope.cut_to(before);
            } else {
                open.push_back(e);
            }
            next = tag->end;
        }
        p = content.find('<', next);
    }
}

}  // namespace velmora
