#pragma once
// Builds small GPI files byte by byte for the reader's tests.  Every helper returns the
// bytes of one block (or string) with its length fields filled in.
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::testing {

inline std::string le16(std::uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

inline std::string le32(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

inline std::string byte(std::uint8_t v) {
    return std::string(1, static_cast<char>(v));
}

// A multilingual string of one entry.
inline std::string mstring(const std::string& text, const std::string& language = "EN") {
    return le32(static_cast<std::uint32_t>(4 + text.size())) + language +
           le16(static_cast<std::uint16_t>(text.size())) + text;
}

// A block without main_size: its length counts everything behind the header.
inline std::string block(std::uint16_t type, const std::string& body) {
    return le16(type) + le16(0) + le32(static_cast<std::uint32_t>(body.size())) + body;
}

// A block with flags 0x0008: main_size gives the size of main, and the length leaves
// out the main_size field itself.
inline std::string flagged_block(std::uint16_t type, const std::string& main,
                                 const std::string& rest) {
    return le16(type) + le16(8) + le32(static_cast<std::uint32_t>(main.size() + rest.size())) +
           le32(static_cast<std::uint32_t>(main.size())) + main + rest;
}

inline std::string file_header(std::uint32_t time = 0x12345678, const std::string& name = "my.gpi",
                               const std::string& magic = "GRMREC00") {
    return block(
        0, magic + le32(time) + le16(0) + le16(static_cast<std::uint16_t>(name.size())) + name);
}

inline std::string poi_header(std::uint32_t code_page = 1252) {
    return block(1, std::string("POI") + std::string(3, '\0') + "00" + le32(code_page));
}

inline std::string end_block() {
    return block(0xFFFF, "");
}

inline std::string poi_set(const std::string& name, const std::string& children) {
    return flagged_block(9, mstring(name), children);
}

inline std::string area(std::int32_t north, std::int32_t east, std::int32_t south,
                        std::int32_t west, const std::string& children) {
    std::string main = le32(static_cast<std::uint32_t>(north)) +
                       le32(static_cast<std::uint32_t>(east)) +
                       le32(static_cast<std::uint32_t>(south)) +
                       le32(static_cast<std::uint32_t>(west)) + le32(0) + le16(1) + byte(0);
    return flagged_block(8, main, children);
}

inline std::string poi(std::int32_t lat, std::int32_t lon, const std::string& name,
                       const std::string& sub_blocks = "") {
    std::string main = le32(static_cast<std::uint32_t>(lat)) +
                       le32(static_cast<std::uint32_t>(lon)) + le16(1) + byte(0) + mstring(name);
    if (sub_blocks.empty()) return block(2, main);
    return flagged_block(2, main, sub_blocks);
}

inline std::string alert(std::uint16_t proximity, std::uint16_t speed, std::uint8_t kinds) {
    return block(3, le16(proximity) + le16(speed) + le32(0x01000100) + byte(1) + byte(1) +
                        byte(kinds) + byte(0x10));
}

inline std::string icon_ref(std::uint16_t icon_id) {
    return block(4, le16(icon_id));
}

inline std::string comment(const std::string& text) {
    return block(10, mstring(text));
}

inline std::string description(const std::string& text) {
    return block(14, byte(1) + mstring(text));
}

inline std::string bitmap(std::uint16_t icon_id, std::uint16_t height, std::uint16_t width,
                          std::uint16_t bits_per_pixel, const std::string& pixels,
                          const std::vector<std::uint32_t>& palette,
                          std::uint32_t transparent = 0x00FF00FF) {
    std::uint16_t row_size =
        static_cast<std::uint16_t>(((((width * bits_per_pixel) - 1) >> 3) & 0xFFFC) + 4);
    std::string body = le16(icon_id) + le16(height) + le16(width) + le16(row_size) +
                       le16(bits_per_pixel) + le16(0) +
                       le32(static_cast<std::uint32_t>(pixels.size())) + le32(44) +
                       le32(static_cast<std::uint32_t>(palette.size())) + le32(transparent) +
                       le32(1) + le32(static_cast<std::uint32_t>(pixels.size() + 44)) + pixels;
    for (std::uint32_t colour : palette) body += le32(colour);
    return block(5, body);
}

// A whole file: headers, the given groups, the end block.
inline std::string gpi_file(const std::string& groups, std::uint32_t code_page = 1252) {
    return file_header() + poi_header(code_page) + groups + end_block();
}

}  // namespace velmora::testing
