#include "model/field_list.hpp"

namespace velmora {

namespace {
constexpr std::size_t initial_pairs = 10;

std::optional<std::string> copy_of(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    return std::string(*text);
}
}  // namespace

void field_list_append(field_list& list, std::optional<std::string_view> key,
                       std::optional<std::string_view> value) {
    if (list.keys.capacity() == 0) {
        list.keys.reserve(initial_pairs);
        list.values.reserve(initial_pairs);
    }
    list.keys.push_back(copy_of(key));
    list.values.push_back(copy_of(value));
}

int field_list_find(const field_list& list, std::string_view name) {
    for (std::size_t i = 0; i < list.keys.size(); ++i) {
        if (list.keys[i] && *list.keys[i] == name) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace velmora
