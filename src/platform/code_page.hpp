#pragma once
// A converter between one single-byte code page and 16-bit Unicode units.
#include <array>
#include <optional>
#include <string_view>

namespace velmora {

class code_page {
  public:
    // The reverse table's entry for a unit that the code page lacks.
    static constexpr unsigned short no_byte = 0xFFFF;

    // The converter for a code page number; none when the code page is not built in.
    [[nodiscard]] static std::optional<code_page> create(int number);
    // The converter for a locale name of the form "." followed by a decimal code page
    // number (".1250"); none for any other name or an unknown code page.
    [[nodiscard]] static std::optional<code_page> from_locale_name(std::string_view name);

    [[nodiscard]] int number() const { return number_; }

    // The unit a byte stands for; U+FFFD for a byte the code page leaves undefined.
    [[nodiscard]] char16_t decode(unsigned char byte) const { return (*units_)[byte]; }

    // The byte for a unit, or none when the code page lacks the character.
    [[nodiscard]] std::optional<unsigned char> encode(char16_t unit) const {
        unsigned short b = reverse_[unit];
        if (b == no_byte) return std::nullopt;
        return static_cast<unsigned char>(b);
    }

    // True when the bytes 0x00..0x7F stand for the ASCII characters of the same value,
    // as they do in every built-in code page; converters take a short cut for them.
    [[nodiscard]] bool keeps_ascii() const { return keeps_ascii_; }

  private:
    code_page(int number, const std::array<char16_t, 256>* units, const unsigned short* reverse);

    int number_;
    const std::array<char16_t, 256>* units_;
    const unsigned short* reverse_;  // 65536 entries: byte value, or no_byte when absent
    bool keeps_ascii_ = false;
};

}  // namespace velmora
