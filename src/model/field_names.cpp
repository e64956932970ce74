#include "model/field_names.hpp"

#include <array>
#include <utility>

namespace velmora {
namespace {

struct synonym {
    std::string_view name;
    field_kind kind;
};

// Names as spreadsheets, GIS programs and POI sites write them, English first, then
// the words of Spanish, French, German, Italian, Dutch and Portuguese spreadsheets.
// Blanks, "_", "-" and "." inside a name don't count ("Postal Code", "postal_code").
constexpr std::array synonyms{
    synonym{"lat", field_kind::latitude},
    synonym{"latitude", field_kind::latitude},
    synonym{"y", field_kind::latitude},
    synonym{"point_y", field_kind::latitude},
    synonym{"latitud", field_kind::latitude},
    synonym{"latitudine", field_kind::latitude},
    synonym{"breite", field_kind::latitude},
    synonym{"breitengrad", field_kind::latitude},
    synonym{"breedte", field_kind::latitude},
    synonym{"breedtegraad", field_kind::latitude},
    synonym{"lon", field_kind::longitude},
    synonym{"lng", field_kind::longitude},
    synonym{"long", field_kind::longitude},
    synonym{"longitude", field_kind::longitude},
    synonym{"x", field_kind::longitude},
    synonym{"point_x", field_kind::longitude},
    synonym{"longitud", field_kind::longitude},
    synonym{"longitudine", field_kind::longitude},
    synonym{"laenge", field_kind::longitude},
    synonym{"l\xC3\xA4nge", field_kind::longitude},
    synonym{"laengengrad", field_kind::longitude},
    synonym{"l\xC3\xA4ngengrad", field_kind::longitude},
    synonym{"lengte", field_kind::longitude},
    synonym{"lengtegraad", field_kind::longitude},
    synonym{"name", field_kind::name},
    synonym{"title", field_kind::name},
    synonym{"nombre", field_kind::name},
    synonym{"nom", field_kind::name},
    synonym{"nome", field_kind::name},
    synonym{"naam", field_kind::name},
    synonym{"bezeichnung", field_kind::name},
    synonym{"label", field_kind::name},
    synonym{"desc", field_kind::description},
    synonym{"description", field_kind::description},
    synonym{"descripcion", field_kind::description},
    synonym{"descripci\xC3\xB3n", field_kind::description},
    synonym{"beschreibung", field_kind::description},
    synonym{"descrizione", field_kind::description},
    synonym{"omschrijving", field_kind::description},
    synonym{"comment", field_kind::comment},
    synonym{"cmt", field_kind::comment},
    synonym{"notes", field_kind::comment},
    synonym{"symbol", field_kind::symbol},
    synonym{"sym", field_kind::symbol},
    synonym{"icon", field_kind::symbol},
    synonym{"category", field_kind::category},
    synonym{"address", field_kind::street},
    synonym{"street", field_kind::street},
    synonym{"direccion", field_kind::street},
    synonym{"direcci\xC3\xB3n", field_kind::street},
    synonym{"adresse", field_kind::street},
    synonym{"indirizzo", field_kind::street},
    synonym{"adres", field_kind::street},
    synonym{"housenumber", field_kind::house_number},
    synonym{"city", field_kind::city},
    synonym{"ciudad", field_kind::city},
    synonym{"ville", field_kind::city},
    synonym{"stadt", field_kind::city},
    synonym{"ort", field_kind::city},
    synonym{"citta", field_kind::city},
    synonym{"citt\xC3\xA0", field_kind::city},
    synonym{"municipio", field_kind::city},
    synonym{"localidad", field_kind::city},
    synonym{"commune", field_kind::city},
    synonym{"comune", field_kind::city},
    synonym{"gemeinde", field_kind::city},
    synonym{"state", field_kind::state},
    synonym{"province", field_kind::state},
    synonym{"provincia", field_kind::state},
    synonym{"zip", field_kind::postcode},
    synonym{"zipcode", field_kind::postcode},
    synonym{"postcode", field_kind::postcode},
    synonym{"postalcode", field_kind::postcode},
    synonym{"plz", field_kind::postcode},
    synonym{"codepostal", field_kind::postcode},
    synonym{"codigopostal", field_kind::postcode},
    synonym{"c\xC3\xB3\x64igopostal", field_kind::postcode},
    synonym{"country", field_kind::country},
    synonym{"pais", field_kind::country},
    synonym{"pa\xC3\xADs", field_kind::country},
    synonym{"pays", field_kind::country},
    synonym{"phone", field_kind::phone},
    synonym{"tel", field_kind::phone},
    synonym{"telephone", field_kind::phone},
    synonym{"phonenumber", field_kind::phone},
    synonym{"telefono", field_kind::phone},
    synonym{"tel\xC3\xA9\x66ono", field_kind::phone},
    synonym{"t\xC3\xA9l\xC3\xA9phone", field_kind::phone},
    synonym{"telefon", field_kind::phone},
    synonym{"url", field_kind::web},
    synonym{"website", field_kind::web},
    synonym{"link", field_kind::web},
    synonym{"web", field_kind::web},
    synonym{"email", field_kind::email},
    synonym{"speed", field_kind::speed},
    synonym{"proximity", field_kind::proximity},
};

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Characters that join the words of a name and don't count when names are compared.
constexpr bool is_joiner(char c) {
    return c == ' ' || c == '\t' || c == '_' || c == '-' || c == '.';
}

bool same_name(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        while (i < a.size() && is_joiner(a[i])) ++i;
        while (j < b.size() && is_joiner(b[j])) ++j;
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        if (lower(a[i]) != lower(b[j])) return false;
        ++i;
        ++j;
    }
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
    if (name.empty()) return field_kind::none;
    for (const auto& s : synonyms)
        if (same_name(s.name, name)) return s.kind;
    // A unit or note in brackets after the name: "Latitude (WGS84)", "Speed [km/h]".
    std::size_t bracket = name.find_first_of("([");
    if (bracket != std::string_view::npos && bracket > 0)
        return field_kind_of(name.substr(0, bracket));
    return field_kind::none;
}

std::string field_names_of(field_kind kind) {
    std::string names;
    for (const auto& s : synonyms) {
        if (s.kind != kind) continue;
        if (!names.empty()) names += ", ";
        names += s.name;
    }
    return names;
}

}  // namespace velmora
