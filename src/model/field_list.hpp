#pragma once
// An ordered list of key/value pairs of owned strings, for small tables.
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

// Index of the first pair whose key equals the name byte for byte, or -1.
[[nodiscard]] int field_list_find(const field_list& list, std::string_view name);

}  // namespace velmora
