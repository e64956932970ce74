#include "platform/code_page.hpp"

#include <charconv>
#include <memory>
#include <vector>

#include "platform/code_page_tables.hpp"

namespace velmora {

namespace {

// Reverse tables are built on first use and kept for the rest of the process.
const unsigned short* reverse_table(std::size_t index) {
    static std::array<std::unique_ptr<unsigned short[]>, detail::code_page_tables.size()> tables;
    auto& slot = tables[index];
    if (!slot) {
        slot = std::make_unique<unsigned short[]>(65536);
        std::fill(slot.get(), slot.get() + 65536, code_page::no_byte);
        const auto& units = *detail::code_page_tables[index].units;
        // Walk from the top so that the lowest byte wins for a unit mapped twice.
        for (int b = 255; b >= 0; --b) {
            char16_t u = units[static_cast<std::size_t>(b)];
            if (u != 0xFFFD) slot[u] = static_cast<unsigned short>(b);
        }
    }
    return slot.get();
}

}  // namespace

std::optional<code_page> code_page::create(int number) {
    for (std::size_t i = 0; i < detail::code_page_tables.size(); ++i) {
        if (detail::code_page_tables[i].number == number) {
            return code_page(number, detail::code_page_tables[i].units, reverse_table(i));
        }
    }
    return std::nullopt;
}

std::optional<code_page> code_page::from_locale_name(std::string_view name) {
    if (name.size() < 2 || name.front() != '.') return std::nullopt;
    std::string_view digits = name.substr(1);
    int number = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return create(number);
}

code_page::code_page(int number, const std::array<char16_t, 256>* units,
                     const unsigned short* reverse)
    : number_(number), units_(units), reverse_(reverse) {
    keeps_ascii_ = true;
    for (char16_t c = 0; c < 0x80; ++c) {
        if ((*units_)[c] != c || reverse_[c] != c) keeps_ascii_ = false;
    }
}

}  // namespace velmora
