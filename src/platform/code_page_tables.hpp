#pragma once
// Byte-to-Unicode tables of the built-in single-byte code pages (generated source).
#include <array>

namespace velmora::detail {

struct code_page_table_entry {
    int number;
    const std::array<char16_t, 256>* units;
};

extern const std::array<code_page_table_entry, 31> code_page_tables;

}  // namespace velmora::detail
