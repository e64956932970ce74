#pragma once
// Builds small GPI files byte by byte for the reader's tests.  Every helper returns the
// bytes of one block (or string) with its length fields filled in.
#include <cstdint>
#include <string>
#include <utility>
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

// A multilingual string of several entries: (language, text) pairs.
inline std::string mstrings(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string body;
    for (const auto& [language, text] : entries) {
        body += language + le16(static_cast<std::uint16_t>(text.size())) + text;
    }
    return le32(static_cast<std::uint32_t>(body.size())) + body;
}

// The headers of the newer layout, as Garmin's loader writes them: "GRMREC01", a
// flags byte (0x04: scrambled), the product record nested in the file header, the code
// page in 16 bits and a copyright record nested in the POI header.
inline std::string newer_file_header(const std::string& name, std::uint8_t flags = 0x01) {
    std::string main = "GRMREC01" + le32(0x350E7590) + byte(flags) + byte(0) +
                       le16(static_cast<std::uint16_t>(name.size())) + name;
    return flagged_block(0, main, block(15, std::string("\x00\x11\x27\x01\x00", 5)));
}

inline std::string newer_poi_header(std::uint16_t code_page) {
    std::string main = std::string("POI\0\0\0", 6) + "01" + le16(code_page) + byte(0x11) + byte(0);
    std::string copyright = le32(0x14) + le32(0) + mstrings({{"EN", "Data"}}) +
                            mstrings({{"EN", "(c) Someone"}}) + byte(3) + byte(1) + le16(2022);
    return flagged_block(1, main, block(17, copyright));
}

// A 24-bit position field of a speed camera: units of 360 / 2^24 degrees.
inline std::string degrees24(double degrees) {
    auto value = static_cast<std::int32_t>(degrees * 16777216.0 / 360.0);
    auto raw = static_cast<std::uint32_t>(value);
    return {static_cast<char>(raw & 0xFF), static_cast<char>((raw >> 8) & 0xFF),
            static_cast<char>((raw >> 16) & 0xFF)};
}

// A speed camera record: trigger zone, flags, a variable block of the form whose first
// byte is its size s (s + 2 + s / 4 bytes follow), the camera's position.
inline std::string speed_camera(double north, double east, double south, double west,
                                std::uint16_t flags, double lat, double lon) {
    std::string variable = byte(4) + std::string(4 + 2 + 1, '\0');
    return block(19, degrees24(north) + degrees24(east) + degrees24(south) + degrees24(west) +
                         le16(flags) + variable + degrees24(lat) + degrees24(lon));
}

// A plain string: a 16-bit length and the bytes.
inline std::string plain(const std::string& text) {
    return le16(static_cast<std::uint16_t>(text.size())) + text;
}

// An address (11) or contact (12) record in either framing: all in the main part (flags
// 0, as Garmin's loader writes it), or a main part of the mask alone (flags 8).
inline std::string field_record(std::uint16_t type, bool mask_alone, std::uint16_t mask,
                                const std::string& fields) {
    return mask_alone ? flagged_block(type, le16(mask), fields) : block(type, le16(mask) + fields);
}

// A category of a group, with the icon reference nested as Garmin's loader writes it.
inline std::string category(std::uint16_t id, const std::string& name) {
    return flagged_block(7, le16(id) + mstring(name), block(4, le16(1)));
}

inline std::string category_ref(std::uint16_t id) {
    return block(6, le16(id));
}

// A whole file: headers, the given groups, the end block.
inline std::string gpi_file(const std::string& groups, std::uint32_t code_page = 1252) {
    return file_header() + poi_header(code_page) + groups + end_block();
}

}  // namespace velmora::testing
