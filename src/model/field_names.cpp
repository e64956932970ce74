#include "model/field_names.hpp"

#include <array>
#include <utility>

namespace velmora {
namespace {

struct synonym {
    std::string_view name;
    field_kind kind;
};

constexpr std::array synonyms{
    synonym{"lat", field_kind::latitude},       synonym{"latitude", field_kind::latitude},
    synonym{"y", field_kind::latitude},         synonym{"lon", field_kind::longitude},
    synonym{"lng", field_kind::longitude},      synonym{"long", field_kind::longitude},
    synonym{"longitude", field_kind::longitude}, synonym{"x", field_kind::longitude},
    synonym{"name", field_kind::name},          synonym{"title", field_kind::name},
    synonym{"desc", field_kind::description},   synonym{"description", field_kind::description},
    synonym{"comment", field_kind::comment},    synonym{"cmt", field_kind::comment},
    synonym{"notes", field_kind::comment},      synonym{"symbol", field_kind::symbol},
    synonym{"sym", field_kind::symbol},         synonym{"icon", field_kind::symbol},
    synonym{"category", field_kind::category},  synonym{"address", field_kind::street},
    synonym{"street", field_kind::street},      synonym{"housenumber", field_kind::house_number},
    synonym{"house number", field_kind::house_number},
    synonym{"city", field_kind::city},          synonym{"state", field_kind::state},
    synonym{"province", field_kind::state},     synonym{"zip", field_kind::postcode},
    synonym{"postcode", field_kind::postcode},  synonym{"postal code", field_kind::postcode},
    synonym{"postalcode", field_kind::postcode}, synonym{"country", field_kind::country},
    synonym{"phone", field_kind::phone},        synonym{"tel", field_kind::phone},
    synonym{"telephone", field_kind::phone},    synonym{"url", field_kind::web},
    synonym{"website", field_kind::web},        synonym{"link", field_kind::web},
    synonym{"email", field_kind::email},        synonym{"e-mail", field_kind::email},
    synonym{"speed", field_kind::speed},        synonym{"proximity", field_kind::proximity},
};

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

field_kind field_kind_of(std::string_view name) {
    name = trimmed(name);
    for (const auto& s : synonyms)
        if (same_name(s.name, name)) return s.kind;
    return field_kind::none;
}

}  // namespace velmora
