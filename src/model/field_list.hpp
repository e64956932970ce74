#pragma once
// An ordered list of key/value pairs (address parts, phone numbers).
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct field_list {
    std::vector<std::optional<std::string>> keys;    // parallel to values
    std::vector<std::optional<std::string>> values;  // a value may be absent

    [[nodiscard]] int count() const { return static_cast<int>(keys.size()); }
};

// Appends copies of the key and the value (an absent one stays absent).
void field_list_append(field_list& list, std::optional<std::string_view> key,
                       std::optional<std::string_view> value);

// Appends to a list that is created with its first pair when it doesn't exist yet (the
// address and phone lists of a waypoint).
void field_list_append(std::unique_ptr<field_list>& list, std::optional<std::string_view> key,
                       std::optional<std::string_view> value);

// Number of pairs of a list that may not exist.
[[nodiscard]] inline int field_list_count(const std::unique_ptr<field_list>& list) {
    return list ? list->count() : 0;
}

// Index of the first pair whose key equals the name byte for byte, or -1.
[[nodiscard]] int field_list_find(const field_list& list, std::string_view name);

void field_list_clear(field_list& list);

}  // namespace velmora
